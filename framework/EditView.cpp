// The edit view. Its parts, in order: the program's own changes (ProgramChange), which nobody
// hears of; construction and Create (styles, tab stops, colours); the user's changes as the
// editor reports them (the modified flag, screen readers, the undo state); the text as bytes,
// appends and raw transfer to and from files; the typing limit (keys, the context menu, input
// method, paste); the commands and their state. Elsewhere: what screen readers see
// (EditViewAccessible.cpp), printing (EditViewPrint.cpp), Find (EditViewFind.cpp).
#include "EditView.h"

#include "Document.h"
#include "EditViewAccessible.h"
#include "MessageBox.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <algorithm>
#include <cmath>

namespace {
// What the view hears of the user's changes: that one is about to be made, and an insertion
// that may still be refused. Not the changes made (SC_MOD_INSERTTEXT, SC_MOD_DELETETEXT): for
// each of those the editor counts the characters of the whole text up to the change for its
// accessible object, whether a screen reader listens or not, so that typing into a long log
// would cost as much as reading all of it.
constexpr unsigned long kUserChangeEvents = QsciScintillaBase::SC_MOD_INSERTCHECK |
                                            QsciScintillaBase::SC_MOD_BEFOREINSERT |
                                            QsciScintillaBase::SC_MOD_BEFOREDELETE;
// The least room the view asks the editor to keep free at the end of the text.
constexpr qint64 kMinTextSpare = 256 << 10;
} // namespace

// The program's own changes to the text (loading, New, appends): the editor tells nobody about
// them, so they neither mark the document modified nor pass through the editor's per-change
// handling, whose cost grows with the length of the text; and they are not recorded for undo,
// so appends never build an undo history. A read-only view takes them all the same.
class CEditView::ProgramChange {
public:
    explicit ProgramChange(CEditView& view) : m_view(view) {
        if (m_view.m_nProgramChanges++ > 0)
            return;
        m_bReadOnly = m_view.isReadOnly();
        m_view.SendScintilla(SCI_SETMODEVENTMASK, 0UL);
        m_view.SendScintilla(SCI_SETUNDOCOLLECTION, 0UL);
        if (m_bReadOnly)
            m_view.SendScintilla(SCI_SETREADONLY, 0UL);
    }
    ~ProgramChange() {
        if (--m_view.m_nProgramChanges > 0)
            return;
        if (m_bReadOnly)
            m_view.SendScintilla(SCI_SETREADONLY, 1UL);
        m_view.SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);
        m_view.SendScintilla(SCI_SETMODEVENTMASK, kUserChangeEvents);
    }
    ProgramChange(const ProgramChange&) = delete;
    ProgramChange& operator=(const ProgramChange&) = delete;

private:
    CEditView& m_view;
    bool m_bReadOnly = false;
};

