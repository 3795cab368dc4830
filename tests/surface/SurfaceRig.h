#pragma once
// A tablet surface wired to fakes: in-memory profile, scripted window, recorded
// writes and message boxes.
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/MessageBox.h"
#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/RecordingSocketIo.h"

inline void PrintTo(const PvPoint& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ")";
}

class CSurfaceRig {
public:
    using Settings = std::vector<std::pair<std::string, std::string>>;

    // Settings are in place before the surface is constructed (it reads some of them then).
    explicit CSurfaceRig(const Settings& settings = {})
        : profile(Profile(settings)), view(profile, host, io) {
        // A running program has painted once before any pen event; ink clears repaint,
        // and a first paint would ask for a calibration in the middle of a gesture.
        CTabletView::s_bFirstPaint = false;
        view.Create();
        io.writes.clear();
    }

    // The calibration of the worked example in the current orientation: 4 raw units per
    // pixel on both axes, client area top at raw y 104 (work area top 26).
    void Calibrate() {
        view.m_ptRawOrigin = view.Calibrate({401, 305}, {100, 50});
        io.writes.clear();
    }

    CRecordingMessageBox boxes;
    CMemoryProfile profile;
    CFakeViewHost host;
    CRecordingSocketIo io;
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
