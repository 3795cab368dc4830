// The connection to the desktop as the desktop sees it: a real listener on a
// loopback address other than 127.0.0.1, or a recording socket layer where
// nothing may be dialled. Writes are made through the surface's own commands and
// pen events, as the program makes them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/PV_Socket.h"
#include "link/Protocol.h"
#include "surface/Commands.h"
#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/PollWatcher.h"
#include "tests/support/Recorders.h"
#include "tests/support/RecordingLink.h"

namespace {

const std::string kFailureText =
    "Unable to communicate with Penvale server.  Make sure Pocket PC is connected to the host PC and that "
    "Penvale server is running on the desktop.";

// The fixed sentence, then the desktop that was tried.
std::string FailureBox(const std::string& address, int port) {
    return kFailureText + "\n\nAddress tried: " + address + ", port " + std::to_string(port) + ".";
}

// The worked example's calibration point: client (100, 50), raw (401, 305), work area at y 26.
const std::string kExtent = ":09601072";

CMemoryProfile PointAt(const std::string& address, int port) {
    CMemoryProfile profile;
    profile.Set("IP Address", address);
    profile.Set("Port", std::to_string(port));
    return profile;
}

// A pen-down and pen-up without moving: a calibration when one is pending, then a click.
void Tap(CTabletView& view, CFakeViewHost& host) {
    host.history = {{401, 305}};
    view.OnPenDown({100, 50});
    view.OnPenUp({100, 50});
}

class Connection : public ::testing::Test {
protected:
    CLoopbackListener listener;
    CRecordingMessageBox boxes;
    CFakeViewHost host;
    CPollWatcher watcher;
    CPosixByteLink io{watcher};
};

// Right clicks until the desktop sees the client come back (a failed write reconnects
// at once). Returns how many clicks that took, -1 if it never came back.
int ClickUntilReconnected(CTabletView& view, CLoopbackListener& listener) {
    for (int i = 1; i <= 200; ++i) {
        view.OnCommand(pv::cmd::kRightClick);
        if (listener.Accept(5)) {
            return i;
        }
    }
    return -1;
}

TEST_F(Connection, AttachAtCreationThenSilentReconnectionWithAFreshExtentAfterServerRestart) {
    ASSERT_TRUE(listener.Listening());
    CMemoryProfile profile = PointAt("127.0.0.2", listener.Port());
    CTabletView view(profile, host, io);
    ASSERT_TRUE(view.Create());
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(listener.Read(1), "+");
    // The client connects from an ephemeral port, never from the server's own.
    EXPECT_NE(listener.PeerPort(), listener.Port());

    Tap(view, host);
    EXPECT_EQ(listener.Read(kExtent.size() + 2), kExtent + "!^");

    ASSERT_TRUE(listener.Restart());
    ASSERT_GT(ClickUntilReconnected(view, listener), 0) << "a write on the dead connection never failed";
    EXPECT_TRUE(boxes.shown.empty());

    // The new connection carries no Attach and not the bytes of the failed write: the
    // next pen event starts with a fresh Extent, then the tap's own click.
    Tap(view, host);
    EXPECT_EQ(listener.Read(kExtent.size() + 2), kExtent + "!^");
    EXPECT_EQ(listener.ReadAvailable(), "");
}

TEST_F(Connection, WithNothingListeningStartupIsSilentAndEveryWriteShowsOneBox) {
    const int port = listener.Port();
    listener.CloseListener();
    CMemoryProfile profile = PointAt("127.0.0.2", port);
    CTabletView view(profile, host, io);
    view.Create();
    EXPECT_TRUE(boxes.shown.empty());

    // The calibration's Extent and the click: two writes, two boxes.
    Tap(view, host);
    EXPECT_EQ(boxes.shown, std::vector<std::string>(2, FailureBox("127.0.0.2", port)));
    // A slide sends a Position batch; with no points the batch is empty and still a write.
    host.history = {};
    view.OnPenMove({120, 60});
    EXPECT_EQ(boxes.shown.size(), 3u);

    // Once the server is up, the next write's recovery connects without Attach and
    // re-arms the calibration.
    CLoopbackListener late("127.0.0.2", port);
    ASSERT_TRUE(late.Listening());
    view.OnCommand(pv::cmd::kRightClick);
    EXPECT_EQ(boxes.shown.size(), 3u);
    ASSERT_TRUE(late.Accept());
    Tap(view, host);
    EXPECT_EQ(late.Read(kExtent.size() + 2), kExtent + "!^") << "every tap clicks, the lost one before too";
}

TEST_F(Connection, WritesOnABrokenConnectionNeverKillTheProcess) {
    CMemoryProfile profile = PointAt("127.0.0.2", listener.Port());
    CTabletView view(profile, host, io);
    view.Create();
    ASSERT_TRUE(listener.Accept());
    listener.CloseClient();
    listener.CloseListener();
    // Without protection the second send after the peer's close raises SIGPIPE.
    for (int i = 0; i < 200 && boxes.shown.empty(); ++i) {
        view.OnCommand(pv::cmd::kRightClick);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(boxes.shown, std::vector<std::string>{FailureBox("127.0.0.2", listener.Port())});
    // The recovery left an unconnected socket: the next write fails and recovers too.
    view.OnCommand(pv::cmd::kLeftClick);
    EXPECT_EQ(boxes.shown.size(), 2u);
}

TEST_F(Connection, TwoClientsOnOneHost) {
    CMemoryProfile profile = PointAt("127.0.0.2", listener.Port());
    CTabletView first(profile, host, io);
    first.Create();
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(listener.Read(1), "+");
    const int firstPort = listener.PeerPort();

    // A second client beside the first may not collide with a port still in use.
    CFakeViewHost otherHost;
    CPosixByteLink otherLink{watcher};
    CTabletView second(profile, otherHost, otherLink);
    second.Create();
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(listener.Read(1), "+");
    EXPECT_NE(listener.PeerPort(), firstPort);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Connection, IncomingDataAndThePeersCloseAreEachReportedOncePerArrival) {
    CMemoryProfile profile = PointAt("127.0.0.2", listener.Port());
    CTabletView view(profile, host, io);
    view.Create();
    ASSERT_TRUE(listener.Accept());

    ASSERT_TRUE(listener.SendToClient("hello"));
    watcher.PumpUntil([&] { return !boxes.shown.empty(); });
    watcher.PumpUntil([] { return false; }, 100);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{"CPV_Socket::OnReceive"});

    ASSERT_TRUE(listener.SendToClient("again"));
    watcher.PumpUntil([&] { return boxes.shown.size() >= 2; });
    watcher.PumpUntil([] { return false; }, 100);
    EXPECT_EQ(boxes.shown.size(), 2u);

    listener.CloseClient();
    watcher.PumpUntil([&] { return boxes.shown.size() >= 3; });
    watcher.PumpUntil([] { return false; }, 100);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[2], "CPV_Socket::OnClose");
}

