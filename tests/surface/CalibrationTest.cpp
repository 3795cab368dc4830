// Calibration, Position encoding and the orientation commands, checked against
// the handheld's worked numbers: work area (0, 26)-(240, 294), client area 240 x 268,
// a pen-down at client (100, 50) whose oldest raw point is (401, 305).
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

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
    PvPoint rawOrigin;
    std::string example;  // raw (401, 305)
    std::string corner;   // raw (0, 104), the client area's top-left corner
};

const OrientationCase kOrientations[] = {
    {kNorth, "North", ":09601072", {0, 104}, "> 401 201", ">   0   0"},
    {kWest, "West", ":10720960", {104, 0}, "> 201 559", ">   0 960"},
    {kSouth, "South", ":09601072", {0, 104}, "> 559 871", "> 9601072"},
    {kEast, "East", ":10720960", {104, 0}, "> 871 401", ">1072   0"},
};

TEST(Calibration, WorkedExampleInEveryOrientation) {
    for (const auto& c : kOrientations) {
        SCOPED_TRACE(c.name);
        CSurfaceRig rig;
        rig.view.OnCommand(c.id);
        EXPECT_TRUE(rig.io.writes.empty()) << "choosing an orientation sends nothing";

        rig.host.history = {{401, 305}};
        rig.view.OnPenDown({100, 50});
        EXPECT_EQ(rig.io.writes, Writes{c.extent});
        EXPECT_EQ(rig.view.m_ptRawOrigin, c.rawOrigin);
        EXPECT_EQ(rig.view.m_ptClientOffset, (PvPoint{0, 26}));
        EXPECT_FALSE(rig.view.m_bNeedCalibration);
        rig.io.writes.clear();

        // One batch, one write, record k at byte 9k.
        rig.host.history = {{401, 305}, {0, 104}};
        rig.view.OnPenMove({100, 50});
        EXPECT_EQ(rig.io.writes, Writes{c.example + c.corner});

        // The conversion back to pixels ignores the orientation.
        EXPECT_EQ(rig.view.RawToClient({401, 305}), (PvPoint{100, 50}));
        EXPECT_EQ(rig.view.RawToClient({0, 104}), (PvPoint{0, 0}));
    }
}

TEST(Calibration, RatioIsAWholeNumberTakenBeforeConversion) {
    CSurfaceRig rig;
    // 7 raw units at pixel 1 means 7 per pixel: 240 x 7 wide.
    rig.host.history = {{7, 305}};
    rig.view.OnPenDown({1, 50});
    EXPECT_EQ(rig.io.writes, Writes{":16801072"});
    EXPECT_EQ(rig.view.m_dRatioX, 7.0);
    EXPECT_EQ(rig.view.m_dRatioY, 4.0);
    // 401 / 100 is 4, not 4.01.
    CSurfaceRig second;
    second.Calibrate();
    EXPECT_EQ(second.view.m_dRatioX, 4.0);
    EXPECT_EQ(second.view.m_nTabletWidth, 960);
}

TEST(Calibration, PositionNumbersOutsideTheClientAreaAreSentAsTheyAre) {
    CSurfaceRig rig;
    rig.Calibrate();
    const PvPoint points[] = {{401, 54}, {20000, 104}, {INT_MAX, INT_MIN}};
    rig.view.SendPositions(points, 3);
    // Above the top edge: negative. Beyond four characters: held at the widest field.
    EXPECT_EQ(rig.io.writes, Writes{"> 401 -50>9999   0>9999-999"});
}

TEST(Calibration, ABatchIsOneWriteOfNineBytesAPoint) {
    CSurfaceRig rig;
    rig.Calibrate();
    rig.view.SendPositions(nullptr, 0);
    EXPECT_EQ(rig.io.writes, Writes{""}) << "an empty batch is still one write";
    rig.io.writes.clear();

    std::vector<PvPoint> points;
    std::string expected;
    for (int k = 0; k < 16; ++k) {
        points.push_back({1000 + k, 104 + 100 * k});
        char record[16];
        std::snprintf(record, sizeof record, ">%4d%4d", 1000 + k, 100 * k);
        expected += record;
    }
    rig.view.SendPositions(points.data(), 16);
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
        EXPECT_TRUE(rig.view.m_bNeedCalibration);
        EXPECT_EQ(rig.view.m_dRatioX, 1.0);
        EXPECT_EQ(rig.view.m_dRatioY, 1.0);
        EXPECT_EQ(rig.view.m_ptRawOrigin, (PvPoint{0, 0}));

        // The lift at a measurable point calibrates before its click.
        rig.host.workArea = {0, 26, 240, 294};
        rig.host.history = {{401, 305}};
        rig.view.OnPenUp({100, 50});
        EXPECT_EQ(rig.io.writes, (Writes{":09601072", "!^"}));
        EXPECT_FALSE(rig.view.m_bNeedCalibration);
    }
}

TEST(Calibration, SkippedCalibrationKeepsThePreviousValues) {
    CSurfaceRig rig;
    rig.Calibrate();
    rig.view.OnCommand(kWest);
    rig.host.history = {{401, 305}};
    rig.view.OnPenDown({0, 50});
    EXPECT_TRUE(rig.io.writes.empty());
    EXPECT_TRUE(rig.view.m_bNeedCalibration);
    EXPECT_EQ(rig.view.m_nTabletWidth, 960);
    EXPECT_EQ(rig.view.m_nTabletHeight, 1072);
    EXPECT_EQ(rig.view.m_ptRawOrigin, (PvPoint{0, 104}));
    EXPECT_EQ(rig.view.RawToClient({401, 305}), (PvPoint{100, 50}));
}

