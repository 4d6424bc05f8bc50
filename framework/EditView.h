#pragma once
// A view that is a plain-text editor: raw text transfer to and from files, the Edit commands
// with Find, printing and print preview of its text.
//
// The editor holds the document as bytes, exactly as they were loaded or appended (any line
// break, NUL, bytes that are not UTF-8), so saving gives back the same bytes. Text is shown as
// UTF-8. The editor's document keeps no style bytes (the view has no lexer) and addresses
// texts past 2 GiB.
//
// Text the program receives can follow the user's reading or not: while following (the
// default) each append moves the caret to the end and shows it; while paused (SetFollow off,
// or the Scroll Lock key on) appends go to the end and leave the caret, the selection and the
// scroll position alone. Received lines can carry the time they came in, shown in a margin,
// and lines matching the highlight rules are marked by the editor's indicators; neither
// touches the text.
#include "Archive.h"
#include "FindDlg.h"
#include "RateMeter.h"
#include "View.h"

#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <QRegularExpression>
#include <Qsci/qsciscintilla.h>
#include <functional>
#include <vector>

class QPrinter;

// Lines whose text matches `pattern` are marked in `colour`; the first matching rule wins.
struct CHighlightRule {
    QString pattern;
    QColor colour;
};

class CEditView : public QsciScintilla, public CView {
    Q_OBJECT
public:
    explicit CEditView(QWidget* parent = nullptr);
    ~CEditView() override;

    // The longest text the user can type or paste, in bytes.
    static constexpr qint64 nMaxSize = 1048575;
    // The largest file the view opens: what the memory free now can hold of it as the editor
    // keeps it, unless set (a negative size: from memory again).
    qint64 GetMaxOpenSize() const;
    void SetMaxOpenSize(qint64 nBytes) { m_nMaxOpenSize = nBytes; }
    // How long a load runs before its progress dialog shows, in milliseconds.
    void SetOpenProgressDelay(int ms) { m_nProgressDelayMs = ms; }

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
    // The editor's change notices carry a position as an int, its low 32 bits: the position
    // `truncated` stands for in a text of `length` bytes; past 4 GiB, of the positions it can
    // stand for, the one nearest `near` (where the change most likely is: the caret).
    static qint64 WidenPosition(int truncated, qint64 length, qint64 near);
    // Appends text (with its own CR and LF characters) at the end without touching the rest;
    // caret to the end, no selection, scrolled into view. Does not mark the document modified
    // and cannot be undone.
    void AppendText(const QString& text);
    // The same for text the program received: its lines carry the time it came in while
    // receipt times are shown.
    void AppendReceived(const QString& text);

    // Following the end (EditViewFollow.cpp). Paused while the switch is off or Scroll Lock is
    // on; turning following back on, or Ctrl+End, goes to the end.
    void SetFollow(bool bFollow);
    bool GetFollow() const { return m_bFollow; }
    void SetScrollLock(bool bOn);
    bool IsFollowing() const { return m_bFollow && !m_bScrollLock; }
    // Lines appended since following was paused; 0 while following.
    qint64 GetLinesSincePause() const { return m_nLinesSincePause; }

    // Receipt times: the time of day each received line came in, in a margin. Shown or not;
    // while hidden no times are taken.
    void ShowReceiptTimes(bool bShow);
    bool AreReceiptTimesShown() const { return m_bReceiptTimes; }
    // "HH:MM:SS.mmm" of a line, or empty for a line that was not received while shown.
    QString GetReceiptTime(int nLine) const;

    // Items received this run (the caller counts them), and their rate over the last seconds.
    void CountReceived(qint64 n = 1);
    qint64 GetReceivedCount() const { return m_received.Total(); }
    double GetReceivedRate() const { return m_received.PerSecond(m_runTime.elapsed()); }

    // Highlights (EditViewHighlight.cpp): at most kMaxHighlightRules; rules that do not compile
    // are left out. Only the lines on screen are looked at, each time they are shown.
    static constexpr int kMaxHighlightRules = 16;
    void SetHighlightRules(const std::vector<CHighlightRule>& rules);
    // The colour a line is marked in, or an invalid colour.
    QColor GetLineHighlight(int nLine) const;

    // Reads or writes the whole text, byte for byte. Loading reads in pieces with a progress
    // dialog (with Cancel) once it has taken a while; a file over GetMaxOpenSize fails with
    // CArchiveException "The file is too large to open.", and a load that fails or is cancelled
    // keeps the text.
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

signals:
    void followChanged();

protected:
    virtual void OnDraw() {}
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void setFollowSwitch(bool& bSwitch, bool bOn);
    class ProgramChange;
    class TimesMargin;
    // A new empty document of the editor with the view's options; the view holds it.
    void* newDocument();
    void adoptDocument(void* doc);
    void loadRaw(QIODevice* file);
    // Shows doc (holding bytes more) in place of the view's document.
    void replaceDocument(void* doc, const QByteArray& bytes = QByteArray());
    void afterNewText(); // what replacing the whole text resets
    void stampReceived(long from, long to);
    void onUserInsert(long position);
    void applyLineStates();
    void onUpdateUi();
    void highlightShownLines(bool bForce);
    void showHighlights(bool bShow); // the indicators' styles: drawn, or hidden for printing
    void placeTimesMargin();
    void onModified(int truncated, int type, const char* text, int length, int, int, int, int, int,
                    int);
    void updateUndoState();
    void appendBytes(const QByteArray& bytes);
    // Makes room in the editor's buffer for `added` bytes more at the end (see m_nTextRoom).
    void reserveText(qint64 added);
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

    // What the view last asked the editor to allocate for the document's bytes; the buffer is at
    // least this large (it never shrinks), larger when the user's typing grew it. 0: not known.
    qint64 m_nTextRoom = 0;
    qint64 m_nMaxOpenSize = -1;
    int m_nProgressDelayMs = 1000;
    int m_nTabWidth = 8;
    bool m_bFollow = true;
    bool m_bScrollLock = false;
    qint64 m_nLinesSincePause = 0;
    bool m_bReceiptTimes = false;
    TimesMargin* m_pTimesMargin = nullptr; // a child of the viewport, while shown
    std::function<void()> m_fixLineStates; // the receipt times after the user's last insertion
    CRateMeter m_received;
    QElapsedTimer m_runTime;
    struct Highlight {
        QRegularExpression re;
        QColor colour;
    };
    std::vector<Highlight> m_highlights;
    // The lines last looked at for highlights, and the text's length then.
    long m_nHighlightFirst = -1, m_nHighlightLast = -1, m_nHighlightLength = -1;
};
