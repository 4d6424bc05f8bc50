#pragma once
// A view that is a plain-text edit control: raw text transfer to and from files, the Edit
// commands, printing and print preview of its text.
//
// The control shows text, while files hold bytes. Line breaks are kept exactly: CR LF is a
// line of the control, a lone LF is shown as a line break inside it, a lone CR as a marker, so
// that saving gives back the bytes that were loaded or appended.
#include "Archive.h"
#include "View.h"

#include <QPlainTextEdit>

class QPrinter;

class CEditView : public QPlainTextEdit, public CView {
    Q_OBJECT
public:
    explicit CEditView(QWidget* parent = nullptr);
    ~CEditView() override;

    // Largest file the view opens, in bytes.
    static constexpr qint64 nMaxSize = 1048575;

    // Fills in the default styles; a derived view may change them, then Create applies them.
    virtual bool PreCreateWindow(CREATESTRUCT& cs);
    bool Create(QWidget* parent) override;
    unsigned GetStyle() const { return m_style; }

    QWidget* GetWidget() override { return this; }

    // The control's whole text as bytes, and replacing it. Neither marks the document modified.
    QByteArray GetWindowText() const;
    void SetWindowText(const QByteArray& text);
    // Appends text (with its own CR and LF characters) at the end without touching the rest;
    // caret to the end, no selection, scrolled into view. Does not mark the document modified.
    void AppendText(const QString& text);

    // Reads or writes the whole text, byte for byte; loading a file over nMaxSize fails with
    // CArchiveException "The file is too large to open." and keeps the text.
    void SerializeRaw(CArchive& ar);

    // Printing (to a printer or, in tests, a PDF file) and preview of the text.
    virtual void OnFilePrint();
    virtual void OnFilePrintDirect();
    virtual void OnFilePrintPreview();
    void PrintText(QPrinter* printer);
    virtual void OnPreparePrinting() {}
    virtual void OnBeginPrinting() {}
    virtual void OnEndPrinting() {}

    bool OnCmdMsg(UINT nID) override;
    bool OnUpdateCmdUI(UINT nID, CCmdUI* pCmdUI) override;

    // The file's text <-> what the control holds; exposed for tests.
    static QString ToDisplay(const QByteArray& utf8);
    static QByteArray FromDisplay(const QString& shown);
    static QString ToDisplayText(const QString& text);
    static QString FromDisplayText(const QString& shown);

protected:
    virtual void OnDraw() {}

private:
    void onContentsChange(int position, int removed, int added);
    unsigned m_style = 0;
    int m_nProgrammatic = 0; // > 0 while the program, not the user, changes the text
    bool m_bLatin1 = false;  // the loaded file was not UTF-8: save it back the same way
};
