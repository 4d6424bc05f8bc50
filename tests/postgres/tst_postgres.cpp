// The call layer against the real server: log-on, error reports, and the pipe blocks run
// through COciCursor exactly as the receiver and the Options command run them.
//
// Parts: helpers (a receive, a plain message and a typed item taken through COciCursor as the
// receiver takes them, a session of another role);
// then the tests: log-on and error reports, a cursor outliving its session, plain and typed
// messages, integers at their limits, overflow and NULL, wrong item types, the pipe name, purge,
// and the sending procedures as every user sees them.
#include "Driver.h"
#include "Logon.h"
#include "MessageBox.h"
#include "PgConnection.h"
#include "PlsqlTexts.h"
#include "TestSupport.h"

#include <QApplication>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

#include <cstdint>
#include <cstring>

namespace {
// One receive statement on the cursor; the status as the server gave it (or the preset on
// failure).
int receiveText(COciCursor& cursor, const std::string& text, int preset) {
    int status = preset;
    short ind = 0;
    cursor.Parse(text.c_str());
    cursor.Bind(":sta", &status, sizeof status, SQLT_INT, &ind);
    cursor.Execute(TRUE);
    return status;
}

// The receiver's receive on the cursor.
int receive(COciCursor& cursor, const std::string& pipe, int preset = -99) {
    return receiveText(cursor, ReceiveBlock(pipe), preset);
}

// One message in plain form, as the receiver takes it: receive, the length, the text.
struct Plain {
    int length;
    QByteArray text; // empty when nothing was waiting (length -1)
};

Plain nextPlain(COciCursor& cursor, const std::string& pipe) {
    Plain msg{-1, {}};
    static char text[2000];
    text[0] = '\0';
    short ind = 0;
    if (receive(cursor, pipe) != 0)
        return msg;
    cursor.Parse(kUnpackLengthBlock);
    cursor.Bind(":len", &msg.length, sizeof msg.length, SQLT_INT, &ind);
    cursor.Execute(TRUE);
    cursor.Parse(kUnpackTextBlock);
    cursor.Bind(":chr", text, sizeof text, SQLT_STR, &ind);
    cursor.Execute(TRUE);
    msg.text = QByteArray(text);
    return msg;
}

struct Item {
    int type;
    QByteArray value;
};

Item typedItem(COciCursor& cursor, const char* preset = "<untouched>") {
    Item item{-1, {}};
    static char res[30000];
    std::strcpy(res, preset);
    short ind = 0;
    cursor.Parse(kTypedItemBlock);
    cursor.Bind(":v_typ", &item.type, sizeof item.type, SQLT_INT, &ind);
    cursor.Bind(":v_res", res, sizeof res, SQLT_STR, &ind);
    cursor.Execute(TRUE);
    item.value = QByteArray(res);
    return item;
}

// A libpq session as another role, for the procedures' callers.
struct OtherRole {
    PGconn* conn = nullptr;
    explicit OtherRole(const char* user, const char* password) {
        const char* keys[] = {"user", "password", "dbname", nullptr};
        const QByteArray db = qgetenv("PGDATABASE");
        const char* values[] = {user, password, db.constData(), nullptr};
        conn = PQconnectdbParams(keys, values, 0);
    }
    ~OtherRole() { PQfinish(conn); }
    QString run(const char* sql) {
        PGresult* r = PQexec(conn, sql);
        QString err = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK
                          ? QString()
                          : QString::fromUtf8(PQresultErrorMessage(r));
        PQclear(r);
        return err;
    }
};
} // namespace

