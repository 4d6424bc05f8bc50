// The log window and its document: exact bytes of appends, saving and reopening, the
// modified flag, the window's styles, and the settings the view starts with.
#include "LogWindow.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "MessageBox.h"
#include "Profile.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <unistd.h>

namespace {
// Runs body on the real file dialog that the next modal loop shows; a dialog the body leaves
// open (a failed check) is cancelled so that the test goes on.
template <class Body> void InFileDialog(Body body) {
    QTimer::singleShot(0, [body] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        body(dlg);
        if (dlg->isVisible())
            dlg->reject();
    });
}
} // namespace

class TestLogWindow : public QObject {
    Q_OBJECT
private slots:
    void settingsDefaultsAreReadNotWritten();
    void storedSettingsAreUsedUnchanged();
    void wrongTypedProfileValuesReadAsDefaults();
    void timerPeriod_data();
    void timerPeriod();
    void appendWithAndWithoutLineFeed();
    void appendMovesCaretToEndAndDropsSelection();
    void appendScrollsToTheEnd();
    void messageCharactersSurviveSaveAndReopen_data();
    void messageCharactersSurviveSaveAndReopen();
    void reopenedFileContinuesWithNextMessage();
    void latin1FileRoundTrips();
    void fileSizeLimit();
    void newEmptiesTheLog();
    void onlyTypingMarksModified();
    void readOnlyUnlessEditAllowed();
    void saveFailureKeepsPreviousFile();
    void fileWithoutExtensionIsListedByOpen();
    void foreignTimerRunsNoDrain();
};

void TestLogWindow::settingsDefaultsAreReadNotWritten() {
    ScopedProfile profile;
    CTidemarkView view;
    QCOMPARE(view.m_bLFFlag, 1);
    QCOMPARE(view.m_bAutoUnpack, 0);
    QCOMPARE(view.m_bAllowEdit, 1);
    QCOMPARE(view.m_nTimerFrequency, 5);
    QCOMPARE(view.m_strPipeName, QStringLiteral("tidemark"));
    QCOMPARE(view.m_nTimerId, 0u);
    QVERIFY2(!QFile::exists(profile.file()), "constructing the view must not write the profile");
}

void TestLogWindow::storedSettingsAreUsedUnchanged() {
    ScopedProfile profile;
    WriteProfileInt("Options", "LF Flag", 0);
    WriteProfileInt("Options", "Auto Unpack", 1);
    WriteProfileInt("Options", "Allow Edit", 0);
    WriteProfileInt("Options", "Timer Frequency", 120);
    WriteProfileString("Options", "Pipe Name", "");
    CTidemarkView view;
    QCOMPARE(view.m_bLFFlag, 0);
    QCOMPARE(view.m_bAutoUnpack, 1);
    QCOMPARE(view.m_bAllowEdit, 0);
    QCOMPARE(view.m_nTimerFrequency, 120);
    QCOMPARE(view.TimerPeriod(), 120000);
    QCOMPARE(view.m_strPipeName, QString()); // an empty name is a name like any other
}

void TestLogWindow::wrongTypedProfileValuesReadAsDefaults() {
    ScopedProfile profile;
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Quellmoor", "Tidemark");
        s.setValue("Options/Timer Frequency", "soon");
        s.setValue("Options/LF Flag", QStringList{"a", "b"});
        s.setValue("Options/Pipe Name", QStringList{"x", "y"});
    }
    CTidemarkView view;
    QCOMPARE(view.m_nTimerFrequency, 5);
    QCOMPARE(view.m_bLFFlag, 1);
    QCOMPARE(view.m_strPipeName, QStringLiteral("tidemark"));
}

void TestLogWindow::timerPeriod_data() {
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("default") << 5 << 5000;
    QTest::newRow("zero polls at the shortest period, not in a busy loop") << 0 << 10;
    QTest::newRow("negative") << -5 << 10;
    QTest::newRow("above the dialog's range") << 120 << 120000;
    QTest::newRow("would overflow") << INT_MAX << INT_MAX;
}

void TestLogWindow::timerPeriod() {
    QFETCH(int, seconds);
    QFETCH(int, milliseconds);
    ScopedProfile profile;
    CTidemarkView view;
    view.m_nTimerFrequency = seconds;
    QCOMPARE(view.TimerPeriod(), milliseconds);
}

