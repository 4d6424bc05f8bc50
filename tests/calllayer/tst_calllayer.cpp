// The call layer without a server: the error report, the message texts, the cursor's behaviour
// before any log-on, and the PostgreSQL driver's recognition of statements and connect strings.
#include "Driver.h"
#include "Logon.h"
#include "MessageBox.h"
#include "PlsqlTexts.h"
#include "TestSupport.h"
#include "drivers/postgres/PgDriver.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

#include <cstring>

using namespace ocidrv::pg;

namespace {
Cda_Def areaWith(unsigned fc, unsigned rc) {
    Cda_Def area{};
    area.fc = static_cast<std::uint8_t>(fc);
    area.rc = static_cast<std::uint16_t>(rc);
    return area;
}

// Child mode: answer the report's box with the given button and report what happened after.
int runReportChild(const QByteArray& answer) {
    MessageBoxRecorder boxes;
    boxes.answer(answer == "cancel" ? IDCANCEL : IDABORT);
    Cda_Def area = areaWith(OCI_FC_OEXEC, OCI_RC_NOT_LOGGED_ON);
    OciReportError(&area);
    std::fputs("the report returned\n", stdout);
    return 0;
}
} // namespace

class TestOciLayer : public QObject {
    Q_OBJECT

private slots:
    // Must run first: nothing has logged on in this process yet.
    void cursorBeforeAnyLogon() {
        MessageBoxRecorder boxes;
        {
            COciCursor cursor;
            QCOMPARE(boxes.count(), 1);
            QCOMPARE(boxes.lastText(), QStringLiteral("ORACLE Error when processing OCI function "
                                                      "OOPEN\nORA-01012: not logged on"));
            QCOMPARE(boxes.shown().last().type, unsigned(MB_ABORTRETRYIGNORE));

            // Still usable: every call goes through and reports its own failure.
            int status = 7;
            short ind = 3;
            cursor.Parse(ReceiveBlock("tidemark").c_str());
            QVERIFY(boxes.lastText().startsWith(
                "ORACLE Error when processing OCI function OPARSE\nORA-01001"));
            cursor.Bind(":sta", &status, 4, SQLT_INT, &ind);
            QVERIFY(boxes.lastText().startsWith(
                "ORACLE Error when processing OCI function OBNDRV\nORA-01001"));
            QCOMPARE(cursor.Execute(FALSE), FALSE);
            QCOMPARE(boxes.count(), 3);
            QCOMPARE(cursor.Execute(TRUE), FALSE);
            QCOMPARE(boxes.count(), 4);
            QVERIFY(boxes.lastText().startsWith(
                "ORACLE Error when processing OCI function OEXEC, OEXN\nORA-01001"));
            QCOMPARE(status, 7);
            QCOMPARE(ind, short(3));
        }
        QCOMPARE(boxes.count(), 5);
        QVERIFY(boxes.lastText().startsWith(
            "ORACLE Error when processing OCI function OCLOSE\nORA-01001: invalid cursor"));
        QCOMPARE(g_bConnected, 0);
    }

