// The window surface the canvas draws on, pixel by pixel: memory layout, default
// pen and background, line ends, wide pens, clipping, icons with their mask, the
// exclusive-or copy that must undo itself, and the damage each drawing reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "platform/FrameBuffer.h"
#include "tests/support/Picture.h"

namespace {

// The four bytes of pixel (x, y) as they lie in memory.
std::array<uint8_t, 4> Bytes(const CPvFrameBuffer& fb, int x, int y) {
    const uint8_t* p = fb.Bits() + y * fb.BytesPerLine() + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

// Every pixel word of the buffer has an alpha of 255.
bool Opaque(const CPvFrameBuffer& fb) {
    for (int i = 0; i < fb.BytesPerLine() * fb.Height(); i += 4) {
        uint32_t word = 0;
        std::memcpy(&word, fb.Bits() + i, sizeof word);
        if (PvWordAlpha(word) != 255) {
            return false;
        }
    }
    return true;
}

// Every pixel that is not white.
Pixels Inked(const CPvFrameBuffer& fb) {
    Pixels inked;
    for (int y = 0; y < fb.Height(); ++y) {
        for (int x = 0; x < fb.Width(); ++x) {
            if (fb.Pixel(x, y) != kPvWhite) {
                inked.insert({x, y});
            }
        }
    }
    return inked;
}

Pixels Line(int width, PvPoint from, PvPoint to, int size = 24) {
    CPvFrameBuffer fb(size, size);
    const auto pen = PvCreatePen(kPvPenSolid, width, kPvBlack);
    if (width != 1) {
        fb.SelectPen(pen.get());
    }
    fb.MoveTo(from);
    fb.LineTo(to);
    return Inked(fb);
}

// A background with something on every pixel, so that a wrong copy shows.
CPvFrameBuffer& Scribble(CPvFrameBuffer& fb) {
    fb.FillSolidRect({0, 0, fb.Width(), fb.Height()}, 0x3366CC);
    for (int k = 0; k < fb.Width() + fb.Height(); k += 3) {
        fb.MoveTo({k, 0});
        fb.LineTo({0, k});
    }
    return fb;
}

CPvImage Checkerboard(int width, int height) {
    CPvImage image(width, height, kPvBlack);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.SetPixel(x, y, (x + y) % 2 == 0 ? kPvWhite : kPvBlack);
        }
    }
    return image;
}

using Bytes4 = std::array<uint8_t, 4>;

// A pixel's bytes in memory: R, G, B, A for a browser canvas, the word 0xAARRGGBB for Qt.
Bytes4 Rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    if (kPvPixelBytesRgba) {
        return {r, g, b, a};
    }
    const uint32_t word = (uint32_t{a} << 24) | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
    Bytes4 bytes;
    std::memcpy(bytes.data(), &word, sizeof word);
    return bytes;
}

