// The surface's window: how Qt input becomes pen events with raw points, merged
// moves, tap-and-hold, the action button, timers, and what is shown on screen.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPointingDevice>
#include <QRegion>
#include <QTabletEvent>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QTimer>

#include "platform/GestureTiming.h"
#include "platform/MessageBox.h"
#include "platform/QtImage.h"
#include "platform/QtMessageBox.h"
#include "platform/QtProfile.h"
#include "platform/SurfaceWidget.h"
#include "surface/Commands.h"
#include "surface/Images.h"
#include "surface/TabletView.h"
#include "tests/support/RecordingLink.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempProfile.h"

namespace {

// A handheld-sized screen: a 26-pixel bar above a 240 x 294 surface.
constexpr int kBar = 26;
constexpr int kWidth = 240;
constexpr int kHeight = 294;

// The regions the widget is asked to paint.
class CPaintRecorder : public QObject {
public:
    std::vector<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        }
        return false;
    }
};

// One Position record as it goes on the wire.
QString Rec(int x, int y) {
    return QString::asprintf(">%4d%4d", x, y);
}

// Records the timer reports that reach the surface and, as the surface does, stops
// each timer when it fires; nothing else.
class CTimerCounter : public ISurfaceInput {
public:
    explicit CTimerCounter(IViewHost& host) : m_host(host) {}
    void OnPenDown(PvPoint) override {}
    void OnPenMove(PvPoint) override {}
    void OnPenUp(PvPoint) override {}
    void OnDoubleTap(PvPoint) override {}
    void OnTapAndHold(PvPoint) override {}
    void OnKeyDown(unsigned, unsigned) override {}
    void OnKeyUp(unsigned, unsigned) override {}
    void OnTimer(int id) override {
        m_host.KillTimer(id);
        fired.push_back(id);
    }
    void OnPaint() override {}
    void OnSize(int, int) override {}
    bool OnCommand(int) override { return false; }
    std::vector<int> fired;

private:
    IViewHost& m_host;
};

}  // namespace

class TestSurfaceWidget : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pointsAreSubPixelRawUnitsFromTheScreenCorner();
    void movesMergeUntilTheUiCatchesUp();
    void largeScreensGetFewerRawUnits_data();
    void largeScreensGetFewerRawUnits();
    void tapAndHoldDeliversTheScreenPoint();
    void movingAwayCancelsTheHold();
    void actionButtonIgnoresAutoRepeat();
    void timerRestartsWhenSetAgain();
    void resizeRecalibratesAndTheFramebufferIsShown();
    void framebufferIsShownWithoutACopy();
    void drawingOutsideAPaintShowsOnlyItsDamage();
    void imagesKeepTheirPixelsAndMask();
    void aBoxThatTookThePenUpEndsTheGesture();

private:
    // Input as the window system delivers it, at points of the surface.
    void Send(QEvent::Type type, QPointF surfacePoint, Qt::MouseButtons buttons, Qt::MouseButton button);
    void Press(QPointF p) { Send(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton); }
    void Move(QPointF p) { Send(QEvent::MouseMove, p, Qt::LeftButton, Qt::NoButton); }
    void Release(QPointF p) { Send(QEvent::MouseButtonRelease, p, Qt::NoButton, Qt::LeftButton); }
    void Key(QEvent::Type type, bool autoRepeat) {
        QKeyEvent event(type, Qt::Key_F23, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(surface, &event);
    }
    // Writes made since the last call, one entry per write.
    QStringList Writes() {
        QStringList writes;
        for (const std::string& write : io.writes) {
            writes << QString::fromStdString(write);
        }
        io.writes.clear();
        return writes;
    }

    int timestamp = 1000;
    CRecordingLink io;
    CRecordingMessageBox boxes;
    std::unique_ptr<CTempProfile> temp;
    std::unique_ptr<CQtProfile> profile;
    std::unique_ptr<QWidget> screen;
    CSurfaceWidget* surface = nullptr;
    std::unique_ptr<CTabletView> view;
};