    void reportNamesTheFunction_data() {
        QTest::addColumn<int>("fc");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("0") << 0 << "ORACLE Error";
        QTest::newRow("1 odd") << 1 << "ORACLE Error when processing OCI function not used";
        QTest::newRow("4") << 4 << "ORACLE Error when processing OCI function OEXEC, OEXN";
        QTest::newRow("14") << 14 << "ORACLE Error when processing OCI function OOPEN";
        QTest::newRow("18 gap") << 18 << "ORACLE Error when processing OCI function not used";
        QTest::newRow("54") << 54 << "ORACLE Error when processing OCI function OPARSE";
        QTest::newRow("62 last") << 62 << "ORACLE Error when processing OCI function OBNDRA";
        QTest::newRow("63 past the table") << 63 << "ORACLE Error";
        QTest::newRow("255") << 255 << "ORACLE Error";
    }
    void reportNamesTheFunction() {
        QFETCH(int, fc);
        QFETCH(QString, firstLine);
        MessageBoxRecorder boxes;
        boxes.answer(IDRETRY);
        Cda_Def area = areaWith(fc, OCI_RC_INVALID_CURSOR);
        OciReportError(&area); // Retry returns
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.lastText(), firstLine + "\nORA-01001: invalid cursor");
        QCOMPARE(boxes.shown().last().type, unsigned(MB_ABORTRETRYIGNORE));
        QCOMPARE(area.fc, std::uint8_t(fc)); // the report changes nothing
    }

    void abortAndCancelEndTheProcess_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("abort") << "abort";
        QTest::newRow("cancel") << "cancel";
    }
    void abortAndCancelEndTheProcess() {
        QFETCH(QString, answer);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TIDEMARK_REPORT_CHILD", answer);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
        QCOMPARE(child.readAllStandardOutput(), QByteArray()); // nothing after the box ran
    }

    void messageTexts() {
        char buf[512];
        QCOMPARE(oerhms(&g_lda, OCI_RC_NOT_LOGGED_ON, buf, sizeof buf),
                 int(std::strlen("ORA-01012: not logged on")));
        QCOMPARE(QByteArray(buf), QByteArray("ORA-01012: not logged on"));
        oerhms(&g_lda, 4242, buf, sizeof buf);
        QVERIFY(QByteArray(buf).startsWith("ORA-04242"));
        oerhms(nullptr, OCI_RC_INVALID_CURSOR, buf, sizeof buf);
        QCOMPARE(QByteArray(buf), QByteArray("ORA-01001: invalid cursor"));

        // Truncated to the buffer, always terminated, nothing written past it.
        char small[8];
        std::memset(small, 'x', sizeof small);
        QCOMPARE(oerhms(&g_lda, OCI_RC_NOT_LOGGED_ON, small, 5), 4);
        QCOMPARE(QByteArray(small), QByteArray("ORA-"));
        QCOMPARE(small[5], 'x');
        small[0] = 'y';
        QCOMPARE(oerhms(&g_lda, OCI_RC_NOT_LOGGED_ON, small, 1), 0);
        QCOMPARE(small[0], '\0');
        small[0] = 'y';
        QCOMPARE(oerhms(&g_lda, OCI_RC_NOT_LOGGED_ON, small, 0), 0);
        QCOMPARE(small[0], 'y');
    }

    // One rule for the "ORA-nnnnn: " prefix of the layer's own texts: the code in five digits,
    // written in one place, and oerhms gives the same text.
    void ownErrorTextsCarryTheirNumber() {
        for (int code :
             {0, int(OCI_RC_INVALID_CURSOR), int(OCI_RC_NO_STATEMENT), int(OCI_RC_NOT_ALL_BOUND),
              int(OCI_RC_NOT_LOGGED_ON), int(OCI_RC_LOGON_DENIED), int(OCI_RC_BAD_VARIABLE),
              int(OCI_RC_INT_OVERFLOW), int(OCI_RC_INVALID_NUMBER), int(OCI_RC_PROTOCOL_ERROR),
              int(OCI_RC_LOST_CONNECTION), int(OCI_RC_NOT_CONNECTED), int(OCI_RC_BAD_DATATYPE),
              int(OCI_RC_VALUE_ERROR), int(OCI_RC_CONNECT_FAILED), int(OCI_RC_NO_DRIVER),
              int(OCI_RC_LIBRARY_MISSING)}) {
            const char* own = ocidrv::OwnErrorText(code);
            QVERIFY2(own, qPrintable(QString::number(code)));
            const ocidrv::Error error = ocidrv::OwnError(code);
            QCOMPARE(error.code, code);
            const QString expected =
                QStringLiteral("ORA-%1: ").arg(code, 5, 10, QLatin1Char('0')) + own;
            QCOMPARE(QString::fromStdString(error.message), expected);
            char buf[512];
            oerhms(nullptr, code, buf, sizeof buf);
            QCOMPARE(QString::fromUtf8(buf), expected);
        }
        QCOMPARE(ocidrv::OwnError(OCI_RC_NOT_ALL_BOUND, " (:x)").message,
                 std::string("ORA-01008: not all variables bound (:x)"));
        QCOMPARE(ocidrv::Numbered(42, "text").message, std::string("ORA-00042: text"));
        QCOMPARE(ocidrv::OwnError(4242).message,
                 std::string("ORA-04242: no message text is known for this code"));
    }

    void failedLogonWithUnknownConnectString() {
        MessageBoxRecorder boxes;
        QCOMPARE(OciLogon("scott", "tiger", "pg:host:notaport/db"), 0);
        QCOMPARE(g_bConnected, 0);
        QCOMPARE(g_lda.fc, std::uint8_t(0));
        QVERIFY(g_lda.rc != 0);
        QCOMPARE(boxes.count(), 1);
        // Function code 0: no function named; the message is the one that failed the log-on.
        QVERIFY2(boxes.lastText().startsWith("ORACLE Error\nORA-12154") &&
                     boxes.lastText().contains("notaport"),
                 qPrintable(boxes.lastText()));
    }

    void recognisesTheProgramsStatements() {
        Statement s = Classify("begin :sta := dbms_pipe.receive_message('tidemark', 0); end;");
        QCOMPARE(int(s.kind), int(StatementKind::Receive));
        QCOMPARE(s.pipe, std::string("tidemark"));
        QCOMPARE(s.placeholder, std::string(":sta"));
        QCOMPARE(s.timeout, 0);

        s = Classify("begin :sta := dbms_pipe.receive_message('it''s '' here', 5); end;");
        QCOMPARE(int(s.kind), int(StatementKind::Receive));
        QCOMPARE(s.pipe, std::string("it's ' here"));
        QCOMPARE(s.timeout, 5);

        s = Classify("BEGIN\n\t:X:=DBMS_PIPE.RECEIVE_MESSAGE( '' ,0 ) ;END;");
        QCOMPARE(int(s.kind), int(StatementKind::Receive));
        QCOMPARE(s.pipe, std::string());
        QCOMPARE(s.placeholder, std::string(":X"));

        // A lone apostrophe ends the literal early: not ours, the server will complain.
        s = Classify("begin :sta := dbms_pipe.receive_message('it's', 0); end;");
        QCOMPARE(int(s.kind), int(StatementKind::Other));
        // Anything smuggled after the block is not ours either.
        s = Classify("begin :sta := dbms_pipe.receive_message('a', 0); end; drop table t;");
        QCOMPARE(int(s.kind), int(StatementKind::Other));
        s = Classify("begin :sta := dbms_pipe.receive_message('a', 0x); end;");
        QCOMPARE(int(s.kind), int(StatementKind::Other));

        s = Classify("begin dbms_pipe.unpack_message(:len); end;");
        QCOMPARE(int(s.kind), int(StatementKind::Unpack));
        QCOMPARE(s.placeholder, std::string(":len"));
        s = Classify("begin dbms_pipe.unpack_message(:chr); end;");
        QCOMPARE(s.placeholder, std::string(":chr"));
        s = Classify("begin dbms_pipe.unpack_message(chr); end;");
        QCOMPARE(int(s.kind), int(StatementKind::Other));

        s = Classify("begin dbms_pipe.purge('O''Brien'); end;");
        QCOMPARE(int(s.kind), int(StatementKind::Purge));
        QCOMPARE(s.pipe, std::string("O'Brien"));

        QCOMPARE(int(Classify(kTypedItemBlock).kind), int(StatementKind::TypedItem));
        QCOMPARE(int(Classify(kCreateSendDebugMessage).kind), int(StatementKind::CreateDebug));
        QCOMPARE(int(Classify(kCreateSendTraceMessage).kind), int(StatementKind::CreateTrace));
        QCOMPARE(int(Classify(kCreateSynonymSendDebugMessage).kind),
                 int(StatementKind::SynonymDebug));
        QCOMPARE(int(Classify(kCreateSynonymSendTraceMessage).kind),
                 int(StatementKind::SynonymTrace));
        // Word for word: a changed procedure text goes to the server as it stands.
        std::string changed = kCreateSendDebugMessage;
        changed.back() = ' ';
        QCOMPARE(int(Classify(changed).kind), int(StatementKind::Other));
        QCOMPARE(int(Classify("select 1").kind), int(StatementKind::Other));
    }

    // Every statement the receiver builds, for awkward pipe names and time-outs, is recognised
    // as what it is, exactly, by the recogniser and by the PostgreSQL driver's reading of it.
    void recognisesEveryBuiltStatement() {
        for (const std::string& pipe :
             {std::string("tidemark"), std::string("O'Brien''s '"),
              std::string("pipe \xc3\xbc \xe2\x82\xac"), std::string(128, 'p'), std::string()}) {
            for (const int timeout : {0, 1, 86400, -1}) { // -1: the purge
                const bool purge = timeout < 0;
                const std::string text = purge ? PurgeBlock(pipe) : ReceiveBlock(pipe, timeout);
                const RecognisedStatement r = Recognise(text);
                QVERIFY2(r.kind ==
                                 (purge ? ReceiverStatement::Purge : ReceiverStatement::Receive) &&
                             r.exact,
                         text.c_str());
                QCOMPARE(r.pipe, pipe);
                const Statement pg = Classify(text);
                QVERIFY2(pg.kind == (purge ? StatementKind::Purge : StatementKind::Receive),
                         text.c_str());
                QCOMPARE(pg.pipe, pipe);
                QCOMPARE(pg.timeout, purge ? 0 : timeout);
                if (!purge)
                    QCOMPARE(r.timeout, std::to_string(timeout));
            }
        }
    }

    // Texts that resemble the receiver's: some the PostgreSQL driver still takes (letter case,
    // blanks), none of them exact, so the Oracle driver leaves them all to the server. A receive
    // whose time-out is an expression is the receiver's shape, and waits: it goes to the server
    // either way.
    void nearMissesAreNotTheReceiversStatements_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("kind"); // what the recogniser makes of it, exact or not
        QTest::addColumn<int>("pgKind");
        QTest::addColumn<bool>("exact");
        using R = ReceiverStatement;
        using K = StatementKind;
        const auto row = [](const char* name, const std::string& text, R kind, K pg,
                            bool exact = false) {
            QTest::newRow(name) << QByteArray::fromStdString(text) << int(kind) << int(pg) << exact;
        };
        const std::string call = "begin :sta := dbms_pipe.receive_message(";
        row("statement after the block", ReceiveBlock("tm") + " drop table t;", R::Other, K::Other);
        row("statement inside the block", call + "'tm', 0); drop table t; end;", R::Other,
            K::Other);
        row("another status variable", "begin :st := dbms_pipe.receive_message('tm', 0); end;",
            R::Receive, K::Receive);
        row("another unpack variable", "begin dbms_pipe.unpack_message(:msg); end;", R::Other,
            K::Other);
        row("unpack into a PL/SQL variable", "begin dbms_pipe.unpack_message(chr); end;", R::Other,
            K::Other);
        row("bound pipe name", call + ":pipe, 0); end;", R::Other, K::Other);
        row("lone apostrophe", call + "'it's', 0); end;", R::Other, K::Other);
        row("time-out not a number", call + "'a', 0x); end;", R::Receive, K::Other, true);
        row("time-out an expression", call + "'a', dbms_pipe.maxwait); end;", R::Receive, K::Other,
            true);
        row("time-out a call", call + "'a', f(1)); end;", R::Other, K::Other);
        row("capitals", "BEGIN :STA := DBMS_PIPE.RECEIVE_MESSAGE('tm', 0); END;", R::Receive,
            K::Receive);
        row("blanks", "begin\n\t:sta:=dbms_pipe.receive_message( 'tm' ,0 ) ;end;", R::Receive,
            K::Receive);
        row("purge with blanks", "begin dbms_pipe.purge ('tm'); end;", R::Purge, K::Purge);
        row("unpack in capitals", "BEGIN DBMS_PIPE.UNPACK_MESSAGE(:LEN); END;", R::UnpackLength,
            K::Unpack);
        std::string typed = kTypedItemBlock;
        typed.back() = ' ';
        row("typed block changed", typed, R::Other, K::Other);
        row("no end", "begin dbms_pipe.purge('tm');", R::Other, K::Other);
    }
    void nearMissesAreNotTheReceiversStatements() {
        QFETCH(QByteArray, text);
        QFETCH(int, kind);
        QFETCH(int, pgKind);
        QFETCH(bool, exact);
        const RecognisedStatement r = Recognise(text.toStdString());
        QCOMPARE(int(r.kind), kind);
        QCOMPARE(r.exact, exact);
        QCOMPARE(int(Classify(text.toStdString()).kind), pgKind);
    }

    void readsConnectStrings() {
        struct Case {
            const char *text, *host, *port, *database; // host null: rejected
        };
        const Case cases[] = {
            {"pg:", "", "", ""},
            {"pg:db.example.org", "db.example.org", "", ""},
            {"pg:localhost:5433/tide", "localhost", "5433", "tide"},
            {"pg::5433", "", "5433", ""},
            {"pg:/tide", "", "", "tide"},
            {"pg:[::1]:5432/x", "::1", "5432", "x"},
            {"pg:[/run/postgresql]/x", "/run/postgresql", "", "x"},
            // Options cannot ride along: the rest after '/' is the database's name, all of it.
            {"pg:h/db sslmode=disable host=evil", "h", "", "db sslmode=disable host=evil"},
            {"pg:h:54x2/db", nullptr, "", ""},
            {"pg:h:70000", nullptr, "", ""},
            {"pg:h:/db", nullptr, "", ""},
            {"pg:[::1", nullptr, "", ""},
            {"orcl", nullptr, "", ""},
        };
        for (const Case& c : cases) {
            std::string why;
            const auto target = ParseConnectString(c.text, &why);
            QVERIFY2(target.has_value() == (c.host != nullptr), c.text);
            if (!target) {
                QVERIFY2(!why.empty(), c.text);
                continue;
            }
            QCOMPARE(target->host, std::string(c.host));
            QCOMPARE(target->port, std::string(c.port));
            QCOMPARE(target->database, std::string(c.database));
        }
    }
};

int main(int argc, char** argv) {
    const QByteArray child = qgetenv("TIDEMARK_REPORT_CHILD");
    if (!child.isEmpty())
        return runReportChild(child); // the responder answers: no window is needed
    QApplication app(argc, argv);
    TestOciLayer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_calllayer.moc"
