// Writes the program's images into a resources folder:
//   pv_make_resources <folder>
#include <QDir>
#include <QString>
#include <cstdio>

#include "app/resources/ResourceArt.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <resources folder>\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    if (!root.mkpath(QStringLiteral("icons")) || !root.mkpath(QStringLiteral("bitmaps"))) {
        std::fprintf(stderr, "cannot create the folders under %s\n", argv[1]);
        return 1;
    }
    bool ok =
        PvDrawCursorBitmap().save(root.filePath(QStringLiteral("bitmaps/%1.bmp").arg(kPvCursorBitmapId)));
    for (int turns = 0; turns < 4; ++turns) {
        const QString file = root.filePath(QStringLiteral("icons/%1.bmp").arg(kPvOrientationIconIds[turns]));
        ok = PvDrawOrientationIcon(turns).save(file) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write the images under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
