#pragma once
#include <QString>
#include <functional>

class QWidget;

// The file dialogs the document and the application use. Each returns the chosen path or an
// empty string when cancelled. Tests answer them through a responder instead of a window.
struct CFileDialogHook {
    // folder: where the dialog starts (its responder gets it as the suggestion); empty for the
    // dialog's own choice.
    static QString GetOpenFileName(QWidget* parent, const QString& folder = QString());
    static QString GetSaveFileName(QWidget* parent, const QString& suggested);
};
using FileDialogResponder = std::function<QString(bool bSave, const QString& suggested)>;
void AfxSetFileDialogResponder(FileDialogResponder responder);
