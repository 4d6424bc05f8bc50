// The Connect dialog without a database: its template, the remembered values, the server list
// and the checks made before any log-on.
//
// Parts: the template (fonts, layout); what the dialog shows at start (empty fields, the
// remembered user); the ways to cancel; the server list in the profile (adding, short and
// damaged lists); the limits on the fields; picking a list entry by its prefix; the wait cursor.
#include "ConnectTest.h"
#include "DialogTest.h"
#include "TestSupport.h"

#include <QFile>
#include <QLabel>
#include <QtTest>
#include <memory>

namespace {
// Ports below 1024 on the loopback refuse at once: a log-on there fails without a server.
const QString kUnreachable = QStringLiteral("pg:127.0.0.1:1/longname");
} // namespace

class TestConnectDialog : public QObject {
    Q_OBJECT
private slots:
    void init() { m_profile = std::make_unique<ScopedProfile>(); }
    void cleanup() { m_profile.reset(); }

    void templateLayout();
    void textsFitInAnyFont_data();
    void textsFitInAnyFont();
    void firstStartShowsEmptyFields();
    void rememberedUserFocusesPassword();
    void cancelWaysEndWithZero_data();
    void cancelWaysEndWithZero();
    void serverListAddsEachStringOnce();
    void itemsBeyondStoredEntriesAreEmptyLines();
    void damagedItemCountIsBounded();
    void tooLongConnectStringIsRefused();
    void editsTakeAtMostThirtyCharacters();
    void rememberedLongUserIsShownWholeAndRefused();
    void typedPrefixIsReplacedByListEntry();
    void emptyConnectStringShowsFirstEntry();
    void waitCursorCoversTheAttempt();

private:
    std::unique_ptr<ScopedProfile> m_profile;
};

void TestConnectDialog::textsFitInAnyFont_data() {
    AddFontRows();
}

void TestConnectDialog::textsFitInAnyFont() {
    VerifyNothingClipsInFont<TestConnectDlg>();
}

void TestConnectDialog::templateLayout() {
    TestConnectDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Connect to Oracle"));
    QCOMPARE(dlg.size(), dlg.MapDialogRect(0, 0, 243, 138).size());

    // Mnemonics lead to the control after the label and are not shown as '&'.
    const QList<QLabel*> labels = dlg.findChildren<QLabel*>();
    const auto labelFor = [&](QWidget* buddy) -> QLabel* {
        for (QLabel* l : labels)
            if (l->buddy() == buddy)
                return l;
        return nullptr;
    };
    QVERIFY(labelFor(dlg.user()) && labelFor(dlg.user())->text() == "&Username:");
    QVERIFY(labelFor(dlg.password()) && labelFor(dlg.password())->text() == "&Password:");
    QVERIFY(labelFor(dlg.connect()) && labelFor(dlg.connect())->text() == "&Connect:");

    QCOMPARE(dlg.password()->echoMode(), QLineEdit::Password);
    QVERIFY(dlg.connect()->isEditable());
    QCOMPARE(dlg.connectButton()->text(), QStringLiteral("Connect"));
    QVERIFY(dlg.connectButton()->isDefault());
    QCOMPARE(dlg.cancelButton()->text(), QStringLiteral("Cancel"));

    // Tab order is template order.
    QList<QWidget*> chain;
    for (QWidget* w = dlg.user(); chain.size() < 5; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus && dlg.GetDlgItem(w->property("dlgCtrlId").toInt()))
            chain << w;
    const QList<QWidget*> expected{dlg.user(), dlg.password(), dlg.connect(), dlg.connectButton(),
                                   dlg.cancelButton()};
    QCOMPARE(chain, expected);
}

