// penvale-server as a user runs it, with --print, through real loopback connections.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/server/LoopbackClient.h"
#include "tests/server/ServerProcess.h"

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
    EXPECT_EQ(ReadLines(server, 20),
              (Lines{"attach", "extent 960 1072", "position 0 0", "position 401 201", "down",
                     "position 402 203", "up", "position 402 203", "down", "up", "down", "up", "down", "up",
                     "right-click", "skipped 4", "extent -12 -999", "position -5 -50", "skipped 4",
                     "connection-end"}));
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
    // The press the first one held is released, and --print says so.
    EXPECT_EQ(ReadLines(server, 1), (Lines{"connection-end up"}));
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

TEST(Program, NamesWhatToSetOnTheHandheld) {
    ServerProcess server({"--print", "--listen", kServerAddress, "--port", "0"});
    std::uint16_t port = server.WaitForPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(server.ErrLine(),
              "penvale-server: handheld: set IP Address to 127.0.0.3 and Port to " + std::to_string(port));
}

TEST(Program, AReaderThatGoesAwayStopsNothingButThePrinting) {
    // Standard error closed: the log lines are lost, the server carries on.
    {
        ServerProcess server({"--print", "--listen", kServerAddress, "--port", "0"});
        std::uint16_t port = server.WaitForPort();
        ASSERT_NE(port, 0);
        server.CloseErr();
        for (int round = 0; round < 2; ++round) {
            LoopbackClient client("127.0.0.3", kServerAddress, port);
            ASSERT_TRUE(client.Connected());
            ASSERT_TRUE(client.Send("|"));
            EXPECT_EQ(ReadLines(server, 1), (Lines{"right-click"})) << round;
            client.Close();
            EXPECT_EQ(ReadLines(server, 1), (Lines{"connection-end"})) << round;
        }
        EXPECT_EQ(server.Stop(), 0);
    }
    // Standard output closed (--print | head -1): a clean stop with a reason,
    // not death by SIGPIPE.
    {
        ServerProcess server({"--print", "--listen", kServerAddress, "--port", "0"});
        std::uint16_t port = server.WaitForPort();
        ASSERT_NE(port, 0);
        server.CloseOut();
        LoopbackClient client("127.0.0.3", kServerAddress, port);
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send("+"));
        EXPECT_NE(server.ErrLineWith("cannot write the messages to standard output (Broken pipe): stopping"), "");
        EXPECT_EQ(server.WaitUpTo(std::chrono::seconds(20)), 0);
    }
}

TEST(Program, AStopEndsTheServerEvenWhenNobodyReadsItsOutput) {
    ServerProcess server({"--print", "--listen", kServerAddress, "--port", "0"});
    std::uint16_t port = server.WaitForPort();
    ASSERT_NE(port, 0);
    LoopbackClient client("127.0.0.3", kServerAddress, port);
    ASSERT_TRUE(client.Connected());
    // About 85 KB of lines for a pipe of 64 KB.
    std::string stream = ":09601072";
    char record[16];
    for (int i = 0; i < 5000; ++i) {
        std::snprintf(record, sizeof record, ">%4d%4d", i % 960, i % 1072);
        stream += record;
    }
    ASSERT_TRUE(client.Send(stream));
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server.PendingOut() < 60000 && std::chrono::steady_clock::now() < end) {
        usleep(10000);
    }
    ASSERT_GE(server.PendingOut(), 60000);
    auto stopped = std::chrono::steady_clock::now();
    kill(server.Pid(), SIGTERM);
    // The bound only keeps a broken server from hanging the test; a working one
    // ends within about 0.1 s.
    EXPECT_EQ(server.WaitUpTo(std::chrono::seconds(20)), 0);
    std::printf("stopped in %.3f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count());
}

// CPU time (user and system) the process has used, in clock ticks.
long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) {
            utime = std::stol(field);
        } else if (index == 15) {
            stime = std::stol(field);
        }
    }
    return utime + stime;
}

TEST(Program, OutOfDescriptorsItRestsInsteadOfSpinningAndRecovers) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer build's vptr check probes memory through a pipe of its own:
    // with no descriptor left it reports every virtual call as invalid.
    GTEST_SKIP() << "needs a build without sanitizers (their checks need free descriptors)";
#endif
    // The web port too: it must not spin either.
    std::string folder = (std::filesystem::temp_directory_path() / "penvale-fd-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    ServerProcess server({"--print", "--listen", kServerAddress, "--port", "0", "--web", "0", "--web-root", folder,
                          "--state-dir", folder});
    std::uint16_t port = server.WaitForPort();
    ASSERT_NE(port, 0);
    std::string serving = server.ErrLineWith("serving the browser handheld");
    auto webPort = static_cast<std::uint16_t>(std::stoi(serving.substr(serving.rfind(':') + 1)));
    LoopbackClient handheld("127.0.0.3", kServerAddress, port);
    ASSERT_TRUE(handheld.Connected());
    ASSERT_TRUE(handheld.Send("+"));
    ASSERT_EQ(ReadLines(server, 1), (Lines{"attach"}));

    // No room for another descriptor once the handheld is in: the limit is the
    // lowest free descriptor number (inherited ones may sit higher up).
    std::set<long> taken;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(server.Pid()) + "/fd")) {
        taken.insert(std::stol(entry.path().filename().string()));
    }
    rlim_t open = 0;
    while (taken.count(static_cast<long>(open)) != 0) {
        ++open;
    }
    ASSERT_GE(open, 7u);
    rlimit limit{open, open};
    ASSERT_EQ(prlimit(server.Pid(), RLIMIT_NOFILE, &limit, nullptr), 0);
    std::vector<std::unique_ptr<LoopbackClient>> flood;
    for (int i = 0; i < 40; ++i) {
        for (std::uint16_t to : {port, webPort}) {
            flood.push_back(std::make_unique<LoopbackClient>("127.0.0.4", kServerAddress, to));
            ASSERT_TRUE(flood.back()->Connected());
        }
    }
    EXPECT_NE(server.ErrLineWith("accept failed: Too many open files"), "");
    long before = CpuTicks(server.Pid());
    auto start = std::chrono::steady_clock::now();
    usleep(2000000);
    long used = CpuTicks(server.Pid()) - before;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A spinning loop takes whatever CPU it gets; a resting one almost none.
    EXPECT_LT(static_cast<double>(used) / static_cast<double>(sysconf(_SC_CLK_TCK)), 0.1 * wall) << used;

    // Still serving the handheld.
    ASSERT_TRUE(handheld.Send("|"));
    EXPECT_EQ(ReadLines(server, 1), (Lines{"right-click"}));
    // When descriptors are free again, the queued connections are taken in turn.
    flood.clear();
    handheld.Close();
    EXPECT_EQ(ReadLines(server, 1), (Lines{"connection-end"}));
    LoopbackClient next("127.0.0.5", kServerAddress, port);
    ASSERT_TRUE(next.Connected());
    ASSERT_TRUE(next.Send("!"));
    EXPECT_EQ(ReadLines(server, 1), (Lines{"down"}));
    // Few log lines for the flood: read what there is within a short while.
    int acceptLines = 0;
    int webAcceptLines = 0;
    EXPECT_EQ(server.Stop(), 0);
    for (std::string line = server.ErrLine(); !line.empty(); line = server.ErrLine()) {
        acceptLines += line.find("accept failed") != std::string::npos ? 1 : 0;
        webAcceptLines += line.find("web: accept") != std::string::npos ? 1 : 0;
    }
    EXPECT_LE(acceptLines, 3);
    EXPECT_LE(webAcceptLines, 3);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace pv::server
