#pragma once
// A log document and its view joined as the document template joins them, on a private
// profile of their own, for the suites that drive the log window without the application
// around it. Only suites that link the monitor library include this.
#include "TestSupport.h"
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include <QTest>

struct LogWindow {
    ScopedProfile profile; // first: the view reads its settings when it is constructed
    CTidemarkDoc doc;
    CTidemarkView view;

    LogWindow() {
        view.Create(nullptr);
        doc.AddView(&view);
        doc.OnNewDocument();
    }
    // Set to drain one pipe, plain or typed, with a line break after every message unless
    // told otherwise.
    explicit LogWindow(const QString& pipe, bool typed = false, bool lf = true) : LogWindow() {
        view.m_strPipeName = pipe;
        view.m_bAutoUnpack = typed;
        view.m_bLFFlag = lf;
    }
    ~LogWindow() {
        if (view.m_nTimerId != 0)
            view.killTimer(int(view.m_nTimerId));
        view.m_nTimerId = 0;
        doc.RemoveView(&view);
    }
    LogWindow(const LogWindow&) = delete;
    LogWindow& operator=(const LogWindow&) = delete;

    // Runs one drain to its end, its later pieces and its wait for a refill included; false
    // when it has not ended within a minute.
    bool drain() {
        view.PollPipe();
        return QTest::qWaitFor([this] { return !view.IsDraining(); }, 60000);
    }

    QByteArray log() const { return view.GetWindowText(); }
};
