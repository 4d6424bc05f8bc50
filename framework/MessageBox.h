#pragma once
// The framework's message box: button sets and results keep their platform values.
#include "AfxTypes.h"

#include <QString>
#include <functional>

enum : UINT {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_TYPEMASK = 0xF,
    MB_ICONHAND = 0x10,
    MB_ICONERROR = MB_ICONHAND,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONWARNING = MB_ICONEXCLAMATION,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
};

enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDABORT = 3,
    IDRETRY = 4,
    IDIGNORE = 5,
    IDYES = 6,
    IDNO = 7,
};

// Shows text in a modal box captioned with the application's name and returns the ID* of the
// button pressed. An MB_OK box without an icon gets the exclamation icon, as the platform does.
int AfxMessageBox(const QString& text, UINT nType = MB_OK, UINT nIDHelp = 0);

// Sounds the platform's beep for the given MB_ICON* type.
void MessageBeep(UINT nType);

// Tests answer boxes through a responder instead of a window: it gets the text and the type
// and returns the ID* result. An empty responder restores the real box.
using MessageBoxResponder = std::function<int(const QString& text, UINT nType)>;
void AfxSetMessageBoxResponder(MessageBoxResponder responder);
