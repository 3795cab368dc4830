// The ink canvas on a real framebuffer, pixel by pixel: the grid and the icon for
// several sizes, the exclusive-or crosshair, live ink against a repaint, and the
// clear command.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>
#include <vector>

#include "platform/FrameBuffer.h"
#include "surface/Images.h"
#include "surface/Commands.h"
#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/Picture.h"
#include "tests/support/RecordingLink.h"
#include "tests/support/Recorders.h"

namespace {

// A surface of the given client size with an in-memory profile. It never connects:
// nothing here writes to the desktop.
struct CCanvasRig {
    explicit CCanvasRig(int width = 240, int height = 268, const char* orientation = nullptr)
        : host({0, 26, width, 26 + height}, {0, 0, width, height}), view(Profile(orientation), host, io) {}

    CPvFrameBuffer& Frame() { return static_cast<CPvFrameBuffer&>(*host.frame); }
    CPicture Snapshot() { return CPicture(Frame()); }

    // A slide in cursor mode: the crosshair goes to point.
    void Slide(PvPoint point) {
        host.history = {{1, 1}};
        view.OnPenMove(point);
    }
    // One stroke through points, drawn live while the action button is held; the pen
    // stays down and the button is let go, so the crosshair stays hidden.
    void Draw(const std::vector<PvPoint>& points) {
        view.OnKeyDown(pv::key::kAction, 0);
        Stroke(points);
        view.OnKeyUp(pv::key::kAction, 0);
    }
    // The pen goes down at the first point and moves through the rest.
    void Stroke(const std::vector<PvPoint>& points) {
        host.history = {{1, 1}};
        view.OnPenDown(points.front());
        for (std::size_t i = 1; i < points.size(); ++i) {
            view.OnPenMove(points[i]);
        }
    }

    CMemoryProfile& Profile(const char* orientation) {
        // Every rig is the first window of its own run.
        CTabletView::ResetFirstPaint();
        if (orientation != nullptr) {
            profile.Set("Orientation", orientation);
        }
        return profile;
    }

    CMemoryProfile profile;
    CFakeViewHost host;
    CRecordingLink io;
    CTabletView view;
};

// The white pixels of the crosshair with its top-left corner at (left, top), as far as
// they fall on a width x height surface.
Pixels Crosshair(int left, int top, int width, int height) {
    const std::vector<std::vector<int>> bars = {{9, 10, 0, 8},   {9, 10, 11, 19}, {0, 8, 9, 10},
                                                {11, 19, 9, 10}, {8, 11, 7, 7},   {8, 11, 12, 12},
                                                {7, 12, 8, 8},   {7, 12, 11, 11}};
    Pixels pixels;
    for (const auto& b : bars) {
        for (int y = b[2]; y <= b[3]; ++y) {
            for (int x = b[0]; x <= b[1]; ++x) {
                const int sx = left + x;
                const int sy = top + y;
                if (sx >= 0 && sx < width && sy >= 0 && sy < height) {
                    pixels.insert({sx, sy});
                }
            }
        }
    }
    return pixels;
}

// The empty surface as it must look: white, black lines at the given columns and rows,
// and the icon with its top-left corner at iconAt.
CPicture Expected(int width, int height, const std::vector<int>& columns, const std::vector<int>& rows,
                  int iconId, PvPoint iconAt) {
    CPicture image(width, height, kPvWhite);
    for (int x : columns) {
        for (int y = 0; y < height; ++y) {
            image.Set(x, y, kPvBlack);
        }
    }
    for (int y : rows) {
        for (int x = 0; x < width; ++x) {
            image.Set(x, y, kPvBlack);
        }
    }
    if (iconId != 0) {
        const CPvImage& icon = PvIconImage(iconId);
        EXPECT_EQ(icon.Width(), 32);
        EXPECT_EQ(icon.Height(), 32);
        for (int y = 0; y < 32 && y < icon.Height(); ++y) {
            for (int x = 0; x < 32 && x < icon.Width(); ++x) {
                if (image.Contains(iconAt.x + x, iconAt.y + y)) {
                    image.Set(iconAt.x + x, iconAt.y + y, icon.Pixel(x, y));
                }
            }
        }
    }
    return image;
}

std::vector<int> Every16(int first, int last) {
    std::vector<int> values;
    for (int v = first; v <= last; v += 16) {
        values.push_back(v);
    }
    return values;
}

TEST(Canvas, GridAndIconForSeveralSizes) {
    struct Case {
        int width, height;
        std::vector<int> columns, rows;
        PvPoint iconAt;
    };
    const Case cases[] = {
        {240, 268, Every16(0, 224), Every16(0, 256), {104, 118}},
        {16, 40, {0}, {0, 16, 32}, {-8, 4}},
        {17, 40, {0, 16}, {0, 16, 32}, {-7, 4}},
        {20, 40, {0, 16}, {0, 16, 32}, {-6, 4}},
        {21, 40, {0, 16}, {0, 16, 32}, {-5, 4}},
        {33, 31, {0, 16, 32}, {0, 16}, {0, 0}},
    };
    ASSERT_EQ(cases[0].columns.size(), 15u);
    ASSERT_EQ(cases[0].rows.size(), 17u);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        CCanvasRig rig(c.width, c.height);
        rig.view.OnPaint();
        EXPECT_EQ(rig.host.paints, 1);
        EXPECT_EQ(rig.Snapshot(),
                  Expected(c.width, c.height, c.columns, c.rows, pv::res::kIconNorth, c.iconAt));
    }
}

