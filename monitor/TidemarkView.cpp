// The log view. Parts, in order: the settings' names and the text helpers of the receiver
// (item prefixes, a message's text); construction and the window's style; AppendMessage and the
// gathered text of a drain (FlushPending, where the journal is written too); the timer and Start;
// the drain's pieces and their states (DrainPiece, StateAfterPiece, SetDrainState); receiving a
// message, plain mode, typed mode; Purge Pipe; the Options command; command routing.
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"
#include "OptionsDlg.h"
#include "PlsqlTexts.h"
#include "Profile.h"

#include <QStringDecoder>
#include <QTimer>
#include <QTimerEvent>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {
const QString kOptions = QStringLiteral("Options");
const QString kLFFlag = QStringLiteral("LF Flag");
const QString kAutoUnpack = QStringLiteral("Auto Unpack");
const QString kAllowEdit = QStringLiteral("Allow Edit");
const QString kTimerFrequency = QStringLiteral("Timer Frequency");
const QString kPipeName = QStringLiteral("Pipe Name");

// External datatypes of the binds.
constexpr short kInteger = SQLT_INT;
constexpr short kString = SQLT_STR;

// The shortest period the platform gives a timer; a period of 0 would poll without pause.
constexpr int kShortestPeriodMs = 10;

QString prefixFor(int type) {
    switch (type) {
    case kItemNumber:
        return QStringLiteral("NUMBER:\t");
    case kItemVarchar2:
        return QStringLiteral("VARCHAR2:\t");
    case kItemRowid:
        return QStringLiteral("ROWID:\t");
    case kItemDate:
        return QStringLiteral("DATE:\t");
    case kItemRaw:
        return QStringLiteral("RAW:\t");
    default:
        return QString();
    }
}

// Items the typed item block takes off the message, so that the next item follows. A timestamp
// or a record (orafce's own types) comes with its text; one without it was left on the message.
bool isShownItem(int type, const char* text) {
    switch (type) {
    case kItemNumber:
    case kItemVarchar2:
    case kItemRowid:
    case kItemDate:
    case kItemRaw:
        return true;
    case kItemTimestamp:
    case kItemRecord:
        return text[0] != '\0';
    default:
        return false;
    }
}

// A message's text as it came, a byte-order mark at its start included.
template <std::size_t N> QString textOf(const std::array<char, N>& buffer) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return utf8.decode(QByteArrayView(buffer.data(), qsizetype(strnlen(buffer.data(), N))));
}

// Pieces of one drain are put into the window together when the drain ends (or when this
// much has gathered): the window is not repainted during a drain anyway, and one insertion
// costs about as much as one piece. Before an error box of the drain they go in at once: the
// user reads what arrived before the failure while the box is open.
constexpr qsizetype kMaxPendingChars = 256 * 1024;

// A piece of a drain ends after this much work (or after its first message, when one message
// takes longer), and the window's events are handled before the next piece: however slow the
// server, the window answers within about this time plus one message.
constexpr qint64 kPieceMs = 50;

// A sender blocked on a full pipe is not woken when the pipe empties: it tries again after a
// few milliseconds (5 to 16 measured on orafce). A drain that found the pipe empty looks again
// every kRecheckMs, and ends once the pipe has stayed empty for kRefillWaitMs, longer than
// such a sender takes to send again.
constexpr int kRecheckMs = 2;
constexpr qint64 kRefillWaitMs = 30;
} // namespace

// Leaves the drain idle, with its text in the window, when a piece is left by an exception. A
// failure while the text goes in is swallowed there, since a destructor must not throw; the
// text then stays pending for the next drain.
class CTidemarkView::DrainGuard {
public:
    explicit DrainGuard(CTidemarkView& view) : m_view(view) {}
    ~DrainGuard() {
        if (m_bDone)
            return;
        try {
            m_view.SetDrainState(DrainState::Idle);
        } catch (...) {
        }
    }
    void Done() { m_bDone = true; }
    DrainGuard(const DrainGuard&) = delete;
    DrainGuard& operator=(const DrainGuard&) = delete;

private:
    CTidemarkView& m_view;
    bool m_bDone = false;
};

