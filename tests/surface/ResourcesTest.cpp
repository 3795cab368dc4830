// The images shipped in the program: the cursor crosshair pixel by pixel, the
// four orientation icons and how they are turned, and that the shipped files
// are what the drawing code draws.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QtEndian>
#include <set>
#include <utility>

#include "app/resources/ResourceArt.h"
#include "platform/QtFrameBuffer.h"
#include "surface/Commands.h"

namespace {

constexpr QRgb kWhite = 0xFFFFFFFFu;
constexpr QRgb kBlack = 0xFF000000u;

const QImage& Loaded(const CPvImage& image) {
    return image.GetData()->image;
}

// The white pixels of the crosshair, as (column, row).
std::set<std::pair<int, int>> CrosshairWhites() {
    std::set<std::pair<int, int>> whites;
    auto add = [&whites](int x0, int x1, int y0, int y1) {
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                whites.insert({x, y});
            }
        }
    };
    add(9, 10, 0, 8);
    add(9, 10, 11, 19);
    add(0, 8, 9, 10);
    add(11, 19, 9, 10);
    add(8, 11, 7, 7);
    add(8, 11, 12, 12);
    add(7, 12, 8, 8);
    add(7, 12, 11, 11);
    return whites;
}

// Bits per pixel and palette size of a shipped bitmap file.
std::pair<int, int> BitmapDepth(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {0, 0};
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 54 || !bytes.startsWith("BM")) {
        return {0, 0};
    }
    const int bits = qFromLittleEndian<quint16>(bytes.constData() + 28);
    const int colours = static_cast<int>(qFromLittleEndian<quint32>(bytes.constData() + 46));
    return {bits, colours};
}

TEST(Resources, CursorBitmapHasExactlyTheCrosshairPixels) {
    CPvImage cursor;
    ASSERT_TRUE(PvLoadBitmap(pv::res::kCursorBitmap, cursor));
    ASSERT_EQ(cursor.Width(), 20);
    ASSERT_EQ(cursor.Height(), 20);
    const auto whites = CrosshairWhites();
    EXPECT_EQ(whites.size(), 84u);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            EXPECT_EQ(Loaded(cursor).pixel(x, y), whites.count({x, y}) ? kWhite : kBlack)
                << "pixel (" << x << ", " << y << ")";
        }
    }
    // The 2 x 2 hole in the middle.
    EXPECT_EQ(Loaded(cursor).pixel(9, 9), kBlack);
    EXPECT_EQ(Loaded(cursor).pixel(10, 10), kBlack);
    EXPECT_EQ(BitmapDepth(QStringLiteral(":/penvale/bitmaps/135.bmp")), std::make_pair(4, 16));
}

TEST(Resources, OrientationIconsAreOpaqueSixteenColourPictures) {
    const QSet<QRgb> standard = {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
                                 0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
                                 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
    for (int id : {pv::res::kIconWest, pv::res::kIconSouth, pv::res::kIconEast, pv::res::kIconNorth}) {
        SCOPED_TRACE(testing::Message() << "icon " << id);
        CPvImage icon;
        ASSERT_TRUE(PvLoadIcon(id, icon));
        ASSERT_EQ(icon.Width(), 32);
        ASSERT_EQ(icon.Height(), 32);
        QSet<QRgb> used;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                used.insert(Loaded(icon).pixel(x, y));
            }
        }
        EXPECT_TRUE(standard.contains(used)) << "opaque colours of the standard palette only";
        EXPECT_TRUE(used.contains(0xFF00FFFF)) << "the cyan grid";
        EXPECT_TRUE(used.contains(0xFFC0C0C0)) << "its light grey lines";
        EXPECT_EQ(BitmapDepth(QStringLiteral(":/penvale/icons/%1.bmp").arg(id)), std::make_pair(4, 16));
    }
}

// West is North turned a quarter turn clockwise, South a half turn, East a quarter
// turn counter-clockwise; in North the pen's point (its black lead) is at the lower left.
TEST(Resources, OrientationIconsAreOnePictureTurned) {
    CPvImage north, west, south, east;
    ASSERT_TRUE(PvLoadIcon(pv::res::kIconNorth, north));
    ASSERT_TRUE(PvLoadIcon(pv::res::kIconWest, west));
    ASSERT_TRUE(PvLoadIcon(pv::res::kIconSouth, south));
    ASSERT_TRUE(PvLoadIcon(pv::res::kIconEast, east));
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb n = Loaded(north).pixel(x, y);
            ASSERT_EQ(Loaded(west).pixel(31 - y, x), n) << "West at (" << x << ", " << y << ")";
            ASSERT_EQ(Loaded(south).pixel(31 - x, 31 - y), n) << "South at (" << x << ", " << y << ")";
            ASSERT_EQ(Loaded(east).pixel(y, 31 - x), n) << "East at (" << x << ", " << y << ")";
        }
    }
    // The pen's yellow wood lies at the point's end: lower left in North.
    int sumX = 0, sumY = 0, count = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (Loaded(north).pixel(x, y) == 0xFFFFFF00u) {
                sumX += x;
                sumY += y;
                ++count;
            }
        }
    }
    ASSERT_GT(count, 0);
    EXPECT_LT(sumX / count, 12);
    EXPECT_GT(sumY / count, 19);
}

TEST(Resources, ShippedFilesAreWhatTheDrawingCodeDraws) {
    CPvImage cursor;
    ASSERT_TRUE(PvLoadBitmap(kPvCursorBitmapId, cursor));
    EXPECT_EQ(Loaded(cursor), PvDrawCursorBitmap().convertToFormat(QImage::Format_RGB32));
    for (int turns = 0; turns < 4; ++turns) {
        CPvImage icon;
        ASSERT_TRUE(PvLoadIcon(kPvOrientationIconIds[turns], icon));
        EXPECT_EQ(Loaded(icon),
                  PvDrawOrientationIcon(turns).convertToFormat(QImage::Format_ARGB32_Premultiplied))
            << "regenerate with the target pv_regenerate_resources";
    }
}

TEST(Resources, MissingIdsLoadNothing) {
    CPvImage image;
    ASSERT_TRUE(PvLoadIcon(pv::res::kIconNorth, image));
    EXPECT_FALSE(PvLoadIcon(134, image));
    EXPECT_TRUE(image.IsNull());
    EXPECT_EQ(image.Width(), 0);
    EXPECT_FALSE(PvLoadBitmap(pv::res::kIconNorth, image)) << "an icon is not a bitmap";
}

}  // namespace
