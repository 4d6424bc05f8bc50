// The hyperlink control. Its parts, in order: the event router that stands in for the label's
// own message handling, and attaching to the label; the target, underline, followed state and
// colour; painting, fitting the control to its text, the hand cursor and hovering; the click,
// which opens the target through the desktop and otherwise through the program registered for
// HTML files (reading its desktop entry and composing its command); the error texts of a
// failed open and their box.
#include "BriskHyperlink.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

// Receives the events of the attached label: the toolkit's stand-in for the control's own
// message handling (paint, mouse, cursor) without deriving a widget class.
class CBriskHyperlink::EventRouter : public QObject {
public:
    explicit EventRouter(CBriskHyperlink& link) : m_link(link) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_link.m_hWnd.data())
            return false;
        switch (event->type()) {
        case QEvent::Paint:
            m_link.OnPaint();
            return true;
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                m_link.OnLinkClicked();
                return true;
            }
            return false;
        case QEvent::MouseMove:
            m_link.OnMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
            return false;
        case QEvent::Enter:
            m_link.OnSetCursor();
            m_link.OnMouseMove(static_cast<QEnterEvent*>(event)->position().toPoint());
            return false;
        case QEvent::Leave:
            // Leaving the widget is what the mouse capture would have reported as a move
            // outside the client area.
            m_link.OnMouseMove(QPoint(-1, -1));
            return false;
        default:
            return false;
        }
    }

private:
    CBriskHyperlink& m_link;
};

CBriskHyperlink::CBriskHyperlink()
    : m_clrLink(RGB(0, 0, 238)), m_clrFollowed(RGB(85, 26, 139)),
      m_clrHover(
          RefFromColor(QApplication::palette().color(QPalette::Active, QPalette::Highlight))),
      m_bHover(false), m_bFollowed(false), m_bUnderlined(true), m_bFitToText(true) {}

CBriskHyperlink::~CBriskHyperlink() {
    if (QWidget* w = m_hWnd.data()) {
        w->removeEventFilter(m_router.get());
        w->update(); // the label paints itself again from now on
    }
}

void CBriskHyperlink::PreSubclassWindow() {
    QLabel* l = label();
    if (l) {
        // The platform's SS_NOTIFY: the control now hears about clicks, moves and paints.
        m_router = std::make_unique<EventRouter>(*this);
        l->installEventFilter(m_router.get());
        l->setMouseTracking(true);

        if (m_strTarget.isEmpty())
            m_strTarget = l->text();
        if (l->text().isEmpty())
            l->setText(m_strTarget);

        QFont font = l->font();
        font.setUnderline(m_bUnderlined);
        m_fontLink = font;
        l->setFont(font);
        l->update();

        FitToText();
        LoadHandCursor();
        OnSetCursor();
        l->setToolTip(m_strTarget);
    }
    CStatic::PreSubclassWindow();
}

void CBriskHyperlink::SetTarget(QString target, BOOL bUnderline) {
    m_strTarget = std::move(target);
    if (QLabel* l = label()) {
        SetUnderlined(bUnderline);
        FitToText();
        l->setToolTip(m_strTarget);
    }
}

void CBriskHyperlink::SetUnderlined(BOOL bUnderline) {
    m_bUnderlined = bUnderline;
    if (QLabel* l = label()) {
        QFont font = l->font();
        font.setUnderline(m_bUnderlined);
        m_fontLink = font;
        l->setFont(font);
        l->update();
    }
}

void CBriskHyperlink::SetFollowed(BOOL bFollowed) {
    m_bFollowed = bFollowed;
    if (QLabel* l = label())
        l->update();
}

COLORREF CBriskHyperlink::CtlColor() const {
    if (m_bHover)
        return m_clrHover;
    return m_bFollowed ? m_clrFollowed : m_clrLink;
}

void CBriskHyperlink::OnPaint() {
    QLabel* l = label();
    if (!l)
        return;
    // Transparent background: only the text is drawn, in the colour of the present state.
    QPainter painter(l);
    painter.setFont(m_fontLink ? *m_fontLink : l->font());
    painter.setPen(ColorFromRef(CtlColor()));
    painter.drawText(l->contentsRect(), int(l->alignment()), l->text());
}

