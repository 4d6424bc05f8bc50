// The Options dialog: template, trackbar and label, data exchange, OK and Cancel.
#include "DialogTest.h"
#include "OptionsTest.h"
#include "TestSupport.h"

#include <QtTest>

class TestOptionsDialog : public QObject {
    Q_OBJECT
private slots:
    void templateLayout();
    void textsFitInAnyFont_data();
    void textsFitInAnyFont();
    void generateCaptionWrapsOntoTwoLines();
    void periodIsClampedToTrackbar_data();
    void periodIsClampedToTrackbar();
    void labelFollowsTrackbar();
    void tabOrderPutsLastCheckBoxLast();
    void valuesComeBackAsEntered_data();
    void valuesComeBackAsEntered();
    void storedPipeNameOfAnyLengthComesBackWhole();
    void cancelLeavesExchangedMembers_data();
    void cancelLeavesExchangedMembers();
};

void TestOptionsDialog::textsFitInAnyFont_data() {
    AddFontRows();
}

void TestOptionsDialog::textsFitInAnyFont() {
    VerifyNothingClipsInFont<TestOptionsDlg>();
}

void TestOptionsDialog::templateLayout() {
    TestOptionsDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Options"));
    QCOMPARE(dlg.size(), dlg.MapDialogRect(0, 0, 293, 181).size());
    QCOMPARE(dlg.check(COptionsDlg::IDC_LFFLAG)->text(),
             QStringLiteral("Automatically add a LF to each message"));
    QCOMPARE(dlg.check(COptionsDlg::IDC_AUTOUNPACK)->text(),
             QStringLiteral("Allow to debug variable messages (auto unpack)"));
    QCOMPARE(dlg.check(COptionsDlg::IDC_ALLOWEDIT)->text(),
             QStringLiteral("Allow to edit the debug window (only at next startup)"));
    // On screen the third check box sits below the other two.
    QVERIFY(dlg.check(COptionsDlg::IDC_ALLOWEDIT)->y() >
            dlg.check(COptionsDlg::IDC_AUTOUNPACK)->y());
    QVERIFY(dlg.button(IDOK)->isDefault());
    QCOMPARE(dlg.button(IDCANCEL)->text(), QStringLiteral("Cancel"));
    QCOMPARE(dlg.slider()->orientation(), Qt::Horizontal);
    QCOMPARE(dlg.slider()->tickPosition(), QSlider::TicksAbove);
}

void TestOptionsDialog::generateCaptionWrapsOntoTwoLines() {
    TestOptionsDlg dlg;
    QPushButton* generate = dlg.button(COptionsDlg::IDC_GENERATE);
    QCOMPARE(generate->text(), QStringLiteral("Generate\nProcedures"));
    QCOMPARE(generate->accessibleName(), QStringLiteral("Generate Procedures"));
    QVERIFY(generate->sizeHint().width() <= generate->width());
    QVERIFY(generate->sizeHint().height() <= generate->height());
}

void TestOptionsDialog::periodIsClampedToTrackbar_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("shown");
    QTest::newRow("in range") << 15 << 15;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("above 60") << 120 << 60;
    QTest::newRow("negative") << -5 << 0;
}

void TestOptionsDialog::periodIsClampedToTrackbar() {
    QFETCH(int, stored);
    QFETCH(int, shown);
    TestOptionsDlg dlg;
    dlg.m_nTimerFrequency = stored;
    const int result = RunModal(dlg, [&] {
        QCOMPARE(dlg.slider()->minimum(), 0);
        QCOMPARE(dlg.slider()->maximum(), 60);
        QCOMPARE(dlg.slider()->tickInterval(), 10);
        QCOMPARE(dlg.slider()->singleStep(), 1);
        QCOMPARE(dlg.slider()->pageStep(), 12); // the platform's default: a fifth of the range
        QCOMPARE(dlg.slider()->value(), shown);
        QCOMPARE(dlg.value()->text(), QString::number(shown));
        QCOMPARE(dlg.m_nTimerFrequency, shown);
        // The trackbar is the first tab stop and has the focus.
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(dlg.slider()));
        dlg.button(IDOK)->click();
    });
    QCOMPARE(result, int(IDOK));
    QCOMPARE(dlg.m_nTimerFrequency, shown);
}

void TestOptionsDialog::labelFollowsTrackbar() {
    TestOptionsDlg dlg;
    dlg.m_nTimerFrequency = 15;
    const int result = RunModal(dlg, [&] {
        QSlider* slider = dlg.slider();
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(dlg.value()->text(), QStringLiteral("16"));
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(dlg.value()->text(), QStringLiteral("28"));
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(dlg.value()->text(), QStringLiteral("60"));
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(dlg.value()->text(), QStringLiteral("0"));
        // Dragging: the label follows the thumb before it is let go.
        slider->setSliderDown(true);
        slider->setSliderPosition(42);
        QCOMPARE(dlg.value()->text(), QStringLiteral("42"));
        QCOMPARE(dlg.m_nTimerFrequency, 42);
        slider->setSliderPosition(7);
        QCOMPARE(dlg.value()->text(), QStringLiteral("7"));
        slider->setSliderDown(false);
        dlg.button(IDOK)->click();
    });
    QCOMPARE(result, int(IDOK));
    QCOMPARE(dlg.m_nTimerFrequency, 7);
}

