// penvale-server as a user runs it, with --print, through real loopback connections.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoopbackClient.h"
#include "ServerProcess.h"

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;
using test::LoopbackClient;
using test::ServerProcess;

constexpr char kServerAddress[] = "127.0.0.3";

Lines ReadLines(ServerProcess& server, std::size_t count) {
    Lines lines;
    while (lines.size() < count) {
        std::string line = server.OutLine();
        if (line.empty()) {
            break;
        }
        lines.push_back(line);
    }
    return lines;
}

TEST(Program, PrintsTheScriptedStreamExactly) {
    ServerProcess server({"--print", "--listen", kServerAddress, "--port", "0"});
    std::uint16_t port = server.WaitForPort();
    ASSERT_NE(port, 0);
    LoopbackClient client("127.0.0.3", kServerAddress, port);
    ASSERT_TRUE(client.Connected());
    // A session as the handheld writes it, one write per message or batch, with
    // noise and a cut-off record at the end.
    for (const char* write : {"+", ":09601072", ">   0   0> 401 201", "!", "> 402 203", "^", "> 402 203",
                              "!^", "!^!^", "|", "junk", ":-012-999", ">  -5 -50", ">  1"}) {
        ASSERT_TRUE(client.Send(write));
    }
    client.Close();
    EXPECT_EQ(ReadLines(server, 19),
              (Lines{"attach", "extent 960 1072", "position 0 0", "position 401 201", "down",
                     "position 402 203", "up", "position 402 203", "down", "up", "down", "up", "down", "up",
                     "right-click", "skipped 4", "extent -12 -999", "position -5 -50", "skipped 4"}));
    EXPECT_NE(server.ErrLineWith("disconnected 127.0.0.3:"), "");
    EXPECT_EQ(server.Stop(), 0);
    // Nothing else reached standard output: connection events go to standard error.
    EXPECT_EQ(server.OutLine(), "");
}

TEST(Program, SecondConnectionReplacesTheFirst) {
    ServerProcess server({"--print", "--listen", kServerAddress, "--port", "0"});
    std::uint16_t port = server.WaitForPort();
    ASSERT_NE(port, 0);
    LoopbackClient first("127.0.0.3", kServerAddress, port);
    ASSERT_TRUE(first.Connected());
    ASSERT_TRUE(first.Send("+!"));
    ASSERT_EQ(ReadLines(server, 2), (Lines{"attach", "down"}));

    LoopbackClient second("127.0.0.3", kServerAddress, port);
    ASSERT_TRUE(second.Connected());
    EXPECT_TRUE(first.ClosedByServer());
    EXPECT_NE(server.ErrLineWith("replaced by 127.0.0.3:"), "");
    ASSERT_TRUE(second.Send(":02400320^"));
    EXPECT_EQ(ReadLines(server, 2), (Lines{"extent 240 320", "up"}));
    EXPECT_EQ(server.Stop(), 0);
}

TEST(Program, RefusesAPeerOutsideAllow) {
    ServerProcess server({"--print", "--listen", kServerAddress, "--port", "0", "--allow", "127.0.0.3/32"});
    std::uint16_t port = server.WaitForPort();
    ASSERT_NE(port, 0);
    LoopbackClient stranger("127.0.0.4", kServerAddress, port);
    ASSERT_TRUE(stranger.Connected());
    stranger.Send("+!");
    EXPECT_TRUE(stranger.ClosedByServer());
    EXPECT_NE(server.ErrLineWith("refused 127.0.0.4:"), "");

    LoopbackClient handheld("127.0.0.3", kServerAddress, port);
    ASSERT_TRUE(handheld.Connected());
    ASSERT_TRUE(handheld.Send("|"));
    // The first line on standard output is the allowed peer's: nothing of the stranger's.
    EXPECT_EQ(ReadLines(server, 1), (Lines{"right-click"}));
    EXPECT_EQ(server.Stop(), 0);
}

TEST(Program, ErrorsAUserCanActOnExitNonZeroAndNameTheFix) {
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    std::vector<Row> rows = {
        {{"--listen", "127.0.0.300"}, 2, "is not an IPv4 address"},
        {{"--allow", "10.0.0.0/33", "--print"}, 2, "is not an IPv4 address or range"},
        {{"--port", "70000", "--print"}, 2, "is not a port number"},
        {{"--listen", "192.0.2.1", "--port", "0", "--print"}, 1, "Check --listen"},
    };
    if (access("/dev/uinput", W_OK) != 0) {
        rows.push_back({{"--listen", kServerAddress, "--port", "0"}, 1, "--print"});
    }
    if (geteuid() != 0) {
        rows.push_back(
            {{"--listen", kServerAddress, "--port", "55", "--print"}, 1, "setcap cap_net_bind_service"});
    }
    for (const Row& row : rows) {
        ServerProcess server(row.args);
        std::string error = server.ErrLineWith(row.message);
        EXPECT_NE(error, "") << row.args[0] << " " << row.args[1];
        EXPECT_EQ(server.Wait(), row.status) << row.args[0] << " " << row.args[1];
    }
}

TEST(Program, PortInUseIsNamed) {
    ServerProcess first({"--print", "--listen", kServerAddress, "--port", "0"});
    std::uint16_t port = first.WaitForPort();
    ASSERT_NE(port, 0);
    ServerProcess second({"--print", "--listen", kServerAddress, "--port", std::to_string(port)});
    EXPECT_NE(second.ErrLineWith("the port is in use"), "");
    EXPECT_EQ(second.Wait(), 1);
}

}  // namespace
}  // namespace pv::server
