#pragma once
// A view that is a plain-text editor: raw text transfer to and from files, the Edit commands
// with Find, printing and print preview of its text.
//
// The editor holds the document as bytes, exactly as they were loaded or appended (any line
// break, NUL, bytes that are not UTF-8), so saving gives back the same bytes. Text is shown as
// UTF-8.
#include "Archive.h"
#include "FindDlg.h"
#include "View.h"

#include <QPointer>
#include <Qsci/qsciscintilla.h>

class QPrinter;

class CEditView : public QsciScintilla, public CView {
    Q_OBJECT
public:
    explicit CEditView(QWidget* parent = nullptr);
    ~CEditView() override;

    // Largest file the view opens, and the longest text the user can type or paste, in bytes.
    static constexpr qint64 nMaxSize = 1048575;

    // Fills in the default styles; a derived view may change them, then Create applies them.
    virtual bool PreCreateWindow(CREATESTRUCT& cs);
    bool Create(QWidget* parent) override;
    unsigned GetStyle() const { return m_style; }
    // One tab stop every nTabStops dialog units of the view's font.
    void SetTabStops(int nTabStops);

    QWidget* GetWidget() override { return this; }

    // The whole text as bytes, and replacing it (which also empties the undo history). Neither
    // marks the document modified.
    QByteArray GetWindowText() const;
    void SetWindowText(const QByteArray& text);
    qint64 GetTextLength() const;
    // Appends text (with its own CR and LF characters) at the end without touching the rest;
    // caret to the end, no selection, scrolled into view. Does not mark the document modified
    // and cannot be undone.
    void AppendText(const QString& text);

    // Reads or writes the whole text, byte for byte; loading a file over nMaxSize fails with
    // CArchiveException "The file is too large to open." and keeps the text.
    void SerializeRaw(CArchive& ar);

    // Printing (to a printer or, in tests, a PDF file) and preview of the text, in
    // EditViewPrint.cpp.
    virtual void OnFilePrint();
    virtual void OnFilePrintDirect();
    virtual void OnFilePrintPreview();
    void PrintText(QPrinter* printer);
    virtual void OnPreparePrinting() {}
    virtual void OnBeginPrinting() {}
    virtual void OnEndPrinting() {}

    // Find, in EditViewFind.cpp: the dialog, and the search it and Find Next run. FindText selects
    // the next match (down or up from the selection, going round the end once) and returns
    // whether it found one; OnTextNotFound tells the user.
    void OnEditFind();
    void OnEditRepeat();
    bool FindText(const QString& what, bool bNext = true, bool bCase = true);
    virtual void OnTextNotFound(const QString& what);
    CFindDialog* GetFindDialog() const { return m_pFindDialog; }

    bool OnCmdMsg(UINT nID) override;
    bool OnUpdateCmdUI(UINT nID, CCmdUI* pCmdUI) override;

public slots:
    void paste() override;

protected:
    virtual void OnDraw() {}
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    class ProgramChange;
    void onModified(int position, int type, const char* text, int length, int, int, int, int, int,
                    int);
    void updateUndoState();
    void appendBytes(const QByteArray& bytes);
    // Whether the user's insertion of `added` bytes over the selection stays within nMaxSize;
    // beeps when it does not.
    bool roomFor(qint64 added);
    void onFindNext();
    QPrinter* printerForCommand(); // the application's printer, once prepared; null: none

    unsigned m_style = 0;
    int m_nProgramChanges = 0; // > 0 while the program, not the user, changes the text
    bool m_bCanUndo = false;
    bool m_bUndoStatePending = false;
    bool m_bCanCopy = false;
    bool m_bClipboardText = false;
    // The search: its text and options, and where the last match was, so that an append (which
    // moves the caret to the end) does not send Find Next back to the first match.
    QString m_strFind;
    bool m_bFindCase = false;
    bool m_bFindNext = true;
    long m_nMatchStart = -1;
    long m_nMatchEnd = -1;
    long m_nAppendCaret = -1;       // the caret an append left, while the user has not moved it
    qint64 m_nAccessibleChars = -1; // characters of the text, for screen readers; -1: not known
    QPointer<CFindDialog> m_pFindDialog;
};
