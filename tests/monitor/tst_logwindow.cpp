// The log window and its document: exact bytes of appends, saving and reopening, the
// modified flag, the window's styles, and the settings the view starts with.
//
// Parts: helpers (literal bytes, acting in the file dialog); then the tests: the settings the
// view starts with, appending, saving and reopening, the screen reader's text, the size limit,
// New, the modified flag, the typing limit, Find, printing, read-only, failed saves, Open's
// file list, and foreign timers.
#include "DialogTest.h"
#include "LogWindow.h"
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include "Dialog.h"
#include "FileDialog.h"
#include "FindDlg.h"
#include "MessageBox.h"
#include "Profile.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QListView>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <Qsci/qsciprinter.h>
#include <cmath>
#include <unistd.h>

namespace {
// A literal's bytes, NULs included.
template <std::size_t N> QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, qsizetype(N - 1));
}

// Runs body on the real file dialog that the next modal loop shows; a dialog the body leaves
// open (a failed check) is cancelled so that the test goes on.
template <class Body> void InFileDialog(Body body) {
    InNextModal<QFileDialog>([body](QFileDialog* dlg) {
        QVERIFY(dlg);
        body(dlg);
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
    void bytesSurviveSaveAndReopen();
    void reopenedFileContinuesWithNextMessage();
    void screenReadersGetTheWholeText();
    void fileSizeLimit();
    void changePositionsPastTwoGiB_data();
    void changePositionsPastTwoGiB();
    void cancelledOpenKeepsTheLog();
    void pausedFollowingKeepsTheReadersPlace_data();
    void pausedFollowingKeepsTheReadersPlace();
    void highlightsMarkLinesNotText();
    void receiptTimesFollowTheirLines();
    void rateOfTheLastSeconds_data();
    void rateOfTheLastSeconds();
    void newEmptiesTheLog();
    void onlyTypingMarksModified();
    void typingAndPastingStopAtTheLimit();
    void editorOnlyKeysChangeNothing();
    void tabStopsAndScrollRange();
    void findSelectsMatches();
    void printsEveryPageToPdf();
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
    QCOMPARE(log.view.lines(), 1);
}

void TestLogWindow::appendMovesCaretToEndAndDropsSelection() {
    ScopedProfile profile;
    LogWindow log;
    log.view.AppendMessage("first line");
    log.view.AppendMessage("second line");
    log.view.setSelection(0, 2, 0, 8);
    QVERIFY(log.view.hasSelectedText());

    log.view.AppendMessage("abc");
    QVERIFY(!log.view.hasSelectedText());
    QCOMPARE(log.view.SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS),
             long(log.view.GetTextLength()));
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
    QVERIFY(log.view.verticalScrollBar()->value() > 0);
    const long shown = log.view.SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN);
    QVERIFY(log.view.firstVisibleLine() + shown >= log.view.lines());
}

void TestLogWindow::bytesSurviveSaveAndReopen() {
    // Every kind of byte a log can hold goes through the editor unchanged: loaded from a file,
    // added to by appends (a CR and its LF in different pieces), saved, reopened, saved again.
    ScopedProfile profile;
    QTemporaryDir dir;
    const QByteArray loaded = Bytes("a\tb\rlone CR\nlone LF\r\nCR LF\0NUL \xe9t\xe9 \xff\xfe\xc3 "
                                    "Gr\xc3\xbc\xc3\x9f\xc3\xa9, \xe6\x9d\xb1 \xe2\x80\xa8\r");
    QVERIFY(WriteFile(dir.filePath("in.log"), loaded));
    QByteArray expected = loaded;
    {
        LogWindow log;
        QVERIFY(log.doc.OnOpenDocument(dir.filePath("in.log")));
        QCOMPARE(log.view.GetWindowText(), loaded);
        log.view.m_bLFFlag = FALSE;
        log.view.AppendMessage(QStringLiteral("\n"));
        log.view.AppendMessage(QString(QChar(0)) + QStringLiteral("\t\u20ac \U0001F600 x\r"));
        log.view.m_bLFFlag = TRUE;
        log.view.AppendMessage(QStringLiteral("\nend"));
        expected += "\n" + Bytes("\0\t\xe2\x82\xac \xf0\x9f\x98\x80 x\r\nend\r\n");
        QCOMPARE(log.view.GetWindowText(), expected);
        QVERIFY(log.doc.OnSaveDocument(dir.filePath("saved.log")));
        QVERIFY(!log.doc.IsModified());
    }
    QCOMPARE(ReadFile(dir.filePath("saved.log")), expected);
    LogWindow log;
    QVERIFY(log.doc.OnOpenDocument(dir.filePath("saved.log")));
    QVERIFY(log.doc.OnSaveDocument(dir.filePath("again.log")));
    QCOMPARE(ReadFile(dir.filePath("again.log")), expected);
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

void TestLogWindow::screenReadersGetTheWholeText() {
    ScopedProfile profile;
    LogWindow log;
    log.view.show();
    for (int i = 0; i < 100; ++i)
        log.view.AppendMessage(QStringLiteral("message %1 \u00fc").arg(i));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&log.view);
    QVERIFY(accessible && accessible->textInterface());
    QAccessibleTextInterface* text = accessible->textInterface();
    const QString whole = QString::fromUtf8(log.view.GetWindowText());
    QCOMPARE(text->characterCount(), int(whole.size()));
    QCOMPARE(text->text(0, text->characterCount()), whole);
}

