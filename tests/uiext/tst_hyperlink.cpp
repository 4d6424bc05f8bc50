// The hyperlink control on a real dialog: fitting, target and text, colours as drawn, the
// open steps with the fallback command line, and the error messages. No test starts a program.
//
// Parts: a dialog that carries the link, a link whose open steps are scripted and record what
// they started, and a reader of the colours drawn (namespace); then the tests: fitting, target
// and text, colours, cutting and composing the fallback command line, the error messages,
// missing files, and the fallback to the program registered for HTML files.
#include "BriskHyperlink.h"
#include "TestSupport.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A template with a few statics in dialog units.
class LinkDialog : public CDialog {
public:
    LinkDialog() { SetTemplateSize(QStringLiteral("Links"), 200, 120); }
    QLabel* addStatic(int id, const QString& text, Qt::Alignment align, int y, int cy = 10) {
        return AddStatic(id, text, 10, y, 150, cy, align);
    }
};

// The desktop's open and the handler query give scripted results; the registered command is
// read and started for real, and what was started is recorded.
class TestLink : public CBriskHyperlink {
public:
    int shellResult = SE_ERR_NOASSOC;
    QString handler;     // empty: no HTML handler registered
    QStringList started; // argv of the last program started
    int shellCalls = 0;

    using CBriskHyperlink::m_clrFollowed;
    using CBriskHyperlink::m_clrHover;
    using CBriskHyperlink::m_clrLink;

    // The real desktop step, for targets that are refused before anything is opened.
    int realShellOpen(const QString& target) {
        return CBriskHyperlink::ShellExecuteOpen(target, SW_SHOW);
    }

protected:
    int ShellExecuteOpen(const QString&, int) override {
        ++shellCalls;
        return shellResult;
    }
    int ReadHtmlHandler(QString& id) override {
        id = handler;
        return handler.isEmpty() ? SE_ERR_FNF : 0;
    }
    int StartProgram(const QStringList& argv, int nShowCmd) override {
        started = argv;
        return CBriskHyperlink::StartProgram(argv, nShowCmd);
    }
};

QRect edges(const QLabel* l) {
    return l->geometry();
}

// Pixels of exactly this colour in the label as it paints itself, and the longest run of
// them on one row (the underline).
struct Ink {
    int pixels = 0;
    int longestRun = 0;
};
Ink inkOf(QLabel* l, COLORREF colour) {
    const QImage img = l->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb want = ColorFromRef(colour).rgb();
    Ink ink;
    for (int y = 0; y < img.height(); ++y) {
        int run = 0;
        for (int x = 0; x < img.width(); ++x) {
            if ((img.pixel(x, y) & 0xFFFFFF) == (want & 0xFFFFFF)) {
                ++ink.pixels;
                ink.longestRun = std::max(ink.longestRun, ++run);
            } else {
                run = 0;
            }
        }
    }
    return ink;
}

void moveOnto(QLabel* l, QPoint p) {
    QEnterEvent enter(p, l->mapTo(l->window(), p), l->mapToGlobal(p));
    QApplication::sendEvent(l, &enter);
    QMouseEvent move(QEvent::MouseMove, p, l->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(l, &move);
}

void leave(QLabel* l) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(l, &e);
}

void press(QLabel* l) {
    const QPoint p(2, 2);
    QMouseEvent e(QEvent::MouseButtonPress, p, l->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(l, &e);
}

} // namespace

class TestHyperlink : public QObject {
    Q_OBJECT
private slots:
    void fitKeepsTheAnchoredEdge_data();
    void fitKeepsTheAnchoredEdge();
    void targetAndText();
    void colours();
    void commandLineCut_data();
    void commandLineCut();
    void desktopEntryExec();
    void failedOpenShowsTheMessage_data();
    void failedOpenShowsTheMessage();
    void missingFilesAreReportedWithoutOpening();
    void fallbackRunsTheRegisteredProgram();
};

void TestHyperlink::fitKeepsTheAnchoredEdge_data() {
    QTest::addColumn<int>("align");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("boxHeight");
    const QString shortText = QStringLiteral("short link");
    const QString longText = QStringLiteral("a link text that is far wider than the box it sits "
                                            "in, so that fitting must grow the control");
    QTest::newRow("left") << int(Qt::AlignLeft) << shortText << 10;
    QTest::newRow("centre") << int(Qt::AlignHCenter) << shortText << 10;
    QTest::newRow("right") << int(Qt::AlignRight) << shortText << 10;
    QTest::newRow("centre, grows") << int(Qt::AlignHCenter) << longText << 10;
    QTest::newRow("right, grows") << int(Qt::AlignRight) << longText << 10;
    QTest::newRow("vertical centre") << int(Qt::AlignLeft | Qt::AlignVCenter) << shortText << 31;
}

