// The gesture engine's byte stream, one write at a time, for scripted event
// sequences. The surface is calibrated at 4 raw units per pixel with the client
// area's top at raw y 104, so client (x, y) is raw (4x, 4y + 104) and goes out as
// the Position numbers (4x, 4y) in the North orientation.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "surface/Commands.h"
#include "tests/surface/SurfaceRig.h"

namespace {

using Writes = std::vector<std::string>;

enum class Ev { Down, Move, Up, DoubleTap, Hold, ActionDown, ActionRepeat, ActionUp, OtherKey, Timer };

struct Step {
    Ev event;
    PvPoint point;                 // client point; screen point for Hold
    std::vector<PvPoint> history;  // raw points the platform buffered for the event
    Writes writes;                 // what the event writes, one entry per write
};

// Client points and their raw points.
constexpr PvPoint A{100, 50}, rA{400, 304};
constexpr PvPoint B{110, 60}, rB{440, 344};
constexpr PvPoint C{120, 70}, rC{480, 384};
constexpr PvPoint D{130, 80}, rD{520, 424};
constexpr PvPoint rZ{4, 108};  // an older point the engine must skip where it wants the newest
const std::string pA = "> 400 200", pB = "> 440 240", pC = "> 480 280", pD = "> 520 320";

// Screen point of a tap-and-hold at client A: the work area starts at screen y 26.
constexpr PvPoint sA{100, 76};

void Play(CSurfaceRig& rig, const std::vector<Step>& steps) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        rig.host.history = s.history;
        rig.io.writes.clear();
        switch (s.event) {
            case Ev::Down:
                rig.view.OnPenDown(s.point);
                break;
            case Ev::Move:
                rig.view.OnPenMove(s.point);
                break;
            case Ev::Up:
                rig.view.OnPenUp(s.point);
                break;
            case Ev::DoubleTap:
                rig.view.OnDoubleTap(s.point);
                break;
            case Ev::Hold:
                rig.view.OnTapAndHold(s.point);
                break;
            case Ev::ActionDown:
                rig.view.OnKeyDown(pv::key::kAction, 0);
                break;
            case Ev::ActionRepeat:
                rig.view.OnKeyDown(pv::key::kAction, pv::key::kRepeatFlag);
                break;
            case Ev::ActionUp:
                rig.view.OnKeyUp(pv::key::kAction, 0);
                break;
            case Ev::OtherKey:
                rig.view.OnKeyDown(0x41, 0);
                rig.view.OnKeyUp(0x41, 0);
                break;
            case Ev::Timer:
                rig.view.OnTimer(1);
                break;
        }
        EXPECT_EQ(rig.io.writes, s.writes) << "step " << i;
    }
    rig.io.writes.clear();
}

using Timers = std::vector<std::pair<int, int>>;

class Gestures : public ::testing::Test {
protected:
    Gestures() { rig.Calibrate(); }

    // Timers started, as (id, milliseconds).
    Timers Started() const {
        Timers started;
        for (const auto& t : rig.host.timers) {
            started.emplace_back(t.id, t.ms);
        }
        return started;
    }
    // The strokes a repaint draws, oldest first.
    std::vector<std::vector<PvPoint>> Strokes() {
        rig.host.drawn.polylines.clear();
        rig.view.OnPaint();
        return rig.host.drawn.polylines;
    }
    std::size_t StrokeCount() { return Strokes().size(); }
    std::vector<PvPoint> LastStroke() {
        const auto strokes = Strokes();
        return strokes.empty() ? std::vector<PvPoint>{} : strokes.back();
    }
    // Whether the extended drawing window is still open: a pen-down inside it presses.
    bool WindowOpen() {
        rig.io.writes.clear();
        rig.host.history = {rB};
        rig.view.OnPenDown(B);
        const bool pressed = !rig.io.writes.empty();
        rig.io.writes.clear();
        return pressed;
    }

    // Tap-and-hold at A, drag through B, C and D, lift: the extended drawing window opens.
    void HoldDrag() {
        Play(rig, {{Ev::Down, A, {rA}, {}},
                   {Ev::Hold, sA, {rZ, rA}, {pA, "!", pA}},
                   {Ev::Move, B, {rB}, {pB}},
                   {Ev::Move, D, {rC, rD}, {pC + pD}},
                   {Ev::Up, D, {rD}, {"^", pD}}});
    }

