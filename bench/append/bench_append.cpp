// The log window as it grows: the log is filled to 1 thousand, 100 thousand, 1 million and
// 10 million lines of 45 bytes, then a run of single appends is timed at each size, and the
// resident memory the log takes is set against the bytes of its text.
#include "TidemarkView.h"

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>

namespace {
// Resident memory of the process in bytes, after giving freed memory back to the system.
qint64 residentBytes() {
    malloc_trim(0);
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

// One line of 45 bytes, CR LF included, as a trace message would make it.
QString line(int i) {
    return QStringLiteral("2026-12-07 06:00:00 trace message: %1\r\n").arg(i, 8, 10, QChar('0'));
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir profile; // the real profile is never read or written
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());
    // The window's own cost: appends outside a drain would each be a write of the session
    // journal too (bench_drain measures the journal where the program writes it, per piece), and
    // the logs of several views a second apart would share one journal's name.
    qputenv("TIDEMARK_SESSION_LOG", "off");

    // Log sizes in lines: the arguments, or the four standard ones.
    QList<int> sizes = {2000, 1000000, 10000000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes.append(QByteArray(argv[i]).toInt());
    }
    const int appends = 2000;
    const int chunkLines = 10000; // lines per append while a log is filled in large pieces
    std::printf("%-10s %-9s %-13s %-8s %-10s %-10s %-9s %-12s %-11s %s\n", "log lines", "text MB",
                "fill", "fill s", "us/append", "us max", "us/typed", "resident MB", "MB/M lines",
                "resident/text");
    double first = 0;
    for (int lines : sizes) {
        const qint64 before = residentBytes();
        CTidemarkView view;
        view.m_bLFFlag = FALSE; // the lines carry their own CR LF
        view.Create(nullptr);
        view.resize(800, 600);
        view.show();
        QCoreApplication::processEvents();

        // Up to a million lines one append per line, as the receiver adds them; beyond that in
        // pieces of ten thousand lines, as a long drain hands them over.
        const bool oneByOne = lines <= 1000000;
        QElapsedTimer fill;
        fill.start();
        if (oneByOne) {
            for (int i = 0; i < lines; ++i)
                view.AppendMessage(line(i));
        } else {
            for (int i = 0; i < lines; i += chunkLines) {
                QString chunk;
                chunk.reserve(chunkLines * 45);
                for (int j = i; j < i + chunkLines; ++j)
                    chunk += line(j);
                view.AppendMessage(chunk);
            }
        }
        const double fillSeconds = double(fill.nsecsElapsed()) / 1e9;
        QCoreApplication::processEvents();
        const qint64 text = view.GetTextLength();
        const qint64 resident = residentBytes() - before;

        view.m_bLFFlag = TRUE;
        QElapsedTimer timer;
        timer.start();
        qint64 slowest = 0; // ns, the longest single append
        for (int i = 0; i < appends; ++i) {
            const qint64 at = timer.nsecsElapsed();
            view.AppendMessage(QStringLiteral("appended message %1").arg(i));
            slowest = std::max(slowest, timer.nsecsElapsed() - at);
            if (i % 50 == 0)
                QCoreApplication::processEvents(); // let it paint now and then, as a drain would
        }
        QCoreApplication::processEvents();
        const double us = double(timer.nsecsElapsed()) / 1000.0 / appends;
        if (first == 0)
            first = us;

        // The user's typing at the end of the same log: one character at a time, each a change
        // the editor reports (and the document notes), painted now and then.
        const int typed = 200;
        QElapsedTimer typing;
        typing.start();
        for (int i = 0; i < typed; ++i) {
            view.SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "x");
            if (i % 10 == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        const double usTyped = double(typing.nsecsElapsed()) / 1000.0 / typed;
        std::printf(
            "%-10d %-9.1f %-13s %-8.2f %-10.2f %-10.1f %-9.2f %-12.1f %-11.1f %.2f   (append cost "
            "x%.2f)\n",
            lines, double(text) / 1e6, oneByOne ? "line by line" : "10k pieces", fillSeconds, us,
            double(slowest) / 1e3, usTyped, double(resident) / 1e6,
            double(resident) / 1e6 / (double(lines) / 1e6), double(resident) / double(text),
            us / first);
        std::fflush(stdout);
    }
    // The window's intake as a drain feeds it: a piece of the drain lasts about 50 ms and the
    // window paints between pieces, so pieces of 4,000 messages of about 45 bytes, each piece
    // painted; with highlights and receipt times off, then on, and the rate on against off.
    // Their cost is per paint (the lines on screen) and per line (the receipt time).
    const auto intake = [](bool decorated) {
        CTidemarkView view;
        view.m_bLFFlag = FALSE;
        view.Create(nullptr);
        view.resize(800, 600);
        view.show();
        if (decorated) {
            view.SetHighlightRules(
                {{QStringLiteral("\\bORA-\\d{5}\\b|\\b(?:ERROR|Error|error|EXCEPTION|Exception|"
                                 "exception|FATAL|Fatal|fatal)\\b"),
                  QColor(0xe0, 0x1b, 0x24)},
                 {QStringLiteral("\\b(?:WARNING|Warning|warning|WARN|Warn|warn)\\b"),
                  QColor(0xf5, 0xa6, 0x00)}});
            view.ShowReceiptTimes(true);
        }
        QCoreApplication::processEvents();
        const int pieces = 100;
        QElapsedTimer timer;
        timer.start();
        for (int p = 0; p < pieces; ++p) {
            QString piece;
            for (int i = 0; i < 4000; ++i)
                piece += (i % 7 == 0 ? QStringLiteral("ERROR: ORA-01403 no data found %1\r\n")
                                     : QStringLiteral("2026-12-07 06:00:00 trace msg %1\r\n"))
                             .arg(p * 4000 + i, 8);
            view.AppendMessage(piece);
            view.repaint(); // each piece is painted, as between the pieces of a drain
        }
        return pieces * 4000 / (double(timer.nsecsElapsed()) / 1e9);
    };
    double off = 0, on = 0;
    for (int round = 0; round < 3; ++round) { // alternated, the best of three each
        off = std::max(off, intake(false));
        on = std::max(on, intake(true));
    }
    std::printf("intake, messages/s: highlights and receipt times off %.0f, on %.0f, on/off %.3f\n",
                off, on, on / off);
    return 0;
}