void TestLogWindow::fileSizeLimit() {
    // Files the edit control could not hold open byte for byte; only what the memory cannot
    // hold (here a limit set low) is refused, and the log keeps its text.
    ScopedProfile profile;
    QTemporaryDir dir;
    QByteArray big;
    for (int i = 0; big.size() <= 9 * 1048576; ++i)
        big += QStringLiteral("%1 message \u00e9\t\r\n").arg(i, 8).toUtf8();
    big += Bytes("\0\xff\r");
    const QString overOldLimit = WriteFileIn(dir, "big.log", big);
    const QString tooLarge = WriteFileIn(dir, "large.txt", QByteArray(1048577, 'b'));

    MessageBoxRecorder boxes;
    LogWindow log;
    log.view.AppendMessage("kept");
    QVERIFY(log.doc.OnOpenDocument(overOldLimit));
    QCOMPARE(log.view.GetWindowText(), big);
    QVERIFY(!log.doc.IsModified());
    QCOMPARE(log.view.SendScintilla(QsciScintillaBase::SCI_GETDOCUMENTOPTIONS),
             long(QsciScintillaBase::SC_DOCUMENTOPTION_STYLES_NONE |
                  QsciScintillaBase::SC_DOCUMENTOPTION_TEXT_LARGE));
    QVERIFY(log.doc.OnSaveDocument(dir.filePath("again.log")));
    QCOMPARE(ReadFile(dir.filePath("again.log")), big);
    QCOMPARE(boxes.count(), 0);

    log.view.SetWindowText("kept\r\n");
    log.view.SetMaxOpenSize(1048576);
    QVERIFY(!log.doc.OnOpenDocument(tooLarge));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.lastText(), QStringLiteral("The file is too large to open."));
    QCOMPARE(log.view.GetWindowText(), QByteArray("kept\r\n"));

    // A device reports no size and never ends: refused all the same, nothing read past the limit.
    QVERIFY(!log.doc.OnOpenDocument(QStringLiteral("/dev/zero")));
    QCOMPARE(boxes.count(), 2);
    QCOMPARE(boxes.lastText(), QStringLiteral("The file is too large to open."));
    QCOMPARE(log.view.GetWindowText(), QByteArray("kept\r\n"));
}

void TestLogWindow::cancelledOpenKeepsTheLog() {
    ScopedProfile profile;
    QTemporaryDir dir;
    const QString path = WriteFileIn(dir, "long.log", QByteArray(64 * 1048576, 'x'));
    MessageBoxRecorder boxes;
    LogWindow log;
    log.view.show();
    log.view.AppendMessage("kept");
    log.view.SetOpenProgressDelay(0);
    bool shown = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* progress = qobject_cast<QProgressDialog*>(w);
                progress && progress->isVisible()) {
                shown = true;
                progress->cancel();
            }
    });
    cancel.start(0);
    QVERIFY(!log.doc.OnOpenDocument(path));
    QVERIFY(shown);
    QVERIFY(log.doc.LastOpenCancelled());
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(log.view.GetWindowText(), QByteArray("kept\r\n"));
}

void TestLogWindow::pausedFollowingKeepsTheReadersPlace_data() {
    QTest::addColumn<bool>("byScrollLock");
    QTest::addColumn<bool>("resumeByKey");
    QTest::newRow("View switch, switched back on") << false << false;
    QTest::newRow("View switch, Ctrl+End") << false << true;
    QTest::newRow("Scroll Lock, turned off") << true << false;
}

