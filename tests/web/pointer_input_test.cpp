// The page's pointer rules, natively: what the surface receives for a stream of
// pointer samples, and the raw points it reads back for each event.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/GestureTiming.h"
#include "platform/web/PointerInput.h"

namespace {

struct CEvent {
    std::string kind;
    PvPoint point;
    std::vector<PvPoint> history;  // what GetMouseMovePoints(16) gave during the call
    friend bool operator==(const CEvent&, const CEvent&) = default;
};

std::ostream& operator<<(std::ostream& out, const CEvent& e) {
    out << e.kind << "(" << e.point.x << "," << e.point.y << ")[";
    for (const PvPoint& p : e.history) {
        out << " " << p.x << "," << p.y;
    }
    return out << " ]";
}

// A surface that records what arrives, and a hold timer under the test's control.
class CRig : public ISurfaceInput, public CPointerInput::IHoldTimer {
public:
    CRig() : input(*this) {
        input.SetTarget(this);
        // A 360 x 640 page with a 40-pixel bar above the surface.
        input.SetGeometry(360, 640, {0, 40});
    }

    void OnPenDown(PvPoint p) override { Record("down", p); }
    void OnPenMove(PvPoint p) override { Record("move", p); }
    void OnPenUp(PvPoint p) override { Record("up", p); }
    void OnDoubleTap(PvPoint p) override { Record("double", p); }
    void OnTapAndHold(PvPoint p) override { Record("hold", p); }
    void OnKeyDown(unsigned, unsigned) override {}
    void OnKeyUp(unsigned, unsigned) override {}
    void OnTimer(int) override {}
    void OnPaint() override {}
    void OnSize(int, int) override {}
    bool OnCommand(int) override { return false; }

    void StartHold(int ms) override { holdMs = ms; }
    void StopHold() override { holdMs = 0; }

    void Record(const char* kind, PvPoint p) {
        PvPoint points[pv::gesture::kMaxHistory];
        const int n = input.GetMouseMovePoints(points, pv::gesture::kMaxHistory);
        events.push_back({kind, p, std::vector<PvPoint>(points, points + n)});
        if (onEvent) {
            onEvent();
        }
    }
    std::vector<CEvent> Take() { return std::exchange(events, {}); }

    CPointerInput input;
    std::vector<CEvent> events;
    int holdMs = 0;  // 0: no hold timer running
    std::function<void()> onEvent;
};

// Raw units of a surface point: the page's 4 units a pixel, measured from the page's corner.
PvPoint Raw(double x, double y) {
    return {static_cast<int>((x) * 4), static_cast<int>((y + 40) * 4)};
}

}  // namespace

TEST(PointerInput, SlideIsMergedIntoBatchesOfSixteenInRawUnitsWithTheFractionKept) {
    CRig rig;
    rig.input.Down(10.75, 20.5, 1000);
    EXPECT_EQ(rig.Take(), (std::vector<CEvent>{{"down", {10, 20}, {{43, 242}}}}));
    EXPECT_EQ(rig.holdMs, pv::gesture::kHoldTimeMs);

    // One pointermove with 20 coalesced samples: a full batch leaves at once, the rest at the end of the event.
    std::vector<PvPoint> first;
    std::vector<PvPoint> rest;
    for (int i = 0; i < 20; ++i) {
        const double x = 11.3 + i * 0.6;
        rig.input.Move(x, 20.5);
        (i < 16 ? first : rest).push_back(Raw(x, 20.5));
        if (i == 15) {
            EXPECT_EQ(rig.events.size(), 1u) << "a full batch waits for nothing";
        }
    }
    EXPECT_EQ(rig.holdMs, 0) << "the pen left the hold slop";
    rig.input.Flush();
    const auto moves = rig.Take();
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0], (CEvent{"move", {20, 20}, first}));  // 11.3 + 15 * 0.6 = 20.3
    EXPECT_EQ(moves[1], (CEvent{"move", {22, 20}, rest}));   // 11.3 + 19 * 0.6 = 22.7
    EXPECT_EQ(moves[0].history.front(), (PvPoint{45, 242}));

    // Moves still pending when the pen lifts go first, then the lift with its own point only.
    rig.input.Move(30.9, 21.25);
    rig.input.Move(31.9, 22.99);
    rig.input.Up(31.9, 22.99);
    EXPECT_EQ(rig.Take(), (std::vector<CEvent>{{"move", {31, 22}, {Raw(30.9, 21.25), Raw(31.9, 22.99)}},
                                               {"up", {31, 22}, {{127, 251}}}}));

    // Moves after the lift (a mouse hovering) are no pen moves; a flush with nothing pending sends nothing.
    rig.input.Move(40, 40);
    rig.input.Flush();
    EXPECT_TRUE(rig.Take().empty());
}

