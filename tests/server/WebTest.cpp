// The browser handheld's side of the server: its page and its WebSocket, through
// real loopback connections, in this process and as the program a user runs.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "LoopbackClient.h"
#include "PointerDriver.h"
#include "RecordingSink.h"
#include "Server.h"
#include "ServerProcess.h"
#include "WebServer.h"
#include "WebSocketClient.h"
#include "WebToken.h"

namespace pv::server {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using test::LoopbackClient;
using test::ServerProcess;
using test::WebSocketClient;

constexpr char kServerAddress[] = "127.0.0.2";
constexpr char kToken[] = "0123456789abcdef0123456789abcdef";

// A folder of its own under the system's temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "penvale-web-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A stand-in for the page's bundle, and a file beside it that must never be served.
struct StandInRoot {
    StandInRoot() {
        WriteFile(root / "index.html", "<!doctype html><title>Penvale</title>");
        WriteFile(root / "penvale.js", "var Module = {};");
        WriteFile(root / "penvale.wasm", std::string("\0asm\1\0\0\0", 8));
        WriteFile(root / "manifest.webmanifest", R"({"name":"Penvale","display":"fullscreen"})");
        WriteFile(root / "icons" / "penvale-192.png", "\x89PNG\r\n\x1a\n");
        WriteFile(root / "Penvale.htm", "<html><a name=Main_Contents>Help</a></html>");
        WriteFile(fs::path(folder.Path()) / "secret.txt", "not for the web");
    }
    TempFolder folder;
    fs::path root = fs::path(folder.Path()) / "web";
};

// One HTTP/1.0 request from a loopback source address; the whole answer, or
// empty when the server hung up without one.
std::string HttpGet(const char* source, std::uint16_t port, const std::string& path) {
    LoopbackClient client(source, kServerAddress, port);
    if (!client.Connected() ||
        !client.Send("GET " + path + " HTTP/1.0\r\nHost: " + kServerAddress + ":" + std::to_string(port) +
                     "\r\n\r\n")) {
        return {};
    }
    return client.ReadAll();
}

std::string HeaderValue(const std::string& response, const std::string& name) {
    std::string lower = response;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) {
        return {};
    }
    std::size_t start = response.find_first_not_of(' ', at + name.size() + 3);
    return response.substr(start, response.find("\r\n", start) - start);
}

