#pragma once
// A tablet surface wired to fakes: in-memory profile, scripted window, recorded
// writes and message boxes.
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/RecordingLink.h"
#include "tests/support/Recorders.h"

inline void PrintTo(const PvPoint& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ")";
}

class CSurfaceRig {
public:
    using Settings = std::vector<std::pair<std::string, std::string>>;

    // Settings are in place before the surface is constructed (it reads some of them then).
    explicit CSurfaceRig(const Settings& settings = {}) : profile(Profile(settings)), view(profile, host, io) {
        view.Create();
        // A running program has painted once before any pen event: the stored
        // orientation is applied then. What that did is not what the tests look at.
        CTabletView::ResetFirstPaint();
        view.OnPaint();
        Forget();
    }

    // The calibration of the worked example (4 raw units per pixel, client area top at raw
    // y 104), made by a short slide at client (100, 50) that leaves the pen up.
    void Calibrate() {
        host.history = {{401, 305}};
        view.OnPenDown({100, 50});
        view.OnPenMove({100, 50});
        view.OnPenUp({100, 50});
        Forget();
    }

    // Where the surface puts a raw point in client pixels: a merged slide in cursor mode
    // moves the crosshair to its newest point converted back.
    PvPoint ClientOf(PvPoint raw) {
        host.history = {raw, raw};
        view.OnPenMove({-1, -1});
        io.writes.clear();
        return view.CursorPoint();
    }

    void Forget() {
        io.writes.clear();
        host.checks.clear();
        host.timers.clear();
        host.kills.clear();
        host.invalidations = 0;
        host.paints = 0;
        profile.writes = 0;
    }

    CRecordingMessageBox boxes;
    CMemoryProfile profile;
    CFakeViewHost host;
    CRecordingLink io;
    CTabletView view;

private:
    static CMemoryProfile Profile(const Settings& settings) {
        CMemoryProfile p;
        p.Set("IP Address", "127.0.0.2");
        p.Set("Port", "5555");
        for (const auto& [entry, value] : settings) {
            p.Set(entry, value);
        }
        return p;
    }
};
