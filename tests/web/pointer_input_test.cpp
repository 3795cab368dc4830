// The pointer recogniser that the page and the Qt window share: what the surface
// receives for a stream of pointer samples, and the raw points it reads back for
// each event.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/GestureTiming.h"
#include "platform/PointerRecogniser.h"
#include "platform/RawPoints.h"

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
class CRig : public ISurfaceInput, public CPointerRecogniser::IHost {
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
        PvPoint points[pv::history::kMaxPoints];
        const int n = input.GetMouseMovePoints(points, pv::history::kMaxPoints);
        events.push_back({kind, p, std::vector<PvPoint>(points, points + n)});
        if (onEvent) {
            onEvent();
        }
    }
    std::vector<CEvent> Take() { return std::exchange(events, {}); }

    // A mouse by default: the stylus platform's thresholds, no pen's precedence.
    static PvPointerSample At(double x, double y, double timeMs = 0,
                              PvPointerKind kind = PvPointerKind::Mouse, int id = 1) {
        PvPointerSample sample;
        sample.x = x;
        sample.y = y;
        sample.timeMs = timeMs;
        sample.kind = kind;
        sample.id = id;
        return sample;
    }
    void Down(double x, double y, double timeMs) { input.Down(At(x, y, timeMs)); }
    void Move(double x, double y) { input.Move(At(x, y)); }
    void Up(double x, double y) { input.Up(At(x, y)); }

    CPointerRecogniser input;
    std::vector<CEvent> events;
    int holdMs = 0;  // 0: no hold timer running
    std::function<void()> onEvent;
};

// Raw units of a surface point: the page's 4 units a pixel, measured from the page's corner.
PvPoint Raw(double x, double y) {
    return {static_cast<int>((x)*4), static_cast<int>((y + 40) * 4)};
}

}  // namespace

TEST(PointerRecogniser, SlideIsMergedIntoBatchesOfSixteenInRawUnitsWithTheFractionKept) {
    CRig rig;
    rig.Down(10.75, 20.5, 1000);
    EXPECT_EQ(rig.Take(), (std::vector<CEvent>{{"down", {10, 20}, {{43, 242}}}}));
    EXPECT_EQ(rig.holdMs, pv::gesture::kHoldTimeMs);

    // One pointermove with 20 coalesced samples: a full batch leaves at once, the rest at the end of the
    // event.
    std::vector<PvPoint> first;
    std::vector<PvPoint> rest;
    for (int i = 0; i < 20; ++i) {
        const double x = 11.3 + i * 0.6;
        rig.Move(x, 20.5);
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
    rig.Move(30.9, 21.25);
    rig.Move(31.9, 22.99);
    rig.Up(31.9, 22.99);
    EXPECT_EQ(rig.Take(), (std::vector<CEvent>{{"move", {31, 22}, {Raw(30.9, 21.25), Raw(31.9, 22.99)}},
                                               {"up", {31, 22}, {{127, 251}}}}));

    // Moves after the lift (a mouse hovering) are no pen moves; a flush with nothing pending sends nothing.
    rig.Move(40, 40);
    rig.input.Flush();
    EXPECT_TRUE(rig.Take().empty());
}

TEST(PointerRecogniser, DoubleTapNeedsTheSecondDownCloseInTimeAndPlace) {
    CRig rig;
    const auto tap = [&](double x, double y, double t) {
        rig.Down(x, y, t);
        rig.Up(x, y);
    };
    tap(100, 100, 1000);
    rig.Down(104.9, 95.1, 1000 + pv::gesture::kDoubleTapTimeMs);
    EXPECT_EQ(rig.holdMs, 0) << "a double tap starts no hold";
    rig.Up(104.9, 95.1);
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
    EXPECT_EQ(kinds, (std::vector<std::string>{"down", "up",   "double", "up",   "down", "up",   "double",
                                               "up",   "down", "up",     "down", "up",   "down", "up",
                                               "down", "up",   "down",   "up",   "down", "up"}));
}

TEST(PointerRecogniser, HoldDeliversPendingMovesFirstThenTheScreenPointAndCancelsBeyondTheSlop) {
    CRig rig;
    rig.Down(60.2, 150.7, 0);
    rig.Move(62.0, 148.1);
    rig.Move(63.9, 146.8);  // 3.7 and 3.9 pixels: still held
    EXPECT_EQ(rig.holdMs, pv::gesture::kHoldTimeMs);
    rig.input.HoldTimeout();
    const auto events = rig.Take();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1], (CEvent{"move", {63, 146}, {Raw(62.0, 148.1), Raw(63.9, 146.8)}}));
    // The screen point: the client point plus the surface's place on the page; the history its one raw point.
    EXPECT_EQ(events[2], (CEvent{"hold", {63, 186}, {Raw(63.9, 146.8)}}));

    // A pen that wanders further than the slop on one axis is no hold.
    rig.Up(63.9, 146.8);
    rig.Down(10, 10, 5000);
    rig.Move(10, 10 + pv::gesture::kHoldSlopPx + 0.5);
    EXPECT_EQ(rig.holdMs, 0);
    rig.Up(10, 20);
    // A late expiry (already queued by the browser) after the lift does nothing.
    rig.input.HoldTimeout();
    for (const CEvent& e : rig.Take()) {
        EXPECT_NE(e.kind, "hold");
    }
}

