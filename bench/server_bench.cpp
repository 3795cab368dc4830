// Desktop server: decoding throughput, and the latency from the handheld's send
// to the pointer device over a loopback connection.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "server/Decoder.h"
#include "server/PointerDriver.h"
#include "link/PenSample.h"
#include "link/Protocol.h"
#include "server/PrintSink.h"
#include "server/Server.h"
#include "server/WebServer.h"
#include "tests/server/WebSocketClient.h"
#include "server/WebTransport.h"

namespace {

using namespace pv::server;
using Clock = std::chrono::steady_clock;

struct CountingSink : MessageSink {
    void OnMessage(const Message& message) override {
        ++count;
        sum += message.a;
    }
    long count = 0;
    long sum = 0;
};

// About 1 MiB as a handheld sends it: batches of 16 Positions, now and then a
// press, a release and an Extent.
std::string TypicalStream() {
    std::string stream;
    char record[16];
    for (int batch = 0; stream.size() < (1 << 20); ++batch) {
        if (batch % 64 == 0) {
            pv::protocol::FormatExtent(record, 960, 1072);
            stream += record;
            stream += "!";
        }
        for (int i = 0; i < 16; ++i) {
            pv::protocol::FormatPosition(record, (batch * 7 + i) % 960, (batch * 3 - i) % 1072);
            stream += record;
        }
        if (batch % 64 == 63) {
            stream += "^";
        }
    }
    return stream;
}

// Decoding in reads of the given size (a loopback read is up to 64 KiB, a
// network segment about 1460 bytes).
void BM_Decode(benchmark::State& state) {
    const std::string stream = TypicalStream();
    const std::size_t chunk = static_cast<std::size_t>(state.range(0));
    CountingSink sink;
    Decoder decoder(sink);
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            decoder.Feed(stream.data() + at, std::min(chunk, stream.size() - at));
        }
        decoder.Finish();
        benchmark::DoNotOptimize(sink.sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_Decode)->Arg(65536)->Arg(1460)->Arg(9);

// Stamps the time each Position reaches the device.
struct StampingDevice : PointerDevice {
    int Move(int, int) override {
        stamp = Clock::now();
        arrived.fetch_add(1, std::memory_order_release);
        arrived.notify_one();
        return 0;
    }
    int SetButton(PointerButton, bool) override { return 0; }
    Clock::time_point stamp;
    std::atomic<int> arrived{0};
};

// One Position record per write, the next sent only after the previous one has
// reached the device, so each figure is one record's trip and not a queue. The
// argument is the press spacing in milliseconds: 0 is the server without the
// button pacing, to compare in the same run.
void BM_LoopbackLatency(benchmark::State& state) {
    constexpr int kRecords = 10000;
    StampingDevice device;
    PointerDriver driver(device);
    HandheldSeat seat(driver, AllowList::Default(), [](const std::string&) {},
                      std::chrono::milliseconds(state.range(0)));
    Server server(seat, [](const std::string&) {});
    in_addr address{};
    inet_pton(AF_INET, "127.0.0.3", &address);
    if (std::string error = server.Listen(ntohl(address.s_addr), 0); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::thread thread([&] { server.Run(); });

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(server.Port());
    remote.sin_addr = address;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::vector<double> micros;
    micros.reserve(kRecords);
    if (connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) {
        char record[16];
        pv::protocol::FormatExtent(record, 960, 1072);
        send(fd, record, 9, MSG_NOSIGNAL);
        for (auto _ : state) {
            for (int i = 0; i < kRecords; ++i) {
                pv::protocol::FormatPosition(record, i % 960, i % 1072);
                Clock::time_point sent = Clock::now();
                if (send(fd, record, 9, MSG_NOSIGNAL) != 9) {
                    break;
                }
                device.arrived.wait(static_cast<int>(micros.size()), std::memory_order_acquire);
                micros.push_back(std::chrono::duration<double, std::micro>(device.stamp - sent).count());
            }
        }
    }
    close(fd);
    server.Stop();
    thread.join();
    if (micros.size() != static_cast<std::size_t>(kRecords)) {
        state.SkipWithError("the records did not all arrive");
        return;
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_LoopbackLatency)
    ->ArgName("spacing_ms")
    ->Arg(0)
    ->Arg(pv::server::kPressSpacing.count())
    ->Arg(0)
    ->Arg(pv::server::kPressSpacing.count())
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same trip for the browser handheld: a binary WebSocket message through
// libwebsockets' thread and the queue to the server's loop and the device.
// A pen sample from the handheld's write to its --print line: one record per
// write, the next only after the line of the previous one was read from the
// output pipe.
void BM_PenSampleToLine(benchmark::State& state) {
    constexpr int kSamples = 10000;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    std::atomic<bool> stop{false};
    PrintSink print(pipeFds[1], stop);
    HandheldSeat seat(print, AllowList::Default(), [](const std::string&) {});
    seat.SetPenSamples(true);
    Server server(seat, [](const std::string&) {});
    in_addr address{};
    inet_pton(AF_INET, "127.0.0.3", &address);
    if (std::string error = server.Listen(ntohl(address.s_addr), 0); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::thread thread([&] { server.Run(); });

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(server.Port());
    remote.sin_addr = address;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::vector<double> micros;
    micros.reserve(kSamples);
    auto readLine = [&] {
        for (char c = 0; c != '\n';) {
            if (read(pipeFds[0], &c, 1) != 1) {
                return false;
            }
        }
        return true;
    };
    if (connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) {
        char record[32];
        pv::protocol::FormatExtent(record, 960, 1072);
        send(fd, record, 9, MSG_NOSIGNAL);
        readLine();
        for (auto _ : state) {
            for (int i = 0; i < kSamples; ++i) {
                int length = pv::protocol::FormatPenSample(
                    record, {pv::protocol::PenPhase::Touch, i % 960, i % 1072, i % 4096, i % 90, -(i % 90), 0});
                Clock::time_point sent = Clock::now();
                if (send(fd, record, static_cast<std::size_t>(length), MSG_NOSIGNAL) != length || !readLine()) {
                    break;
                }
                micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
            }
        }
    }
    close(fd);
    server.Stop();
    thread.join();
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (micros.size() != static_cast<std::size_t>(kSamples)) {
        state.SkipWithError("the samples did not all arrive");
        return;
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_PenSampleToLine)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WebSocketLatency(benchmark::State& state) {
    constexpr int kRecords = 5000;
    StampingDevice device;
    PointerDriver driver(device);
    AllowList allow = AllowList::Default();
    HandheldSeat seat(driver, allow, [](const std::string&) {});
    Server server(seat, [](const std::string&) {});
    WebServer web(allow);
    WebTransport transport(web, seat, [](const std::string&) {});
    std::uint32_t address = *ParseIpv4Address("127.0.0.3");
    std::string error = server.Listen(address, 0);
    if (error.empty()) {
        error = web.Start({address, 0, "/nonexistent", "0123456789abcdef0123456789abcdef"});
    }
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    server.AddTransport(transport);
    std::thread thread([&] { server.Run(); });
    std::vector<double> micros;
    micros.reserve(kRecords);
    {
        std::string origin = "http://127.0.0.3:" + std::to_string(web.Port());
        pv::server::test::WebSocketClient client("127.0.0.3", "127.0.0.3", web.Port(),
                                                 "/ws?t=0123456789abcdef0123456789abcdef", origin);
        client.SetSpin(true);
        char record[16];
        pv::protocol::FormatExtent(record, 960, 1072);
        if (client.WaitOpen() && client.Send(std::string(record, 9))) {
            for (auto _ : state) {
                for (int i = 0; i < kRecords; ++i) {
                    pv::protocol::FormatPosition(record, i % 960, i % 1072);
                    Clock::time_point sent = Clock::now();
                    if (!client.Send(std::string(record, 9))) {
                        break;
                    }
                    device.arrived.wait(static_cast<int>(micros.size()), std::memory_order_acquire);
                    micros.push_back(std::chrono::duration<double, std::micro>(device.stamp - sent).count());
                }
            }
        }
    }
    server.Stop();
    thread.join();
    web.Stop();
    if (micros.size() != static_cast<std::size_t>(kRecords)) {
        state.SkipWithError("the records did not all arrive");
        return;
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_WebSocketLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
