// The program's own images: the cursor crosshair pixel by pixel, the four
// orientation icons and how they are turned, the toolbar buttons, and the XPM
// decoder they come through.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>

#include "surface/Commands.h"
#include "surface/Images.h"

namespace {

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

TEST(Resources, CursorBitmapHasExactlyTheCrosshairPixels) {
    const CPvImage& cursor = PvBitmapImage(pv::res::kCursorBitmap);
    ASSERT_EQ(cursor.Width(), 20);
    ASSERT_EQ(cursor.Height(), 20);
    const auto whites = CrosshairWhites();
    EXPECT_EQ(whites.size(), 84u);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            EXPECT_EQ(cursor.Pixel(x, y), whites.count({x, y}) ? kPvWhite : kPvBlack)
                << "pixel (" << x << ", " << y << ")";
            EXPECT_EQ(cursor.Alpha(x, y), 255) << "a bitmap is opaque";
        }
    }
    // The 2 x 2 hole in the middle.
    EXPECT_EQ(cursor.Pixel(9, 9), kPvBlack);
    EXPECT_EQ(cursor.Pixel(10, 10), kPvBlack);
    EXPECT_EQ(cursor.Pixel(9, 10), kPvBlack);
    EXPECT_EQ(cursor.Pixel(10, 9), kPvBlack);
    EXPECT_EQ(&PvBitmapImage(pv::res::kCursorBitmap), &cursor) << "drawn once and kept";
}

TEST(Resources, OrientationIconsAreOpaqueSixteenColourPictures) {
    const std::set<PvColor> standard = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                        0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                        0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (int id : {pv::res::kIconWest, pv::res::kIconSouth, pv::res::kIconEast, pv::res::kIconNorth}) {
        SCOPED_TRACE(testing::Message() << "icon " << id);
        const CPvImage& icon = PvIconImage(id);
        ASSERT_EQ(icon.Width(), 32);
        ASSERT_EQ(icon.Height(), 32);
        std::set<PvColor> used;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                used.insert(icon.Pixel(x, y));
                ASSERT_EQ(icon.Alpha(x, y), 255) << "fully opaque at (" << x << ", " << y << ")";
            }
        }
        for (PvColor colour : used) {
            EXPECT_TRUE(standard.count(colour)) << "not of the standard palette: " << std::hex << colour;
        }
        EXPECT_TRUE(used.count(0x00FFFF)) << "the cyan grid";
        EXPECT_TRUE(used.count(0xC0C0C0)) << "its light grey lines";
    }
    // North's grid: light grey lines every 4 pixels, seen in the corner the pen leaves free.
    const CPvImage& north = PvIconImage(pv::res::kIconNorth);
    EXPECT_EQ(north.Pixel(0, 0), 0xC0C0C0u);
    EXPECT_EQ(north.Pixel(4, 2), 0xC0C0C0u);
    EXPECT_EQ(north.Pixel(2, 8), 0xC0C0C0u);
    EXPECT_EQ(north.Pixel(1, 1), 0x00FFFFu);
    EXPECT_EQ(north.Pixel(5, 6), 0x00FFFFu);
    // The pen reaches neither the left column nor the bottom row: the grid runs to the edge there.
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(north.Pixel(0, i), 0xC0C0C0u) << "left column, row " << i;
        EXPECT_EQ(north.Pixel(i, 31), i % 4 == 0 ? 0xC0C0C0u : 0x00FFFFu) << "bottom row, column " << i;
    }
}