TEST(PointerInput, DoubleTapNeedsTheSecondDownCloseInTimeAndPlace) {
    CRig rig;
    const auto tap = [&](double x, double y, double t) {
        rig.input.Down(x, y, t);
        rig.input.Up(x, y);
    };
    tap(100, 100, 1000);
    rig.input.Down(104.9, 95.1, 1000 + pv::gesture::kDoubleTapTimeMs);
    EXPECT_EQ(rig.holdMs, 0) << "a double tap starts no hold";
    rig.input.Up(104.9, 95.1);
    // A third quick tap begins a new pair.
    tap(104, 95, 1450);
    tap(104, 95, 1500);
    // Too late, too far right, too far up.
    tap(50, 50, 3000);
    tap(50, 50, 3000 + pv::gesture::kDoubleTapTimeMs + 1);
    tap(200, 200, 5000);
    tap(206, 200, 5010);
    tap(300, 300, 7000);
    tap(300, 294, 7010);
    std::vector<std::string> kinds;
    for (const CEvent& e : rig.Take()) {
        kinds.push_back(e.kind);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"down", "up", "double", "up", "down", "up", "double", "up", "down",
                                               "up", "down", "up", "down", "up", "down", "up", "down", "up",
                                               "down", "up"}));
}

TEST(PointerInput, HoldDeliversPendingMovesFirstThenTheScreenPointAndCancelsBeyondTheSlop) {
    CRig rig;
    rig.input.Down(60.2, 150.7, 0);
    rig.input.Move(63.9, 146.8);  // 3.7 and 3.9 pixels: still held
    EXPECT_EQ(rig.holdMs, pv::gesture::kHoldTimeMs);
    rig.input.HoldTimeout();
    const auto events = rig.Take();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1], (CEvent{"move", {63, 146}, {Raw(63.9, 146.8)}}));
    // The screen point: the client point plus the surface's place on the page; the history its one raw point.
    EXPECT_EQ(events[2], (CEvent{"hold", {63, 186}, {Raw(63.9, 146.8)}}));

    // A pen that wanders further than the slop on one axis is no hold.
    rig.input.Up(63.9, 146.8);
    rig.input.Down(10, 10, 5000);
    rig.input.Move(10, 10 + pv::gesture::kHoldSlopPx + 0.5);
    EXPECT_EQ(rig.holdMs, 0);
    rig.input.Up(10, 20);
    // A late expiry (already queued by the browser) after the lift does nothing.
    rig.input.HoldTimeout();
    for (const CEvent& e : rig.Take()) {
        EXPECT_NE(e.kind, "hold");
    }
}

TEST(PointerInput, NothingIsRecognisedUnderABoxAndATouchThatEndedThereNeverPressesOrHolds) {
    CRig rig;
    // The pen-down's own write brings a box up (as a failed reconnection does).
    rig.onEvent = [&] {
        if (rig.events.back().kind == "down" && rig.events.size() == 1) {
            rig.input.SetModal(true);
        }
    };
    rig.input.Down(50, 50, 0);
    EXPECT_EQ(rig.holdMs, 0) << "no hold is watched for under a box";
    rig.input.Move(80, 80);
    rig.input.Flush();
    rig.input.Up(80, 80);
    rig.input.Down(50, 50, 100);  // would be a double tap without the box
    rig.input.HoldTimeout();
    EXPECT_EQ(rig.Take().size(), 1u);
    rig.onEvent = nullptr;

    // The box closes with the pen up: late samples of the old touch are ignored.
    rig.input.SetModal(false, false);
    rig.input.Move(81, 81);
    rig.input.Flush();
    rig.input.Up(81, 81);
    rig.input.HoldTimeout();
    EXPECT_TRUE(rig.Take().empty());

    // A new touch right after is a plain pen-down, not the second half of a double tap.
    rig.input.Down(50, 50, 150);
    EXPECT_EQ(rig.Take().front().kind, "down");
    // A box that closes while the pen is really down lets that touch go on.
    rig.input.SetModal(true);
    rig.input.SetModal(false, true);
    rig.input.Move(55, 55);
    rig.input.Up(55, 55);
    const auto events = rig.Take();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, "move");
    EXPECT_EQ(events[1].kind, "up");
    EXPECT_EQ(rig.holdMs, 0);
}

TEST(PointerInput, RawUnitsShrinkOnLargePagesAndWildPositionsStayInside32Bits) {
    CRig rig;
    rig.input.SetGeometry(2600, 1400, {0, 40});
    EXPECT_EQ(rig.input.RawUnitsPerPixel(), 3);
    rig.input.SetGeometry(2499, 1400, {0, 40});
    EXPECT_EQ(rig.input.RawUnitsPerPixel(), 4);
    rig.input.SetGeometry(12000, 900, {0, 40});
    EXPECT_EQ(rig.input.RawUnitsPerPixel(), 1);
    rig.input.Down(1e12, -1e12, 0);
    EXPECT_EQ(rig.Take(), (std::vector<CEvent>{{"down", {2147483647, -2147483648}, {{2147483647, -2147483648}}}}));
}
