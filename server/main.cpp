// penvale-server: the desktop end of Penvale.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/ConnectHints.h"
#include "server/HandheldSeat.h"
#include "server/Options.h"
#include "server/Output.h"
#include "server/PenDriver.h"
#include "server/Platform.h"
#include "server/PointerDriver.h"
#include "server/PrintSink.h"
#include "server/Server.h"
#include "server/StateStore.h"
#ifndef PENVALE_WITHOUT_WEB
#include "server/QrText.h"
#include "server/WebServer.h"
#include "server/WebToken.h"
#include "server/WebTransport.h"
#endif

#ifndef STDOUT_FILENO
#define STDOUT_FILENO 1
#define STDERR_FILENO 2
#endif

namespace {

using namespace pv::server;

std::atomic<bool> g_stop{false};
// Read by the stop request, which may come on any thread (a signal lands on the
// web thread as well; Windows calls from a thread of its own).
std::atomic<Server*> g_server{nullptr};

void RequestStop() {
    g_stop.store(true);
    if (Server* server = g_server.load()) {
        server->Stop();
    }
}

// Standard error may be a pipe nobody reads, or closed: a line that cannot be
// written is dropped rather than holding up the server.
void Log(const std::string& line) {
    WriteAll(STDERR_FILENO, "penvale-server: " + line + "\n", g_stop);
}

// The desktop's pointer and the driver that moves it, the Extent kept across
// restarts. Null when the pointer cannot be had (logged).
struct Pointer {
    std::unique_ptr<PointerDevice> device;
    std::unique_ptr<PenDriver> pen;  // before the driver, which uses it to the end
    std::unique_ptr<PointerDriver> driver;
};

// Whether the pen's samples are taken (and the page is told it may send them).
bool TakesPenSamples(const Options& options) {
    return options.pen && (options.print || HasDesktopPen());
}

std::optional<Pointer> OpenPointer(const Options& options) {
    Pointer pointer;
    std::string error;
    std::string description;
    pointer.device = OpenDesktopPointer(error, description);
    if (!pointer.device) {
        Log(error);
        return std::nullopt;
    }
    std::string stateDir = StateDirectory(options.stateDir);
    pointer.driver = std::make_unique<PointerDriver>(
        *pointer.device, Mapping(options.mapping), Log, [stateDir, failed = false](int a, int b) mutable {
            std::string saveError = stateDir.empty() ? std::string("no state folder (set --state-dir)")
                                                     : SaveExtent(stateDir, a, b);
            // Once: the pointer works without it; only a restart loses the Extent.
            if (!saveError.empty() && !failed) {
                Log("cannot keep the Extent for the next start: " + saveError);
            }
            failed = !saveError.empty();
        });
    if (options.extent) {
        pointer.driver->SetExtent(options.extent->first, options.extent->second);
    } else if (auto kept = stateDir.empty() ? std::nullopt : LoadExtent(stateDir)) {
        pointer.driver->SetExtent(kept->first, kept->second);
        Log("the handheld's last Extent, " + std::to_string(kept->first) + " " + std::to_string(kept->second) +
            ", maps Positions until it sends one");
    }
    Log(description);
    if (TakesPenSamples(options)) {
        // Made at the first pen sample: a desktop never sees a pen that never came.
        pointer.pen = std::make_unique<PenDriver>(
            [](std::string& why) {
                std::string penDescription;
                std::unique_ptr<PenDevice> pen = OpenDesktopPen(why, penDescription);
                if (pen) {
                    Log(penDescription);
                }
                return pen;
            },
            Log);
        pointer.driver->SetPen(pointer.pen.get());
    }
    return pointer;
}

void LogListening(const Options& options, const Server& server, const AllowList& allow) {
    std::string ranges;
    for (const Ipv4Range& range : allow.Ranges()) {
        ranges += (ranges.empty() ? "" : ", ") + range.ToString();
    }
    Log("listening on " + FormatIpv4Address(options.listenAddress) + ":" + std::to_string(server.Port()) +
        ", accepting " + ranges);
    for (const std::string& hint : ConnectHints(options.listenAddress, server.Port(), allow, LocalIpv4Addresses())) {
        Log(hint);
    }
}

#ifndef PENVALE_WITHOUT_WEB
// The browser handheld: its page and WebSocket on their own port, its
// connections under the same seat. False when it cannot start (logged).
bool StartWeb(const Options& options, const AllowList& allow, WebServer& web, std::size_t connections) {
    std::string stateDir = StateDirectory(options.stateDir);
    if (stateDir.empty()) {
#ifdef _WIN32
        Log("no folder for the web page's token: LOCALAPPDATA is not set; give --state-dir");
#else
        Log("no folder for the web page's token: set HOME or give --state-dir");
#endif
        return false;
    }
    WebToken token = LoadWebToken(stateDir, options.newToken);
    if (!token.error.empty()) {
        Log(token.error);
        return false;
    }
    if (!token.warning.empty()) {
        Log(token.warning);
    }
    WebConfig config;
    config.address = options.listenAddress;
    config.port = *options.webPort;
    config.root = options.webRoot.empty() ? InstalledWebRoot() : options.webRoot;
    config.token = token.token;
    config.pen = TakesPenSamples(options);
    config.maxConnections = connections;
    config.maxPerAddress = std::clamp<std::size_t>(connections / 4, 1, 16);
    if (std::string error = web.Start(config); !error.empty()) {
        Log(error);
        return false;
    }
    Log("serving the browser handheld from " + config.root + " on " + FormatIpv4Address(config.address) + ":" +
        std::to_string(web.Port()));
    std::error_code missing;
    if (!std::filesystem::is_regular_file(std::filesystem::path(config.root) / "index.html", missing)) {
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
            bool colours = (StandardErrorShowsColours() || (force != nullptr && std::string(force) != "0")) &&
                           std::getenv("NO_COLOR") == nullptr;
            WriteAll(STDERR_FILENO, QrText(url, colours), g_stop);
        }
    }
    if (!urls.empty()) {
        web.SetConnectPage(ConnectPageHtml(urls));
        // The code as an image beside the token, private as the token is.
        std::string image = stateDir + kPathSeparator + "web-qr.svg";
        if (std::string error = WriteFileAtomically(image, QrSvg(urls[0])); !error.empty()) {
            Log("cannot write " + image + ": " + error + " (the code is still printed above)");
            image.clear();
        }
        std::string local = FormatIpv4Address(options.listenAddress == 0 ? 0x7f000001 : options.listenAddress);
        Log("browser handheld: the code is also at http://" + local + ":" + std::to_string(web.Port()) +
            "/connect (in a browser on this machine)" + (image.empty() ? "" : " and in " + image));
    }
    return true;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    PrepareConsole();
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
    OnStopRequest(RequestStop);
    if (!net::Start()) {
        Log("cannot use the network: " + ErrorText(errno));
        return 1;
    }

