#include "app/resources/ResourceArt.h"

#include <QList>
#include <QTransform>
#include <cmath>

namespace {

// The standard 16-colour palette in its usual order.
const QList<QRgb>& Palette() {
    static const QList<QRgb> palette = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
    };
    return palette;
}

enum Index : uint {
    kBlack = 0,
    kOlive = 3,
    kNavy = 4,
    kSilver = 7,
    kRed = 9,
    kYellow = 11,
    kBlue = 12,
    kCyan = 14,
    kWhite = 15,
};

QImage Blank(int width, int height, uint fill) {
    QImage image(width, height, QImage::Format_Indexed8);
    image.setColorTable(Palette());
    image.fill(fill);
    return image;
}

// The upright picture: grid, then the pen from its point (lower left) to its back end.
QImage DrawNorth() {
    QImage image = Blank(32, 32, kCyan);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (x % 4 == 0 || y % 4 == 0) {
                image.setPixel(x, y, kSilver);
            }
        }
    }
    const double tipX = 4.0, tipY = 28.0, endX = 28.5, endY = 3.5;
    const double length = std::hypot(endX - tipX, endY - tipY);
    const double ux = (endX - tipX) / length, uy = (endY - tipY) / length;
    constexpr double kHalfWidth = 3.0;
    constexpr double kCone = 8.0;  // length of the sharpened end
    constexpr double kCap = 4.5;   // length of the cap at the back end
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const double px = x + 0.5 - tipX, py = y + 0.5 - tipY;
            const double along = px * ux + py * uy;
            const double across = std::abs(px * -uy + py * ux);
            if (along < 0.0 || along > length) {
                continue;
            }
            const double half = along < kCone ? kHalfWidth * along / kCone : kHalfWidth;
            if (across > half + 0.8) {
                continue;
            }
            uint colour;
            if (across > half) {
                colour = kBlack;  // outline
            } else if (along < kCone * 0.35) {
                colour = kBlack;  // the lead
            } else if (along < kCone) {
                colour = kYellow;
            } else if (along > length - kCap) {
                colour = kRed;
            } else {
                colour = across > half - 1.2 ? kNavy : kBlue;
            }
            image.setPixel(x, y, colour);
        }
    }
    return image;
}

}  // namespace

QImage PvDrawCursorBitmap() {
    QImage image = Blank(20, 20, kBlack);
    auto white = [&image](int x0, int x1, int y0, int y1) {
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                image.setPixel(x, y, kWhite);
            }
        }
    };
    // The two bars, leaving a 2 x 2 hole in the middle.
    white(9, 10, 0, 8);
    white(9, 10, 11, 19);
    white(0, 8, 9, 10);
    white(11, 19, 9, 10);
    // The bars widen near the centre.
    white(8, 11, 7, 7);
    white(8, 11, 12, 12);
    white(7, 12, 8, 8);
    white(7, 12, 11, 11);
    return image;
}

QImage PvDrawOrientationIcon(int quarterTurnsClockwise) {
    const QImage north = DrawNorth();
    const int turns = ((quarterTurnsClockwise % 4) + 4) % 4;
    if (turns == 0) {
        return north;
    }
    // QTransform::rotate turns clockwise on screen (y grows downward).
    return north.transformed(QTransform().rotate(90.0 * turns));
}
