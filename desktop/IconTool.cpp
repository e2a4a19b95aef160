// Writes the program's icon as PNG files for the desktop's icon theme: DIR/NxN/apps/turnpost.png
// for each size given.
#include "ui/ProgramIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: turnpost_icons DIR SIZE...\n");
        return 2;
    }
    const QIcon icon = turnpost::ProgramIcon();
    for (int i = 2; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        const QString folder = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        const QPixmap pixmap = icon.pixmap(size, size);
        if (size <= 0 || !QDir().mkpath(folder) || pixmap.width() != size ||
            !pixmap.save(folder + "/turnpost.png")) {
            std::fprintf(stderr, "turnpost_icons: could not write the %s pixel icon\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
