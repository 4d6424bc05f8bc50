#include "EditView.h"

#include "Document.h"
#include "FindDlg.h"
#include "MessageBox.h"
#include "WinApp.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qsciprinter.h>

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

namespace {
// What screen readers see of the view: an editable text whose whole text they can read, with
// offsets counted in characters. The editor's own accessible object counts the characters from
// the start of the text at every change of the text or the caret and every repaint, whether a
// screen reader listens or not, which makes a long log slow to append to, scroll and paint.
// This one counts only when asked, and the view tells listeners of changes itself.
class CEditViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit CEditViewAccessible(CEditView* view)
        : QAccessibleWidget(view, QAccessible::EditableText), m_view(view) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !m_view->isReadOnly();
        s.readOnly = m_view->isReadOnly();
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return QString::fromUtf8(m_view->GetWindowText());
        return QAccessibleWidget::text(t);
    }

    QString text(int startOffset, int endOffset) const override {
        const long start = position(startOffset);
        const long end = position(endOffset);
        if (end <= start)
            return QString();
        // The range as one block of bytes (the editor hands back a pointer).
        const auto* bytes = reinterpret_cast<const char*>(m_view->SendScintilla(
            QsciScintillaBase::SCI_GETRANGEPOINTER, (unsigned long)start, end - start));
        return QString::fromUtf8(bytes, end - start);
    }
    int characterCount() const override { return offset(long(m_view->GetTextLength())); }
    int cursorPosition() const override {
        return offset(m_view->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    }
    void setCursorPosition(int position) override {
        m_view->SendScintilla(QsciScintillaBase::SCI_GOTOPOS,
                              (unsigned long)this->position(position));
    }
    int selectionCount() const override { return m_view->hasSelectedText() ? 1 : 0; }
    void selection(int index, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (index != 0 || !m_view->hasSelectedText())
            return;
        *startOffset = offset(m_view->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART));
        *endOffset = offset(m_view->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONEND));
    }
    void addSelection(int startOffset, int endOffset) override {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int index) override {
        if (index == 0)
            m_view->SendScintilla(
                QsciScintillaBase::SCI_SETEMPTYSELECTION,
                (unsigned long)m_view->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    }
    void setSelection(int index, int startOffset, int endOffset) override {
        if (index == 0)
            m_view->SendScintilla(QsciScintillaBase::SCI_SETSEL,
                                  (unsigned long)position(startOffset), position(endOffset));
    }
    QRect characterRect(int offset) const override {
        const long pos = position(offset);
        const int x =
            int(m_view->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, pos));
        const int y =
            int(m_view->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, pos));
        const long next =
            m_view->SendScintilla(QsciScintillaBase::SCI_POSITIONAFTER, (unsigned long)pos);
        const int right =
            int(m_view->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, next));
        const int height = int(m_view->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0UL));
        const QPoint topLeft = m_view->viewport()->mapToGlobal(QPoint(x, y));
        return QRect(topLeft, QSize(std::max(1, right - x), height));
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = m_view->viewport()->mapFromGlobal(point);
        const long pos = m_view->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMPOINTCLOSE,
                                               (unsigned long)local.x(), long(local.y()));
        return pos < 0 ? -1 : offset(pos);
    }
    void scrollToSubstring(int startIndex, int endIndex) override {
        m_view->SendScintilla(QsciScintillaBase::SCI_SCROLLRANGE, (unsigned long)position(endIndex),
                              position(startIndex));
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset; // plain text: no attributes anywhere
        return QString();
    }

private:
    // Byte position <-> character offset.
    int offset(long position) const {
        return int(m_view->SendScintilla(QsciScintillaBase::SCI_COUNTCHARACTERS, 0UL, position));
    }
    long position(int offset) const {
        if (offset <= 0)
            return 0;
        const long pos =
            m_view->SendScintilla(QsciScintillaBase::SCI_POSITIONRELATIVE, 0UL, long(offset));
        return pos == 0 ? long(m_view->GetTextLength()) : pos; // 0: past the end
    }
    CEditView* m_view;
};