void CBriskHyperlink::FitToText() {
    QLabel* l = label();
    if (!l || !m_bFitToText)
        return;
    // The window rectangle in the parent's client coordinates, with exclusive right and bottom.
    const QRect g = l->geometry();
    int left = g.x();
    int top = g.y();
    int right = g.x() + g.width();
    int bottom = g.y() + g.height();

    const QFontMetrics fm(m_fontLink ? *m_fontLink : l->font(), l);
    const int textWidth = fm.horizontalAdvance(l->text());
    const int textHeight = fm.height();

    const Qt::Alignment align = l->alignment();
    if (align & Qt::AlignVCenter) {
        const int d = ((bottom - top) - textHeight) / 2; // toward zero; negative grows
        top += d;
        bottom -= d;
    } else {
        bottom = top + textHeight;
    }
    if (align & Qt::AlignHCenter) {
        const int d = ((right - left) - textWidth) / 2;
        left += d;
        right -= d;
    } else if (align & Qt::AlignRight) {
        left = right - textWidth;
    } else {
        right = left + textWidth;
    }
    l->setGeometry(left, top, right - left, bottom - top);
}

void CBriskHyperlink::LoadHandCursor() {
    if (!m_hHandCursor)
        m_hHandCursor = QCursor(Qt::PointingHandCursor);
}

bool CBriskHyperlink::OnSetCursor() {
    QLabel* l = label();
    if (!m_hHandCursor || !l)
        return false;
    l->setCursor(*m_hHandCursor);
    return true;
}

void CBriskHyperlink::RedrawNow() {
    if (QLabel* l = label())
        l->repaint();
}

void CBriskHyperlink::OnMouseMove(const QPoint& point) {
    QLabel* l = label();
    if (!l)
        return;
    if (!m_bHover) {
        m_bHover = true;
        RedrawNow();
    } else if (!l->rect().contains(point)) {
        m_bHover = false;
        RedrawNow();
    }
}

void CBriskHyperlink::OnLinkClicked() {
    const int result = OpenTarget(m_strTarget, SW_SHOW);
    const bool opened = result > SE_SUCCESS_LIMIT;
    // Repaint on failure too: a link that was followed before must not keep its colour.
    SetFollowed(opened);
    if (!opened) {
        MessageBeep(MB_ICONEXCLAMATION);
        ShowOpenError(result);
    }
}

int CBriskHyperlink::OpenTarget(const QString& target, int nShowCmd) {
    const int shellResult = ShellExecuteOpen(target, nShowCmd);
    if (shellResult > SE_SUCCESS_LIMIT)
        return shellResult;

    QString handler;
    if (ReadHtmlHandler(handler) != 0)
        return shellResult;
    QString command;
    if (ReadOpenCommand(handler, command) != 0)
        return shellResult;

    // The cut command is split into program and arguments; the target is passed as one
    // argument of its own, so that blanks or quotes in it cannot turn into further arguments.
    QStringList argv;
    const QStringList parts = QProcess::splitCommand(CutOpenCommand(command));
    for (const QString& part : parts) {
        // Field codes left before the cut (icon, name, location) expand to nothing here.
        if (part.size() == 2 && part.at(0) == QLatin1Char('%') && part.at(1) != QLatin1Char('%'))
            continue;
        argv << QString(part).replace(QStringLiteral("%%"), QStringLiteral("%"));
    }
    if (argv.isEmpty())
        return shellResult;
    // A target the program would read as an option of its own (a leading '-') is passed as the
    // file it names instead: no URL starts with '-'.
    if (target.startsWith(QLatin1Char('-')))
        argv << QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath())
                    .toString(QUrl::FullyEncoded);
    else
        argv << target;
    return StartProgram(argv, nShowCmd);
}

int CBriskHyperlink::ShellExecuteOpen(const QString& target, int /*nShowCmd*/) {
    if (target.isEmpty())
        return SE_ERR_FNF;
    QUrl url(target);
    // A scheme of one letter is a drive, not a scheme: such a target is a path.
    if (!url.isValid() || url.scheme().size() < 2) {
        const QFileInfo fi(target);
        if (!fi.exists())
            return fi.absoluteDir().exists() ? SE_ERR_FNF : SE_ERR_PNF;
        url = QUrl::fromLocalFile(fi.absoluteFilePath());
    }
    return QDesktopServices::openUrl(url) ? SE_OPENED : SE_ERR_NOASSOC;
}

int CBriskHyperlink::ReadHtmlHandler(QString& desktopId) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForFinished(10000) || query.exitStatus() != QProcess::NormalExit ||
        query.exitCode() != 0)
        return SE_ERR_FNF;
    desktopId = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    return desktopId.isEmpty() ? SE_ERR_FNF : 0;
}

