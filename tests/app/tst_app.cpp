// The application shell: start-up order and its ways out, the command line, the command set
// with menu, toolbar and status bar, recent files, the save prompt and printing.
//
// Parts: menu helpers (namespace); the fixture (a started application on a private profile);
// then the tests in the order of a session: log-on and start-up, the menus, toolbar and prompts,
// the command line and its switches, recent files, the save prompt, and every command reaching
// its handler.
#include "AppTestSupport.h"
#include "CommandTable.h"
#include "DocTemplate.h"
#include "Document.h"
#include "FileDialog.h"
#include "FindDlg.h"
#include "Profile.h"
#include "Resource.h"
#include "SessionJournal.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"

#include <QAction>
#include <QClipboard>
#include <QEnterEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {
const QString kTitle = QStringLiteral("Tidemark - The PL/SQL Tracing facility");

QMenu* topMenu(QMainWindow* frame, const QString& title) {
    for (QAction* a : frame->menuBar()->actions())
        if (a->text() == title)
            return a->menu();
    return nullptr;
}

QStringList entries(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions())
        if (a->isVisible())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}
} // namespace

class TestApplication : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ScopedProfile> m_profile;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    QTemporaryDir m_dir;

    // A started application; allowEdit sets the log's "Allow Edit" option first.
    std::unique_ptr<TestApp> start(const QStringList& args = {}, bool allowEdit = false) {
        WriteProfileInt(QStringLiteral("Options"), QStringLiteral("Allow Edit"), allowEdit);
        auto app = std::make_unique<TestApp>();
        app->SetCommandLine(args);
        return app;
    }

