#include "TidemarkDoc.h"

#include "EditView.h"

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