void TestSurfaceWidget::Send(QEvent::Type type, QPointF surfacePoint, Qt::MouseButtons buttons,
                             Qt::MouseButton button) {
    const QPointF local = surfacePoint + QPointF(0, kBar);
    // Far apart in time: two presses never make a double-click here.
    timestamp += 1000;
    qt_handleMouseEvent(screen->windowHandle(), local, screen->mapToGlobal(local), buttons, button, type,
                        Qt::NoModifier, timestamp);
}

void TestSurfaceWidget::init() {
    temp = std::make_unique<CTempProfile>();
    temp->PointAt("127.0.0.2", 5999);
    profile = std::make_unique<CQtProfile>(temp->Path());
    screen = std::make_unique<QWidget>();
    screen->setFixedSize(kWidth, kBar + kHeight);
    auto* bar = new QWidget(screen.get());
    bar->setGeometry(0, 0, kWidth, kBar);
    surface = new CSurfaceWidget(screen.get());
    surface->setGeometry(0, kBar, kWidth, kHeight);
    // No hold unless a test asks for one.
    surface->SetHoldTime(24 * 3600 * 1000);
    view = std::make_unique<CTabletView>(*profile, *surface, io);
    view->Create();
    surface->SetInput(view.get());
    screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
    QCoreApplication::processEvents();
    QCOMPARE(Writes(), QStringList{"+"});
}

void TestSurfaceWidget::cleanup() {
    io.writes.clear();
    surface->SetInput(nullptr);
    view.reset();
    screen.reset();
    QVERIFY(boxes.shown.empty());
}

