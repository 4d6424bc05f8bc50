#include "FileDialog.h"

#include <QFileDialog>

namespace {
// The one filter of both dialogs: every file, also one without an extension (a log saved as
// "trace"). On Linux "*.*" would match only names with a dot.
#ifdef Q_OS_WIN
const QString kAllFiles = QStringLiteral("All Files (*.*)");
#else
const QString kAllFiles = QStringLiteral("All Files (*)");
#endif

FileDialogResponder& fileDialogResponder() {
    static FileDialogResponder r;
    return r;
}
} // namespace

void AfxSetFileDialogResponder(FileDialogResponder r) {
    fileDialogResponder() = std::move(r);
}

QString CFileDialogHook::GetOpenFileName(QWidget* parent, const QString& folder) {
    if (fileDialogResponder())
        return fileDialogResponder()(false, folder);
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), folder, kAllFiles);
}

QString CFileDialogHook::GetSaveFileName(QWidget* parent, const QString& suggested) {
    if (fileDialogResponder())
        return fileDialogResponder()(true, suggested);
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"), suggested, kAllFiles);
}
