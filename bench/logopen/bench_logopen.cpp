// The log probe: a log the program could have written (lines of about 50 bytes, CR LF) is
// generated on the disk at the size asked (default 1 GB), then opened in the log window as File
// > Open does. It prints the open time and the resident memory against the file's size, then
// appends messages, finds the last one, saves the log and compares the saved bytes with the
// file and the appends.
// Usage: bench_logopen [size in MB] (2500 tries a log past 2 GiB).
#include "TidemarkDoc.h"
#include "TidemarkView.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {
qint64 residentBytes() {
    malloc_trim(0);
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

// The most the process has had resident so far (a buffer moved to a larger one is there twice
// for a moment).
qint64 peakBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line; !(line = status.readLine()).isEmpty();)
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

QByteArray hashOf(QIODevice& device) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&device);
    return hash.result();
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir profile;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());
    qputenv("TIDEMARK_SESSION_LOG", "off");
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000;
    const qint64 target = megabytes * 1000 * 1000;

    QTemporaryDir dir;
    const QString path = dir.filePath("probe.log");
    QElapsedTimer timer;
    timer.start();
    {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block;
        qint64 written = 0;
        for (qint64 i = 0; written < target; ++i) {
            block += QByteArray("2026-12-07 06:00:00 trace message number ") +
                     QByteArray::number(i).rightJustified(9, '0') + "\r\n";
            if (block.size() >= (8 << 20) || written + block.size() >= target) {
                out.write(block);
                written += block.size();
                block.clear();
            }
        }
    }
    const qint64 size = QFileInfo(path).size();
    std::printf("generated %.0f MB in %.1f s\n", double(size) / 1e6, double(timer.elapsed()) / 1e3);
    std::fflush(stdout);

    CTidemarkDoc doc;
    CTidemarkView view;
    view.Create(nullptr);
    doc.AddView(&view);
    doc.OnNewDocument();
    view.resize(800, 600);
    view.show();
    QCoreApplication::processEvents();
    const qint64 before = residentBytes();
    timer.restart();
    const bool opened = doc.OnOpenDocument(path);
    QCoreApplication::processEvents();
    const double openSeconds = double(timer.elapsed()) / 1e3;
    const qint64 resident = residentBytes() - before;
    std::printf("open: %s in %.2f s, %ld lines, resident %.0f MB = %.2fx the file\n",
                opened ? "ok" : "FAILED", openSeconds, long(view.lines()), double(resident) / 1e6,
                double(resident) / double(size));
    std::fflush(stdout);
    if (!opened)
        return 1;

    timer.restart();
    for (int i = 0; i < 1000; ++i)
        view.AppendMessage(QStringLiteral("appended after the probe %1").arg(i));
    std::printf("1000 appends: %.1f us each, resident %.0f MB\n",
                double(timer.nsecsElapsed()) / 1e3 / 1000, double(residentBytes() - before) / 1e6);
    view.SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 0UL);
    timer.restart();
    const bool found = view.FindText(QStringLiteral("appended after the probe 999"));
    std::printf(
        "Find of the last message from the top: %s in %.2f s at %lld, resident %.0f MB\n",
        found ? "found" : "NOT FOUND", double(timer.elapsed()) / 1e3,
        static_cast<long long>(view.SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART)),
        double(residentBytes() - before) / 1e6);

    const QString saved = dir.filePath("saved.log");
    timer.restart();
    const bool ok = doc.OnSaveDocument(saved);
    const double saveSeconds = double(timer.elapsed()) / 1e3;
    const qint64 residentSaved = residentBytes() - before;
    // The saved file is the generated one and the appends after it, byte for byte.
    QFile original(path), copy(saved);
    bool same = ok && original.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly);
    if (same) {
        QByteArray tail;
        for (int i = 0; i < 1000; ++i)
            tail += QStringLiteral("appended after the probe %1\r\n").arg(i).toUtf8();
        QCryptographicHash a(QCryptographicHash::Sha1);
        a.addData(&original);
        a.addData(tail);
        same = a.result() == hashOf(copy);
    }
    std::printf("save: %s in %.2f s (%.0f MB/s), resident %.0f MB, bytes %s\n",
                ok ? "ok" : "FAILED", saveSeconds,
                double(QFileInfo(saved).size()) / 1e6 / std::max(saveSeconds, 0.001),
                double(residentSaved) / 1e6, same ? "identical" : "DIFFERENT");
    std::printf("peak resident of the process: %.0f MB\n", double(peakBytes()) / 1e6);
    doc.RemoveView(&view);
    return same && found ? 0 : 1;
}
