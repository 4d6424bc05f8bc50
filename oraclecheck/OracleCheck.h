#pragma once
// The Oracle check's fixture: one slot per case, in the order they run, and what the summary
// reports. The cases live in files by concern: SessionCases.cpp (the client library, the
// log-on, the procedures, the typed item block, error texts, the clean-up), DrainCases.cpp
// (the receiver's drains against the server), TwoPaths.cpp (the same messages one statement
// per step and read ahead), Summary.cpp (the fixture's own work and the summary).
#include "CheckSupport.h"
#include "TestSupport.h"

#include <QObject>
#include <QRandomGenerator>
#include <QTest>

#include <vector>

// A failed condition fails the case with the reason; a case that cannot run says why.
#define CHECK(condition, why)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            m_reason = (why);                                                                      \
            QFAIL(qPrintable(OneLine(m_reason)));                                                  \
        }                                                                                          \
    } while (false)

#define NOT_RUN(why)                                                                               \
    do {                                                                                           \
        m_notRun = true;                                                                           \
        m_reason = (why);                                                                          \
        QSKIP(qPrintable(OneLine(m_reason)));                                                      \
    } while (false)

#define NEED_LOGON()                                                                               \
    do {                                                                                           \
        if (!m_loggedOn)                                                                           \
            NOT_RUN(QStringLiteral("needs the log-on, which failed"));                             \
    } while (false)

class OracleCheck : public QObject {
    Q_OBJECT
public:
    void PrintSummary() const;

private slots:
    void init();
    void cleanup();

    void missingLibraryIsNamed();
    void wrongPasswordGivesOra01017();
    void logOn();
    void logOnWithTheOtherForm();
    void emptyPipeGivesStatusOne();
    void typedItemBlockCompiles();
    void generateProcedures();
    void plainDrainShowsHello();
    void typedDrainShowsHello();
    void typedDateRawRowid();
    void tooLongTextGivesOra06502();
    void purgeEmptiesThePipe();
    void nonAsciiRoundTrip();
    void longErrorTextIsCut();
    void readAheadMatchesPerStatement();
    void cleanUp();

private:
    QString Boxes() const;
    bool SenderReady(QString* why);
    bool SendHello(QString* why);
    Outcome Send(const QByteArray& text);
    Outcome Receive(int* status);
    // Logs on anew with read-ahead off (0) or on (1); the switch is read at the log-on.
    bool LogOnWithReadAhead(bool on);
    // What a typed drain of one message sent by block showed: the log, and any box.
    QString TypedDrainOf(const char* block);

    const QByteArray m_user = Env(kUser);
    const QByteArray m_password = Env(kPassword);
    const QByteArray m_connect = Env(kConnect);
    const QByteArray m_connect2 = Env(kConnect2);
    const QString m_pipe =
        QStringLiteral("tidemark_check_%1_%2")
            .arg(QCoreApplication::applicationPid())
            .arg(QRandomGenerator::global()->generate() & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    MessageBoxRecorder m_boxes; // answers every box of the run: Ignore, or OK

    // The second session that sends, as another program would, and the other connect form's.
    Lda_Def& m_senderLda = SenderArea();
    bool m_senderTried = false;
    QString m_senderFailure;
    Lda_Def& m_otherLda = OtherFormArea();
    unsigned char m_hda[256] = {}; // passed to olog, never read

    bool m_loggedOn = false;
    bool m_procedures = false;
    // What the check created, and so drops again.
    bool m_createdDebug = false, m_createdTrace = false;
    bool m_createdDebugSynonym = false, m_createdTraceSynonym = false;

    QString m_client = QStringLiteral("(not loaded: the log-on did not succeed)");
    QString m_banner = QStringLiteral("(not asked: the log-on did not succeed)");
    QString m_charset = QStringLiteral("unknown");

    // What the server answered where nobody here can know the answer, recorded for the
    // summary: the typed item block, the read-ahead block, and an item of each kind on each
    // of the two paths (one statement per step, read-ahead).
    QString m_typedBlock = QStringLiteral("not tried (the log-on did not succeed)");
    QString m_readAheadBlock = QStringLiteral("not tried (the log-on did not succeed)");
    struct Answers {
        QString perStatement = QStringLiteral("not tried"), readAhead = QStringLiteral("not tried");
    };
    Answers m_items[3]; // DATE, RAW, ROWID, as kTypedItems lists them

    struct Result {
        QString name, status, reason;
    };
    std::vector<Result> m_results;
    bool m_notRun = false;
    QString m_reason; // the failure, the reason for not running, or a note on a pass
};