// The box of a report runs a nested event loop; a new desktop chosen under it ends the
// old connection, whose close is then never reported.
TEST_F(Connection, AConnectionEndedUnderAReportsBoxReportsNothingMore) {
    CMemoryProfile profile = PointAt("127.0.0.2", listener.Port());
    CTabletView view(profile, host, io);
    struct CMovingBoxes : CRecordingMessageBox {
        CTabletView* view = nullptr;
        void Show(const std::string& text) override {
            CRecordingMessageBox::Show(text);
            view->OnDesktopChanged();
        }
    } moving;
    moving.view = &view;
    view.Create();
    ASSERT_TRUE(listener.Accept());

    // The data and the end of the stream are read in one pass.
    ASSERT_TRUE(listener.SendToClient("hello"));
    listener.CloseClient();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    watcher.PumpUntil([&] { return !moving.shown.empty(); });
    watcher.PumpUntil([] { return false; }, 200);
    EXPECT_EQ(moving.shown, std::vector<std::string>{"CPV_Socket::OnReceive"});
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Connection, AnUnreachableDesktopCostsABoundedWait) {
    // A listener whose queue is full drops new handshakes, as a host that does not answer would.
    CLoopbackListener full("127.0.0.2", 0, 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<uint16_t>(full.Port()));
        ::inet_pton(AF_INET, "127.0.0.2", &peer.sin_addr);
        ::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
        fillers.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    CMemoryProfile profile = PointAt("127.0.0.2", full.Port());
    CTabletView view(profile, host, io);
    const auto start = std::chrono::steady_clock::now();
    view.Create();
    // Generous bound: the point is that it returns, not how fast.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    view.OnCommand(pv::cmd::kRightClick);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{FailureBox("127.0.0.2", full.Port())});
    for (int fd : fillers) {
        ::close(fd);
    }
}

