#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <thread>

#include "link/PV_Socket.h"
#include "platform/MessageBox.h"
#include "platform/QtProfile.h"
#include "support/FakeViewHost.h"
#include "support/LoopbackListener.h"
#include "support/RecordingSocketIo.h"
#include "support/TempProfile.h"
#include "surface/TabletView.h"

namespace {

const std::string kFailureText =
    "Unable to communicate with Penvale server.  Make sure Pocket PC is connected to the host PC and that "
    "Penvale server is running on the desktop.";

// The fixed sentence, then the desktop that was tried.
std::string FailureBox(const std::string& address, int port) {
    return kFailureText + "\n\nAddress tried: " + address + ", port " + std::to_string(port) + ".";
}

// Runs the event loop until done() or a bounded number of rounds.
template <typename Done>
void PumpUntil(Done done, int rounds = 200) {
    for (int i = 0; i < rounds && !done(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void Pump(int rounds) {
    PumpUntil([] { return false; }, rounds);
}

// Writes a probe byte until the broken connection reports it, as the next pen event would.
// Returns how many writes that took (-1 if it never failed).
int WriteUntilFailure(CTabletView& view) {
    for (int i = 1; i <= 200; ++i) {
        if (view.SendBytes("|", 1) == -1) {
            return i;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

class Connection : public ::testing::Test {
protected:
    CLoopbackListener listener;
    CTempProfile temp;
    CRecordingMessageBox boxes;
    CFakeViewHost host;
};

}  // namespace

TEST_F(Connection, AttachAtCreationThenSilentReconnectionAfterServerRestart) {
    ASSERT_TRUE(listener.Listening());
    temp.PointAt("127.0.0.2", listener.Port());
    CQtProfile profile(temp.Path());
    CTabletView view(profile, host);
    ASSERT_TRUE(view.Create());
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(listener.Read(1), "+");
    // The client connects from an ephemeral port, never from the server's own.
    EXPECT_NE(listener.PeerPort(), listener.Port());

    EXPECT_EQ(view.SendBytes("!^", 2), 2);
    EXPECT_EQ(listener.Read(2), "!^");

    view.m_bNeedCalibration = false;
    ASSERT_TRUE(listener.Restart());
    const int writes = WriteUntilFailure(view);
    ASSERT_GT(writes, 0) << "a write on the dead connection never failed";
    EXPECT_TRUE(view.m_bNeedCalibration);
    EXPECT_TRUE(boxes.shown.empty());

    // The new connection carries no Attach and not the bytes of the failed write.
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(view.SendBytes(":09601072", 9), 9);
    EXPECT_EQ(listener.Read(9), ":09601072");
    EXPECT_EQ(listener.ReadAvailable(), "");
}

TEST_F(Connection, WithNothingListeningStartupIsSilentAndEveryWriteShowsOneBox) {
    const int port = listener.Port();
    listener.CloseListener();
    temp.PointAt("127.0.0.2", port);
    CQtProfile profile(temp.Path());
    CTabletView view(profile, host);
    view.Create();
    EXPECT_TRUE(boxes.shown.empty());

    EXPECT_EQ(view.SendBytes(":09601072", 9), -1);
    EXPECT_EQ(view.SendBytes("!^", 2), -1);
    // An empty Position batch still reaches send, and so the recovery.
    EXPECT_EQ(view.SendBytes("", 0), -1);
    EXPECT_EQ(boxes.shown, std::vector<std::string>(3, FailureBox("127.0.0.2", port)));
    EXPECT_TRUE(view.m_bNeedCalibration);

    // Once the server is up, the next write's recovery connects without Attach.
    CLoopbackListener late("127.0.0.2", port);
    ASSERT_TRUE(late.Listening());
    view.m_bNeedCalibration = false;
    EXPECT_EQ(view.SendBytes("!", 1), -1);
    EXPECT_TRUE(view.m_bNeedCalibration);
    EXPECT_EQ(boxes.shown.size(), 3u);
    ASSERT_TRUE(late.Accept());
    view.SendBytes("^", 1);
    EXPECT_EQ(late.Read(1), "^");
}

TEST_F(Connection, WritesOnABrokenConnectionNeverKillTheProcess) {
    temp.PointAt("127.0.0.2", listener.Port());
    CQtProfile profile(temp.Path());
    CTabletView view(profile, host);
    view.Create();
    ASSERT_TRUE(listener.Accept());
    listener.CloseClient();
    listener.CloseListener();
    // Without protection the second send after the peer's close raises SIGPIPE.
    EXPECT_GT(WriteUntilFailure(view), 0);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{FailureBox("127.0.0.2", listener.Port())});
    // The recovery left an unconnected socket: an empty write fails and recovers too.
    EXPECT_EQ(view.SendBytes("", 0), -1);
    EXPECT_EQ(boxes.shown.size(), 2u);
}

TEST_F(Connection, TwoClientsOnOneHostAndImmediateReconnection) {
    temp.PointAt("127.0.0.2", listener.Port());
    CQtProfile profile(temp.Path());
    CTabletView first(profile, host);
    first.Create();
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(listener.Read(1), "+");
    const int firstPort = listener.PeerPort();

    // A second client beside the first, then one made right after the first closed:
    // neither may collide with a port still in use or in TIME_WAIT.
    CTabletView second(profile, host);
    second.Create();
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(listener.Read(1), "+");
    EXPECT_NE(listener.PeerPort(), firstPort);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Connection, IncomingDataAndThePeersCloseAreEachReportedOncePerArrival) {
    temp.PointAt("127.0.0.2", listener.Port());
    CQtProfile profile(temp.Path());
    CTabletView view(profile, host);
    view.Create();
    ASSERT_TRUE(listener.Accept());

    ASSERT_TRUE(listener.SendToClient("hello"));
    PumpUntil([&] { return !boxes.shown.empty(); });
    Pump(20);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{"CPV_Socket::OnReceive"});

    ASSERT_TRUE(listener.SendToClient("again"));
    PumpUntil([&] { return boxes.shown.size() >= 2; });
    Pump(20);
    EXPECT_EQ(boxes.shown.size(), 2u);

    listener.CloseClient();
    PumpUntil([&] { return boxes.shown.size() >= 3; });
    Pump(20);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[2], "CPV_Socket::OnClose");
}

TEST_F(Connection, AnUnreachableDesktopCostsABoundedWait) {
    // A listener whose queue is full drops new handshakes, as a host that does not answer would.
    CLoopbackListener full("127.0.0.2", 0, 0);
    std::vector<std::unique_ptr<CLoopbackListener>> unused;
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
    temp.PointAt("127.0.0.2", full.Port());
    CQtProfile profile(temp.Path());
    CTabletView view(profile, host);
    QElapsedTimer clock;
    clock.start();
    view.Create();
    // Generous bound: the point is that it returns, not how fast.
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_EQ(view.SendBytes("!", 1), -1);
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
        std::string settings;
        std::string dialled;  // empty: no connect attempted
        std::string tried;    // the failure box's detail after a failed write
    };
    const std::string fallback = std::string(CSettingsStore::kDefaultIpAddress) + ":55";
    const std::string notAPort = "\", which is not a port number from 1 to 65535.";
    const Row rows[] = {
        {"", fallback, ""},
        {"IP%20Address=127.0.0.1\n", fallback, ""},
        {"IP%20Address=127.0.0.2\nPort=5555\n", "127.0.0.2:5555", ""},
        {"IP%20Address=127.0.0.2\nPort=65535\n", "127.0.0.2:65535", ""},
        {"IP%20Address=127.0.0.2\nPort=65536\n", "", "127.0.0.2, port \"65536" + notAPort},
        {"IP%20Address=127.0.0.2\nPort=70000\n", "", "127.0.0.2, port \"70000" + notAPort},
        {"IP%20Address=127.0.0.2\nPort=0\n", "", "127.0.0.2, port \"0" + notAPort},
        {"IP%20Address=127.0.0.2\nPort=-1\n", "", "127.0.0.2, port \"-1" + notAPort},
        // Text that is no number used to read as the default port 55.
        {"IP%20Address=127.0.0.2\nPort=5555x\n", "", "127.0.0.2, port \"5555x" + notAPort},
        {"IP%20Address=127.0.0.2\nPort=\n", "", "127.0.0.2, port \"" + notAPort},
        {"IP%20Address=127.0.0.2\nPort=99999999999\n", "", "127.0.0.2, port \"99999999999" + notAPort},
        {"IP%20Address=\nPort=5555x\n", "", "(none), port \"5555x" + notAPort},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.settings);
        CTempProfile temp;
        temp.WriteSettings(row.settings);
        CQtProfile profile(temp.Path());
        CRecordingSocketIo io;
        CRecordingMessageBox boxes;
        CFakeViewHost host;
        CTabletView view(profile, host, io);
        view.Create();
        EXPECT_EQ(io.connects,
                  row.dialled.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.dialled});
        EXPECT_EQ(io.writes,
                  row.dialled.empty() ? std::vector<std::string>{} : std::vector<std::string>{"+"});
        EXPECT_TRUE(boxes.shown.empty());
        if (row.dialled.empty()) {
            EXPECT_EQ(view.SendBytes("!", 1), -1);
            EXPECT_TRUE(io.connects.empty());
            EXPECT_EQ(boxes.shown, std::vector<std::string>{kFailureText + "\n\nAddress tried: " + row.tried});
        }
    }
}