class TestOciPostgres : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        REQUIRE_DATABASE();
        QVERIFY2(m_sender.ok(), qPrintable(m_sender.error()));
    }

    void wrongPasswordThenRight() {
        MessageBoxRecorder boxes;
        const std::string user = TestDatabase::user();
        const std::string connect = TestDatabase::connectString();
        QCOMPARE(OciLogon(user.c_str(), "certainly-not-the-password", connect.c_str()), 0);
        QCOMPARE(g_bConnected, 0);
        QCOMPARE(g_lda.fc, std::uint8_t(0));
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().startsWith("ORACLE Error\nORA-01017") &&
                     boxes.lastText().contains("password authentication failed"),
                 qPrintable(boxes.lastText()));

        // Options cannot be smuggled in: the whole rest is taken as the database's name.
        const std::string smuggled = connect + " options=-csearch_path=evil";
        QCOMPARE(OciLogon(user.c_str(), TestDatabase::password().c_str(), smuggled.c_str()), 0);
        QVERIFY2(boxes.lastText().contains("options=-csearch_path=evil\" does not exist"),
                 qPrintable(boxes.lastText()));

        // Not a PostgreSQL connect string: served by the other driver, which fails here.
        QCOMPARE(OciLogon(user.c_str(), "x", "no-such-tns-alias"), 0);
        QCOMPARE(g_bConnected, 0);
        QCOMPARE(boxes.count(), 3);

        QVERIFY(LogonToTestDatabase());
        QCOMPARE(g_bConnected, 1);
        QCOMPARE(boxes.count(), 3);
        QCOMPARE(m_sender.scalar("SELECT count(*) FROM pg_stat_activity WHERE application_name "
                                 "= 'Tidemark'"),
                 QStringLiteral("1"));
    }

    void rejectedStatement() {
        MessageBoxRecorder boxes;
        COciCursor cursor;
        cursor.Parse("select * from no_such_table_anywhere");
        QCOMPARE(boxes.count(), 0); // parsing is deferred
        QCOMPARE(cursor.Execute(FALSE), FALSE);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(cursor.Execute(TRUE), FALSE);
        QCOMPARE(boxes.count(), 1);
        const QString text = boxes.lastText();
        QVERIFY2(text.startsWith("ORACLE Error when processing OCI function OEXEC, OEXN\n") &&
                     text.contains("relation \"no_such_table_anywhere\" does not exist") &&
                     text.contains("42P01"),
                 qPrintable(text));
    }

    // The driver's cursor keeps its connection: it works after the session object is gone.
    // A server's own error comes without an "ORA-nnnnn: " prefix and ends with its SQLSTATE.
    void cursorOutlivesSession() {
        ocidrv::Error error;
        std::unique_ptr<ocidrv::Session> session = ocidrv::Connect(
            TestDatabase::user(), TestDatabase::password(), TestDatabase::connectString(), error);
        QVERIFY2(session, error.message.c_str());
        std::unique_ptr<ocidrv::Cursor> cursor = session->OpenCursor(error);
        QVERIFY(cursor);
        session.reset();
        std::int32_t status = -1;
        short indicator = 0;
        QVERIFY(cursor->Parse(ReceiveBlock("outlived"), error));
        QVERIFY2(cursor->Execute({{":sta", &status, sizeof status, SQLT_INT, &indicator}}, error),
                 error.message.c_str());
        QCOMPARE(status, 1);
        QVERIFY(cursor->Parse("select * from no_such_table_anywhere", error));
        QVERIFY(!cursor->Execute({}, error));
        QVERIFY2(!QString::fromStdString(error.message).startsWith("ORA-") &&
                     QString::fromStdString(error.message).endsWith("SQLSTATE 42P01"),
                 error.message.c_str());
        QVERIFY(cursor->Close(error));
    }

    void sameCauseSameCode() {
        Cda_Def cda{};
        QCOMPARE(oopen(&cda, &g_lda, nullptr, -1, -1, nullptr, -1), 0);
        QCOMPARE(oparse(&cda, "select * from missing_one", -1, 1, 2), 0);
        QVERIFY(oexec(&cda) != 0);
        const int first = cda.rc;
        QCOMPARE(cda.fc, std::uint8_t(OCI_FC_OEXEC));
        QCOMPARE(oparse(&cda, "select * from missing_two", -1, 1, 2), 0);
        QVERIFY(oexec(&cda) != 0);
        QCOMPARE(int(cda.rc), first);
        char buf[512];
        oerhms(&g_lda, cda.rc, buf, sizeof buf);
        QVERIFY2(QByteArray(buf).contains("missing_two"), buf);
        QCOMPARE(oparse(&cda, "select pg_catalog.no_such_function()", -1, 1, 2), 0);
        QVERIFY(oexec(&cda) != 0);
        QVERIFY(int(cda.rc) != first);
        QCOMPARE(oclose(&cda), 0);
        QVERIFY(oclose(&cda) != 0); // closed once only
        QCOMPARE(int(cda.rc), int(OCI_RC_INVALID_CURSOR));
    }

    void plainMessage() {
        QVERIFY(m_sender.sendDebug("hello"));
        MessageBoxRecorder boxes;
        COciCursor cursor;
        QCOMPARE(receive(cursor, "tidemark"), 0);
        int length = -1;
        char text[2000];
        short ind = 5;
        cursor.Parse(kUnpackLengthBlock);
        cursor.Bind(":len", &length, sizeof length, SQLT_INT, &ind);
        QCOMPARE(cursor.Execute(TRUE), TRUE);
        QCOMPARE(length, 5);
        QCOMPARE(ind, short(0));
        cursor.Parse(kUnpackTextBlock);
        cursor.Bind(":chr", text, sizeof text, SQLT_STR, &ind);
        QCOMPARE(cursor.Execute(TRUE), TRUE);
        QCOMPARE(QByteArray(text), QByteArray("hello"));
        QCOMPARE(receive(cursor, "tidemark"), 1); // nothing more waiting

        // Text is UTF-8 both ways.
        QVERIFY(m_sender.sendDebug(QString::fromUtf8("h\u00e9llo \u20ac")));
        const Plain msg = nextPlain(cursor, "tidemark");
        QCOMPARE(msg.length, 7); // characters
        QCOMPARE(msg.text, QByteArray("h\xc3\xa9llo \xe2\x82\xac"));
        QCOMPARE(boxes.count(), 0);
    }

    void typedMessage() {
        QVERIFY(m_sender.sendDebug("hello"));
        QVERIFY(m_sender.exec("SELECT dbms_pipe.pack_message(1.50::numeric), "
                              "dbms_pipe.pack_message(date '2024-02-29'), "
                              "dbms_pipe.pack_message('\\x0102'::bytea), "
                              "dbms_pipe.pack_message(now()), dbms_pipe.send_message('tidemark')"));
        MessageBoxRecorder boxes;
        COciCursor cursor;
        QCOMPARE(receive(cursor, "tidemark"), 0);
        Item item = typedItem(cursor);
        QCOMPARE(item.type, 6);
        QCOMPARE(item.value, QByteArray("5"));
        item = typedItem(cursor);
        QCOMPARE(item.type, 9);
        QCOMPARE(item.value, QByteArray("hello"));
        item = typedItem(cursor);
        QCOMPARE(item.type, 0); // end of message
        QCOMPARE(item.value, QByteArray(""));

        QCOMPARE(receive(cursor, "tidemark"), 0);
        item = typedItem(cursor);
        QCOMPARE(item.type, 6);
        QCOMPARE(item.value, QByteArray("1.5"));
        item = typedItem(cursor);
        QCOMPARE(item.type, 12);
        QCOMPARE(item.value, QByteArray("2024-02-29"));
        item = typedItem(cursor);
        QCOMPARE(item.type, 23);
        QCOMPARE(item.value, QByteArray("UNKNOWN"));
        item = typedItem(cursor);
        QCOMPARE(item.type, int(kItemTimestamp)); // taken off, so the message ends after it
        item = typedItem(cursor, "kept");
        QCOMPARE(item.type, 0);
        QCOMPARE(receive(cursor, "tidemark"), 1);
        QCOMPARE(boxes.count(), 0);
    }

    void integersAtTheLimitsOfTheirVariables_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("fits");
        QTest::newRow("8 bytes, lowest") << "-9223372036854775808" << 8 << true;
        QTest::newRow("8 bytes, highest") << "9223372036854775807" << 8 << true;
        QTest::newRow("8 bytes, below") << "-9223372036854775809" << 8 << false;
        QTest::newRow("8 bytes, above") << "9223372036854775808" << 8 << false;
        QTest::newRow("4 bytes, lowest") << "-2147483648" << 4 << true;
        QTest::newRow("4 bytes, below") << "-2147483649" << 4 << false;
        QTest::newRow("4 bytes, highest") << "2147483647" << 4 << true;
    }
    void integersAtTheLimitsOfTheirVariables() {
        QFETCH(QString, number);
        QFETCH(int, bytes);
        QFETCH(bool, fits);
        QVERIFY(m_sender.exec(
            QStringLiteral("SELECT dbms_pipe.pack_message(%1::numeric)").arg(number)));
        QCOMPARE(m_sender.scalar("SELECT dbms_pipe.send_message('limits')"), QStringLiteral("0"));
        MessageBoxRecorder boxes;
        COciCursor cursor;
        QCOMPARE(receive(cursor, "limits"), 0);
        std::int64_t wide = 7;
        std::int32_t narrow = 7;
        short ind = 0;
        cursor.Parse(kUnpackLengthBlock);
        if (bytes == 8)
            cursor.Bind(":len", &wide, 8, SQLT_INT, &ind);
        else
            cursor.Bind(":len", &narrow, 4, SQLT_INT, &ind);
        QCOMPARE(bool(cursor.Execute(FALSE)), fits);
        const long long got = bytes == 8 ? wide : narrow;
        QCOMPARE(QString::number(got), fits ? number : QStringLiteral("7"));
    }

    void overflowAndNull() {
        QVERIFY(m_sender.sendDebug("hello world"));
        MessageBoxRecorder boxes;
        COciCursor cursor;
        QCOMPARE(receive(cursor, "tidemark"), 0);
        int length = -1;
        short ind = 7;
        cursor.Parse(kUnpackLengthBlock);
        cursor.Bind(":len", &length, sizeof length, SQLT_INT, &ind);
        QCOMPARE(cursor.Execute(TRUE), TRUE);
        QCOMPARE(length, 11);

        char small[12];
        std::memset(small, '#', sizeof small);
        std::strcpy(small, "safe");
        ind = 7;
        cursor.Parse(kUnpackTextBlock);
        cursor.Bind(":chr", small, 11, SQLT_STR, &ind); // 11 characters need 12 bytes
        QCOMPARE(cursor.Execute(FALSE), FALSE);
        QCOMPARE(QByteArray(small), QByteArray("safe")); // nothing written
        QCOMPARE(small[11], '#');
        QCOMPARE(ind, short(7));
        char buf[512];
        oerhms(&g_lda, OCI_RC_VALUE_ERROR, buf, sizeof buf);
        QVERIFY2(QByteArray(buf).contains("character string buffer too small"), buf);

        // The server handed the item over before its size was known, as Oracle's block would
        // have, so the next unpack finds none: NULL gives the empty string and indicator -1.
        char text[2000];
        std::strcpy(text, "stale");
        cursor.Bind(":chr", text, sizeof text, SQLT_STR, &ind);
        QCOMPARE(cursor.Execute(TRUE), TRUE);
        QCOMPARE(QByteArray(text), QByteArray(""));
        QCOMPARE(ind, short(-1));
        length = 42;
        ind = 0;
        cursor.Parse(kUnpackLengthBlock);
        cursor.Bind(":len", &length, sizeof length, SQLT_INT, &ind);
        QCOMPARE(cursor.Execute(TRUE), TRUE);
        QCOMPARE(length, 0);
        QCOMPARE(ind, short(-1));
        QCOMPARE(boxes.count(), 0);

        // A 1999-character text fills a 2000-byte buffer exactly.
        const QString longText(1999, QLatin1Char('z'));
        QVERIFY(m_sender.sendDebug(longText));
        const Plain msg = nextPlain(cursor, "tidemark");
        QCOMPARE(msg.length, 1999);
        QCOMPARE(QString::fromLatin1(msg.text), longText);
        QCOMPARE(boxes.count(), 0);
    }

    void wrongItemTypeLeavesVariablesAlone() {
        QVERIFY(m_sender.sendDebug("abc"));
        MessageBoxRecorder boxes;
        COciCursor cursor;
        QCOMPARE(receive(cursor, "tidemark"), 0);
        char text[100] = "preset";
        short ind = 3;
        cursor.Parse(kUnpackTextBlock); // the number comes first
        cursor.Bind(":chr", text, sizeof text, SQLT_STR, &ind);
        QCOMPARE(cursor.Execute(TRUE), FALSE);
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().contains("datatype mismatch"), qPrintable(boxes.lastText()));
        QCOMPARE(QByteArray(text), QByteArray("preset"));
        QCOMPARE(ind, short(3));
        // A placeholder left unbound, or one the statement lacks.
        cursor.Parse(kUnpackTextBlock);
        QCOMPARE(cursor.Execute(FALSE), FALSE);
        char buf[512];
        oerhms(&g_lda, OCI_RC_NOT_ALL_BOUND, buf, sizeof buf);
        QVERIFY2(QByteArray(buf).contains(":chr"), buf);
        cursor.Bind(":chr", text, sizeof text, SQLT_STR, &ind);
        cursor.Bind(":other", text, sizeof text, SQLT_STR, &ind);
        QCOMPARE(cursor.Execute(FALSE), FALSE);
        QCOMPARE(QByteArray(text), QByteArray("preset"));
        QCOMPARE(receive(cursor, "tidemark"), 1); // the rest of the message went with it
    }

    void apostropheInPipeName() {
        QVERIFY(m_sender.sendDebug("to the right pipe", "it's"));
        QVERIFY(m_sender.sendDebug("not this one", "it"));
        MessageBoxRecorder boxes;
        COciCursor cursor;
        // Unescaped, the literal ends early and the server rejects the text.
        QCOMPARE(
            receiveText(cursor, "begin :sta := dbms_pipe.receive_message('it's', 0); end;", 77),
            77);
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().contains("syntax error"), qPrintable(boxes.lastText()));
        // Doubled, the apostrophe reaches the server as part of the name.
        QCOMPARE(nextPlain(cursor, "it's").text, QByteArray("to the right pipe"));
        cursor.Parse(PurgeBlock("it").c_str());
        QCOMPARE(cursor.Execute(TRUE), TRUE);
        QCOMPARE(receive(cursor, "it"), 1);
        QCOMPARE(boxes.count(), 1);
    }

    void purge() {
        for (int i = 0; i < 3; ++i)
            QVERIFY(m_sender.sendDebug(QStringLiteral("m%1").arg(i), "purged"));
        MessageBoxRecorder boxes;
        COciCursor cursor;
        cursor.Parse(PurgeBlock("purged").c_str());
        QCOMPARE(cursor.Execute(TRUE), TRUE);
        QCOMPARE(receive(cursor, "purged"), 1);
        QCOMPARE(boxes.count(), 0);
    }

    // Every item type the server has, then a text: each item in order with its text, timestamps
    // and rows under codes of their own, one statement a step or read ahead.
    void everyItemTypeInOrder_data() {
        QTest::addColumn<bool>("readAhead");
        QTest::newRow("read ahead") << true;
        QTest::newRow("one statement a step") << false;
    }
    void everyItemTypeInOrder() {
        QFETCH(bool, readAhead);
        if (!readAhead)
            qputenv("TIDEMARK_READ_AHEAD", "off");
        const auto restore = qScopeGuard([] { qunsetenv("TIDEMARK_READ_AHEAD"); });
        QVERIFY(m_sender.exec("SET TimeZone = 'UTC'; DROP TYPE IF EXISTS tm_person; "
                              "CREATE TYPE tm_person AS (id integer, name text)"));
        const struct {
            const char* sent;
            Item want;
        } items[] = {
            {"'Message From Session A'::text", {kItemVarchar2, "Message From Session A"}},
            {"'2013-01-01'::date", {kItemDate, "2013-01-01"}},
            {"'2013-01-01 09:00:00'::timestamp", {kItemTimestamp, "2013-01-01 09:00:00+00"}},
            {"'2013-01-01 09:00:00-08'::timestamptz", {kItemTimestamp, "2013-01-01 17:00:00+00"}},
            {"12345.6789::numeric", {kItemNumber, "12345.6789"}},
            {"12345::integer", {kItemNumber, "12345"}},
            {"99999999999::bigint", {kItemNumber, "99999999999"}},
            {"decode('81', 'hex')", {kItemRaw, "UNKNOWN"}},
            {"ROW(2, 'rob')::tm_person", {kItemRecord, "(2,rob)"}},
            {"'last'::text", {kItemVarchar2, "last"}},
            {nullptr, {kItemNone, ""}}};
        MessageBoxRecorder boxes;
        COciCursor cursor;
        cursor.Parse("SET TimeZone = 'UTC'");
        QVERIFY(cursor.Execute(TRUE));
        QStringList sent;
        for (const auto& item : items)
            if (item.sent)
                sent << item.sent;
        QCOMPARE(m_sender.sendItems("every_type", sent), 0);
        QCOMPARE(receive(cursor, "every_type"), 0);
        for (const auto& item : items) {
            const Item got = typedItem(cursor);
            QCOMPARE(got.type, item.want.type);
            QCOMPARE(got.value, item.want.value);
        }
        QCOMPARE(receive(cursor, "every_type"), 1);
        QCOMPARE(boxes.count(), 0);
    }

    // The first fetch of a pipe asks for 16 messages, each that came back full for twice as many
    // as the last, and one that came back short starts again at 16; the messages held are
    // counted exactly.
    void readAheadGrowsFromSixteenAndStartsAgain() {
        COciCursor cursor;
        MessageBoxRecorder boxes;
        // Sent before the receive that fetches, then waiting in the pipe and held by the driver
        // after it: 16 full, 32 full, 64 short (one came) and 64 again; once a receive has found
        // the pipe empty (sent -1: the drain's end), 16 again.
        struct Step {
            int sent, waiting, held;
        };
        for (const Step& step : {Step{16, 0, 15}, Step{33, 1, 31}, Step{0, 0, 0}, Step{17, 0, 16},
                                 Step{-1, 0, 0}, Step{17, 1, 15}}) {
            for (int i = 0; i < step.sent; ++i)
                QCOMPARE(m_sender.sendItems("growing", {QStringLiteral("'g%1'::text").arg(i)}), 0);
            QCOMPARE(receive(cursor, "growing"), step.sent < 0 ? 1 : 0);
            if (step.sent < 0)
                continue;
            QCOMPARE(m_sender
                         .scalar("SELECT coalesce(sum(items), 0) FROM dbms_pipe.db_pipes "
                                 "WHERE name = 'growing'")
                         .toInt(),
                     step.waiting);
            for (int held = step.held; held > 0; --held) {
                QCOMPARE(cursor.HeldMessages("growing"), held);
                QCOMPARE(receive(cursor, "growing"), 0);
            }
            QCOMPARE(cursor.HeldMessages("growing"), 0);
        }
        cursor.Parse(PurgeBlock("growing").c_str());
        QVERIFY(cursor.Execute(TRUE));
        QCOMPARE(boxes.count(), 0);
    }

    // A row whose type is gone cannot be unpacked: read ahead, its message is cut there and the
    // server's buffer keeps the rest. The failure is reported at the step it struck and the rest
    // comes from the server; once a fetch on another pipe has replaced that buffer, every
    // remaining step of the cut message fails, and never gives another message's items.
    void cutMessage_data() {
        QTest::addColumn<bool>("otherPipeBetween");
        QTest::newRow("rest from the server") << false;
        QTest::newRow("rest lost to another pipe") << true;
    }
    void cutMessage() {
        QFETCH(bool, otherPipeBetween);
        // Each cut message is followed in its buffer by the item that must not leak.
        auto sendCut = [&](const QString& pipe, const QString& first, const QString& rest) {
            return m_sender.exec("DROP TYPE IF EXISTS tm_gone; CREATE TYPE tm_gone AS (a int)") &&
                   m_sender.sendItems(pipe, {first, "ROW(1)::tm_gone", rest}) == 0 &&
                   m_sender.exec("DROP TYPE tm_gone");
        };
        QCOMPARE(m_sender.sendItems("cut_a", {"'a0'::text"}), 0);
        QVERIFY(sendCut("cut_a", "'a1'::text", "'a-rest'::text"));
        QVERIFY(!otherPipeBetween || sendCut("cut_b", "'b1'::text", "'b-rest'::text"));
        MessageBoxRecorder boxes;
        COciCursor cursor;
        QCOMPARE(receive(cursor, "cut_a"), 0); // a0, and the cut message held
        QCOMPARE(typedItem(cursor).value, QByteArray("a0"));
        QCOMPARE(typedItem(cursor).type, 0);
        if (otherPipeBetween) {
            QCOMPARE(receive(cursor, "cut_b"), 0);
            QCOMPARE(typedItem(cursor).value, QByteArray("b1")); // b-rest stays on the server
        }
        QCOMPARE(receive(cursor, "cut_a"), 0);
        QCOMPARE(typedItem(cursor).value, QByteArray("a1"));
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(typedItem(cursor).type, -1); // failed: nothing written
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().contains("SQLSTATE 42704") &&
                     boxes.lastText().contains(otherPipeBetween
                                                   ? "ORA-03106: the rest of this message "
                                                     "cannot be unpacked"
                                                   : "does not exist"),
                 qPrintable(boxes.lastText()));
        if (!otherPipeBetween) {
            QCOMPARE(typedItem(cursor).value, QByteArray("a-rest"));
            QCOMPARE(typedItem(cursor).type, 0);
            QCOMPARE(boxes.count(), 1);
        } else { // every further step fails too, plain or typed, and nothing of cut_b comes
            QCOMPARE(typedItem(cursor).type, -1);
            char text[100] = "untouched";
            short ind = 0;
            cursor.Parse(kUnpackTextBlock);
            cursor.Bind(":chr", text, sizeof text, SQLT_STR, &ind);
            QCOMPARE(cursor.Execute(TRUE), FALSE);
            QCOMPARE(QByteArray(text), QByteArray("untouched"));
            QCOMPARE(boxes.count(), 3);
            QVERIFY2(boxes.lastText().contains("cannot be unpacked"), qPrintable(boxes.lastText()));
        }
        QCOMPARE(receive(cursor, "cut_a"), 1);
        QCOMPARE(receive(cursor, "cut_b"), 1);
    }

    // The server cancels a slow statement of the session well before the driver's deadline
    // would give the connection up: the session's own setting, as the server reports it.
    void serverCancelsBeforeTheDeadline() {
        MessageBoxRecorder boxes;
        COciCursor cursor;
        cursor.Parse("SELECT dbms_pipe.pack_message(length(t)), dbms_pipe.pack_message(t), "
                     "dbms_pipe.send_message('statement_timeout') FROM (SELECT extract(epoch "
                     "FROM current_setting('statement_timeout')::interval)::text AS t) s");
        QVERIFY(cursor.Execute(TRUE));
        const QByteArray text = nextPlain(cursor, "statement_timeout").text;
        const double seconds = text.toDouble();
        QCOMPARE(seconds, double(ocidrv::pg::kServerStatementTimeout.count()));
        QVERIFY2(seconds > 0 && seconds + double(ocidrv::pg::kCancelMargin.count()) <=
                                    double(ocidrv::pg::kAnswerDeadline.count()),
                 text.constData());
        QCOMPARE(boxes.count(), 0);
    }
    void proceduresForEveryone() {
        MessageBoxRecorder boxes;
        for (int round = 0; round < 2; ++round) { // installing twice replaces them
            COciCursor cursor;
            for (const char* text :
                 {kCreateSendDebugMessage, kCreateSendTraceMessage, kCreateSynonymSendDebugMessage,
                  kCreateSynonymSendTraceMessage}) {
                cursor.Parse(text);
                QVERIFY2(cursor.Execute(FALSE), text);
            }
        }
        QCOMPARE(boxes.count(), 0);

        QVERIFY(m_sender.exec("DROP ROLE IF EXISTS tidemark_caller"));
        QVERIFY(m_sender.exec(
            "CREATE ROLE tidemark_caller LOGIN PASSWORD 'caller-pw' NOSUPERUSER NOINHERIT"));
        OtherRole caller("tidemark_caller", "caller-pw");
        QVERIFY2(PQstatus(caller.conn) == CONNECTION_OK, PQerrorMessage(caller.conn));
        QCOMPARE(caller.run("CALL SendDebugMessage('hello')"), QString());
        QCOMPARE(caller.run("CALL SendTraceMessage('traced')"), QString());
        QCOMPARE(caller.run("CALL SendDebugMessage('elsewhere', 'other pipe')"), QString());
        // Too long for the trace procedure's 2000 characters: an error, as on Oracle.
        QVERIFY(!caller.run("CALL SendTraceMessage(repeat('x', 1995))").isEmpty());

        COciCursor cursor;
        Plain msg = nextPlain(cursor, "tidemark");
        QCOMPARE(msg.length, 5);
        QCOMPARE(msg.text, QByteArray("hello"));
        msg = nextPlain(cursor, "tidemark");
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d: traced$")
                     .match(QString::fromUtf8(msg.text))
                     .hasMatch(),
                 msg.text.constData());
        QCOMPARE(msg.length, msg.text.size());
        QCOMPARE(nextPlain(cursor, "tidemark").length, -1);
        QCOMPARE(nextPlain(cursor, "other pipe").text, QByteArray("elsewhere"));
        QCOMPARE(boxes.count(), 0);
    }

private:
    PipeSender m_sender;
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestOciPostgres test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_postgres.moc"