QAccessibleInterface* editViewAccessible(const QString& /*className*/, QObject* object) {
    if (auto* view = qobject_cast<CEditView*>(object))
        return new CEditViewAccessible(view); // owned by the accessibility cache
    return nullptr;
}
} // namespace

CEditView::CEditView(QWidget* parent) : QsciScintilla(parent) {
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
    if (space > 0)
        setTabWidth(std::max(1, int(std::lround(nTabStops * baseX / 4.0 / space))));
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

void CEditView::onModified(int position, int type, const char* text, int length, int, int, int, int,
                           int, int) {
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
    {
        ProgramChange change(*this);
        SendScintilla(SCI_CLEARALL);
        if (!bytes.isEmpty())
            SendScintilla(SCI_APPENDTEXT, uintptr_t(bytes.size()), bytes.constData());
        SendScintilla(SCI_EMPTYUNDOBUFFER);
        SendScintilla(SCI_GOTOPOS, 0UL);
        // The horizontal range starts again from the new text's lines as they are shown.
        SendScintilla(SCI_SETSCROLLWIDTH, 1UL);
    }
    m_bCanUndo = false;
    m_nMatchStart = m_nMatchEnd = m_nAppendCaret = -1;
    m_nAccessibleChars = -1;
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::TextUpdated);
        QAccessible::updateAccessibility(&event);
    }
}

void CEditView::AppendText(const QString& text) {
    appendBytes(text.toUtf8());
}

void CEditView::appendBytes(const QByteArray& bytes) {
    ProgramChange change(*this);
    const long before = long(GetTextLength());
    if (!bytes.isEmpty())
        SendScintilla(SCI_APPENDTEXT, uintptr_t(bytes.size()), bytes.constData());
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
    // Caret to the end with no selection, scrolled into view.
    const long end = long(GetTextLength());
    SendScintilla(SCI_GOTOPOS, (unsigned long)end);
    m_nAppendCaret = end;
    // As setting the whole text would, received text ends what Undo can take back.
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    m_bCanUndo = false;
}

void CEditView::SerializeRaw(CArchive& ar) {
    QIODevice* file = ar.GetFile();
    if (ar.IsStoring()) {
        const QByteArray bytes = GetWindowText();
        if (file->write(bytes) != bytes.size())
            throw CArchiveException{file->errorString()};
        return;
    }
    if (file->size() > nMaxSize)
        throw CArchiveException{QStringLiteral("The file is too large to open.")};
    // Devices and the like report no size: read no more than one byte past the limit.
    const QByteArray bytes = file->read(nMaxSize + 1);
    if (bytes.size() > nMaxSize)
        throw CArchiveException{QStringLiteral("The file is too large to open.")};
    SetWindowText(bytes);
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
// Printing

void CEditView::PrintText(QPrinter* printer) {
    OnBeginPrinting();
    if (auto* editorPrinter = dynamic_cast<QsciPrinter*>(printer)) {
        editorPrinter->printRange(this);
    } else {
        // A printer of the platform's own: the editor formats the pages for one like it.
        QsciPrinter pages(QPrinter::HighResolution);
        pages.setOutputFormat(printer->outputFormat());
        pages.setOutputFileName(printer->outputFileName());
        if (printer->outputFormat() == QPrinter::NativeFormat)
            pages.setPrinterName(printer->printerName());
        pages.setPageLayout(printer->pageLayout());
        pages.setCopyCount(printer->copyCount());
        pages.setFromTo(printer->fromPage(), printer->toPage());
        pages.printRange(this);
    }
    OnEndPrinting();
}

void CEditView::OnFilePrint() {
    QPrinter* printer = AfxGetApp() ? AfxGetApp()->GetPrinter() : nullptr;
    if (!printer)
        return;
    OnPreparePrinting();
    QPrintDialog dialog(printer, window());
    if (dialog.exec() == QDialog::Accepted)
        PrintText(printer);
}

void CEditView::OnFilePrintDirect() {
    QPrinter* printer = AfxGetApp() ? AfxGetApp()->GetPrinter() : nullptr;
    if (!printer)
        return;
    OnPreparePrinting();
    PrintText(printer);
}

void CEditView::OnFilePrintPreview() {
    QPrinter* printer = AfxGetApp() ? AfxGetApp()->GetPrinter() : nullptr;
    if (!printer)
        return;
    OnPreparePrinting();
    QPrintPreviewDialog preview(printer, window());
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* p) { PrintText(p); });
    auto* widget = preview.findChild<QPrintPreviewWidget*>();
    if (widget && AfxGetApp()->GetPreviewPages() == 2)
        widget->setViewMode(QPrintPreviewWidget::FacingPagesView);
    preview.exec();
    if (widget)
        AfxGetApp()->SetPreviewPages(
            widget->viewMode() == QPrintPreviewWidget::FacingPagesView ? 2 : 1);
}