void TestLogWindow::pausedFollowingKeepsTheReadersPlace() {
    QFETCH(bool, byScrollLock);
    QFETCH(bool, resumeByKey);
    ScopedProfile profile;
    LogWindow log;
    log.view.resize(300, 200);
    log.view.show();
    for (int i = 0; i < 300; ++i)
        log.view.AppendMessage(QStringLiteral("line %1").arg(i));
    if (byScrollLock)
        log.view.SetScrollLock(true);
    else
        log.view.SetFollow(false);
    QVERIFY(!log.view.IsFollowing());
    log.view.setFirstVisibleLine(20);
    log.view.setSelection(22, 1, 24, 3);
    QCoreApplication::processEvents();
    const QByteArray saved = log.view.GetWindowText();

    for (int i = 0; i < 50; ++i)
        log.view.AppendMessage(QStringLiteral("new %1").arg(i));
    QCoreApplication::processEvents();
    int lineFrom = 0, indexFrom = 0, lineTo = 0, indexTo = 0;
    log.view.getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    QCOMPARE(QList<int>({lineFrom, indexFrom, lineTo, indexTo}), QList<int>({22, 1, 24, 3}));
    QCOMPARE(log.view.firstVisibleLine(), 20);
    QCOMPARE(log.view.GetLinesSincePause(), qint64(50));
    QVERIFY(log.view.GetWindowText().startsWith(saved));
    QVERIFY(log.view.GetWindowText().endsWith("new 49\r\n"));

    if (resumeByKey)
        QTest::keyClick(&log.view, Qt::Key_End, Qt::ControlModifier);
    else if (byScrollLock)
        log.view.SetScrollLock(false);
    else
        log.view.SetFollow(true);
    QVERIFY(log.view.IsFollowing());
    QCOMPARE(log.view.GetLinesSincePause(), qint64(0));
    QCOMPARE(log.view.SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS),
             long(log.view.GetTextLength()));
    log.view.AppendMessage("after");
    QCoreApplication::processEvents();
    const long shown = log.view.SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN);
    QVERIFY(log.view.firstVisibleLine() + shown >= log.view.lines());
}

void TestLogWindow::highlightsMarkLinesNotText() {
    ScopedProfile profile;
    QTemporaryDir dir;
    const std::vector<CHighlightRule> rules = {
        {QStringLiteral("\\bORA-\\d{5}\\b|\\b(?:ERROR|error)\\b"), QColor("#e01b24")},
        {QStringLiteral("\\b(?:WARNING|warning)\\b"), QColor("#f5a600")},
    };
    // Each line with the colour it is marked in (empty: none); the first rule that matches wins.
    const QList<std::pair<QString, QString>> lines = {
        {"first", ""},
        {"step 3 failed: ORA-06512 at line 4", "#e01b24"},
        {"WARNING: slow query", "#f5a600"},
        {"warning then error", "#e01b24"},
        {"loop 17 done", ""},
    };
    QByteArray text;
    for (const auto& [line, colour] : lines)
        text += line.toUtf8() + "\r\n";
    const auto check = [&](CEditView& view, int firstLine) {
        for (int i = 0; i < lines.size(); ++i) {
            const int n = firstLine + i;
            QTRY_COMPARE(view.GetLineHighlight(n).isValid() ? view.GetLineHighlight(n).name()
                                                            : QString(),
                         lines[i].second);
        }
    };
    {
        // Appended
        LogWindow log;
        log.view.resize(400, 300);
        log.view.show();
        log.view.SetHighlightRules(rules);
        for (const auto& [line, colour] : lines)
            log.view.AppendMessage(line);
        check(log.view, 0);
        QCOMPARE(log.view.GetWindowText(), text);
        QVERIFY(log.doc.OnSaveDocument(dir.filePath("saved.log")));
        QCOMPARE(ReadFile(dir.filePath("saved.log")), text);
    }
    // Opened, far down a long file: marked once on screen.
    QByteArray opened;
    for (int i = 0; i < 5000; ++i)
        opened += "filler\r\n";
    opened += text;
    LogWindow log;
    log.view.resize(400, 300);
    log.view.show();
    log.view.SetHighlightRules(rules);
    QVERIFY(log.doc.OnOpenDocument(WriteFileIn(dir, "opened.log", opened)));
    log.view.setFirstVisibleLine(4998);
    check(log.view, 5000);
    QCOMPARE(log.view.GetWindowText(), opened);
}

