// The browser handheld's side of the server: its page and its WebSocket, through
// real loopback connections, in this process and as the program a user runs.

#include <arpa/inet.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "tests/server/LoopbackClient.h"
#include "server/PointerDriver.h"
#include "tests/server/RecordingSink.h"
#include "server/Server.h"
#include "tests/server/ServerProcess.h"
#include "server/QrText.h"
#include "server/WebServer.h"
#include "tests/server/WebSocketClient.h"
#include "server/WebToken.h"
#include "server/WebTransport.h"

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
std::string HttpGet(const char* source, std::uint16_t port, const std::string& path,
                    const std::string& headers = {}) {
    LoopbackClient client(source, kServerAddress, port);
    if (!client.Connected() ||
        !client.Send("GET " + path + " HTTP/1.0\r\nHost: " + kServerAddress + ":" + std::to_string(port) +
                     "\r\n" + headers + "\r\n")) {
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
          seat(driver, allow, [this](const std::string& line) { log.Add(line); }),
          server(seat, [this](const std::string& line) { log.Add(line); }),
          web(allow),
          transport(web, seat, [this](const std::string& line) { log.Add(line); }) {
        error = server.Listen(*ParseIpv4Address(kServerAddress), 0);
        if (error.empty()) {
            error = web.Start({*ParseIpv4Address(kServerAddress), 0, root, kToken});
        }
        if (error.empty()) {
            server.AddTransport(transport);
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
    HandheldSeat seat;
    Server server;
    WebServer web;
    WebTransport transport;
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
        EXPECT_EQ(HeaderValue(response, "referrer-policy"), "no-referrer") << row.path;
        std::ifstream in(site.root / row.file, std::ios::binary);
        std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(Body(response), expected) << row.path;
    }
    // A browser that takes gzip gets the compressed copy where there is one, not older than its original; the
    // others and every other browser get the file itself. Each is kept and asked for again (its ETag).
    WriteFile(site.root / "penvale.wasm.gz", "wasm, packed");
    WriteFile(site.root / "penvale.js.gz", "js, packed but stale");
    fs::last_write_time(site.root / "penvale.js.gz",
                        fs::last_write_time(site.root / "penvale.js") - std::chrono::seconds(10));
    const std::string takesGzip = "Accept-Encoding: gzip, deflate\r\n";
    std::string packed = HttpGet(kServerAddress, port, "/penvale.wasm", takesGzip);
    EXPECT_EQ(HeaderValue(packed, "content-encoding"), "gzip");
    EXPECT_EQ(HeaderValue(packed, "content-type"), "application/wasm");
    EXPECT_EQ(Body(packed), "wasm, packed");
    EXPECT_NE(HeaderValue(packed, "cache-control").find("must-revalidate"), std::string::npos) << packed;
    EXPECT_NE(HeaderValue(packed, "etag"), "");
    std::string plain = HttpGet(kServerAddress, port, "/penvale.wasm");
    EXPECT_EQ(HeaderValue(plain, "content-encoding"), "");
    EXPECT_EQ(Body(plain), std::string("\0asm\1\0\0\0", 8));
    std::string stale = HttpGet(kServerAddress, port, "/penvale.js", takesGzip);
    EXPECT_EQ(HeaderValue(stale, "content-encoding"), "");
    EXPECT_EQ(Body(stale), "var Module = {};");
    std::string again = HttpGet(kServerAddress, port, "/penvale.wasm",
                                takesGzip + "If-None-Match: " + HeaderValue(packed, "etag") + "\r\n");
    EXPECT_EQ(again.substr(0, 12), "HTTP/1.0 304") << again;
    EXPECT_EQ(Body(again), "");

    // Nothing from outside the web root, however the path is spelt, nor
    // through a link in it; a link inside it is followed.
    fs::create_symlink(site.root.parent_path() / "secret.txt", site.root / "link.txt");
    fs::create_directory_symlink(site.root.parent_path(), site.root / "up");
    fs::create_symlink("icons/penvale-192.png", site.root / "icon.png");
    EXPECT_EQ(Body(HttpGet(kServerAddress, port, "/icon.png")).substr(0, 4), "\x89PNG");
    for (const char* path : {"/../secret.txt", "/%2e%2e/secret.txt", "/icons/../../secret.txt", "/..%2fsecret.txt",
                             "//../secret.txt", "/missing.js", "/link.txt", "/up/secret.txt"}) {
        std::string response = HttpGet(kServerAddress, port, path);
        EXPECT_EQ(response.find("not for the web"), std::string::npos) << path;
        EXPECT_EQ(response.substr(0, 12), "HTTP/1.0 404") << path << "\n" << response;
    }
}

// Gives this process's own network namespace's loopback interface another
// address (a label "lo:N"), as a second machine's would be.
bool AddLoopbackAddress(int label, const char* address) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo:%d", label);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    inet_pton(AF_INET, address, &in.sin_addr);
    std::memcpy(&request.ifr_addr, &in, sizeof in);
    bool done = fd >= 0 && ioctl(fd, SIOCSIFADDR, &request) == 0;
    close(fd);
    return done;
}

constexpr int kNoNamespace = 77;

// In a network namespace of its own, where two addresses outside loopback's
// range stand for the desktop and a phone: /connect is the desktop's only.
// Returns 0 when it is refused to the phone and served to the desktop itself.
int ConnectPageInOwnNetwork() {
    if (unshare(CLONE_NEWNET) != 0) {
        return kNoNamespace;
    }
    ifreq up{};
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::snprintf(up.ifr_name, sizeof up.ifr_name, "lo");
    bool ready = ioctl(fd, SIOCGIFFLAGS, &up) == 0;
    up.ifr_flags = static_cast<short>(up.ifr_flags | IFF_UP);
    ready = ready && ioctl(fd, SIOCSIFFLAGS, &up) == 0;
    close(fd);
    if (!ready || !AddLoopbackAddress(1, "198.18.0.1") || !AddLoopbackAddress(2, "198.18.0.2")) {
        return kNoNamespace;
    }
    StandInRoot site;
    WebServer web(AllowList({*ParseIpv4Range("198.18.0.0/15")}));
    if (!web.Start({*ParseIpv4Address("198.18.0.1"), 0, site.root.string(), kToken}).empty()) {
        return 2;
    }
    web.SetConnectPage("<p>the code</p>");
    auto get = [&](const char* source) {
        LoopbackClient client(source, "198.18.0.1", web.Port());
        if (!client.Connected() || !client.Send("GET /connect HTTP/1.0\r\nHost: 198.18.0.1\r\n\r\n")) {
            return std::string();
        }
        return client.ReadAll();
    };
    std::string phone = get("198.18.0.2");
    std::string desktop = get("198.18.0.1");
    std::string page = get("198.18.0.2");
    bool refused = phone.rfind("HTTP/1.0 403", 0) == 0 && phone.find("the code") == std::string::npos &&
                   page.find("the code") == std::string::npos;
    bool served = desktop.rfind("HTTP/1.0 200", 0) == 0 && Body(desktop) == "<p>the code</p>";
    if (!refused || !served) {
        std::fprintf(stderr, "phone:\n%s\ndesktop:\n%s\n", phone.c_str(), desktop.c_str());
    }
    web.Stop();
    return refused && served ? 0 : 1;
}

TEST(WebHandheld, TheConnectPageIsForTheDesktopItselfOnly) {
    EXPECT_TRUE(SameMachine(0x7f000001, 0xc6120001));
    EXPECT_TRUE(SameMachine(0x7f000003, 0x7f000002));
    EXPECT_TRUE(SameMachine(0xc6120001, 0xc6120001));
    EXPECT_FALSE(SameMachine(0xc6120002, 0xc6120001));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(ConnectPageInOwnNetwork());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoNamespace) {
        GTEST_SKIP() << "no network namespace could be made here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(WebHandheld, OnlyHttp11IsSpokenAndItsUpgradeOnlyToAWebSocket) {
    StandInRoot site;
    RunningServer running(site.root.string());
    ASSERT_EQ(running.error, "");
    std::uint16_t port = running.web.Port();
    // HTTP/2 in cleartext, by upgrade and by prior knowledge: never answered in it.
    LoopbackClient upgrade(kServerAddress, kServerAddress, port);
    ASSERT_TRUE(upgrade.Send(std::string("GET / HTTP/1.1\r\nHost: ") + kServerAddress +
                             "\r\nConnection: Upgrade, HTTP2-Settings\r\nUpgrade: h2c\r\n"
                             "HTTP2-Settings: AAMAAABkAARAAAAAAAIAAAAA\r\n\r\n"));
    std::string answer = upgrade.ReadAll();
    EXPECT_EQ(answer.find("101"), std::string::npos) << answer;
    EXPECT_NE(LineWith(running.log, "upgrade to 'h2c'"), "");
    LoopbackClient prior(kServerAddress, kServerAddress, port);
    ASSERT_TRUE(prior.Send(std::string("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n") + std::string("\0\0\0\4\0\0\0\0\0", 9)));
    answer = prior.ReadAll();
    EXPECT_TRUE(answer.empty() || answer.rfind("HTTP/1.", 0) == 0) << answer;
    // The page's own WebSocket still opens.
    auto handheld = running.Handheld();
    EXPECT_TRUE(handheld->WaitOpen()) << handheld->Error();
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
    // And when the server stops under a held button.
    auto handheld = running.Handheld();
    ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
    ASSERT_TRUE(handheld->Send("!"));
    ASSERT_TRUE(running.device.WaitFor(7));
    running.server.Stop();
    running.thread.join();
    EXPECT_TRUE(handheld->WaitClosedByServer());
    EXPECT_EQ(running.device.Lines().back(), "left up");
    EXPECT_EQ(running.device.Lines().size(), 8u);
}

TEST(WebHandheld, AWebSocketThatIsNotAHandheldsStreamIsClosedUnobeyed) {
    StandInRoot site;
    RunningServer running(site.root.string());
    ASSERT_EQ(running.error, "");
    // A text message, even one that reads like clicks; then a binary one whose
    // first byte no handheld sends first.
    auto text = running.Handheld();
    ASSERT_TRUE(text->WaitOpen()) << text->Error();
    ASSERT_TRUE(text->Send(":01000100!", false));
    EXPECT_TRUE(text->WaitClosedByServer());
    auto other = running.Handheld("127.0.0.5");
    ASSERT_TRUE(other->WaitOpen()) << other->Error();
    ASSERT_TRUE(other->Send("GET / HTTP/1.1\r\n\r\n!"));
    EXPECT_TRUE(other->WaitClosedByServer());
    EXPECT_NE(LineWith(running.log, "closed 127.0.0.5:"), "");
    // Neither of them reached the pointer; a real handheld still gets in.
    auto handheld = running.Handheld();
    ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
    ASSERT_TRUE(handheld->Send("|"));
    ASSERT_TRUE(running.device.WaitFor(2));
    EXPECT_EQ(running.device.Lines(), (Lines{"right down", "right up"}));
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

    // Another address may take the pointer from neither while it is live.
    auto stranger = running.Handheld("127.0.0.3");
    ASSERT_TRUE(stranger->WaitOpen()) << stranger->Error();
    stranger->Send("!");
    EXPECT_TRUE(stranger->WaitClosedByServer());
    // Told who has it, so that its page can say so.
    EXPECT_EQ(stranger->CloseCode(), kCloseBusy);
    EXPECT_EQ(stranger->CloseReason(), kServerAddress);
    EXPECT_NE(LineWith(running.log, "refused 127.0.0.3:"), "");
    LoopbackClient tcpStranger("127.0.0.4", kServerAddress, running.server.Port());
    ASSERT_TRUE(tcpStranger.Connected());
    tcpStranger.Send("!");
    EXPECT_TRUE(tcpStranger.ClosedByServer());
    EXPECT_NE(LineWith(running.log, "refused 127.0.0.4:"), "");
    ASSERT_TRUE(second->Send("|"));
    ASSERT_TRUE(running.device.WaitFor(9));
    Lines lines = running.device.Lines();
    EXPECT_EQ(Lines(lines.begin() + 7, lines.end()), (Lines{"right down", "right up"}));
    // Once it has gone, the other address gets in.
    second->Close();
    auto next = running.Handheld("127.0.0.3");
    ASSERT_TRUE(next->WaitOpen()) << next->Error();
    ASSERT_TRUE(next->Send("!"));
    ASSERT_TRUE(running.device.WaitFor(10));
    EXPECT_EQ(running.device.Lines().back(), "left down");
}

TEST(WebToken, MadeOnceKeptAndReplacedWhenAskedOrUnusable) {
    TempFolder state;
    std::string folder = state.Path() + "/nested/penvale";
    WebToken first = LoadWebToken(folder, false);
    ASSERT_EQ(first.error, "");
    EXPECT_EQ(first.token.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(first.token.size(), 32u);
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(LoadWebToken(folder, false).token, first.token);
    WebToken renewed = LoadWebToken(folder, true);
    EXPECT_NE(renewed.token, first.token);
    EXPECT_EQ(LoadWebToken(folder, false).token, renewed.token);
    // A file cut short or edited by hand never becomes a short secret.
    for (const char* content : {"", "abc\n", "0123456789ABCDEF0123456789ABCDEF\n"}) {
        WriteFile(fs::path(folder) / "web-token", content);
        WebToken replaced = LoadWebToken(folder, false);
        EXPECT_EQ(replaced.token.size(), 32u) << content;
        EXPECT_NE(replaced.token, renewed.token) << content;
        EXPECT_EQ(LoadWebToken(folder, false).token, replaced.token) << content;
    }
    // A token others could read, or could have chosen, is replaced, with a warning.
    std::string file = folder + "/web-token";
    std::string kept = LoadWebToken(folder, false).token;
    EXPECT_EQ(LoadWebToken(folder, false).warning, "");
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    WebToken loose = LoadWebToken(folder, false);
    EXPECT_NE(loose.token, kept);
    EXPECT_NE(loose.warning.find("readable by others"), std::string::npos) << loose.warning;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    WriteFile(fs::path(folder) / "chosen", kept + "\n");
    ASSERT_EQ(chmod((folder + "/chosen").c_str(), 0600), 0);
    fs::remove(file);
    fs::create_symlink(folder + "/chosen", file);
    WebToken linked = LoadWebToken(folder, false);
    EXPECT_NE(linked.token, kept);
    EXPECT_NE(linked.warning.find("was a link"), std::string::npos) << linked.warning;
    EXPECT_FALSE(fs::is_symlink(file));
    if (geteuid() == 0) {
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
        WebToken foreign = LoadWebToken(folder, false);
        EXPECT_NE(foreign.token, linked.token);
        EXPECT_NE(foreign.warning.find("not this user's"), std::string::npos) << foreign.warning;
    }
    EXPECT_EQ(LoadWebToken(folder, false).warning, "");
    // A folder that cannot be made is named, with the fix.
    WebToken failed = LoadWebToken(folder + "/web-token/below", false);
    EXPECT_EQ(failed.token, "");
    EXPECT_NE(failed.error.find("--state-dir"), std::string::npos) << failed.error;
}

// The program as a user runs it: --web with a stand-in page and its own state folder.
class WebProgram {
public:
    WebProgram(const std::string& root, const std::string& stateDir, std::vector<std::string> extra = {},
               int descriptorLimit = 0) {
        std::vector<std::string> args = {"--print", "--listen", kServerAddress, "--port", "0", "--web", "0",
                                         "--web-root", root, "--state-dir", stateDir};
        args.insert(args.end(), extra.begin(), extra.end());
        process = std::make_unique<ServerProcess>(args, descriptorLimit);
        for (std::string line = process->ErrLine(); !line.empty(); line = process->ErrLine()) {
            if (std::size_t at = line.find("listening on "); at != std::string::npos) {
                std::size_t colon = line.rfind(':', line.find(','));
                tcpPort = static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1)));
            }
            if (line.find("browser handheld: open ") != std::string::npos) {
                url = line;
                break;
            }
        }
        if (std::size_t at = url.find("http://"); at != std::string::npos) {
            url = url.substr(at);
            std::size_t colon = url.find(':', 7);
            port = static_cast<std::uint16_t>(std::stoi(url.substr(colon + 1)));
            if (std::size_t query = url.find("/?t="); query != std::string::npos) {
                token = url.substr(query + 4);
            }
        }
    }
    std::unique_ptr<WebSocketClient> Handheld(const std::string& path, const std::string& origin,
                                              const char* source = kServerAddress) {
        return std::make_unique<WebSocketClient>(source, kServerAddress, port, path, origin);
    }
    std::unique_ptr<WebSocketClient> Handheld() { return Handheld("/ws?t=" + token, Origin(port)); }

    std::unique_ptr<ServerProcess> process;
    std::string url;
    std::string token;
    std::uint16_t port = 0;
    std::uint16_t tcpPort = 0;
};

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

