#pragma once
// Helpers of the application suites: an application whose log-on is answered by the test, and
// a watcher that closes the next modal dialog and says what it was.
#include "MainFrm.h"
#include "MessageBox.h"
#include "TidemarkApp.h"
#include "TidemarkView.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

class TestApp : public CTidemarkApp {
public:
    int logonResult = IDOK;
    std::function<bool()> logon; // runs in place of the dialog when set; false means failure
    int logons = 0;
    bool windowAtLogon = false;
    QString companyAtLogon;
    QStringList recentAtLogon;

    CMainFrame* frame() const { return qobject_cast<CMainFrame*>(GetMainWnd()); }
    CTidemarkView* view() const {
        return frame() ? dynamic_cast<CTidemarkView*>(frame()->GetActiveView()) : nullptr;
    }

protected:
    int RunLogon() override {
        ++logons;
        windowAtLogon = GetMainWnd() != nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            windowAtLogon = windowAtLogon || w->isVisible();
        companyAtLogon = QCoreApplication::organizationName();
        recentAtLogon = GetRecentFileList();
        if (logon)
            return logon() ? IDOK : IDCANCEL;
        return logonResult;
    }
};

// Waits for the next modal dialog, records its class and text, and closes it with reject().
class ModalCloser : public QObject {
public:
    ModalCloser() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }
    QString className;
    QString title;
    QString texts; // the texts of its labels, one a line
    bool seen() const { return !className.isEmpty(); }
    std::function<void(QDialog*)> inspect;

private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        auto* dlg = qobject_cast<QDialog*>(w);
        if (!dlg || !dlg->isVisible())
            return;
        m_timer.stop();
        className = QString::fromLatin1(dlg->metaObject()->className());
        title = dlg->windowTitle();
        for (QObject* child : dlg->findChildren<QWidget*>())
            if (const QVariant t = child->property("text"); t.isValid() && !t.toString().isEmpty())
                texts += t.toString() + QLatin1Char('\n');
        if (inspect)
            inspect(dlg);
        dlg->reject();
    }
    QTimer m_timer;
};