void TestLogWindow::receiptTimesFollowTheirLines() {
    ScopedProfile profile;
    QTemporaryDir dir;
    LogWindow log;
    log.view.resize(500, 300);
    log.view.show();
    QVERIFY(log.doc.OnOpenDocument(WriteFileIn(dir, "in.log", "opened\r\n")));
    log.view.AppendMessage("hidden times");
    log.view.ShowReceiptTimes(true);
    const QTime before = QTime::currentTime().addMSecs(-1);
    log.view.AppendMessage("one");
    log.view.m_bLFFlag = FALSE;
    log.view.AppendMessage("two, ");
    log.view.AppendMessage("in two pieces\r\nthree\r\n");
    const QTime after = QTime::currentTime().addMSecs(1);
    QCOMPARE(log.view.GetReceiptTime(0), QString());
    QCOMPARE(log.view.GetReceiptTime(1), QString());
    for (int line : {2, 3, 4}) {
        const QTime t = QTime::fromString(log.view.GetReceiptTime(line), "HH:mm:ss.zzz");
        QVERIFY2(t.isValid() && t >= before && t <= after,
                 qPrintable(log.view.GetReceiptTime(line)));
    }
    const QString two = log.view.GetReceiptTime(3);

    // The user types two lines above them: the times move down with their lines.
    log.view.setReadOnly(false);
    log.view.setCursorPosition(1, 0);
    QTest::keyClicks(&log.view, "typed");
    QTest::keyClick(&log.view, Qt::Key_Return);
    QTest::keyClicks(&log.view, "typed too");
    QTest::keyClick(&log.view, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(log.view.GetReceiptTime(1), QString());
    QCOMPARE(log.view.GetReceiptTime(2), QString());
    QCOMPARE(log.view.GetReceiptTime(5), two);
    QVERIFY(!log.view.GetReceiptTime(6).isEmpty());
    QCOMPARE(log.view.GetWindowText(),
             QByteArray("opened\r\ntyped\r\ntyped too\r\nhidden times\r\none\r\ntwo, in two "
                        "pieces\r\nthree\r\n"));
}

void TestLogWindow::rateOfTheLastSeconds_data() {
    QTest::addColumn<QList<qint64>>("arrivals"); // milliseconds since the start of the run
    QTest::addColumn<qint64>("now");
    QTest::addColumn<double>("rate");
    QTest::newRow("none") << QList<qint64>{} << qint64(3000) << 0.0;
    QTest::newRow("a run shorter than the window")
        << QList<qint64>{100, 200, 300, 400} << qint64(2000) << 2.0;
    QTest::newRow("steady, 10 a second") << [] {
        QList<qint64> t;
        for (qint64 ms = 0; ms < 20000; ms += 100)
            t.append(ms);
        return t;
    }() << qint64(20000) << 10.0;
    QTest::newRow("a burst long ago is forgotten")
        << QList<qint64>{1000, 1001, 1002} << qint64(9000) << 0.0;
}

void TestLogWindow::rateOfTheLastSeconds() {
    QFETCH(QList<qint64>, arrivals);
    QFETCH(qint64, now);
    QFETCH(double, rate);
    CRateMeter meter;
    for (qint64 t : arrivals)
        meter.Add(t);
    QCOMPARE(meter.Total(), qint64(arrivals.size()));
    QVERIFY2(std::abs(meter.PerSecond(now) - rate) < rate * 0.1 + 0.01,
             qPrintable(QString::number(meter.PerSecond(now))));
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
    auto enabled = [&](UINT id) {
        CCmdUI ui;
        return log.view.OnUpdateCmdUI(id, &ui) && ui.m_bEnabled;
    };
    for (int i = 0; i < 3; ++i)
        log.view.AppendMessage(QStringLiteral("received %1").arg(i));
    log.view.SetWindowText("loaded\r\n");
    log.view.AppendMessage("received");
    QVERIFY(!log.doc.IsModified());
    QVERIFY(!enabled(ID_EDIT_UNDO)); // appends and loading leave nothing to undo

    MessageBoxRecorder boxes;
    QVERIFY(log.doc.SaveModified()); // nothing typed: no question
    QCOMPARE(boxes.count(), 0);

    log.view.setFocus();
    QTest::keyClicks(&log.view, "typed");
    QVERIFY(log.doc.IsModified());
    QCoreApplication::processEvents(); // the undo state follows once the change is made
    QVERIFY(enabled(ID_EDIT_UNDO));
    // One level: Undo takes back the typing, Undo again (Ctrl+Z) puts it back; Ctrl+Y is no key.
    log.view.OnCmdMsg(ID_EDIT_UNDO);
    QTest::keyClick(&log.view, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(log.view.GetWindowText(), QByteArray("loaded\r\nreceived\r\n"));
    QTest::keyClick(&log.view, Qt::Key_Z, Qt::ControlModifier);
    // Received text ends what Undo can take back, as setting the whole text does.
    log.view.AppendMessage("more");
    log.view.OnCmdMsg(ID_EDIT_UNDO);
    QCOMPARE(log.view.GetWindowText(), QByteArray("loaded\r\nreceived\r\ntypedmore\r\n"));
    QVERIFY(!enabled(ID_EDIT_UNDO));

    // Copy and Paste follow the selection and the clipboard.
    QVERIFY(!enabled(ID_EDIT_COPY));
    log.view.setSelection(0, 0, 0, 6);
    QVERIFY(enabled(ID_EDIT_COPY) && enabled(ID_EDIT_CUT));
    QApplication::clipboard()->clear();
    QVERIFY(!enabled(ID_EDIT_PASTE));
    log.view.OnCmdMsg(ID_EDIT_COPY);
    QVERIFY(enabled(ID_EDIT_PASTE));

    boxes.answer(IDNO);
    QVERIFY(log.doc.SaveModified());
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.lastText(), QStringLiteral("Save changes to Untitled?"));
    QVERIFY(log.doc.OnNewDocument());
    QVERIFY(!log.doc.IsModified());
}

void TestLogWindow::typingAndPastingStopAtTheLimit() {
    ScopedProfile profile;
    LogWindow log;
    log.view.show();
    log.view.setFocus();
    // At the limit, Enter or a 2-byte character over a 1-byte selection does nothing at all.
    log.view.SetWindowText(QByteArray(CEditView::nMaxSize, 'a'));
    log.view.SendScintilla(QsciScintillaBase::SCI_SETSEL, 5UL, 6L);
    QTest::keyClick(&log.view, Qt::Key_Return);
    QTest::sendKeyEvent(QTest::Press, &log.view, Qt::Key_Eacute, QStringLiteral("\u00e9"), {});
    QVERIFY(log.view.GetTextLength() == CEditView::nMaxSize && log.view.hasSelectedText());
    QVERIFY(!log.doc.IsModified());
    log.view.SetWindowText(QByteArray(CEditView::nMaxSize - 2, 'a'));
    log.view.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    QTest::keyClicks(&log.view, "xyz"); // the z would pass the limit
    QCOMPARE(log.view.GetTextLength(), CEditView::nMaxSize);
    QVERIFY(log.view.GetWindowText().endsWith("axy"));
    QTest::keyClick(&log.view, Qt::Key_Return);
    QCOMPARE(log.view.GetTextLength(), CEditView::nMaxSize);

    // A paste that would pass the limit changes nothing, the selection included; one that
    // replaces as much as it adds goes in.
    QApplication::clipboard()->setText(QStringLiteral("PQR"));
    log.view.SendScintilla(QsciScintillaBase::SCI_SETSEL, 0UL, 2L);
    QTest::keyClick(&log.view, Qt::Key_V, Qt::ControlModifier);
    QVERIFY(log.view.GetWindowText().startsWith("aaa"));
    QVERIFY(log.view.hasSelectedText());
    log.view.SendScintilla(QsciScintillaBase::SCI_SETSEL, 0UL, 3L);
    log.view.OnCmdMsg(ID_EDIT_PASTE);
    QVERIFY(log.view.GetWindowText().startsWith("PQRaaa"));
    QCOMPARE(log.view.GetTextLength(), CEditView::nMaxSize);

    // Any other way in (a drop, a middle-button paste) is refused at the editor's own check.
    log.view.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "dropped");
    QCOMPARE(log.view.GetTextLength(), CEditView::nMaxSize);

    // Appends are not limited, and a log past the limit can still be shortened.
    log.view.AppendMessage("received");
    QCOMPARE(log.view.GetTextLength(), CEditView::nMaxSize + 10);
    QTest::keyClick(&log.view, Qt::Key_Backspace);
    QCOMPARE(log.view.GetTextLength(), CEditView::nMaxSize + 8); // CR LF is one step
    QTest::keyClicks(&log.view, "x");
    QCOMPARE(log.view.GetTextLength(), CEditView::nMaxSize + 8);
}

