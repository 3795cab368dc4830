// Gestures end to end through the operating system's sockets: a listener on a
// loopback address other than 127.0.0.1 reads back what the surface wrote.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/MessageBox.h"
#include "platform/QtProfile.h"
#include "platform/SocketIo.h"
#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/TempProfile.h"

namespace {

class LoopbackGestures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(listener.Listening());
        temp.PointAt(listener.Address(), listener.Port());
        profile = std::make_unique<CQtProfile>(temp.Path());
        view = std::make_unique<CTabletView>(*profile, host, PvPosixSocketIo());
        CTabletView::s_bFirstPaint = false;
        view->Create();
        ASSERT_TRUE(listener.Accept());
        ASSERT_EQ(listener.Read(1), "+");
    }

    CRecordingMessageBox boxes;
    CLoopbackListener listener{"127.0.0.2"};
    CTempProfile temp;
    std::unique_ptr<CQtProfile> profile;
    CFakeViewHost host;
    std::unique_ptr<CTabletView> view;
};

TEST_F(LoopbackGestures, TapAndHoldDragArrivesByteForByte) {
    const std::string expected =
        ":09601072"            // first pen-down calibrates
        "> 400 200!> 400 200"  // the hold presses between two copies of the point
        "> 440 240"            // drag
        "> 480 280> 520 320"   // a merged move: one batch
        "^> 520 320";          // lift: release, then the last point
    host.history = {{400, 304}};
    view->OnPenDown({100, 50});
    view->OnTapAndHold({100, 76});
    host.history = {{440, 344}};
    view->OnPenMove({110, 60});
    host.history = {{480, 384}, {520, 424}};
    view->OnPenMove({130, 80});
    host.history = {{520, 424}};
    view->OnPenUp({130, 80});

    EXPECT_EQ(listener.Read(expected.size()), expected);
    EXPECT_EQ(listener.ReadAvailable(100), "") << "nothing more, no empty batch on the wire";
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LoopbackGestures, ExtentIsRepeatedAfterTheServerRestarts) {
    host.history = {{400, 304}};
    view->OnPenDown({100, 50});
    view->OnPenUp({100, 50});
    ASSERT_EQ(listener.Read(11), ":09601072!^");

    // The server drops the connection but keeps listening. Writes go on until one
    // fails and reconnects; a bounded number of toolbar clicks brings that about.
    listener.CloseClient();
    for (int i = 0; i < 200 && !view->m_bNeedCalibration; ++i) {
        view->OnRightClick();
    }
    ASSERT_TRUE(view->m_bNeedCalibration) << "no write failed after the peer closed";
    ASSERT_TRUE(listener.Accept());

    host.history = {{440, 344}};
    view->OnPenDown({110, 60});
    view->OnPenUp({110, 60});
    // No Attach again; a fresh Extent first. The tap before the restart clicked, so this
    // lift only releases.
    EXPECT_EQ(listener.Read(10), ":09601072^");
}

}  // namespace