CEditView::CEditView(QWidget* parent) : QsciScintilla(parent) {
    m_runTime.start();
    adoptDocument(newDocument());
    setUtf8(true);
    setEolMode(EolWindows);                         // Enter types CR LF, the log's line break
    SendScintilla(SCI_SETPASTECONVERTENDINGS, 0UL); // pasted text keeps its own line breaks
    // Pages are printed black on white whatever the colours on screen.
    SendScintilla(SCI_SETPRINTCOLOURMODE, (unsigned long)SC_PRINT_BLACKONWHITE);
    for (int margin = 0; margin <= 4; ++margin)
        setMarginWidth(margin, 0);
    SendScintilla(SCI_SETMARGINLEFT, 0UL, 4L); // the text keeps off the left edge a little
    // The horizontal scroll bar follows the widest line shown, as an edit control's does.
    setScrollWidth(1);
    setScrollWidthTracking(true);
    // Keys of a source editor that an edit control does not have: typing always inserts, and no
    // key duplicates, swaps, deletes whole lines, words or line ends, unindents, changes case,
    // redoes (Undo twice does that), or makes the block selections that cut and delete columns.
    for (QsciCommand::Command c : {QsciCommand::EditToggleOvertype,
                                   QsciCommand::LineDuplicate,
                                   QsciCommand::LineCut,
                                   QsciCommand::LineDelete,
                                   QsciCommand::LineCopy,
                                   QsciCommand::LineTranspose,
                                   QsciCommand::SelectionDuplicate,
                                   QsciCommand::SelectionLowerCase,
                                   QsciCommand::SelectionUpperCase,
                                   QsciCommand::MoveSelectedLinesUp,
                                   QsciCommand::MoveSelectedLinesDown,
                                   QsciCommand::DeleteWordLeft,
                                   QsciCommand::DeleteWordRight,
                                   QsciCommand::DeleteLineLeft,
                                   QsciCommand::DeleteLineRight,
                                   QsciCommand::Backtab,
                                   QsciCommand::Redo,
                                   QsciCommand::LineDownRectExtend,
                                   QsciCommand::LineUpRectExtend,
                                   QsciCommand::CharLeftRectExtend,
                                   QsciCommand::CharRightRectExtend,
                                   QsciCommand::VCHomeRectExtend,
                                   QsciCommand::LineEndRectExtend,
                                   QsciCommand::PageUpRectExtend,
                                   QsciCommand::PageDownRectExtend})
        if (QsciCommand* command = standardCommands()->find(c)) {
            command->setKey(0);
            command->setAlternateKey(0);
        }

    // Consulted before the editor's own (the factory installed last is asked first).
    QAccessible::installFactory(editViewAccessible);
    SendScintilla(SCI_SETMODEVENTMASK, kUserChangeEvents);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this, &CEditView::onModified);
    connect(this, &QsciScintillaBase::SCN_UPDATEUI, this, &CEditView::onUpdateUi);
    connect(this, &QsciScintilla::cursorPositionChanged, this, [this] {
        // The caret an append left is not news to a screen reader: the append said so.
        const long pos = SendScintilla(SCI_GETCURRENTPOS);
        if (QAccessible::isActive() && pos != m_nAppendCaret) {
            QAccessibleTextCursorEvent event(this,
                                             int(SendScintilla(SCI_COUNTCHARACTERS, 0UL, pos)));
            QAccessible::updateAccessibility(&event);
        }
    });
    // The Edit commands' state follows the editor and the clipboard as they change.
    connect(this, &QsciScintilla::copyAvailable, this, [this](bool yes) { m_bCanCopy = yes; });
    QClipboard* clipboard = QApplication::clipboard();
    const auto readClipboard = [this, clipboard] {
        const QMimeData* data = clipboard->mimeData();
        m_bClipboardText = data && data->hasText();
    };
    connect(clipboard, &QClipboard::dataChanged, this, readClipboard);
    readClipboard();
}

CEditView::~CEditView() = default;

void* CEditView::newDocument() {
    // The log has no lexer, so a style byte beside each text byte would be memory for nothing;
    // and a long run's log can pass 2 GiB.
    return reinterpret_cast<void*>(
        SendScintilla(SCI_CREATEDOCUMENT, 0UL,
                      long(SC_DOCUMENTOPTION_STYLES_NONE | SC_DOCUMENTOPTION_TEXT_LARGE)));
}

void CEditView::adoptDocument(void* doc) {
    // What the editor keeps per document rather than per view goes over to the new one: the
    // code page, the line break Enter types, the tab width, read-only.
    const bool readOnly = SendScintilla(SCI_GETREADONLY) != 0;
    SendScintilla(SCI_SETDOCPOINTER, 0UL, doc);
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, doc); // the view's reference is enough
    SendScintilla(SCI_SETCODEPAGE, (unsigned long)SC_CP_UTF8);
    SendScintilla(SCI_SETEOLMODE, (unsigned long)SC_EOL_CRLF);
    SendScintilla(SCI_SETTABWIDTH, (unsigned long)m_nTabWidth);
    SendScintilla(SCI_SETREADONLY, (unsigned long)readOnly);
    m_nTextRoom = 0;
    m_nHighlightFirst = m_nHighlightLast = m_nHighlightLength = -1;
}

