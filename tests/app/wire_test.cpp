// The real program end to end: mouse input on the real main window, and the bytes
// a real listener on 127.0.0.2 receives.
#include <QTest>
#include <QWindow>
#include <string>

#include "platform/PosixByteLink.h"
#include "app/MainFrame.h"
#include "app/TabletApp.h"
#include "platform/HelpViewer.h"
#include "platform/MessageBox.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempProfile.h"

namespace {

std::string Rec(int x, int y) {
    return QString::asprintf(">%4d%4d", x, y).toStdString();
}
std::string Extent(int a, int b) {
    return QString::asprintf(":%04d%04d", a, b).toStdString();
}

}  // namespace

class TestWire : public QObject {
    Q_OBJECT

private slots:
    void gesturesOnTheMainWindowReachTheListener();

private:
    // Window-system input at client points of the surface.
    void Send(QEvent::Type type, QPoint client, Qt::MouseButtons buttons, Qt::MouseButton button, int gap);
    void Press(QPoint p, int gap = 1000) {
        Send(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton, gap);
    }
    void Move(QPoint p) { Send(QEvent::MouseMove, p, Qt::LeftButton, Qt::NoButton, 10); }
    void Release(QPoint p) { Send(QEvent::MouseButtonRelease, p, Qt::NoButton, Qt::LeftButton, 10); }

    CMainFrame* frame = nullptr;
    int timestamp = 1000;
};

void TestWire::Send(QEvent::Type type, QPoint client, Qt::MouseButtons buttons, Qt::MouseButton button,
                    int gap) {
    const QPointF local = QPointF(client + frame->Surface().mapTo(frame, QPoint(0, 0)));
    // The gap before an event decides whether two taps make a double-tap.
    timestamp += gap;
    qt_handleMouseEvent(frame->windowHandle(), local, frame->mapToGlobal(local), buttons, button, type,
                        Qt::NoModifier, timestamp);
    // Each move is handled before the next arrives, so none are merged.
    QCoreApplication::processEvents();
}

void TestWire::gesturesOnTheMainWindowReachTheListener() {
    CRecordingMessageBox boxes;
    CRecordingHelpViewer help;
    CLoopbackListener listener("127.0.0.2");
    QVERIFY(listener.Listening());
    CTempProfile temp;
    // A zero extended drawing time closes the window as soon as its timer is handled.
    temp.WriteSettings("IP%20Address=127.0.0.2\nPort=" + std::to_string(listener.Port()) +
                       "\nExtendedDrawingTime=0\n");

    CPosixByteLink link;

    CTabletApp app(link, temp.Path());
    QVERIFY(app.InitInstance());
    frame = app.MainFrame();
    QVERIFY(frame != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QVERIFY(listener.Accept());
    QCOMPARE(listener.Read(1), std::string("+"));

    CTabletView& view = frame->View();
    CSurfaceWidget& surface = frame->Surface();
    // The first paint applies the stored orientation.
    QTRY_VERIFY(frame->CommandAction(pv::cmd::kOrientationNorth)->isChecked());
    // The screen is the frame's inside: 4 raw units a pixel, the client area starts below the bar.
    QCOMPARE(surface.RawUnitsPerPixel(), 4);
    const int top = surface.mapTo(frame, QPoint(0, 0)).y();
    QVERIFY(top > 0);
    const int width = frame->width();
    const int height = surface.height();
    QCOMPARE(surface.width(), width);
    QCOMPARE(top + height, frame->height());
    // Holds only where this test asks for one.
    surface.SetHoldTime(24 * 3600 * 1000);

    // A tap: the first pen-down sends the Extent (width of the screen, height of the surface), the lift a
    // click.
    Press({100, 50});
    Release({100, 50});
    std::string expected = Extent(4 * width, 4 * height) + "!^";
    QCOMPARE(listener.Read(expected.size()), expected);

    // A slide: one Position per move; the lift releases ("^") with a last batch, a tap just before or not.
    Press({60, 60});
    Move({70, 60});
    Move({80, 64});
    Release({80, 64});
    expected = Rec(280, 240) + Rec(320, 256) + "^" + Rec(320, 256);
    QCOMPARE(listener.Read(expected.size()), expected);

    // A double-tap and drag: click, second click, press at the pen; the first move is skipped, the rest drag.
    Press({150, 100});
    Release({150, 100});
    Press({150, 100}, 10);
    Move({160, 100});
    Move({170, 104});
    Release({170, 104});
    expected = std::string("!^") + "!^" + Rec(600, 400) + "!" + Rec(680, 416) + "^";
    QCOMPARE(listener.Read(expected.size()), expected);
    // The drag drew ink through every point.
    QCOMPARE(surface.FrameBuffer().Pixel(155, 100), 0x000000u);
    QCOMPARE(surface.FrameBuffer().Pixel(165, 102), 0x000000u);
    // The drawing window closes and the cursor comes back where the pen was lifted.
    QTRY_COMPARE_WITH_TIMEOUT(view.CursorPoint(), (PvPoint{170, 104}), 20000);

    // A tap-and-hold and drag, with the real hold time.
    surface.SetHoldTime(pv::gesture::kHoldTimeMs);
    Press({60, 150});
    expected = Rec(240, 600) + "!" + Rec(240, 600);
    std::string held;
    QTRY_VERIFY_WITH_TIMEOUT((held += listener.ReadAvailable(0), held.size() >= expected.size()), 20000);
    QCOMPARE(held, expected);
    Move({70, 150});
    Move({80, 160});
    Release({80, 160});
    expected = Rec(280, 600) + Rec(320, 640) + "^" + Rec(320, 640);
    QCOMPARE(listener.Read(expected.size()), expected);
    QTRY_COMPARE_WITH_TIMEOUT(view.CursorPoint(), (PvPoint{80, 160}), 20000);

    // A bigger window: the next pen-down measures again.
    surface.SetHoldTime(24 * 3600 * 1000);
    frame->resize(width + 60, frame->height() + 80);
    QTRY_COMPARE(frame->width(), width + 60);
    QTRY_COMPARE(surface.height(), height + 80);
    Press({100, 50});
    Release({100, 50});
    expected = Extent(4 * (width + 60), 4 * (height + 80)) + "!^";
    QCOMPARE(listener.Read(expected.size()), expected);

    QCOMPARE(listener.ReadAvailable(100), std::string());
    QVERIFY(boxes.shown.empty());
    QVERIFY(help.started.empty());
}

QTEST_MAIN(TestWire)
#include "wire_test.moc"
