// The edges of a usable Extent: the smallest one maps, and one that is empty in
// either axis maps nowhere (a Position under it must neither move the pointer nor
// divide by zero).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/PointerDriver.h"
#include "tests/server/RecordingSink.h"

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;
using K = Message::Kind;

struct Case {
    const char* name;
    std::vector<Message> messages;
    Lines expected;  // what the desktop's device is told
};

TEST(PointerDriver, SmallestExtentMapsAndAnExtentEmptyInOneAxisMapsNowhere) {
    const std::vector<Case> cases = {
        {"one by one is usable",
         {{K::Extent, 1, 1}, {K::Position, 0, 0}, {K::Position, 1, 1}, {K::Position, 5, -5}},
         {"move 0 0", "move 32767 32767", "move 32767 0"}},
        {"one in a single axis is usable",
         {{K::Extent, 1, 320}, {K::Position, 1, 160}, {K::Extent, 240, 1}, {K::Position, 120, 1}},
         {"move 32767 16384", "move 16384 32767"}},
        {"zero in the second axis replaces a usable extent",
         {{K::Extent, 240, 320}, {K::Extent, 240, 0}, {K::Position, 10, 10}},
         {}},
        {"negative in the second axis replaces a usable extent",
         {{K::Extent, 240, 320}, {K::Extent, 240, -5}, {K::Position, 10, 10}},
         {}},
        {"zero in the first axis replaces a usable extent",
         {{K::Extent, 240, 320}, {K::Extent, 0, 320}, {K::Position, 10, 10}},
         {}},
        {"a usable extent after an empty one maps again",
         {{K::Extent, 240, 0}, {K::Position, 10, 10}, {K::Extent, 240, 320}, {K::Position, 240, 320}},
         {"move 32767 32767"}},
    };
    for (const Case& c : cases) {
        test::RecordingDevice device;
        PointerDriver driver(device);
        for (const Message& message : c.messages) {
            driver.OnMessage(message);
        }
        EXPECT_EQ(device.Lines(), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace pv::server