// What a QR reader makes of modules (true: light), through an image and zbarimg.
std::string ReadModules(const std::vector<std::vector<bool>>& light, const std::string& imagePath) {
    constexpr int kScale = 4;
    if (light.empty()) {
        return {};
    }
    std::ofstream image(imagePath);
    image << "P1\n" << light[0].size() * kScale << " " << light.size() * kScale << "\n";
    for (const auto& row : light) {
        for (int repeat = 0; repeat < kScale; ++repeat) {
            for (bool module : row) {
                for (int i = 0; i < kScale; ++i) {
                    image << (module ? "0 " : "1 ");
                }
            }
            image << "\n";
        }
    }
    image.close();
    std::string command = "zbarimg --raw -q '" + imagePath + "' 2>/dev/null";
    std::FILE* reader = popen(command.c_str(), "r");
    if (reader == nullptr) {
        return "(zbarimg did not start)";
    }
    std::string text;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, reader) != nullptr) {
        text += chunk;
    }
    pclose(reader);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// The code drawn in text lines as a terminal shows it: half blocks in the
// foreground colour over the background colour, each the terminal's default
// until an escape sequence (SGR) sets it. darkTerminal: light text on dark.
std::vector<std::vector<bool>> RenderTerminal(const Lines& qr, bool darkTerminal) {
    const std::string full = "\u2588", upper = "\u2580", lower = "\u2584";
    int foreground = -1, background = -1;  // 1 light, 0 dark, -1 the terminal's default
    std::vector<std::vector<bool>> light;
    for (const std::string& line : qr) {
        std::vector<bool> top, bottom;
        for (std::size_t at = 0; at < line.size();) {
            if (line.compare(at, 2, "\x1b[") == 0) {
                std::size_t end = line.find('m', at);
                std::string parameters = line.substr(at + 2, end - at - 2);
                for (std::size_t from = 0; from <= parameters.size();) {
                    std::size_t to = std::min(parameters.find(';', from), parameters.size());
                    int code = to > from ? std::stoi(parameters.substr(from, to - from)) : 0;
                    if (code == 0) {
                        foreground = -1;
                        background = -1;
                    } else if ((code >= 30 && code <= 37) || (code >= 90 && code <= 97)) {
                        foreground = code == 37 || (code >= 91 && code <= 97) ? 1 : 0;
                    } else if ((code >= 40 && code <= 47) || (code >= 100 && code <= 107)) {
                        background = code == 47 || (code >= 101 && code <= 107) ? 1 : 0;
                    }
                    from = to + 1;
                }
                at = end + 1;
                continue;
            }
            bool ink = foreground < 0 ? darkTerminal : foreground == 1;
            bool paper = background < 0 ? !darkTerminal : background == 1;
            bool isFull = line.compare(at, full.size(), full) == 0;
            bool isUpper = line.compare(at, upper.size(), upper) == 0;
            bool isLower = line.compare(at, lower.size(), lower) == 0;
            top.push_back(isFull || isUpper ? ink : paper);
            bottom.push_back(isFull || isLower ? ink : paper);
            at += isFull || isUpper || isLower ? full.size() : 1;
        }
        light.push_back(top);
        light.push_back(bottom);
    }
    return light;
}