    CSurfaceRig rig;
};

// Whatever makes the next pen event measure again may come between the two taps of a
// double tap; the double tap then sends the fresh Extent before its second click.
TEST(GesturesFromStart, ARotationResizeOrReconnectionBetweenTheTapsOfADoubleTapSendsTheExtentFirst) {
    const std::vector<std::pair<const char*, void (*)(CSurfaceRig&)>> between{
        {"rotation", [](CSurfaceRig& r) {
             r.view.OnCommand(pv::cmd::kOrientationWest);
             r.view.OnCommand(pv::cmd::kOrientationNorth);
         }},
        {"resize", [](CSurfaceRig& r) { r.view.OnSize(240, 268); }},
        {"reconnection", [](CSurfaceRig& r) {
             r.io.failWrites = 1;
             r.view.OnCommand(pv::cmd::kRightClick);
         }},
    };
    for (const auto& [what, change] : between) {
        SCOPED_TRACE(what);
        CSurfaceRig rig;
        rig.Calibrate();
        Play(rig, {{Ev::Down, A, {rA}, {}}, {Ev::Up, A, {rA}, {"!^"}}});
        change(rig);
        Play(rig, {{Ev::DoubleTap, A, {rA}, {":09601072", "!^", pA, "!"}}, {Ev::Up, A, {rA}, {"^"}}});
        EXPECT_TRUE(rig.boxes.shown.empty());
    }
}

TEST(GesturesFromStart, PlainTapSendsExtentThenClick) {
    CSurfaceRig rig;
    Play(rig, {{Ev::Down, A, {rA}, {":09601072"}}, {Ev::Up, A, {rA}, {"!^"}}});
    EXPECT_TRUE(rig.host.timers.empty());
    // A slide that follows is a plain slide: release and its last batch.
    Play(rig, {{Ev::Down, B, {rB}, {}}, {Ev::Move, C, {rC}, {pC}}, {Ev::Up, C, {rC}, {"^", pC}}});
}

TEST_F(Gestures, SlideAndLift) {
    Play(rig, {{Ev::Down, A, {rA}, {}},
               {Ev::Move, B, {rA, rB}, {pA + pB}},
               {Ev::Move, C, {rC}, {pC}},
               {Ev::Up, C, {rC}, {"^", pC}}});
    EXPECT_EQ(rig.view.CursorPoint(), C);
    EXPECT_TRUE(Started().empty());
    EXPECT_EQ(StrokeCount(), 0u);
    // No click was left pending: the next tap clicks.
    Play(rig, {{Ev::Down, A, {rA}, {}}, {Ev::Up, A, {rA}, {"!^"}}});
}

TEST_F(Gestures, CursorFollowsTheNewestHistoryPoint) {
    Play(rig, {{Ev::Down, A, {rA}, {}}, {Ev::Move, D, {rA, rB, rC}, {pA + pB + pC}}});
    EXPECT_EQ(rig.view.CursorPoint(), C) << "from the history, not the message's point";
}

TEST_F(Gestures, PlainTapsFarApartEachClick) {
    // Taps that are not double taps (each arrives as a pen-down): every one clicks, so a
    // user pressing "Next" once a second loses none of them.
    Play(rig, {{Ev::Down, A, {rA}, {}},
               {Ev::Up, A, {rA}, {"!^"}},
               {Ev::Down, B, {rB}, {}},
               {Ev::Up, B, {rB}, {"!^"}},
               {Ev::Down, C, {rC}, {}},
               {Ev::Up, C, {rC}, {"!^"}}});
    EXPECT_TRUE(Started().empty());
    // A double tap after them still completes a double click with the last one.
    Play(rig, {{Ev::DoubleTap, C, {rC}, {"!^", pC, "!"}}, {Ev::Up, C, {rC}, {"^"}}});
    EXPECT_EQ(Started(), (Timers{{1, 500}}));
}

