// The window surface the canvas draws on, pixel by pixel: default pen and
// background, line ends, wide pens, clipping, icons with their mask, and the
// exclusive-or copy that must undo itself.
#include <gtest/gtest.h>

#include <QImage>
#include <climits>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "platform/QtFrameBuffer.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

constexpr QRgb kOpaqueWhite = 0xFFFFFFFFu;
constexpr QRgb kOpaqueBlack = 0xFF000000u;

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

QImage Checkerboard(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, (x + y) % 2 == 0 ? 0xFFFFFFFFu : 0xFF000000u);
        }
    }
    return image;
}

TEST(FrameBuffer, FreshSurfaceIsWhiteWithTheDefaultPen) {
    CPvFrameBuffer fb(30, 20);
    EXPECT_EQ(fb.GetBkColor(), kPvWhite);
    EXPECT_TRUE(Inked(fb).empty());
    EXPECT_EQ(fb.Image().pixel(29, 19), kOpaqueWhite);

    const auto pen = PvCreatePen(kPvPenSolid, 2, kPvBlack);
    EXPECT_EQ(fb.SelectPen(pen.get()), nullptr) << "the default pen is selected first";
    EXPECT_EQ(fb.SelectPen(nullptr), pen.get());

    // The default pen: black, one pixel wide.
    fb.MoveTo({2, 5});
    fb.LineTo({6, 5});
    EXPECT_EQ(Inked(fb), (Pixels{{2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    EXPECT_EQ(fb.Image().pixel(2, 5), kOpaqueBlack);
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
            EXPECT_EQ(small.Image(), large.Image().copy(kMargin, kMargin, kSmall, kSmall));
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
    EXPECT_EQ(fb.Image().pixel(9, 9), 0xFF00FF00u);
}

// Each copy changes exactly the surface pixels under the source's set bits, clipped
// to the surface; the second copy at the same place restores every pixel.
TEST(FrameBuffer, ExclusiveOrCopyTwiceRestoresEveryPixel) {
    const CPvImage source = PvImageFromQImage(Checkerboard(20, 20));
    const PvPoint places[] = {{5, 5},   {-7, -7},  {-19, 4},  {34, 4},  {4, -19}, {4, 34},
                              {33, 33}, {-10, 30}, {30, -10}, {-20, 0}, {40, 40}, {0, 0}};
    for (const PvPoint& at : places) {
        SCOPED_TRACE(testing::Message() << "at (" << at.x << ", " << at.y << ")");
        CPvFrameBuffer fb(40, 40);
        Scribble(fb);
        const QImage before = fb.Image().copy();
        fb.XorCopy(at, 20, 20, source);
        const QImage once = fb.Image().copy();
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                const int sx = x - at.x;
                const int sy = y - at.y;
                const bool under = sx >= 0 && sx < 20 && sy >= 0 && sy < 20 && (sx + sy) % 2 == 0;
                const QRgb expected = under ? (before.pixel(x, y) ^ 0x00FFFFFFu) : before.pixel(x, y);
                ASSERT_EQ(once.pixel(x, y), expected) << "pixel (" << x << ", " << y << ")";
            }
        }
        fb.XorCopy(at, 20, 20, source);
        EXPECT_EQ(fb.Image(), before);
    }
}

TEST(FrameBuffer, ExclusiveOrCopyTakesOnlyTheGivenSizeFromTheTopLeft) {
    const CPvImage source = PvImageFromQImage(Checkerboard(20, 20));
    CPvFrameBuffer fb(30, 30);
    fb.XorCopy({10, 10}, 3, 2, source);
    EXPECT_EQ(Inked(fb), (Pixels{{10, 10}, {12, 10}, {11, 11}}));

    CPvFrameBuffer untouched(30, 30);
    untouched.XorCopy({10, 10}, 0, 0, source);
    untouched.XorCopy({10, 10}, 20, 20, CPvImage());
    EXPECT_TRUE(Inked(untouched).empty()) << "an empty copy or a missing image changes nothing";
}

TEST(FrameBuffer, ExclusiveOrCopyAtTheEndsOfTheIntRangeTouchesNothing) {
    const CPvImage source = PvImageFromQImage(Checkerboard(20, 20));
    CPvFrameBuffer fb(40, 40);
    Scribble(fb);
    const QImage before = fb.Image().copy();
    for (const PvPoint at : {PvPoint{INT_MAX - 5, 3}, PvPoint{3, INT_MAX}, PvPoint{INT_MIN, 3},
                             PvPoint{3, INT_MIN}, PvPoint{INT_MIN, INT_MAX}}) {
        fb.XorCopy(at, 20, 20, source);
    }
    EXPECT_EQ(fb.Image(), before);
}

TEST(FrameBuffer, IconsAreDrawnWithTheirMaskAndClipped) {
    QImage icon(32, 32, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    for (int k = 0; k < 32; ++k) {
        icon.setPixel(k, k, 0xFFFF0000u);  // an opaque red diagonal, the rest masked out
    }
    const CPvImage image = PvImageFromQImage(icon);
    CPvFrameBuffer fb(40, 40);
    Scribble(fb);
    const QImage before = fb.Image().copy();
    fb.DrawIcon({-5, 4}, image);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool onIcon = x - -5 == y - 4 && y - 4 < 32;
            ASSERT_EQ(fb.Image().pixel(x, y), onIcon ? 0xFFFF0000u : before.pixel(x, y))
                << "pixel (" << x << ", " << y << ")";
        }
    }
}

}  // namespace
