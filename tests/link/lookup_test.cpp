// Host names in "IP Address": the look-up and the handshake together stay within
// the connection's budget, whatever the name server does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/PV_Socket.h"
#include "platform/HostLookup.h"
#include "platform/PosixByteLink.h"
#include "surface/Commands.h"
#include "surface/TabletView.h"
#include "tests/support/FakeViewHost.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/Recorders.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A name server behind a gate: it answers only when the test opens the gate.
struct CGate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::vector<std::string> asked;

    void Open() {
        const std::lock_guard<std::mutex> lock(mutex);
        open = true;
        opened.notify_all();
    }
    std::vector<std::string> Asked() {
        const std::lock_guard<std::mutex> lock(mutex);
        return asked;
    }
};

// The look-up holds shares of the gate, so it may outlive the test that made it.
PvHostLookup Silent(const std::shared_ptr<CGate>& gate) {
    return [gate](const std::string& host, std::uint32_t&) {
        std::unique_lock<std::mutex> lock(gate->mutex);
        gate->asked.push_back(host);
        gate->opened.wait(lock, [&] { return gate->open; });
        return EHOSTUNREACH;
    };
}

PvHostLookup Answering(const char* address, int delayMs = 0) {
    return [address, delayMs](const std::string&, std::uint32_t& found) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        in_addr parsed{};
        ::inet_pton(AF_INET, address, &parsed);
        found = parsed.s_addr;
        return 0;
    };
}

const std::string kFailureText =
    "Unable to communicate with Penvale server.  Make sure Pocket PC is connected to the host PC and that "
    "Penvale server is running on the desktop.";

class LookUp : public ::testing::Test {
protected:
    void TearDown() override {
        // Let every abandoned look-up end, so that the next test starts with none.
        gate->Open();
        const auto start = Clock::now();
        while (PvAbandonedLookUps() > 0 && MsSince(start) < 10000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(PvAbandonedLookUps(), 0);
    }

    std::shared_ptr<CGate> gate = std::make_shared<CGate>();
};

}  // namespace

TEST_F(LookUp, ANameServerThatNeverAnswersCostsTheBudgetAndNoMore) {
    CPosixByteLink io(PvNoFdWatcher(), Silent(gate));
    const auto start = Clock::now();
    const IByteLink::SConnect connected = io.Connect("desktop.test", 5555, CPV_Socket::kConnectTimeoutMs);
    EXPECT_EQ(connected.outcome, IByteLink::EConnect::Failed);
    const long long elapsed = MsSince(start);
    EXPECT_EQ(connected.error, ETIMEDOUT);
    EXPECT_EQ(gate->Asked(), std::vector<std::string>{"desktop.test"});
    EXPECT_GE(elapsed, 1900);
    // About 2 s; the slack is for a loaded machine, well below the resolver's own 10 s.
    EXPECT_LT(elapsed, 6000);
    io.Close();
}

TEST_F(LookUp, TheLookUpAndTheHandshakeShareOneBudget) {
    // A listener whose queue is full drops new handshakes, as a host that does not answer would.
    CLoopbackListener full("127.0.0.2", 0, 0);
    ASSERT_TRUE(full.Listening());
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

    // With a 4 s budget, 3.6 s to find the name leaves 0.4 s for the handshake, not another 4 s.
    CPosixByteLink io(PvNoFdWatcher(), Answering("127.0.0.2", 3600));
    const auto start = Clock::now();
    const IByteLink::SConnect connected = io.Connect("desktop.test", full.Port(), 4000);
    EXPECT_EQ(connected.outcome, IByteLink::EConnect::Failed);
    const long long elapsed = MsSince(start);
    EXPECT_EQ(connected.error, ETIMEDOUT);
    EXPECT_GE(elapsed, 3600);
    EXPECT_LT(elapsed, 6000) << "a fresh budget for the handshake would take 7.6 s";
    io.Close();
    for (int fd : fillers) {
        ::close(fd);
    }
}

TEST_F(LookUp, ANameThatIsFoundIsDialled) {
    CLoopbackListener listener("127.0.0.3");
    ASSERT_TRUE(listener.Listening());
    CPosixByteLink io(PvNoFdWatcher(), Answering("127.0.0.3"));
    ASSERT_EQ(io.Connect("desktop.test", listener.Port(), CPV_Socket::kConnectTimeoutMs).outcome,
              IByteLink::EConnect::Connected);
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(io.Send("+", 1).sent, 1);
    EXPECT_EQ(listener.Read(1), "+");
    io.Close();
}

