// The server in this process, through real loopback connections.

#include "Server.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "LoopbackClient.h"
#include "PointerDriver.h"
#include "RecordingSink.h"

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;
using test::LoopbackClient;

constexpr char kServerAddress[] = "127.0.0.3";

class RunningServer {
public:
    explicit RunningServer(AllowList allow = AllowList::Default())
        : driver(device),
          seat(driver, std::move(allow), [this](const std::string& line) { log.Add(line); }),
          server(seat, [this](const std::string& line) { log.Add(line); }) {
        error = server.Listen(*ParseIpv4Address(kServerAddress), 0);
        if (error.empty()) {
            thread = std::thread([this] { server.Run(); });
        }
    }
    ~RunningServer() {
        server.Stop();
        if (thread.joinable()) {
            thread.join();
        }
    }
    std::uint16_t Port() const { return server.Port(); }

    test::RecordingDevice device;
    test::Recorder log;
    PointerDriver driver;
    HandheldSeat seat;
    Server server;
    std::string error;
    std::thread thread;
};

TEST(Server, HeldButtonIsReleasedWhenTheConnectionDrops) {
    RunningServer running;
    ASSERT_EQ(running.error, "");
    LoopbackClient client("127.0.0.3", kServerAddress, running.Port());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(":01000100> 100   0!"));
    ASSERT_TRUE(running.device.WaitFor(2));
    client.Close();
    ASSERT_TRUE(running.device.WaitFor(3));
    EXPECT_EQ(running.device.Lines(), (Lines{"move 32767 0", "left down", "left up"}));
}

TEST(Server, NewConnectionReplacesTheCurrentOneAndReleasesItsButton) {
    RunningServer running;
    ASSERT_EQ(running.error, "");
    LoopbackClient first("127.0.0.3", kServerAddress, running.Port());
    ASSERT_TRUE(first.Connected());
    ASSERT_TRUE(first.Send(":01000100!"));
    ASSERT_TRUE(running.device.WaitFor(1));

    LoopbackClient second("127.0.0.3", kServerAddress, running.Port());
    ASSERT_TRUE(second.Connected());
    // The old connection is closed by the server while it still looks open here.
    EXPECT_TRUE(first.ClosedByServer());
    ASSERT_TRUE(running.device.WaitFor(2));
    // The Extent of the old connection still maps the new one's Positions.
    ASSERT_TRUE(second.Send(">   0 100!"));
    ASSERT_TRUE(running.device.WaitFor(4));
    second.Close();
    ASSERT_TRUE(running.device.WaitFor(5));
    EXPECT_EQ(running.device.Lines(),
              (Lines{"left down", "left up", "move 0 32767", "left down", "left up"}));
}

TEST(Server, BytesTheOldConnectionSentBeforeItWasReplacedStillCount) {
    RunningServer running;
    ASSERT_EQ(running.error, "");
    LoopbackClient first("127.0.0.3", kServerAddress, running.Port());
    ASSERT_TRUE(first.Connected());
    // No wait for the server here: the press may still be unread when the next
    // connection arrives, and must not be lost with the old connection.
    ASSERT_TRUE(first.Send("!"));
    LoopbackClient second("127.0.0.3", kServerAddress, running.Port());
    ASSERT_TRUE(second.Connected());
    EXPECT_TRUE(first.ClosedByServer());
    ASSERT_TRUE(running.device.WaitFor(2));
    EXPECT_EQ(running.device.Lines(), (Lines{"left down", "left up"}));
}

TEST(Server, PeerOutsideTheAllowedRangesIsRefused) {
    RunningServer running(AllowList({*ParseIpv4Range("127.0.0.3/32")}));
    ASSERT_EQ(running.error, "");
    LoopbackClient stranger("127.0.0.4", kServerAddress, running.Port());
    ASSERT_TRUE(stranger.Connected());  // the kernel accepts; the server then closes it
    stranger.Send("!");
    EXPECT_TRUE(stranger.ClosedByServer());
    ASSERT_TRUE(running.log.WaitFor(1));
    EXPECT_NE(running.log.Lines()[0].find("refused 127.0.0.4:"), std::string::npos) << running.log.Lines()[0];

    LoopbackClient handheld("127.0.0.3", kServerAddress, running.Port());
    ASSERT_TRUE(handheld.Connected());
    ASSERT_TRUE(handheld.Send("|"));
    ASSERT_TRUE(running.device.WaitFor(2));
    // Only the allowed peer's right click: the stranger's press never arrived.
    EXPECT_EQ(running.device.Lines(), (Lines{"right down", "right up"}));
}