void TestHyperlink::fitKeepsTheAnchoredEdge() {
    QFETCH(int, align);
    QFETCH(QString, text);
    QFETCH(int, boxHeight);
    LinkDialog dlg;
    QLabel* l = dlg.addStatic(100, text, Qt::Alignment(align), 20, boxHeight);
    const QRect before = edges(l);

    CBriskHyperlink link;
    QVERIFY(link.SubclassWindow(l));
    const QRect after = edges(l);

    QFont f = dlg.font();
    f.setUnderline(true);
    const QFontMetrics fm(f, l);
    const int w = fm.horizontalAdvance(text);
    const int h = fm.height();

    // Exclusive right and bottom edges, as the fitting works with them.
    const auto right = [](const QRect& r) { return r.x() + r.width(); };
    const auto bottom = [](const QRect& r) { return r.y() + r.height(); };
    if (align & Qt::AlignHCenter) {
        QCOMPARE(after.x() + right(after), before.x() + right(before)); // same centre
        QVERIFY2(qAbs(after.width() - w) <= 1, qPrintable(QString::number(after.width())));
    } else if (align & Qt::AlignRight) {
        QCOMPARE(right(after), right(before));
        QCOMPARE(after.width(), w);
    } else {
        QCOMPARE(after.x(), before.x());
        QCOMPARE(after.width(), w);
    }
    if (align & Qt::AlignVCenter) {
        QCOMPARE(after.y() + bottom(after), before.y() + bottom(before));
        QVERIFY(qAbs(after.height() - h) <= 1);
    } else {
        QCOMPARE(after.y(), before.y());
        QCOMPARE(after.height(), h);
    }
    if (text.size() > 20)
        QVERIFY(after.width() > before.width());
}

void TestHyperlink::targetAndText() {
    LinkDialog dlg;
    QLabel* empty = dlg.addStatic(100, QString(), Qt::AlignLeft, 10);
    QLabel* named = dlg.addStatic(101, QStringLiteral("Our web page"), Qt::AlignLeft, 30);
    QLabel* plain =
        dlg.addStatic(102, QStringLiteral("https://www.example.com/p"), Qt::AlignLeft, 50);

    // An empty static shows the target it was given before binding.
    CBriskHyperlink a;
    a.SetTarget(QStringLiteral("https://www.example.com/tidemark"), true);
    QVERIFY(a.SubclassWindow(empty));
    QCOMPARE(empty->text(), QStringLiteral("https://www.example.com/tidemark"));
    QCOMPARE(empty->toolTip(), QStringLiteral("https://www.example.com/tidemark"));
    QVERIFY(empty->width() > 0);
    // The link look: an underlined copy of the control's font and the hand cursor.
    QVERIFY(empty->font().underline());
    QCOMPARE(empty->font().pointSize(), dlg.font().pointSize());
    QCOMPARE(empty->cursor().shape(), Qt::PointingHandCursor);
    a.SetUnderlined(false);
    QVERIFY(!empty->font().underline());

    // A static with text keeps it and opens the separately given target.
    TestLink b;
    QVERIFY(b.SubclassWindow(named));
    QCOMPARE(b.GetTarget(), QStringLiteral("Our web page")); // binding takes the text
    const int widthBefore = named->width();
    b.SetTarget(QStringLiteral("mailto:tidemark@example.org"), true);
    QCOMPARE(named->text(), QStringLiteral("Our web page"));
    QCOMPARE(named->toolTip(), QStringLiteral("mailto:tidemark@example.org"));
    QCOMPARE(named->width(), widthBefore);
    b.shellResult = CBriskHyperlink::SE_OPENED;
    press(named);
    QCOMPARE(b.shellCalls, 1);
    QVERIFY(b.GetFollowed());

    // A static bound without a target opens its own text.
    CBriskHyperlink c;
    QVERIFY(c.SubclassWindow(plain));
    QCOMPARE(c.GetTarget(), QStringLiteral("https://www.example.com/p"));
    QCOMPARE(plain->toolTip(), QStringLiteral("https://www.example.com/p"));
}