void TestSurfaceWidget::pointsAreSubPixelRawUnitsFromTheScreenCorner() {
    QCOMPARE(surface->RawUnitsPerPixel(), 4);
    QCOMPARE(surface->GetWorkArea(), (PvRect{0, kBar, kWidth, kBar + kHeight}));
    QCOMPARE(surface->GetClientRect(), (PvRect{0, 0, kWidth, kHeight}));

    Press({100, 50});
    // A pen sample, then the mouse event Qt makes of it in whole pixels.
    QTabletEvent sample(QEvent::TabletMove, QPointingDevice::primaryPointingDevice(), QPointF(110.75, 80.5),
                        surface->mapToGlobal(QPointF(110.75, 80.5)), 0.5, 0, 0, 0, 0, 0, Qt::NoModifier,
                        Qt::NoButton, Qt::LeftButton);
    QApplication::sendEvent(surface, &sample);
    QMouseEvent move(QEvent::MouseMove, QPointF(111, 81), surface->mapToGlobal(QPointF(111, 81)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(surface, &move);
    QCoreApplication::processEvents();
    // Where the window system last saw the pen, so it adds no move of its own.
    Release({100, 50});
    // Width from the screen, height from the surface; raw x = 4 * 110.75, raw y = 4 * (80.5 + 26) - 104.
    const QStringList expected{":09601176", Rec(443, 322), "^", Rec(400, 200)};
    QCOMPARE(Writes(), expected);
}

void TestSurfaceWidget::movesMergeUntilTheUiCatchesUp() {
    Press({10, 10});
    QCoreApplication::processEvents();
    Writes();

    // Three moves before the UI gets to them: one PenMove, one write, oldest first.
    for (int x : {20, 21, 22}) {
        Move({static_cast<double>(x), 10});
    }
    QVERIFY(io.writes.empty());
    QCoreApplication::processEvents();
    QCOMPARE(Writes(), QStringList{Rec(80, 40) + Rec(84, 40) + Rec(88, 40)});

    // Twenty: a full batch of sixteen leaves at once, the rest when the UI catches up.
    QString first;
    QString rest;
    for (int i = 0; i < 20; ++i) {
        const int x = 30 + i;
        Move({static_cast<double>(x), 10});
        (i < 16 ? first : rest) += Rec(4 * x, 40);
    }
    QCOMPARE(Writes(), QStringList{first});
    QCoreApplication::processEvents();
    QCOMPARE(Writes(), QStringList{rest});

    // Moves still pending when the pen lifts go out before the lift.
    Move({60, 12});
    Move({61, 12});
    Release({61, 12});
    const QStringList expected{Rec(240, 48) + Rec(244, 48), "^", Rec(244, 48)};
    QCOMPARE(Writes(), expected);
}

void TestSurfaceWidget::largeScreensGetFewerRawUnits_data() {
    QTest::addColumn<int>("largestSide");
    QTest::addColumn<int>("units");
    QTest::newRow("handheld") << 320 << 4;
    QTest::newRow("last size with 4") << 2499 << 4;
    QTest::newRow("2500 would reach 10000") << 2500 << 3;
    QTest::newRow("last size with 3") << 3333 << 3;
    QTest::newRow("wall") << 4000 << 2;
    QTest::newRow("huge") << 6000 << 1;
}

void TestSurfaceWidget::largeScreensGetFewerRawUnits() {
    QFETCH(int, largestSide);
    QFETCH(int, units);
    screen->setFixedSize(kWidth, largestSide);
    surface->setGeometry(0, kBar, kWidth, largestSide - kBar);
    QCOMPARE(surface->RawUnitsPerPixel(), units);
    // The bottom-right pixel of the screen stays inside four digits.
    Press({kWidth - 1, static_cast<double>(largestSide - kBar - 1)});
    Release({kWidth - 1, static_cast<double>(largestSide - kBar - 1)});
    const QStringList writes = Writes();
    QVERIFY(!writes.empty());
    QCOMPARE(writes.front(), QString::asprintf(":%04d%04d", kWidth * units, (largestSide - kBar) * units));
    QVERIFY(largestSide * units < 10000);
}

void TestSurfaceWidget::tapAndHoldDeliversTheScreenPoint() {
    // A slide calibrates and leaves no click behind.
    Press({100, 50});
    Move({120, 50});
    Release({120, 50});
    QCoreApplication::processEvents();
    Writes();

    surface->SetHoldTime(20);
    Press({60, 40});
    QTRY_VERIFY_WITH_TIMEOUT(io.writes.size() >= 3, 20000);
    const QStringList expected{Rec(240, 160), "!", Rec(240, 160)};
    QCOMPARE(Writes(), expected);
    // The screen point came back to the client point the pen is at: the drag's ink starts there.
    Move({70, 40});
    QCoreApplication::processEvents();
    QCOMPARE(Writes(), QStringList{Rec(280, 160)});
    QCOMPARE(surface->FrameBuffer().Pixel(60, 40), 0x000000u);
    QCOMPARE(surface->FrameBuffer().Pixel(69, 41), 0x000000u);
    QCOMPARE(surface->FrameBuffer().Pixel(59, 40), 0xFFFFFFu);
    Release({70, 40});
    QCOMPARE(Writes(), (QStringList{"^", Rec(280, 160)}));
}

void TestSurfaceWidget::movingAwayCancelsTheHold() {
    // Calibrated by a slide first, so that only the hold would press.
    Press({100, 50});
    Move({120, 50});
    Release({120, 50});
    QCoreApplication::processEvents();
    Writes();
    const auto pressed = [this] {
        for (const std::string& write : io.writes) {
            if (write == "!") {
                return true;
            }
        }
        return false;
    };
    constexpr int kSlop = pv::gesture::kHoldSlopPx;
    surface->SetHoldTime(30);

    Press({60, 40});
    Move({60.0 + kSlop, 40.0 - kSlop});
    QTRY_VERIFY2_WITH_TIMEOUT(pressed(), "within the slop the hold still counts", 20000);
    Release({60.0 + kSlop, 40.0 - kSlop});
    Writes();

    Press({60, 40});
    Move({60.0 + kSlop + 1, 40});
    QTest::qWait(300);
    QVERIFY2(!pressed(), "moving further cancels");
    Release({65, 40});

    Press({10, 10});
    Release({10, 10});
    QTest::qWait(300);
    QVERIFY2(!pressed(), "lifting cancels");
}

void TestSurfaceWidget::actionButtonIgnoresAutoRepeat() {
    Press({100, 50});
    QCoreApplication::processEvents();
    Writes();
    Key(QEvent::KeyPress, false);
    QCOMPARE(Writes(), QStringList{"!"});
    // Held down: the system repeats it as release and press pairs.
    for (int i = 0; i < 3; ++i) {
        Key(QEvent::KeyRelease, true);
        Key(QEvent::KeyPress, true);
    }
    QVERIFY(io.writes.empty());
    Key(QEvent::KeyRelease, false);
    QCOMPARE(Writes(), QStringList{"^"});
}

void TestSurfaceWidget::timerRestartsWhenSetAgain() {
    CTimerCounter counter(*surface);
    surface->SetInput(&counter);
    surface->SetTimer(1, 24 * 3600 * 1000);
    // Setting it again replaces the day-long period.
    surface->SetTimer(1, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!counter.fired.empty(), 20000);
    QCOMPARE(counter.fired, std::vector<int>{1});

    surface->SetTimer(1, 0);
    surface->KillTimer(1);
    QTest::qWait(50);
    QCOMPARE(counter.fired, std::vector<int>{1});
    surface->SetInput(view.get());
}

void TestSurfaceWidget::resizeRecalibratesAndTheFramebufferIsShown() {
    Press({100, 50});
    Release({100, 50});

    surface->resize(200, 150);
    QCOMPARE(surface->FrameBuffer().Width(), 200);
    QCOMPARE(surface->FrameBuffer().Height(), 150);

    const QImage shown = surface->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(200, 150));
    // The grid of the new size: lines at x = 0, 16, ... and y = 0, 16, ...; white between.
    QCOMPARE(shown.pixel(16, 5) & 0xFFFFFFu, 0x000000u);
    QCOMPARE(shown.pixel(5, 144) & 0xFFFFFFu, 0x000000u);
    QCOMPARE(shown.pixel(40, 40) & 0xFFFFFFu, 0xFFFFFFu);
    QCOMPARE(shown, PvQImageView(surface->FrameBuffer()).convertToFormat(QImage::Format_RGB32));

    // The next pen-down measures against the new size.
    Writes();
    Press({100, 50});
    const QStringList writes = Writes();
    QVERIFY(!writes.empty());
    QCOMPARE(writes.front(), QString(":09600600"));
    Release({100, 50});
}

// Qt reads the framebuffer's own memory: whatever is drawn there later shows through.
void TestSurfaceWidget::framebufferIsShownWithoutACopy() {
    CPvFrameBuffer& frame = surface->FrameBuffer();
    const QImage shown = PvQImageView(frame);
    QCOMPARE(static_cast<const void*>(shown.constBits()), static_cast<const void*>(frame.Bits()));
    // The screen's own format: nothing is converted on the way.
    QCOMPARE(shown.format(), QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(frame.Width(), frame.Height()));
    QCOMPARE(shown.bytesPerLine(), qsizetype{frame.BytesPerLine()});

    frame.FillSolidRect({10, 20, 13, 22}, 0x123456);
    frame.FillSolidRect({0, 0, 1, 1}, 0xFF0000);
    const auto pen = PvCreatePen(kPvPenSolid, 2, 0x00FF80);
    frame.SelectPen(pen.get());
    frame.MoveTo({5, 100});
    frame.LineTo({200, 140});
    frame.SelectPen(nullptr);
    QCOMPARE(static_cast<const void*>(shown.constBits()), static_cast<const void*>(frame.Bits()));
    for (int y = 0; y < frame.Height(); ++y) {
        for (int x = 0; x < frame.Width(); ++x) {
            const QRgb pixel = shown.pixel(x, y);
            if ((pixel & 0xFFFFFFu) != frame.Pixel(x, y) || qAlpha(pixel) != 255) {
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2): %3 shown, %4 drawn")
                                     .arg(x)
                                     .arg(y)
                                     .arg(pixel, 8, 16)
                                     .arg(frame.Pixel(x, y), 6, 16)));
            }
        }
    }
    QCOMPARE(shown.pixel(11, 21), qRgb(0x12, 0x34, 0x56));
    QCOMPARE(shown.pixel(0, 0), qRgb(0xFF, 0, 0));
}