void TestOptionsDialog::tabOrderPutsLastCheckBoxLast() {
    TestOptionsDlg dlg;
    QList<int> order;
    RunModal(dlg, [&] {
        for (int i = 0; i < 9; ++i) {
            QWidget* focus = dlg.focusWidget();
            QVERIFY(focus);
            order << focus->property("dlgCtrlId").toInt();
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        dlg.button(IDCANCEL)->click();
    });
    const QList<int> expected{COptionsDlg::IDC_TIMERSLIDER,
                              COptionsDlg::IDC_LFFLAG,
                              COptionsDlg::IDC_AUTOUNPACK,
                              COptionsDlg::IDC_PIPENAME,
                              IDOK,
                              IDCANCEL,
                              COptionsDlg::IDC_GENERATE,
                              COptionsDlg::IDC_ALLOWEDIT,
                              COptionsDlg::IDC_TIMERSLIDER};
    QCOMPARE(order, expected);
}

void TestOptionsDialog::valuesComeBackAsEntered_data() {
    QTest::addColumn<QString>("pipe");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral("   ");
    QTest::newRow("inner and outer blanks") << QStringLiteral(" my pipe ");
    QTest::newRow("long") << QString(300, QLatin1Char('p'));
}

void TestOptionsDialog::valuesComeBackAsEntered() {
    QFETCH(QString, pipe);
    MessageBoxRecorder boxes;
    TestOptionsDlg dlg;
    dlg.m_nTimerFrequency = 5;
    dlg.m_strPipeName = QStringLiteral("tidemark");
    dlg.m_bLFFlag = 1;
    dlg.m_bAutoUnpack = 0;
    dlg.m_bAllowEdit = 1;
    const int result = RunModal(dlg, [&] {
        QCOMPARE(dlg.pipeName()->text(), QStringLiteral("tidemark"));
        QVERIFY(dlg.check(COptionsDlg::IDC_LFFLAG)->isChecked());
        QVERIFY(!dlg.check(COptionsDlg::IDC_AUTOUNPACK)->isChecked());
        QVERIFY(dlg.check(COptionsDlg::IDC_ALLOWEDIT)->isChecked());
        dlg.pipeName()->clear();
        QTest::keyClicks(dlg.pipeName(), pipe);
        dlg.check(COptionsDlg::IDC_LFFLAG)->click();
        dlg.check(COptionsDlg::IDC_AUTOUNPACK)->click();
        dlg.check(COptionsDlg::IDC_ALLOWEDIT)->click();
        QTest::keyClick(dlg.pipeName(), Qt::Key_Return); // Enter is OK
    });
    QCOMPARE(result, int(IDOK));
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(dlg.m_strPipeName, pipe);
    QCOMPARE(dlg.m_bLFFlag, 0);
    QCOMPARE(dlg.m_bAutoUnpack, 1);
    QCOMPARE(dlg.m_bAllowEdit, 0);
    QCOMPARE(dlg.m_nTimerFrequency, 5);
}

void TestOptionsDialog::storedPipeNameOfAnyLengthComesBackWhole() {
    TestOptionsDlg dlg;
    dlg.m_strPipeName = QString(40000, QLatin1Char('p'));
    const int result = RunModal(dlg, [&] {
        QCOMPARE(dlg.pipeName()->text().size(), 40000);
        QTest::keyClick(dlg.pipeName(), Qt::Key_Return);
    });
    QCOMPARE(result, int(IDOK));
    QCOMPARE(dlg.m_strPipeName, QString(40000, QLatin1Char('p')));
}

void TestOptionsDialog::cancelLeavesExchangedMembers_data() {
    QTest::addColumn<int>("way");
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
}

void TestOptionsDialog::cancelLeavesExchangedMembers() {
    QFETCH(int, way);
    TestOptionsDlg dlg;
    dlg.m_nTimerFrequency = 20;
    dlg.m_strPipeName = QStringLiteral("tidemark");
    dlg.m_bLFFlag = 1;
    dlg.m_bAutoUnpack = 0;
    dlg.m_bAllowEdit = 1;
    const int result = RunModal(dlg, [&] {
        QTest::keyClicks(dlg.pipeName(), "changed");
        dlg.check(COptionsDlg::IDC_LFFLAG)->click();
        dlg.check(COptionsDlg::IDC_AUTOUNPACK)->click();
        dlg.check(COptionsDlg::IDC_ALLOWEDIT)->click();
        dlg.slider()->setValue(33);
        if (way == 0)
            dlg.button(IDCANCEL)->click();
        else if (way == 1)
            QTest::keyClick(dlg.pipeName(), Qt::Key_Escape);
        else
            dlg.close();
    });
    QCOMPARE(result, int(IDCANCEL));
    QCOMPARE(dlg.m_strPipeName, QStringLiteral("tidemark"));
    QCOMPARE(dlg.m_bLFFlag, 1);
    QCOMPARE(dlg.m_bAutoUnpack, 0);
    QCOMPARE(dlg.m_bAllowEdit, 1);
    // The period follows the trackbar while the dialog runs; the caller ignores it after Cancel.
    QCOMPARE(dlg.m_nTimerFrequency, 33);
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdlg.moc"
