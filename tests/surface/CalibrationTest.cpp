// Calibration, Position encoding and the orientation commands, checked against
// the handheld's worked numbers: work area (0, 26)-(240, 294), client area 240 x 268,
// a pen-down at client (100, 50) whose oldest raw point is (401, 305).
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/FrameBuffer.h"
#include "surface/Commands.h"
#include "tests/surface/SurfaceRig.h"

namespace {

using Writes = std::vector<std::string>;

constexpr int kNorth = pv::cmd::kOrientationNorth;
constexpr int kWest = pv::cmd::kOrientationWest;
constexpr int kSouth = pv::cmd::kOrientationSouth;
constexpr int kEast = pv::cmd::kOrientationEast;

struct OrientationCase {
    int id;
    const char* name;
    std::string extent;
    std::string example;  // raw (401, 305)
    std::string corner;   // raw (0, 104), the client area's top-left corner
    std::string far;      // raw (960, 1176), the client area's bottom-right corner
};

const OrientationCase kOrientations[] = {
    {kNorth, "North", ":09601072", "> 401 201", ">   0   0", "> 9601072"},
    {kWest, "West", ":10720960", "> 201 559", ">   0 960", ">1072   0"},
    {kSouth, "South", ":09601072", "> 559 871", "> 9601072", ">   0   0"},
    {kEast, "East", ":10720960", "> 871 401", ">1072   0", ">   0 960"},
};

// Pixels of a 32 x 32 box that are neither black nor white: the orientation icon is cyan
// and coloured, the grid and the background are not.
int ColouredPixels(IDrawSurface& frame, PvPoint topLeft) {
    auto& buffer = static_cast<CPvFrameBuffer&>(frame);
    int count = 0;
    for (int y = topLeft.y; y < topLeft.y + 32; ++y) {
        for (int x = topLeft.x; x < topLeft.x + 32; ++x) {
            const PvColor c = buffer.Pixel(x, y);
            count += (c != kPvBlack && c != kPvWhite) ? 1 : 0;
        }
    }
    return count;
}

TEST(Calibration, WorkedExampleInEveryOrientation) {
    for (const auto& c : kOrientations) {
        SCOPED_TRACE(c.name);
        CSurfaceRig rig;
        rig.view.OnCommand(c.id);
        EXPECT_TRUE(rig.io.writes.empty()) << "choosing an orientation sends nothing";

        rig.host.history = {{401, 305}};
        rig.view.OnPenDown({100, 50});
        EXPECT_EQ(rig.io.writes, Writes{c.extent});
        rig.io.writes.clear();

        // One batch, one write, record k at byte 9k; the numbers are measured from the
        // client area's corner, whatever the orientation.
        rig.host.history = {{401, 305}, {0, 104}, {960, 1176}};
        rig.view.OnPenMove({240, 268});
        EXPECT_EQ(rig.io.writes, Writes{c.example + c.corner + c.far});
        rig.view.OnPenUp({240, 268});

        // The conversion back to pixels ignores the orientation, and the next pen-down
        // sends no second Extent.
        EXPECT_EQ(rig.ClientOf({401, 305}), (PvPoint{100, 50}));
        EXPECT_EQ(rig.ClientOf({0, 104}), (PvPoint{0, 0}));
        rig.host.history = {{401, 305}};
        rig.view.OnPenDown({100, 50});
        EXPECT_TRUE(rig.io.writes.empty());
    }
}

TEST(Calibration, RatioIsAWholeNumberTakenBeforeConversion) {
    CSurfaceRig rig;
    // 7 raw units at pixel 1 means 7 per pixel: 240 x 7 wide; y gives 305 / 76 = 4.
    rig.host.history = {{7, 305}};
    rig.view.OnPenDown({1, 50});
    EXPECT_EQ(rig.io.writes, Writes{":16801072"});
    rig.view.OnPenUp({1, 50});
    EXPECT_EQ(rig.ClientOf({700, 504}), (PvPoint{100, 100}));

    // 401 / 100 is 4, not 4.01: 960 wide, and raw 401 is pixel 100.
    CSurfaceRig second;
    second.Calibrate();
    EXPECT_EQ(second.ClientOf({401, 305}), (PvPoint{100, 50}));
    EXPECT_EQ(second.ClientOf({803, 307}), (PvPoint{200, 50})) << "truncated toward zero";
}

TEST(Calibration, PositionNumbersOutsideTheClientAreaAreSentAsTheyAre) {
    CSurfaceRig rig;
    rig.Calibrate();
    rig.host.history = {{401, 54}, {20000, 104}, {INT_MAX, INT_MIN}};
    rig.view.OnPenMove({100, 50});
    // Above the top edge: negative. Beyond four characters: held at the widest field.
    EXPECT_EQ(rig.io.writes, Writes{"> 401 -50>9999   0>9999-999"});
}

TEST(Calibration, ABatchIsOneWriteOfNineBytesAPoint) {
    CSurfaceRig rig;
    rig.Calibrate();
    rig.host.history = {};
    rig.view.OnPenMove({100, 50});
    EXPECT_EQ(rig.io.writes, Writes{""}) << "an empty batch is still one write";
    rig.io.writes.clear();

    std::string expected;
    rig.host.history.clear();
    for (int k = 0; k < 16; ++k) {
        rig.host.history.push_back({1000 + k, 104 + 100 * k});
        char record[16];
        std::snprintf(record, sizeof record, ">%4d%4d", 1000 + k, 100 * k);
        expected += record;
    }
    rig.view.OnPenMove({100, 50});
    ASSERT_EQ(rig.io.writes.size(), 1u);
    EXPECT_EQ(rig.io.writes[0].size(), 144u);
    EXPECT_EQ(rig.io.writes[0], expected);
}

// A calibration that cannot measure a ratio is dropped whole and tried again at the next pen event.
TEST(Calibration, UnmeasurableRatioIsSkippedAndRetried) {
    struct Case {
        const char* name;
        PvRect workArea;
        PvPoint raw;
        PvPoint client;
    };
    const Case cases[] = {
        {"client x 0", {0, 26, 240, 294}, {401, 305}, {0, 50}},
        {"screen y 0", {0, 0, 240, 268}, {401, 305}, {100, 0}},
        {"ratio x 0", {0, 26, 240, 294}, {50, 305}, {100, 50}},
        {"ratio y 0", {0, 26, 240, 294}, {401, 20}, {100, 50}},
        {"client x left of the surface", {0, 26, 240, 294}, {401, 305}, {-3, 50}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSurfaceRig rig;
        rig.host.workArea = c.workArea;
        rig.host.history = {c.raw};
        rig.view.OnPenDown(c.client);
        EXPECT_TRUE(rig.io.writes.empty());
        // Nothing was measured: positions are raw numbers from a zero origin.
        rig.host.history = {{8, 12}};
        rig.view.OnPenMove({2, 3});
        EXPECT_EQ(rig.io.writes, Writes{">   8  12"});
        rig.io.writes.clear();

        // The lift at a measurable point calibrates before its release.
        rig.host.workArea = {0, 26, 240, 294};
        rig.host.history = {{401, 305}};
        rig.view.OnPenUp({100, 50});
        EXPECT_EQ(rig.io.writes, (Writes{":09601072", "^", "> 401 201"}));
    }
}

TEST(Calibration, SkippedCalibrationKeepsThePreviousValues) {
    CSurfaceRig rig;
    rig.Calibrate();
    rig.view.OnCommand(kWest);
    rig.host.history = {{401, 305}};
    rig.view.OnPenDown({0, 50});
    EXPECT_TRUE(rig.io.writes.empty());
    // The North calibration (origin, width and height) still holds for the numbers,
    // now written West.
    rig.host.history = {{401, 305}};
    rig.view.OnPenMove({100, 50});
    EXPECT_EQ(rig.io.writes, Writes{"> 305 671"});
    rig.io.writes.clear();
    rig.view.OnPenUp({100, 50});
    EXPECT_EQ(rig.io.writes, (Writes{":10720960", "^", "> 201 559"})) << "and it is tried again";
    EXPECT_EQ(rig.ClientOf({401, 305}), (PvPoint{100, 50}));

    // The other way round: the West origin shifts raw y only in its first number, so
    // North numbers made with it carry raw y unshifted.
    rig.view.OnCommand(kNorth);
    rig.io.writes.clear();
    rig.host.history = {{401, 305}};
    rig.view.OnPenDown({0, 50});
    rig.view.OnPenMove({100, 50});
    EXPECT_EQ(rig.io.writes, Writes{"> 401 305"});
}

TEST(Calibration, UnknownOrientationSendsNoExtentAndNoPositionsButStillSetsTheOffset) {
    CSurfaceRig rig(CSurfaceRig::Settings{{"Orientation", "5"}});
    rig.Calibrate();
    // The first paint replaced the unknown value; one stored later is taken at the next paint.
    rig.profile.Set("Orientation", "5");
    rig.view.OnPaint();
    rig.view.OnCommand(pv::cmd::kRotateOrientation);
    EXPECT_EQ(rig.profile.writes, 0) << "rotating from an unknown orientation changes nothing";
    EXPECT_EQ(rig.host.invalidations, 1);

    rig.view.OnSize(240, 264);
    rig.host.workArea = {0, 30, 240, 294};
    rig.host.client = {0, 0, 240, 264};
    rig.host.history = {{401, 305}};
    rig.view.OnPenDown({100, 50});
    rig.view.OnPenMove({100, 50});
    rig.view.OnPenUp({100, 50});
    EXPECT_EQ(rig.io.writes, (Writes{"", "^", ""})) << "Position batches are empty";
    // The work area's new top is the client offset now; the ratio is the old one.
    EXPECT_EQ(rig.ClientOf({401, 305}), (PvPoint{100, 46}));
}

TEST(Calibration, ReconnectionDuringTheExtentRepeatsIt) {
    CSurfaceRig rig;
    rig.io.failWrites = 1;
    rig.host.history = {{401, 305}};
    rig.view.OnPenDown({100, 50});
    EXPECT_TRUE(rig.io.writes.empty());
    EXPECT_EQ(rig.io.connects.size(), 2u) << "the failed write reconnects";
    EXPECT_TRUE(rig.boxes.shown.empty());

    rig.view.OnPenUp({100, 50});
    EXPECT_EQ(rig.io.writes, (Writes{":09601072", "!^"}));
    rig.io.writes.clear();
    rig.view.OnPenDown({100, 50});
    EXPECT_TRUE(rig.io.writes.empty()) << "sent once";
}

TEST(Calibration, ASizeChangeAsksForANewExtent) {
    CSurfaceRig rig;
    rig.Calibrate();
    rig.view.OnSize(300, 374);
    rig.host.workArea = {0, 26, 300, 400};
    rig.host.client = {0, 0, 300, 374};
    rig.host.history = {{401, 305}};
    rig.view.OnPenDown({100, 50});
    EXPECT_EQ(rig.io.writes, Writes{":12001496"});
}

TEST(Orientation, MenuChoiceMovesCheckMarkPersistsRepaintsAndAsksForCalibration) {
    CSurfaceRig rig;
    rig.Calibrate();
    rig.view.OnCommand(kWest);
    using Check = CFakeViewHost::Check;
    const std::vector<std::pair<int, bool>> expected = {
        {kNorth, false}, {kWest, false}, {kEast, false}, {kSouth, false}, {kWest, true}};
    std::vector<std::pair<int, bool>> checks;
    for (const Check& c : rig.host.checks) {
        checks.emplace_back(c.id, c.checked);
    }
    EXPECT_EQ(checks, expected);
    EXPECT_EQ(rig.profile.Int("Orientation"), kWest);
    EXPECT_EQ(rig.host.invalidations, 1) << "the icon shows the new orientation at once";
    EXPECT_TRUE(rig.io.writes.empty());
    rig.host.history = {{401, 305}};
    rig.view.OnPenDown({100, 50});
    EXPECT_EQ(rig.io.writes, Writes{":10720960"});
    // Every one of the four choices repaints at once.
    for (const int id : {kNorth, kWest, kSouth, kEast}) {
        rig.host.invalidations = 0;
        rig.view.OnCommand(id);
        EXPECT_EQ(rig.host.invalidations, 1) << id;
    }
}

TEST(Orientation, ChoosingTheCurrentOneStillRecalibrates) {
    CSurfaceRig rig;
    rig.Calibrate();
    rig.view.OnCommand(kNorth);
    EXPECT_EQ(rig.profile.writes, 1);
    EXPECT_EQ(rig.profile.Int("Orientation"), kNorth);
    rig.host.history = {{401, 305}};
    rig.view.OnPenDown({100, 50});
    EXPECT_EQ(rig.io.writes, Writes{":09601072"});
}

TEST(Orientation, RotateCyclesThroughAllFourAndRepaints) {
    CSurfaceRig rig;
    const int order[] = {kWest, kSouth, kEast, kNorth};
    const char* extents[] = {":10720960", ":09601072", ":10720960", ":09601072"};
    int step = 0;
    for (const int expected : order) {
        SCOPED_TRACE(step);
        rig.Calibrate();
        rig.view.OnCommand(pv::cmd::kRotateOrientation);
        EXPECT_EQ(rig.profile.Int("Orientation"), expected);
        EXPECT_EQ(rig.host.invalidations, 1);
        ASSERT_FALSE(rig.host.checks.empty());
        EXPECT_EQ(rig.host.checks.back().id, expected);
        EXPECT_TRUE(rig.host.checks.back().checked);
        EXPECT_TRUE(rig.io.writes.empty());
        rig.host.history = {{401, 305}};
        rig.view.OnPenDown({100, 50});
        EXPECT_EQ(rig.io.writes, Writes{extents[step]});
        rig.view.OnPenUp({100, 50});
        ++step;
    }
}

TEST(Orientation, FirstPaintAppliesTheStoredValueOnceAndEveryPaintReloadsIt) {
    struct Case {
        const char* stored;  // nullptr: no value
        int applied;
        const char* extent;
    };
    const Case cases[] = {{nullptr, kNorth, ":09601072"},
                          {"32776", kSouth, ":09601072"},
                          {"32777", kEast, ":10720960"},
                          {"5", kNorth, ":09601072"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "none");
        CSurfaceRig::Settings settings;
        if (c.stored) {
            settings.emplace_back("Orientation", c.stored);
        }
        CSurfaceRig rig(settings);
        rig.Calibrate();
        CTabletView::ResetFirstPaint();
        rig.view.OnPaint();
        EXPECT_EQ(rig.profile.Int("Orientation"), c.applied) << "written back";
        ASSERT_EQ(rig.host.checks.size(), 5u);
        EXPECT_EQ(rig.host.checks.back().id, c.applied);
        EXPECT_GT(ColouredPixels(*rig.host.frame, {104, 118}), 0) << "the icon is shown";
        rig.host.history = {{401, 305}};
        rig.view.OnPenDown({100, 50});
        EXPECT_EQ(rig.io.writes, Writes{c.extent}) << "the calibration is asked for again";
        rig.view.OnPenUp({100, 50});

        // Later paints only reload: a value changed from outside is taken as it stands,
        // and none of the four shows no icon.
        rig.profile.Set("Orientation", "9");
        rig.view.OnPaint();
        EXPECT_EQ(rig.host.checks.size(), 5u);
        EXPECT_EQ(ColouredPixels(*rig.host.frame, {104, 118}), 0);
        rig.profile.Set("Orientation", "32775");
        rig.view.OnPaint();
        EXPECT_GT(ColouredPixels(*rig.host.frame, {104, 118}), 0);
    }
}

}  // namespace