// A live segment drawn between paints asks Qt to show the pixels around it, not the window.
void TestSurfaceWidget::drawingOutsideAPaintShowsOnlyItsDamage() {
    QCoreApplication::processEvents();
    CPaintRecorder recorder;
    surface->installEventFilter(&recorder);
    IViewHost& host = *surface;
    IDrawSurface* dc = host.GetDC();
    const auto pen = PvCreatePen(kPvPenSolid, 2, kPvBlack);
    const CPvPen* previous = dc->SelectPen(pen.get());
    dc->MoveTo({50, 40});
    dc->LineTo({60, 40});
    dc->SelectPen(previous);
    host.ReleaseDC(dc);
    QTRY_VERIFY_WITH_TIMEOUT(!recorder.regions.empty(), 10000);
    QCoreApplication::processEvents();
    surface->removeEventFilter(&recorder);
    QCOMPARE(recorder.regions.size(), std::size_t{1});
    QCOMPARE(recorder.regions.front(), QRegion(50, 40, 10, 2));

    // And what is then shown is the framebuffer (a grab is a full paint, which runs the
    // surface's paint steps).
    const QImage shown = surface->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, PvQImageView(surface->FrameBuffer()).convertToFormat(QImage::Format_RGB32));
}

// Buttons and labels get a copy with the mask as alpha.
void TestSurfaceWidget::imagesKeepTheirPixelsAndMask() {
    const CPvImage& rotate = PvButtonImage(pv::cmd::kRotateOrientation);
    const QImage image = PvToQImage(rotate);
    QCOMPARE(image.size(), QSize(16, 16));
    QVERIFY(image.hasAlphaChannel());
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const QRgb pixel = image.pixel(x, y);
            QCOMPARE(qAlpha(pixel), int{rotate.Alpha(x, y)});
            if (qAlpha(pixel) == 255) {
                QCOMPARE(pixel & 0xFFFFFFu, rotate.Pixel(x, y));
            }
        }
    }
    QVERIFY(static_cast<const void*>(image.constBits()) != static_cast<const void*>(rotate.Bits()));
    QVERIFY(PvToQImage(CPvImage()).isNull());
}

