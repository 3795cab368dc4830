#pragma once
#include "platform/Types.h"

// One sample of a pen that the desktop takes as a tablet pen: where it is (the
// client point and the raw point, as a pen event's), whether it touches, hovers
// or has left range, and what it reports.
struct PvPenSample {
    enum class Phase { Hover, Touch, Out };
    Phase phase = Phase::Hover;
    PvPoint client{0, 0};
    PvPoint raw{0, 0};
    int pressure = 0;  // 0..4095
    int tiltX = 0;     // degrees
    int tiltY = 0;
    unsigned buttons = 0;  // the side buttons, as Pointer Events report them (2 the barrel)
};

// The one door through which a platform layer reaches the tablet surface. Every
// input arrives here, on the UI thread, one call at a time; the surface asks its
// host (IViewHost) for whatever else it needs, the point history included.
class ISurfaceInput {
public:
    virtual ~ISurfaceInput() = default;

    // Stylus: client points, except TapAndHold's screen point. The host keeps the raw
    // points of the event being delivered until the call returns.
    virtual void OnPenDown(PvPoint point) = 0;
    virtual void OnPenMove(PvPoint point) = 0;
    virtual void OnPenUp(PvPoint point) = 0;
    virtual void OnDoubleTap(PvPoint point) = 0;
    virtual void OnTapAndHold(PvPoint screenPoint) = 0;

    // Keys by their virtual-key code (pv::key); flags carry the repeat bit.
    virtual void OnKeyDown(unsigned key, unsigned flags) = 0;
    virtual void OnKeyUp(unsigned key, unsigned flags) = 0;

    // A timer set through the host expired.
    virtual void OnTimer(int id) = 0;

    // Repaints the whole client area on the host's window surface.
    virtual void OnPaint() = 0;

    // The client area now has this size (pixels). Positions measured against the old
    // size are no longer valid.
    virtual void OnSize(int width, int height) = 0;

    // A menu, toolbar or accelerator command; true when the surface handled it.
    virtual bool OnCommand(int id) = 0;

    // Whether a pen's samples go to OnPenSample instead of driving the gestures: only
    // while the desktop takes them. A pen's stroke keeps the way it began.
    virtual bool TakesPenSamples() const { return false; }
    virtual void OnPenSample(const PvPenSample& sample) { (void)sample; }
};
