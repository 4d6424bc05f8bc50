// The edit view and the text the program receives: following the end or pausing, the time
// each received line came in (kept in the editor's per-line state, which moves with the lines
// as the text is edited, and drawn in a margin), and the count of what was received.
#include "EditView.h"

#include <QPainter>
#include <QTime>
#include <utility>

namespace {
constexpr int kTimesMarginNumber = 1;

// A line's state holds its receipt time as milliseconds since midnight plus one; 0: none.
int stampOf(const QTime& time) {
    return time.msecsSinceStartOfDay() + 1;
}

QString timeText(int stamp) {
    return stamp > 0
               ? QTime::fromMSecsSinceStartOfDay(stamp - 1).toString(QStringLiteral("HH:mm:ss.zzz"))
               : QString();
}
} // namespace

// Drawn over the editor's blank margin: the times of the lines on screen, which the editor is
// asked for at each paint, so that the text holds nothing of them.
class CEditView::TimesMargin : public QWidget {
public:
    explicit TimesMargin(CEditView& view) : QWidget(view.viewport()), m_view(view) {
        setAttribute(Qt::WA_TransparentForMouseEvents); // clicks select lines, as without it
        show();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setFont(m_view.font());
        painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
        const long count = m_view.SendScintilla(SCI_GETLINECOUNT);
        const long first = m_view.SendScintilla(SCI_GETFIRSTVISIBLELINE);
        const long shown = m_view.SendScintilla(SCI_LINESONSCREEN) + 1;
        // Every row is one text height high: a line's place is its row's, found without
        // laying the line out (asking the editor for a position's point would shape the text
        // of every line on screen at every paint, which costs more than the paint of the text).
        const int h = int(m_view.SendScintilla(SCI_TEXTHEIGHT, 0UL));
        long previous = -1;
        for (long i = 0; i <= shown; ++i) {
            const long line =
                m_view.SendScintilla(SCI_DOCLINEFROMVISIBLE, (unsigned long)(first + i));
            if (line >= count)
                break;
            if (line == previous)
                continue; // a wrapped line's later rows
            previous = line;
            const int stamp = int(m_view.SendScintilla(SCI_GETLINESTATE, (unsigned long)line));
            if (stamp <= 0)
                continue;
            painter.drawText(QRect(0, int(i) * h, width() - 6, h),
                             Qt::AlignRight | Qt::AlignVCenter, timeText(stamp));
        }
    }

private:
    CEditView& m_view;
};

void CEditView::SetFollow(bool bFollow) {
    setFollowSwitch(m_bFollow, bFollow);
}

void CEditView::SetScrollLock(bool bOn) {
    setFollowSwitch(m_bScrollLock, bOn);
}

// Either switch may pause following; once neither does, the view goes to the end.
void CEditView::setFollowSwitch(bool& bSwitch, bool bOn) {
    const bool was = IsFollowing();
    bSwitch = bOn;
    if (!was && IsFollowing()) {
        m_nLinesSincePause = 0;
        SendScintilla(SCI_DOCUMENTEND);
    }
    emit followChanged();
}

void CEditView::AppendReceived(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    if (!m_bReceiptTimes || bytes.isEmpty()) {
        appendBytes(bytes);
        return;
    }
    const long before = long(GetTextLength());
    appendBytes(bytes);
    stampReceived(before, long(GetTextLength()));
}

void CEditView::stampReceived(long from, long to) {
    // Every line that got text from this append and has no time yet; a line break at the end
    // leaves an empty last line, which gets its time with its first text.
    const long first = SendScintilla(SCI_LINEFROMPOSITION, (unsigned long)from);
    long last = SendScintilla(SCI_LINEFROMPOSITION, (unsigned long)to);
    if (SendScintilla(SCI_POSITIONFROMLINE, (unsigned long)last) == to)
        --last;
    const int stamp = stampOf(QTime::currentTime());
    // Only the first can have one already: a line that an earlier append left without its end.
    for (long line = first; line <= last; ++line)
        if (line > first || SendScintilla(SCI_GETLINESTATE, (unsigned long)line) == 0)
            SendScintilla(SCI_SETLINESTATE, (unsigned long)line, long(stamp));
}