// The code drawn in text lines, as on a terminal with light text on a dark background.
std::string DecodeQr(const Lines& qr, const std::string& imagePath) {
    return ReadModules(RenderTerminal(qr, true), imagePath);
}

// The SVG's modules: one "M x y h1v1h-1z" square for each dark module on a light ground.
std::string DecodeQrSvg(const std::string& svg, const std::string& imagePath) {
    std::size_t viewBox = svg.find("viewBox=\"0 0 ");
    if (viewBox == std::string::npos) {
        return {};
    }
    std::size_t side = std::stoul(svg.substr(viewBox + 13));
    std::vector<std::vector<bool>> light(side, std::vector<bool>(side, true));
    for (std::size_t at = svg.find('M'); at != std::string::npos; at = svg.find('M', at + 1)) {
        std::size_t space = svg.find(' ', at);
        std::size_t x = std::stoul(svg.substr(at + 1, space - at - 1));
        std::size_t y = std::stoul(svg.substr(space + 1));
        if (x < side && y < side) {
            light[y][x] = false;
        }
    }
    return ReadModules(light, imagePath);
}

Lines SplitLines(const std::string& text) {
    Lines lines;
    for (std::size_t from = 0; from < text.size();) {
        std::size_t to = text.find('\n', from);
        lines.push_back(text.substr(from, to - from));
        from = to == std::string::npos ? text.size() : to + 1;
    }
    return lines;
}