void TestLogWindow::appendWithAndWithoutLineFeed() {
    ScopedProfile profile;
    LogWindow log;
    log.view.m_bLFFlag = TRUE;
    log.view.AppendMessage("abc");
    QCOMPARE(log.view.GetWindowText(), QByteArray("abc\r\n"));
    log.view.AppendMessage(QString());
    QCOMPARE(log.view.GetWindowText(), QByteArray("abc\r\n\r\n"));

    log.view.SetWindowText(QByteArray());
    log.view.m_bLFFlag = FALSE;
    log.view.AppendMessage("abc");
    log.view.AppendMessage("def");
    log.view.AppendMessage(QString()); // changes nothing but the caret
    QCOMPARE(log.view.GetWindowText(), QByteArray("abcdef"));
    QCOMPARE(log.view.document()->blockCount(), 1);
}

void TestLogWindow::appendMovesCaretToEndAndDropsSelection() {
    ScopedProfile profile;
    LogWindow log;
    log.view.AppendMessage("first line");
    log.view.AppendMessage("second line");
    QTextCursor c = log.view.textCursor();
    c.setPosition(2);
    c.setPosition(8, QTextCursor::KeepAnchor);
    log.view.setTextCursor(c);
    QVERIFY(log.view.textCursor().hasSelection());

    log.view.AppendMessage("abc");
    const QTextCursor after = log.view.textCursor();
    QVERIFY(!after.hasSelection());
    QVERIFY(after.atEnd());
    QCOMPARE(log.view.GetWindowText(), QByteArray("first line\r\nsecond line\r\nabc\r\n"));
}

void TestLogWindow::appendScrollsToTheEnd() {
    ScopedProfile profile;
    LogWindow log;
    log.view.resize(300, 200);
    log.view.show();
    for (int i = 0; i < 500; ++i)
        log.view.AppendMessage(QStringLiteral("line %1").arg(i));
    QCoreApplication::processEvents();
    QScrollBar* bar = log.view.verticalScrollBar();
    QVERIFY(bar->value() > 0);
    QVERIFY(log.view.viewport()->rect().contains(log.view.cursorRect()));
}

void TestLogWindow::messageCharactersSurviveSaveAndReopen_data() {
    QTest::addColumn<QString>("message");
    QTest::newRow("tab") << QStringLiteral("a\tb");
    QTest::newRow("bare line feed") << QStringLiteral("one\ntwo");
    QTest::newRow("bare carriage return") << QStringLiteral("one\rtwo");
    QTest::newRow("CR then LF across pieces") << QStringLiteral("x\r");
    QTest::newRow("control characters") << QStringLiteral("bell\x07 esc\x1b ff\x0c");
    QTest::newRow("non-ASCII") << QStringLiteral("Grüße, 東京, ∑");
    QTest::newRow("separators the control treats as breaks")
        << QString(QChar(0x2028)) + QChar(0x2029) + QChar(0xFDD0) + QChar(0xE00D) + QChar(0xE0FF);
}

void TestLogWindow::messageCharactersSurviveSaveAndReopen() {
    QFETCH(QString, message);
    ScopedProfile profile;
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    QByteArray expected;
    {
        LogWindow log;
        log.view.m_bLFFlag = FALSE;
        log.view.AppendMessage(message);
        log.view.AppendMessage(QStringLiteral("\n"));
        log.view.m_bLFFlag = TRUE;
        log.view.AppendMessage(message);
        expected = message.toUtf8() + "\n" + message.toUtf8() + "\r\n";
        QCOMPARE(log.view.GetWindowText(), expected);
        QVERIFY(log.doc.OnSaveDocument(path));
    }
    QCOMPARE(ReadFile(path), expected);
    {
        LogWindow log;
        QVERIFY(log.doc.OnOpenDocument(path));
        QCOMPARE(log.view.GetWindowText(), expected);
        const QString again = dir.filePath("again.txt");
        QVERIFY(log.doc.OnSaveDocument(again));
        QCOMPARE(ReadFile(again), expected);
    }
}

