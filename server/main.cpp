// penvale-server: the desktop end of Penvale.

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "LocalAddresses.h"
#include "Options.h"
#include "PointerDriver.h"
#include "PrintSink.h"
#include "QrText.h"
#include "Server.h"
#include "StateDir.h"
#include "UinputDevice.h"
#include "WebServer.h"
#include "WebToken.h"

namespace {

pv::server::Server* g_server = nullptr;

void OnSignal(int) {
    if (g_server != nullptr) {
        g_server->Stop();
    }
}

void Log(const std::string& line) {
    std::fprintf(stderr, "penvale-server: %s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace pv::server;
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

    PrintSink printSink(stdout);
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
        driver = std::make_unique<PointerDriver>(*device);
        sink = driver.get();
        Log("virtual pointer \"" + std::string(kDeviceName) + "\" is " + device->DevNode());
    }

    AllowList allow = options.allow.empty() ? AllowList::Default() : AllowList(options.allow);
    Server server(*sink, allow, Log);
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

    WebServer web(allow);
    if (options.webPort) {
        std::string stateDir = StateDirectory(options.stateDir);
        if (stateDir.empty()) {
            Log("no folder for the server's state: set HOME or give --state-dir");
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
        server.AddWeb(web);
        Log("serving the browser handheld from " + config.root + " on " + FormatIpv4Address(config.address) +
            ":" + std::to_string(web.Port()));
        std::vector<std::uint32_t> addresses = LocalAddresses(options.listenAddress, allow);
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            std::string url = "http://" + FormatIpv4Address(addresses[i]) + ":" + std::to_string(web.Port()) +
                              "/?t=" + token.token;
            Log("browser handheld: open " + url);
            if (i == 0) {
                std::fputs(QrText(url).c_str(), stderr);
            }
        }
    }

    g_server = &server;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    server.Run();
    g_server = nullptr;
    web.Stop();
    return 0;
}