TEST(Canvas, EveryPaintShowsTheStoredOrientation) {
    CCanvasRig rig(240, 268, "32776");
    rig.view.OnPaint();
    const auto columns = Every16(0, 224);
    const auto rows = Every16(0, 256);
    EXPECT_EQ(rig.Snapshot(), Expected(240, 268, columns, rows, pv::res::kIconSouth, {104, 118}));

    // Changed behind the surface's back: the next paint follows the profile.
    rig.profile.Set("Orientation", "32775");
    rig.view.OnPaint();
    EXPECT_EQ(rig.Snapshot(), Expected(240, 268, columns, rows, pv::res::kIconWest, {104, 118}));

    // A value that is none of the four has no icon once the first paint is past.
    rig.profile.Set("Orientation", "7");
    rig.view.OnPaint();
    EXPECT_EQ(rig.Snapshot(), Expected(240, 268, columns, rows, 0, {}));
}

TEST(Canvas, CursorIsTheCrosshairInvertedAroundItsPoint) {
    CCanvasRig rig;
    const CPicture blank = rig.Snapshot();
    rig.Slide({120, 130});
    EXPECT_EQ(rig.Snapshot(), blank) << "no cursor image before the first paint";
    EXPECT_EQ(rig.view.CursorPoint(), (PvPoint{120, 130}));

    // The first paint loads the image and shows the cursor where it stands.
    rig.view.OnPaint();
    const CPicture shown = rig.Snapshot();
    rig.Slide({0, 0});
    const CPicture painted = rig.Snapshot();
    const Pixels changed = Changed(painted, shown);
    EXPECT_EQ(changed.size(), 84u);
    EXPECT_EQ(changed, Crosshair(110, 120, 240, 268));
    // The hole covers the point and the three pixels left of, above and above-left of it.
    for (const auto& [x, y] : Pixels{{120, 130}, {119, 130}, {120, 129}, {119, 129}}) {
        EXPECT_FALSE(changed.count({x, y})) << x << ", " << y;
    }
    for (const auto& [x, y] : changed) {
        EXPECT_EQ(shown.At(x, y), painted.At(x, y) ^ 0x00FFFFFFu);
    }

    // A repaint keeps the cursor exactly where it was.
    rig.Slide({120, 130});
    EXPECT_EQ(rig.Snapshot(), shown);
    rig.view.OnPaint();
    EXPECT_EQ(rig.Snapshot(), shown);
}

TEST(Canvas, MovingTheCursorKeepsOneCursorOnScreen) {
    CCanvasRig rig;
    rig.view.OnPaint();
    const CPicture painted = rig.Snapshot();

    rig.Slide({50, 60});
    rig.Slide({50, 60});
    EXPECT_EQ(Changed(painted, rig.Snapshot()), Crosshair(40, 50, 240, 268)) << "moving onto itself keeps it";

    rig.Slide({0, 0});
    EXPECT_EQ(rig.Snapshot(), painted) << "(0, 0) is no cursor";
    rig.view.OnPaint();
    EXPECT_EQ(rig.Snapshot(), painted) << "nothing to erase or show";

    rig.Slide({200, 100});
    EXPECT_EQ(Changed(painted, rig.Snapshot()), Crosshair(190, 90, 240, 268));

    // Hidden the way drawing hides it (a press with the action button), then shown elsewhere.
    rig.view.OnKeyDown(pv::key::kAction, 0);
    rig.host.history = {{1, 1}};
    rig.view.OnPenDown({30, 40});
    rig.view.OnPenUp({30, 40});
    rig.view.OnKeyUp(pv::key::kAction, 0);
    rig.Slide({30, 40});
    EXPECT_EQ(Changed(painted, rig.Snapshot()), Crosshair(20, 30, 240, 268));
}

