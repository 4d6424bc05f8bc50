#include "DocTemplate.h"

#include "Document.h"
#include "FrameWnd.h"
#include "MessageBox.h"
#include "View.h"

CSingleDocTemplate::CSingleDocTemplate(unsigned nIDResource, DocFactory doc, FrameFactory frame,
                                       ViewFactory view)
    : m_nIDResource(nIDResource), m_docFactory(std::move(doc)), m_frameFactory(std::move(frame)),
      m_viewFactory(std::move(view)) {}

CSingleDocTemplate::~CSingleDocTemplate() {
    CloseAllDocuments();
}

void CSingleDocTemplate::CloseAllDocuments() {
    m_pFrame.reset(); // the frame owns the view, which leaves the document first
    m_pOnlyDoc.reset();
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const QString& path, bool bMakeVisible) {
    bool created = false;
    m_bOpenCancelled = false;
    if (m_pOnlyDoc) {
        // One document for the whole run: it is reused, after the user had a chance to save.
        if (!m_pOnlyDoc->SaveModified()) {
            m_bOpenCancelled = true;
            return nullptr;
        }
    } else {
        m_pOnlyDoc = m_docFactory();
        m_pOnlyDoc->SetDocTemplate(this);
        created = true;
    }

    if (created) {
        m_pFrame = m_frameFactory();
        if (!m_pFrame || !m_pFrame->LoadFrame(m_nIDResource, this, m_pOnlyDoc.get())) {
            AfxMessageBox(QStringLiteral("Failed to create empty document."), MB_ICONEXCLAMATION);
            CloseAllDocuments();
            return nullptr;
        }
    }

    bool ok;
    if (path.isEmpty()) {
        ok = m_pOnlyDoc->OnNewDocument();
    } else {
        ok = m_pOnlyDoc->OnOpenDocument(path);
        if (ok)
            m_pOnlyDoc->SetPathName(path);
    }
    if (!ok) {
        m_bOpenCancelled = !path.isEmpty() && m_pOnlyDoc->LastOpenCancelled();
        if (created)
            CloseAllDocuments(); // a first document that failed leaves nothing behind
        return nullptr;
    }
    if (created)
        m_pFrame->InitialUpdateFrame(m_pOnlyDoc.get(), bMakeVisible);
    m_pFrame->OnUpdateFrameTitle();
    return m_pOnlyDoc.get();
}

std::unique_ptr<CView> CSingleDocTemplate::CreateView() const {
    return m_viewFactory();
}
