// The About box as the About command shows it: the three information lines in the heavy font,
// both links bound with their targets, OK focused, nothing clipped, Esc closing it.
#include "AboutDlg.h"
#include "DialogTest.h"
#include "TestSupport.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

const QString kInfo =
    QStringLiteral("Tidemark - The PL/SQL Tracer\nVersion 2.1.0\nSaturday, Mai 01, 1999");

// Runs ShowAboutBox and hands the open box to inspect, which must close it.
void withAboutBox(const std::function<void(CAboutDialog*)>& inspect) {
    bool seen = false;
    InNextModal<CAboutDialog>([&](CAboutDialog* dlg) {
        if (!dlg)
            return;
        seen = true;
        inspect(dlg);
    });
    ShowAboutBox(kInfo);
    QVERIFY2(seen, "the About box was not shown modally");
}

QLabel* labelOf(CAboutDialog* dlg, int id) {
    return qobject_cast<QLabel*>(dlg->GetDlgItem(id));
}

bool textFits(const QLabel* l) {
    const QFontMetrics fm(l->font(), l);
    const QStringList lines = l->text().split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, fm.horizontalAdvance(line));
    const QRect inner = l->contentsRect();
    return widest <= inner.width() && int(lines.size()) * fm.height() <= inner.height();
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void showsTheInformationAndLinks();
    void layoutKeepsEverythingVisible();
    void escapeClosesTheBox();
    void logoPicture();
};

void TestAbout::showsTheInformationAndLinks() {
    struct Seen {
        QString caption, infoText, mailText, mailTip, webText, webTip, mailTarget, webTarget;
        int infoWeight = 0;
        Qt::Alignment infoAlign;
        bool mailUnderlined = false, webUnderlined = false, okFocused = false;
        bool linksUnfollowed = false;
        QList<int> tabOrder;
    } seen;
    withAboutBox([&](CAboutDialog* dlg) {
        seen.caption = dlg->windowTitle();
        QLabel* info = labelOf(dlg, IDC_INFO_TEXT);
        QLabel* mail = labelOf(dlg, IDC_MAIL_LINK);
        QLabel* web = labelOf(dlg, IDC_WEB_LINK);
        if (!info || !mail || !web) {
            static_cast<QDialog*>(dlg)->reject();
            return;
        }
        seen.infoText = info->text();
        seen.infoWeight = info->font().weight();
        seen.infoAlign = info->alignment();
        seen.mailText = mail->text();
        seen.mailTip = mail->toolTip();
        seen.mailUnderlined = mail->font().underline();
        seen.webText = web->text();
        seen.webTip = web->toolTip();
        seen.webUnderlined = web->font().underline();
        seen.mailTarget = dlg->m_ctlMailLink.GetTarget();
        seen.webTarget = dlg->m_ctlWebLink.GetTarget();
        seen.linksUnfollowed =
            !dlg->m_ctlMailLink.GetFollowed() && !dlg->m_ctlWebLink.GetFollowed();
        seen.okFocused = dlg->focusWidget() == dlg->GetDlgItem(IDOK);
        for (QWidget* w = dlg->nextInFocusChain(); w && w != dlg; w = w->nextInFocusChain())
            seen.tabOrder << w->property("dlgCtrlId").toInt();
        static_cast<QPushButton*>(dlg->GetDlgItem(IDOK))->click();
    });

    QCOMPARE(seen.caption, QStringLiteral("About"));
    QCOMPARE(seen.infoText, kInfo);
    QCOMPARE(seen.infoText.split(QLatin1Char('\n')).size(), 3);
    QCOMPARE(seen.infoWeight, 1000);
    QVERIFY(seen.infoWeight > QFont::Black);
    QVERIFY(seen.infoAlign & Qt::AlignHCenter);

    QCOMPARE(seen.mailText, QStringLiteral("Written by the Tidemark team"));
    QCOMPARE(seen.mailTarget, QStringLiteral("mailto:tidemark@example.org"));
    QCOMPARE(seen.mailTip, seen.mailTarget);
    QVERIFY(seen.mailUnderlined);
    QCOMPARE(seen.webText, QStringLiteral("https://www.example.com/tidemark"));
    QCOMPARE(seen.webTarget, seen.webText);
    QCOMPARE(seen.webTip, seen.webTarget);
    QVERIFY(seen.webUnderlined);
    QVERIFY(seen.linksUnfollowed);

    QVERIFY(seen.okFocused);
    // Template order; the group box has no id of its own.
    QCOMPARE(seen.tabOrder.size(), 6);
    QCOMPARE(seen.tabOrder.mid(0, 5),
             QList<int>({IDC_WEB_LINK, IDC_INFO_TEXT, IDOK, IDC_LOGO, IDC_MAIL_LINK}));
    QVERIFY(seen.tabOrder.last() < 0);
}

void TestAbout::layoutKeepsEverythingVisible() {
    QStringList problems;
    withAboutBox([&](CAboutDialog* dlg) {
        const QRect client = dlg->rect();
        QGroupBox* group = dlg->findChild<QGroupBox*>();
        QWidget* logo = dlg->GetDlgItem(IDC_LOGO);
        QWidget* ok = dlg->GetDlgItem(IDOK);
        if (!group || !logo || !ok) {
            problems << QStringLiteral("missing controls");
            static_cast<QDialog*>(dlg)->reject();
            return;
        }
        const QList<QWidget*> all = dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* w : all)
            if (!client.contains(w->geometry()))
                problems
                    << QStringLiteral("%1 outside the box").arg(w->property("dlgCtrlId").toInt());
        for (int id : {IDC_INFO_TEXT, IDC_MAIL_LINK, IDC_WEB_LINK}) {
            QLabel* l = labelOf(dlg, id);
            if (!group->geometry().contains(l->geometry()))
                problems << QStringLiteral("%1 outside the frame").arg(id);
            if (!textFits(l))
                problems << QStringLiteral("%1 clips its text").arg(id);
        }
        if (labelOf(dlg, IDC_MAIL_LINK)
                ->geometry()
                .intersects(labelOf(dlg, IDC_WEB_LINK)->geometry()))
            problems << QStringLiteral("the links overlap");
        if (logo->geometry().bottom() >= group->geometry().top())
            problems << QStringLiteral("the logo is not above the frame");
        if (ok->geometry().top() <= group->geometry().bottom())
            problems << QStringLiteral("OK is not below the frame");
        const auto* button = qobject_cast<QPushButton*>(ok);
        if (!button || !button->isDefault())
            problems << QStringLiteral("OK is not the default button");
        else if (button->fontMetrics().horizontalAdvance(button->text()) > button->width())
            problems << QStringLiteral("OK clips its text");
        static_cast<QPushButton*>(dlg->GetDlgItem(IDOK))->click();
    });
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
}

void TestAbout::escapeClosesTheBox() {
    int result = -1;
    InNextModal([&](QWidget* dlg) {
        if (!dlg)
            return;
        QTest::keyClick(dlg, Qt::Key_Escape);
        result = qobject_cast<QDialog*>(dlg)->result();
    });
    ShowAboutBox(kInfo); // returns only once the box is closed
    QCOMPARE(result, int(IDCANCEL));
    QVERIFY(!QApplication::activeModalWidget());
}

void TestAbout::logoPicture() {
    const QImage logo = LoadLogoBitmap().toImage();
    QCOMPARE(logo.size(), QSize(180, 70));
    QVERIFY(!logo.hasAlphaChannel());
    QVERIFY(logo.pixelColor(2, 2) != logo.pixelColor(2, 67)); // a picture, not a blank
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
