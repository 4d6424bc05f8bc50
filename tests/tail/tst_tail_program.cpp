#include <QTest>
class TestTailProgram : public QObject {
    Q_OBJECT
};
QTEST_GUILESS_MAIN(TestTailProgram)
#include "tst_tail_program.moc"