TEST(ConnectionSettings, AddressResolutionAndPortRange) {
    EXPECT_EQ(CPV_Socket::ResolveAddress("127.0.0.1"), CSettingsStore::kDefaultIpAddress);
    EXPECT_EQ(CPV_Socket::ResolveAddress("127.0.0.2"), "127.0.0.2");
    EXPECT_EQ(CPV_Socket::ResolveAddress(""), "");
    EXPECT_EQ(CPV_Socket::ResolveAddress("desktop.local"), "desktop.local");
    EXPECT_EQ(CPV_Socket::ResolveAddress("127.000.000.001"), "127.000.000.001");

    // Through a recording socket layer, so that nothing is ever dialled.
    struct Row {
        std::vector<std::pair<std::string, std::string>> settings;
        std::string dialled;  // empty: no connect attempted
        std::string tried;    // the failure box's detail after a failed write
    };
    const std::string fallback = std::string(CSettingsStore::kDefaultIpAddress) + ":55";
    // Unconfigured, the handheld dials the port the desktop server listens on without options.
    EXPECT_EQ(fallback, std::string(CSettingsStore::kDefaultIpAddress) + ":" +
                            std::to_string(pv::protocol::kDefaultPort));
    const std::string notAPort = "\", which is not a port number from 1 to 65535.";
    const Row rows[] = {
        {{}, fallback, ""},
        {{{"IP Address", "127.0.0.1"}}, fallback, ""},
        {{{"IP Address", "127.0.0.2"}, {"Port", "5555"}}, "127.0.0.2:5555", ""},
        {{{"IP Address", "127.0.0.2"}, {"Port", "1"}}, "127.0.0.2:1", ""},
        {{{"IP Address", "127.0.0.2"}, {"Port", "65535"}}, "127.0.0.2:65535", ""},
        {{{"IP Address", "127.0.0.2"}, {"Port", "65536"}}, "", "127.0.0.2, port \"65536" + notAPort},
        {{{"IP Address", "127.0.0.2"}, {"Port", "70000"}}, "", "127.0.0.2, port \"70000" + notAPort},
        {{{"IP Address", "127.0.0.2"}, {"Port", "0"}}, "", "127.0.0.2, port \"0" + notAPort},
        {{{"IP Address", "127.0.0.2"}, {"Port", "-1"}}, "", "127.0.0.2, port \"-1" + notAPort},
        // Text that is no number used to read as the default port 55.
        {{{"IP Address", "127.0.0.2"}, {"Port", "5555x"}}, "", "127.0.0.2, port \"5555x" + notAPort},
        {{{"IP Address", "127.0.0.2"}, {"Port", ""}}, "", "127.0.0.2, port \"" + notAPort},
        {{{"IP Address", "127.0.0.2"}, {"Port", "99999999999"}},
         "",
         "127.0.0.2, port \"99999999999" + notAPort},
        {{{"IP Address", ""}, {"Port", "5555x"}}, "", "(none), port \"5555x" + notAPort},
    };
    for (const Row& row : rows) {
        CMemoryProfile profile;
        for (const auto& [entry, value] : row.settings) {
            profile.Set(entry, value);
        }
        SCOPED_TRACE(row.dialled);
        CRecordingLink io;
        CRecordingMessageBox boxes;
        CFakeViewHost host;
        CTabletView view(profile, host, io);
        view.Create();
        EXPECT_EQ(io.connects,
                  row.dialled.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.dialled});
        EXPECT_EQ(io.writes,
                  row.dialled.empty() ? std::vector<std::string>{} : std::vector<std::string>{"+"});
        // One-byte clicks must leave at once, not wait to be merged with the next write.
        EXPECT_EQ(io.noDelays, row.dialled.empty() ? 0 : 1);
        EXPECT_TRUE(boxes.shown.empty());
        if (row.dialled.empty()) {
            view.OnCommand(pv::cmd::kRightClick);
            EXPECT_TRUE(io.connects.empty());
            EXPECT_EQ(boxes.shown,
                      std::vector<std::string>{kFailureText + "\n\nAddress tried: " + row.tried});
        }
    }
}

