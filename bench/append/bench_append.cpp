// Cost of one AppendMessage as the log grows: the log is filled to 1 thousand, 100 thousand
// and 1 million lines, then a run of appends is timed at each size.
#include "TidemarkView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir profile; // the real profile is never read or written
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());

    const int sizes[] = {1000, 100000, 1000000};
    const int appends = 2000;
    std::printf("%-12s %-16s %s\n", "log lines", "us per append", "appends timed");
    for (int lines : sizes) {
        CTidemarkView view;
        view.Create(nullptr);
        view.resize(800, 600);
        view.show();
        QByteArray text;
        text.reserve(qsizetype(lines) * 40);
        for (int i = 0; i < lines; ++i)
            text += "2026-12-07 06:00:00: trace message number " + QByteArray::number(i) + "\r\n";
        view.SetWindowText(text);
        QCoreApplication::processEvents();

        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < appends; ++i) {
            view.AppendMessage(QStringLiteral("appended message %1").arg(i));
            if (i % 50 == 0)
                QCoreApplication::processEvents(); // let it paint now and then, as a drain would
        }
        QCoreApplication::processEvents();
        const double us = double(timer.nsecsElapsed()) / 1000.0 / appends;
        std::printf("%-12d %-16.2f %d\n", lines, us, appends);
        std::fflush(stdout);
    }
    return 0;
}
