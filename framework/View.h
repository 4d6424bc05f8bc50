#pragma once
// A view shows one document; the framework creates it inside the frame.
#include "CmdTarget.h"

class CDocument;
class QWidget;

// Window styles a view's PreCreateWindow may change before its window is made.
enum : unsigned {
    WS_HSCROLL = 0x00100000,
    WS_VSCROLL = 0x00200000,
    ES_MULTILINE = 0x0004,
    ES_UPPERCASE = 0x0008,
    ES_LOWERCASE = 0x0010,
    ES_AUTOVSCROLL = 0x0040,
    ES_AUTOHSCROLL = 0x0080,
    ES_NOHIDESEL = 0x0100,
    ES_READONLY = 0x0800,
};

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