// West is North turned a quarter turn clockwise, South a half turn, East a quarter
// turn counter-clockwise; in North the pen's point (its black lead) is at the lower left.
TEST(Resources, OrientationIconsAreOnePictureTurned) {
    const CPvImage& north = PvIconImage(pv::res::kIconNorth);
    const CPvImage& west = PvIconImage(pv::res::kIconWest);
    const CPvImage& south = PvIconImage(pv::res::kIconSouth);
    const CPvImage& east = PvIconImage(pv::res::kIconEast);
    ASSERT_EQ(north.Width(), 32);
    for (const CPvImage* icon : {&west, &south, &east}) {
        ASSERT_EQ(icon->Width(), 32);
        ASSERT_EQ(icon->Height(), 32);
        EXPECT_NE(*icon, north);
    }
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const PvColor n = north.Pixel(x, y);
            ASSERT_EQ(west.Pixel(31 - y, x), n) << "West at (" << x << ", " << y << ")";
            ASSERT_EQ(south.Pixel(31 - x, 31 - y), n) << "South at (" << x << ", " << y << ")";
            ASSERT_EQ(east.Pixel(y, 31 - x), n) << "East at (" << x << ", " << y << ")";
        }
    }
    // The pen's yellow wood lies at the point's end: lower left in North.
    int sumX = 0, sumY = 0, count = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (north.Pixel(x, y) == 0xFFFF00u) {
                sumX += x;
                sumY += y;
                ++count;
            }
        }
    }
    ASSERT_GT(count, 0);
    EXPECT_LT(sumX / count, 12);
    EXPECT_GT(sumY / count, 19);
    // The black lead at the very point, the red cap at the back end.
    EXPECT_EQ(north.Pixel(4, 27), kPvBlack);
    int red = 0;
    for (int y = 0; y < 12; ++y) {
        for (int x = 20; x < 32; ++x) {
            red += north.Pixel(x, y) == 0xFF0000u ? 1 : 0;
        }
    }
    EXPECT_GT(red, 0);
}

TEST(Resources, UnknownIdsHaveNoImage) {
    EXPECT_TRUE(PvIconImage(134).IsNull());
    EXPECT_TRUE(PvIconImage(0).IsNull());
    EXPECT_EQ(PvIconImage(134).Width(), 0);
    EXPECT_TRUE(PvIconImage(pv::res::kCursorBitmap).IsNull()) << "a bitmap is not an icon";
    EXPECT_TRUE(PvBitmapImage(pv::res::kIconNorth).IsNull()) << "an icon is not a bitmap";
    EXPECT_TRUE(PvButtonImage(pv::cmd::kSettings).IsNull()) << "Settings has no button";
    EXPECT_TRUE(PvButtonImage(pv::cmd::kOrientationNorth).IsNull());
}

// Six 16 x 16 buttons with a mask: transparent around the picture, opaque on it.
TEST(Resources, ToolbarButtonsAreMaskedSixteenPixelPictures) {
    const int commands[] = {pv::cmd::kRotateOrientation, pv::cmd::kLeftClick,   pv::cmd::kRightClick,
                            pv::cmd::kDoubleClick,       pv::cmd::kClearScreen, pv::cmd::kHelp};
    std::set<std::vector<uint8_t>> distinct;
    for (int command : commands) {
        SCOPED_TRACE(testing::Message() << "command " << command);
        const CPvImage& button = PvButtonImage(command);
        ASSERT_EQ(button.Width(), 16);
        ASSERT_EQ(button.Height(), 16);
        int opaque = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const uint8_t alpha = button.Alpha(x, y);
                ASSERT_TRUE(alpha == 0 || alpha == 255) << "a binary mask at (" << x << ", " << y << ")";
                opaque += alpha == 255 ? 1 : 0;
            }
        }
        EXPECT_GT(opaque, 20);
        EXPECT_LT(opaque, 256);
        EXPECT_EQ(button.Alpha(0, 0), 0) << "the corner is masked out";
        distinct.insert(std::vector<uint8_t>(button.Bits(), button.Bits() + 16 * 16 * 4));
    }
    EXPECT_EQ(distinct.size(), 6u) << "six different pictures";

    // Pixels of the pictures as drawn: the rotate arrows' tip and the Clear Screen page.
    const CPvImage& rotate = PvButtonImage(pv::cmd::kRotateOrientation);
    EXPECT_EQ(rotate.Pixel(7, 1), 0x1040C0u);
    EXPECT_EQ(rotate.Alpha(7, 1), 255);
    EXPECT_EQ(rotate.Alpha(6, 1), 0);
    const CPvImage& clear = PvButtonImage(pv::cmd::kClearScreen);
    EXPECT_EQ(clear.Pixel(1, 1), kPvBlack);
    EXPECT_EQ(clear.Pixel(2, 2), 0xD01010u);
    EXPECT_EQ(clear.Pixel(2, 5), kPvWhite);
    EXPECT_EQ(clear.Pixel(4, 7), 0xE8C000u);
}

