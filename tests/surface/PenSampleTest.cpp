// A pen's samples as the surface sends them where the desktop takes them: the
// Extent first, then one record per sample, placed as a Position would be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "surface/Commands.h"
#include "tests/surface/SurfaceRig.h"

namespace {

using Writes = std::vector<std::string>;

PvPenSample Sample(PvPenSample::Phase phase, PvPoint client, PvPoint raw, int pressure = 0, int tiltX = 0,
                   int tiltY = 0, unsigned buttons = 0) {
    PvPenSample sample;
    sample.phase = phase;
    sample.client = client;
    sample.raw = raw;
    sample.pressure = pressure;
    sample.tiltX = tiltX;
    sample.tiltY = tiltY;
    sample.buttons = buttons;
    return sample;
}

TEST(PenSamples, OnlyWhereTheDesktopTakesThemExtentFirstPlacedAsPositions) {
    using Phase = PvPenSample::Phase;
    CSurfaceRig rig;
    EXPECT_FALSE(rig.view.TakesPenSamples());
    rig.io.penSamples = true;
    EXPECT_TRUE(rig.view.TakesPenSamples());

    // The worked example's point (4 raw units per pixel): measured as a pen-down would be.
    rig.view.OnPenSample(Sample(Phase::Hover, {100, 50}, {401, 305}, 0, 12, -5));
    rig.view.OnPenSample(Sample(Phase::Touch, {100, 50}, {401, 305}, 1000, 12, -5));
    rig.view.OnPenSample(Sample(Phase::Touch, {240, 268}, {960, 1176}, 4095, -90, 90, 2));
    rig.view.OnPenSample(Sample(Phase::Out, {240, 268}, {960, 1176}));
    EXPECT_EQ(rig.io.writes, (Writes{":09601072", "~h 401 2010000 12 -500", "~t 401 2011000 12 -500",
                                     "~t 96010724095-90 9002", "~o 96010720000  0  000"}));

    // In every orientation a sample lands where a Position of the same raw point does.
    for (int orientation : {pv::cmd::kOrientationNorth, pv::cmd::kOrientationWest, pv::cmd::kOrientationSouth,
                            pv::cmd::kOrientationEast}) {
        SCOPED_TRACE(orientation);
        CSurfaceRig turned;
        turned.io.penSamples = true;
        turned.view.OnCommand(orientation);
        turned.Calibrate();
        for (PvPoint raw : {PvPoint{401, 305}, PvPoint{0, 104}, PvPoint{960, 1176}}) {
            turned.host.history = {raw};
            turned.view.OnPenMove({0, 0});
            ASSERT_EQ(turned.io.writes.size(), 1u);
            const std::string position = turned.io.writes[0];
            turned.io.writes.clear();
            turned.view.OnPenSample(Sample(Phase::Hover, {0, 0}, raw));
            ASSERT_EQ(turned.io.writes.size(), 1u);
            EXPECT_EQ(turned.io.writes[0].substr(2, 8), position.substr(1, 8));
            turned.io.writes.clear();
        }
    }
}

}  // namespace
