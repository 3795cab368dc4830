// The server in this process, through real loopback connections.

#include "server/Server.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "tests/server/LoopbackClient.h"
#include "server/PointerDriver.h"
#include "tests/server/RecordingSink.h"

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;
using test::LoopbackClient;

constexpr char kServerAddress[] = "127.0.0.3";

// The first log line that contains text (the lines are all there already).
std::string LineOf(const test::Recorder& log, const std::string& text) {
    for (const std::string& line : log.Lines()) {
        if (line.find(text) != std::string::npos) {
            return line;
        }
    }
    return {};
}

class RunningServer {
public:
    explicit RunningServer(AllowList allow = AllowList::Default(),
                           HandheldSeat::Clock::duration idleYield = kIdleYield)
        : driver(device, Mapping(), [this](const std::string& line) { log.Add(line); }),
          seat(driver, std::move(allow), [this](const std::string& line) { log.Add(line); }, kPressSpacing,
               idleYield),
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

TEST(Server, AnotherAddressCannotTakeALiveHandheldsPointerTheSameAddressCan) {
    RunningServer running;
    ASSERT_EQ(running.error, "");
    LoopbackClient handheld("127.0.0.2", kServerAddress, running.Port());
    ASSERT_TRUE(handheld.Connected());
    ASSERT_TRUE(handheld.Send("+:01000100>   0   0!"));
    ASSERT_TRUE(running.device.WaitFor(2));

    // Another allowed address, again and again: refused every time while the
    // handheld's connection lives, and nothing of it reaches the pointer.
    for (int attempt = 0; attempt < 20; ++attempt) {
        LoopbackClient intruder("127.0.0.4", kServerAddress, running.Port());
        ASSERT_TRUE(intruder.Connected());
        intruder.Send("> 100 100^|");
        EXPECT_TRUE(intruder.ClosedByServer()) << attempt;
    }
    // The handheld itself reconnecting (after a failed write) replaces its old
    // connection; the press held there is released.
    LoopbackClient again("127.0.0.2", kServerAddress, running.Port());
    ASSERT_TRUE(again.Connected());
    EXPECT_TRUE(handheld.ClosedByServer());
    ASSERT_TRUE(again.Send("|"));
    ASSERT_TRUE(running.device.WaitFor(5));
    EXPECT_EQ(running.device.Lines(), (Lines{"move 0 0", "left down", "left up", "right down", "right up"}));

    // Once the handheld has gone, another address may connect.
    again.Close();
    ASSERT_TRUE(running.log.WaitFor(5));
    LoopbackClient next("127.0.0.4", kServerAddress, running.Port());
    ASSERT_TRUE(next.Connected());
    ASSERT_TRUE(next.Send("> 100 100"));
    ASSERT_TRUE(running.device.WaitFor(6));
    EXPECT_EQ(running.device.Lines().back(), "move 32767 32767");

    // One refusal line for the twenty, naming who has the pointer.
    Lines log = running.log.Lines();
    long refusals = std::count_if(log.begin(), log.end(), [](const std::string& line) {
        return line.find("refused 127.0.0.4:") != std::string::npos;
    });
    EXPECT_EQ(refusals, 1);
    EXPECT_NE(log[1].find("the handheld at 127.0.0.2:"), std::string::npos) << log[1];
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& line) {
                               return line.find("disconnected 127.0.0.2:") == 0 &&
                                      line.find("replaced by 127.0.0.2:") != std::string::npos;
                           }),
              log.end());
}

TEST(Server, AConnectionThatSendsNothingHoldsNothingAndMayStayOpen) {
    RunningServer running;
    ASSERT_EQ(running.error, "");
    // A host that connects and says nothing (nc desktop 55), twice.
    LoopbackClient silent("127.0.0.4", kServerAddress, running.Port());
    LoopbackClient silentToo("127.0.0.4", kServerAddress, running.Port());
    ASSERT_TRUE(silent.Connected() && silentToo.Connected());
    // A handheld from another address gets the pointer at once.
    LoopbackClient handheld("127.0.0.2", kServerAddress, running.Port());
    ASSERT_TRUE(handheld.Connected());
    ASSERT_TRUE(handheld.Send(":01000100!"));
    ASSERT_TRUE(running.device.WaitFor(1));
    handheld.Close();
    ASSERT_TRUE(running.device.WaitFor(2));
    // The silent connection was never closed for its silence: a handheld that
    // reconnected and waits for its next pen event is still heard.
    ASSERT_TRUE(silent.Send("> 100 100"));
    ASSERT_TRUE(running.device.WaitFor(3));
    EXPECT_EQ(running.device.Lines(), (Lines{"left down", "left up", "move 32767 32767"}));
    Lines log = running.log.Lines();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& line) { return line.rfind("connected 127.0.0.4:", 0) == 0; }),
              log.end());
}

