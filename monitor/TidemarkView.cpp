// The log view. Parts, in order: the settings' names; construction and the window's style;
// AppendMessage and the gathered text of a drain (FlushPending, where the journal is written
// too); the window as the receiver's sink and error reporter; the timer and Start (the drain's
// pieces and states, and plain and typed decoding, are the receiver's: receiver/PipeDrain.*,
// receiver/PipeReceiver.*); Purge Pipe; the Options command; command routing.
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"
#include "OptionsDlg.h"
#include "PlsqlTexts.h"
#include "Profile.h"

#include <QTimerEvent>
#include <climits>

namespace {
const QString kOptions = QStringLiteral("Options");
const QString kLFFlag = QStringLiteral("LF Flag");
const QString kAutoUnpack = QStringLiteral("Auto Unpack");
const QString kAllowEdit = QStringLiteral("Allow Edit");
const QString kTimerFrequency = QStringLiteral("Timer Frequency");
const QString kPipeName = QStringLiteral("Pipe Name");

// The shortest period the platform gives a timer; a period of 0 would poll without pause.
constexpr int kShortestPeriodMs = 10;

// Pieces of one drain are put into the window together when the drain ends (or when this
// much has gathered): the window is not repainted during a drain anyway, and one insertion
// costs about as much as one piece. Before an error box of the drain they go in at once: the
// user reads what arrived before the failure while the box is open.
constexpr qsizetype kMaxPendingChars = 256 * 1024;

} // namespace

CTidemarkView::CTidemarkView()
    : m_receiver(g_lda, *this, *this),
      m_drain(
          m_receiver, [this] { return Settings(); }, [this] { FlushPending(); }) {
    m_nTimerId = 0;
    m_bLFFlag = GetProfileInt(kOptions, kLFFlag, 1);
    m_bAutoUnpack = GetProfileInt(kOptions, kAutoUnpack, 0);
    m_bAllowEdit = GetProfileInt(kOptions, kAllowEdit, 1);
    m_nTimerFrequency = GetProfileInt(kOptions, kTimerFrequency, 5);
    m_strPipeName = GetProfileString(kOptions, kPipeName, QStringLiteral("tidemark"));
}

CTidemarkView::~CTidemarkView() {
    if (m_nTimerId != 0)
        killTimer(int(m_nTimerId));
}

bool CTidemarkView::PreCreateWindow(CREATESTRUCT& cs) {
    const bool result = CEditView::PreCreateWindow(cs);
    if (m_bAllowEdit)
        cs.style &= ~unsigned(ES_READONLY);
    else
        cs.style |= ES_READONLY;
    cs.style &= ~unsigned(ES_UPPERCASE | ES_LOWERCASE);
    cs.style |= ES_AUTOVSCROLL | ES_AUTOHSCROLL;
    return result;
}

void CTidemarkView::AppendMessage(const QString& text) {
    AppendLogText(m_bLFFlag ? text + QStringLiteral("\r\n") : text);
}

void CTidemarkView::AppendLogText(const QString& piece) {
    if (m_drain.InPiece()) {
        m_strPending += piece;
        if (m_strPending.size() >= kMaxPendingChars)
            FlushPending();
        return;
    }
    // Appended at the end in place: the cost of a piece does not grow with the log.
    AppendReceived(piece);
    m_journal.Append(piece);
}

// The window first, then the journal: text that fails to go into the window stays pending, and
// what the journal already has of it is not written there again.
void CTidemarkView::FlushPending() {
    if (m_strPending.isEmpty())
        return;
    AppendReceived(m_strPending);
    JournalPending();
    m_strPending.clear();
    m_nJournaled = 0;
}

void CTidemarkView::JournalPending() {
    if (m_nJournaled == m_strPending.size())
        return;
    m_journal.Append(m_strPending.mid(m_nJournaled));
    m_nJournaled = m_strPending.size();
}

ReceiverSettings CTidemarkView::Settings() const {
    return {m_strPipeName, bool(m_bAutoUnpack), bool(m_bLFFlag)};
}

void CTidemarkView::OnMessage(const ReceivedMessage& message) {
    CountReceived();
    AppendLogText(message.logText.mid(message.shownBefore));
}

