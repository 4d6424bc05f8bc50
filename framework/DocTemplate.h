#pragma once
// The single-document template: one document, one frame, one view, made by factories.
#include <QString>
#include <functional>
#include <memory>

class CDocument;
class CFrameWnd;
class CView;

class CDocTemplate {
public:
    virtual ~CDocTemplate() = default;
    virtual CDocument* OpenDocumentFile(const QString& path, bool bMakeVisible = true) = 0;
};

class CSingleDocTemplate : public CDocTemplate {
public:
    using DocFactory = std::function<std::unique_ptr<CDocument>()>;
    using FrameFactory = std::function<std::unique_ptr<CFrameWnd>()>;
    using ViewFactory = std::function<std::unique_ptr<CView>()>;

    CSingleDocTemplate(unsigned nIDResource, DocFactory doc, FrameFactory frame, ViewFactory view);
    ~CSingleDocTemplate() override;

    // With an empty path: a new document (the existing one reused and emptied). Otherwise the
    // file is opened into the document. Asks to save a modified document first. Returns null
    // on failure or when the user cancels.
    CDocument* OpenDocumentFile(const QString& path, bool bMakeVisible = true) override;
    // Whether the last OpenDocumentFile returned null because the user cancelled the save
    // prompt, rather than because the file could not be opened.
    bool LastOpenCancelled() const { return m_bOpenCancelled; }

    CDocument* GetDocument() const { return m_pOnlyDoc.get(); }
    CFrameWnd* GetFrame() const { return m_pFrame.get(); }
    unsigned GetResourceId() const { return m_nIDResource; }
    std::unique_ptr<CView> CreateView() const;
    // Destroys frame, view and document (at exit).
    void CloseAllDocuments();

private:
    unsigned m_nIDResource;
    DocFactory m_docFactory;
    FrameFactory m_frameFactory;
    ViewFactory m_viewFactory;
    std::unique_ptr<CDocument> m_pOnlyDoc;
    std::unique_ptr<CFrameWnd> m_pFrame;
    bool m_bOpenCancelled = false;
};
