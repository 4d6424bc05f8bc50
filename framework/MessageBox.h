#pragma once
// The framework's message box; its button sets and results (WinDef.h) keep their platform values.
#include "WinDef.h"

#include <QString>
#include <functional>

// Shows text in a modal box captioned with the application's name and returns the ID* of the
// button pressed. An MB_OK box without an icon gets the exclamation icon, as the platform does.
int AfxMessageBox(const QString& text, UINT nType = MB_OK, UINT nIDHelp = 0);

// Sounds the platform's beep for the given MB_ICON* type.
void MessageBeep(UINT nType);

// Tests answer boxes through a responder instead of a window: it gets the text and the type
// and returns the ID* result. An empty responder restores the real box.
using MessageBoxResponder = std::function<int(const QString& text, UINT nType)>;
void AfxSetMessageBoxResponder(MessageBoxResponder responder);
