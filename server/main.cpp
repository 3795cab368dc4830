// penvale-server: the desktop end of Penvale.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "server/ConnectHints.h"
#include "server/HandheldSeat.h"
#include "server/Options.h"
#include "server/Output.h"
#include "server/PointerDriver.h"
#include "server/PrintSink.h"
#include "server/Server.h"
#include "server/StateStore.h"
#include "server/UinputDevice.h"
#ifndef PENVALE_WITHOUT_WEB
#include "server/QrText.h"
#include "server/WebServer.h"
#include "server/WebToken.h"
#include "server/WebTransport.h"
#endif

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

#ifndef PENVALE_WITHOUT_WEB
// The code as an image in the state folder, private like the token it holds.
// Returns its path, or empty when it could not be written (the log says why).
std::string WriteConnectImage(const std::string& stateDir, const std::string& svg) {
    std::string path = stateDir + "/web-qr.svg";
    std::error_code error;
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << svg;
        file.close();
        if (!file) {
            Log("cannot write " + path + " (the code is still printed above)");
            return {};
        }
    }
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 error);
    return path;
}
#endif

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

    // Before anything starts: a stop asked for during start-up (the web server's
    // thread is up by then) ends the program cleanly rather than killing it.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a signal also ends a wait in progress.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);

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

#ifdef PENVALE_WITHOUT_WEB
    if (options.webPort) {
        Log("--web: this build of the server has no web server");
        return 2;
    }
#else
    // The browser handheld: its page and WebSocket on their own port, its
    // connections under the same seat.
    WebServer web(allow);
    WebTransport webTransport(web, seat, Log);
    if (options.webPort) {
        std::string stateDir = StateDirectory(options.stateDir);
        if (stateDir.empty()) {
            Log("no folder for the web page's token: set HOME or give --state-dir");
            return 1;
        }
        WebToken token = LoadWebToken(stateDir, options.newToken);
        if (!token.error.empty()) {
            Log(token.error);
            return 1;
        }
        WebConfig config;
        config.address = options.listenAddress;
        config.port = *options.webPort;
        config.root = options.webRoot.empty() ? InstalledWebRoot() : options.webRoot;
        config.token = token.token;
        if (std::string error = web.Start(config); !error.empty()) {
            Log(error);
            return 1;
        }
        server.AddTransport(webTransport);
        Log("serving the browser handheld from " + config.root + " on " + FormatIpv4Address(config.address) +
            ":" + std::to_string(web.Port()));
        if (access((config.root + "/index.html").c_str(), R_OK) != 0) {
            Log("but " + config.root + "/index.html is not there: build the page (scripts/web) and install it, "
                "or give --web-root");
        }
        std::vector<std::uint32_t> addresses = HandheldAddresses(options.listenAddress, allow, LocalIpv4Addresses());
        std::vector<std::string> urls;
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            std::string url = "http://" + FormatIpv4Address(addresses[i]) + ":" + std::to_string(web.Port()) +
                              "/?t=" + token.token;
            urls.push_back(url);
            Log("browser handheld: open " + url);
            if (i == 0) {
                // For the phone's camera: scanning it opens the page. A terminal gets its own colours, so
                // that the code reads the same on a light and a dark one; a log keeps none.
                const char* force = std::getenv("CLICOLOR_FORCE");
                bool colours = (isatty(STDERR_FILENO) == 1 || (force != nullptr && std::string(force) != "0")) &&
                               std::getenv("NO_COLOR") == nullptr;
                WriteAll(STDERR_FILENO, QrText(url, colours), g_stop);
            }
        }
        if (!urls.empty()) {
            web.SetConnectPage(ConnectPageHtml(urls));
            std::string local = FormatIpv4Address(options.listenAddress == 0 ? 0x7f000001 : options.listenAddress);
            std::string image = WriteConnectImage(stateDir, QrSvg(urls[0]));
            Log("browser handheld: the code is also at http://" + local + ":" + std::to_string(web.Port()) +
                "/connect (in a browser on this machine)" + (image.empty() ? "" : " and in " + image));
        }
    }
#endif

    g_server = &server;
    if (g_stop.load()) {
        return 0;
    }
    server.Run();
    g_server = nullptr;
#ifndef PENVALE_WITHOUT_WEB
    web.Stop();
#endif
    return 0;
}