TEST(ConnectionRecovery, FailedWriteIsDroppedReconnectedAndReported) {
    CMemoryProfile profile = PointAt("127.0.0.2", 5555);
    CRecordingLink io;
    CRecordingMessageBox boxes;
    CFakeViewHost host;
    CTabletView view(profile, host, io);
    view.Create();
    Tap(view, host);
    EXPECT_EQ(io.writes, (std::vector<std::string>{"+", kExtent, "!^"}));
    io.writes.clear();

    // One failing write: shut down, reconnected silently, bytes lost, Extent re-armed.
    io.failWrites = 1;
    view.OnCommand(pv::cmd::kDoubleClick);
    EXPECT_EQ(io.shutdowns, 1);
    EXPECT_EQ(io.connects.size(), 2u);
    view.OnCommand(pv::cmd::kRightClick);
    Tap(view, host);
    EXPECT_EQ(io.writes, (std::vector<std::string>{"|", kExtent, "!^"}));
    EXPECT_TRUE(boxes.shown.empty());

    // The socket cannot even be created: its error number, then the failure box.
    io.failWrites = 1;
    io.failOpen = true;
    view.OnCommand(pv::cmd::kRightClick);
    EXPECT_EQ(boxes.shown, (std::vector<std::string>{"Create Error: 98", FailureBox("127.0.0.2", 5555)}));

    // A closed socket's writes still go to send (and fail), one box each; an empty
    // Position batch is a write too.
    io.failOpen = false;
    io.refuseConnect = true;
    boxes.shown.clear();
    const int failedBefore = io.failedSends;
    host.history = {};
    view.OnPenMove({110, 60});
    EXPECT_EQ(io.failedSends, failedBefore + 1);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{FailureBox("127.0.0.2", 5555)});
}

