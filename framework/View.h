#pragma once
// A view shows one document; the framework creates it inside the frame.
#include "CmdTarget.h"

class CDocument;
class QWidget;

struct CREATESTRUCT {
    unsigned style = 0;
};

class CView : public CCmdTarget {
public:
    ~CView() override;
    CDocument* GetDocument() const { return m_pDocument; }
    void SetDocument(CDocument* pDoc) { m_pDocument = pDoc; }
    virtual QWidget* GetWidget() = 0;
    // Makes the view's window as a child of the frame.
    virtual bool Create(QWidget* parent) = 0;
    virtual void OnInitialUpdate() {}

protected:
    CDocument* m_pDocument = nullptr;
};
