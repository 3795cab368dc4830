// Cost of a full repaint of the canvas, which grows with the ink since the last
// clear, and of one live segment.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "platform/FrameBuffer.h"
#include "platform/Keys.h"
#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/RecordingLink.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 640;
constexpr int kPointsPerStroke = 100;

// A 480 x 640 surface that never connects, already painted once.
struct CCanvasBench {
    CCanvasBench() {
        // The window's drawing path, without the test double's line recording.
        host.recordLines = false;
        view.Create();
        CTabletView::ResetFirstPaint();
        view.OnPaint();
        // The crosshair in the middle, as a slide leaves it.
        host.history = {{1, 1}};
        view.OnPenMove({240, 320});
    }

    // Handwriting-like strokes drawn with the action button held: short steps of a few
    // pixels wandering over the surface, a pen-down every kPointsPerStroke points.
    void Ink(int points) {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> step(-4, 4);
        PvPoint at{kWidth / 2, kHeight / 2};
        view.OnKeyDown(pv::key::kAction, 0);
        host.history = {{1, 1}};
        for (int i = 0; i < points; ++i) {
            at = {std::clamp(at.x + step(random), 0, kWidth - 1),
                  std::clamp(at.y + step(random), 0, kHeight - 1)};
            if (i % kPointsPerStroke == 0) {
                view.OnPenDown(at);
            } else {
                view.OnPenMove(at);
            }
        }
        io.writes.clear();
    }

    CMemoryProfile profile;
    CFakeViewHost host{{0, 26, kWidth, 26 + kHeight}, {0, 0, kWidth, kHeight}};
    CRecordingLink io;
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

// One live segment as the ink canvas draws it: the stroke pen, a move and a line.
void BM_LiveSegment(benchmark::State& state) {
    const std::unique_ptr<IDrawSurface> frame = PvCreateFrameBuffer(kWidth, kHeight);
    const std::unique_ptr<CPvPen> pen = PvCreatePen(kPvPenSolid, 2, kPvBlack);
    int k = 0;
    for (auto _ : state) {
        // Back and forth over a few pixels.
        const CPvPen* previous = frame->SelectPen(pen.get());
        frame->MoveTo({100 + (k & 3), 100 + ((k >> 2) & 3)});
        frame->LineTo({100 + ((k + 1) & 3), 100 + (((k + 1) >> 2) & 3)});
        frame->SelectPen(previous);
        ++k;
    }
}
BENCHMARK(BM_LiveSegment);

// A one-sample pen move in drawing mode through the surface: its Position, the stroke's
// growth and its live segment.
void BM_DrawingMove1(benchmark::State& state) {
    CCanvasBench bench;
    bench.view.OnKeyDown(pv::key::kAction, 0);
    bench.view.OnPenDown({100, 100});
    int k = 0;
    for (auto _ : state) {
        bench.view.OnPenMove({100 + (k & 3), 100 + ((k >> 2) & 3)});
        ++k;
        if (bench.io.writes.size() > 4096) {
            bench.io.writes.clear();
        }
    }
}
// A fixed count keeps the stroke's memory small.
BENCHMARK(BM_DrawingMove1)->Iterations(1 << 20);

}  // namespace

BENCHMARK_MAIN();