// Before a box in the middle of a message: the user reads what came of it.
void CTidemarkView::OnMessageSoFar(const ReceivedMessage& soFar) {
    AppendLogText(soFar.logText.mid(soFar.shownBefore));
}

// The batch the log-on took is all text now: into the window, then onto the disk, before the
// next round trip, not only when the piece ends, so that a kill loses at most the batch in hand.
void CTidemarkView::OnBatchShown() {
    FlushPending();
}

// What the drain received before the failure goes into the window before the box covers it.
// Abort ends the process: the messages the log-on holds behind the failing one are turned into
// text first and written to the journal; the window, about to go, is left as it is.
int CTidemarkView::ReportError(const QString& text) {
    FlushPending();
    return OciReportError(text, [this] {
        m_receiver.FinishHeldBeforeAbort();
        JournalPending();
    });
}

void CTidemarkView::ReportWarning(const QString& text) {
    FlushPending();
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

QByteArray CTidemarkView::ReceiveBlock() const {
    return QByteArray::fromStdString(::ReceiveBlock(m_strPipeName.toStdString()));
}

QByteArray CTidemarkView::PurgeBlock() const {
    return QByteArray::fromStdString(::PurgeBlock(m_strPipeName.toStdString()));
}

int CTidemarkView::TimerPeriod() const {
    if (m_nTimerFrequency <= 0)
        return kShortestPeriodMs;
    if (m_nTimerFrequency > INT_MAX / 1000)
        return INT_MAX;
    return m_nTimerFrequency * 1000;
}

void CTidemarkView::OnStart() {
    PollPipe();
    if (m_nTimerId != 0)
        killTimer(int(m_nTimerId));
    const int id = startTimer(TimerPeriod());
    m_nTimerId = id > 0 ? unsigned(id) : 0;
}

void CTidemarkView::timerEvent(QTimerEvent* event) {
    OnTimer(event->timerId());
}

void CTidemarkView::OnTimer(int nIDEvent) {
    if (m_nTimerId != 0 && unsigned(nIDEvent) == m_nTimerId)
        PollPipe();
    // Every timer, ours or the control's own, also gets the control's handling.
    QTimerEvent event(nIDEvent);
    CEditView::timerEvent(&event);
}

void CTidemarkView::PollPipe() {
    // A tick that comes in through one of a drain's error boxes leaves the pipe to that drain.
    // A drain that waits for its next piece runs it now: still one drain, one next piece.
    m_drain.Poll();
}

void CTidemarkView::OnPurgePipe() {
    COciCursor cursor;
    const QByteArray purge = PurgeBlock();
    cursor.Parse(purge.constData());
    cursor.Execute(TRUE);
}

void CTidemarkView::OnOptions() {
    COptionsDlg dlg;
    dlg.m_bLFFlag = m_bLFFlag;
    dlg.m_bAutoUnpack = m_bAutoUnpack;
    dlg.m_bAllowEdit = m_bAllowEdit;
    dlg.m_nTimerFrequency = m_nTimerFrequency;
    dlg.m_strPipeName = m_strPipeName;
    if (dlg.DoModal() != IDOK)
        return;

    m_bLFFlag = dlg.m_bLFFlag;
    m_bAutoUnpack = dlg.m_bAutoUnpack;
    m_bAllowEdit = dlg.m_bAllowEdit;
    m_nTimerFrequency = dlg.m_nTimerFrequency;
    m_strPipeName = dlg.m_strPipeName;

    WriteProfileInt(kOptions, kLFFlag, m_bLFFlag ? 1 : 0);
    WriteProfileInt(kOptions, kAutoUnpack, m_bAutoUnpack ? 1 : 0);
    WriteProfileInt(kOptions, kAllowEdit, m_bAllowEdit ? 1 : 0);
    WriteProfileInt(kOptions, kTimerFrequency, m_nTimerFrequency);
    WriteProfileString(kOptions, kPipeName, m_strPipeName);

    OnStart();
}

bool CTidemarkView::OnCmdMsg(UINT nID) {
    switch (nID) {
    case ID_DEBUG_START:
        OnStart();
        return true;
    case ID_DEBUG_OPTIONS:
        OnOptions();
        return true;
    case ID_DEBUG_PURGE:
        OnPurgePipe();
        return true;
    default:
        return CEditView::OnCmdMsg(nID);
    }
}