// One opaque pixel word each, rows tightly packed: what the platform shows as it is.
TEST(FrameBuffer, PixelsAreOpaqueWordsInTightRows) {
    CPvFrameBuffer fb(30, 20);
    EXPECT_EQ(fb.Width(), 30);
    EXPECT_EQ(fb.Height(), 20);
    EXPECT_EQ(fb.BytesPerLine(), 120);
    fb.FillSolidRect({3, 2, 4, 3}, 0x123456);
    fb.FillSolidRect({29, 19, 30, 20}, 0xA0B0C0);
    EXPECT_EQ(Bytes(fb, 3, 2), Rgba(0x12, 0x34, 0x56, 0xFF));
    EXPECT_EQ(Bytes(fb, 29, 19), Rgba(0xA0, 0xB0, 0xC0, 0xFF));
    EXPECT_EQ(Bytes4({fb.Bits()[20 * 120 - 4], fb.Bits()[20 * 120 - 3], fb.Bits()[20 * 120 - 2],
                      fb.Bits()[20 * 120 - 1]}),
              Rgba(0xA0, 0xB0, 0xC0, 0xFF))
        << "the last pixel ends the memory";
    EXPECT_EQ(fb.Pixel(3, 2), 0x123456u);
    EXPECT_EQ(Bytes(fb, 4, 2), Rgba(0xFF, 0xFF, 0xFF, 0xFF));

    // Images share the layout.
    CPvImage image(2, 1, 0x010203);
    image.SetPixel(1, 0, 0x0A0B0C, 0);
    const uint8_t* bits = image.Bits();
    const Bytes4 first = Rgba(1, 2, 3, 255);
    const Bytes4 second = Rgba(10, 11, 12, 0);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), bits) && std::equal(second.begin(), second.end(), bits + 4));
    EXPECT_EQ(CPvImage(2, 1, std::vector<uint8_t>(bits, bits + 8)), image);
    EXPECT_TRUE(CPvImage(2, 1, std::vector<uint8_t>(bits, bits + 7)).IsNull()) << "the size must match";
    EXPECT_TRUE(CPvImage(0, 5, kPvWhite).IsNull());

    CPvFrameBuffer none(-3, 10);
    EXPECT_EQ(none.Width(), 0);
    none.MoveTo({0, 0});
    none.LineTo({5, 5});
    none.FillSolidRect({0, 0, 5, 5}, kPvBlack);
    none.XorCopy({0, 0}, 2, 1, image);
    none.DrawIcon({0, 0}, image);
    EXPECT_EQ(none.TakeDamage(), PvRect{}) << "nothing to draw on";
}

