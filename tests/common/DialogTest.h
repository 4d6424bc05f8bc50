#pragma once
// Helpers for dialog tests: acting inside the next modal dialog (any dialog or message box, or a
// CDialog run here), and checking that no control clips its text.
#include "Dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

// Once the next modal loop runs, hands body the active modal widget as a W (a null pointer when
// there is none, or it is not a W); context ends the wait if it goes first. A dialog the body
// leaves open (a failed check returns early) is rejected, so that the modal loop ends and the
// test goes on.
template <class W = QWidget, class Body> void InNextModal(Body body, QObject* context = qApp) {
    QTimer::singleShot(0, context, [body]() mutable {
        const QPointer<QWidget> active = QApplication::activeModalWidget();
        body(dynamic_cast<W*>(active.data()));
        if (auto* dialog = qobject_cast<QDialog*>(active.data()); dialog && dialog->isVisible())
            dialog->reject();
    });
}

// Runs dlg.DoModal() and, once its loop runs and the dialog is active, body() inside it. If the
// body leaves the dialog open (a failed check returns early), the dialog is ended with -99 so that
// the test goes on.
template <class Body> int RunModal(CDialog& dlg, Body body) {
    InNextModal(
        [&dlg, &body](QWidget* active) {
            [&] {
                QCOMPARE(active, static_cast<QWidget*>(&dlg));
                // As on a desktop, the new dialog is the active window (focus, mnemonics).
                dlg.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&dlg));
                body();
            }();
            if (dlg.isVisible())
                dlg.done(-99);
        },
        &dlg);
    return dlg.DoModal();
}

// Returns a description of each label, check box, push button or group box whose text would not
// fit inside it.
inline QStringList ClippedControls(const QWidget& dialog) {
    QStringList clipped;
    for (const QWidget* w : dialog.findChildren<QWidget*>()) {
        if (w->isHidden())
            continue;
        const QFontMetrics fm(w->font());
        QString text;
        int needWidth = 0;
        int lines = 1;
        int available = w->height();
        if (const auto* l = qobject_cast<const QLabel*>(w)) {
            text = l->text();
            needWidth = l->sizeHint().width();
            available = l->contentsRect().height();
        } else if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
            text = b->text();
            needWidth = b->sizeHint().width();
            if (qobject_cast<const QCheckBox*>(w) && b->sizeHint().height() > w->height())
                available = 0; // the box itself would be cut
        } else if (const auto* g = qobject_cast<const QGroupBox*>(w)) {
            text = g->title();
            needWidth = g->minimumSizeHint().width();
        } else {
            continue;
        }
        if (text.isEmpty())
            continue;
        lines = int(text.count(QLatin1Char('\n'))) + 1;
        if (needWidth > w->width() || lines * fm.height() > available)
            clipped.append(QStringLiteral("%1 \"%2\": %3x%4 needs %5x%6")
                               .arg(QLatin1String(w->metaObject()->className()), text)
                               .arg(w->width())
                               .arg(available)
                               .arg(needWidth)
                               .arg(lines * fm.height()));
    }
    return clipped;
}

// The application fonts a dialog must fit: the default one, a small sans and a large serif.
inline void AddFontRows() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("points");
    QTest::newRow("default") << QString() << 0;
    QTest::newRow("small sans") << QStringLiteral("DejaVu Sans") << 7;
    QTest::newRow("large serif") << QStringLiteral("DejaVu Serif") << 14;
}

// Builds a Dlg under the given application font (0 points: the default) and returns what clips.
template <class Dlg> QStringList ClippedControlsInFont(const QString& family, int points) {
    const QFont original = QApplication::font();
    if (points) {
        QFont font(family);
        font.setPointSize(points);
        QApplication::setFont(font);
    }
    const QStringList clipped = ClippedControls(Dlg());
    QApplication::setFont(original);
    return clipped;
}

// The body of a test whose rows come from AddFontRows: nothing of a Dlg clips in the row's font.
template <class Dlg> void VerifyNothingClipsInFont() {
    QFETCH(QString, family);
    QFETCH(int, points);
    const QStringList clipped = ClippedControlsInFont<Dlg>(family, points);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join('\n')));
}