TEST(QrCode, TheColouredCodeReadsOnLightAndDarkTerminalsAndTheImageReadsToo) {
    TempFolder folder;
    const std::string url = "http://127.0.0.2:8080/?t=0123456789abcdef0123456789abcdef";
    // Printed with its own colours: the same code on either terminal.
    Lines coloured = SplitLines(QrText(url, true));
    EXPECT_EQ(ReadModules(RenderTerminal(coloured, true), folder.Path() + "/dark.pbm"), url);
    EXPECT_EQ(ReadModules(RenderTerminal(coloured, false), folder.Path() + "/light.pbm"), url);
    // Each line resets the colours it set, so that the terminal's own come back after it.
    for (const std::string& line : coloured) {
        EXPECT_EQ(line.rfind("\x1b[", 0), 0u);
        EXPECT_EQ(line.substr(line.size() - 4), "\x1b[0m");
    }
    // Without colours (a log) it is drawn for a dark background, the common terminal's.
    EXPECT_EQ(ReadModules(RenderTerminal(SplitLines(QrText(url, false)), true), folder.Path() + "/plain.pbm"), url);
    EXPECT_EQ(DecodeQrSvg(QrSvg(url), folder.Path() + "/svg.pbm"), url);
    // A text too long for any code gives nothing rather than a wrong code.
    EXPECT_EQ(QrText(std::string(8000, 'x'), true), "");
    EXPECT_EQ(QrSvg(std::string(8000, 'x')), "");
}