bool CEditView::PreCreateWindow(CREATESTRUCT& cs) {
    cs.style |=
        WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_MULTILINE | ES_NOHIDESEL;
    return true;
}

void CEditView::SetTabStops(int nTabStops) {
    // Dialog units of the view's font: a quarter of its average letter width. The editor sets
    // its stops in widths of a space, so they land within half a space of the asked width.
    const auto width = [this](const QByteArray& text) {
        return double(SendScintilla(SCI_TEXTWIDTH, (unsigned long)STYLE_DEFAULT, text.constData()));
    };
    const int baseX =
        (int(width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    const double space = width(QByteArray(100, ' ')) / 100; // to a hundredth of a pixel
    if (space > 0) {
        m_nTabWidth = std::max(1, int(std::lround(nTabStops * baseX / 4.0 / space)));
        setTabWidth(m_nTabWidth);
    }
}

bool CEditView::Create(QWidget* parent) {
    CREATESTRUCT cs;
    if (!PreCreateWindow(cs))
        return false;
    m_style = cs.style;
    setParent(parent);
    setReadOnly(m_style & ES_READONLY);
    setWrapMode((m_style & ES_AUTOHSCROLL) ? WrapNone : WrapWord);
    SendScintilla(SCI_SETHSCROLLBAR, (unsigned long)((m_style & WS_HSCROLL) != 0));
    SendScintilla(SCI_SETVSCROLLBAR, (unsigned long)((m_style & WS_VSCROLL) != 0));
    QsciScintilla::setFont(font()); // the application's default font
    SetTabStops(32);
    // The platform's text colours; the selection stays drawn without the focus (ES_NOHIDESEL).
    const QPalette p = palette();
    setPaper(p.color(QPalette::Active, QPalette::Base));
    setColor(p.color(QPalette::Active, QPalette::Text));
    setCaretForegroundColor(p.color(QPalette::Active, QPalette::Text));
    setSelectionBackgroundColor(p.color(QPalette::Active, QPalette::Highlight));
    setSelectionForegroundColor(p.color(QPalette::Active, QPalette::HighlightedText));
    return true;
}

qint64 CEditView::WidenPosition(int truncated, qint64 length, qint64 near) {
    constexpr qint64 kWrap = qint64(1) << 32;
    const qint64 low = qint64(quint32(truncated));
    if (length < kWrap)
        return low;
    const qint64 k = std::max<qint64>(0, near - low + kWrap / 2) / kWrap;
    return low + std::min(k, std::max<qint64>(0, length - low) / kWrap) * kWrap;
}

void CEditView::onModified(int truncated, int type, const char* text, int length, int, int, int,
                           int, int, int) {
    // Only the user's own changes get here (the program's are masked), and only these kinds.
    if (type & SC_MOD_INSERTCHECK) {
        // The last guard of the typing limit, for insertions no key or command checked first
        // (a drop, a middle-button paste).
        if (GetTextLength() + length > nMaxSize) {
            SendScintilla(SCI_CHANGEINSERTION, 0UL, "");
            MessageBeep(MB_OK);
        }
        return;
    }
    if (!(type & (SC_MOD_BEFOREINSERT | SC_MOD_BEFOREDELETE)) || length <= 0)
        return;
    const qint64 position =
        WidenPosition(truncated, GetTextLength(), SendScintilla(SCI_GETCURRENTPOS));
    if (type & SC_MOD_BEFOREINSERT)
        onUserInsert(long(position));
    else
        applyLineStates();
    m_nHighlightLength = -1; // the lines on screen are looked at again
    if (CDocument* doc = GetDocument())
        doc->SetModifiedFlag(true);
    m_nAccessibleChars = -1;
    if (QAccessible::isActive()) {
        const int offset = int(SendScintilla(SCI_COUNTCHARACTERS, 0UL, long(position)));
        const bool inserted = type & SC_MOD_BEFOREINSERT;
        const QString changed =
            inserted ? QString::fromUtf8(text, length)
                     : QString::fromUtf8(
                           reinterpret_cast<const char*>(SendScintilla(
                               SCI_GETRANGEPOINTER, (unsigned long)position, long(length))),
                           length);
        // Told once the change is made.
        QMetaObject::invokeMethod(
            this,
            [this, offset, changed, inserted] {
                if (inserted) {
                    QAccessibleTextInsertEvent event(this, offset, changed);
                    QAccessible::updateAccessibility(&event);
                } else {
                    QAccessibleTextRemoveEvent event(this, offset, changed);
                    QAccessible::updateAccessibility(&event);
                }
            },
            Qt::QueuedConnection);
    }
    // Whether there is anything to undo is known once the change is made.
    if (!m_bUndoStatePending) {
        m_bUndoStatePending = true;
        QMetaObject::invokeMethod(this, &CEditView::updateUndoState, Qt::QueuedConnection);
    }
}

void CEditView::updateUndoState() {
    m_bUndoStatePending = false;
    m_bCanUndo = isUndoAvailable() || isRedoAvailable();
}

qint64 CEditView::GetTextLength() const {
    return SendScintilla(SCI_GETLENGTH);
}

QByteArray CEditView::GetWindowText() const {
    const qint64 length = GetTextLength();
    // The text as one block of bytes, without a terminating null of the editor's.
    const auto* bytes = static_cast<const char*>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return QByteArray(bytes, length);
}

void CEditView::SetWindowText(const QByteArray& bytes) {
    // A new document, so that the old one's memory goes and no receipt time stays behind.
    replaceDocument(newDocument(), bytes);
}

void CEditView::replaceDocument(void* doc, const QByteArray& bytes) {
    {
        ProgramChange change(*this);
        adoptDocument(doc);
        SendScintilla(SCI_SETUNDOCOLLECTION, 0UL);
        if (!bytes.isEmpty()) {
            reserveText(bytes.size());
            SendScintilla(SCI_APPENDTEXT, uintptr_t(bytes.size()), bytes.constData());
        }
        SendScintilla(SCI_EMPTYUNDOBUFFER);
        SendScintilla(SCI_GOTOPOS, 0UL);
        // The horizontal range starts again from the new text's lines as they are shown.
        SendScintilla(SCI_SETSCROLLWIDTH, 1UL);
    }
    afterNewText();
}

void CEditView::afterNewText() {
    m_bCanUndo = false;
    m_nMatchStart = m_nMatchEnd = m_nAppendCaret = -1;
    m_nAccessibleChars = -1;
    m_nLinesSincePause = 0;
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::TextUpdated);
        QAccessible::updateAccessibility(&event);
    }
}