TEST(Resources, XpmDecoderIsExactAndRefusesMalformedPictures) {
    // clang-format off
    const char* const good[] = {
        "3 2 3 2",
        "   c None",
        "ab c #0A9B0C",
        "..\tc #ffFFff",
        "  ab..",
        "....ab",
    };
    // clang-format on
    const CPvImage image = PvImageFromXpm(good);
    ASSERT_EQ(image.Width(), 3);
    ASSERT_EQ(image.Height(), 2);
    EXPECT_EQ(image.Alpha(0, 0), 0);
    EXPECT_EQ(image.Pixel(1, 0), 0x0A9B0Cu);
    EXPECT_EQ(image.Alpha(1, 0), 255);
    EXPECT_EQ(image.Pixel(2, 0), 0xFFFFFFu);
    EXPECT_EQ(image.Pixel(0, 1), 0xFFFFFFu);
    EXPECT_EQ(image.Pixel(2, 1), 0x0A9B0Cu);

    // One pixel wide is a picture too.
    const char* const narrow[] = {"1 2 1 1", "a c #123456", "a", "a"};
    const CPvImage column = PvImageFromXpm(narrow);
    ASSERT_EQ(column.Width(), 1);
    EXPECT_EQ(column.Pixel(0, 1), 0x123456u);

    // One colour is enough for a picture.
    const char* const oneColour[] = {"2 1 1 1", "a c #102030", "aa"};
    const CPvImage plain = PvImageFromXpm(oneColour);
    ASSERT_EQ(plain.Width(), 2);
    EXPECT_EQ(plain.Pixel(0, 0), 0x102030u);
    EXPECT_EQ(plain.Pixel(1, 0), 0x102030u);

    const char* const shortRow[] = {"2 1 1 1", "a c #000000", "a"};
    const char* const longRow[] = {"2 1 1 1", "a c #000000", "aaa"};
    const char* const unknownKey[] = {"2 1 1 1", "a c #000000", "ab"};
    const char* const namedColour[] = {"1 1 1 1", "a c red", "a"};
    const char* const shortHex[] = {"1 1 1 1", "a c #FFF", "a"};
    const char* const badHex[] = {"1 1 1 1", "a c #00GG00", "a"};
    const char* const noColourKey[] = {"1 1 1 1", "a m #000000", "a"};
    const char* const keyWithoutColour[] = {"1 1 1 1", "a c", "a"};
    const char* const twiceTheKey[] = {"1 1 2 1", "a c #000000", "a c None", "a"};
    const char* const missingRows[] = {"1 3 1 1", "a c #000000", "a", "a"};
    const char* const badHeader[] = {"1 x 1 1", "a c #000000", "a"};
    const char* const zeroSize[] = {"0 1 1 1", "a c #000000", ""};
    const char* const huge[] = {"99999999 1 1 1", "a c #000000", "a"};
    const char* const nullRow[] = {"1 1 1 1", "a c #000000", nullptr};
    EXPECT_TRUE(PvImageFromXpm(shortRow).IsNull());
    EXPECT_TRUE(PvImageFromXpm(longRow).IsNull());
    EXPECT_TRUE(PvImageFromXpm(unknownKey).IsNull());
    EXPECT_TRUE(PvImageFromXpm(namedColour).IsNull());
    EXPECT_TRUE(PvImageFromXpm(shortHex).IsNull());
    EXPECT_TRUE(PvImageFromXpm(badHex).IsNull());
    EXPECT_TRUE(PvImageFromXpm(noColourKey).IsNull());
    EXPECT_TRUE(PvImageFromXpm(keyWithoutColour).IsNull());
    EXPECT_TRUE(PvImageFromXpm(twiceTheKey).IsNull());
    EXPECT_TRUE(PvImageFromXpm(missingRows).IsNull());
    EXPECT_TRUE(PvImageFromXpm(badHeader).IsNull());
    EXPECT_TRUE(PvImageFromXpm(zeroSize).IsNull());
    EXPECT_TRUE(PvImageFromXpm(huge).IsNull());
    EXPECT_TRUE(PvImageFromXpm(nullRow).IsNull());
    EXPECT_TRUE(PvImageFromXpm(nullptr, 0).IsNull());
}

}  // namespace
