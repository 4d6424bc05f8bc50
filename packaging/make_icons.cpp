// Build-time helper: writes the program's main icon in the sizes of the hicolor icon theme,
// as <folder>/<size>x<size>/apps/<name>.png, from the same drawing code as the window's icon.
#include "Images.h"

#include <QDir>
#include <QStringList>
#include <cstdio>

int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: tidemark-make-icons <folder> <icon name>\n");
        return 2;
    }
    for (const int size : kMainIconSizes) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args.at(1)).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, args.at(2));
        if (!QDir().mkpath(folder) || !DrawMainIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "tidemark-make-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
