#pragma once
#include <vector>

#include "platform/GestureTiming.h"
#include "platform/SurfaceInput.h"
#include "platform/Types.h"

// One sample of a pointer as a host saw it.
struct PvPointerSample {
    // Pixels from the surface's top-left corner, the fraction kept.
    double x = 0;
    double y = 0;
    // The event's time stamp in milliseconds (any origin, never going back).
    double timeMs = 0;
    PvPointerKind kind = PvPointerKind::Mouse;
    // The host's id of the pointer; only one pointer drives the surface at a time.
    int id = 0;
    // A pen's detail where the host has it: pressure 0..1 (negative: unknown), tilt in
    // degrees, the buttons held. Carried, not yet used.
    double pressure = -1;
    double tiltX = 0;
    double tiltY = 0;
    unsigned buttons = 0;
};

// Turns a host's pointer presses, moves, releases and cancels into the surface's pen
// events, for every host alike (the Qt window, the browser page): the host plays the
// handheld's screen (raw and screen points are measured from its top-left corner),
// positions keep their fraction until they are scaled to raw units and truncated,
// moves are merged into PenMoves of at most pv::history::kMaxPoints, whatever is
// pending is delivered before a press, a lift, a hold or a box's end, and double tap
// and tap-and-hold are recognised here with the thresholds of the pointer's kind.
// A modal box takes the pointer: nothing is recognised while one is up, and a pointer
// lifted under it ends its gesture with a PenUp once the box has closed.
// A pen takes precedence over touch: once a pen has been seen on this screen, touches
// do not drive the surface while a pen is in range and for pv::gesture::kPenGraceMs
// after (a palm resting while the pen writes), and a pen that comes while a touch
// gesture is under way ends that gesture first, with a release and no click.
// No window system call is made here, so that the rules are tested natively.
class CPointerRecogniser {
public:
    // What the recogniser needs of its host: a one-shot hold timer whose expiry the host
    // reports through HoldTimeout(), and a call to Flush() once the host has caught up
    // with the input that is waiting (a host that flushes after every event ignores it).
    class IHost {
    public:
        virtual ~IHost() = default;
        virtual void StartHold(int milliseconds) = 0;  // restarts a running one
        virtual void StopHold() = 0;
        virtual void FlushSoon() {}
    };

    explicit CPointerRecogniser(IHost& host);

    // Where pen events go; nullptr drops them.
    void SetTarget(ISurfaceInput* target) { m_pTarget = target; }

    // The screen's size and the surface's top-left corner on it, in pixels.
    void SetGeometry(int screenWidth, int screenHeight, PvPoint surfaceOrigin);
    int RawUnitsPerPixel() const;
    // Tests stretch or shorten the hold; 0 goes back to the table's time.
    void SetHoldTime(int milliseconds) { m_nHoldTimeOverrideMs = milliseconds; }

    void Down(const PvPointerSample& sample);
    // One sample of a move: a host's merged samples come one by one, oldest first.
    void Move(const PvPointerSample& sample);
    // The host has caught up: moves still pending leave as one PenMove.
    void Flush();
    void Up(const PvPointerSample& sample);
    // The system took the pointer over: the pen lifts where it was last seen.
    void Cancel(int id);
    // The host went away (hidden, another app in front, focus lost): whatever pointer is
    // down lifts where it was last seen, at once; its later samples start nothing.
    void End();
    void HoldTimeout();

    // A pen is near the screen (hovering, or any event of it), or has gone out of range.
    void PenNear(double timeMs);
    void PenGone(double timeMs);
    // Whether a pen has been seen on this screen (the host may keep it across starts).
    void SetPenKnown(bool known) { m_bPenKnown = known; }
    bool PenKnown() const { return m_bPenKnown; }
    // The id of the pointer driving the surface (a gesture's, or a touching pen's whose
    // samples go out as they are), or -1.
    int TrackedId() const { return m_bTracking ? m_nPointerId : m_bPenTouching ? m_lastPen.id : -1; }

    // A modal box or dialog opened or closed (they may nest). When the last one closes
    // with the pointer no longer down, the gesture it interrupted ends with a PenUp.
    void BoxOpened();
    void BoxClosed(bool pointerDown);
    bool Modal() const { return m_nBoxes > 0; }

    // A pen over the surface that touches nothing, and a pen gone out of its range. Where the
    // target takes a pen's samples, the pen's hover, touch and leaving go to it as they come
    // (Down, Move and Up of a pen too) and the pen drives no gesture; elsewhere these do nothing.
    void Hover(const PvPointerSample& sample);
    void Leave(int id);

    // The raw points of the event being delivered, oldest first, at most max (the newest).
    int GetMouseMovePoints(PvPoint* points, int max) const;

    // A pointer went down on the surface and has not lifted.
    bool Tracking() const { return m_bTracking; }
    bool HoldPending() const { return m_bHoldPending; }

private:
    PvPoint RawPoint(double x, double y) const;
    static PvPoint ClientPoint(double x, double y);
    const PvGestureThresholds& Thresholds() const { return pv::gesture::For(m_kind); }
    bool Ours(const PvPointerSample& sample) const;
    void DeliverPendingMoves();
    void CancelHold();
    void EndUnderBox();
    bool TouchGivesWay(double timeMs) const;
    void EndTouchForPen();
    // Whether this pen sample goes out as it is rather than to the gestures.
    bool PenSampleFor(const PvPointerSample& sample) const;
    void SendPen(PvPenSample::Phase phase, const PvPointerSample& sample);
    void PenOut();
    // Every call into the surface goes through here, so that a box closing meanwhile is
    // dealt with after the call has returned.
    template <typename Call>
    void Deliver(Call call);

    IHost& m_host;
    ISurfaceInput* m_pTarget = nullptr;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
    PvPoint m_ptOrigin{0, 0};
    int m_nHoldTimeOverrideMs = 0;

    std::vector<PvPoint> m_history;
    std::vector<PvPoint> m_pendingMoves;
    PvPoint m_ptPendingClient{0, 0};

    bool m_bTracking = false;
    int m_nPointerId = 0;
    PvPointerKind m_kind = PvPointerKind::Mouse;
    double m_dLastX = 0;
    double m_dLastY = 0;

    // The last press that could begin a double tap.
    bool m_bDownRemembered = false;
    PvPointerSample m_lastDown;

    bool m_bHoldPending = false;
    double m_dHoldX = 0;
    double m_dHoldY = 0;

    bool m_bPenKnown = false;
    bool m_bPenNear = false;
    double m_dPenGoneMs = 0;  // when the pen was last seen, or left
    bool m_bPenWasNear = false;  // m_dPenGoneMs holds a time

    int m_nBoxes = 0;
    int m_nDelivering = 0;
    bool m_bEndDue = false;  // the last box closed while a call was still running
    bool m_bPointerDownAtEnd = false;

    // The pen whose samples go out: in range, and touching.
    bool m_bPenInRange = false;
    bool m_bPenTouching = false;
    PvPointerSample m_lastPen;
};
