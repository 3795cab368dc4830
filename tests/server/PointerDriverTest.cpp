#include "PointerDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordingSink.h"

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
         {"move 341 305"}},
        {"corners and middle of the extent",
         {{K::Extent, 960, 1072},
          {K::Position, 0, 0},
          {K::Position, 960, 1072},
          {K::Position, 960, 0},
          {K::Position, 0, 1072},
          {K::Position, 480, 536}},
         {"move 0 0", "move 32767 32767", "move 32767 0", "move 0 32767", "move 16383 16383"}},
        {"outside the extent is clamped to its edges",
         {{K::Extent, 240, 320}, {K::Position, -5, 400}, {K::Position, 9999, -999}},
         {"move 0 32767", "move 32767 0"}},
        {"the latest extent maps",
         {{K::Extent, 240, 320}, {K::Position, 120, 160}, {K::Extent, 480, 640}, {K::Position, 120, 160}},
         {"move 16383 16383", "move 8191 8191"}},
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
         {"left down", "move 16383 16383", "left up"}},
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

}  // namespace
}  // namespace pv::server