TEST(Server, DoubleClickInOneWriteReachesTheDeviceAsTwoSpacedClicks) {
    RunningServer running;
    ASSERT_EQ(running.error, "");
    LoopbackClient client("127.0.0.3", kServerAddress, running.Port());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(":01000100>   0   0!^!^> 100 100"));
    ASSERT_TRUE(running.device.WaitFor(6));
    EXPECT_EQ(running.device.Lines(),
              (Lines{"move 0 0", "left down", "left up", "left down", "left up", "move 32767 32767"}));
    // Only a lower bound: a loaded machine may take longer, never less.
    auto times = running.device.Times();
    EXPECT_GE(times[3] - times[2], kPressSpacing);
}

TEST(Server, StoppingReleasesTheHeldButton) {
    Lines lines;
    {
        RunningServer running;
        ASSERT_EQ(running.error, "");
        LoopbackClient client("127.0.0.3", kServerAddress, running.Port());
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send("!"));
        ASSERT_TRUE(running.device.WaitFor(1));
        running.server.Stop();
        running.thread.join();
        lines = running.device.Lines();
    }
    EXPECT_EQ(lines, (Lines{"left down", "left up"}));
}

// Brings this network namespace's loopback interface up or down.
bool SetLoopbackUp(bool up) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo");
    bool done = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    if (up) {
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    } else {
        request.ifr_flags = static_cast<short>(request.ifr_flags & ~IFF_UP);
    }
    done = done && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    close(fd);
    return done;
}

constexpr int kNoNamespace = 77;

// In a network namespace of its own, so that taking its loopback down silences
// this connection and nothing else on the machine. Returns 0 when the server
// ended the silent connection through keepalive and released the button.
int SilentPeerInOwnNetwork() {
    if (unshare(CLONE_NEWNET) != 0 || !SetLoopbackUp(true)) {
        return kNoNamespace;
    }
    RunningServer running;
    LoopbackClient client("127.0.0.4", kServerAddress, running.Port());
    if (!running.error.empty() || !client.Connected() || !client.Send("!") || !running.device.WaitFor(1)) {
        std::fprintf(stderr, "no connection: %s\n", running.error.c_str());
        return 1;
    }
    // The handheld is gone without a word: no close, no reset, no answer to probes.
    SetLoopbackUp(false);
    // Keepalive gives up after about 25 s; the bound only stops a server that never does.
    bool released = running.device.WaitFor(2, std::chrono::seconds(120)) && running.log.WaitFor(2);
    Lines device = running.device.Lines();
    Lines log = running.log.Lines();
    bool byKeepalive = !log.empty() && log.back().find("no answer to keepalive") != std::string::npos;
    if (!released || device != Lines{"left down", "left up"} || !byKeepalive) {
        std::fprintf(stderr, "device: %zu events, last log line: %s\n", device.size(),
                     log.empty() ? "" : log.back().c_str());
        return 1;
    }
    return 0;
}

TEST(Server, SilentlyVanishedPeerIsEndedByKeepaliveAndItsButtonReleased) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "making a network namespace needs root";
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(SilentPeerInOwnNetwork());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoNamespace) {
        GTEST_SKIP() << "no network namespace could be made here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Server, ListenErrorsNameTheProblem) {
    test::RecordingSink sink;
    HandheldSeat seat(sink, AllowList::Default(), [](const std::string&) {});
    Server first(seat, [](const std::string&) {});
    ASSERT_EQ(first.Listen(*ParseIpv4Address(kServerAddress), 0), "");
    Server second(seat, [](const std::string&) {});
    EXPECT_NE(second.Listen(*ParseIpv4Address(kServerAddress), first.Port()).find("the port is in use"),
              std::string::npos);
    // 192.0.2.1 is a documentation address that no machine here has; nothing is sent to it.
    EXPECT_NE(second.Listen(*ParseIpv4Address("192.0.2.1"), 0).find("not one of this machine's"),
              std::string::npos);
}

}  // namespace
}  // namespace pv::server