void CEditView::AppendText(const QString& text) {
    appendBytes(text.toUtf8());
}

void CEditView::appendBytes(const QByteArray& bytes) {
    applyLineStates(); // the user's last insertion is complete
    ProgramChange change(*this);
    const long before = long(GetTextLength());
    // While paused the reader's place stays: the caret, the selection and the scroll position.
    const bool follow = IsFollowing();
    const long anchor = follow ? 0 : long(SendScintilla(SCI_GETANCHOR));
    const long caret = follow ? 0 : long(SendScintilla(SCI_GETCURRENTPOS));
    const long firstLine = follow ? 0 : long(SendScintilla(SCI_GETFIRSTVISIBLELINE));
    const long xOffset = follow ? 0 : long(SendScintilla(SCI_GETXOFFSET));
    const long linesBefore = follow ? 0 : long(SendScintilla(SCI_GETLINECOUNT));
    if (!bytes.isEmpty()) {
        reserveText(bytes.size());
        SendScintilla(SCI_APPENDTEXT, uintptr_t(bytes.size()), bytes.constData());
    }
    // A screen reader is told where the text went in, in characters: the count of the text
    // before is kept from one append to the next, so that it is not counted again each time.
    if (QAccessible::isActive() && !bytes.isEmpty()) {
        if (m_nAccessibleChars < 0)
            m_nAccessibleChars = SendScintilla(SCI_COUNTCHARACTERS, 0UL, before);
        QAccessibleTextInsertEvent event(this, int(m_nAccessibleChars), QString::fromUtf8(bytes));
        QAccessible::updateAccessibility(&event);
        m_nAccessibleChars +=
            SendScintilla(SCI_COUNTCHARACTERS, (unsigned long)before, long(GetTextLength()));
    }
    if (!follow) {
        m_nLinesSincePause += long(SendScintilla(SCI_GETLINECOUNT)) - linesBefore;
        if (SendScintilla(SCI_GETANCHOR) != anchor || SendScintilla(SCI_GETCURRENTPOS) != caret) {
            SendScintilla(SCI_SETANCHOR, (unsigned long)anchor);
            SendScintilla(SCI_SETCURRENTPOS, (unsigned long)caret);
        }
        SendScintilla(SCI_SETFIRSTVISIBLELINE, (unsigned long)firstLine);
        SendScintilla(SCI_SETXOFFSET, (unsigned long)xOffset);
        SendScintilla(SCI_EMPTYUNDOBUFFER);
        m_bCanUndo = false;
        return;
    }
    // Caret to the end with no selection, scrolled into view.
    const long end = long(GetTextLength());
    SendScintilla(SCI_GOTOPOS, (unsigned long)end);
    m_nAppendCaret = end;
    // As setting the whole text would, received text ends what Undo can take back.
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    m_bCanUndo = false;
}

