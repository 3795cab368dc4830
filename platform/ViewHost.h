#pragma once
#include "platform/DrawSurface.h"
#include "platform/Types.h"

// What the tablet surface needs of its window and of the window system. The Qt
// shell implements it for the real window; tests implement it with fakes.
class IViewHost {
public:
    virtual ~IViewHost() = default;

    // Raw points buffered for the stylus event being handled, oldest first, at most max of them
    // (the newest when more arrived). Returns the count; 0 when there are none or the call failed.
    virtual int GetMouseMovePoints(PvPoint* points, int max) = 0;

    // The part of the screen the system's bars leave free, in screen pixels.
    virtual PvRect GetWorkArea() = 0;
    // The surface's client rectangle: left and top 0.
    virtual PvRect GetClientRect() = 0;

    // Starting a running timer id restarts it. Expiry calls CTabletView::OnTimer on the UI thread.
    virtual void SetTimer(int id, int milliseconds) = 0;
    virtual void KillTimer(int id) = 0;

    // Check mark of the menu item with that command id.
    virtual void CheckMenuItem(int commandId, bool checked) = 0;

    // Asks for a repaint of the whole client area.
    virtual void InvalidateRect(bool erase) = 0;

    // Paint bracket, then window surfaces covering the whole client area.
    virtual void BeginPaint() = 0;
    virtual void EndPaint() = 0;
    virtual IDrawSurface* GetDC() = 0;
    virtual void ReleaseDC(IDrawSurface* surface) = 0;
};