void TestHyperlink::colours() {
    LinkDialog dlg;
    QLabel* l = dlg.addStatic(100, QStringLiteral("Tidemark on the web"), Qt::AlignLeft, 10);
    TestLink link;
    QVERIFY(link.SubclassWindow(l));
    QCOMPARE(link.m_clrLink, RGB(0, 0, 238));
    QCOMPARE(link.m_clrFollowed, RGB(85, 26, 139));
    const COLORREF highlight =
        RefFromColor(QApplication::palette().color(QPalette::Active, QPalette::Highlight));
    QCOMPARE(link.m_clrHover, highlight);
    QVERIFY(highlight != link.m_clrLink && highlight != link.m_clrFollowed);

    // Normal: drawn in the link colour, underline included.
    QCOMPARE(link.CtlColor(), RGB(0, 0, 238));
    Ink ink = inkOf(l, RGB(0, 0, 238));
    QVERIFY(ink.pixels > 0);
    QVERIFY2(ink.longestRun >= l->width() * 3 / 4, "no underline in the link colour");

    // Hover: at once on entering, whatever the followed state; leaving restores.
    moveOnto(l, QPoint(3, 3));
    QCOMPARE(link.CtlColor(), highlight);
    QVERIFY(inkOf(l, highlight).longestRun >= l->width() * 3 / 4);
    QCOMPARE(inkOf(l, RGB(0, 0, 238)).pixels, 0);
    leave(l);
    QCOMPARE(link.CtlColor(), RGB(0, 0, 238));

    // Followed after a successful open; hover still wins over it.
    link.shellResult = CBriskHyperlink::SE_OPENED;
    press(l);
    QVERIFY(link.GetFollowed());
    QCOMPARE(link.CtlColor(), RGB(85, 26, 139));
    QVERIFY(inkOf(l, RGB(85, 26, 139)).longestRun >= l->width() * 3 / 4);
    moveOnto(l, QPoint(3, 3));
    QCOMPARE(link.CtlColor(), highlight);
    leave(l);
    QCOMPARE(link.CtlColor(), RGB(85, 26, 139));

    // A later failed open clears the followed state and the colour with it.
    MessageBoxRecorder boxes;
    link.shellResult = CBriskHyperlink::SE_ERR_NOASSOC;
    press(l);
    QCOMPARE(boxes.count(), 1);
    QVERIFY(!link.GetFollowed());
    QVERIFY(inkOf(l, RGB(0, 0, 238)).longestRun >= l->width() * 3 / 4);
}

void TestHyperlink::commandLineCut_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("cut");
    QTest::newRow("quoted %1 cut at the quote, switches after it dropped")
        << "\"C:\\Browser\\browser.exe\" -nohome \"%1\" -private"
        << "\"C:\\Browser\\browser.exe\" -nohome ";
    QTest::newRow("bare %1 cut there") << "browser.exe %1 -private"
                                       << "browser.exe ";
    QTest::newRow("no %1 stays whole") << "browser.exe -nohome"
                                       << "browser.exe -nohome";
    QTest::newRow("desktop %u") << "firefox-esr %u"
                                << "firefox-esr ";
    QTest::newRow("quoted desktop %U") << "/opt/b/browser --new \"%U\" --x"
                                       << "/opt/b/browser --new ";
    QTest::newRow("quoted wins over an earlier bare code") << "b %f -n \"%1\""
                                                           << "b %f -n ";
    QTest::newRow("%% is a literal percent") << "b --ratio=%%u"
                                             << "b --ratio=%%u";
    QTest::newRow("empty") << ""
                           << "";
}

void TestHyperlink::commandLineCut() {
    QFETCH(QString, command);
    QFETCH(QString, cut);
    QCOMPARE(CBriskHyperlink::CutOpenCommand(command), cut);
    QCOMPARE(CBriskHyperlink::ComposeOpenCommand(command, QStringLiteral("https://t.example/")),
             cut + QStringLiteral(" https://t.example/"));
}

void TestHyperlink::desktopEntryExec() {
    const QString entry = QStringLiteral("# a browser\n"
                                         "[Desktop Action new-window]\n"
                                         "Exec=/usr/bin/browser --new-window %u\n"
                                         "[Desktop Entry]\n"
                                         "Name=Browser\n"
                                         "Exec = /usr/bin/browser\\s2 --flag %U\n"
                                         "TryExec=/usr/bin/browser\n");
    QCOMPARE(CBriskHyperlink::DesktopEntryExec(entry),
             QStringLiteral("/usr/bin/browser 2 --flag %U"));
    QCOMPARE(CBriskHyperlink::DesktopEntryExec(QStringLiteral("[Desktop Entry]\nName=x\n")),
             QString());
}

