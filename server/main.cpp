// penvale-server: the desktop end of Penvale.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ConnectHints.h"
#include "HandheldSeat.h"
#include "Options.h"
#include "Output.h"
#include "PointerDriver.h"
#include "PrintSink.h"
#include "Server.h"
#include "StateStore.h"
#include "UinputDevice.h"

namespace {

std::atomic<bool> g_stop{false};
pv::server::Server* g_server = nullptr;

void OnSignal(int) {
    g_stop.store(true);
    if (g_server != nullptr) {
        g_server->Stop();
    }
}

// Standard error may be a pipe nobody reads, or closed: a line that cannot be
// written is dropped rather than holding up the server.
void Log(const std::string& line) {
    pv::server::WriteAll(STDERR_FILENO, "penvale-server: " + line + "\n", g_stop);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace pv::server;
    // A reader that goes away (--print | head -1, a closed log pipe) gives EPIPE, not death.
    std::signal(SIGPIPE, SIG_IGN);

    ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        Log(parsed.error);
        std::fputs(UsageText().c_str(), stderr);
        return 2;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("penvale-server %s\n", PENVALE_VERSION);
        return 0;
    }

    PrintSink printSink(STDOUT_FILENO, g_stop, [](int error) {
        if (error == ECANCELED) {
            return;
        }
        Log(std::string("cannot write the messages to standard output (") + std::strerror(error) +
            "): stopping");
        g_stop.store(true);
        if (g_server != nullptr) {
            g_server->Stop();
        }
    });
    std::unique_ptr<UinputDevice> device;
    std::unique_ptr<PointerDriver> driver;
    MessageSink* sink = &printSink;
    if (!options.print) {
        std::string error;
        device = UinputDevice::Create(error);
        if (!device) {
            Log(error);
            return 1;
        }
        std::string stateDir = StateDirectory(options.stateDir);
        driver = std::make_unique<PointerDriver>(
            *device, Mapping(options.mapping), Log, [stateDir, failed = false](int a, int b) mutable {
                std::string saveError = stateDir.empty() ? std::string("no state folder (set --state-dir)")
                                                         : SaveExtent(stateDir, a, b);
                // Once: the pointer works without it; only a restart loses the Extent.
                if (!saveError.empty() && !failed) {
                    Log("cannot keep the Extent for the next start: " + saveError);
                }
                failed = !saveError.empty();
            });
        if (options.extent) {
            driver->SetExtent(options.extent->first, options.extent->second);
        } else if (auto kept = stateDir.empty() ? std::nullopt : LoadExtent(stateDir)) {
            driver->SetExtent(kept->first, kept->second);
            Log("the handheld's last Extent, " + std::to_string(kept->first) + " " +
                std::to_string(kept->second) + ", maps Positions until it sends one");
        }
        sink = driver.get();
        Log("virtual pointer \"" + std::string(kDeviceName) + "\" is " + device->DevNode());
    }

    AllowList allow = options.allow.empty() ? AllowList::Default() : AllowList(options.allow);
    HandheldSeat seat(*sink, allow, Log);
    Server server(seat, Log);
    if (std::string error = server.Listen(options.listenAddress, options.port); !error.empty()) {
        Log(error);
        return 1;
    }
    std::string ranges;
    for (const Ipv4Range& range : allow.Ranges()) {
        ranges += (ranges.empty() ? "" : ", ") + range.ToString();
    }
    Log("listening on " + FormatIpv4Address(options.listenAddress) + ":" + std::to_string(server.Port()) +
        ", accepting " + ranges);
    for (const std::string& hint : ConnectHints(options.listenAddress, server.Port(), allow, LocalIpv4Addresses())) {
        Log(hint);
    }

    g_server = &server;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a signal also ends a wait in progress.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    if (g_stop.load()) {
        return 0;
    }
    server.Run();
    g_server = nullptr;
    return 0;
}