TEST(ConnectionRecovery, FailedWriteIsDroppedReconnectedAndReported) {
    CTempProfile temp;
    temp.PointAt("127.0.0.2", 5555);
    CQtProfile profile(temp.Path());
    CRecordingSocketIo io;
    CRecordingMessageBox boxes;
    CFakeViewHost host;
    CTabletView view(profile, host, io);
    view.Create();
    view.m_bNeedCalibration = false;

    // One failing write: shut down, reconnected silently, bytes lost, Extent re-armed.
    io.failWrites = 1;
    EXPECT_EQ(view.SendBytes("> 401 201", 9), -1);
    EXPECT_EQ(io.shutdowns, 1);
    EXPECT_EQ(io.connects.size(), 2u);
    EXPECT_TRUE(view.m_bNeedCalibration);
    EXPECT_EQ(view.SendBytes("!", 1), 1);
    EXPECT_EQ(io.writes, (std::vector<std::string>{"+", "!"}));
    EXPECT_TRUE(boxes.shown.empty());

    // The socket cannot even be created: its error number, then the failure box.
    io.failWrites = 1;
    io.failOpen = true;
    EXPECT_EQ(view.SendBytes("^", 1), -1);
    EXPECT_EQ(boxes.shown, (std::vector<std::string>{"Create Error: 98", FailureBox("127.0.0.2", 5555)}));

    // A closed socket's writes still go to send (and fail), one box each.
    io.failOpen = false;
    io.refuseConnect = true;
    boxes.shown.clear();
    const int failedBefore = io.failedSends;
    EXPECT_EQ(view.SendBytes("", 0), -1);
    EXPECT_EQ(io.failedSends, failedBefore + 1);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{FailureBox("127.0.0.2", 5555)});
}