void TestLogWindow::editorOnlyKeysChangeNothing() {
    LogWindow log;
    log.view.show();
    log.view.setFocus();
    log.view.SetWindowText("One\r\n\tTwo\r\n");
    for (const char* keys : {"Shift+Backtab", "Ctrl+Backspace", "Ctrl+Del", "Ctrl+Shift+Backspace",
                             "Ctrl+Shift+Del", "Ctrl+T", "Ctrl+D", "Ctrl+L", "Ctrl+U"}) {
        log.view.SendScintilla(QsciScintillaBase::SCI_SETSEL, 1UL, 8L); // over two lines
        QTest::keySequence(&log.view, QKeySequence(QString::fromLatin1(keys)));
        QVERIFY2(log.view.GetWindowText() == "One\r\n\tTwo\r\n" && !log.doc.IsModified(), keys);
    }
}

void TestLogWindow::tabStopsAndScrollRange() {
    LogWindow log;
    log.view.show();
    log.view.AppendMessage("\t" + QString(500, QLatin1Char('w')));
    // A stop every 32 dialog units of its font; the editor's stops come in spaces.
    CDialog units;
    units.setFont(log.view.font());
    const long asked = units.MapDialogRect(0, 0, 32, 0).width();
    const long stop = log.view.SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, 1L) -
                      log.view.SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, 0L);
    QVERIFY2(std::abs(stop - asked) <= QFontMetricsF(units.font()).horizontalAdvance(' ') / 2 + 1,
             qPrintable(QStringLiteral("%1 px, %2 asked").arg(stop).arg(asked)));
    // New (as Open and setting the text) takes the horizontal range back to what the text needs.
    const auto range = [&] { // the editor's, following the lines as they are drawn
        QCoreApplication::processEvents();
        log.view.viewport()->repaint();
        return log.view.SendScintilla(QsciScintillaBase::SCI_GETSCROLLWIDTH);
    };
    QVERIFY(range() > 2000);
    QVERIFY(log.doc.OnNewDocument());
    QVERIFY(range() < 100);
}