void CEditView::reserveText(qint64 added) {
    // The editor grows a buffer that is full by a sixth to a third of its size, and the room it
    // leaves is resident (it is cleared) until the log fills it; a log that only grows at the
    // end is better served by a sixteenth: a little more copying (a sixteenth of the log is
    // received between two moves), a spare room of at most 6% of the text. The buffer must
    // keep more than the insertion free, or the editor grows it again its own way.
    const qint64 needed = GetTextLength() + added;
    if (needed < m_nTextRoom)
        return;
    m_nTextRoom = needed + std::max<qint64>(needed / 16, kMinTextSpare);
    SendScintilla(SCI_ALLOCATE, (unsigned long)m_nTextRoom);
}

// ---------------------------------------------------------------------------------------------
// The typing limit

bool CEditView::roomFor(qint64 added) {
    const qint64 selected =
        SendScintilla(SCI_GETSELECTIONEND) - SendScintilla(SCI_GETSELECTIONSTART);
    if (GetTextLength() - selected + added <= nMaxSize)
        return true;
    MessageBeep(MB_OK);
    return false;
}

void CEditView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_End &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier && !IsFollowing()) {
        // The way back to the end of a paused log: following again, unless Scroll Lock holds it.
        SetFollow(true);
        m_nLinesSincePause = 0;
        SendScintilla(SCI_DOCUMENTEND);
        event->accept();
        return;
    }
    if (!isReadOnly()) {
        const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
        if (event->matches(QKeySequence::Paste)) {
            paste();
            event->accept();
            return;
        }
        const QsciCommand* command = standardCommands()->boundTo(event->key() | int(mods));
        if (command && command->command() == QsciCommand::Undo) {
            OnCmdMsg(ID_EDIT_UNDO);
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Backtab ||
            (event->key() == Qt::Key_Tab && (mods & Qt::ShiftModifier))) {
            event->accept(); // unbound, and not a way out of the view either
            return;
        }
        if (event->key() == Qt::Key_Tab && mods == Qt::NoModifier) {
            // A tab replaces the selection, also one over several lines (no indenting).
            if (roomFor(1))
                SendScintilla(SCI_REPLACESEL, "\t");
            event->accept();
            return;
        }
        qint64 added = -1;
        const QString text = event->text();
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            !(mods & (Qt::ControlModifier | Qt::AltModifier)))
            added = 2; // CR LF
        else if (!text.isEmpty() && text.at(0).isPrint() &&
                 !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            added = text.toUtf8().size();
        if (added >= 0 && !roomFor(added)) {
            event->accept();
            return;
        }
    }
    QsciScintilla::keyPressEvent(event);
}