TEST(PointerRecogniser, NothingIsRecognisedUnderABoxAndATouchThatEndedThereEndsWithAPenUpNeverAHold) {
    CRig rig;
    // The pen-down's own write brings a box up (as a failed reconnection does).
    rig.onEvent = [&] {
        if (rig.events.back().kind == "down" && rig.events.size() == 1) {
            rig.input.BoxOpened();
        }
    };
    rig.Down(50, 50, 0);
    EXPECT_EQ(rig.holdMs, 0) << "no hold is watched for under a box";
    rig.Move(80, 80);
    rig.input.Flush();
    rig.Up(80, 80);
    rig.Down(50, 50, 100);  // would be a double tap without the box
    rig.input.HoldTimeout();
    EXPECT_EQ(rig.Take().size(), 1u);
    rig.onEvent = nullptr;

    // The box closes with the pen up: the gesture ends where the pen was last seen before
    // the box, and late samples of the old touch are ignored.
    rig.input.BoxClosed(false);
    EXPECT_EQ(rig.Take(), (std::vector<CEvent>{{"up", {50, 50}, {Raw(50, 50)}}}));
    rig.Move(81, 81);
    rig.input.Flush();
    rig.Up(81, 81);
    rig.input.HoldTimeout();
    EXPECT_TRUE(rig.Take().empty());

    // A new touch right after is a plain pen-down, not the second half of a double tap.
    rig.Down(50, 50, 150);
    EXPECT_EQ(rig.Take().front().kind, "down");
    // A box that closes while the pen is really down lets that touch go on.
    rig.input.BoxOpened();
    rig.input.BoxClosed(true);
    rig.Move(55, 55);
    rig.Up(55, 55);
    const auto events = rig.Take();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, "move");
    EXPECT_EQ(events[1].kind, "up");
    EXPECT_EQ(rig.holdMs, 0);
}

TEST(PointerRecogniser, RawUnitsShrinkOnLargePagesAndWildPositionsStayInside32Bits) {
    CRig rig;
    rig.input.SetGeometry(2600, 1400, {0, 40});
    EXPECT_EQ(rig.input.RawUnitsPerPixel(), 3);
    rig.input.SetGeometry(2499, 1400, {0, 40});
    EXPECT_EQ(rig.input.RawUnitsPerPixel(), 4);
    rig.input.SetGeometry(12000, 900, {0, 40});
    EXPECT_EQ(rig.input.RawUnitsPerPixel(), 1);
    rig.Down(1e12, -1e12, 0);
    EXPECT_EQ(rig.Take(),
              (std::vector<CEvent>{{"down", {2147483647, -2147483648}, {{2147483647, -2147483648}}}}));
}

// A box shown from inside a pen event (a failed write) opens and closes before that
// event's call has returned: the lift that ends the gesture comes after the call, never
// inside it, and moves made before the box go out first.
TEST(PointerRecogniser, ABoxClosingInsideAPenEventEndsTheGestureOnlyAfterTheEventReturned) {
    CRig rig;
    rig.Down(10, 10, 0);
    rig.Move(20, 10);
    std::vector<std::string> order;
    rig.onEvent = [&] {
        const std::string kind = rig.events.back().kind;
        order.push_back(kind + " begins");
        if (kind == "move" && order.size() == 1) {
            rig.input.BoxOpened();
            rig.Up(30, 10);  // taken by the box
            rig.input.BoxClosed(false);
        }
        order.push_back(kind + " ends");
    };
    rig.input.Flush();
    EXPECT_EQ(order, (std::vector<std::string>{"move begins", "move ends", "up begins", "up ends"}));
    const auto events = rig.Take();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2], (CEvent{"up", {20, 10}, {Raw(20, 10)}}));
    EXPECT_EQ(rig.holdMs, 0);
}