private slots:
    void init() {
        m_profile = std::make_unique<ScopedProfile>();
        m_boxes = std::make_unique<MessageBoxRecorder>();
        AfxSetFileDialogResponder({});
    }
    void cleanup() {
        AfxSetFileDialogResponder({});
        m_boxes.reset();
        m_profile.reset();
    }

    void cancelledLogonShowsNoWindow() {
        WriteProfileString(QStringLiteral("Recent File List"), QStringLiteral("File1"),
                           m_dir.filePath(QStringLiteral("old.log")));
        QCoreApplication::setOrganizationName(QString());
        auto app = start();
        app->logonResult = IDCANCEL;
        QVERIFY(!app->InitInstance());
        QCOMPARE(app->logons, 1);
        // Profile location and recent files are set before the log-on; no window yet or after.
        QCOMPARE(app->companyAtLogon, QStringLiteral("Quellmoor"));
        QCOMPARE(app->recentAtLogon.size(), 1);
        QVERIFY(!app->windowAtLogon);
        QVERIFY(!app->GetMainWnd());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->metaObject()->className()));
        QCOMPARE(m_boxes->count(), 0); // silently
        QCOMPARE(app->ExitInstance(), 0);
        QVERIFY(app->GetDocTemplate());
        QCOMPARE(app->GetDocTemplate()->GetResourceId(), 128u);
    }

    void realConnectDialogCancelled() {
        // The real dialog, answered with Cancel as a user would.
        CTidemarkApp app;
        ModalCloser closer;
        QVERIFY(!app.InitInstance());
        QVERIFY(closer.seen());
        QCOMPARE(closer.className, QStringLiteral("CConnectDlg"));
        QVERIFY(!app.GetMainWnd());
    }

    void startupShowsEmptyLog() {
        auto app = start();
        QVERIFY(app->InitInstance());
        CMainFrame* frame = app->frame();
        QVERIFY(frame && frame->isVisible());
        QVERIFY(app->view());
        QCOMPARE(frame->windowTitle(), QStringLiteral("Untitled - ") + kTitle);
        QVERIFY(app->view()->text().isEmpty());
        QVERIFY(!frame->windowIcon().isNull());
        QVERIFY(!frame->GetToolBar()->isFloating());
        QCOMPARE(frame->toolBarArea(frame->GetToolBar()), Qt::TopToolBarArea);
        QCOMPARE(frame->GetStatusBar()->GetPaneText(0), QStringLiteral("Ready"));
        QCOMPARE(frame->GetStatusBar()->GetCount(), 6);
        QCOMPARE(frame->GetStatusBar()->GetItemID(1), UINT(ID_INDICATOR_CAPS));
        QCOMPARE(frame->GetStatusBar()->GetItemID(2), UINT(ID_INDICATOR_NUM));
        QCOMPARE(frame->GetStatusBar()->GetItemID(3), UINT(ID_INDICATOR_SCRL));
        // The offscreen platform cannot tell the lock keys: the panes stay blank.
        QVERIFY(frame->GetStatusBar()->GetPaneText(1).isEmpty());
        QCOMPARE(m_boxes->count(), 0);
    }

    void menusFollowTheCommandTable() {
        auto app = start();
        QVERIFY(app->InitInstance());
        CMainFrame* frame = app->frame();
        QStringList titles;
        for (QAction* a : frame->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({"&File", "&Edit", "&View", "&Help"}));
        QCOMPARE(entries(topMenu(frame, "&File")),
                 QStringList({"&New", "&Open...", "Session &Logs...", "&Save", "Save &As...", "-",
                              "&Print...", "Print Pre&view", "P&rint Setup...", "-", "Recent File",
                              "-", "E&xit"}));
        QCOMPARE(
            entries(topMenu(frame, "&Edit")),
            QStringList({"&Undo", "-", "Cu&t", "&Copy", "&Paste", "-", "&Find...", "Find &Next"}));
        QCOMPARE(entries(topMenu(frame, "&View")),
                 QStringList({"&Toolbar", "&Status Bar", "-", "&Follow New Messages",
                              "&Receipt Times", "&Highlight Rules..."}));
        QCOMPARE(entries(topMenu(frame, "&Help")), QStringList({"&About Tidemark..."}));

        // The three program commands have no menu entry and no key.
        for (UINT id : {UINT(ID_DEBUG_START), UINT(ID_DEBUG_OPTIONS), UINT(ID_DEBUG_PURGE)}) {
            QAction* a = frame->GetCommandAction(id);
            QVERIFY(a);
            QVERIFY(a->shortcuts().isEmpty());
            for (QAction* top : frame->menuBar()->actions())
                QVERIFY(!top->menu()->actions().contains(a));
        }
        auto keys = [&](UINT id) {
            return QKeySequence::listToString(frame->GetCommandAction(id)->shortcuts());
        };
        QCOMPARE(keys(ID_FILE_NEW), QStringLiteral("Ctrl+N"));
        QCOMPARE(keys(ID_FILE_PRINT), QStringLiteral("Ctrl+P"));
        QCOMPARE(keys(ID_EDIT_UNDO), QStringLiteral("Ctrl+Z; Alt+Backspace"));
        QCOMPARE(keys(ID_EDIT_CUT), QStringLiteral("Ctrl+X; Shift+Del"));
        QCOMPARE(keys(ID_EDIT_COPY), QStringLiteral("Ctrl+C; Ctrl+Ins"));
        QCOMPARE(keys(ID_EDIT_PASTE), QStringLiteral("Ctrl+V; Shift+Ins"));
        QCOMPARE(keys(ID_EDIT_FIND), QStringLiteral("Ctrl+F"));
        QCOMPARE(keys(ID_EDIT_REPEAT), QStringLiteral("F3"));
        QCOMPARE(keys(ID_NEXT_PANE), QStringLiteral("F6"));
        QCOMPARE(keys(ID_PREV_PANE), QStringLiteral("Shift+F6"));

        // View entries carry check marks while their bar is shown.
        frame->UpdateCommandUI();
        QVERIFY(frame->GetCommandAction(ID_VIEW_TOOLBAR)->isChecked());
        QVERIFY(frame->GetCommandAction(ID_VIEW_STATUS_BAR)->isChecked());
    }

    void toolbarItemsInOrder() {
        auto app = start();
        QVERIFY(app->InitInstance());
        CToolBar* bar = app->frame()->GetToolBar();
        const QList<UINT> expected = {57600, 57601, 57603, 0,     32772, 32774, 32775,
                                      0,     57635, 57634, 57637, 0,     57607, 57664};
        QCOMPARE(bar->GetItemIds(), expected);
        const QList<QAction*> actions = bar->actions();
        QCOMPARE(actions.size(), 14);
        const QStringList tips = {"New", "Open", "Save", "",      "Start", "Options", "Purge Pipe",
                                  "",    "Cut",  "Copy", "Paste", "",      "Print",   "About"};
        for (int i = 0; i < actions.size(); ++i) {
            QCOMPARE(actions.at(i)->isSeparator(), expected.at(i) == 0);
            if (expected.at(i) == 0)
                continue;
            QCOMPARE(actions.at(i), app->frame()->GetCommandAction(expected.at(i)));
            QCOMPARE(actions.at(i)->toolTip(), tips.at(i));
            // Every button shows a 16x16 image that is not blank.
            const QImage image = actions.at(i)->icon().pixmap(16, 16).toImage();
            QCOMPARE(image.size(), QSize(16, 16));
            int painted = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    painted += qAlpha(image.pixel(x, y)) > 0;
            QVERIFY2(painted > 20, qPrintable(tips.at(i)));
            auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(actions.at(i)));
            QVERIFY(button && !button->autoRaise());
        }
        QCOMPARE(bar->allowedAreas(), Qt::AllToolBarAreas);
        QVERIFY(bar->isFloatable());
        QVERIFY(bar->isMovable());
        QCOMPARE(bar->GetBarStyle() & 0x34u, 0x34u);
    }

    void flyByPromptAndReady() {
        auto app = start();
        QVERIFY(app->InitInstance());
        CMainFrame* frame = app->frame();
        QWidget* start =
            frame->GetToolBar()->widgetForAction(frame->GetCommandAction(ID_DEBUG_START));
        QVERIFY(start);
        QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
        QApplication::sendEvent(start, &enter);
        QCOMPARE(frame->GetStatusBar()->GetPaneText(0),
                 QStringLiteral("Start receiving messages from the pipe"));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(start, &leave);
        QCOMPARE(frame->GetStatusBar()->GetPaneText(0), QStringLiteral("Ready"));
    }

    void hidingTheToolbarLeavesNoWayToStart() {
        auto app = start();
        QVERIFY(app->InitInstance());
        CMainFrame* frame = app->frame();
        QVERIFY(frame->RouteCommand(ID_VIEW_TOOLBAR));
        QVERIFY(frame->GetToolBar()->isHidden());
        frame->UpdateCommandUI();
        QVERIFY(!frame->GetCommandAction(ID_VIEW_TOOLBAR)->isChecked());
        // Start is on no visible widget any more.
        QAction* start = frame->GetCommandAction(ID_DEBUG_START);
        for (QObject* o : start->associatedObjects())
            if (auto* w = qobject_cast<QWidget*>(o); w && w != frame)
                QVERIFY(!w->isVisible());
        QVERIFY(frame->RouteCommand(ID_VIEW_TOOLBAR));
        QVERIFY(!frame->GetToolBar()->isHidden());
        QVERIFY(frame->RouteCommand(ID_VIEW_STATUS_BAR));
        QVERIFY(frame->GetStatusBar()->isHidden());
        frame->UpdateCommandUI();
        QVERIFY(!frame->GetCommandAction(ID_VIEW_STATUS_BAR)->isChecked());
    }

    void fileArgumentOpensIt() {
        const QString path =
            WriteFileIn(m_dir, QStringLiteral("trace.log"), "first line\r\nsecond line\r\n");
        auto app = start({path});
        QVERIFY(app->InitInstance());
        QCOMPARE(app->view()->GetWindowText(), QByteArray("first line\r\nsecond line\r\n"));
        QCOMPARE(app->frame()->windowTitle(), QStringLiteral("trace.log - ") + kTitle);
        QCOMPARE(app->GetRecentFileList().value(0), QFileInfo(path).absoluteFilePath());
        QVERIFY(app->frame()->isVisible());
    }

    void missingFileEndsWithTheError() {
        auto app = start({m_dir.filePath(QStringLiteral("missing.log"))});
        QVERIFY(!app->InitInstance());
        QCOMPARE(app->logons, 1); // after the log-on
        QCOMPARE(m_boxes->count(), 1);
        QVERIFY2(m_boxes->lastText().startsWith(QStringLiteral("Failed to open document.")),
                 qPrintable(m_boxes->lastText()));
        QVERIFY(!app->GetMainWnd());
        QCOMPARE(app->ExitInstance(), 1); // a script can tell
    }

    void commandLineSwitches_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("printer");
        QTest::newRow("none") << QStringList() << int(CCommandLineInfo::FileNew) << ""
                              << "";
        QTest::newRow("file") << QStringList{"a.log"} << int(CCommandLineInfo::FileOpen) << "a.log"
                              << "";
        QTest::newRow("absolute path")
            << QStringList{"/tmp/p"} << int(CCommandLineInfo::FileOpen) << "/tmp/p"
            << "";
        QTest::newRow("/p") << QStringList{"/p", "a.log"} << int(CCommandLineInfo::FilePrint)
                            << "a.log"
                            << "";
        QTest::newRow("-P") << QStringList{"a.log", "-P"} << int(CCommandLineInfo::FilePrint)
                            << "a.log"
                            << "";
        QTest::newRow("/pt") << QStringList{"/pt", "a.log", "Office", "drv", "port"}
                             << int(CCommandLineInfo::FilePrintTo) << "a.log"
                             << "Office";
        QTest::newRow("/unregister")
            << QStringList{"/Unregister"} << int(CCommandLineInfo::AppUnregister) << ""
            << "";
        QTest::newRow("unknown switch")
            << QStringList{"-x", "a.log"} << int(CCommandLineInfo::FileOpen) << "a.log"
            << "";
    }
    void commandLineSwitches() {
        QFETCH(QStringList, args);
        CCommandLineInfo info;
        CWinApp::ParseCommandLine(info, args);
        QTEST(info.m_nShellCommand, "command");
        QTEST(info.m_strFileName, "file");
        QTEST(info.m_strPrinterName, "printer");
    }

    void printSwitchPrintsAndEnds() {
        const QString path =
            WriteFileIn(m_dir, QStringLiteral("print.log"), "PRINTED LOG LINE\r\nSECOND\r\n");
        const QString pdf = m_dir.filePath(QStringLiteral("print.pdf"));
        auto app = start({QStringLiteral("/p"), path});
        app->GetPrinter()->setOutputFormat(QPrinter::PdfFormat);
        app->GetPrinter()->setOutputFileName(pdf);
        QVERIFY(!app->InitInstance()); // printed, then the program ends
        QVERIFY(!app->GetMainWnd() || !app->GetMainWnd()->isVisible());
        const QByteArray bytes = ReadFile(pdf);
        QVERIFY(bytes.startsWith("%PDF"));
        const QString text = PdfText(pdf);
        QVERIFY2(!text.isEmpty(), "pdftotext (poppler-utils) is needed to read the PDF");
        QVERIFY2(text.contains(QStringLiteral("PRINTED LOG LINE")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("SECOND")));
        QCOMPARE(m_boxes->count(), 0);
        QCOMPARE(app->ExitInstance(), 0);

        // A file to print that cannot be opened: reported, and the status says so.
        auto failing = start({QStringLiteral("/p"), m_dir.filePath(QStringLiteral("none.log"))});
        QVERIFY(!failing->InitInstance());
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(failing->ExitInstance(), 1);
    }

    void unregisterRemovesTheProfile() {
        WriteProfileString(QStringLiteral("Connect"), QStringLiteral("Usr"), QStringLiteral("u"));
        WriteProfileString(QStringLiteral("Recent File List"), QStringLiteral("File1"),
                           QStringLiteral("/tmp/x.log"));
        auto app = start({QStringLiteral("/unregister")});
        QVERIFY(!app->InitInstance());
        QCOMPARE(app->ExitInstance(), 0);
        QCOMPARE(m_boxes->count(), 1);
        QVERIFY(m_boxes->lastText().startsWith(QStringLiteral("System registry entries")));
        QVERIFY(!app->GetMainWnd());
        const QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                                 QStringLiteral("Quellmoor"), QStringLiteral("Tidemark"));
        QVERIFY2(settings.allKeys().isEmpty(), qPrintable(settings.allKeys().join(',')));
    }

    void recentFileList() {
        auto app = start();
        QVERIFY(app->InitInstance());
        QMenu* file = topMenu(app->frame(), "&File");
        QAction* placeholder = app->frame()->GetCommandAction(ID_FILE_MRU_FILE1);
        QVERIFY(placeholder->isVisible());
        QVERIFY(!placeholder->isEnabled());
        app->frame()->UpdateCommandUI();
        QVERIFY(!placeholder->isEnabled());

        QStringList paths;
        for (int i = 1; i <= 5; ++i) {
            paths << WriteFileIn(m_dir, QStringLiteral("r%1.log").arg(i),
                                 QByteArray("log ") + QByteArray::number(i));
            app->AddToRecentFileList(paths.last());
        }
        QVERIFY(!placeholder->isVisible());
        QStringList shown = entries(file).filter(QRegularExpression(QStringLiteral("^&\\d ")));
        QCOMPARE(shown.size(), 4);
        QVERIFY(shown.at(0).startsWith(QStringLiteral("&1 ")));
        QVERIFY(shown.at(0).endsWith(QStringLiteral("r5.log")));
        QVERIFY(shown.at(3).endsWith(QStringLiteral("r2.log")));

        // Choosing the fourth entry opens it and moves it to the top.
        QVERIFY(app->frame()->RouteCommand(ID_FILE_MRU_FILE1 + 3));
        QCOMPARE(app->view()->GetWindowText(), QByteArray("log 2"));
        shown = entries(file).filter(QRegularExpression(QStringLiteral("^&\\d ")));
        QVERIFY(shown.at(0).endsWith(QStringLiteral("r2.log")));

        // Written back at exit.
        app->ExitInstance();
        QCOMPARE(GetProfileString(QStringLiteral("Recent File List"), QStringLiteral("File1")),
                 QFileInfo(paths.at(1)).absoluteFilePath());
        QCOMPARE(GetProfileString(QStringLiteral("Recent File List"), QStringLiteral("File4")),
                 QFileInfo(paths.at(2)).absoluteFilePath());
    }

    void recentEntriesLeaveOnlyWhenTheFileCannotBeOpened() {
        const QString kept = WriteFileIn(m_dir, QStringLiteral("kept.log"), "kept\r\n");
        const QString gone = m_dir.filePath(QStringLiteral("gone.log"));
        auto app = start({}, true);
        QVERIFY(app->InitInstance());
        app->AddToRecentFileList(kept);
        app->AddToRecentFileList(gone); // first in the list
        app->view()->setFocus();
        QTest::keyClicks(app->view(), QStringLiteral("typed"));

        // Cancel in the save prompt: nothing opened, and the entry stays.
        m_boxes->answer(IDCANCEL);
        QVERIFY(app->frame()->RouteCommand(ID_FILE_MRU_FILE1 + 1));
        QCOMPARE(m_boxes->lastText(), QStringLiteral("Save changes to Untitled?"));
        QCOMPARE(app->GetRecentFileList().size(), 2);
        QCOMPARE(app->view()->GetWindowText(), QByteArray("typed"));

        // A file that is not there leaves the list, and does not come back with the next start.
        m_boxes->answer(IDNO);
        QVERIFY(app->frame()->RouteCommand(ID_FILE_MRU_FILE1));
        QCOMPARE(app->GetRecentFileList(), QStringList{QFileInfo(kept).absoluteFilePath()});
        app->ExitInstance();
        app.reset();
        auto next = start();
        next->LoadStdProfileSettings(4);
        QCOMPARE(next->GetRecentFileList(), QStringList{QFileInfo(kept).absoluteFilePath()});
    }

    void savePromptOnlyAfterTyping() {
        {
            auto app = start({}, true);
            QVERIFY(app->InitInstance());
            app->view()->AppendMessage(QStringLiteral("received, not typed"));
            app->frame()->close();
            QCOMPARE(m_boxes->count(), 0);
            QVERIFY(!app->frame()->isVisible());
        }
        {
            auto app = start({}, true);
            QVERIFY(app->InitInstance());
            app->view()->setFocus();
            QTest::keyClicks(app->view(), QStringLiteral("typed"));
            m_boxes->answer(IDCANCEL);
            app->frame()->close();
            QCOMPARE(m_boxes->count(), 1);
            QCOMPARE(m_boxes->lastText(), QStringLiteral("Save changes to Untitled?"));
            QVERIFY(app->frame()->isVisible()); // Cancel keeps it open
            m_boxes->answer(IDNO);
            app->frame()->close();
            QCOMPARE(m_boxes->count(), 2);
            QVERIFY(!app->frame()->isVisible());
        }
        {
            // A log the user may not edit takes no typing, so there is nothing to save.
            auto app = start({}, false);
            QVERIFY(app->InitInstance());
            QTest::keyClicks(app->view(), QStringLiteral("typed"));
            app->frame()->close();
            QCOMPARE(m_boxes->count(), 2);
        }
    }

    void everyCommandReachesItsHandler() {
        const QString logA = WriteFileIn(m_dir, QStringLiteral("a.log"), "alpha\r\n");
        const QString logB = WriteFileIn(m_dir, QStringLiteral("b.log"), "bravo\r\n");
        auto app = start({}, true);
        QVERIFY(app->InitInstance());
        CMainFrame* frame = app->frame();
        CTidemarkView* view = app->view();
        QStringList reached;
        auto route = [&](UINT id) {
            const bool handled = frame->RouteCommand(id);
            if (handled)
                reached << QString::number(id);
            return handled;
        };
        // Routes a command that opens a modal dialog: "<class>\n<texts of its controls>".
        auto modal = [&](UINT id) {
            ModalCloser closer;
            route(id);
            return (closer.title == QLatin1String("About") ? QStringLiteral("About")
                                                           : closer.className) +
                   QLatin1Char('\n') + closer.texts;
        };

        // File commands.
        QString nextPath;
        QString suggested;
        AfxSetFileDialogResponder([&](bool, const QString& s) {
            suggested = s;
            return nextPath;
        });
        nextPath = logA;
        route(ID_FILE_OPEN);
        QCOMPARE(view->GetWindowText(), QByteArray("alpha\r\n"));
        view->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
        QTest::keyClicks(view, QStringLiteral("x"));
        route(ID_FILE_SAVE);
        QCOMPARE(ReadFile(logA), QByteArray("alpha\r\nx"));
        QVERIFY(!view->GetDocument()->IsModified());
        nextPath = m_dir.filePath(QStringLiteral("copy.log"));
        route(ID_FILE_SAVE_AS);
        QCOMPARE(ReadFile(nextPath), QByteArray("alpha\r\nx"));
        QCOMPARE(frame->windowTitle(), QStringLiteral("copy.log - ") + kTitle);
        route(ID_FILE_NEW);
        QVERIFY(view->text().isEmpty());
        QCOMPARE(frame->windowTitle(), QStringLiteral("Untitled - ") + kTitle);
        app->AddToRecentFileList(logB);
        route(ID_FILE_MRU_FILE1);
        QCOMPARE(view->GetWindowText(), QByteArray("bravo\r\n"));
        // Session Logs is Open, starting in the folder of the session journals.
        nextPath = logA;
        route(ID_FILE_SESSION_LOGS);
        QCOMPARE(suggested, CSessionJournal::GetFolder());
        QCOMPARE(view->GetWindowText(), QByteArray("alpha\r\nx"));
        QVERIFY(app->OpenDocumentFile(logB));

        // Printing: the dialogs open; direct printing goes to the printer (a PDF file here).
        QVERIFY(modal(ID_FILE_PRINT).startsWith("QPrintDialog\n"));
        QVERIFY(modal(ID_FILE_PRINT_PREVIEW).startsWith("QPrintPreviewDialog\n"));
        QVERIFY(modal(ID_FILE_PRINT_SETUP).startsWith("QPageSetupDialog\n"));
        const QString pdf = m_dir.filePath(QStringLiteral("direct.pdf"));
        app->GetPrinter()->setOutputFormat(QPrinter::PdfFormat);
        app->GetPrinter()->setOutputFileName(pdf);
        route(ID_FILE_PRINT_DIRECT);
        QVERIFY(ReadFile(pdf).startsWith("%PDF"));
        const QString text = PdfText(pdf);
        QVERIFY2(!text.isEmpty(), "pdftotext (poppler-utils) is needed to read the PDF");
        QVERIFY2(text.contains(QStringLiteral("bravo")), qPrintable(text));

        // Edit commands on the editable log.
        view->selectAll();
        route(ID_EDIT_COPY);
        QCOMPARE(QApplication::clipboard()->text().trimmed(), QStringLiteral("bravo"));
        view->selectAll();
        route(ID_EDIT_CUT);
        QVERIFY(view->text().isEmpty());
        route(ID_EDIT_PASTE);
        QCOMPARE(view->text().trimmed(), QStringLiteral("bravo"));
        route(ID_EDIT_UNDO);
        QVERIFY(view->text().isEmpty());
        // Find opens the find dialog; Find Next with nothing to find yet opens it too.
        route(ID_EDIT_FIND);
        QVERIFY(view->GetFindDialog() && view->GetFindDialog()->isVisible());
        view->GetFindDialog()->hide();
        route(ID_EDIT_REPEAT);
        QVERIFY(view->GetFindDialog()->isVisible());
        view->GetFindDialog()->hide();

        // F6 and Shift+F6 are taken and change nothing.
        const QByteArray before = view->GetWindowText();
        route(ID_NEXT_PANE);
        route(ID_PREV_PANE);
        QCOMPARE(view->GetWindowText(), before);

        // The bars.
        route(ID_VIEW_TOOLBAR);
        QVERIFY(frame->GetToolBar()->isHidden());
        route(ID_VIEW_TOOLBAR);
        route(ID_VIEW_STATUS_BAR);
        QVERIFY(frame->GetStatusBar()->isHidden());
        route(ID_VIEW_STATUS_BAR);

        // Following, receipt times, highlight rules; Scroll Lock pauses following too, and the
        // status bar tells the lines since the pause and the messages received.
        route(ID_VIEW_FOLLOW);
        QVERIFY(!view->IsFollowing());
        route(ID_VIEW_FOLLOW);
        QVERIFY(view->IsFollowing());
        route(ID_VIEW_RECEIPT_TIMES);
        QVERIFY(view->AreReceiptTimesShown());
        route(ID_VIEW_RECEIPT_TIMES);
        QVERIFY(!view->AreReceiptTimesShown());
        QVERIFY(modal(ID_VIEW_HIGHLIGHTS).startsWith("CHighlightDialog\n"));
        CStatusBar* bar = frame->GetStatusBar();
        const int followPane = bar->CommandToIndex(ID_INDICATOR_FOLLOW);
        const int receivedPane = bar->CommandToIndex(ID_INDICATOR_RECEIVED);
        QCOMPARE(bar->GetPaneText(followPane), QStringLiteral("Following"));
        bar->UpdateIndicators(CKeyLockState{true, false, false, true});
        QVERIFY(!view->IsFollowing());
        for (int i = 0; i < 3; ++i)
            view->AppendMessage(QStringLiteral("while paused"));
        view->CountReceived(1234);
        frame->UpdatePanes();
        QCOMPARE(bar->GetPaneText(followPane), QStringLiteral("Paused: 3 new lines"));
        QVERIFY2(bar->GetPaneText(receivedPane).startsWith(QStringLiteral("1,234 messages, ")),
                 qPrintable(bar->GetPaneText(receivedPane)));
        bar->UpdateIndicators(CKeyLockState{true, false, false, false});
        QVERIFY(view->IsFollowing());
        QCOMPARE(bar->GetPaneText(followPane), QStringLiteral("Following"));

        // About: the three lines of the information text.
        const QString about = modal(ID_APP_ABOUT);
        QVERIFY2(about.startsWith("About\n"), qPrintable(about));
        QVERIFY2(about.contains(QStringLiteral(
                     "Tidemark - The PL/SQL Tracer\nVersion 2.1.0\nSaturday, Mai 01, 1999")),
                 qPrintable(about));

        // Options is the log view's (Start and Purge Pipe need the database: tst_app_db).
        QVERIFY(modal(ID_DEBUG_OPTIONS).startsWith("COptionsDlg\n"));

        QCOMPARE(m_boxes->count(), 0);
        route(ID_APP_EXIT);
        QVERIFY(!frame->isVisible());

        // Every command of the table with a handler in this run was reached.
        QStringList expected;
        for (const CCommandEntry& c : TidemarkCommandTable())
            if (c.nID != ID_DEBUG_START && c.nID != ID_DEBUG_PURGE)
                expected << QString::number(c.nID);
        for (const QString& id : expected)
            QVERIFY2(reached.contains(id), qPrintable(id));
    }
};

QTEST_MAIN(TestApplication)
#include "tst_app.moc"