void TestConnectDialog::firstStartShowsEmptyFields() {
    TestConnectDlg dlg;
    const int result = RunModal(dlg, [&] {
        QVERIFY(dlg.user()->text().isEmpty());
        QVERIFY(dlg.password()->text().isEmpty());
        QVERIFY(dlg.connect()->currentText().isEmpty());
        QCOMPARE(dlg.connect()->count(), 0);
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(dlg.user())); // the first tab stop
        for (int line = 1; line <= 3; ++line)
            QVERIFY(dlg.status(line).isEmpty());
        QTest::keyClicks(dlg.user(), "scott");
        QTest::keyClicks(dlg.password(), "tiger");
        // The labels' mnemonics reach their fields.
        QTest::keyClick(&dlg, Qt::Key_C, Qt::AltModifier);
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(dlg.connect()));
        QTest::keyClick(&dlg, Qt::Key_P, Qt::AltModifier);
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(dlg.password()));
        QTest::keyClick(&dlg, Qt::Key_U, Qt::AltModifier);
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(dlg.user()));
        dlg.cancelButton()->click();
    });
    QCOMPARE(result, 0);
    // Cancel exchanges nothing and writes nothing.
    QVERIFY(dlg.m_strUser.isEmpty());
    QVERIFY(dlg.m_strPassword.isEmpty());
    QVERIFY(!QFile::exists(m_profile->file()));
}

void TestConnectDialog::rememberedUserFocusesPassword() {
    WriteProfileString("Connect", "Usr", "scott");
    WriteProfileString("Connect", "Srv", "pg:host/b");
    StoreServers({"pg:host/b", "Zulu", "alpha"});
    TestConnectDlg dlg;
    QCOMPARE(dlg.m_strUser, QStringLiteral("scott"));
    QCOMPARE(dlg.m_strConnect, QStringLiteral("pg:host/b"));
    const int result = RunModal(dlg, [&] {
        QCOMPARE(dlg.user()->text(), QStringLiteral("scott"));
        QCOMPARE(dlg.connect()->currentText(), QStringLiteral("pg:host/b"));
        // The list is sorted, not in the order the strings were first tried.
        QCOMPARE(dlg.listEntries(), QStringList({"alpha", "pg:host/b", "Zulu"}));
        QCOMPARE(dlg.connect()->currentIndex(), 1);
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(dlg.password()));
        dlg.cancelButton()->click();
    });
    QCOMPARE(result, 0);
}

void TestConnectDialog::cancelWaysEndWithZero_data() {
    QTest::addColumn<int>("way");
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
}

void TestConnectDialog::cancelWaysEndWithZero() {
    QFETCH(int, way);
    WriteProfileString("Connect", "Usr", "scott");
    TestConnectDlg dlg;
    const int result = RunModal(dlg, [&] {
        QTest::keyClicks(dlg.password(), "secret");
        if (way == 0)
            dlg.cancelButton()->click();
        else if (way == 1)
            QTest::keyClick(dlg.password(), Qt::Key_Escape);
        else
            dlg.close();
    });
    QCOMPARE(result, 0);
    QVERIFY(dlg.m_strPassword.isEmpty());
    QCOMPARE(StoredServers(), QStringList());
}

void TestConnectDialog::serverListAddsEachStringOnce() {
    TestConnectDlg dlg;
    dlg.OnInitDialog();
    dlg.AddServerToList("pg:a");
    dlg.AddServerToList("pg:a");
    QCOMPARE(StoredServers(), QStringList({"pg:a"}));
    dlg.AddServerToList("PG:A"); // case makes a different entry
    dlg.AddServerToList("");     // the empty string is remembered like any other
    dlg.AddServerToList("");
    QCOMPARE(StoredServers(), QStringList({"pg:a", "PG:A", ""}));
    QCOMPARE(dlg.listEntries(), QStringList({"", "pg:a", "PG:A"}));

    // A new dialog offers what was remembered.
    TestConnectDlg again;
    again.OnInitDialog();
    QCOMPARE(again.listEntries(), QStringList({"", "pg:a", "PG:A"}));
}

