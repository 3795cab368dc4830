// Costs of the pen path: encoding a batch of Position records, and a whole
// drawing-mode pen move (history, batch, write, ink) to a socket that discards.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/Keys.h"
#include "surface/Commands.h"
#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/Recorders.h"

namespace {

// A connected link whose writes vanish, so only the surface's own work is measured.
class CDiscardingLink : public IByteLink {
public:
    SConnect Connect(const std::string&, int, int) override { return {EConnect::Connected, 0}; }
    SSend Send(const void*, std::size_t length) override { return {static_cast<int>(length), 0}; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    void SetReport(Report) override {}
    bool Available() override { return true; }
};

struct CBench {
    CBench() {
        profile.Set("IP Address", "127.0.0.2");
        profile.Set("Port", "5555");
        view.Create();
        CTabletView::ResetFirstPaint();
        view.OnPaint();
        // 4 raw units per pixel, client area top at raw y 104: a slide calibrates.
        host.history = {{401, 305}};
        view.OnPenDown({100, 50});
        view.OnPenMove({100, 50});
        view.OnPenUp({100, 50});
        host.history.clear();
        // A fast stroke: 16 samples, 3 pixels apart, across the middle of the surface.
        for (int i = 0; i < 16; ++i) {
            host.history.push_back({4 * (60 + 3 * i), 4 * (100 + 2 * i) + 104});
        }
    }

    CRecordingMessageBox boxes;
    CMemoryProfile profile;
    CFakeViewHost host;
    CDiscardingLink io;
    CTabletView view{profile, host, io};
};

// A slide: 16 Positions in one batch and the crosshair moved to the newest.
void BM_CursorPenMove16(benchmark::State& state) {
    CBench bench;
    bench.view.OnPenDown({60, 100});
    const PvPoint last{60 + 3 * 15, 100 + 2 * 15};
    for (auto _ : state) {
        bench.view.OnPenMove(last);
    }
    state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_CursorPenMove16);

void BM_DrawingPenMove16(benchmark::State& state) {
    CBench bench;
    bench.view.OnKeyDown(pv::key::kAction, 0);
    bench.view.OnPenDown({60, 100});
    const PvPoint last{60 + 3 * 15, 100 + 2 * 15};
    int moves = 0;
    for (auto _ : state) {
        bench.view.OnPenMove(last);
        // Keep the stroke from growing without bound; the repaint is not measured.
        if (++moves % 4096 == 0) {
            state.PauseTiming();
            bench.view.OnCommand(pv::cmd::kClearScreen);
            bench.view.OnPenDown({60, 100});
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_DrawingPenMove16);

}  // namespace

BENCHMARK_MAIN();