// A box runs a nested event loop. A box asked for by a failing write opens only once the
// event that wrote has been handled in full, so the timer and the pen event that arrive
// while it is up find the surface between events, never inside a write.
TEST(ConnectionRecovery, BoxesOpenAfterTheEventThatWroteAndNothingReentersAWrite) {
    std::vector<std::string> log;
    struct CLoggingIo : CRecordingLink {
        std::vector<std::string>* log = nullptr;
        int SendSocket(int fd, const void* bytes, std::size_t length) override {
            const int sent = CRecordingLink::SendSocket(fd, bytes, length);
            log->push_back("send " + std::string(static_cast<const char*>(bytes), length) + " " +
                           std::to_string(sent < 0 ? -1 : sent));
            return sent;
        }
    } io;
    io.log = &log;
    struct CLoggingHost : CFakeViewHost {
        std::vector<std::string>* log = nullptr;
        void SetTimer(int id, int) override { log->push_back("set timer " + std::to_string(id)); }
        void KillTimer(int id) override { log->push_back("kill timer " + std::to_string(id)); }
    } host;
    host.log = &log;
    CMemoryProfile profile = PointAt("127.0.0.2", 5555);
    CTabletView view(profile, host, io);
    // The first box receives the expiry of the drawing window and a pen move.
    struct CNestedBoxes : CRecordingMessageBox {
        std::vector<std::string>* log = nullptr;
        CTabletView* view = nullptr;
        CFakeViewHost* host = nullptr;
        void Show(const std::string& text) override {
            CRecordingMessageBox::Show(text);
            log->push_back("box");
            if (shown.size() == 1) {
                view->OnTimer(1);
                host->history = {{420, 320}};
                view->OnPenMove({105, 54});
                log->push_back("box closed");
            }
        }
    } boxes;
    boxes.log = &log;
    boxes.view = &view;
    boxes.host = &host;

    view.Create();
    CTabletView::ResetFirstPaint();
    view.OnPaint();
    // A tap-and-hold drag.
    host.history = {{401, 305}};
    view.OnPenDown({100, 50});
    view.OnTapAndHold({100, 76});
    host.history = {{440, 344}};
    view.OnPenMove({110, 60});
    // The desktop goes away in the middle of the drag; the lift ends it.
    io.failWrites = 1000;
    io.refuseConnect = true;
    log.clear();
    view.OnPenUp({110, 60});
    const std::vector<std::string> expected{"send ^ -1",
                                            "send > 440 240 -1",
                                            "set timer 1",  // the whole lift, then
                                            "box",
                                            "kill timer 1",
                                            "send > 420 216 -1",
                                            "box closed",  // the first box and what came under it,
                                            "box",
                                            "box"};  // the lift's second box, then the move's
    EXPECT_EQ(log, expected);
    EXPECT_EQ(boxes.shown, std::vector<std::string>(3, FailureBox("127.0.0.2", 5555)));
}

TEST(ConnectionDesktopChange, TheNextWriteGoesToTheNewDesktopAttachFirst) {
    CMemoryProfile profile = PointAt("127.0.0.2", 5555);
    CRecordingLink io;
    CRecordingMessageBox boxes;
    CFakeViewHost host;
    CTabletView view(profile, host, io);
    view.Create();
    Tap(view, host);
    EXPECT_EQ(io.writes, (std::vector<std::string>{"+", kExtent, "!^"}));

    profile.Set("IP Address", "127.0.0.3");
    profile.Set("Port", "5556");
    view.OnDesktopChanged();
    EXPECT_EQ(io.shutdowns, 1);
    EXPECT_EQ(io.connects, std::vector<std::string>{"127.0.0.2:5555"}) << "nothing is dialled before a write";
    // The next pen-down goes to the new desktop: Attach on the new connection, then a fresh Extent.
    io.writes.clear();
    host.history = {{401, 305}};
    view.OnPenDown({100, 50});
    EXPECT_EQ(io.connects, (std::vector<std::string>{"127.0.0.2:5555", "127.0.0.3:5556"}));
    EXPECT_EQ(io.writes, (std::vector<std::string>{"+", kExtent}));
    view.OnPenUp({100, 50});
    EXPECT_TRUE(boxes.shown.empty());

    // A new desktop that cannot be reached: one attempt, one box naming it, the bytes dropped.
    profile.Set("IP Address", "127.0.0.4");
    profile.Set("Port", "5557");
    view.OnDesktopChanged();
    io.refuseConnect = true;
    io.writes.clear();
    view.OnCommand(pv::cmd::kRightClick);
    EXPECT_EQ(io.connects.size(), 3u);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{FailureBox("127.0.0.4", 5557)});
    // From then on the usual recovery: each write tries again.
    view.OnCommand(pv::cmd::kRightClick);
    EXPECT_EQ(io.connects.size(), 4u);
    EXPECT_EQ(boxes.shown.size(), 2u);
    io.refuseConnect = false;
    view.OnCommand(pv::cmd::kRightClick);
    EXPECT_EQ(boxes.shown.size(), 2u) << "the recovery connected";
    view.OnCommand(pv::cmd::kRightClick);
    EXPECT_EQ(io.writes, std::vector<std::string>{"|"}) << "no Attach on a recovery";
}

}  // namespace