std::string Body(const std::string& response) {
    std::size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

// Waits (bounded) for a line of the recorder that contains text.
std::string LineWith(const test::Recorder& recorder, const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (std::size_t seen = 0; std::chrono::steady_clock::now() < deadline; ++seen) {
        recorder.WaitFor(seen + 1, std::chrono::seconds(1));
        for (const std::string& line : recorder.Lines()) {
            if (line.find(text) != std::string::npos) {
                return line;
            }
        }
        seen = recorder.Lines().size();
    }
    return {};
}

std::string Origin(std::uint16_t port) { return std::string("http://") + kServerAddress + ":" + std::to_string(port); }

// The server and the web server in this process, on a recording device.
class RunningServer {
public:
    explicit RunningServer(const std::string& root, AllowList allow = AllowList::Default())
        : driver(device),
          server(driver, allow, [this](const std::string& line) { log.Add(line); }),
          web(allow) {
        error = server.Listen(*ParseIpv4Address(kServerAddress), 0);
        if (error.empty()) {
            error = web.Start({*ParseIpv4Address(kServerAddress), 0, root, kToken});
        }
        if (error.empty()) {
            server.AddWeb(web);
            thread = std::thread([this] { server.Run(); });
        }
    }
    ~RunningServer() {
        server.Stop();
        if (thread.joinable()) {
            thread.join();
        }
        web.Stop();
    }
    std::unique_ptr<WebSocketClient> Handheld(const char* source = kServerAddress) {
        return std::make_unique<WebSocketClient>(source, kServerAddress, web.Port(),
                                                 std::string("/ws?t=") + kToken, Origin(web.Port()));
    }

    test::RecordingDevice device;
    test::Recorder log;
    PointerDriver driver;
    Server server;
    WebServer web;
    std::string error;
    std::thread thread;
};

TEST(WebHandheld, ServesTheBundleWithItsTypesAndNothingOutsideIt) {
    StandInRoot site;
    RunningServer running(site.root.string());
    ASSERT_EQ(running.error, "");
    std::uint16_t port = running.web.Port();
    struct Row {
        const char* path;
        const char* type;
        fs::path file;
    };
    for (const Row& row : {Row{"/?t=0123", "text/html", "index.html"}, Row{"/index.html", "text/html", "index.html"},
                           Row{"/penvale.js", "text/javascript", "penvale.js"},
                           Row{"/penvale.wasm", "application/wasm", "penvale.wasm"},
                           Row{"/manifest.webmanifest", "application/manifest+json", "manifest.webmanifest"},
                           Row{"/icons/penvale-192.png", "image/png", "icons/penvale-192.png"},
                           Row{"/Penvale.htm", "text/html", "Penvale.htm"}}) {
        std::string response = HttpGet(kServerAddress, port, row.path);
        EXPECT_EQ(response.substr(0, 12), "HTTP/1.0 200") << row.path << "\n" << response;
        EXPECT_EQ(HeaderValue(response, "content-type"), row.type) << row.path;
        std::ifstream in(site.root / row.file, std::ios::binary);
        std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(Body(response), expected) << row.path;
    }
    // Nothing from outside the web root, however the path is spelt.
    for (const char* path : {"/../secret.txt", "/%2e%2e/secret.txt", "/icons/../../secret.txt", "/..%2fsecret.txt",
                             "//../secret.txt", "/missing.js"}) {
        std::string response = HttpGet(kServerAddress, port, path);
        EXPECT_EQ(response.find("not for the web"), std::string::npos) << path;
        EXPECT_EQ(response.substr(0, 12), "HTTP/1.0 404") << path << "\n" << response;
    }
}

TEST(WebHandheld, BinaryMessagesDriveThePointerAndAHeldButtonIsReleasedOnClose) {
    StandInRoot site;
    RunningServer running(site.root.string());
    ASSERT_EQ(running.error, "");
    // Closed with a close frame, then vanished without one: both release the button.
    for (bool clean : {true, false}) {
        std::size_t before = running.device.Lines().size();
        auto handheld = running.Handheld();
        ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error() << ::testing::PrintToString(running.log.Lines());
        // A record split across two messages counts once, as over TCP.
        ASSERT_TRUE(handheld->Send(":0100"));
        ASSERT_TRUE(handheld->Send("0100> 100   0"));
        ASSERT_TRUE(handheld->Send("!"));
        ASSERT_TRUE(running.device.WaitFor(before + 2));
        clean ? handheld->Close() : handheld->Drop();
        ASSERT_TRUE(running.device.WaitFor(before + 3)) << clean;
        Lines lines = running.device.Lines();
        EXPECT_EQ(Lines(lines.begin() + static_cast<long>(before), lines.end()),
                  (Lines{"move 32767 0", "left down", "left up"}))
            << clean;
        EXPECT_NE(LineWith(running.log, "disconnected 127.0.0.2:"), "") << clean;
        EXPECT_TRUE(handheld->Received().empty());
    }
}

TEST(WebHandheld, ATcpAndAWebSocketHandheldFollowTheOneHandheldRule) {
    StandInRoot site;
    RunningServer running(site.root.string());
    ASSERT_EQ(running.error, "");

    // A WebSocket holding the button is replaced by a TCP handheld: closed, released.
    auto web = running.Handheld();
    ASSERT_TRUE(web->WaitOpen()) << web->Error();
    ASSERT_TRUE(web->Send(":01000100!"));
    ASSERT_TRUE(running.device.WaitFor(1));
    LoopbackClient tcp(kServerAddress, kServerAddress, running.server.Port());
    ASSERT_TRUE(tcp.Connected());
    EXPECT_TRUE(web->WaitClosedByServer());
    ASSERT_TRUE(running.device.WaitFor(2));
    EXPECT_NE(LineWith(running.log, "replaced by 127.0.0.2:"), "");
    ASSERT_TRUE(tcp.Send(">   0 100!"));
    ASSERT_TRUE(running.device.WaitFor(4));

    // And the other way round: the TCP handheld's held button is released too.
    auto second = running.Handheld();
    ASSERT_TRUE(second->WaitOpen()) << second->Error();
    EXPECT_TRUE(tcp.ClosedByServer());
    ASSERT_TRUE(running.device.WaitFor(5));
    ASSERT_TRUE(second->Send("|"));
    ASSERT_TRUE(running.device.WaitFor(7));
    EXPECT_EQ(running.device.Lines(), (Lines{"left down", "left up", "move 0 32767", "left down", "left up",
                                             "right down", "right up"}));
    // The messages of a replaced WebSocket no longer count.
    EXPECT_FALSE(web->Send("!"));
}

}  // namespace
}  // namespace pv::server