CTidemarkView::CTidemarkView() {
    m_nTimerId = 0;
    m_bLFFlag = GetProfileInt(kOptions, kLFFlag, 1);
    m_bAutoUnpack = GetProfileInt(kOptions, kAutoUnpack, 0);
    m_bAllowEdit = GetProfileInt(kOptions, kAllowEdit, 1);
    m_nTimerFrequency = GetProfileInt(kOptions, kTimerFrequency, 5);
    m_strPipeName = GetProfileString(kOptions, kPipeName, QStringLiteral("tidemark"));
    // One timer for every continuation: a drain can never have two next pieces pending.
    m_continuation.setSingleShot(true);
    m_continuation.setTimerType(Qt::PreciseTimer);
    connect(&m_continuation, &QTimer::timeout, this, [this] {
        if (m_drainState == DrainState::ContinuationPending ||
            m_drainState == DrainState::AwaitingRefill)
            DrainPiece();
    });
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
    const QString piece = m_bLFFlag ? text + QStringLiteral("\r\n") : text;
    if (m_drainState == DrainState::Draining) {
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

// The journal gets the gathered text as soon as the batch the log-on took is shown, not only
// when the piece ends: a kill then loses at most the batch being turned into text.
void CTidemarkView::JournalPending() {
    if (m_nJournaled == m_strPending.size())
        return;
    m_journal.Append(m_strPending.mid(m_nJournaled));
    m_nJournaled = m_strPending.size();
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
    if (m_drainState == DrainState::Draining)
        return;
    DrainPiece();
}

// One piece of a drain: messages until the pipe is empty or the piece's time is up.
void CTidemarkView::DrainPiece() {
    SetDrainState(DrainState::Draining);
    DrainGuard guard(*this);
    if (m_bAutoUnpack)
        ReceiveTyped();
    else
        ReceivePlain();
    guard.Done();
    SetDrainState(StateAfterPiece());
}

CTidemarkView::DrainState CTidemarkView::StateAfterPiece() const {
    switch (m_pieceEnd) {
    case PieceEnd::TimeUp:
        return DrainState::ContinuationPending;
    case PieceEnd::Failed:
        // Looking again would only show the same failure again.
        return DrainState::Idle;
    case PieceEnd::Empty:
        break;
    }
    if (m_nPieceMessages > 0)
        return DrainState::AwaitingRefill;
    // A drain that received nothing ends at once; one that did waits for a refill a while.
    return m_sinceMessages.isValid() && !m_sinceMessages.hasExpired(kRefillWaitMs)
               ? DrainState::AwaitingRefill
               : DrainState::Idle;
}

void CTidemarkView::SetDrainState(DrainState next) {
    // The wait for a refill counts from the end of the last piece that received messages.
    if (m_drainState == DrainState::Draining && m_nPieceMessages > 0)
        m_sinceMessages.start();
    m_drainState = next;
    switch (next) {
    case DrainState::Draining:
        m_continuation.stop();
        m_nPieceMessages = 0;
        m_pieceEnd = PieceEnd::Empty;
        m_pieceTime.start();
        break;
    case DrainState::ContinuationPending:
        // Senders that keep the pipe full would hold the drain, and the window with it, for as
        // long as they send: the window's events are handled first, then the drain goes on.
        m_continuation.start(0);
        FlushPending();
        break;
    case DrainState::AwaitingRefill:
        m_continuation.start(kRecheckMs);
        FlushPending();
        break;
    case DrainState::Idle:
        m_sinceMessages.invalidate();
        FlushPending();
        break;
    }
}

// Runs the receive block once; true when a message is now in the connection's buffer.
//
// Messages the log-on has taken ahead of their receives have left the server's pipe: nothing
// but this drain would ever show them. So a piece never ends on its time while the log-on
// holds any (they cost no round trip: a batch is shown within milliseconds), and whatever
// ends or redirects the drain between pieces (Exit, New, Options, Purge) never meets one.
bool CTidemarkView::ReceiveMessage(COciCursor& cursor, const QByteArray& receive, short& indicator,
                                   Receiving how) {
    const QByteArray pipe = m_strPipeName.toUtf8();
    const int held = cursor.HeldMessages(pipe.constData());
    if (how == Receiving::HeldOnly) {
        if (held == 0)
            return false;
    } else {
        // The batch the log-on took is all text now: into the window, then onto the disk,
        // before the next round trip, so that a kill loses at most the batch in hand.
        if (held == 0)
            FlushPending();
        // An error box handles the window's events while it is open: the piece's time starts
        // anew.
        if (m_bErrorBox)
            m_pieceTime.start();
        m_bErrorBox = false;
        if (held == 0 && m_nPieceMessages > 0 && m_pieceTime.hasExpired(kPieceMs)) {
            m_pieceEnd = PieceEnd::TimeUp; // the rest is for the next piece
            return false;
        }
    }
    std::int32_t status = 1; // a receive that fails sets nothing: it must end the drain
    cursor.Parse(receive.constData());
    cursor.Bind(":sta", &status, sizeof status, kInteger, &indicator);
    const bool executed = cursor.Execute(how == Receiving::Drain);
    if (status != 0) {
        m_pieceEnd = executed ? PieceEnd::Empty : PieceEnd::Failed;
        return false;
    }
    ++m_nPieceMessages;
    CountReceived();
    return true;
}

void CTidemarkView::ReceivePlain() {
    COciCursor cursor(
        [this] {
            FlushPending();
            m_bErrorBox = true;
        },
        [this](COciCursor& rest) { FinishHeldBeforeAbort(rest); });
    PlainMessages(cursor, Receiving::Drain);
}

void CTidemarkView::ReceiveTyped() {
    COciCursor cursor(
        [this] {
            FlushPending();
            m_bErrorBox = true;
        },
        [this](COciCursor& rest) { FinishHeldBeforeAbort(rest); });
    TypedMessages(cursor, Receiving::Drain);
}

// Abort in a box of the drain ends the process: the message that failed goes as it went before
// messages were read ahead, but those the log-on holds behind it would go with the process.
// They are turned into text as Ignore would (a failing step is passed over, no box is shown)
// and written to the journal; the window, about to go, is left as it is.
void CTidemarkView::FinishHeldBeforeAbort(COciCursor& cursor) {
    if (m_bAutoUnpack)
        TypedMessages(cursor, Receiving::HeldOnly);
    else
        PlainMessages(cursor, Receiving::HeldOnly);
    JournalPending();
}

void CTidemarkView::PlainMessages(COciCursor& cursor, Receiving how) {
    const BOOL report = how == Receiving::Drain;
    std::int32_t length = 0;
    std::array<char, 2000> text{};
    short indicator = 0;
    const QByteArray receive = ReceiveBlock();

    while (ReceiveMessage(cursor, receive, indicator, how)) {
        cursor.Parse(kUnpackLengthBlock);
        cursor.Bind(":len", &length, sizeof length, kInteger, &indicator);
        cursor.Execute(report);

        text[0] = '\0';
        cursor.Parse(kUnpackTextBlock);
        cursor.Bind(":chr", text.data(), int(text.size()), kString, &indicator);
        // A text that could not be unpacked has been reported; there is nothing to show.
        if (cursor.Execute(report))
            AppendMessage(textOf(text));
    }
}

void CTidemarkView::TypedMessages(COciCursor& cursor, Receiving how) {
    const BOOL report = how == Receiving::Drain;
    std::int32_t type = 0;
    std::array<char, 30000> value{};
    short indicator = 0;
    const QByteArray receive = ReceiveBlock();

    while (ReceiveMessage(cursor, receive, indicator, how)) {
        AppendMessage(QStringLiteral("MESSAGE:"));
        for (;;) {
            // A failed execution leaves these as they are: it then ends the message.
            type = kItemNone;
            value[0] = '\0';
            cursor.Parse(kTypedItemBlock);
            cursor.Bind(":v_typ", &type, sizeof type, kInteger, &indicator);
            cursor.Bind(":v_res", value.data(), int(value.size()), kString, &indicator);
            cursor.Execute(report);
            if (type == kItemNone)
                break;
            // The block cannot take an item of another type off the message, so asking again
            // would give the same item for ever: such an item ends the message, and the user
            // learns that something of it is not shown.
            if (!isShownItem(type, value.data())) {
                if (how == Receiving::Drain) {
                    FlushPending();
                    m_bErrorBox = true;
                    AfxMessageBox(QStringLiteral("An item of type %1 cannot be shown.\nThe rest "
                                                 "of this message is not shown.")
                                      .arg(type),
                                  MB_OK | MB_ICONEXCLAMATION);
                }
                break;
            }
            AppendMessage(prefixFor(type) + QLatin1Char('\'') + textOf(value) + QLatin1Char('\''));
        }
        AppendMessage(QString());
    }
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
