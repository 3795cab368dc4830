// Where Positions land on the desktop: the device values are turned into the
// pixel that libinput and X give for them (value * width / 32768, truncated),
// and compared with the pixel meant, written out by hand.

#include "server/Mapping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/Options.h"

namespace pv::server {
namespace {

struct Point {
    int x;
    int y;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Landing {
    Point position;
    Point pixel;
};

struct Case {
    const char* name;
    std::vector<std::string> args;  // the command line's mapping options
    PixelSize screen;               // the whole desktop, as the display server sees it
    Point extent;
    std::vector<Landing> landings;
};

TEST(Mapping, PositionsLandOnThePixelsMeant) {
    const std::vector<Case> cases = {
        {"1920 x 1080 desktop",
         {"--desktop", "1920x1080"},
         {1920, 1080},
         {960, 1072},
         {{{0, 0}, {0, 0}},
          {{960, 1072}, {1919, 1079}},
          {{480, 536}, {960, 540}},
          {{240, 268}, {480, 270}},
          {{1, 1}, {2, 1}},
          {{959, 1071}, {1918, 1078}},
          {{-5, 9999}, {0, 1079}},
          {{2000, -100}, {1919, 0}}}},
        {"2560 x 1440 desktop",
         {"--desktop", "2560x1440"},
         {2560, 1440},
         {960, 1072},
         {{{0, 0}, {0, 0}},
          {{960, 1072}, {2559, 1439}},
          {{480, 536}, {1280, 720}},
          {{1, 1}, {2, 1}},
          {{959, 1071}, {2557, 1438}},
          {{320, 357}, {853, 479}},
          {{9999, 9999}, {2559, 1439}}}},
        {"the right one of two 1920 x 1080 monitors",
         {"--desktop", "3840x1080", "--area", "1920x1080+1920+0"},
         {3840, 1080},
         {960, 1072},
         {{{0, 0}, {1920, 0}}, {{960, 1072}, {3839, 1079}}, {{480, 536}, {2880, 540}}, {{-1, -1}, {1920, 0}}}},
        {"the right monitor, the handheld's shape kept: 967 x 1080 in its middle",
         {"--desktop", "3840x1080", "--area", "1920x1080+1920+0", "--keep-aspect"},
         {3840, 1080},
         {960, 1072},
         {{{0, 0}, {2396, 0}},
          {{960, 1072}, {3362, 1079}},
          {{480, 536}, {2879, 540}},
          {{-5, 2000}, {2396, 1079}},
          {{9999, -5}, {3362, 0}}}},
        {"a wide Extent kept on a 1920 x 1080 desktop: 1920 x 358 in its middle",
         {"--desktop", "1920x1080", "--keep-aspect"},
         {1920, 1080},
         {1072, 200},
         {{{0, 0}, {0, 361}}, {{1072, 200}, {1919, 718}}, {{536, 100}, {960, 540}}}},
        // Without --desktop the server does not know the screen: corners, middle
        // and quarters still land exactly, on any screen.
        {"no --desktop, seen on 1920 x 1080",
         {},
         {1920, 1080},
         {960, 1072},
         {{{0, 0}, {0, 0}}, {{960, 1072}, {1919, 1079}}, {{480, 536}, {960, 540}}, {{240, 268}, {480, 270}}}},
        {"no --desktop, seen on 2560 x 1440",
         {},
         {2560, 1440},
         {960, 1072},
         {{{0, 0}, {0, 0}}, {{960, 1072}, {2559, 1439}}, {{480, 536}, {1280, 720}}, {{720, 804}, {1920, 1080}}}},
    };
    for (const Case& c : cases) {
        ParsedOptions parsed = ParseOptions(c.args);
        ASSERT_EQ(parsed.error, "") << c.name;
        Mapping mapping(parsed.options.mapping);
        for (const Landing& landing : c.landings) {
            auto [vx, vy] = mapping.Map(landing.position.x, landing.position.y, c.extent.x, c.extent.y);
            ASSERT_GE(vx, 0);
            ASSERT_LE(vx, kAxisMax);
            ASSERT_GE(vy, 0);
            ASSERT_LE(vy, kAxisMax);
            Point pixel{Mapping::PixelOf(vx, c.screen.width), Mapping::PixelOf(vy, c.screen.height)};
            EXPECT_EQ(pixel, landing.pixel) << c.name << ": Position " << landing.position.x << " "
                                            << landing.position.y << " gave " << pixel.x << " " << pixel.y;
            if (parsed.options.mapping.desktop) {
                // Away from the pixel's edges, so that a display server that
                // rounds instead of truncating lands on it too.
                for (auto [value, size] : {std::pair(vx, c.screen.width), std::pair(vy, c.screen.height)}) {
                    double within = static_cast<double>(value) * size / (kAxisMax + 1) - Mapping::PixelOf(value, size);
                    EXPECT_GT(within, 0.3) << c.name;
                    EXPECT_LT(within, 0.7) << c.name;
                }
            }
        }
    }
}

TEST(Mapping, EveryPixelOfTheDesktopHasAValue) {
    for (int size : {1080, 1366, 1920, 2560, 3840, 7680}) {
        for (int pixel = 0; pixel < size; ++pixel) {
            ASSERT_EQ(Mapping::PixelOf(Mapping::ValueOf(pixel, size), size), pixel) << size;
        }
    }
}

TEST(Mapping, OptionsParseOrNameTheFault) {
    struct Row {
        std::vector<std::string> args;
        const char* error;  // a part of the error, or "" for none
    };
    const std::vector<Row> rows = {
        {{"--desktop", "3840x1080", "--area", "1920x1080+1920+0", "--keep-aspect"}, ""},
        {{"--area=1920x1080+0+0", "--desktop=1920x1080"}, ""},
        {{"--desktop", "1920x1080", "--area", "1920x1080+1+0"}, "reaches past the desktop"},
        {{"--area", "1920x1080+0+0"}, "--area needs --desktop"},
        {{"--keep-aspect"}, "--keep-aspect needs --desktop"},
        {{"--desktop", "1920"}, "--desktop: '1920' is not a size"},
        {{"--desktop", "0x1080"}, "is not a size"},
        {{"--desktop", "40000x1080"}, "is not a size"},
        {{"--desktop", "-1920x1080"}, "is not a size"},
        {{"--desktop", "1920x1080", "--area", "10x10+-1+0"}, "is not a rectangle"},
        {{"--desktop", "1920x1080", "--area", "10x10"}, "is not a rectangle"},
        {{"--extent", "960", "1072"}, ""},
        {{"--extent", "960"}, "--extent needs two numbers"},
        {{"--extent", "0", "1072"}, "--extent needs two numbers"},
        {{"--extent", "960", "x"}, "(got 'x')"},
        {{"--state-dir", "/tmp/x"}, ""},
        {{"--state-dir="}, "--state-dir needs a folder"},
    };
    for (const Row& row : rows) {
        ParsedOptions parsed = ParseOptions(row.args);
        if (*row.error == '\0') {
            EXPECT_EQ(parsed.error, "") << row.args[0];
        } else {
            EXPECT_NE(parsed.error.find(row.error), std::string::npos) << row.args[0] << ": " << parsed.error;
        }
    }
    ParsedOptions parsed = ParseOptions({"--extent", "960", "1072", "--state-dir", "/tmp/x"});
    EXPECT_EQ(parsed.options.extent, std::pair(960, 1072));
    EXPECT_EQ(parsed.options.stateDir, "/tmp/x");
}

}  // namespace
}  // namespace pv::server
