#pragma once
#include <memory>
#include <vector>

#include "platform/FrameBuffer.h"
#include "platform/ViewHost.h"

// A window for the surface without a window system: scripted point history,
// recorded timers, check marks and invalidations, and a real framebuffer.
class CFakeViewHost : public IViewHost {
public:
    CFakeViewHost(PvRect work = {0, 26, 240, 294}, PvRect clientRect = {0, 0, 240, 268})
        : workArea(work), client(clientRect), frame(PvCreateFrameBuffer(clientRect.right, clientRect.bottom)) {}

    int GetMouseMovePoints(PvPoint* points, int max) override {
        int n = 0;
        const int first = static_cast<int>(history.size()) > max ? static_cast<int>(history.size()) - max : 0;
        for (int i = first; i < static_cast<int>(history.size()); ++i) {
            points[n++] = history[static_cast<std::size_t>(i)];
        }
        return n;
    }
    PvRect GetWorkArea() override { return workArea; }
    PvRect GetClientRect() override { return client; }
    void SetTimer(int id, int ms) override { timers.push_back({id, ms}); runningTimer = id; }
    void KillTimer(int id) override {
        kills.push_back(id);
        if (runningTimer == id) {
            runningTimer = 0;
        }
    }
    void CheckMenuItem(int id, bool checked) override { checks.push_back({id, checked}); }
    void InvalidateRect(bool) override { ++invalidations; }
    void BeginPaint() override { ++paints; }
    void EndPaint() override {}
    IDrawSurface* GetDC() override { return frame.get(); }
    void ReleaseDC(IDrawSurface*) override {}

    struct Timer { int id; int ms; };
    struct Check { int id; bool checked; };

    std::vector<PvPoint> history;  // what the next event's GetMouseMovePoints returns
    PvRect workArea;
    PvRect client;
    std::unique_ptr<IDrawSurface> frame;
    std::vector<Timer> timers;
    std::vector<int> kills;
    std::vector<Check> checks;
    int runningTimer = 0;
    int invalidations = 0;
    int paints = 0;
};