void TestHyperlink::failedOpenShowsTheMessage_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("26") << 26 << "Unable to open hyperlink:\n\nA sharing violation occurred. ";
    QTest::newRow("4, no text of its own") << 4
                                           << "Unable to open hyperlink:\n\nUnknown Error (4) "
                                              "occurred.";
    QTest::newRow("0") << 0
                       << "Unable to open hyperlink:\n\nThe operating system is out\nof memory or "
                          "resources.";
    QTest::newRow("32 is a failure") << 32
                                     << "Unable to open hyperlink:\n\nThe specified dynamic-link "
                                        "library was not found.";
}

void TestHyperlink::failedOpenShowsTheMessage() {
    QFETCH(int, code);
    QFETCH(QString, text);
    LinkDialog dlg;
    QLabel* l = dlg.addStatic(100, QStringLiteral("Web"), Qt::AlignLeft, 10);
    TestLink link;
    QVERIFY(link.SubclassWindow(l));
    link.shellResult = code; // and no HTML handler to fall back on
    MessageBoxRecorder boxes;
    press(l);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.lastText(), text);
    QCOMPARE(boxes.shown().first().type, unsigned(MB_OK | MB_ICONEXCLAMATION));
    QVERIFY(!link.GetFollowed());
    QVERIFY(link.started.isEmpty());

    // The control stays usable: the next click opens.
    link.shellResult = CBriskHyperlink::SE_OPENED;
    press(l);
    QCOMPARE(boxes.count(), 1);
    QVERIFY(link.GetFollowed());
}

void TestHyperlink::missingFilesAreReportedWithoutOpening() {
    QTemporaryDir dir;
    TestLink link;
    QCOMPARE(link.realShellOpen(dir.filePath(QStringLiteral("missing.htm"))),
             int(CBriskHyperlink::SE_ERR_FNF));
    QCOMPARE(link.realShellOpen(dir.filePath(QStringLiteral("no/such/dir/page.htm"))),
             int(CBriskHyperlink::SE_ERR_PNF));
    QCOMPARE(link.realShellOpen(QString()), int(CBriskHyperlink::SE_ERR_FNF));
}

void TestHyperlink::fallbackRunsTheRegisteredProgram() {
    // A stand-in browser registered in a private data folder: it writes its arguments down.
    QTemporaryDir data;
    QVERIFY(QDir(data.path()).mkpath(QStringLiteral("applications")));
    const QString script = data.filePath(QStringLiteral("fake browser"));
    const QString written = data.filePath(QStringLiteral("opened.txt"));
    {
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"" +
                written.toUtf8() + "\"\n");
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile entry(data.filePath(QStringLiteral("applications/tm-browser.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Fake\nExec=\"" + script.toUtf8() +
                    "\" %i --new-window \"%u\" --dropped\n");
    }
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    const bool hadData = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const auto restoreData = [&] {
        if (hadData)
            qputenv("XDG_DATA_HOME", oldData);
        else
            qunsetenv("XDG_DATA_HOME");
    };
    qputenv("XDG_DATA_HOME", data.path().toUtf8());

    LinkDialog dlg;
    QLabel* l = dlg.addStatic(100, QStringLiteral("Web"), Qt::AlignLeft, 10);
    TestLink link;
    QVERIFY(link.SubclassWindow(l));
    const QString target = QStringLiteral("https://www.example.com/a page?q=\"x\"");
    link.SetTarget(target, true);
    link.handler = QStringLiteral("tm-browser.desktop");
    MessageBoxRecorder boxes;
    press(l);
    restoreData();

    QCOMPARE(boxes.count(), 0);
    QVERIFY(link.GetFollowed());
    QTRY_VERIFY(QFile::exists(written));
    QFile out(written);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(out.readAll()), QStringLiteral("--new-window\n") + target + "\n");

    // A target that the browser would take for an option goes as the file it names.
    QVERIFY(QFile::remove(written));
    link.SetTarget(QStringLiteral("--renderer-cmd-prefix=touch x"), true);
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    press(l);
    restoreData();
    QTRY_VERIFY(QFile::exists(written));
    QCOMPARE(link.started.size(), 3);
    QVERIFY2(link.started.last().startsWith(QStringLiteral("file:///")),
             qPrintable(link.started.last()));
    QVERIFY(link.started.last().endsWith(QStringLiteral("/--renderer-cmd-prefix=touch%20x")));

    // A registered program that is not there: "file not found".
    link.started.clear();
    QVERIFY(QFile::remove(script));
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    press(l);
    restoreData();
    QCOMPARE(boxes.lastText(),
             QStringLiteral("Unable to open hyperlink:\n\nThe specified file was not found."));
    QVERIFY(!link.GetFollowed());
}

QTEST_MAIN(TestHyperlink)
#include "tst_hyperlink.moc"
