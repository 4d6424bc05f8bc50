#include "TidemarkDoc.h"

#include "EditView.h"
#include "MessageBox.h"
#include "TidemarkView.h"

#include <QDir>

bool CTidemarkDoc::OnNewDocument() {
    if (!CDocument::OnNewDocument())
        return false;
    if (auto* view = dynamic_cast<CEditView*>(GetFirstView()))
        view->SetWindowText(QByteArray());
    return true;
}

void CTidemarkDoc::Serialize(CArchive& ar) {
    if (auto* view = dynamic_cast<CEditView*>(GetFirstView()))
        view->SerializeRaw(ar);
}

bool CTidemarkDoc::OnSaveDocument(const QString& path) {
    const auto* log = dynamic_cast<const CTidemarkView*>(GetFirstView());
    if (log && log->GetJournal().IsJournal(path)) {
        AfxMessageBox(QStringLiteral("%1 is the session log of this run, which Tidemark is still "
                                     "writing.\nSave the log under another name.")
                          .arg(QDir::toNativeSeparators(path)),
                      MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return CDocument::OnSaveDocument(path);
}
