#pragma once
// The process of a database benchmark: the application, a private profile, every error box
// answered and counted, and the log-on to the test database.
#include "TestSupport.h"

#include <QApplication>
#include <cstdio>

class BenchmarkProcess {
public:
    BenchmarkProcess(int& argc, char** argv) : m_app(argc, argv) {}
    BenchmarkProcess(const BenchmarkProcess&) = delete;
    BenchmarkProcess& operator=(const BenchmarkProcess&) = delete;

    // Logs the process on to the test database; false, with the reason on stderr, when that
    // fails.
    bool LogOn() const {
        QString why;
        if (!TestDatabase::available(&why)) {
            std::fprintf(stderr, "%s\n", qPrintable(why));
            return false;
        }
        if (!LogonToTestDatabase()) {
            std::fprintf(stderr, "log-on failed: %s\n", qPrintable(m_boxes.lastText()));
            return false;
        }
        return true;
    }

    // Says whether the run produced error boxes; the benchmark's exit status.
    int Finish() const {
        if (m_boxes.count() > 0)
            std::printf("error boxes during the run: %d, first: %s\n", m_boxes.count(),
                        qPrintable(m_boxes.shown().first().text));
        return 0;
    }

private:
    QApplication m_app;
    ScopedProfile m_profile;
    MessageBoxRecorder m_boxes;
};
