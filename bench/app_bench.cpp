// The surface window's own cost: Qt mouse samples merged into one PenMove and one
// write, and showing the framebuffer on screen: all of it, or only what one live
// segment damaged.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QWidget>
#include <memory>

#include "platform/QtImage.h"
#include "platform/QtProfile.h"
#include "platform/SurfaceWidget.h"
#include "surface/TabletView.h"
#include "tests/support/RecordingLink.h"
#include "tests/support/TempProfile.h"

namespace {

// A 300 x 400 window: a 26-pixel bar above the surface, the pen down on it.
struct CRig {
    CRig() {
        temp.PointAt("127.0.0.2", 5999);
        screen.setFixedSize(300, 400);
        surface = new CSurfaceWidget(&screen);
        surface->setGeometry(0, 26, 300, 374);
        surface->SetHoldTime(24 * 3600 * 1000);
        view = std::make_unique<CTabletView>(profile, *surface, io);
        view->Create();
        surface->SetInput(view.get());
        screen.show();
        QCoreApplication::processEvents();
        Mouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    }
    ~CRig() { surface->SetInput(nullptr); }

    void Mouse(QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, surface->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(surface, &event);
    }

    CTempProfile temp;
    CQtProfile profile{temp.Path()};
    CRecordingLink io;
    QWidget screen;
    CSurfaceWidget* surface = nullptr;
    std::unique_ptr<CTabletView> view;
};

// Sixteen samples arrive before the UI catches up: the sixteenth sends the batch.
void BM_SixteenSamplesToOneWrite(benchmark::State& state) {
    CRig rig;
    int step = 0;
    for (auto _ : state) {
        for (int i = 0; i < 16; ++i) {
            const double x = 20 + (step++ % 200);
            rig.Mouse(QEvent::MouseMove, {x + 0.25, 100.5}, Qt::LeftButton);
        }
        if (rig.io.writes.size() > 1000) {
            rig.io.writes.clear();
        }
    }
    state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_SixteenSamplesToOneWrite);

// An expose of the whole surface: the paint steps, then the show.
void BM_ExposeWholeFrame(benchmark::State& state) {
    CRig rig;
    for (auto _ : state) {
        rig.surface->repaint();
    }
}
BENCHMARK(BM_ExposeWholeFrame);

// Drawing outside a paint that changes every pixel, brought to the screen: the show of
// the whole frame alone (no paint steps run for live drawing).
void BM_ShowWholeFrame(benchmark::State& state) {
    CRig rig;
    QCoreApplication::processEvents();
    const PvRect client = rig.surface->GetClientRect();
    int k = 0;
    for (auto _ : state) {
        IDrawSurface* dc = rig.surface->GetDC();
        dc->FillSolidRect(client, (k++ & 1) != 0 ? kPvWhite : kPvBlack);
        rig.surface->ReleaseDC(dc);
        QCoreApplication::sendPostedEvents();
    }
}
BENCHMARK(BM_ShowWholeFrame);

// Counts the paints of a widget and the pixels they cover.
class CPaintCounter : public QObject {
public:
    double paints = 0;
    double pixels = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const QRect rect = static_cast<QPaintEvent*>(event)->rect();
            paints += 1;
            pixels += rect.width() * rect.height();
        }
        return false;
    }
};

// One live segment of width 2 between paints, on the window surface.
void DrawSegment(IViewHost& host, const CPvPen& pen, int k) {
    IDrawSurface* dc = host.GetDC();
    const CPvPen* previous = dc->SelectPen(&pen);
    dc->MoveTo({100 + (k & 7), 100});
    dc->LineTo({104 + (k & 7), 103});
    dc->SelectPen(previous);
    host.ReleaseDC(dc);
}

// A live segment drawn and brought to the screen, as the window does it for every pen point.
void BM_LiveSegmentToScreen(benchmark::State& state) {
    CRig rig;
    const auto pen = PvCreatePen(kPvPenSolid, 2, kPvBlack);
    QCoreApplication::processEvents();
    CPaintCounter counter;
    rig.surface->installEventFilter(&counter);
    int k = 0;
    for (auto _ : state) {
        DrawSegment(*rig.surface, *pen, k++);
        // Every posted event, so that none piles up over the iterations.
        QCoreApplication::sendPostedEvents();
    }
    rig.surface->removeEventFilter(&counter);
    state.counters["paints"] = benchmark::Counter(counter.paints, benchmark::Counter::kAvgIterations);
    state.counters["pixels"] = benchmark::Counter(counter.pixels, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LiveSegmentToScreen);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