void TestLogWindow::reopenedFileContinuesWithNextMessage() {
    ScopedProfile profile;
    QTemporaryDir dir;
    const QString path = dir.filePath("three.log");
    {
        LogWindow log;
        for (const char* m : {"one", "two", "three"})
            log.view.AppendMessage(m);
        QVERIFY(log.doc.OnSaveDocument(path));
    }
    QCOMPARE(ReadFile(path), QByteArray("one\r\ntwo\r\nthree\r\n"));
    LogWindow log;
    QVERIFY(log.doc.OnOpenDocument(path));
    log.view.AppendMessage("four");
    QCOMPARE(log.view.GetWindowText(), QByteArray("one\r\ntwo\r\nthree\r\nfour\r\n"));
}

void TestLogWindow::latin1FileRoundTrips() {
    ScopedProfile profile;
    QTemporaryDir dir;
    const QByteArray bytes("caf\xe9 \xff\xfe\r\nend\n", 14);
    QVERIFY(WriteFile(dir.filePath("latin1.txt"), bytes));
    LogWindow log;
    QVERIFY(log.doc.OnOpenDocument(dir.filePath("latin1.txt")));
    QVERIFY(log.doc.OnSaveDocument(dir.filePath("saved.txt")));
    QCOMPARE(ReadFile(dir.filePath("saved.txt")), bytes);
    // Text added afterwards that has no single byte leaves the loaded bytes as they were.
    log.view.AppendMessage(QStringLiteral("\u20ac \U0001F600 \u00e9"));
    QVERIFY(log.doc.OnSaveDocument(dir.filePath("added.txt")));
    QCOMPARE(ReadFile(dir.filePath("added.txt")), bytes + "\xe2\x82\xac \xf0\x9f\x98\x80 \xe9\r\n");
}

void TestLogWindow::fileSizeLimit() {
    ScopedProfile profile;
    QTemporaryDir dir;
    const QString fits = dir.filePath("fits.txt");
    const QString tooLarge = dir.filePath("large.txt");
    QVERIFY(WriteFile(fits, QByteArray(1048575, 'a')));
    QVERIFY(WriteFile(tooLarge, QByteArray(1048576, 'b')));

    MessageBoxRecorder boxes;
    LogWindow log;
    log.view.AppendMessage("kept");
    QVERIFY(!log.doc.OnOpenDocument(tooLarge));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.lastText(), QStringLiteral("The file is too large to open."));
    QCOMPARE(log.view.GetWindowText(), QByteArray("kept\r\n"));

    QVERIFY(log.doc.OnOpenDocument(fits));
    QCOMPARE(log.view.GetWindowText().size(), 1048575);
    QCOMPARE(boxes.count(), 1);

    // A device reports no size and never ends: refused all the same, nothing read past the limit.
    QVERIFY(!log.doc.OnOpenDocument(QStringLiteral("/dev/zero")));
    QCOMPARE(boxes.count(), 2);
    QCOMPARE(boxes.lastText(), QStringLiteral("The file is too large to open."));
    QCOMPARE(log.view.GetWindowText().size(), 1048575);
}

void TestLogWindow::newEmptiesTheLog() {
    ScopedProfile profile;
    LogWindow log;
    log.view.AppendMessage("old");
    QVERIFY(log.doc.OnNewDocument());
    QCOMPARE(log.view.GetWindowText(), QByteArray());
    QCOMPARE(log.doc.GetTitle(), QStringLiteral("Untitled"));
    log.view.AppendMessage("new");
    QCOMPARE(log.view.GetWindowText(), QByteArray("new\r\n"));
}

void TestLogWindow::onlyTypingMarksModified() {
    ScopedProfile profile;
    LogWindow log;
    log.view.show();
    for (int i = 0; i < 3; ++i)
        log.view.AppendMessage(QStringLiteral("received %1").arg(i));
    QVERIFY(!log.doc.IsModified());

    MessageBoxRecorder boxes;
    QVERIFY(log.doc.SaveModified()); // nothing typed: no question
    QCOMPARE(boxes.count(), 0);

    log.view.setFocus();
    QTest::keyClicks(&log.view, "typed");
    QVERIFY(log.doc.IsModified());
    boxes.answer(IDNO);
    QVERIFY(log.doc.SaveModified());
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.lastText(), QStringLiteral("Save changes to Untitled?"));
    QVERIFY(log.view.GetWindowText().endsWith("typed"));
}