TEST(WebProgram, PrintsTheAddressWithAQrCodeAndPrintsWhatTheWebSocketSends) {
    StandInRoot site;
    TempFolder state;
    WebProgram program(site.root.string(), state.Path());
    ASSERT_NE(program.port, 0) << program.url;
    // The address of the page: this server, its port, the token.
    EXPECT_EQ(program.url, std::string("http://") + kServerAddress + ":" + std::to_string(program.port) +
                               "/?t=" + program.token);
    EXPECT_EQ(program.token.size(), 32u);
    // Then the same address as a QR code: square, two module rows to a line,
    // with a light quiet zone all round.
    const std::string full = "\u2588";
    const std::string upper = "\u2580";
    Lines qr = {program.process->ErrLine()};
    std::size_t side = qr[0].size() / full.size();
    ASSERT_GE(side, 21u + 8u);
    while (qr.size() < (side + 1) / 2) {
        qr.push_back(program.process->ErrLine());
    }
    auto repeat = [](const std::string& piece, std::size_t count) {
        std::string row;
        for (std::size_t i = 0; i < count; ++i) {
            row += piece;
        }
        return row;
    };
    EXPECT_EQ(qr[0], repeat(full, side));
    EXPECT_EQ(qr[1], repeat(full, side));
    EXPECT_EQ(qr.back(), repeat(upper, side));  // an odd side: the last line is half a row
    for (std::size_t i = 0; i + 1 < qr.size(); ++i) {
        EXPECT_EQ(qr[i].rfind(repeat(full, 2), 0), 0u) << qr[i];  // the quiet zone on the left
    }
    EXPECT_NE(qr[2], qr[0]);  // the code itself
    // And a phone's reading of it is the address: the drawing as an image
    // (dark where a half block is blank), read by zbar.
    EXPECT_EQ(DecodeQr(qr, state.Path() + "/qr.pbm"), program.url);
    // The same code as an image in the state folder, private as the token is, and on /connect for a
    // browser on this machine, never kept in a cache.
    EXPECT_NE(program.process->ErrLineWith("/connect (in a browser on this machine) and in " + state.Path() +
                                           "/web-qr.svg"),
              "");
    std::ifstream svgFile(state.Path() + "/web-qr.svg");
    std::string svg((std::istreambuf_iterator<char>(svgFile)), std::istreambuf_iterator<char>());
    EXPECT_EQ(DecodeQrSvg(svg, state.Path() + "/file.pbm"), program.url);
    struct stat svgInfo {};
    ASSERT_EQ(stat((state.Path() + "/web-qr.svg").c_str(), &svgInfo), 0);
    EXPECT_EQ(svgInfo.st_mode & 0777, 0600u);
    std::string connect = HttpGet("127.0.0.9", program.port, "/connect");
    EXPECT_EQ(connect.substr(0, 12), "HTTP/1.0 200") << connect.substr(0, 200);
    EXPECT_EQ(HeaderValue(connect, "cache-control"), "no-store");
    EXPECT_EQ(DecodeQrSvg(Body(connect), state.Path() + "/connect.pbm"), program.url);
    EXPECT_NE(Body(connect).find("<a href=\"" + program.url + "\">"), std::string::npos);

    // The file is private to the user.
    struct stat info {};
    ASSERT_EQ(stat((state.Path() + "/web-token").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    auto handheld = program.Handheld();
    ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
    for (const char* write : {"+", ":09601072", ">   0   0> 401 201", "!", "> 402", " 203", "^", "!^!^", "|"}) {
        ASSERT_TRUE(handheld->Send(write));
    }
    EXPECT_EQ(ReadLines(*program.process, 12),
              (Lines{"attach", "extent 960 1072", "position 0 0", "position 401 201", "down", "position 402 203",
                     "up", "down", "up", "down", "up", "right-click"}));
    EXPECT_NE(program.process->ErrLineWith("connected 127.0.0.2:"), "");
    handheld->Close();
    EXPECT_NE(program.process->ErrLineWith("disconnected 127.0.0.2:"), "");
    EXPECT_EQ(program.process->Stop(), 0);
}

TEST(WebProgram, RefusesUpgradesWithoutTheTokenOrFromAForeignPageAndSaysWhy) {
    StandInRoot site;
    TempFolder state;
    WebProgram program(site.root.string(), state.Path());
    ASSERT_NE(program.port, 0) << program.url;
    std::string own = Origin(program.port);
    std::string wrong = program.token;
    wrong[0] = wrong[0] == '0' ? '1' : '0';
    struct Row {
        std::string path;
        std::string origin;
        const char* reason;
        int code;  // the close frame's code that tells the page why; 0: the handshake is refused
    };
    std::vector<Row> rows = {
        Row{"/ws", own, "without the token", kCloseWrongToken},
        Row{"/ws?t=", own, "without the token", kCloseWrongToken},
        Row{"/ws?t=" + wrong, own, "wrong token", kCloseWrongToken},
        Row{"/ws?t=" + program.token.substr(0, 31), own, "wrong token", kCloseWrongToken},
        Row{"/ws?t=" + program.token, "http://evil.example", "Origin 'http://evil.example'", kCloseForeignPage},
        Row{"/ws?t=" + program.token, own + "0", "foreign page", kCloseForeignPage},
        Row{"/ws?t=" + program.token, "", "Origin missing", kCloseForeignPage},
        Row{"/?t=" + program.token, own, "is not /ws", 0}};
    // Each from an address of its own, so that each gets its line.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        std::string source = "127.0.0." + std::to_string(10 + i);
        auto handheld = program.Handheld(row.path, row.origin, source.c_str());
        if (row.code == 0) {
            EXPECT_FALSE(handheld->WaitOpen()) << row.path << " " << row.origin;
        } else {
            // Accepted only to be closed at once, with the code and no data taken.
            handheld->WaitOpen();
            EXPECT_TRUE(handheld->WaitClosedByServer()) << row.path << " " << row.origin;
            EXPECT_EQ(handheld->CloseCode(), row.code) << row.path << " " << row.origin;
            EXPECT_FALSE(handheld->Send("|")) << row.path << " " << row.origin;
        }
        std::string line = program.process->ErrLineWith("refused " + source + ":");
        EXPECT_NE(line.find(row.reason), std::string::npos) << line;
        // The token never reaches the log, right or wrong.
        EXPECT_EQ(line.find(program.token.substr(0, 8)), std::string::npos) << line;
    }
    // The same refusal again from the same address is held back (a page that
    // retries cannot flood the log); another reason is not.
    for (int again = 0; again < 3; ++again) {
        EXPECT_TRUE(program.Handheld("/ws", own, "127.0.0.10")->WaitClosedByServer());
    }
    EXPECT_TRUE(program.Handheld("/ws?t=" + wrong, own, "127.0.0.10")->WaitClosedByServer());
    EXPECT_NE(program.process->ErrLineWith("refused 127.0.0.10:").find("wrong token"), std::string::npos);

    // None of them got near the pointer, and the right one still gets in.
    auto handheld = program.Handheld();
    ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
    ASSERT_TRUE(handheld->Send("|"));
    EXPECT_EQ(ReadLines(*program.process, 1), (Lines{"right-click"}));
    EXPECT_EQ(program.process->Stop(), 0);
}

TEST(WebProgram, RefusesAPeerOutsideAllowBeforeServingAnything) {
    StandInRoot site;
    TempFolder state;
    WebProgram program(site.root.string(), state.Path(), {"--allow", "127.0.0.2/32"});
    ASSERT_NE(program.port, 0) << program.url;
    EXPECT_EQ(HttpGet("127.0.0.4", program.port, "/"), "");
    EXPECT_NE(program.process->ErrLineWith("refused 127.0.0.4:"), "");
    auto stranger = program.Handheld("/ws?t=" + program.token, Origin(program.port), "127.0.0.4");
    EXPECT_FALSE(stranger->WaitOpen());
    // The allowed address is served.
    EXPECT_EQ(HttpGet(kServerAddress, program.port, "/").substr(0, 12), "HTTP/1.0 200");
    auto handheld = program.Handheld();
    ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
    ASSERT_TRUE(handheld->Send("|"));
    EXPECT_EQ(ReadLines(*program.process, 1), (Lines{"right-click"}));
    EXPECT_EQ(program.process->Stop(), 0);
}

TEST(WebProgram, TheTokenSurvivesARestartUntilNewTokenReplacesIt) {
    StandInRoot site;
    TempFolder state;
    std::string first;
    {
        WebProgram program(site.root.string(), state.Path());
        first = program.token;
        ASSERT_EQ(first.size(), 32u);
        auto handheld = program.Handheld();
        ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
        ASSERT_TRUE(handheld->Send("+"));
        EXPECT_EQ(ReadLines(*program.process, 1), (Lines{"attach"}));
        // Stopped mid-session: the WebSocket ends with the server.
        EXPECT_EQ(program.process->Stop(), 0);
        EXPECT_TRUE(handheld->WaitClosedByServer());
    }
    {
        WebProgram program(site.root.string(), state.Path());
        EXPECT_EQ(program.token, first);
        auto handheld = program.Handheld("/ws?t=" + first, Origin(program.port));
        ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
        ASSERT_TRUE(handheld->Send("+"));
        EXPECT_EQ(ReadLines(*program.process, 1), (Lines{"attach"}));
        EXPECT_EQ(program.process->Stop(), 0);
    }
    {
        WebProgram program(site.root.string(), state.Path(), {"--new-token"});
        ASSERT_EQ(program.token.size(), 32u);
        EXPECT_NE(program.token, first);
        auto old = program.Handheld("/ws?t=" + first, Origin(program.port));
        EXPECT_TRUE(old->WaitClosedByServer());
        EXPECT_EQ(old->CloseCode(), kCloseWrongToken);
        EXPECT_NE(program.process->ErrLineWith("wrong token"), "");
        auto handheld = program.Handheld();
        ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
        EXPECT_EQ(program.process->Stop(), 0);
    }
}

TEST(WebProgram, AFloodWhileTheServerIsHeldUpIsHeldBackAndNothingIsLost) {
    StandInRoot site;
    TempFolder state;
    WebProgram program(site.root.string(), state.Path());
    ASSERT_NE(program.port, 0) << program.url;
    auto handheld = program.Handheld();
    ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
    // Nobody reads the server's standard output for now: once its pipe is
    // full the server's loop waits, and the WebSocket must wait with it.
    std::string chunk;
    for (int i = 0; i < 10000; ++i) {
        chunk += "> 100 100";
    }
    std::size_t sent = handheld->Flood(chunk, std::chrono::seconds(3));
    // Unchecked, loopback takes well over a hundred megabytes in that time;
    // held back, it is the queue's megabyte and the sockets' buffers.
    EXPECT_LT(sent * chunk.size(), 32u << 20) << sent;
    EXPECT_GT(sent, 0u);
    // Then, read again, every message arrives, in order, none lost.
    std::size_t positions = 0;
    std::string last;
    std::thread reader([&] {
        for (last = program.process->OutLine(); last == "position 100 100" && positions < sent * 10000;
             last = program.process->OutLine()) {
            ++positions;
        }
        if (last == "position 100 100") {
            ++positions;  // one more than was sent
        }
    });
    EXPECT_TRUE(handheld->Send("|"));
    reader.join();
    EXPECT_EQ(positions, sent * 10000);
    EXPECT_EQ(last, "right-click");
    EXPECT_EQ(program.process->Stop(), 0);
}

TEST(WebProgram, ErrorsAUserCanActOnExitNonZeroAndNameTheFix) {
    StandInRoot site;
    TempFolder state;
    WebProgram running(site.root.string(), state.Path());
    ASSERT_NE(running.port, 0);
    std::string notAFolder = state.Path() + "/web-token";
    struct Row {
        std::vector<std::string> args;
        const char* message;
    };
    for (const Row& row : {Row{{"--web", std::to_string(running.port), "--state-dir", state.Path()},
                               "choose another --web port"},
                           Row{{"--web", "0", "--state-dir", notAFolder}, "--state-dir"},
                           Row{{"--web", "70000"}, "is not a port number"}}) {
        std::vector<std::string> args = {"--print", "--listen", kServerAddress, "--port", "0",
                                         "--web-root", site.root.string()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        ServerProcess failing(args);
        EXPECT_NE(failing.ErrLineWith(row.message), "") << row.args[1];
        EXPECT_NE(failing.Wait(), 0) << row.args[1];
    }
    // A web root without the page is served, with a word about it.
    ServerProcess empty({"--print", "--listen", kServerAddress, "--port", "0", "--web", "0", "--web-root",
                         state.Path(), "--state-dir", state.Path()});
    EXPECT_NE(empty.ErrLineWith("index.html is not there"), "");
    EXPECT_EQ(empty.Stop(), 0);
}

// Reads a program's standard output on a thread of its own, as fast as it
// comes, until its end; keeps the lines that come after Mark().
class OutputReader {
public:
    explicit OutputReader(ServerProcess& process)
        : m_thread([this, &process] {
              for (std::string line = process.OutLine(); !line.empty(); line = process.OutLine()) {
                  while (m_held.load()) {
                      usleep(1000);
                  }
                  ++m_lines;
                  if (m_marked.load()) {
                      std::lock_guard lock(m_mutex);
                      m_after.push_back(line);
                  }
              }
          }) {}
    ~OutputReader() { Join(); }
    std::size_t Count() const { return m_lines.load(); }
    void Mark() { m_marked.store(true); }
    // While held, nothing more is read: the program's pipe fills up.
    void Hold(bool held) { m_held.store(held); }
    Lines After() {
        std::lock_guard lock(m_mutex);
        return m_after;
    }
    void Join() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    std::atomic<std::size_t> m_lines{0};
    std::atomic<bool> m_marked{false};
    std::atomic<bool> m_held{false};
    std::mutex m_mutex;
    Lines m_after;
    std::thread m_thread;
};

// One WebSocket frame as a client writes it: FIN set, masked with a zero key
// (the bytes stay as they are) unless masked is false.
std::string Frame(unsigned char opcode, const std::string& payload, bool masked = true) {
    std::string frame(1, static_cast<char>(0x80 | opcode));
    unsigned char mask = masked ? 0x80 : 0;
    if (payload.size() < 126) {
        frame += static_cast<char>(mask | payload.size());
    } else {
        frame += static_cast<char>(mask | 127);
        for (int shift = 56; shift >= 0; shift -= 8) {
            frame += static_cast<char>((payload.size() >> shift) & 0xff);
        }
    }
    if (masked) {
        frame += std::string(4, '\0');
    }
    return frame + payload;
}

// A WebSocket made by hand over a plain socket: frames are written with
// blocking sends, as fast as the server reads them.
class RawWebSocket : public LoopbackClient {
public:
    RawWebSocket(const char* source, std::uint16_t port, const std::string& token)
        : LoopbackClient(source, kServerAddress, port) {
        Send("GET /ws?t=" + token + " HTTP/1.1\r\nHost: " + kServerAddress + ":" + std::to_string(port) +
             "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
             "Sec-WebSocket-Version: 13\r\nOrigin: " + Origin(port) + "\r\n\r\n");
        response = ReadUntil("\r\n\r\n");
    }
    bool Open() const { return response.rfind("HTTP/1.1 101", 0) == 0; }
    std::string response;
};

// Resident memory of a process in kB.
long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Positions, about a megabyte of them.
std::string MegabyteOfPositions() {
    std::string chunk;
    while (chunk.size() + 9 <= (1u << 20)) {
        chunk += "> 100 100";
    }
    return chunk;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(WebProgram, AStopIsObeyedBetweenMessagesWhateverIsQueued) {
    StandInRoot site;
    TempFolder state;
    // Over a WebSocket and over TCP, a press first and then a stream faster than
    // the output is read.
    for (bool web : {true, false}) {
        SCOPED_TRACE(web ? "WebSocket" : "TCP");
        WebProgram running(site.root.string(), state.Path());
        ASSERT_NE(running.port, 0);
        ServerProcess& process = *running.process;
        OutputReader reader(process);
        std::string chunk = MegabyteOfPositions();
        std::unique_ptr<WebSocketClient> handheld;
        std::unique_ptr<LoopbackClient> client;
        std::jthread sender;  // joined first, on any way out: it stops at the server's end
        if (web) {
            handheld = running.Handheld();
            ASSERT_TRUE(handheld->WaitOpen()) << handheld->Error();
            ASSERT_TRUE(handheld->Send("!"));
            sender = std::jthread([&] { handheld->Flood(chunk, std::chrono::seconds(15)); });
        } else {
            std::uint16_t port = running.tcpPort;
            ASSERT_NE(port, 0);
            client = std::make_unique<LoopbackClient>(kServerAddress, kServerAddress, port);
            ASSERT_TRUE(client->Connected());
            ASSERT_TRUE(client->Send("!"));
            sender = std::jthread([&] {
                for (int i = 0; i < 50 && client->Send(chunk); ++i) {
                }
            });
        }
        // A backlog builds up while the lines are read.
        auto start = std::chrono::steady_clock::now();
        while (reader.Count() < 200000 && SecondsSince(start) < 20) {
            usleep(10000);
        }
        ASSERT_GE(reader.Count(), 200000u);
        // The reader holds back until the program waits for room in the full pipe, so
        // that the signal always lands in that wait (where a stop once lost the release).
        reader.Hold(true);
        for (int last = -1; SecondsSince(start) < 40;) {
            int pending = process.PendingOut();
            if (pending == last && pending > 32768) {
                break;
            }
            last = pending;
            usleep(100000);
        }
        // Frozen, the program writes nothing more: what it wrote is read to the end.
        ASSERT_EQ(kill(process.Pid(), SIGSTOP), 0);
        reader.Hold(false);
        for (std::size_t seen = 0; seen != reader.Count() || process.PendingOut() > 0;) {
            seen = reader.Count();
            usleep(50000);
        }
        reader.Mark();
        kill(process.Pid(), SIGTERM);
        auto stopped = std::chrono::steady_clock::now();
        kill(process.Pid(), SIGCONT);
        // The bound only keeps a broken server from hanging the test.
        int status = process.WaitUpTo(std::chrono::seconds(20));
        double seconds = SecondsSince(stopped);
        if (status != 0) {
            std::string log;
            for (std::string line = process.ErrLine(); !line.empty(); line = process.ErrLine()) {
                log += line + "\n";
            }
            ADD_FAILURE() << "exit status " << status << "\n" << log;
        }
        std::printf("%s: exited %.3f s after the signal, %zu lines printed before it\n", web ? "web" : "tcp",
                    seconds, reader.Count());
        EXPECT_LT(seconds, 1.0);
        reader.Join();
        // Nothing decoded after the signal was obeyed: only the release of the
        // held button, after at most the one line that was being written.
        Lines after = reader.After();
        ASSERT_FALSE(after.empty());
        EXPECT_EQ(after.back(), "connection-end up");
        EXPECT_LE(after.size(), 2u) << after[0];
    }
}

TEST(WebProgram, AFloodOfLargeMessagesKeepsMemoryBoundedAndDecodesAtFullSpeed) {
    StandInRoot site;
    TempFolder state;
    WebProgram program(site.root.string(), state.Path());
    ASSERT_NE(program.port, 0) << program.url;
    ServerProcess& process = *program.process;
    OutputReader reader(process);
    RawWebSocket handheld(kServerAddress, program.port, program.token);
    ASSERT_TRUE(handheld.Open()) << handheld.response;
    ASSERT_TRUE(handheld.Send(Frame(2, "+")));
    auto start = std::chrono::steady_clock::now();
    while (reader.Count() < 1 && SecondsSince(start) < 20) {
        usleep(10000);
    }
    long idle = ResidentKb(process.Pid());
    std::string frame = Frame(2, MegabyteOfPositions());
    std::size_t perChunk = (frame.size() - 14) / 9;
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    // The same path at a sanitizer's pace; its memory and speed are its own.
    constexpr std::size_t kChunks = 20;
    constexpr bool kMeasured = false;
#else
    constexpr std::size_t kChunks = 200;
    constexpr bool kMeasured = true;
#endif
    std::atomic<bool> sent{false};
    std::size_t chunks = 0;
    std::thread sender([&] {
        while (chunks < kChunks && handheld.Send(frame)) {
            ++chunks;
        }
        sent.store(true);
    });
    long peak = idle;
    start = std::chrono::steady_clock::now();
    while (!sent.load()) {
        peak = std::max(peak, ResidentKb(process.Pid()));
        usleep(20000);
    }
    double flooding = SecondsSince(start);
    std::size_t atClose = reader.Count();
    sender.join();
    EXPECT_EQ(chunks, kChunks);
    handheld.Close();
    auto closed = std::chrono::steady_clock::now();
    std::size_t total = 1 + chunks * perChunk;
    while (reader.Count() < total + 1 && SecondsSince(closed) < 20) {
        usleep(1000);
    }
    double draining = SecondsSince(closed);
    ASSERT_EQ(reader.Count(), total + 1);  // and connection-end
    double during = static_cast<double>(atClose) / flooding;
    double after = static_cast<double>(total - atClose) / draining;
    std::printf("RSS idle %ld kB, peak %ld kB; %.0f lines/s while sending (%.2f s), %.0f lines/s after "
                "(%zu lines in %.3f s)\n",
                idle, peak, during, flooding, after, total - atClose, draining);
    if (kMeasured) {
        EXPECT_LT(peak - idle, 10 * 1024);
    }
    // Only where enough was left to measure the rate after the close.
    if (kMeasured && total - atClose > 100000) {
        EXPECT_GT(during, after / 2);
    }
    EXPECT_EQ(process.Stop(), 0);
}

TEST(WebProgram, AFloodOfIdleConnectionsAtALowDescriptorLimitStillLetsHandheldsIn) {
    StandInRoot site;
    TempFolder state;
    WebProgram program(site.root.string(), state.Path(), {}, 64);
    ASSERT_NE(program.port, 0) << program.url;
    ASSERT_NE(program.tcpPort, 0);
    ServerProcess& process = *program.process;
    OutputReader reader(process);
    // One host opens connections to both ports and never sends a byte, more
    // than the limit would hold; half a request on the web port too.
    std::vector<std::unique_ptr<LoopbackClient>> flood;
    for (int i = 0; i < 60; ++i) {
        for (std::uint16_t port : {program.tcpPort, program.port}) {
            flood.push_back(std::make_unique<LoopbackClient>("127.0.0.4", kServerAddress, port));
            ASSERT_TRUE(flood.back()->Connected());
        }
        flood.back()->Send("GET / HTTP/1.1\r\n");
    }
    // A TCP handheld and then a web handheld from other addresses get in.
    LoopbackClient tcp("127.0.0.5", kServerAddress, program.tcpPort);
    ASSERT_TRUE(tcp.Connected());
    ASSERT_TRUE(tcp.Send("|"));
    auto start = std::chrono::steady_clock::now();
    while (reader.Count() < 1 && SecondsSince(start) < 20) {
        usleep(10000);
    }
    EXPECT_EQ(reader.Count(), 1u);
    tcp.Close();
    // Its connection-end comes first, so that it is not taken for the web handheld's.
    while (reader.Count() < 2 && SecondsSince(start) < 20) {
        usleep(10000);
    }
    auto web = program.Handheld(std::string("/ws?t=") + program.token, Origin(program.port), "127.0.0.6");
    ASSERT_TRUE(web->WaitOpen()) << web->Error();
    reader.Mark();
    ASSERT_TRUE(web->Send("|"));
    while (reader.After().empty() && SecondsSince(start) < 20) {
        usleep(10000);
    }
    EXPECT_EQ(reader.After(), (Lines{"right-click"}));
    // The page is still served to a third.
    EXPECT_EQ(HttpGet("127.0.0.7", program.port, "/").substr(0, 12), "HTTP/1.0 200");
    // And the flood left a few lines in the log, not one per connection.
    EXPECT_EQ(process.Stop(), 0);
    int lines = 0;
    std::string all;
    for (std::string line = process.ErrLine(); !line.empty(); line = process.ErrLine()) {
        if (line.rfind("penvale-server: ", 0) == 0) {  // not the QR code's
            ++lines;
            all += line + "\n";
        }
    }
    EXPECT_LE(lines, 12) << all;
    EXPECT_NE(all.find("too many connections"), std::string::npos) << all;
}

}  // namespace
}  // namespace pv::server
