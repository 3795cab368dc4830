// Gestures end to end through the operating system's sockets: a listener on a
// loopback address other than 127.0.0.1 reads back what the surface wrote.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/PosixByteLink.h"
#include "surface/Commands.h"
#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/Recorders.h"

namespace {

class LoopbackGestures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(listener.Listening());
        profile.Set("IP Address", listener.Address());
        profile.Set("Port", std::to_string(listener.Port()));
        view = std::make_unique<CTabletView>(profile, host, link);
        view->Create();
        // A running program has painted once before any pen event.
        CTabletView::ResetFirstPaint();
        view->OnPaint();
        ASSERT_TRUE(listener.Accept());
        ASSERT_EQ(listener.Read(1), "+");
    }

    CRecordingMessageBox boxes;
    CLoopbackListener listener{"127.0.0.2"};
    CMemoryProfile profile;
    CFakeViewHost host;
    CPosixByteLink link;
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
    bool back = false;
    for (int i = 0; i < 200 && !back; ++i) {
        view->OnCommand(pv::cmd::kRightClick);
        back = listener.Accept(5);
    }
    ASSERT_TRUE(back) << "no write failed after the peer closed";

    host.history = {{440, 344}};
    view->OnPenDown({110, 60});
    view->OnPenUp({110, 60});
    // No Attach again; a fresh Extent first, then this tap's own click.
    EXPECT_EQ(listener.Read(11), ":09601072!^");
}

}  // namespace