// A box that comes up from a pen handler takes the pen-up. Afterwards the gesture is
// over: no tap-and-hold fires for the touch that ended under it, and the next slide is a
// slide, not a drag.
void TestSurfaceWidget::aBoxThatTookThePenUpEndsTheGesture() {
    // No desktop: the tap's writes fail and each shows a real box.
    io.failWrites = 1000;
    io.refuseConnect = true;
    CQtMessageBox realBoxes;
    int shown = 0;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr) {
            return;
        }
        if (++shown == 1) {
            // The pen is lifted while the first box is up, and the desktop comes back.
            Release({60, 40});
            io.failWrites = 0;
            io.refuseConnect = false;
        }
        static_cast<QMessageBox*>(box)->accept();
    });
    closer.start();
    surface->SetHoldTime(100);

    Press({60, 40});
    QTest::qWait(500);
    closer.stop();
    QCOMPARE(shown, 1);
    // The lift reached the surface after the box: its click went out on the new connection
    // (or was lost in the reconnection), and no press was ever sent.
    for (const std::string& write : io.writes) {
        QVERIFY2(write.find('!') == std::string::npos || write == "!^", write.c_str());
    }
    Writes();

    // The next slide sends positions and a release, never a press.
    Press({100, 50});
    Move({120, 60});
    Release({120, 60});
    QCoreApplication::processEvents();
    QTest::qWait(200);
    for (const QString& write : Writes()) {
        QVERIFY2(!write.contains('!'), qPrintable(write));
    }
}

QTEST_MAIN(TestSurfaceWidget)
#include "surface_widget_test.moc"
