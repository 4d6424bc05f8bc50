// Bad input from the database side and from the profile: odd pipe names, odd characters in
// messages, the largest message the pipe carries, NULL items, items that break the plain
// convention, items the typed block does not unpack. Each gets the faithful text or a clear
// report, never a hang, a crash or a lost neighbour message.
#include "LogWindow.h"
#include "PrivateServer.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "Logon.h"
#include "MessageBox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestReliabilityInput : public QObject {
    Q_OBJECT
    std::unique_ptr<PrivateServer> m_server;
    std::unique_ptr<PipeSender> m_sender;
    std::unique_ptr<ScopedProfile> m_profile;

private slots:
    void initTestCase() {
        // The size probe fills orafce's shared memory: a server of its own.
        START_PRIVATE_TEST_DATABASE(m_server);
        m_profile = std::make_unique<ScopedProfile>();
        MessageBoxRecorder boxes;
        QVERIFY2(LogonToTestDatabase(), qPrintable(boxes.lastText()));
        m_sender = std::make_unique<PipeSender>();
        QVERIFY2(m_sender->ok(), qPrintable(m_sender->error()));
        m_sender->setWait(2); // nothing drains the pipes while a test sends
    }
    void cleanupTestCase() {
        m_sender.reset();
        m_server.reset();
    }

    void oddPipeNames_data() {
        QTest::addColumn<QString>("pipe");
        QTest::newRow("blank inside") << "my pipe";
        QTest::newRow("leading and trailing blanks") << "  padded  ";
        QTest::newRow("only blanks") << "   ";
        QTest::newRow("empty") << "";
        QTest::newRow("128 characters") << QString(128, 'p');
        QTest::newRow("129 characters") << QString(129, 'q');
        QTest::newRow("400 characters") << QString(400, 'r');
        QTest::newRow("non-ASCII") << QStringLiteral("Grüße-東京-∑");
        QTest::newRow("apostrophes and backslashes") << QStringLiteral("it's a \\' pipe''");
        QTest::newRow("statement end and comment") << QStringLiteral("p; -- x */ /*");
        QTest::newRow("dollar quotes") << QStringLiteral("$$ $q$ $1");
    }
    void oddPipeNames() {
        QFETCH(QString, pipe);
        LogWindow m(pipe);
        MessageBoxRecorder boxes;
        const int sent = m_sender->sendItems(pipe, {"5", "'hello'::text"});
        QVERIFY(m_sender->sendItems("bystander", {"7", "'neighbour'::text"}) == 0);
        m.view.PollPipe();
        if (sent == 0) {
            // The pipe took the message: it arrives whole, from that pipe alone.
            QCOMPARE(m.log(), QByteArray("hello\r\n"));
            QCOMPARE(boxes.count(), 0);
        } else {
            // The server would not keep such a pipe: nothing arrives, at most one report.
            QVERIFY2(boxes.count() <= 1, qPrintable(boxes.lastText()));
            QCOMPARE(m.log(), QByteArray());
        }
        // The purge empties that pipe and no other.
        m.view.OnPurgePipe();
        QVERIFY2(boxes.count() <= (sent == 0 ? 0 : 2), qPrintable(boxes.lastText()));
        LogWindow bystander("bystander");
        bystander.view.PollPipe();
        QCOMPARE(bystander.log(), QByteArray("neighbour\r\n"));
    }

    void oddCharactersArriveFaithfully_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("tabs") << QStringLiteral("\tcol1\tcol2\t");
        QTest::newRow("CR alone") << QStringLiteral("over\rwritten\r");
        QTest::newRow("LF alone") << QStringLiteral("\nline\nbreaks\n");
        QTest::newRow("CR LF inside") << QStringLiteral("a\r\nb");
        QString controls;
        for (char16_t c = 1; c < 32; ++c)
            controls += QChar(c);
        controls += QChar(0x7f);
        QTest::newRow("every control character") << controls;
        QTest::newRow("non-ASCII") << QStringLiteral("Grüße, Ελληνικά, 東京, עברית, ∑ ≠ ∞");
        QTest::newRow("four-byte UTF-8") << QStringLiteral("emoji 😀 and 𝄞");
        QTest::newRow("quotes and backslashes") << QStringLiteral("it's \"quoted\" \\n \\'");
        QTest::newRow("byte-order mark first") << QStringLiteral("\ufeffmarked \ufeff");
        QTest::newRow("line and paragraph separators") << QStringLiteral("a\u2028b\u2029c\u0085d");
    }
    void oddCharactersArriveFaithfully() {
        QFETCH(QString, text);
        QTemporaryDir dir;
        for (bool typed : {false, true}) {
            LogWindow m("odd_chars", typed);
            MessageBoxRecorder boxes;
            QVERIFY(m_sender->sendDebug(text, "odd_chars"));
            m.view.PollPipe();
            QCOMPARE(boxes.count(), 0);
            const QByteArray bytes = text.toUtf8();
            const QByteArray expected = typed ? "MESSAGE:\r\nNUMBER:\t'" +
                                                    QByteArray::number(text.toUcs4().size()) +
                                                    "'\r\nVARCHAR2:\t'" + bytes + "'\r\n\r\n"
                                              : bytes + "\r\n";
            QCOMPARE(m.log(), expected);
            // ... and they are saved exactly as they came.
            const QString path = dir.filePath(typed ? "typed.log" : "plain.log");
            QVERIFY(m.doc.OnSaveDocument(path));
            QCOMPARE(ReadFile(path), expected);
        }
    }

    void messageAtThePipesSizeLimit() {
        // The largest text the pipe carries, found against the server itself.
        int good = 1, bad = 64 * 1024;
        while (bad - good > 1) {
            const int n = (good + bad) / 2;
            const int status = m_sender->sendItems(
                "size_probe", {QString::number(n), QStringLiteral("repeat('x', %1)").arg(n)}, 0);
            m_sender->exec("SELECT dbms_pipe.purge('size_probe')");
            (status == 0 ? good : bad) = n;
        }
        QVERIFY2(good > 1999, qPrintable(QString::number(good)));
        qInfo("largest text the pipe carries: %d bytes", good);
        const QString largest(good, 'x');
        {
            // Typed mode has room for it: it arrives whole.
            LogWindow m("size_limit", true);
            MessageBoxRecorder boxes;
            QCOMPARE(
                m_sender->sendItems("size_limit", {QString::number(good), SqlLiteral(largest)}), 0);
            QVERIFY(m_sender->sendDebug("after", "size_limit"));
            m.view.PollPipe();
            QCOMPARE(boxes.count(), 0);
            QCOMPARE(m.log(),
                     "MESSAGE:\r\nNUMBER:\t'" + QByteArray::number(good) + "'\r\nVARCHAR2:\t'" +
                         largest.toUtf8() +
                         "'\r\n\r\nMESSAGE:\r\nNUMBER:\t'5'\r\nVARCHAR2:\t'after'\r\n\r\n");
        }
        // The plain form's text is at most 1999 bytes: the larger one is reported, neither cut
        // nor overrun, and the next message follows.
        LogWindow m("size_limit");
        MessageBoxRecorder boxes;
        QCOMPARE(m_sender->sendItems("size_limit", {QString::number(good), SqlLiteral(largest)}),
                 0);
        QVERIFY(m_sender->sendDebug("after", "size_limit"));
        m.view.PollPipe();
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.lastText().contains("buffer too small"), qPrintable(boxes.lastText()));
        QCOMPARE(m.log(), QByteArray("after\r\n"));
    }

    void nullItems() {
        // pack_message ignores a NULL: SendDebugMessage(NULL) sends a message without items.
        for (bool typed : {false, true}) {
            LogWindow m("nulls", typed);
            MessageBoxRecorder boxes;
            QCOMPARE(m_sender->sendItems("nulls", {"length(NULL::text)", "NULL::text"}), 0);
            QCOMPARE(m_sender->sendItems("nulls", {"3", "NULL::text"}), 0);
            QVERIFY(m_sender->sendDebug("after", "nulls"));
            m.view.PollPipe();
            QVERIFY2(boxes.count() <= 2, qPrintable(boxes.lastText()));
            if (typed)
                QCOMPARE(m.log(),
                         QByteArray("MESSAGE:\r\n\r\nMESSAGE:\r\nNUMBER:\t'3'\r\n\r\n"
                                    "MESSAGE:\r\nNUMBER:\t'5'\r\nVARCHAR2:\t'after'\r\n\r\n"));
            else
                QVERIFY2(m.log().endsWith("after\r\n") && m.log().count("after") == 1,
                         m.log().constData());
        }
    }

    void itemsOutOfThePlainConvention_data() {
        QTest::addColumn<QStringList>("items");
        QTest::newRow("length only") << QStringList{"5"};
        QTest::newRow("two numbers") << QStringList{"5", "6"};
        QTest::newRow("two texts") << QStringList{"'a'::text", "'b'::text"};
        QTest::newRow("date first") << QStringList{"date '2026-12-07'", "'x'::text"};
        QTest::newRow("raw in place of the text") << QStringList{"1", "'\\x00ff'::bytea"};
        QTest::newRow("timestamp in place of the text") << QStringList{"1", "now()"};
        QTest::newRow("record") << QStringList{"row(1, 'a')"};
        QTest::newRow("one item too many") << QStringList{"1", "'a'::text", "'extra'::text"};
        QTest::newRow("negative length") << QStringList{"-1", "'a'::text"};
        QTest::newRow("length beyond 32 bits") << QStringList{"99999999999", "'a'::text"};
        QTest::newRow("fractional length") << QStringList{"1.5", "'a'::text"};
    }
    void itemsOutOfThePlainConvention() {
        QFETCH(QStringList, items);
        LogWindow m("convention");
        MessageBoxRecorder boxes;
        QCOMPARE(m_sender->sendItems("convention", items), 0);
        QVERIFY(m_sender->sendDebug("after", "convention"));
        m.view.PollPipe();
        // At most one report per call the message makes fail, and the next message follows.
        QVERIFY2(boxes.count() <= 2, qPrintable(QString::number(boxes.count())));
        for (const auto& b : boxes.shown())
            QVERIFY2(b.text.startsWith("ORACLE Error"), qPrintable(b.text));
        QVERIFY2(m.log().endsWith("after\r\n"), m.log().constData());
        QCOMPARE(m.log().count("after"), 1);
        QVERIFY(!m.log().contains("extra"));
    }

    void itemsOracleLacksAreShownWhereverTheyStand_data() {
        QTest::addColumn<QString>("item");
        QTest::newRow("timestamp") << "timestamptz '2026-12-07 06:00:00+00'";
        // A row of a named type: orafce cannot unpack an anonymous one at all.
        QTest::newRow("record") << "row(1, 'a'::text)::rel_pair";
    }
    void itemsOracleLacksAreShownWhereverTheyStand() {
        QFETCH(QString, item);
        QVERIFY(m_sender->exec("DROP TYPE IF EXISTS rel_pair; CREATE TYPE rel_pair AS (n integer, "
                               "t text)"));
        LogWindow m("typed_odd", true);
        MessageBoxRecorder boxes;
        const QByteArray shown =
            "'" + m_sender->scalar("SELECT (" + item + ")::text").toUtf8() + "'\r\n";
        // At the start, in the middle and at the end of a message.
        QCOMPARE(m_sender->sendItems("typed_odd", {item, "'next'::text"}), 0);
        QCOMPARE(m_sender->sendItems("typed_odd", {"'kept'::text", item, "'next'::text"}), 0);
        QCOMPARE(m_sender->sendItems("typed_odd", {"'kept'::text", item}), 0);
        QVERIFY(m_sender->sendDebug("after", "typed_odd"));
        QVERIFY(m.drain());
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(m.log(), "MESSAGE:\r\n" + shown + "VARCHAR2:\t'next'\r\n\r\n" +
                              "MESSAGE:\r\nVARCHAR2:\t'kept'\r\n" + shown +
                              "VARCHAR2:\t'next'\r\n\r\n" + "MESSAGE:\r\nVARCHAR2:\t'kept'\r\n" +
                              shown + "\r\nMESSAGE:\r\nNUMBER:\t'5'\r\nVARCHAR2:\t'after'\r\n\r\n");
    }

    void profileWithValuesOfTheWrongType_data() {
        QTest::addColumn<QByteArray>("options");
        QTest::newRow("numbers with garbage") << QByteArray("Timer Frequency=12abc\nLF Flag=1x\n");
        QTest::newRow("fractions and hex") << QByteArray("Timer Frequency=2.5\nLF Flag=0x0\n");
        QTest::newRow("beyond 64 bits")
            << QByteArray("Timer Frequency=999999999999999999999999\nAuto Unpack=-99999999999\n");
        QTest::newRow("words") << QByteArray("Timer Frequency=true\nAllow Edit=false\n");
        QTest::newRow("broken variant")
            << QByteArray("Timer Frequency=@Variant(\\0\\0\\0\\x7f\\xff\\xff)\n"
                          "Pipe Name=@Variant(\\xff\\xff\\xff\\xff)\n");
        QTest::newRow("byte array") << QByteArray("Pipe Name=@ByteArray(\\xff\\xfe)\n");
        QTest::newRow("binary garbage") << QByteArray("\xff\xfe\x00\x01=\x02\n[x\n=\n", 12);
    }
    void profileWithValuesOfTheWrongType() {
        QFETCH(QByteArray, options);
        ScopedProfile profile;
        QDir().mkpath(QFileInfo(profile.file()).path());
        QFile f(profile.file());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Options]\n" + options);
        f.close();
        CTidemarkView view; // must not crash, and ends up with a usable setting
        QVERIFY(view.TimerPeriod() >= 10);
        QVERIFY(view.m_bLFFlag == 0 || view.m_bLFFlag == 1);
        QVERIFY(view.m_bAutoUnpack == 0 || view.m_bAutoUnpack == 1 || view.m_bAutoUnpack);
        QCOMPARE(ReadFile(profile.file()), "[Options]\n" + options); // read, never rewritten
    }

    void pipeNameFromAnUnusableProfile() {
        // A profile that is a folder, not a file: every value reads as its default.
        ScopedProfile profile;
        QVERIFY(QDir().mkpath(profile.file()));
        CTidemarkView view;
        QCOMPARE(view.m_strPipeName, QStringLiteral("tidemark"));
        QCOMPARE(view.m_nTimerFrequency, 5);
    }
};

QTEST_MAIN(TestReliabilityInput)
#include "tst_rel_input.moc"