// Only the pointer that went down drives the surface, and a double tap needs two
// presses of the same kind.
TEST(PointerRecogniser, ASecondPointerIsIgnoredAndKindsDoNotMakeADoubleTapTogether) {
    CRig rig;
    rig.input.Down(CRig::At(10, 10, 0, PvPointerKind::Touch, 1));
    rig.input.Down(CRig::At(200, 200, 10, PvPointerKind::Touch, 2));
    rig.input.Move(CRig::At(250, 250, 20, PvPointerKind::Touch, 2));
    rig.input.Up(CRig::At(200, 200, 30, PvPointerKind::Touch, 2));
    rig.input.Flush();
    rig.input.Up(CRig::At(10, 10, 40, PvPointerKind::Touch, 1));
    rig.input.Down(CRig::At(10, 10, 100, PvPointerKind::Pen, 3));
    rig.input.Up(CRig::At(10, 10, 110, PvPointerKind::Pen, 3));
    rig.input.Down(CRig::At(11, 11, 150, PvPointerKind::Pen, 3));
    std::vector<std::string> kinds;
    for (const CEvent& e : rig.Take()) {
        kinds.push_back(e.kind);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"down", "up", "down", "up", "double"}));
}

TEST(PointerRecogniser, ThresholdsFollowThePointersKindAFingerGetsFingerSizedOnes) {
    CRig rig;
    const auto tap = [&](double x, double y, double t, PvPointerKind kind) {
        rig.input.Down(CRig::At(x, y, t, kind));
        rig.input.Up(CRig::At(x, y, t + 50, kind));
    };
    // 15 pixels apart within 400 ms: a double tap for a finger, two taps for a pen or a mouse.
    tap(100, 100, 1000, PvPointerKind::Touch);
    tap(115, 85, 1300, PvPointerKind::Touch);
    tap(100, 100, 3000, PvPointerKind::Pen);
    tap(115, 85, 3300, PvPointerKind::Pen);
    tap(100, 100, 6000, PvPointerKind::Mouse);
    tap(115, 85, 6300, PvPointerKind::Mouse);
    // A finger's limit is 24 pixels; a tap of another kind never completes a double tap.
    tap(100, 100, 9000, PvPointerKind::Touch);
    tap(125, 100, 9100, PvPointerKind::Touch);
    std::vector<std::string> kinds;
    for (const CEvent& e : rig.Take()) {
        kinds.push_back(e.kind);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"down", "up", "double", "up", "down", "up", "down", "up", "down", "up",
                                               "down", "up", "down", "up", "down", "up"}));
    // A finger that wobbles 9 pixels still holds; a pen that moves 5 does not.
    rig.input.Down(CRig::At(50, 50, 20000, PvPointerKind::Touch));
    rig.input.Move(CRig::At(59, 41, 20100, PvPointerKind::Touch));
    EXPECT_EQ(rig.holdMs, 500);
    rig.input.Up(CRig::At(59, 41, 20200, PvPointerKind::Touch));
    rig.input.Down(CRig::At(50, 50, 30000, PvPointerKind::Pen, 2));
    rig.input.Move(CRig::At(55, 50, 30100, PvPointerKind::Pen, 2));
    EXPECT_EQ(rig.holdMs, 0);
}