TEST(ConnectionDesktopChange, TheNextWriteGoesToTheNewDesktopAttachFirst) {
    CTempProfile temp;
    temp.PointAt("127.0.0.2", 5555);
    CQtProfile profile(temp.Path());
    CRecordingSocketIo io;
    CRecordingMessageBox boxes;
    CFakeViewHost host;
    CTabletView view(profile, host, io);
    view.Create();
    view.m_bNeedCalibration = false;

    temp.PointAt("127.0.0.3", 5556);
    view.OnDesktopChanged();
    EXPECT_EQ(io.shutdowns, 1);
    EXPECT_TRUE(view.m_bNeedCalibration);
    EXPECT_EQ(io.connects, std::vector<std::string>{"127.0.0.2:5555"}) << "nothing is dialled before a write";
    // The write that follows is not lost: it goes out after Attach on the new connection.
    EXPECT_EQ(view.SendBytes("!^", 2), 2);
    EXPECT_EQ(io.connects, (std::vector<std::string>{"127.0.0.2:5555", "127.0.0.3:5556"}));
    EXPECT_EQ(io.writes, (std::vector<std::string>{"+", "+", "!^"}));
    EXPECT_TRUE(boxes.shown.empty());

    // A new desktop that cannot be reached: one attempt, one box naming it, the bytes dropped.
    temp.PointAt("127.0.0.4", 5557);
    view.OnDesktopChanged();
    io.refuseConnect = true;
    EXPECT_EQ(view.SendBytes("|", 1), -1);
    EXPECT_EQ(io.connects.size(), 3u);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{FailureBox("127.0.0.4", 5557)});
    // From then on the usual recovery: each write tries again.
    EXPECT_EQ(view.SendBytes("|", 1), -1);
    EXPECT_EQ(io.connects.size(), 4u);
    EXPECT_EQ(boxes.shown.size(), 2u);
    io.refuseConnect = false;
    EXPECT_EQ(view.SendBytes("|", 1), -1);
    EXPECT_EQ(view.SendBytes("|", 1), 1);
    EXPECT_EQ(io.writes.back(), "|");
}