void TestConnectDialog::itemsBeyondStoredEntriesAreEmptyLines() {
    WriteProfileInt("ServerList", "Items", 4);
    WriteProfileString("ServerList", "Item2", "b");
    WriteProfileString("ServerList", "Item3", "a");
    TestConnectDlg dlg;
    dlg.OnInitDialog();
    QCOMPARE(dlg.listEntries(), QStringList({"", "", "a", "b"}));
    // A missing entry reads as empty: the empty string counts as already remembered.
    dlg.AddServerToList("");
    QCOMPARE(GetProfileInt("ServerList", "Items", 0), 4);
}

void TestConnectDialog::damagedItemCountIsBounded() {
    // A count no real list reaches would keep the start-up in the loop for hours.
    WriteProfileInt("ServerList", "Items", 2147483647);
    WriteProfileString("ServerList", "Item1", "pg:a");
    TestConnectDlg dlg;
    dlg.OnInitDialog();
    QCOMPARE(dlg.listEntries().size(), 10000);
    dlg.AddServerToList("pg:new");
    QCOMPARE(GetProfileInt("ServerList", "Items", 0), 10001);
    QCOMPARE(GetProfileString("ServerList", "Item10001"), QStringLiteral("pg:new"));
}

void TestConnectDialog::tooLongConnectStringIsRefused() {
    MessageBoxRecorder boxes;
    TestConnectDlg dlg;
    const QString tooLong(31, QLatin1Char('x'));
    const int result = RunModal(dlg, [&] {
        QTest::keyClicks(dlg.user(), "scott");
        QTest::keyClicks(dlg.connect()->lineEdit(), tooLong);
        QCOMPARE(dlg.connect()->currentText(), tooLong); // typing into the combo is not limited
        dlg.connectButton()->click();
        QCOMPARE(boxes.count(), 1); // the framework's message, and no log-on error
        QCOMPARE(boxes.lastText(), QStringLiteral("Please enter no more than 30 characters."));
        QCOMPARE(boxes.shown().last().type & MB_ICONMASK, UINT(MB_ICONEXCLAMATION));
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(dlg.connect()));
        QCOMPARE(dlg.connect()->lineEdit()->selectedText(), tooLong);
        QVERIFY(dlg.status(1).isEmpty());
        QVERIFY(dlg.status(2).isEmpty());
        dlg.cancelButton()->click();
    });
    QCOMPARE(result, 0);
    QCOMPARE(StoredServers(), QStringList());
    QVERIFY(dlg.m_strStatus1.isEmpty());
}

void TestConnectDialog::editsTakeAtMostThirtyCharacters() {
    TestConnectDlg dlg;
    RunModal(dlg, [&] {
        QTest::keyClicks(dlg.user(), QString(31, QLatin1Char('u')));
        QTest::keyClicks(dlg.password(), QString(31, QLatin1Char('p')));
        QCOMPARE(dlg.user()->text().size(), 30);
        QCOMPARE(dlg.password()->text().size(), 30);
        dlg.cancelButton()->click();
    });
}

void TestConnectDialog::rememberedLongUserIsShownWholeAndRefused() {
    MessageBoxRecorder boxes;
    const QString remembered(31, QLatin1Char('u'));
    WriteProfileString("Connect", "Usr", remembered);
    TestConnectDlg dlg;
    RunModal(dlg, [&] {
        QCOMPARE(dlg.user()->text(), remembered); // not cut to 30 and used to log on
        dlg.connectButton()->click();
        QCOMPARE(boxes.lastText(), QStringLiteral("Please enter no more than 30 characters."));
        QVERIFY(dlg.status(1).isEmpty());
        QTest::keyClick(dlg.user(), Qt::Key_End); // typing may shorten it, not lengthen it
        QTest::keyClicks(dlg.user(), "u");
        QTest::keyClick(dlg.user(), Qt::Key_Backspace);
        QTest::keyClicks(dlg.user(), "u");
        QCOMPARE(dlg.user()->text().size(), 30);
        dlg.cancelButton()->click();
    });
}