int CBriskHyperlink::ReadOpenCommand(const QString& desktopId, QString& command) {
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    if (path.isEmpty())
        return SE_ERR_FNF;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return SE_ERR_FNF;
    command = DesktopEntryExec(QString::fromUtf8(file.readAll()));
    return command.isEmpty() ? SE_ERR_FNF : 0;
}

int CBriskHyperlink::StartProgram(const QStringList& argv, int /*nShowCmd*/) {
    if (argv.isEmpty())
        return SE_ERR_FNF;
    return QProcess::startDetached(argv.first(), argv.mid(1)) ? SE_OPENED : SE_ERR_FNF;
}

QString CBriskHyperlink::CutOpenCommand(const QString& command) {
    const auto isTargetCode = [](QChar c) {
        return c == QLatin1Char('1') || c == QLatin1Char('u') || c == QLatin1Char('U') ||
               c == QLatin1Char('f') || c == QLatin1Char('F');
    };
    // Positions of the target's field codes; "%%" is a literal percent sign, not a code.
    QList<qsizetype> codes;
    for (qsizetype i = 0; i + 1 < command.size(); ++i) {
        if (command.at(i) != QLatin1Char('%'))
            continue;
        if (command.at(i + 1) == QLatin1Char('%')) {
            ++i;
            continue;
        }
        if (isTargetCode(command.at(i + 1)))
            codes << i;
    }
    for (const qsizetype i : codes) {
        if (i > 0 && command.at(i - 1) == QLatin1Char('"') && i + 2 < command.size() &&
            command.at(i + 2) == QLatin1Char('"'))
            return command.left(i - 1);
    }
    if (!codes.isEmpty())
        return command.left(codes.first());
    return command;
}

QString CBriskHyperlink::ComposeOpenCommand(const QString& command, const QString& target) {
    return CutOpenCommand(command) + QLatin1Char(' ') + target;
}

QString CBriskHyperlink::DesktopEntryExec(const QString& contents) {
    bool inEntry = false;
    const QStringList lines = contents.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || line.left(eq).trimmed() != QLatin1String("Exec"))
            continue;
        // The general escapes of desktop-file values.
        const QString raw = line.mid(eq + 1).trimmed();
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw.at(i) == QLatin1Char('\\') && i + 1 < raw.size()) {
                const QChar c = raw.at(++i);
                if (c == QLatin1Char('s'))
                    value += QLatin1Char(' ');
                else if (c == QLatin1Char('t'))
                    value += QLatin1Char('\t');
                else if (c == QLatin1Char('n'))
                    value += QLatin1Char('\n');
                else if (c == QLatin1Char('\\'))
                    value += QLatin1Char('\\');
                else
                    value += QLatin1Char('\\') + c;
            } else {
                value += raw.at(i);
            }
        }
        return value;
    }
    return QString();
}

QString CBriskHyperlink::OpenErrorText(int nCode) {
    switch (nCode) {
    case 0:
        return QStringLiteral("The operating system is out\nof memory or resources.");
    case 2:
        return QStringLiteral("The specified file was not found.");
    case 3:
        return QStringLiteral("The specified path was not found.");
    case 5:
        return QStringLiteral("The operating system denied\naccess to the specified file.");
    case 8:
        return QStringLiteral("There was not enough memory to complete the operation.");
    case 11:
        return QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    case 26:
        return QStringLiteral("A sharing violation occurred. ");
    case 27:
        return QStringLiteral("The filename association is\nincomplete or invalid.");
    case 28:
        return QStringLiteral("The DDE transaction could not\nbe completed because the request "
                              "timed out.");
    case 29:
        return QStringLiteral("The DDE transaction failed.");
    case 30:
        return QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                              "transactions\nwere being processed.");
    case 31:
        return QStringLiteral("There is no application associated\nwith the given filename "
                              "extension.");
    case 32:
        return QStringLiteral("The specified dynamic-link library was not found.");
    default:
        return QStringLiteral("Unknown Error (%1) occurred.").arg(nCode);
    }
}

void CBriskHyperlink::ShowOpenError(int nCode) {
    AfxMessageBox(QStringLiteral("Unable to open hyperlink:\n\n") + OpenErrorText(nCode),
                  MB_OK | MB_ICONEXCLAMATION);
}