TEST(Calibration, UnknownOrientationSendsNothingButStillSetsTheOffset) {
    CSurfaceRig rig;
    rig.Calibrate();
    rig.view.m_nOrientation = 5;
    rig.view.m_bNeedCalibration = true;
    rig.host.workArea = {0, 30, 240, 294};
    EXPECT_EQ(rig.view.Calibrate({401, 305}, {100, 50}), (PvPoint{-1, -1}));
    EXPECT_FALSE(rig.view.m_bNeedCalibration);
    EXPECT_EQ(rig.view.m_ptClientOffset, (PvPoint{0, 30}));
    EXPECT_EQ(rig.view.m_nTabletWidth, 960);
    EXPECT_TRUE(rig.io.writes.empty());

    const PvPoint point{401, 305};
    rig.view.SendPositions(&point, 1);
    EXPECT_EQ(rig.io.writes, Writes{""});

    const int profileWrites = rig.profile.writes;
    rig.view.RotateOrientation();
    EXPECT_EQ(rig.view.m_nOrientation, 5);
    EXPECT_EQ(rig.profile.writes, profileWrites);
    EXPECT_EQ(rig.host.invalidations, 1);
}

TEST(Calibration, ReconnectionDuringTheExtentRepeatsIt) {
    CSurfaceRig rig;
    rig.io.failWrites = 1;
    rig.host.history = {{401, 305}};
    rig.view.OnPenDown({100, 50});
    EXPECT_TRUE(rig.io.writes.empty());
    EXPECT_EQ(rig.io.connects.size(), 2u) << "the failed write reconnects";
    EXPECT_TRUE(rig.view.m_bNeedCalibration);
    EXPECT_TRUE(rig.boxes.shown.empty());

    rig.view.OnPenUp({100, 50});
    EXPECT_EQ(rig.io.writes, (Writes{":09601072", "!^"}));
    EXPECT_FALSE(rig.view.m_bNeedCalibration);
}

TEST(Orientation, MenuChoiceMovesCheckMarkPersistsAndAsksForCalibration) {
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
    EXPECT_EQ(rig.view.m_nOrientation, kWest);
    EXPECT_EQ(rig.profile.Int("Orientation"), kWest);
    EXPECT_TRUE(rig.view.m_bNeedCalibration);
    EXPECT_EQ(rig.host.invalidations, 0) << "the icon changes at the next paint only";
    EXPECT_TRUE(rig.io.writes.empty());
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
    int step = 0;
    for (const int expected : order) {
        SCOPED_TRACE(step);
        rig.view.m_bNeedCalibration = false;
        rig.view.OnCommand(pv::cmd::kRotateOrientation);
        EXPECT_EQ(rig.view.m_nOrientation, expected);
        EXPECT_EQ(rig.profile.Int("Orientation"), expected);
        EXPECT_TRUE(rig.view.m_bNeedCalibration);
        EXPECT_EQ(rig.host.invalidations, ++step);
        ASSERT_FALSE(rig.host.checks.empty());
        EXPECT_EQ(rig.host.checks.back().id, expected);
        EXPECT_TRUE(rig.host.checks.back().checked);
    }
    EXPECT_TRUE(rig.io.writes.empty());
}

TEST(Orientation, FirstPaintAppliesTheStoredValueOnce) {
    struct Case {
        const char* stored;  // nullptr: no value
        int applied;
    };
    const Case cases[] = {{nullptr, kNorth}, {"32776", kSouth}, {"32777", kEast}, {"5", kNorth}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "none");
        CSurfaceRig::Settings settings;
        if (c.stored) {
            settings.emplace_back("Orientation", c.stored);
        }
        CSurfaceRig rig(settings);
        rig.view.m_bNeedCalibration = false;
        CTabletView::s_bFirstPaint = true;

        EXPECT_TRUE(rig.view.ReloadOrientation());
        EXPECT_FALSE(CTabletView::s_bFirstPaint);
        EXPECT_EQ(rig.view.m_nOrientation, c.applied);
        EXPECT_EQ(rig.profile.Int("Orientation"), c.applied) << "written back";
        ASSERT_EQ(rig.host.checks.size(), 5u);
        EXPECT_EQ(rig.host.checks.back().id, c.applied);
        EXPECT_TRUE(rig.view.m_bNeedCalibration);

        // Later paints only reload: a value changed from outside is taken as it stands.
        rig.profile.Set("Orientation", "9");
        EXPECT_FALSE(rig.view.ReloadOrientation());
        EXPECT_EQ(rig.view.m_nOrientation, 9);
        EXPECT_EQ(rig.host.checks.size(), 5u);
        EXPECT_EQ(CTabletView::IconForOrientation(rig.view.m_nOrientation), 0);
    }
    CTabletView::s_bFirstPaint = true;
}

TEST(Orientation, IconOfEachOrientation) {
    EXPECT_EQ(CTabletView::IconForOrientation(kNorth), 133);
    EXPECT_EQ(CTabletView::IconForOrientation(kWest), 130);
    EXPECT_EQ(CTabletView::IconForOrientation(kSouth), 131);
    EXPECT_EQ(CTabletView::IconForOrientation(kEast), 132);
}

}  // namespace