void TestLogWindow::findSelectsMatches() {
    ScopedProfile profile;
    MessageBoxRecorder boxes;
    LogWindow log;
    log.view.resize(300, 200);
    log.view.show();
    log.view.AppendMessage("a needle");
    for (int i = 0; i < 200; ++i)
        log.view.AppendMessage(QStringLiteral("hay %1").arg(i));
    log.view.AppendMessage("Needle two");
    log.view.AppendMessage("needle three");
    const long second = long(log.view.GetWindowText().indexOf("Needle two"));
    const long third = long(log.view.GetWindowText().indexOf("needle three"));
    auto selection = [&] {
        return std::pair(log.view.SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART),
                         log.view.SendScintilla(QsciScintillaBase::SCI_GETSELECTIONEND));
    };

    // Down from the start, case ignored; round the end to the first again.
    log.view.SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 0UL);
    QVERIFY(log.view.FindText("NEEDLE", true, false));
    QCOMPARE(selection(), std::pair(2L, 8L));
    QVERIFY(log.view.FindText("NEEDLE", true, false));
    QCOMPARE(selection(), std::pair(second, second + 6));
    const long top = log.view.firstVisibleLine();
    QVERIFY(top <= 201 && 201 < top + log.view.SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN));
    // Matching case skips "Needle"; up goes backwards.
    QVERIFY(log.view.FindText("needle", true, true));
    QCOMPARE(selection(), std::pair(third, third + 6));
    QVERIFY(log.view.FindText("needle", true, true));
    QCOMPARE(selection(), std::pair(2L, 8L));
    QVERIFY(log.view.FindText("needle", false, true));
    QCOMPARE(selection(), std::pair(third, third + 6));
    QCOMPARE(boxes.count(), 0);

    // The dialog: Find Next searches with its text and options; nothing found says so.
    log.view.SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 0UL);
    log.view.OnCmdMsg(ID_EDIT_FIND);
    CFindDialog* dialog = log.view.GetFindDialog();
    QVERIFY(dialog && dialog->isVisible());
    dialog->SetFindString("needle");
    dialog->FindNextButton()->click();
    QCOMPARE(selection(), std::pair(2L, 8L));
    // An append moves the caret to the end; Find Next goes on from the last match.
    log.view.AppendMessage("received");
    log.view.OnCmdMsg(ID_EDIT_REPEAT);
    QCOMPARE(selection(), std::pair(second, second + 6));
    QVERIFY(dialog->isVisible());
    dialog->SetFindString("straw");
    dialog->FindNextButton()->click();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.lastText(), QStringLiteral("Cannot find \"straw\"."));
    QCOMPARE(selection(), std::pair(second, second + 6));
}