TEST_F(Gestures, DoubleTapAndLift) {
    Play(rig, {{Ev::Down, A, {rA}, {}},
               {Ev::Up, A, {rA}, {"!^"}},
               {Ev::DoubleTap, A, {rA}, {"!^", pA, "!"}},
               {Ev::Up, A, {rA}, {"^"}}});
    EXPECT_EQ(Started(), (Timers{{1, 500}}));
    EXPECT_TRUE(WindowOpen());
}

TEST_F(Gestures, DoubleTapAndDrag) {
    Play(rig, {{Ev::Down, A, {rA}, {}},
               {Ev::Up, A, {rA}, {"!^"}},
               {Ev::DoubleTap, A, {rA}, {"!^", pA, "!"}},
               {Ev::Move, B, {rA, rB}, {}},
               {Ev::Move, D, {rC, rD}, {pC + pD}},
               {Ev::Up, D, {rD}, {"^"}}});
    EXPECT_EQ(LastStroke(), (std::vector<PvPoint>{A, B, C, D}));
    EXPECT_EQ(StrokeCount(), 1u);
    EXPECT_EQ(Started(), (Timers{{1, 500}}));
}

TEST_F(Gestures, DoubleTapWithoutAPrecedingClick) {
    // The first tap slid, so it clicked nothing: the second touch only presses.
    Play(rig, {{Ev::Down, A, {rA}, {}},
               {Ev::Move, B, {rB}, {pB}},
               {Ev::Up, B, {rB}, {"^", pB}},
               {Ev::DoubleTap, B, {rB}, {pB, "!"}},
               {Ev::Move, C, {rC}, {pC}},
               {Ev::Up, C, {rC}, {"^", pC}}});
    EXPECT_EQ(StrokeCount(), 0u);
    EXPECT_TRUE(Started().empty());
}

TEST_F(Gestures, TapAndHoldThenDrag) {
    HoldDrag();
    EXPECT_EQ(LastStroke(), (std::vector<PvPoint>{A, B, C, D}));
    EXPECT_EQ(Started(), (Timers{{1, 500}}));
    EXPECT_EQ(rig.view.CursorPoint(), (PvPoint{0, 0})) << "hidden while drawing";
    // When the window closes the cursor comes back where the pen was lifted.
    rig.view.OnTimer(1);
    EXPECT_EQ(rig.view.CursorPoint(), D);
}

TEST_F(Gestures, TapAndHoldThenLiftClicks) {
    Play(rig, {{Ev::Down, A, {rA}, {}}, {Ev::Hold, sA, {rA}, {pA, "!", pA}}, {Ev::Up, A, {rA}, {"!^"}}});
    EXPECT_TRUE(Started().empty());
    EXPECT_FALSE(WindowOpen());
    // The hold's drag ended with the lift: the slide after the probe's pen-down only moves
    // and releases as any slide.
    Play(rig, {{Ev::Move, C, {rC}, {pC}}, {Ev::Up, C, {rC}, {"^", pC}}});
    EXPECT_TRUE(Started().empty());
}

TEST_F(Gestures, TapAndHoldAfterAPlainTapIsAHoldOfItsOwn) {
    // The earlier tap's click does not carry over: the hold's lift clicks as any hold's.
    Play(rig, {{Ev::Down, A, {rA}, {}},
               {Ev::Up, A, {rA}, {"!^"}},
               {Ev::Down, A, {rA}, {}},
               {Ev::Hold, sA, {rA}, {pA, "!", pA}},
               {Ev::Up, A, {rA}, {"!^"}}});
    EXPECT_TRUE(Started().empty());
    EXPECT_FALSE(WindowOpen());
}

TEST_F(Gestures, SecondStrokeWithinTheExtendedDrawingTime) {
    HoldDrag();
    Play(rig, {{Ev::Down, B, {rA, rB}, {pB, "!"}}, {Ev::Move, C, {rC}, {pC}}, {Ev::Up, C, {rC}, {"^", pC}}});
    EXPECT_EQ(StrokeCount(), 2u);
    EXPECT_EQ(LastStroke(), (std::vector<PvPoint>{B, C}));
    EXPECT_EQ(rig.host.kills, std::vector<int>{1});
    EXPECT_EQ(Started(), (Timers{{1, 500}, {1, 500}})) << "renewed";
    EXPECT_TRUE(WindowOpen());
}