TEST(FrameBuffer, FreshSurfaceIsWhiteWithTheDefaultPen) {
    CPvFrameBuffer fb(30, 20);
    EXPECT_EQ(fb.GetBkColor(), kPvWhite);
    EXPECT_TRUE(Inked(fb).empty());
    EXPECT_EQ(Bytes(fb, 29, 19), Rgba(0xFF, 0xFF, 0xFF, 0xFF));

    const auto pen = PvCreatePen(kPvPenSolid, 2, kPvBlack);
    EXPECT_EQ(fb.SelectPen(pen.get()), nullptr) << "the default pen is selected first";
    EXPECT_EQ(fb.SelectPen(nullptr), pen.get());

    // The default pen: black, one pixel wide.
    fb.MoveTo({2, 5});
    fb.LineTo({6, 5});
    EXPECT_EQ(Inked(fb), (Pixels{{2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    EXPECT_EQ(Bytes(fb, 2, 5), Rgba(0, 0, 0, 0xFF));
}

TEST(FrameBuffer, ExactLines) {
    struct Case {
        int width;
        PvPoint from, to;
        Pixels expected;
    };
    const Case cases[] = {
        {1, {2, 5}, {6, 5}, {{2, 5}, {3, 5}, {4, 5}, {5, 5}}},
        {1, {6, 5}, {2, 5}, {{6, 5}, {5, 5}, {4, 5}, {3, 5}}},
        {1, {4, 1}, {4, 4}, {{4, 1}, {4, 2}, {4, 3}}},
        {1, {4, 4}, {4, 1}, {{4, 4}, {4, 3}, {4, 2}}},
        {1, {1, 1}, {4, 4}, {{1, 1}, {2, 2}, {3, 3}}},
        {1, {4, 4}, {1, 1}, {{4, 4}, {3, 3}, {2, 2}}},
        {1, {5, 1}, {2, 4}, {{5, 1}, {4, 2}, {3, 3}}},
        {1, {0, 0}, {4, 2}, {{0, 0}, {1, 1}, {2, 1}, {3, 2}}},
        {1, {3, 3}, {4, 3}, {{3, 3}}},
        {1, {3, 3}, {3, 3}, {}},
        // Two pixels wide: the second pixel lies across the longer axis, below or to the right.
        {2, {2, 5}, {5, 5}, {{2, 5}, {3, 5}, {4, 5}, {2, 6}, {3, 6}, {4, 6}}},
        {2, {5, 5}, {2, 5}, {{5, 5}, {4, 5}, {3, 5}, {5, 6}, {4, 6}, {3, 6}}},
        {2, {4, 4}, {4, 1}, {{4, 4}, {4, 3}, {4, 2}, {5, 4}, {5, 3}, {5, 2}}},
        {2, {1, 1}, {3, 3}, {{1, 1}, {2, 2}, {1, 2}, {2, 3}}},
        {2, {3, 3}, {3, 3}, {}},
        // Width 0 still draws one pixel wide.
        {0, {2, 5}, {4, 5}, {{2, 5}, {3, 5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width << " (" << c.from.x << ", " << c.from.y
                                        << ") to (" << c.to.x << ", " << c.to.y << ")");
        EXPECT_EQ(Line(c.width, c.from, c.to), c.expected);
    }
}

// In every direction and slope: the start is painted, nothing at the end point's step
// is, the line is connected, and it stops next to its end point.
TEST(FrameBuffer, LinesStartOnTheirStartAndStopBeforeTheirEnd) {
    const PvPoint centre{12, 12};
    for (int width : {1, 2}) {
        for (int dy = -7; dy <= 7; ++dy) {
            for (int dx = -7; dx <= 7; ++dx) {
                if (dx == 0 && dy == 0) {
                    continue;
                }
                SCOPED_TRACE(testing::Message() << "width " << width << " to (+" << dx << ", +" << dy << ")");
                const PvPoint end{centre.x + dx, centre.y + dy};
                const Pixels inked = Line(width, centre, end);
                const int steps = std::max(std::abs(dx), std::abs(dy));
                EXPECT_EQ(static_cast<int>(inked.size()), steps * width);
                EXPECT_TRUE(inked.count({centre.x, centre.y}));
                EXPECT_FALSE(inked.count({end.x, end.y}));
                // Nothing on or beyond the end point along the longer axis.
                const bool xMajor = std::abs(dx) >= std::abs(dy);
                for (const auto& [x, y] : inked) {
                    const int along =
                        xMajor ? (x - centre.x) * (dx > 0 ? 1 : -1) : (y - centre.y) * (dy > 0 ? 1 : -1);
                    EXPECT_GE(along, 0);
                    EXPECT_LT(along, steps);
                }
                // The last pixel of a 1-pixel line touches the end point.
                if (width == 1) {
                    bool touches = false;
                    for (const auto& [x, y] : inked) {
                        touches = touches || (std::abs(x - end.x) <= 1 && std::abs(y - end.y) <= 1);
                    }
                    EXPECT_TRUE(touches);
                }
            }
        }
    }
}

// A pen that turns back paints the turning point: it is the start of the second line.
TEST(FrameBuffer, TurningBackPaintsTheTurningPoint) {
    CPvFrameBuffer fb(12, 12);
    fb.MoveTo({2, 5});
    fb.LineTo({6, 5});
    fb.LineTo({4, 5});
    EXPECT_EQ(Inked(fb), (Pixels{{2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}}));
}

// A line cut by the edges paints exactly the pixels of the same line on a larger surface.
TEST(FrameBuffer, LinesAreClippedExactly) {
    constexpr int kSmall = 20;
    constexpr int kMargin = 30;
    const std::pair<PvPoint, PvPoint> lines[] = {
        {{-25, 3}, {40, 17}}, {{40, 17}, {-25, 3}}, {{5, -30}, {11, 45}}, {{-20, -20}, {39, 39}},
        {{38, -6}, {-9, 26}}, {{-3, 10}, {-3, 30}}, {{0, 0}, {19, 19}},   {{25, 2}, {-30, 9}},
    };
    for (int width : {1, 2}) {
        const auto pen = PvCreatePen(kPvPenSolid, width, kPvBlack);
        for (const auto& [from, to] : lines) {
            SCOPED_TRACE(testing::Message()
                         << "width " << width << " from (" << from.x << ", " << from.y << ")");
            CPvFrameBuffer small(kSmall, kSmall);
            CPvFrameBuffer large(kSmall + 2 * kMargin, kSmall + 2 * kMargin);
            small.SelectPen(pen.get());
            large.SelectPen(pen.get());
            small.MoveTo(from);
            small.LineTo(to);
            large.MoveTo({from.x + kMargin, from.y + kMargin});
            large.LineTo({to.x + kMargin, to.y + kMargin});
            EXPECT_EQ(CPicture(small), CPicture(large).Crop(kMargin, kMargin, kSmall, kSmall));
        }
    }
}

TEST(FrameBuffer, FarAwayEndsStillDrawTheVisiblePart) {
    CPvFrameBuffer fb(16, 16);
    fb.MoveTo({INT_MIN, 5});
    fb.LineTo({INT_MAX, 5});
    fb.MoveTo({9, INT_MAX});
    fb.LineTo({9, INT_MIN});
    fb.MoveTo({INT_MIN, INT_MIN});
    fb.LineTo({INT_MIN, INT_MAX});
    Pixels expected;
    for (int k = 0; k < 16; ++k) {
        expected.insert({k, 5});
        expected.insert({9, k});
    }
    EXPECT_EQ(Inked(fb), expected);
}

TEST(FrameBuffer, FillSolidRectLeavesRightAndBottomEdgesOutAndClips) {
    CPvFrameBuffer fb(10, 10);
    fb.FillSolidRect({2, 3, 4, 5}, kPvBlack);
    EXPECT_EQ(Inked(fb), (Pixels{{2, 3}, {3, 3}, {2, 4}, {3, 4}}));
    fb.FillSolidRect({-5, -5, 100, 100}, 0x00FF00);
    EXPECT_EQ(fb.Pixel(0, 0), 0x00FF00u);
    EXPECT_EQ(fb.Pixel(9, 9), 0x00FF00u);
    EXPECT_EQ(Bytes(fb, 9, 9), Rgba(0, 0xFF, 0, 0xFF));
}

// Each copy changes exactly the surface pixels under the source's set bits, clipped
// to the surface; the second copy at the same place restores every pixel.
TEST(FrameBuffer, ExclusiveOrCopyTwiceRestoresEveryPixel) {
    const CPvImage source = Checkerboard(20, 20);
    const PvPoint places[] = {{5, 5},   {-7, -7},  {-19, 4},  {34, 4},  {4, -19}, {4, 34},
                              {33, 33}, {-10, 30}, {30, -10}, {-20, 0}, {40, 40}, {0, 0}};
    for (const PvPoint& at : places) {
        SCOPED_TRACE(testing::Message() << "at (" << at.x << ", " << at.y << ")");
        CPvFrameBuffer fb(40, 40);
        Scribble(fb);
        const CPicture before(fb);
        fb.XorCopy(at, 20, 20, source);
        const CPicture once(fb);
        EXPECT_TRUE(Opaque(fb)) << "colour bits only";
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                const int sx = x - at.x;
                const int sy = y - at.y;
                const bool under = sx >= 0 && sx < 20 && sy >= 0 && sy < 20 && (sx + sy) % 2 == 0;
                const PvColor expected = under ? (before.At(x, y) ^ 0xFFFFFFu) : before.At(x, y);
                ASSERT_EQ(once.At(x, y), expected) << "pixel (" << x << ", " << y << ")";
            }
        }
        fb.XorCopy(at, 20, 20, source);
        EXPECT_EQ(CPicture(fb), before);
        EXPECT_TRUE(Opaque(fb));
    }
}

TEST(FrameBuffer, ExclusiveOrCopyTakesOnlyTheGivenSizeFromTheTopLeft) {
    const CPvImage source = Checkerboard(20, 20);
    CPvFrameBuffer fb(30, 30);
    fb.XorCopy({10, 10}, 3, 2, source);
    EXPECT_EQ(Inked(fb), (Pixels{{10, 10}, {12, 10}, {11, 11}}));

    CPvFrameBuffer untouched(30, 30);
    untouched.XorCopy({10, 10}, 0, 0, source);
    untouched.XorCopy({10, 10}, 20, 20, CPvImage());
    EXPECT_TRUE(Inked(untouched).empty()) << "an empty copy or a missing image changes nothing";
}

TEST(FrameBuffer, ExclusiveOrCopyAtTheEndsOfTheIntRangeTouchesNothing) {
    const CPvImage source = Checkerboard(20, 20);
    CPvFrameBuffer fb(40, 40);
    Scribble(fb);
    const CPicture before(fb);
    fb.TakeDamage();
    for (const PvPoint at : {PvPoint{INT_MAX - 5, 3}, PvPoint{3, INT_MAX}, PvPoint{INT_MIN, 3},
                             PvPoint{3, INT_MIN}, PvPoint{INT_MIN, INT_MAX}}) {
        fb.XorCopy(at, 20, 20, source);
        fb.DrawIcon(at, source);
    }
    EXPECT_EQ(CPicture(fb), before);
    EXPECT_EQ(fb.TakeDamage(), PvRect{});
}

TEST(FrameBuffer, IconsAreDrawnWithTheirMaskAndClipped) {
    CPvImage image(32, 32, 0x00FF00, 0);
    for (int k = 0; k < 32; ++k) {
        image.SetPixel(k, k, 0xFF0000);  // an opaque red diagonal, the rest masked out
    }
    CPvFrameBuffer fb(40, 40);
    Scribble(fb);
    const CPicture before(fb);
    fb.DrawIcon({-5, 4}, image);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool onIcon = x - -5 == y - 4 && y - 4 < 32;
            ASSERT_EQ(fb.Pixel(x, y), onIcon ? 0xFF0000u : before.At(x, y))
                << "pixel (" << x << ", " << y << ")";
        }
    }
    EXPECT_TRUE(Opaque(fb));
}

TEST(FrameBufferDamage, AFreshBufferIsDamagedAllOverAndTakingEmptiesIt) {
    CPvFrameBuffer fb(30, 20);
    EXPECT_EQ(fb.TakeDamage(), (PvRect{0, 0, 30, 20}));
    EXPECT_EQ(fb.TakeDamage(), PvRect{});
    fb.MoveTo({3, 3});
    fb.LineTo({3, 3});
    fb.MoveTo({-5, 3});
    fb.LineTo({-1, 8});
    fb.FillSolidRect({5, 5, 5, 9}, kPvBlack);
    EXPECT_EQ(fb.TakeDamage(), PvRect{}) << "nothing drawn, nothing damaged";

    // Damage adds up until it is taken.
    fb.MoveTo({2, 2});
    fb.LineTo({5, 2});
    fb.MoveTo({20, 10});
    fb.LineTo({20, 15});
    EXPECT_EQ(fb.TakeDamage(), (PvRect{2, 2, 21, 15}));
}

// A line's damage is exactly the box around the pixels it paints: a live segment makes the
// window show only its neighbourhood.
TEST(FrameBufferDamage, ALineDamagesOnlyTheBoxAroundItsPixels) {
    const PvPoint centre{12, 12};
    for (int width : {1, 2, 3}) {
        const auto pen = PvCreatePen(kPvPenSolid, width, kPvBlack);
        for (int dy = -9; dy <= 9; ++dy) {
            for (int dx = -9; dx <= 9; ++dx) {
                SCOPED_TRACE(testing::Message() << "width " << width << " to (+" << dx << ", +" << dy << ")");
                CPvFrameBuffer fb(24, 24);
                fb.TakeDamage();
                fb.SelectPen(pen.get());
                fb.MoveTo(centre);
                fb.LineTo({centre.x + dx, centre.y + dy});
                const Pixels inked = Inked(fb);
                PvRect box{};
                if (!inked.empty()) {
                    box = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
                    for (const auto& [x, y] : inked) {
                        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                               std::max(box.bottom, y + 1)};
                    }
                }
                ASSERT_EQ(fb.TakeDamage(), box);
            }
        }
    }
}

// Whatever is drawn, and wherever, every pixel that changed lies inside the damage, and
// the damage stays on the buffer.
TEST(FrameBufferDamage, CoversEveryChangedPixel) {
    const CPvImage checkers = Checkerboard(20, 20);
    CPvImage icon(32, 32, 0x00FF00, 0);
    for (int k = 0; k < 32; ++k) {
        icon.SetPixel(k, 31 - k, 0xFF0000);
        icon.SetPixel(k / 2, k, 0x0000FF);
    }
    const auto wide = PvCreatePen(kPvPenSolid, 2, 0xFF00FF);
    const auto wider = PvCreatePen(kPvPenSolid, 5, 0x00FFFF);
    auto line = [](const CPvPen* pen, PvPoint from, PvPoint to) {
        return [=](CPvFrameBuffer& fb) {
            const CPvPen* previous = fb.SelectPen(pen);
            fb.MoveTo(from);
            fb.LineTo(to);
            fb.SelectPen(previous);
        };
    };
    // clang-format off
    const std::vector<std::function<void(CPvFrameBuffer&)>> drawings = {
        line(nullptr, {3, 4}, {30, 17}),
        line(wide.get(), {30, 17}, {3, 4}),
        line(wider.get(), {-10, 39}, {39, -10}),
        line(wider.get(), {0, 0}, {0, 39}),
        line(wide.get(), {39, 0}, {39, 39}),
        line(wide.get(), {-100, 20}, {100, 22}),
        line(wider.get(), {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}),
        line(wide.get(), {20, INT_MAX}, {21, INT_MIN}),
        line(wider.get(), {-3, 5}, {-1, 30}),
        [](CPvFrameBuffer& fb) { fb.FillSolidRect({-5, 10, 12, 100}, 0x00FF00); },
        [](CPvFrameBuffer& fb) { fb.FillSolidRect({INT_MIN, INT_MIN, INT_MAX, 2}, 0x0000FF); },
        [&icon](CPvFrameBuffer& fb) { fb.DrawIcon({-7, 20}, icon); },
        [&icon](CPvFrameBuffer& fb) { fb.DrawIcon({25, -20}, icon); },
        [&icon](CPvFrameBuffer& fb) { fb.DrawIcon({4, 4}, icon); },
        [&checkers](CPvFrameBuffer& fb) { fb.XorCopy({-7, -7}, 20, 20, checkers); },
        [&checkers](CPvFrameBuffer& fb) { fb.XorCopy({33, 30}, 20, 20, checkers); },
        [&checkers](CPvFrameBuffer& fb) { fb.XorCopy({10, 12}, 5, 30, checkers); },
    };
    // clang-format on
    CPvFrameBuffer fb(40, 40);
    Scribble(fb);
    for (std::size_t k = 0; k < drawings.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "drawing " << k);
        fb.TakeDamage();
        const CPicture before(fb);
        drawings[k](fb);
        const Pixels changed = Changed(before, CPicture(fb));
        const PvRect damage = fb.TakeDamage();
        EXPECT_FALSE(changed.empty()) << "each drawing shows something";
        EXPECT_TRUE(Inside(changed, damage));
        EXPECT_GE(damage.left, 0);
        EXPECT_GE(damage.top, 0);
        EXPECT_LE(damage.right, 40);
        EXPECT_LE(damage.bottom, 40);
    }
}

}  // namespace