TEST(Canvas, CursorAtTheEdgesIsClippedAndErasedExactly) {
    const PvPoint points[] = {{3, 3}, {0, 7}, {7, 0}, {239, 267}, {235, 5}, {-4, 100}, {120, 275}};
    for (const PvPoint& p : points) {
        SCOPED_TRACE(testing::Message() << "cursor at (" << p.x << ", " << p.y << ")");
        CCanvasRig rig;
        rig.view.OnPaint();
        rig.Draw({{0, 0}, {239, 267}});  // ink under the cursor too
        const CPicture before = rig.Snapshot();
        rig.Slide(p);
        const Pixels changed = Changed(before, rig.Snapshot());
        EXPECT_EQ(changed, Crosshair(p.x - 10, p.y - 10, 240, 268));
        EXPECT_FALSE(changed.empty()) << "only (0, 0) means no cursor";
        rig.Slide({0, 0});
        EXPECT_EQ(rig.Snapshot(), before);
    }
}

TEST(Canvas, CursorFarOffTheSurfaceShowsNothing) {
    CCanvasRig rig;
    rig.view.OnPaint();
    const CPicture painted = rig.Snapshot();
    for (const PvPoint p : {PvPoint{INT_MIN, 100}, PvPoint{100, INT_MIN + 3}, PvPoint{INT_MAX, INT_MAX}}) {
        rig.Slide(p);
        EXPECT_EQ(rig.Snapshot(), painted);
        EXPECT_EQ(rig.view.CursorPoint(), p);
    }
    rig.Slide({60, 60});
    EXPECT_EQ(Changed(painted, rig.Snapshot()), Crosshair(50, 50, 240, 268));
}

TEST(Canvas, APenDownDrawsNothingAndNeitherDoesAOnePointStroke) {
    CCanvasRig rig;
    rig.view.OnPaint();
    const CPicture painted = rig.Snapshot();
    rig.Draw({{50, 50}});
    EXPECT_EQ(rig.Snapshot(), painted);
    rig.view.OnPaint();
    EXPECT_EQ(rig.Snapshot(), painted);
}

TEST(Canvas, LiveSegmentIsTwoPixelsWideWithoutItsEndPoint) {
    CCanvasRig rig;
    rig.view.OnPaint();
    const CPicture painted = rig.Snapshot();
    rig.Draw({{50, 40}, {60, 40}});
    Pixels expected;
    for (int x = 50; x < 60; ++x) {
        expected.insert({x, 40});
        expected.insert({x, 41});
    }
    EXPECT_EQ(Changed(painted, rig.Snapshot()), expected);
    // A second stroke, drawn on top of the first.
    const CPicture first = rig.Snapshot();
    rig.Draw({{60, 50}, {60, 60}});
    Pixels down;
    for (int y = 50; y < 60; ++y) {
        down.insert({60, y});
        down.insert({61, y});
    }
    EXPECT_EQ(Changed(first, rig.Snapshot()), down);
}

TEST(Canvas, LiveInkEqualsWhatARepaintDraws) {
    const std::vector<std::vector<PvPoint>> strokes = {
        {{30, 30}, {60, 45}, {61, 80}, {20, 81}, {30, 30}},
        {{100, 100}, {140, 140}, {100, 140}, {140, 100}, {120, 120}},  // across the icon, turning back
        {{200, 20}, {180, 20}, {230, 20}, {200, 20}},                  // back and forth on one row
        {{5, 200}, {-20, 210}, {-20, 300}, {250, 300}, {235, 250}},    // out of the client area and back
        {{16, 16}, {16, 64}, {64, 64}, {17, 17}},                      // along grid lines
    };
    for (std::size_t k = 0; k < strokes.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "stroke " << k);
        CCanvasRig rig;
        rig.view.OnPaint();
        const CPicture painted = rig.Snapshot();
        rig.Draw(strokes[k]);
        const CPicture live = rig.Snapshot();
        EXPECT_FALSE(Changed(painted, live).empty());
        rig.view.OnPaint();
        EXPECT_EQ(rig.Snapshot(), live);
    }

    // Several strokes, one pen-down each, while the action button stays down.
    CCanvasRig rig;
    rig.view.OnPaint();
    rig.view.OnKeyDown(pv::key::kAction, 0);
    rig.Stroke({{10, 10}, {40, 20}});
    rig.Stroke({{100, 200}, {90, 150}, {120, 160}});
    const CPicture live = rig.Snapshot();
    rig.view.OnPaint();
    EXPECT_EQ(rig.Snapshot(), live);
    // Pressing the button again with the pen up wipes them; the lift left the cursor there.
    rig.view.OnPenUp({120, 160});
    rig.view.OnKeyUp(pv::key::kAction, 0);
    rig.view.OnKeyDown(pv::key::kAction, 0);
    CCanvasRig blank;
    blank.view.OnPaint();
    blank.Slide({120, 160});
    EXPECT_EQ(rig.Snapshot(), blank.Snapshot());
}

