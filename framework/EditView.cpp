#include "EditView.h"

#include "Document.h"
#include "MessageBox.h"
#include "WinApp.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>

namespace {
// Characters of the control that stand for bytes the control cannot hold as they are.
constexpr char16_t kLoneCR = 0xE00D; // a CR not followed by LF
constexpr char16_t kNul = 0xE000;    // a NUL byte
constexpr char16_t kEscape = 0xE0FF; // the next character is a literal one of the above
constexpr char16_t kEscapedBase = 0x0100;

// The control turns these into line breaks or frames; in a file they are ordinary text.
bool needsEscape(char16_t c, char16_t& code) {
    switch (c) {
    case 0x2028:
        code = u'a';
        return true;
    case 0x2029:
        code = u'b';
        return true;
    case 0xFDD0:
        code = u'c';
        return true;
    case 0xFDD1:
        code = u'd';
        return true;
    default:
        if (c >= 0xE000 && c <= 0xE0FF) {
            code = char16_t(kEscapedBase + (c - 0xE000));
            return true;
        }
        return false;
    }
}

char16_t unescape(char16_t code) {
    switch (code) {
    case u'a':
        return 0x2028;
    case u'b':
        return 0x2029;
    case u'c':
        return 0xFDD0;
    case u'd':
        return 0xFDD1;
    default:
        return char16_t(0xE000 + (code - kEscapedBase));
    }
}

// Counts the program's own changes so that they do not mark the document modified.
class ProgrammaticChange {
public:
    explicit ProgrammaticChange(int& counter) : m_counter(counter) { ++m_counter; }
    ~ProgrammaticChange() { --m_counter; }
    ProgrammaticChange(const ProgrammaticChange&) = delete;
    ProgrammaticChange& operator=(const ProgrammaticChange&) = delete;

private:
    int& m_counter;
};
} // namespace

QString CEditView::ToDisplay(const QByteArray& raw) {
    // Callers hand over UTF-8 text (or Latin-1 decoded already into the same QString form).
    return ToDisplayText(QString::fromUtf8(raw));
}

QString CEditView::ToDisplayText(const QString& s) {
    QString out;
    out.reserve(s.size());
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s.at(i).unicode();
        char16_t code = 0;
        if (c == u'\r') {
            if (i + 1 < n && s.at(i + 1) == u'\n') {
                out += QChar::ParagraphSeparator; // CR LF: a line of the control
                ++i;
            } else {
                out += QChar(kLoneCR);
            }
        } else if (c == u'\n') {
            out += QChar::LineSeparator; // a lone LF still breaks the line on screen
        } else if (c == 0) {
            out += QChar(kNul);
        } else if (needsEscape(c, code)) {
            out += QChar(kEscape);
            out += QChar(code);
        } else {
            out += QChar(c);
        }
    }
    return out;
}

QByteArray CEditView::FromDisplay(const QString& shown) {
    return FromDisplayText(shown).toUtf8();
}

QString CEditView::FromDisplayText(const QString& shown) {
    QString out;
    out.reserve(shown.size() + shown.size() / 16);
    const qsizetype n = shown.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = shown.at(i).unicode();
        switch (c) {
        case QChar::ParagraphSeparator:
            out += QLatin1String("\r\n");
            break;
        case QChar::LineSeparator:
            out += QLatin1Char('\n');
            break;
        case kLoneCR:
            out += QLatin1Char('\r');
            break;
        case kNul:
            out += QChar(0);
            break;
        case kEscape:
            if (i + 1 < n)
                out += QChar(unescape(shown.at(++i).unicode()));
            break;
        default:
            out += QChar(c);
        }
    }
    return out;
}

CEditView::CEditView(QWidget* parent) : QPlainTextEdit(parent) {
    connect(document(), &QTextDocument::contentsChange, this, &CEditView::onContentsChange);
}

CEditView::~CEditView() = default;

bool CEditView::PreCreateWindow(CREATESTRUCT& cs) {
    cs.style |=
        WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_MULTILINE | ES_NOHIDESEL;
    return true;
}