TEST_F(Gestures, ExtendedDrawingWindowExpires) {
    HoldDrag();
    Play(rig, {{Ev::Timer, {}, {}, {}}});
    EXPECT_EQ(rig.host.kills, std::vector<int>{1});
    EXPECT_EQ(rig.view.CursorPoint(), D) << "the cursor comes back at the lift point";
    // The next pen-down finds the window expired and presses nothing.
    Play(rig, {{Ev::Down, A, {rA}, {}}, {Ev::Up, A, {rA}, {"!^"}}});
    EXPECT_EQ(Started().size(), 1u);
    EXPECT_FALSE(WindowOpen());
}

TEST_F(Gestures, TimerDuringAStrokeKeepsItAndTheWindow) {
    HoldDrag();
    Play(rig, {{Ev::Down, B, {rB}, {pB, "!"}},
               {Ev::Timer, {}, {}, {}},
               {Ev::Move, C, {rC}, {pC}},
               {Ev::Up, C, {rC}, {"^", pC}}});
    EXPECT_EQ(LastStroke(), (std::vector<PvPoint>{B, C}));
    EXPECT_EQ(rig.host.kills, (std::vector<int>{1, 1}));
    EXPECT_EQ(Started(), (Timers{{1, 500}, {1, 500}}));
    EXPECT_EQ(rig.view.CursorPoint(), (PvPoint{0, 0})) << "the timer left the hidden cursor alone";
    EXPECT_TRUE(WindowOpen()) << "renewed by the lift";
}

TEST_F(Gestures, LongPressInsideTheWindowWipesTheInk) {
    HoldDrag();
    Play(rig, {{Ev::Down, B, {rB}, {pB, "!"}}, {Ev::Hold, {110, 86}, {rB}, {pB, "!", pB}}});
    EXPECT_EQ(StrokeCount(), 1u);
    EXPECT_EQ(LastStroke(), std::vector<PvPoint>{B});
}

TEST_F(Gestures, TwoQuickTapsInsideTheWindow) {
    HoldDrag();
    Play(rig, {{Ev::Down, B, {rB}, {pB, "!"}},
               {Ev::Up, B, {rB}, {"^", pB}},
               {Ev::DoubleTap, B, {rB}, {pB, "!"}},
               {Ev::Move, C, {rC}, {pC}}});
    EXPECT_EQ(StrokeCount(), 2u) << "the double tap begins no stroke";
    EXPECT_EQ(LastStroke(), (std::vector<PvPoint>{B, C}));
}

TEST_F(Gestures, ActionButtonDrawsWithThePen) {
    HoldDrag();
    rig.view.OnTimer(1);
    Play(rig, {{Ev::ActionDown, {}, {}, {}}});
    EXPECT_EQ(StrokeCount(), 0u) << "pressed with the pen up: ink cleared";
    Play(rig, {{Ev::Down, A, {rZ, rA}, {pA, "!"}},
               {Ev::Move, B, {rB}, {pB}},
               {Ev::Up, B, {rB}, {"^", pB}},
               {Ev::ActionUp, {}, {}, {}}});
    EXPECT_EQ(LastStroke(), (std::vector<PvPoint>{A, B}));
    EXPECT_EQ(rig.view.CursorPoint(), B) << "the cursor goes to the lift point";
}

TEST_F(Gestures, ActionButtonAloneClicks) {
    Play(rig, {{Ev::ActionDown, {}, {}, {}}, {Ev::ActionRepeat, {}, {}, {}}, {Ev::ActionUp, {}, {}, {"!^"}}});
}

TEST_F(Gestures, ActionButtonWithThePenDown) {
    Play(rig, {{Ev::Down, A, {rA}, {}},
               {Ev::ActionDown, {}, {}, {"!"}},
               {Ev::Move, B, {rB}, {pB}},
               {Ev::ActionUp, {}, {}, {"^"}},
               {Ev::Up, B, {rB}, {"^", pB}}});
}

