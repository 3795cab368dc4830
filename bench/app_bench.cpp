// The surface window's own cost: Qt mouse samples merged into one PenMove and one
// write, and showing the framebuffer on screen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <memory>

#include "platform/QtProfile.h"
#include "platform/SurfaceWidget.h"
#include "surface/TabletView.h"
#include "tests/support/RecordingSocketIo.h"
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
    CRecordingSocketIo io;
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

// Showing the whole framebuffer, as after a repaint.
void BM_ShowWholeFrame(benchmark::State& state) {
    CRig rig;
    for (auto _ : state) {
        rig.surface->repaint();
    }
}
BENCHMARK(BM_ShowWholeFrame);

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