void TestLogWindow::readOnlyUnlessEditAllowed() {
    ScopedProfile profile;
    WriteProfileInt("Options", "Allow Edit", 0);
    {
        CTidemarkView view;
        QVERIFY(view.Create(nullptr));
        QVERIFY(view.isReadOnly());
        QVERIFY(view.GetStyle() & ES_READONLY);
        QCOMPARE(view.lineWrapMode(), QPlainTextEdit::NoWrap);
        QVERIFY(view.GetStyle() & WS_HSCROLL);
        QVERIFY(view.GetStyle() & WS_VSCROLL);
        QVERIFY(view.GetStyle() & ES_NOHIDESEL);
        view.show();
        view.AppendMessage("log");
        QTest::keyClicks(&view, "x");
        QCOMPARE(view.GetWindowText(), QByteArray("log\r\n"));
        view.selectAll();
        QVERIFY(view.textCursor().hasSelection()); // selecting and copying still work
    }
    WriteProfileInt("Options", "Allow Edit", 1);
    CTidemarkView view;
    QVERIFY(view.Create(nullptr));
    QVERIFY(!view.isReadOnly());
}

void TestLogWindow::saveFailureKeepsPreviousFile() {
    ScopedProfile profile;
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.log");
    QVERIFY(WriteFile(path, "previous contents\r\n"));
    LogWindow log;
    log.view.AppendMessage("new contents");
    MessageBoxRecorder boxes;
    // A folder that cannot be written to: the save must fail, say so and keep the old file.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool saved = log.doc.OnSaveDocument(path);
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (saved && ::geteuid() == 0) {
        // root writes through permissions; a missing folder fails for everybody.
        QVERIFY(!log.doc.OnSaveDocument(dir.filePath("no/such/folder/x.log")));
    } else {
        QVERIFY(!saved);
        QCOMPARE(ReadFile(path), QByteArray("previous contents\r\n"));
    }
    QVERIFY(boxes.count() >= 1);
    QVERIFY(boxes.lastText().startsWith("Failed to save document."));
}

void TestLogWindow::fileWithoutExtensionIsListedByOpen() {
    ScopedProfile profile;
    QTemporaryDir dir;
    LogWindow log;
    log.view.AppendMessage("traced");
    // Save As adds no extension: the log is saved as "trace".
    InFileDialog([&](QFileDialog* dlg) {
        dlg->setDirectory(dir.path());
        dlg->selectFile("trace");
        static_cast<QDialog*>(dlg)->accept(); // as the dialog's own button does
    });
    QVERIFY(log.doc.DoSave(QString()));
    QCOMPARE(ReadFile(dir.filePath("trace")), QByteArray("traced\r\n"));

    // The Open dialog's list shows it, and it can be picked there.
    QStringList listed;
    InFileDialog([&](QFileDialog* dlg) {
        dlg->setDirectory(dir.path());
        auto* list = dlg->findChild<QListView*>("listView");
        QVERIFY(list);
        const auto names = [&] {
            listed.clear();
            for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
                listed << list->model()->index(row, 0, list->rootIndex()).data().toString();
            return listed;
        };
        QTRY_VERIFY(names().contains("trace"));
        const QModelIndex item =
            list->model()->index(int(listed.indexOf("trace")), 0, list->rootIndex());
        list->selectionModel()->select(item, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
        static_cast<QDialog*>(dlg)->accept(); // as the dialog's own button does
    });
    const QString chosen = CFileDialogHook::GetOpenFileName(nullptr);
    QVERIFY2(listed.contains("trace"), qPrintable(listed.join(", ")));
    QCOMPARE(QFileInfo(chosen).canonicalFilePath(),
             QFileInfo(dir.filePath("trace")).canonicalFilePath());
}

void TestLogWindow::foreignTimerRunsNoDrain() {
    // No log-on exists in this process: a drain would open a cursor and report its failure.
    ScopedProfile profile;
    MessageBoxRecorder boxes;
    CTidemarkView view;
    view.Create(nullptr);
    view.m_nTimerId = 7;
    view.OnTimer(8);
    QCOMPARE(boxes.count(), 0);
    view.m_nTimerId = 0;
    view.OnTimer(0); // no timer set: an id of 0 is nobody's
    QCOMPARE(boxes.count(), 0);
    view.m_nTimerId = 7;
    view.OnTimer(7);
    QVERIFY(boxes.count() > 0); // the drain ran, and its failures were reported
    QVERIFY(boxes.shown().first().text.startsWith("ORACLE Error"));
    view.m_nTimerId = 0;
}

QTEST_MAIN(TestLogWindow)
#include "tst_logwindow.moc"