    PrintSink printSink(STDOUT_FILENO, g_stop, [](int error) {
        if (error == ECANCELED) {
            return;
        }
        Log("cannot write the messages to standard output (" + ErrorText(error) + "): stopping");
        RequestStop();
    });
    std::optional<Pointer> pointer;
    MessageSink* sink = &printSink;
    if (!options.print) {
        pointer = OpenPointer(options);
        if (!pointer) {
            return 1;
        }
        sink = pointer->driver.get();
    }

    AllowList allow = options.allow.empty() ? AllowList::Default() : AllowList(options.allow);
    HandheldSeat seat(*sink, allow, Log);
    seat.SetPenSamples(TakesPenSamples(options));
    Server server(seat, Log);
    // What the program itself holds (standard streams, listeners, wake-ups, the
    // device, the reserves) stays free; the TCP port gets a quarter of the
    // rest, the web port (pages and WebSockets) half.
    std::size_t spare = RaiseDescriptorLimit();
    spare = spare > 32 ? spare - 32 : 0;
    std::size_t tcpConnections = std::clamp<std::size_t>(spare / 4, 2, 64);
    [[maybe_unused]] std::size_t webConnections = std::clamp<std::size_t>(spare / 2, 4, 256);
    server.SetConnectionLimits(tcpConnections, std::clamp<std::size_t>(tcpConnections / 4, 1, 4));
    if (std::string error = server.Listen(options.listenAddress, options.port); !error.empty()) {
        Log(error);
        return 1;
    }
    LogListening(options, server, allow);

#ifdef PENVALE_WITHOUT_WEB
    if (options.webPort) {
        Log("--web: this build of the server has no web server");
        return 2;
    }
#else
    WebServer web(allow);
    WebTransport webTransport(web, seat, Log);
    if (options.webPort) {
        if (!StartWeb(options, allow, web, webConnections)) {
            return 1;
        }
        server.AddTransport(webTransport);
    }
#endif

    g_server.store(&server);
    if (g_stop.load()) {
        return 0;
    }
    server.Run();
    g_server.store(nullptr);
#ifndef PENVALE_WITHOUT_WEB
    web.Stop();
#endif
    return 0;
}