void CEditView::onUserInsert(long position) {
    // The editor gives a line that a line break splits off the state of a line beside it; a
    // line the user typed has no receipt time, and a received line keeps its own.
    applyLineStates();
    if (SendScintilla(SCI_GETMAXLINESTATE) == 0)
        return;
    const long line = SendScintilla(SCI_LINEFROMPOSITION, (unsigned long)position);
    const long linesBefore = SendScintilla(SCI_GETLINECOUNT);
    const bool atStart = position == SendScintilla(SCI_POSITIONFROMLINE, (unsigned long)line);
    const bool atEnd = position >= SendScintilla(SCI_GETLINEENDPOSITION, (unsigned long)line);
    const long stamp = SendScintilla(SCI_GETLINESTATE, (unsigned long)line);
    // Set once the insertion is made (the editor tells its text only then): by the next change,
    // which must start from the states as they are meant to be, or once the events of this one
    // are handled, whichever is first.
    m_fixLineStates = [this, line, linesBefore, atStart, atEnd, stamp] {
        const long breaks = SendScintilla(SCI_GETLINECOUNT) - linesBefore;
        if (breaks <= 0)
            return;
        SendScintilla(SCI_SETLINESTATE, (unsigned long)line, atStart ? 0L : stamp);
        for (long l = line + 1; l < line + breaks; ++l)
            SendScintilla(SCI_SETLINESTATE, (unsigned long)l, 0L);
        SendScintilla(SCI_SETLINESTATE, (unsigned long)(line + breaks), atEnd ? 0L : stamp);
        if (m_pTimesMargin)
            m_pTimesMargin->update();
    };
    QMetaObject::invokeMethod(this, &CEditView::applyLineStates, Qt::QueuedConnection);
}

void CEditView::applyLineStates() {
    if (const auto fix = std::exchange(m_fixLineStates, nullptr))
        fix();
}

void CEditView::ShowReceiptTimes(bool bShow) {
    m_bReceiptTimes = bShow;
    if (!bShow) {
        delete m_pTimesMargin;
        m_pTimesMargin = nullptr;
        setMarginWidth(kTimesMarginNumber, 0);
        return;
    }
    if (m_pTimesMargin)
        return;
    SendScintilla(SCI_SETMARGINTYPEN, (unsigned long)kTimesMarginNumber, long(SC_MARGIN_COLOUR));
    SendScintilla(SCI_SETMARGINBACKN, (unsigned long)kTimesMarginNumber,
                  palette().color(QPalette::Active, QPalette::Window));
    SendScintilla(SCI_SETMARGINMASKN, (unsigned long)kTimesMarginNumber, 0L);
    setMarginWidth(kTimesMarginNumber,
                   QFontMetrics(font()).horizontalAdvance(QStringLiteral("00:00:00.000")) + 12);
    m_pTimesMargin = new TimesMargin(*this);
    placeTimesMargin();
}

QString CEditView::GetReceiptTime(int nLine) const {
    return timeText(int(SendScintilla(SCI_GETLINESTATE, (unsigned long)nLine)));
}

void CEditView::placeTimesMargin() {
    if (m_pTimesMargin)
        m_pTimesMargin->setGeometry(0, 0, marginWidth(kTimesMarginNumber), viewport()->height());
}

void CEditView::resizeEvent(QResizeEvent* event) {
    QsciScintilla::resizeEvent(event);
    placeTimesMargin();
}

void CEditView::CountReceived(qint64 n) {
    m_received.Add(m_runTime.elapsed(), n);
}

void CEditView::onUpdateUi() {
    highlightShownLines(false);
    if (m_pTimesMargin)
        m_pTimesMargin->update();
}