bool CEditView::Create(QWidget* parent) {
    CREATESTRUCT cs;
    if (!PreCreateWindow(cs))
        return false;
    m_style = cs.style;
    setParent(parent);
    setReadOnly(m_style & ES_READONLY);
    // A read-only log still shows its caret, so the user can select and copy with the keys.
    if (m_style & ES_READONLY)
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode((m_style & ES_AUTOHSCROLL) ? QPlainTextEdit::NoWrap
                                               : QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy((m_style & WS_HSCROLL) ? Qt::ScrollBarAsNeeded
                                                        : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy((m_style & WS_VSCROLL) ? Qt::ScrollBarAsNeeded
                                                      : Qt::ScrollBarAlwaysOff);
    if (m_style & ES_NOHIDESEL) {
        QPalette p = palette();
        p.setColor(QPalette::Inactive, QPalette::Highlight,
                   p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
        setPalette(p);
    }
    // One tab stop every 32 dialog units: eight average characters.
    setTabStopDistance(fontMetrics().averageCharWidth() * 8);
    return true;
}

void CEditView::onContentsChange(int /*position*/, int removed, int added) {
    if (m_nProgrammatic == 0 && (removed || added) && GetDocument())
        GetDocument()->SetModifiedFlag(true);
}

QByteArray CEditView::GetWindowText() const {
    const QString text = FromDisplayText(document()->toRawText());
    if (!m_bLatin1)
        return text.toUtf8();
    // A file loaded byte for byte goes back byte for byte; a character added since that has
    // no single byte goes as UTF-8, so that neither the loaded bytes nor the new text change.
    QByteArray out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c <= 0xFF) {
            out += char(c);
            continue;
        }
        const qsizetype units =
            QChar::isHighSurrogate(c) && i + 1 < n && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        out += QStringView(text).mid(i, units).toUtf8();
        i += units - 1;
    }
    return out;
}

void CEditView::SetWindowText(const QByteArray& bytes) {
    ProgrammaticChange guard(m_nProgrammatic);
    // Text that is not UTF-8 is taken byte for byte and saved back the same way.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    m_bLatin1 = utf8.hasError();
    if (m_bLatin1)
        text = QString::fromLatin1(bytes);
    setPlainText(ToDisplayText(text));
    moveCursor(QTextCursor::Start);
}

void CEditView::AppendText(const QString& text) {
    ProgrammaticChange guard(m_nProgrammatic);
    QTextDocument* doc = document();
    // The program's appends are not undoable: undo would otherwise take back received text.
    const bool undo = doc->isUndoRedoEnabled();
    if (undo)
        doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToDisplayText(text));
    if (undo)
        doc->setUndoRedoEnabled(true);
    setTextCursor(cursor); // caret at the end, no selection
    ensureCursorVisible();
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

void CEditView::PrintText(QPrinter* printer) {
    OnBeginPrinting();
    print(printer);
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

bool CEditView::OnCmdMsg(UINT nID) {
    switch (nID) {
    case ID_EDIT_UNDO:
        undo();
        return true;
    case ID_EDIT_CUT:
        if (!isReadOnly())
            cut();
        return true;
    case ID_EDIT_COPY:
        copy();
        return true;
    case ID_EDIT_PASTE:
        if (!isReadOnly())
            paste();
        return true;
    case ID_EDIT_SELECT_ALL:
        selectAll();
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
    const bool selection = textCursor().hasSelection();
    switch (nID) {
    case ID_EDIT_UNDO:
        pCmdUI->Enable(!isReadOnly() && document()->isUndoAvailable());
        return true;
    case ID_EDIT_CUT:
        pCmdUI->Enable(!isReadOnly() && selection);
        return true;
    case ID_EDIT_COPY:
        pCmdUI->Enable(selection);
        return true;
    case ID_EDIT_PASTE: {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        pCmdUI->Enable(!isReadOnly() && data && data->hasText());
        return true;
    }
    default:
        return false;
    }
}
