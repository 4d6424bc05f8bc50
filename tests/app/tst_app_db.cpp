// The application's program commands against the real database: Start shows what was sent,
// Purge Pipe empties the pipe. The log-on is the test database's.
#include "AppTestSupport.h"
#include "TestSupport.h"

#include <QTest>
#include <memory>

class TestApplicationDb : public QObject {
    Q_OBJECT
private slots:
    void startAndPurgeFromTheToolbar() {
        REQUIRE_DATABASE();
        ScopedProfile profile;
        MessageBoxRecorder boxes;
        PipeSender sender;
        QVERIFY2(sender.ok(), qPrintable(sender.error()));
        sender.exec(QStringLiteral("SELECT dbms_pipe.purge('tidemark')"));

        TestApp app;
        app.logon = [] { return LogonToTestDatabase(); };
        QVERIFY(app.InitInstance());
        CMainFrame* frame = app.frame();
        CTidemarkView* view = app.view();
        QVERIFY(frame && view);

        // Start, pressed on the toolbar, drains the pipe at once.
        QVERIFY(sender.sendDebug(QStringLiteral("hello from the shell")));
        QAction* start = frame->GetCommandAction(ID_DEBUG_START);
        QVERIFY(frame->GetToolBar()->actions().contains(start));
        start->trigger();
        QVERIFY2(view->text().contains(QStringLiteral("hello from the shell")),
                 qPrintable(view->text()));
        QVERIFY(view->m_nTimerId != 0);

        // Purge Pipe empties it: a message sent before it never arrives.
        QVERIFY(sender.sendDebug(QStringLiteral("purged before arrival")));
        QVERIFY(frame->RouteCommand(ID_DEBUG_PURGE));
        QVERIFY(sender.sendDebug(QStringLiteral("after the purge")));
        QVERIFY(frame->RouteCommand(ID_DEBUG_START));
        const QString text = view->text();
        QVERIFY2(text.contains(QStringLiteral("after the purge")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("purged before arrival")), qPrintable(text));
        QCOMPARE(boxes.count(), 0);
        frame->close();
    }
};

QTEST_MAIN(TestApplicationDb)
#include "tst_app_db.moc"
