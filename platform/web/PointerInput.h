#pragma once
#include <vector>

#include "platform/SurfaceInput.h"
#include "platform/Types.h"

// Turns a page's pointer events into the surface's pen events, by the same rules
// as the Qt window: the page plays the handheld's screen (raw and screen points
// are measured from its top-left corner), positions keep their fraction until
// they are scaled to raw units and truncated, moves are merged into PenMoves of
// at most kMaxHistory points, any pending move is delivered before a press, a
// lift or a double tap, and double tap and tap-and-hold are recognised here with
// the shared gesture thresholds. No browser call is made here, so that the rules
// can be tested natively.
class CPointerInput {
public:
    // The one-shot hold timer; the owner calls HoldTimeout() when it expires.
    class IHoldTimer {
    public:
        virtual ~IHoldTimer() = default;
        virtual void StartHold(int milliseconds) = 0;  // restarts a running one
        virtual void StopHold() = 0;
    };

    explicit CPointerInput(IHoldTimer& timer);

    // Where pen events go; nullptr drops them.
    void SetTarget(ISurfaceInput* target) { m_pTarget = target; }

    // The page's size and the surface's top-left corner on it, in CSS pixels.
    void SetGeometry(int pageWidth, int pageHeight, PvPoint surfaceOrigin);
    // 4 raw units per pixel while the page stays under 10000 units, fewer beyond.
    int RawUnitsPerPixel() const;

    // Positions are CSS pixels relative to the surface's top-left corner. timeMs is
    // the event's time stamp, used only to tell a double tap.
    void Down(double x, double y, double timeMs);
    // One sample of a move: a pointermove's coalesced samples come one by one, oldest first.
    void Move(double x, double y);
    // The page has finished handling an input event: moves still pending leave as one PenMove.
    void Flush();
    void Up(double x, double y);
    // The browser took the pointer over: the pen lifts where it was last seen.
    void Cancel();
    void HoldTimeout();

    // A modal box or dialog opened or closed. While one is up nothing is recognised;
    // when it closes the pen counts as up unless pointerDown says it is really down.
    void SetModal(bool modal, bool pointerDown = false);
    bool Modal() const { return m_bModal; }

    // The raw points of the event being delivered, oldest first, at most max (the newest).
    int GetMouseMovePoints(PvPoint* points, int max) const;

    // The pen went down on the surface and has not lifted.
    bool Tracking() const { return m_bTracking; }
    bool HoldPending() const { return m_bHoldPending; }

private:
    struct CPosition {
        double x = 0;
        double y = 0;
    };
    PvPoint RawPoint(CPosition local) const;
    static PvPoint ClientPoint(CPosition local);
    void DeliverPendingMoves();
    void CancelHold();

    IHoldTimer& m_timer;
    ISurfaceInput* m_pTarget = nullptr;
    int m_nPageWidth = 0;
    int m_nPageHeight = 0;
    PvPoint m_ptOrigin{0, 0};

    std::vector<PvPoint> m_history;
    std::vector<PvPoint> m_pendingMoves;
    PvPoint m_ptPendingClient{0, 0};
    bool m_bTracking = false;
    bool m_bModal = false;

    // The last pen-down that could begin a double tap.
    bool m_bDownRemembered = false;
    double m_dDownTime = 0;
    CPosition m_downPos;

    bool m_bHoldPending = false;
    CPosition m_holdStart;
    CPosition m_lastPos;
};
