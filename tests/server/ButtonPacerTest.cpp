#include "server/ButtonPacer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;
using K = Message::Kind;
using std::chrono::milliseconds;

// Writes down each message with the clock's time when it reached the desktop's side.
struct TimedSink : MessageSink {
    void OnMessage(const Message& message) override {
        lines.push_back(std::to_string(*ms) + " " + FormatMessage(message));
    }
    void OnConnectionEnd() override { lines.push_back(std::to_string(*ms) + " end"); }
    const long* ms = nullptr;
    Lines lines;
};

// A step of a case: at time `at` (ms), a message arrives, or the connection
// ends (kEnd), or only the clock moves on and the loop writes what is due (kTick).
constexpr Message kEnd{K::Skipped, -1};
constexpr Message kTick{K::Skipped, -2};
struct Step {
    long at;
    Message message;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
    Lines expected;  // "time message" as the sink saw them
};

TEST(ButtonPacer, PressesWaitForTheirButtonsReleaseAndNothingElseWaits) {
    const Message down{K::ButtonDown}, up{K::ButtonUp}, right{K::RightClick};
    const std::vector<Case> cases = {
        {"a double click in one write: the second press 30 ms after the first release",
         {{0, down}, {0, up}, {0, down}, {0, up}, {29, kTick}, {30, kTick}},
         {"0 down", "0 up", "30 down", "30 up"}},
        {"motion after a waiting press waits behind it, in order",
         {{0, {K::Extent, 960, 1072}}, {0, down}, {0, up}, {0, down},
          {5, {K::Position, 1, 2}}, {10, up}, {12, {K::Position, 3, 4}}, {40, kTick}},
         {"0 extent 960 1072", "0 down", "0 up", "40 down", "40 position 1 2", "40 up", "40 position 3 4"}},
        {"motion alone is never delayed, nor a press long after the release",
         {{0, down}, {0, up}, {1, {K::Position, 5, 5}}, {31, down}, {32, {K::Position, 6, 6}}},
         {"0 down", "0 up", "1 position 5 5", "31 down", "32 position 6 6"}},
        {"the spacing counts from when the release was written, not when it arrived",
         {{0, down}, {0, up}, {0, down}, {0, up}, {0, down}, {30, kTick}, {59, kTick}, {60, kTick}},
         {"0 down", "0 up", "30 down", "30 up", "60 down"}},
        {"right clicks are spaced from each other, not from the left button",
         {{0, down}, {0, up}, {0, right}, {0, right}, {30, kTick}},
         {"0 down", "0 up", "0 right-click", "30 right-click"}},
        {"a repeated press or a stray release neither waits nor starts a spacing",
         {{0, up}, {0, down}, {0, down}, {0, up}, {0, up}, {40, down}},
         {"0 up", "0 down", "0 down", "0 up", "0 up", "40 down"}},
        {"the end writes what waits at once and the end follows it",
         {{0, down}, {0, up}, {0, down}, {1, {K::Position, 7, 7}}, {2, kEnd}},
         {"0 down", "0 up", "2 down", "2 position 7 7", "2 end"}},
        {"the release at the end starts a spacing for the next connection's press",
         {{0, down}, {5, kEnd}, {6, down}, {35, kTick}},
         {"0 down", "5 end", "35 down"}},
    };
    for (const Case& c : cases) {
        long ms = 0;
        TimedSink sink;
        sink.ms = &ms;
        ButtonPacer pacer(sink, milliseconds(30),
                          [&] { return ButtonPacer::Clock::time_point(milliseconds(1000 + ms)); });
        for (const Step& step : c.steps) {
            ms = step.at;
            if (step.message == kEnd) {
                pacer.OnConnectionEnd();
            } else if (step.message == kTick) {
                pacer.WriteDue();
            } else {
                pacer.OnMessage(step.message);
            }
        }
        EXPECT_EQ(sink.lines, c.expected) << c.name;
    }
}

TEST(ButtonPacer, NamesWhenTheWaitingPressIsDue) {
    long ms = 0;
    TimedSink sink;
    sink.ms = &ms;
    auto at = [](long t) { return ButtonPacer::Clock::time_point(milliseconds(1000 + t)); };
    ButtonPacer pacer(sink, milliseconds(30), [&] { return at(ms); });
    EXPECT_EQ(pacer.NextDue(), std::nullopt);
    pacer.OnMessage({K::ButtonDown});
    ms = 4;
    pacer.OnMessage({K::ButtonUp});
    pacer.OnMessage({K::ButtonDown});
    EXPECT_EQ(pacer.NextDue(), at(34));
    ms = 34;
    pacer.WriteDue();
    EXPECT_EQ(pacer.NextDue(), std::nullopt);
    EXPECT_EQ(sink.lines, (Lines{"0 down", "4 up", "34 down"}));
}

}  // namespace
}  // namespace pv::server