// ---------------------------------------------------------------------------------------------
// Find

bool CEditView::FindText(const QString& what, bool bNext, bool bCase) {
    if (what.isEmpty())
        return false;
    const QByteArray needle = what.toUtf8();
    const long length = long(GetTextLength());
    long start = SendScintilla(SCI_GETSELECTIONSTART);
    long end = SendScintilla(SCI_GETSELECTIONEND);
    // The caret where an append left it: the search goes on from the last match instead.
    if (m_nMatchStart >= 0 && start == end && start == m_nAppendCaret && m_nMatchEnd <= length) {
        start = m_nMatchStart;
        end = m_nMatchEnd;
    }
    SendScintilla(SCI_SETSEARCHFLAGS, (unsigned long)(bCase ? SCFIND_MATCHCASE : 0));
    const auto search = [&](long from, long to) {
        SendScintilla(SCI_SETTARGETSTART, (unsigned long)from);
        SendScintilla(SCI_SETTARGETEND, (unsigned long)to);
        return SendScintilla(SCI_SEARCHINTARGET, uintptr_t(needle.size()), needle.constData());
    };
    // From the selection to the end in the direction of the search, then once round.
    long found = bNext ? search(end, length) : search(start, 0);
    if (found < 0)
        found = bNext ? search(0, end) : search(length, start);
    if (found < 0)
        return false;
    const long foundEnd = SendScintilla(SCI_GETTARGETEND);
    // Selected with the caret on the side the search goes, and the whole match in view.
    if (bNext)
        SendScintilla(SCI_SETSEL, (unsigned long)found, foundEnd);
    else
        SendScintilla(SCI_SETSEL, (unsigned long)foundEnd, found);
    SendScintilla(SCI_SCROLLRANGE, (unsigned long)(bNext ? found : foundEnd),
                  bNext ? foundEnd : found);
    m_nMatchStart = found;
    m_nMatchEnd = foundEnd;
    m_nAppendCaret = -1;
    return true;
}

void CEditView::OnTextNotFound(const QString& what) {
    AfxMessageBox(QStringLiteral("Cannot find \"%1\".").arg(what), MB_OK | MB_ICONINFORMATION);
}

void CEditView::OnEditFind() {
    if (!m_pFindDialog) {
        m_pFindDialog = new CFindDialog(this); // owned by the view, reused while it lives
        m_pFindDialog->SetFindString(m_strFind);
        m_pFindDialog->SetMatchCase(m_bFindCase);
        m_pFindDialog->SetSearchDown(m_bFindNext);
        connect(m_pFindDialog, &CFindDialog::findNext, this, &CEditView::onFindNext);
    }
    // A selection within one line is what the user most likely wants to find.
    const QString selection = selectedText();
    if (!selection.isEmpty() && !selection.contains(QLatin1Char('\n')) &&
        !selection.contains(QLatin1Char('\r')))
        m_pFindDialog->SetFindString(selection);
    m_pFindDialog->show();
    m_pFindDialog->raise();
    m_pFindDialog->activateWindow();
}

void CEditView::onFindNext() {
    m_strFind = m_pFindDialog->GetFindString();
    m_bFindCase = m_pFindDialog->MatchCase();
    m_bFindNext = m_pFindDialog->SearchDown();
    OnEditRepeat();
}

void CEditView::OnEditRepeat() {
    if (m_strFind.isEmpty()) {
        OnEditFind();
        return;
    }
    if (!FindText(m_strFind, m_bFindNext, m_bFindCase))
        OnTextNotFound(m_strFind);
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
