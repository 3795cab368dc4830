// The server in this process, through real loopback connections.

#include "Server.h"

#include <gtest/gtest.h>

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
          server(driver, std::move(allow), [this](const std::string& line) { log.Add(line); }) {
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

TEST(Server, ListenErrorsNameTheProblem) {
    test::RecordingSink sink;
    Server first(sink, AllowList::Default(), [](const std::string&) {});
    ASSERT_EQ(first.Listen(*ParseIpv4Address(kServerAddress), 0), "");
    Server second(sink, AllowList::Default(), [](const std::string&) {});
    EXPECT_NE(second.Listen(*ParseIpv4Address(kServerAddress), first.Port()).find("the port is in use"),
              std::string::npos);
    // 192.0.2.1 is a documentation address that no machine here has; nothing is sent to it.
    EXPECT_NE(second.Listen(*ParseIpv4Address("192.0.2.1"), 0).find("not one of this machine's"),
              std::string::npos);
}

}  // namespace
}  // namespace pv::server