TEST(PointerRecogniser, APenTakesPrecedenceOverTouchAndAPalmNeverClicks) {
    CRig rig;
    const auto touch = [](double x, double y, double t, int id = 10) {
        return CRig::At(x, y, t, PvPointerKind::Touch, id);
    };
    const auto pen = [](double x, double y, double t) { return CRig::At(x, y, t, PvPointerKind::Pen, 2); };
    const auto kinds = [&] {
        std::vector<std::string> out;
        for (const CEvent& e : rig.Take()) {
            out.push_back(e.kind + " " + std::to_string(e.point.x) + "," + std::to_string(e.point.y));
        }
        return out;
    };
    // No pen yet: touch drives the surface as ever; a second finger never does.
    EXPECT_FALSE(rig.input.PenKnown());
    rig.input.Down(touch(10, 10, 0));
    rig.input.Down(touch(90, 90, 10, 11));
    rig.input.Move(touch(95, 95, 20, 11));
    rig.input.Up(touch(10, 10, 30));
    EXPECT_EQ(kinds(), (std::vector<std::string>{"down 10,10", "up 10,10"}));

    // A palm rests, then the pen comes near: the palm's gesture ends as a slide does (a move and a lift,
    // never a click), and the palm drives nothing from then on.
    rig.input.Down(touch(200, 300, 1000));
    rig.input.Move(touch(201, 302, 1010));
    rig.input.PenNear(1050);
    EXPECT_EQ(rig.holdMs, 0) << "the palm's hold is off";
    EXPECT_EQ(kinds(), (std::vector<std::string>{"down 200,300", "move 201,302", "move 201,302", "up 201,302"}));
    rig.input.Move(touch(205, 310, 1060));
    rig.input.Up(touch(205, 310, 1070));
    rig.input.Down(touch(210, 300, 1080));  // the palm again, the pen hovering
    EXPECT_TRUE(kinds().empty());
    EXPECT_EQ(rig.input.TrackedId(), -1);

    // The pen writes while the palm rests: only the pen's gesture.
    rig.input.Down(pen(50, 50, 1100));
    rig.input.Move(touch(212, 305, 1110));
    rig.input.Move(pen(60, 55, 1120));
    rig.input.Flush();
    rig.input.Up(pen(60, 55, 1130));
    EXPECT_EQ(kinds(), (std::vector<std::string>{"down 50,50", "move 60,55", "up 60,55"}));
    // For a second after the pen was last seen touches stay away; after that they drive again.
    rig.input.Down(touch(100, 100, 2129, 12));
    EXPECT_TRUE(kinds().empty());
    rig.input.Down(touch(100, 100, 2131, 13));
    EXPECT_EQ(kinds(), (std::vector<std::string>{"down 100,100"}));

    // A pen that lands on a touch that pressed (a hold) releases that press first, then is followed.
    rig.input.HoldTimeout();
    EXPECT_EQ(kinds(), (std::vector<std::string>{"hold 100,140"}));
    rig.input.Down(pen(30, 30, 2500));
    EXPECT_EQ(rig.input.TrackedId(), 2);
    rig.input.Up(touch(100, 100, 2510, 13));
    rig.input.Up(pen(30, 30, 2520));
    EXPECT_EQ(kinds(), (std::vector<std::string>{"move 100,100", "up 100,100", "down 30,30", "up 30,30"}));

    // A hovering pen holds touches off until it leaves, and its grace from there.
    rig.input.PenNear(5000);
    rig.input.Down(touch(10, 10, 9000, 14));
    rig.input.PenGone(9500);
    rig.input.Down(touch(10, 10, 10400, 15));
    EXPECT_TRUE(kinds().empty());
    rig.input.Down(touch(10, 10, 10600, 16));
    EXPECT_EQ(kinds(), (std::vector<std::string>{"down 10,10"}));
}

TEST(PointerRecogniser, TheHostGoingAwayEndsTheGestureAtOnceAndItsPointerStartsNothingLater) {
    CRig rig;
    rig.input.Down(CRig::At(10, 10, 0, PvPointerKind::Touch, 7));
    rig.input.HoldTimeout();
    rig.input.Move(CRig::At(40, 10, 600, PvPointerKind::Touch, 7));
    rig.input.End();
    rig.input.End();
    EXPECT_EQ(rig.input.TrackedId(), -1);
    // Samples of the same pointer after the page came back: nothing until a new press.
    rig.input.Move(CRig::At(50, 10, 5000, PvPointerKind::Touch, 7));
    rig.input.Flush();
    rig.input.Up(CRig::At(50, 10, 5010, PvPointerKind::Touch, 7));
    std::vector<std::string> kinds;
    for (const CEvent& e : rig.Take()) {
        kinds.push_back(e.kind + " " + std::to_string(e.point.x));
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"down 10", "hold 10", "move 40", "up 40"}));
    rig.input.Down(CRig::At(60, 10, 6000, PvPointerKind::Touch, 7));
    EXPECT_EQ(rig.Take().front().kind, "down");
}

// The system taking the pointer over lifts it where it was last seen; boxes nest, and only
// the last one to close ends the gesture under them.
TEST(PointerRecogniser, ACancelLiftsWhereThePointerWasLastSeenAndBoxesNest) {
    CRig rig;
    rig.Down(10.5, 20.5, 0);
    rig.Move(30.25, 40.75);
    rig.input.Cancel(7);  // not the pointer that is down
    rig.input.Cancel(1);
    auto events = rig.Take();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1], (CEvent{"move", {30, 40}, {Raw(30.25, 40.75)}}));
    EXPECT_EQ(events[2], (CEvent{"up", {30, 40}, {Raw(30.25, 40.75)}}));

    rig.Down(50, 50, 5000);
    rig.input.BoxOpened();
    rig.input.BoxOpened();
    rig.input.BoxClosed(false);
    EXPECT_TRUE(rig.input.Modal());
    EXPECT_EQ(rig.Take().size(), 1u) << "only the pen-down: a box is still up";
    rig.input.BoxClosed(false);
    EXPECT_EQ(rig.Take(), (std::vector<CEvent>{{"up", {50, 50}, {Raw(50, 50)}}}));
    // A close with no box up changes nothing.
    rig.input.BoxClosed(false);
    EXPECT_FALSE(rig.input.Modal());
    rig.Down(60, 60, 9000);
    EXPECT_EQ(rig.Take().front().kind, "down");
}
