#pragma once
#include "platform/Types.h"

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
};