TEST_F(LookUp, AbandonedLookUpsAreCappedAndEndWhenTheResolverReturns) {
    std::uint32_t address = 0;
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(PvLookUpWithin(Silent(gate), "desktop.test", address, 20), ETIMEDOUT);
    }
    EXPECT_EQ(PvAbandonedLookUps(), 8);
    // No ninth thread: the attempt fails at once.
    const auto start = Clock::now();
    EXPECT_EQ(PvLookUpWithin(Silent(gate), "desktop.test", address, 2000), EAGAIN);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(gate->Asked().size(), 8u);

    gate->Open();
    const auto wait = Clock::now();
    while (PvAbandonedLookUps() > 0 && MsSince(wait) < 10000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(PvAbandonedLookUps(), 0);
    EXPECT_EQ(PvLookUpWithin(Answering("127.0.0.3"), "desktop.test", address, 2000), 0);
    EXPECT_EQ(address, htonl(0x7F000003u));
}

TEST_F(LookUp, TheSurfaceWaitsAboutTwoSecondsAWriteAndNamesWhatItTried) {
    CMemoryProfile profile;
    profile.Set("IP Address", "desktop.test");
    profile.Set("Port", "5555");
    CPosixByteLink io(PvNoFdWatcher(), Silent(gate));
    CRecordingMessageBox boxes;
    CFakeViewHost host;
    CTabletView view(profile, host, io);

    auto start = Clock::now();
    view.Create();
    EXPECT_LT(MsSince(start), 6000) << "the window appears after the first attempt";
    EXPECT_TRUE(boxes.shown.empty());

    start = Clock::now();
    view.OnCommand(pv::cmd::kRightClick);
    EXPECT_LT(MsSince(start), 6000);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{kFailureText +
                                                    "\n\nAddress tried: desktop.test, port 5555."});
    EXPECT_EQ(gate->Asked().size(), 2u);
}

// The real resolver, with a name server on loopback that never answers, in a mount
// namespace of our own where a private resolv.conf names it.
TEST(LookUpForReal, ASilentNameServerCostsAboutTwoSeconds) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a mount namespace and a name server on port 53";
    }
    if (std::system("command -v unshare >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "unshare (util-linux) is missing";
    }
    char folder[] = "/tmp/penvale-lookup-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string resolv = std::string(folder) + "/resolv.conf";
    const std::string nsswitch = std::string(folder) + "/nsswitch.conf";
    {
        std::FILE* out = std::fopen(resolv.c_str(), "w");
        std::fputs("nameserver 127.0.0.7\noptions timeout:5 attempts:2\n", out);
        std::fclose(out);
        out = std::fopen(nsswitch.c_str(), "w");
        std::fputs("hosts: files dns\n", out);
        std::fclose(out);
    }
    // The probe binds the silent server itself, looks the name up through the socket
    // layer and reports what it saw; the mounts end with its namespace.
    const std::string command =
        "unshare -m sh -c 'mount --make-rprivate / && mount --bind \"$1\" /etc/resolv.conf && "
        "mount --bind \"$2\" /etc/nsswitch.conf && exec \"$3\" penvale-desktop.test 127.0.0.7' sh '" +
        resolv + "' '" + nsswitch + "' '" PENVALE_LOOKUP_PROBE "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(pipe);
    std::remove(resolv.c_str());
    std::remove(nsswitch.c_str());
    ::rmdir(folder);
    if (output.find("mount:") != std::string::npos || output.find("unshare:") != std::string::npos) {
        GTEST_SKIP() << "no private mount namespace here: " << output;
    }
    ASSERT_EQ(status, 0) << output;
    long long elapsed = -1;
    int result = 0;
    int error = 0;
    int queries = -1;
    ASSERT_EQ(std::sscanf(output.c_str(), "elapsed=%lld result=%d error=%d queries=%d", &elapsed, &result,
                          &error, &queries),
              4)
        << output;
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, ETIMEDOUT);
    EXPECT_GE(queries, 1) << "the look-up never reached the silent name server";
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 6000) << "the resolver alone would wait 10 s";
}