TEST_F(Gestures, ActionButtonTapThenRelease) {
    Play(rig, {{Ev::ActionDown, {}, {}, {}},
               {Ev::Down, A, {rA}, {pA, "!"}},
               {Ev::Up, A, {rA}, {"^", pA}},
               {Ev::ActionUp, {}, {}, {"!^"}}});
    EXPECT_EQ(rig.view.CursorPoint(), A);
}

TEST_F(Gestures, RepeatsAndOtherKeysChangeNothing) {
    Play(rig, {{Ev::ActionRepeat, {}, {}, {}}, {Ev::OtherKey, {}, {}, {}}});
    // The button is not down: a tap clicks and draws nothing.
    Play(rig, {{Ev::Down, A, {rA}, {}}, {Ev::Up, A, {rA}, {"!^"}}});
    EXPECT_EQ(StrokeCount(), 0u);
}

TEST_F(Gestures, ToolbarClicksAreSingleWritesAndOtherCommandsAreLeftToTheFrame) {
    EXPECT_TRUE(rig.view.OnCommand(pv::cmd::kLeftClick));
    EXPECT_TRUE(rig.view.OnCommand(pv::cmd::kRightClick));
    EXPECT_TRUE(rig.view.OnCommand(pv::cmd::kDoubleClick));
    EXPECT_EQ(rig.io.writes, (Writes{"!^", "|", "!^!^"}));
    rig.io.writes.clear();
    // Exit, About and Settings are the frame's and the application's: a surface that
    // claimed them would leave those menu entries dead.
    for (int id : {pv::cmd::kAppExit, pv::cmd::kAppAbout, pv::cmd::kSettings, 0}) {
        EXPECT_FALSE(rig.view.OnCommand(id)) << "command " << id;
    }
    EXPECT_TRUE(rig.io.writes.empty());
}

TEST_F(Gestures, TapAndHoldCalibratesWhenItsPenDownHadNoPoint) {
    // A size change asks for a new Extent; the pen-down brings no point to measure with.
    rig.view.OnSize(240, 268);
    Play(rig, {{Ev::Down, A, {}, {}},
               {Ev::Hold, sA, {rA}, {":09601072", pA, "!", pA}},
               {Ev::Move, B, {rB}, {pB}},
               {Ev::Up, B, {rB}, {"^", pB}}});
    EXPECT_EQ(LastStroke(), (std::vector<PvPoint>{A, B}));
}

TEST(GesturesFromStart, EmptyHistorySkipsWhatNeedsAPoint) {
    CSurfaceRig rig;
    Play(rig, {{Ev::Down, A, {}, {}}, {Ev::Move, B, {}, {""}}, {Ev::Up, B, {}, {"^", ""}}});
    EXPECT_EQ(rig.view.CursorPoint(), (PvPoint{0, 0}));
    // No point to calibrate with: the next pen event with one calibrates.
    Play(rig, {{Ev::Down, A, {rA}, {":09601072"}}, {Ev::Up, A, {rA}, {"!^"}}});
    Play(rig, {{Ev::ActionDown, {}, {}, {}}, {Ev::Down, A, {}, {"!"}}, {Ev::Move, B, {}, {""}}});
    rig.host.drawn.polylines.clear();
    rig.view.OnPaint();
    EXPECT_EQ(rig.host.drawn.polylines, (std::vector<std::vector<PvPoint>>{{A}}));
}

TEST(GestureSettings, ExtendedDrawingTimeFromTheProfile) {
    struct Case {
        const char* stored;
        int ms;
    };
    for (const Case c : {Case{"250", 250}, Case{"0", 0}, Case{"-40", 0}}) {
        SCOPED_TRACE(c.stored);
        CSurfaceRig rig(CSurfaceRig::Settings{{"ExtendedDrawingTime", c.stored}});
        rig.Calibrate();
        Play(rig, {{Ev::Down, A, {rA}, {}},
                   {Ev::Hold, sA, {rA}, {pA, "!", pA}},
                   {Ev::Move, B, {rB}, {pB}},
                   {Ev::Up, B, {rB}, {"^", pB}}});
        ASSERT_EQ(rig.host.timers.size(), 1u);
        EXPECT_EQ(rig.host.timers[0].id, 1);
        EXPECT_EQ(rig.host.timers[0].ms, c.ms);
    }
}

}  // namespace