void TestConnectDialog::typedPrefixIsReplacedByListEntry() {
    MessageBoxRecorder boxes; // answers the failed log-ons with Ignore
    StoreServers({kUnreachable});
    TestConnectDlg dlg;
    const int result = RunModal(dlg, [&] {
        QTest::keyClicks(dlg.user(), "u");
        dlg.connect()->lineEdit()->clear(); // it opens with the list's first entry
        QTest::keyClicks(dlg.connect()->lineEdit(), "PG:127");
        dlg.connectButton()->click();
        QCOMPARE(boxes.count(), 1);
        QVERIFY(boxes.lastText().startsWith("ORACLE Error"));
        QVERIFY(dlg.isVisible());
        // The log-on and the list used the typed text; the screen shows the longer entry.
        QCOMPARE(dlg.status(1), QStringLiteral("Connecting to database"));
        QCOMPARE(dlg.status(2), QStringLiteral("u@PG:127"));
        QCOMPARE(dlg.status(3), QString());
        QCOMPARE(dlg.connect()->currentText(), kUnreachable);
        QCOMPARE(StoredServers(), QStringList({kUnreachable, "PG:127"}));

        // The next press (Enter in the combo box) uses what is shown.
        QTest::keyClick(dlg.connect()->lineEdit(), Qt::Key_Return);
        QCOMPARE(boxes.count(), 2);
        QCOMPARE(dlg.status(2), "u@" + kUnreachable);
        QCOMPARE(StoredServers(), QStringList({kUnreachable, "PG:127"}));
        dlg.cancelButton()->click();
    });
    QCOMPARE(result, 0);
    // Failed attempts never touch the remembered log-on.
    QVERIFY(GetProfileString("Connect", "Usr").isNull());
    QVERIFY(GetProfileString("Connect", "Srv").isNull());
}

void TestConnectDialog::emptyConnectStringShowsFirstEntry() {
    // Every entry begins with the empty string: with a list but no "Srv", the first entry of the
    // sorted list is shown, on opening and again at the exchange when Connect is pressed.
    MessageBoxRecorder boxes;
    StoreServers({"Zulu", kUnreachable, "alpha"});
    TestConnectDlg dlg;
    QVERIFY(dlg.m_strConnect.isEmpty());
    const int result = RunModal(dlg, [&] {
        QCOMPARE(dlg.connect()->currentText(), QStringLiteral("alpha"));
        QCOMPARE(dlg.connect()->currentIndex(), 0);
        dlg.connect()->setEditText(QString());
        dlg.connectButton()->click();
        QCOMPARE(boxes.count(), 1); // the log-on with the empty text failed
        QCOMPARE(dlg.status(2), QStringLiteral("@"));
        QCOMPARE(dlg.connect()->currentText(), QStringLiteral("alpha"));
        dlg.cancelButton()->click();
    });
    QCOMPARE(result, 0);
}

void TestConnectDialog::waitCursorCoversTheAttempt() {
    // Records the cursor each box is shown under; the failed log-on's box shows inside OciLogon.
    QList<int> shapes;
    AfxSetMessageBoxResponder([&shapes](const QString&, UINT) {
        const QCursor* c = QApplication::overrideCursor();
        shapes << (c ? int(c->shape()) : -1);
        return int(IDIGNORE);
    });
    TestConnectDlg dlg;
    RunModal(dlg, [&] {
        dlg.connect()->setEditText(kUnreachable);
        dlg.connectButton()->click();
        QCOMPARE(shapes, QList<int>{int(Qt::WaitCursor)});
        QVERIFY(!QApplication::overrideCursor());

        dlg.connect()->setEditText(QString(31, QLatin1Char('x'))); // refused before any log-on
        dlg.connectButton()->click();
        QCOMPARE(shapes.size(), 2);
        QVERIFY(!QApplication::overrideCursor());
        dlg.cancelButton()->click();
    });
    AfxSetMessageBoxResponder({});
}

QTEST_MAIN(TestConnectDialog)
#include "tst_connectdlg.moc"
