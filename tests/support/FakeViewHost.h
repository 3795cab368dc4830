#pragma once
#include <memory>
#include <vector>

#include "platform/FrameBuffer.h"
#include "platform/RawPoints.h"
#include "platform/ViewHost.h"

// Passes drawing on to a surface and records the polylines drawn with a pen of the
// caller's own (the grid uses the default pen): the strokes as the user sees them.
class CPolylineRecorder : public IDrawSurface {
public:
    explicit CPolylineRecorder(IDrawSurface& target) : m_target(target) {}

    PvColor GetBkColor() const override { return m_target.GetBkColor(); }
    void FillSolidRect(const PvRect& rect, PvColor color) override { m_target.FillSolidRect(rect, color); }
    const CPvPen* SelectPen(const CPvPen* pen) override {
        m_pPen = pen;
        m_bOpen = false;
        return m_target.SelectPen(pen);
    }
    void MoveTo(PvPoint point) override {
        if (m_pPen != nullptr) {
            polylines.push_back({point});
            m_bOpen = true;
        }
        m_target.MoveTo(point);
    }
    void LineTo(PvPoint point) override {
        if (m_pPen != nullptr && m_bOpen) {
            polylines.back().push_back(point);
        }
        m_target.LineTo(point);
    }
    void DrawIcon(PvPoint topLeft, const CPvImage& icon) override { m_target.DrawIcon(topLeft, icon); }
    void XorCopy(PvPoint topLeft, int width, int height, const CPvImage& source) override {
        m_target.XorCopy(topLeft, width, height, source);
    }

    std::vector<std::vector<PvPoint>> polylines;

private:
    IDrawSurface& m_target;
    const CPvPen* m_pPen = nullptr;
    bool m_bOpen = false;
};

// A window for the surface without a window system: scripted point history,
// recorded timers, check marks and invalidations, and a real framebuffer.
class CFakeViewHost : public IViewHost {
public:
    CFakeViewHost(PvRect work = {0, 26, 240, 294}, PvRect clientRect = {0, 0, 240, 268})
        : workArea(work),
          client(clientRect),
          frame(PvCreateFrameBuffer(clientRect.right, clientRect.bottom)),
          drawn(*frame) {}

    int GetMouseMovePoints(PvPoint* points, int max) override {
        return PvCopyNewestPoints(history, points, max);
    }
    PvRect GetWorkArea() override { return workArea; }
    PvRect GetClientRect() override { return client; }
    void SetTimer(int id, int ms) override { timers.push_back({id, ms}); }
    void KillTimer(int id) override { kills.push_back(id); }
    void CheckMenuItem(int id, bool checked) override { checks.push_back({id, checked}); }
    void InvalidateRect(bool) override { ++invalidations; }
    void BeginPaint() override { ++paints; }
    void EndPaint() override {}
    IDrawSurface* GetDC() override { return recordLines ? &drawn : frame.get(); }
    void ReleaseDC(IDrawSurface*) override {}

    struct Timer {
        int id;
        int ms;
    };
    struct Check {
        int id;
        bool checked;
    };

    std::vector<PvPoint> history;  // what the next event's GetMouseMovePoints returns
    PvRect workArea;
    PvRect client;
    std::unique_ptr<IDrawSurface> frame;
    CPolylineRecorder drawn;
    bool recordLines = true;  // off: drawing goes straight to the framebuffer, as a window's does
    std::vector<Timer> timers;
    std::vector<int> kills;
    std::vector<Check> checks;
    int invalidations = 0;
    int paints = 0;
};