TEST(Canvas, AMoveWithoutACurrentStrokeBeginsOne) {
    CCanvasRig rig;
    rig.view.OnPaint();
    rig.Draw({{20, 20}, {40, 40}});
    // The pen goes down again with no button, the ink is cleared, then the button is pressed.
    rig.host.history = {{1, 1}};
    rig.view.OnPenDown({70, 90});
    rig.view.OnCommand(pv::cmd::kClearScreen);
    const CPicture cleared = rig.Snapshot();
    rig.view.OnKeyDown(pv::key::kAction, 0);

    rig.view.OnPenMove({70, 90});
    EXPECT_EQ(rig.Snapshot(), cleared) << "the first point only begins the stroke";
    rig.view.OnPenMove({80, 90});
    EXPECT_EQ(Changed(cleared, rig.Snapshot()).size(), 20u) << "the segment from the new stroke's start";
}

TEST(Canvas, ClearScreenRepaintsAtOnceAndKeepsTheCursor) {
    CCanvasRig reference;
    reference.view.OnPaint();
    reference.Slide({112, 130});  // over the icon: the cursor lies on top
    const CPicture expected = reference.Snapshot();

    CCanvasRig rig;
    rig.view.OnPaint();
    rig.Draw({{60, 60}, {120, 80}, {100, 20}});
    rig.Slide({112, 130});
    const int paints = rig.host.paints;
    EXPECT_TRUE(rig.view.OnCommand(pv::cmd::kClearScreen));
    EXPECT_EQ(rig.host.paints, paints + 1) << "painted within the command, bracket and all";
    EXPECT_EQ(rig.host.invalidations, 0);
    EXPECT_EQ(rig.view.CursorPoint(), (PvPoint{112, 130}));
    EXPECT_EQ(rig.Snapshot(), expected);
    rig.view.OnPaint();
    EXPECT_EQ(rig.Snapshot(), expected) << "the strokes are gone, not just painted over";

    // With nothing to clear the whole surface is still painted again.
    rig.Frame().FillSolidRect({5, 5, 200, 200}, 0x00FF00);
    EXPECT_TRUE(rig.view.OnCommand(pv::cmd::kClearScreen));
    EXPECT_EQ(rig.host.paints, paints + 3);
    EXPECT_EQ(rig.Snapshot(), expected);
}

TEST(Canvas, ClearScreenCanBeTheFirstPaint) {
    CCanvasRig rig;
    rig.view.OnCommand(pv::cmd::kClearScreen);
    EXPECT_EQ(rig.Snapshot(),
              Expected(240, 268, Every16(0, 224), Every16(0, 256), pv::res::kIconNorth, {104, 118}));
    EXPECT_EQ(rig.profile.Int("Orientation"), pv::cmd::kOrientationNorth) << "the stored orientation applied";
    const CPicture painted = rig.Snapshot();
    rig.Slide({60, 60});
    EXPECT_EQ(Changed(painted, rig.Snapshot()), Crosshair(50, 50, 240, 268)) << "and the cursor image loaded";
}

TEST(Stroke, DrawsItsSegmentsWithItsOwnPenAndRestoresThePrevious) {
    CPvFrameBuffer fb(20, 20);
    CStroke stroke(2);
    stroke.m_points = {{2, 2}};
    EXPECT_TRUE(stroke.Draw(fb));
    const CPvFrameBuffer blank(20, 20);
    EXPECT_EQ(CPicture(fb), CPicture(blank)) << "one point draws nothing";

    stroke.m_points = {{2, 2}, {6, 2}, {6, 5}};
    EXPECT_TRUE(stroke.Draw(fb));
    const Pixels expected = {{2, 2}, {3, 2}, {4, 2}, {5, 2}, {2, 3}, {3, 3}, {4, 3},
                             {5, 3}, {6, 2}, {7, 2}, {6, 3}, {7, 3}, {6, 4}, {7, 4}};
    EXPECT_EQ(Changed(CPicture(blank), CPicture(fb)), expected);
    EXPECT_EQ(fb.SelectPen(nullptr), nullptr) << "the default pen is selected again";
}

}  // namespace