void CEditView::contextMenuEvent(QContextMenuEvent* event) {
    // The edit control's menu, through the view's own commands (the editor's has Redo, and its
    // Undo and Paste would pass by the single level and the typing limit).
    QMenu menu;
    const auto add = [&](const QString& text, bool enabled, auto run) {
        menu.addAction(text, this, run)->setEnabled(enabled);
    };
    const bool editable = !isReadOnly();
    add(QStringLiteral("&Undo"), editable && m_bCanUndo, [this] { OnCmdMsg(ID_EDIT_UNDO); });
    menu.addSeparator();
    add(QStringLiteral("Cu&t"), editable && m_bCanCopy, [this] { OnCmdMsg(ID_EDIT_CUT); });
    add(QStringLiteral("&Copy"), m_bCanCopy, [this] { OnCmdMsg(ID_EDIT_COPY); });
    add(QStringLiteral("&Paste"), editable && m_bClipboardText,
        [this] { OnCmdMsg(ID_EDIT_PASTE); });
    add(QStringLiteral("&Delete"), editable && m_bCanCopy, [this] { OnCmdMsg(ID_EDIT_CLEAR); });
    menu.addSeparator();
    add(QStringLiteral("Select &All"), GetTextLength() > 0,
        [this] { OnCmdMsg(ID_EDIT_SELECT_ALL); });
    menu.exec(event->globalPos());
}

void CEditView::inputMethodEvent(QInputMethodEvent* event) {
    if (!isReadOnly() && !event->commitString().isEmpty() &&
        !roomFor(event->commitString().toUtf8().size())) {
        event->accept();
        return;
    }
    QsciScintilla::inputMethodEvent(event);
}

void CEditView::paste() {
    if (isReadOnly())
        return;
    if (!roomFor(QApplication::clipboard()->text().toUtf8().size()))
        return;
    QsciScintilla::paste();
}

// ---------------------------------------------------------------------------------------------
// Commands

bool CEditView::OnCmdMsg(UINT nID) {
    switch (nID) {
    case ID_EDIT_UNDO:
        // One level, as the edit control's: Undo right after an Undo takes that one back.
        if (!isReadOnly()) {
            if (isRedoAvailable())
                redo();
            else
                undo();
        }
        updateUndoState();
        return true;
    case ID_EDIT_CUT:
        if (!isReadOnly())
            cut();
        return true;
    case ID_EDIT_COPY:
        copy();
        return true;
    case ID_EDIT_CLEAR:
        if (!isReadOnly())
            SendScintilla(SCI_CLEAR);
        return true;
    case ID_EDIT_PASTE:
        paste();
        return true;
    case ID_EDIT_SELECT_ALL:
        selectAll();
        return true;
    case ID_EDIT_FIND:
        OnEditFind();
        return true;
    case ID_EDIT_REPEAT:
        OnEditRepeat();
        return true;
    case ID_FILE_PRINT:
        OnFilePrint();
        return true;
    case ID_FILE_PRINT_DIRECT:
        OnFilePrintDirect();
        return true;
    case ID_FILE_PRINT_PREVIEW:
        OnFilePrintPreview();
        return true;
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        return true; // the view is never split
    default:
        return false;
    }
}

bool CEditView::OnUpdateCmdUI(UINT nID, CCmdUI* pCmdUI) {
    // Kept up to date by the editor's and the clipboard's signals: nothing is asked here.
    switch (nID) {
    case ID_EDIT_UNDO:
        pCmdUI->Enable(!isReadOnly() && m_bCanUndo);
        return true;
    case ID_EDIT_CUT:
        pCmdUI->Enable(!isReadOnly() && m_bCanCopy);
        return true;
    case ID_EDIT_COPY:
        pCmdUI->Enable(m_bCanCopy);
        return true;
    case ID_EDIT_PASTE:
        pCmdUI->Enable(!isReadOnly() && m_bClipboardText);
        return true;
    case ID_EDIT_FIND:
        pCmdUI->Enable(GetTextLength() > 0);
        return true;
    case ID_EDIT_REPEAT:
        pCmdUI->Enable(GetTextLength() > 0 && !m_strFind.isEmpty());
        return true;
    default:
        return false;
    }
}
