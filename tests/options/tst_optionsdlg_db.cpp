// Generate Procedures against the test database.
#include "DialogTest.h"
#include "OptionsTest.h"
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

    MessageBoxRecorder boxes;
    TestOptionsDlg dlg;
    dlg.m_nTimerFrequency = 5;
    dlg.m_strPipeName = QStringLiteral("tidemark");
    const int result = RunModal(dlg, [&] {
        dlg.pipeName()->setText("another_pipe"); // not used by the generation
        dlg.button(COptionsDlg::IDC_GENERATE)->click();
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.lastText(), kNote);
        QCOMPARE(boxes.shown().last().type & MB_TYPEMASK, UINT(MB_OK));
        QVERIFY(dlg.isVisible());

        // Everything exists now and defaults to the monitor's pipe.
        const QString debug = ProcedureSource(db, "senddebugmessage");
        const QString trace = ProcedureSource(db, "sendtracemessage");
        QVERIFY2(debug.contains("tidemark"), qPrintable(debug));
        QVERIFY2(!debug.contains("another_pipe"), qPrintable(debug));
        QVERIFY2(trace.contains("tidemark"), qPrintable(trace));

        // Again: procedures replaced, the repeated synonyms passed over without a box.
        dlg.button(COptionsDlg::IDC_GENERATE)->click();
        QCOMPARE(boxes.count(), 2);
        QCOMPARE(boxes.lastText(), kNote);
        QVERIFY(dlg.isVisible());
        dlg.button(IDCANCEL)->click(); // the installation does not depend on OK
    });
    QCOMPARE(result, int(IDCANCEL));
    QCOMPARE(dlg.m_strPipeName, QStringLiteral("tidemark"));
    QVERIFY(!ProcedureSource(db, "senddebugmessage").isEmpty());
    QVERIFY(!ProcedureSource(db, "sendtracemessage").isEmpty());
}

QTEST_MAIN(TestGenerateProcedures)
#include "tst_optionsdlg_db.moc"
