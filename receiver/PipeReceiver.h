#pragma once
// The pipe receiver: takes one message at a time off a pipe through the call layer, reads it
// in plain mode (the length, then the text) or typed mode (item by item, each with its type),
// and hands it to a sink with the text the log window shows for it. Failures go to an error
// reporter. The drain of the log window (PipeDrain.h) and the terminal both run on it.
#include "CallCursor.h"
#include "Received.h"

#include <QString>
#include <array>
#include <memory>
#include <optional>

struct ReceiverSettings {
    QString pipe = QStringLiteral("tidemark");
    bool typed = false; // typed mode (auto unpack) rather than plain
    bool lf = true;     // a line break (CR LF) after every text of the log
};

class CPipeReceiver {
public:
    enum class Result {
        Received,      // a message was taken and given to the sink
        Empty,         // no message came within the time asked for
        MessageFailed, // a message was taken but its text could not be read; reported
        ReceiveFailed, // the receive itself failed; reported
        Lost,          // the connection is gone; reported
    };

    CPipeReceiver(Lda_Def& lda, CMessageSink& sink, CErrorReporter& errors);
    CPipeReceiver(const CPipeReceiver&) = delete;
    CPipeReceiver& operator=(const CPipeReceiver&) = delete;

    // Take effect at the next receive.
    void SetSettings(const ReceiverSettings& settings) { m_settings = settings; }
    const ReceiverSettings& Settings() const { return m_settings; }

    // Receives the pipe's next message, waiting up to timeoutSeconds at the server for one,
    // and gives it to the sink. Messages the log-on holds are answered from memory; once they
    // are all given, the sink hears OnBatchShown.
    Result ReceiveOne(int timeoutSeconds = 0);
    // Throws away what waits in the pipe (and what the log-on holds of it); false on failure.
    bool Purge();
    // Messages of the pipe the log-on holds, taken from the server ahead of their receives.
    int HeldMessages();
    // From now on only messages the log-on already holds are received, then Empty.
    void StopTaking() { m_bHeldOnly = true; }

    // Abort was chosen in a report of this receiver and the process is about to end: the
    // messages the log-on still holds behind the failing one go to the sink as they would with
    // Ignore, failing steps passed over without a report.
    void FinishHeldBeforeAbort();

    // The cursor is opened by the first receive after it was closed. The log window closes it
    // after each piece of a drain; the terminal closes it to log on again.
    void CloseCursor() { m_cursor.reset(); }
    // How many reports (failures and notices) have been made: the drain's pieces time
    // themselves from the last one, since a box handles the window's events while it is open.
    int Reports() const { return m_nReports; }
    // True once a call of the open cursor failed because the connection is gone.
    bool Lost() const { return m_cursor && m_cursor->Lost(); }

private:
    // Passes reports on, after showing the sink the message taken so far; silent while the
    // held messages are finished before Abort.
    class Reporter : public CErrorReporter {
    public:
        explicit Reporter(CPipeReceiver& receiver) : m_receiver(receiver) {}
        int ReportError(const QString& text) override;
        void ReportWarning(const QString& text) override;

    private:
        void BeforeReport();
        CPipeReceiver& m_receiver;
    };
    CCallCursor& Cursor();
    bool ReceivePlain(CCallCursor& cursor, ReceivedMessage& message);
    bool ReceiveTyped(CCallCursor& cursor, ReceivedMessage& message);
    // Appends a text of the log to the message, with the line break the settings ask for.
    void AddLogText(ReceivedMessage& message, const QString& text) const;

    Lda_Def& m_lda;
    CMessageSink& m_sink;
    CErrorReporter& m_errors;
    Reporter m_reporter{*this};
    ReceiverSettings m_settings;
    std::optional<CCallCursor> m_cursor;
    ReceivedMessage* m_pCurrent = nullptr; // the message being read, for OnMessageSoFar
    bool m_bHeldOnly = false;
    bool m_bSilent = false;
    int m_nReports = 0;
    // The typed item block's value buffer: 30,000 bytes, made once rather than cleared for
    // every message (only its first byte needs setting before each item).
    std::unique_ptr<std::array<char, 30000>> m_value = std::make_unique<std::array<char, 30000>>();
};
