#pragma once
#include <map>
#include <memory>

#include "platform/FrameBuffer.h"
#include "platform/SurfaceInput.h"
#include "platform/ViewHost.h"
#include "platform/PointerRecogniser.h"

// The surface's window in the page: a canvas below the page's command bar. The
// page plays the handheld's screen, the canvas the client area (one CSS pixel is
// one client pixel), the part of the page below the bar the work area. The
// framebuffer lives in WebAssembly memory; at each animation frame that was
// asked for, the surface repaints if it was invalidated, and the page is shown
// only the rectangle that changed.
class CWebSurface : public IViewHost, public CPointerRecogniser::IHost {
public:
    CWebSurface();
    ~CWebSurface() override;
    CWebSurface(const CWebSurface&) = delete;
    CWebSurface& operator=(const CWebSurface&) = delete;

    // Where events go; nullptr detaches (before the target is destroyed) and stops every timer.
    void SetTarget(ISurfaceInput* target);
    CPointerRecogniser& Input() { return m_input; }

    // The page's size and the canvas's place and size on it, in CSS pixels. A new canvas size
    // gets a new framebuffer, and the surface hears of it through OnSize.
    void Layout(int pageWidth, int pageHeight, PvPoint origin, int width, int height);
    CPvFrameBuffer& FrameBuffer() { return *m_pFrame; }

    // IViewHost
    int GetMouseMovePoints(PvPoint* points, int max) override { return m_input.GetMouseMovePoints(points, max); }
    PvRect GetWorkArea() override;
    PvRect GetClientRect() override;
    void SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;
    void CheckMenuItem(int commandId, bool checked) override;
    void InvalidateRect(bool erase) override;
    void BeginPaint() override {}
    void EndPaint() override {}
    IDrawSurface* GetDC() override { return m_pFrame.get(); }
    void ReleaseDC(IDrawSurface* surface) override;

    // CPointerRecogniser::IHost (the page flushes after every event itself)
    void StartHold(int milliseconds) override;
    void StopHold() override;

    // Paints if needed and shows what changed; the animation frame calls it.
    void Present();

private:
    struct CTimer;
    void RequestFrame();
    static void TimerFired(void* data);
    static void HoldFired(void* data);

    ISurfaceInput* m_pTarget = nullptr;
    CPointerRecogniser m_input;
    std::unique_ptr<CPvFrameBuffer> m_pFrame;
    int m_nPageWidth = 0;
    int m_nPageHeight = 0;
    PvPoint m_ptOrigin{0, 0};
    bool m_bNeedPaint = true;
    bool m_bInPaint = false;
    bool m_bFrameRequested = false;
    long m_nHoldTimeout = 0;  // 0: not running
    std::map<int, std::unique_ptr<CTimer>> m_timers;
};
