// The real message box, without the test responder: which answers Esc and the close box give.
// An Abort/Retry/Ignore box must not turn Esc into Abort, which ends the program.
#include "DialogTest.h"
#include "MessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
// Shows a real box and acts on it once it is up: Esc, then the close box, then (if the box
// is still there) a click on the named button.
struct Outcome {
    int result = 0;
    bool survivedEscape = false;
    bool survivedClose = false;
};

Outcome showAndAct(UINT type, QMessageBox::StandardButton last) {
    Outcome o;
    InNextModal<QMessageBox>([&](QMessageBox* box) {
        if (!box)
            return;
        QTest::keyClick(box, Qt::Key_Escape);
        o.survivedEscape = box->isVisible();
        if (!o.survivedEscape)
            return;
        QCloseEvent close;
        QApplication::sendEvent(box, &close);
        o.survivedClose = box->isVisible();
        if (o.survivedClose && box->button(last))
            box->button(last)->click();
    });
    o.result = AfxMessageBox(QStringLiteral("question"), type);
    return o;
}
} // namespace

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void escapeAndCloseBox_data() {
        QTest::addColumn<uint>("type");
        QTest::addColumn<int>("afterEscape"); // 0: Esc does nothing
        QTest::addColumn<int>("clicked");     // the answer when a button must be pressed
        QTest::newRow("abort/retry/ignore") << uint(MB_ABORTRETRYIGNORE) << 0 << int(IDRETRY);
        QTest::newRow("yes/no") << uint(MB_YESNO) << 0 << int(IDNO);
        QTest::newRow("ok/cancel") << uint(MB_OKCANCEL) << int(IDCANCEL) << 0;
        QTest::newRow("yes/no/cancel") << uint(MB_YESNOCANCEL) << int(IDCANCEL) << 0;
        QTest::newRow("retry/cancel") << uint(MB_RETRYCANCEL) << int(IDCANCEL) << 0;
        QTest::newRow("ok") << uint(MB_OK) << int(IDOK) << 0;
    }
    void escapeAndCloseBox() {
        QFETCH(uint, type);
        QFETCH(int, afterEscape);
        QFETCH(int, clicked);
        AfxSetMessageBoxResponder({});
        const auto last = clicked == IDRETRY ? QMessageBox::Retry : QMessageBox::No;
        const Outcome o = showAndAct(type, last);
        if (afterEscape != 0) {
            QVERIFY(!o.survivedEscape);
            QCOMPARE(o.result, afterEscape);
        } else {
            QVERIFY(o.survivedEscape);
            QVERIFY(o.survivedClose);
            QCOMPARE(o.result, clicked);
        }
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
