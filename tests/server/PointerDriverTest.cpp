#include "server/PointerDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/server/RecordingSink.h"

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;
using K = Message::Kind;

constexpr Message kEnd{K::Skipped, -1};  // stands for the end of the connection in the tables

struct Case {
    const char* name;
    std::vector<Message> messages;
    Lines expected;  // what the desktop's device is told
};

TEST(PointerDriver, MessagesBecomeDeviceEvents) {
    const std::vector<Case> cases = {
        {"positions before any extent are ignored",
         {{K::Position, 10, 10}, {K::Extent, 960, 1072}, {K::Position, 10, 10}},
         {"move 342 306"}},
        {"corners and middle of the extent",
         {{K::Extent, 960, 1072},
          {K::Position, 0, 0},
          {K::Position, 960, 1072},
          {K::Position, 960, 0},
          {K::Position, 0, 1072},
          {K::Position, 480, 536}},
         {"move 0 0", "move 32767 32767", "move 32767 0", "move 0 32767", "move 16384 16384"}},
        {"outside the extent is clamped to its edges",
         {{K::Extent, 240, 320}, {K::Position, -5, 400}, {K::Position, 9999, -999}},
         {"move 0 32767", "move 32767 0"}},
        {"the latest extent maps",
         {{K::Extent, 240, 320}, {K::Position, 120, 160}, {K::Extent, 480, 640}, {K::Position, 120, 160}},
         {"move 16384 16384", "move 8192 8192"}},
        {"an empty extent maps nowhere",
         {{K::Extent, 240, 320},
          {K::Extent, 0, 320},
          {K::Position, 1, 1},
          {K::Extent, -5, 9},
          {K::Position, 1, 1}},
         {}},
        {"left button", {{K::ButtonDown}, {K::ButtonUp}}, {"left down", "left up"}},
        {"double click",
         {{K::ButtonDown}, {K::ButtonUp}, {K::ButtonDown}, {K::ButtonUp}},
         {"left down", "left up", "left down", "left up"}},
        {"repeated press and stray release change nothing",
         {{K::ButtonUp}, {K::ButtonDown}, {K::ButtonDown}, {K::ButtonUp}, {K::ButtonUp}},
         {"left down", "left up"}},
        {"right click is a press and a release", {{K::RightClick}}, {"right down", "right up"}},
        {"attach and skipped bytes move nothing", {{K::Attach}, {K::Skipped, 7}}, {}},
        {"a held button is released when the connection ends",
         {{K::Extent, 100, 100}, {K::ButtonDown}, {K::Position, 50, 50}, kEnd},
         {"left down", "move 16384 16384", "left up"}},
        {"a released button stays released at the end",
         {{K::ButtonDown}, {K::ButtonUp}, kEnd, kEnd},
         {"left down", "left up"}},
        {"the extent outlives the connection",
         {{K::Extent, 100, 100}, kEnd, {K::Position, 100, 0}},
         {"move 32767 0"}},
    };
    for (const Case& c : cases) {
        test::RecordingDevice device;
        PointerDriver driver(device);
        for (const Message& message : c.messages) {
            if (message == kEnd) {
                driver.OnConnectionEnd();
            } else {
                driver.OnMessage(message);
            }
        }
        EXPECT_EQ(device.Lines(), c.expected) << c.name;
    }
}

TEST(PointerDriver, ADeviceThatRefusesEventsIsReportedOnceAndItsButtonReleasedLater) {
    test::RecordingDevice device;
    Lines log;
    PointerDriver driver(device, Mapping(), [&](const std::string& line) { log.push_back(line); });
    driver.OnMessage({K::Extent, 100, 100});
    driver.OnMessage({K::ButtonDown});
    device.failing = true;
    driver.OnMessage({K::Position, 50, 50});
    driver.OnMessage({K::ButtonUp});
    driver.OnMessage({K::RightClick});
    device.failing = false;
    driver.OnMessage({K::Position, 100, 100});
    // The release the device refused is tried again at the end of the connection.
    driver.OnConnectionEnd();
    EXPECT_EQ(device.Lines(), (Lines{"left down", "refused move 16384 16384", "refused left up",
                                     "refused right down", "move 32767 32767", "left up"}));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("the virtual pointer refused an event (No such device)"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find("takes events again; 3 were lost"), std::string::npos) << log[1];

    // A second outage is reported afresh and counts only its own losses.
    device.failing = true;
    driver.OnMessage({K::Position, 0, 0});
    device.failing = false;
    driver.OnMessage({K::Position, 0, 0});
    ASSERT_EQ(log.size(), 4u);
    EXPECT_NE(log[2].find("refused an event"), std::string::npos) << log[2];
    EXPECT_NE(log[3].find("takes events again; 1 were lost"), std::string::npos) << log[3];
}

TEST(PointerDriver, AKnownExtentMapsTheFirstPositionAndANewOneIsReported) {
    test::RecordingDevice device;
    std::vector<std::pair<int, int>> reported;
    PointerDriver driver(device, Mapping(), {}, [&](int a, int b) { reported.emplace_back(a, b); });
    driver.SetExtent(200, 100);
    driver.OnMessage({K::Position, 100, 100});
    driver.OnMessage({K::Extent, 200, 100});  // the same: nothing to keep
    driver.OnMessage({K::Extent, 960, 1072});
    // A change in one axis alone is a new Extent too.
    driver.OnMessage({K::Extent, 960, 500});
    driver.OnMessage({K::Extent, 700, 500});
    driver.OnMessage({K::Extent, 0, 5});  // unusable: not kept
    EXPECT_EQ(device.Lines(), (Lines{"move 16384 32767"}));
    EXPECT_EQ(reported, (std::vector<std::pair<int, int>>{{960, 1072}, {960, 500}, {700, 500}}));
}

TEST(PointerDriver, AKnownExtentMustBeUsableAndOnePixelIsUsable) {
    struct Known {
        int a, b;
        Lines expected;  // after one Position at (1, 1)
    };
    const Known known[] = {
        {0, 100, {}}, {100, 0, {}}, {-5, 100, {}}, {100, -5, {}}, {0, 0, {}},
        {1, 1, {"move 32767 32767"}}, {2, 2, {"move 16384 16384"}},
    };
    for (const Known& k : known) {
        SCOPED_TRACE(std::to_string(k.a) + " " + std::to_string(k.b));
        test::RecordingDevice device;
        PointerDriver driver(device, Mapping(), {}, {});
        driver.SetExtent(k.a, k.b);
        driver.OnMessage({K::Position, 1, 1});
        EXPECT_EQ(device.Lines(), k.expected);
    }
}

}  // namespace
}  // namespace pv::server
