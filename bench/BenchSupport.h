#pragma once
// The start and end that the database benchmarks share: the process logged on to the test
// database on a private profile, and a word about any error box the run produced.
#include "TestSupport.h"

#include <cstdio>

// Logs the process on to the test database; false, with the reason on stderr, when that fails.
inline bool LogOnForBenchmark(const MessageBoxRecorder& boxes) {
    QString why;
    if (!TestDatabase::available(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return false;
    }
    if (!LogonToTestDatabase()) {
        std::fprintf(stderr, "log-on failed: %s\n", qPrintable(boxes.lastText()));
        return false;
    }
    return true;
}

inline void ReportErrorBoxes(const MessageBoxRecorder& boxes) {
    if (boxes.count() > 0)
        std::printf("error boxes during the run: %d, first: %s\n", boxes.count(),
                    qPrintable(boxes.shown().first().text));
}