void TestLogWindow::printsEveryPageToPdf() {
    ScopedProfile profile;
    QTemporaryDir dir;
    LogWindow log;
    for (int i = 1; i <= 300; ++i)
        log.view.AppendMessage(QStringLiteral("log line %1").arg(i));
    // Through a printer of the platform's own and through the editor's.
    QPrinter plain(QPrinter::HighResolution);
    QsciPrinter editors(QPrinter::HighResolution);
    for (QPrinter* printer : {&plain, static_cast<QPrinter*>(&editors)}) {
        const QString pdf = dir.filePath(printer == &plain ? "plain.pdf" : "editor.pdf");
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
        log.view.PrintText(printer);
        const QString text = PdfText(pdf);
        QVERIFY2(!text.isEmpty(), "pdftotext (poppler-utils) is needed to read the PDF");
        QVERIFY(text.contains(QStringLiteral("log line 1\n")));
        QVERIFY(text.contains(QStringLiteral("log line 150\n")));
        QVERIFY(text.contains(QStringLiteral("log line 300\n")));
        QVERIFY2(text.count(QLatin1Char('\f')) >= 4, "300 lines take several pages");
    }
    // An empty log is one empty page.
    log.view.SetWindowText(QByteArray());
    plain.setOutputFileName(dir.filePath("empty.pdf"));
    log.view.PrintText(&plain);
    QCOMPARE(PdfText(dir.filePath("empty.pdf")).count(QLatin1Char('\f')), 1);
}

void TestLogWindow::readOnlyUnlessEditAllowed() {
    ScopedProfile profile;
    WriteProfileInt("Options", "Allow Edit", 0);
    {
        CTidemarkView view;
        QVERIFY(view.Create(nullptr));
        QVERIFY(view.isReadOnly());
        QVERIFY(view.GetStyle() & ES_READONLY);
        QCOMPARE(view.wrapMode(), QsciScintilla::WrapNone);
        QVERIFY(!view.lexer());
        for (int margin = 0; margin <= 4; ++margin) // no line numbers, no symbols, no folding
            QCOMPARE(view.marginWidth(margin), 0);
        QVERIFY(view.GetStyle() & WS_HSCROLL);
        QVERIFY(view.GetStyle() & WS_VSCROLL);
        QVERIFY(view.GetStyle() & ES_NOHIDESEL);
        view.show();
        view.AppendMessage("log");
        QTest::keyClicks(&view, "x");
        QCOMPARE(view.GetWindowText(), QByteArray("log\r\n"));
        view.selectAll();
        QVERIFY(view.hasSelectedText()); // selecting and copying still work
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

// The editor tells of a change with the low 32 bits of its position; a log past 2 GiB (too
// large to build here) needs the whole of it.
void TestLogWindow::changePositionsPastTwoGiB_data() {
    QTest::addColumn<qint64>("position");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<qint64>("caret");
    const qint64 gib = qint64(1) << 30;
    QTest::newRow("small log") << qint64(100) << qint64(1000) << qint64(0);
    QTest::newRow("past 2 GiB") << 2 * gib + 5 << 3 * gib << qint64(0);
    QTest::newRow("end of a 4 GiB log") << 4 * gib << 4 * gib << 4 * gib;
    QTest::newRow("past 4 GiB, caret near") << 5 * gib << 6 * gib << 5 * gib + 9;
    QTest::newRow("first 4 GiB of a longer log") << gib << 6 * gib << gib - 9;
}

void TestLogWindow::changePositionsPastTwoGiB() {
    QFETCH(qint64, position);
    QFETCH(qint64, length);
    QFETCH(qint64, caret);
    const int truncated = int(position); // as the editor's notice carries it
    QCOMPARE(CEditView::WidenPosition(truncated, length, caret), position);
}

QTEST_MAIN(TestLogWindow)
#include "tst_logwindow.moc"
