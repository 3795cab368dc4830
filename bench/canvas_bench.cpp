// Cost of a full repaint of the canvas, which grows with the ink since the last
// clear, and of one live segment.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/RecordingSocketIo.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 640;
constexpr int kPointsPerStroke = 100;

// A 480 x 640 surface that never connects, already painted once.
struct CCanvasBench {
    CCanvasBench() {
        CTabletView::s_bFirstPaint = true;
        view.OnPaint();
        view.MoveCursor({240, 320});
    }

    // Handwriting-like strokes: short steps of a few pixels wandering over the surface.
    void Ink(int points) {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> step(-4, 4);
        PvPoint at{kWidth / 2, kHeight / 2};
        for (int i = 0; i < points; ++i) {
            at = {std::clamp(at.x + step(random), 0, kWidth - 1),
                  std::clamp(at.y + step(random), 0, kHeight - 1)};
            if (i % kPointsPerStroke == 0) {
                view.BeginStroke(at);
            } else {
                view.ExtendStroke(at);
            }
        }
    }

    CMemoryProfile profile;
    CFakeViewHost host{{0, 26, kWidth, 26 + kHeight}, {0, 0, kWidth, kHeight}};
    CRecordingSocketIo io;
    CTabletView view{profile, host, io};
};

void BM_OnPaint(benchmark::State& state) {
    CCanvasBench bench;
    bench.Ink(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        bench.view.OnPaint();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OnPaint)->Arg(0)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ExtendStroke(benchmark::State& state) {
    CCanvasBench bench;
    bench.view.BeginStroke({100, 100});
    int k = 0;
    for (auto _ : state) {
        // Back and forth over a few pixels, so the stroke's growth is the only change.
        bench.view.ExtendStroke({100 + (k & 3), 100 + ((k >> 2) & 3)});
        ++k;
    }
}
// A fixed count keeps the stroke's memory small.
BENCHMARK(BM_ExtendStroke)->Iterations(1 << 20);

}  // namespace

BENCHMARK_MAIN();
