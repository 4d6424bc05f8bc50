// Generate Procedures against the test database, and the Options command confirmed with OK.
#include "DialogTest.h"
#include "LogWindow.h"
#include "OptionsTest.h"
#include "Profile.h"
#include "TestSupport.h"

#include <QtTest>

namespace {
const QString kNote = QStringLiteral(
    "NOTE: You must be connect as a user that is allowed to execute the pipe package!.\n"
    "Use 'grant execute on dbms_pipe to <user>' when logged in as administrator to do this.");

QString ProcedureSource(PipeSender& db, const char* name) {
    return db.scalar(QStringLiteral("SELECT string_agg(prosrc || ' ' || "
                                    "pg_get_function_arguments(oid), ';') FROM pg_proc "
                                    "WHERE lower(proname) = '%1'")
                         .arg(QLatin1String(name)));
}
} // namespace

class TestGenerateProcedures : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void installsProceduresTwiceWithoutErrors();
    void okThroughTheViewTakesTheFiveValues();
};

void TestGenerateProcedures::initTestCase() {
    REQUIRE_DATABASE();
    QVERIFY(LogonToTestDatabase());
}

void TestGenerateProcedures::installsProceduresTwiceWithoutErrors() {
    REQUIRE_DATABASE();
    PipeSender db;
    QVERIFY2(db.ok(), qPrintable(db.error()));
    db.exec("DROP PROCEDURE IF EXISTS sendtracemessage");
    db.exec("DROP PROCEDURE IF EXISTS senddebugmessage");
    db.exec("DROP FUNCTION IF EXISTS sendtracemessage");
    db.exec("DROP FUNCTION IF EXISTS senddebugmessage");
    QCOMPARE(ProcedureSource(db, "senddebugmessage"), QString());

    // Boxes are answered here, noting whether the wait cursor was up when each was shown: the
    // note comes before it.
    struct Box {
        QString text;
        UINT type;
        bool waitCursor;
    };
    QList<Box> boxes;
    AfxSetMessageBoxResponder([&boxes](const QString& text, UINT type) {
        boxes.append({text, type, QApplication::overrideCursor() != nullptr});
        return int(IDOK);
    });
    TestOptionsDlg dlg;
    dlg.m_nTimerFrequency = 5;
    dlg.m_strPipeName = QStringLiteral("tidemark");
    const int result = RunModal(dlg, [&] {
        dlg.pipeName()->setText("another_pipe"); // not used by the generation
        dlg.button(COptionsDlg::IDC_GENERATE)->click();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.last().text, kNote);
        QCOMPARE(boxes.last().type & MB_TYPEMASK, UINT(MB_OK));
        QVERIFY(!boxes.last().waitCursor);
        QVERIFY(dlg.isVisible());

        // Everything exists now and defaults to the monitor's pipe.
        const QString debug = ProcedureSource(db, "senddebugmessage");
        const QString trace = ProcedureSource(db, "sendtracemessage");
        QVERIFY2(debug.contains("tidemark"), qPrintable(debug));
        QVERIFY2(!debug.contains("another_pipe"), qPrintable(debug));
        QVERIFY2(trace.contains("tidemark"), qPrintable(trace));

        // Again: procedures replaced, the repeated synonyms passed over without a box.
        dlg.button(COptionsDlg::IDC_GENERATE)->click();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.last().text, kNote);
        QVERIFY(!boxes.last().waitCursor);
        QVERIFY(dlg.isVisible());
        QVERIFY(!QApplication::overrideCursor());
        dlg.button(IDCANCEL)->click(); // the installation does not depend on OK
    });
    AfxSetMessageBoxResponder({});
    QCOMPARE(result, int(IDCANCEL));
    QCOMPARE(dlg.m_strPipeName, QStringLiteral("tidemark"));
    // The installed procedure sends the two-item message: the length, then the text.
    QVERIFY(db.exec("CALL senddebugmessage('hello', 'tst_optionsdlg')"));
    QCOMPARE(db.scalar("SELECT dbms_pipe.receive_message('tst_optionsdlg', 0)"), "0");
    QCOMPARE(db.scalar("SELECT dbms_pipe.unpack_message_number()"), "5");
    QCOMPARE(db.scalar("SELECT dbms_pipe.unpack_message_text()"), "hello");
}

void TestGenerateProcedures::okThroughTheViewTakesTheFiveValues() {
    PipeSender db;
    QVERIFY2(db.ok(), qPrintable(db.error()));
    MessageBoxRecorder boxes;
    LogWindow m("options_a"); // on a profile of its own, with nothing stored yet
    QVERIFY(!m.view.isReadOnly());
    QVERIFY(db.sendDebug("left in a", "options_a"));
    QVERIFY(db.sendDebug("for b", "options_b"));

    // The dialog that the command shows: another pipe, typed items, no editing, the shortest
    // period; the line-feed flag stays as it was.
    InNextModal<COptionsDlg>([&](COptionsDlg* dlg) {
        QVERIFY(dlg);
        qobject_cast<QLineEdit*>(dlg->GetDlgItem(COptionsDlg::IDC_PIPENAME))->setText("options_b");
        qobject_cast<QCheckBox*>(dlg->GetDlgItem(COptionsDlg::IDC_AUTOUNPACK))->click();
        qobject_cast<QCheckBox*>(dlg->GetDlgItem(COptionsDlg::IDC_ALLOWEDIT))->click();
        qobject_cast<QSlider*>(dlg->GetDlgItem(COptionsDlg::IDC_TIMERSLIDER))->setValue(0);
        qobject_cast<QPushButton*>(dlg->GetDlgItem(IDOK))->click();
    });
    m.view.OnOptions();
    QCOMPARE(boxes.count(), 0);

    // The drain that OK ran already used the new pipe and mode; the old pipe keeps its message.
    QCOMPARE(m.log(), QByteArray("MESSAGE:\r\nNUMBER:\t'5'\r\nVARCHAR2:\t'for b'\r\n\r\n"));
    QCOMPARE(db.scalar("SELECT count(*) FROM dbms_pipe.db_pipes WHERE name = 'options_a' AND "
                       "items > 0"),
             QStringLiteral("1"));

    // All five values are written, the unchanged one too.
    QCOMPARE(GetProfileInt("Options", "LF Flag", -1), 1);
    QCOMPARE(GetProfileInt("Options", "Auto Unpack", -1), 1);
    QCOMPARE(GetProfileInt("Options", "Allow Edit", -1), 0);
    QCOMPARE(GetProfileInt("Options", "Timer Frequency", -1), 0);
    QCOMPARE(GetProfileString("Options", "Pipe Name"), QStringLiteral("options_b"));

    // Polling runs: a message sent now arrives on a tick.
    QVERIFY(m.view.m_nTimerId != 0);
    QVERIFY(db.sendDebug("ticked", "options_b"));
    QTRY_VERIFY(m.log().endsWith("VARCHAR2:\t'ticked'\r\n\r\n"));

    // Allow Edit takes effect at the next start only.
    QVERIFY(!m.view.isReadOnly());
    CTidemarkView next;
    QVERIFY(next.Create(nullptr));
    QVERIFY(next.isReadOnly());
    QCOMPARE(boxes.count(), 0);
    m.view.OnPurgePipe();
    m.view.m_strPipeName = "options_a";
    m.view.OnPurgePipe();
}

QTEST_MAIN(TestGenerateProcedures)
#include "tst_optionsdlg_db.moc"