TEST(Server, ASilentHolderYieldsToAnotherAddressAnActiveOneNever) {
    constexpr auto kYield = std::chrono::milliseconds(1500);
    RunningServer running(AllowList::Default(), kYield);
    ASSERT_EQ(running.error, "");
    LoopbackClient owner("127.0.0.2", kServerAddress, running.Port());
    ASSERT_TRUE(owner.Connected());
    ASSERT_TRUE(owner.Send(":01000100!"));
    ASSERT_TRUE(running.device.WaitFor(1));
    // Active: it writes more often than the yield; the other address is refused
    // for longer than the yield lasts.
    auto until = std::chrono::steady_clock::now() + 2 * kYield;
    int refused = 0;
    while (std::chrono::steady_clock::now() < until) {
        ASSERT_TRUE(owner.Send("> 100 100"));
        LoopbackClient other("127.0.0.4", kServerAddress, running.Port());
        ASSERT_TRUE(other.Connected());
        other.Send("|");
        refused += other.ClosedByServer() ? 1 : 0;
        std::this_thread::sleep_for(kYield / 15);
    }
    EXPECT_GE(refused, 10);
    std::size_t moves = running.device.Lines().size();
    EXPECT_EQ(running.device.Lines()[1], "move 32767 32767");
    // Silent for the yield: the other address's first message takes the pointer,
    // the owner's connection is closed and its held button released first.
    std::this_thread::sleep_for(kYield + std::chrono::milliseconds(100));
    LoopbackClient phone("127.0.0.4", kServerAddress, running.Port());
    ASSERT_TRUE(phone.Connected());
    ASSERT_TRUE(phone.Send("|"));
    ASSERT_TRUE(running.device.WaitFor(moves + 3));
    Lines lines = running.device.Lines();
    EXPECT_EQ(Lines(lines.begin() + static_cast<long>(moves), lines.end()),
              (Lines{"left up", "right down", "right up"}));
    EXPECT_TRUE(owner.ClosedByServer());
    EXPECT_NE(LineOf(running.log, "yielded to 127.0.0.4:"), "");
}

TEST(Server, AStreamThatDoesNotBeginAsAHandheldsIsClosedUnobeyed) {
    RunningServer running;
    ASSERT_EQ(running.error, "");
    // What a web page's request through the desktop's browser looks like: the
    // body alone would be a click.
    const char* requests[] = {
        "POST / HTTP/1.1\r\nHost: 127.0.0.3\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\n!^",
        "GET /!^!^ HTTP/1.1\r\nHost: 127.0.0.3\r\n\r\n",
        "\x16\x03\x01\x02\x00\x01!^",  // a TLS hello
        " !^",
    };
    for (const char* request : requests) {
        LoopbackClient browser("127.0.0.2", kServerAddress, running.Port());
        ASSERT_TRUE(browser.Connected());
        browser.Send(request);
        EXPECT_TRUE(browser.ClosedByServer()) << request;
    }
    // A handheld from another address gets in at once: the requests held nothing.
    LoopbackClient handheld("127.0.0.4", kServerAddress, running.Port());
    ASSERT_TRUE(handheld.Connected());
    ASSERT_TRUE(handheld.Send("|"));
    ASSERT_TRUE(running.device.WaitFor(2));
    EXPECT_EQ(running.device.Lines(), (Lines{"right down", "right up"}));
    Lines log = running.log.Lines();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log[0].find("closed 127.0.0.2:"), std::string::npos) << log[0];
    EXPECT_NE(log[0].find("not a handheld's stream (its first byte is 0x50)"), std::string::npos) << log[0];
}

TEST(Server, ADeviceThatFailsMidSessionIsReportedAndTheConnectionCarriesOn) {
    RunningServer running;
    ASSERT_EQ(running.error, "");
    LoopbackClient client("127.0.0.3", kServerAddress, running.Port());
    ASSERT_TRUE(client.Connected());
    running.device.failing = true;
    ASSERT_TRUE(client.Send("!"));
    ASSERT_TRUE(running.device.WaitFor(1));
    running.device.failing = false;
    ASSERT_TRUE(client.Send("^|"));
    ASSERT_TRUE(running.device.WaitFor(3));
    EXPECT_EQ(running.device.Lines(), (Lines{"refused left down", "right down", "right up"}));
    Lines log = running.log.Lines();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& line) {
                               return line.find("the virtual pointer refused an event") != std::string::npos;
                           }),
              log.end());
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
