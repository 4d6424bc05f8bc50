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
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
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

QTEST_MAIN(TestLogWindow)
#include "tst_logwindow.moc"
