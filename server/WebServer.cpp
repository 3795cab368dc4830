#include "server/WebServer.h"

#include "server/LogLimiter.h"
#include "server/Output.h"
#include "server/Platform.h"

#include <libwebsockets.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

namespace pv::server {

namespace {

// Bytes received but not yet taken by the server's loop, beyond which the
// WebSockets stop reading until it takes them: a loop held up (a full
// standard output under --print) must not make the queue grow without bound.
constexpr std::size_t kQueueLimit = 1 << 20;

// What lws keeps for each connection (zeroed by lws).
struct Session {
    std::uint64_t id;  // 0 until the WebSocket is admitted
    bool closeRequested;
    WebRefusal refusal;  // accepted only to be closed at once with the reason
    bool connectPage;    // an HTTP request for /connect whose body is due
};

// Refusals a page of ours may meet and must be told about: the upgrade is
// accepted and closed at once with a code, as a refused handshake reaches the
// page's script with no reason at all.
int TellableCloseCode(WebRefusal why) {
    switch (why) {
    case WebRefusal::NoToken:
    case WebRefusal::WrongToken:
        return kCloseWrongToken;
    case WebRefusal::Origin:
        return kCloseForeignPage;
    default:
        return 0;
    }
}

std::string Header(lws* wsi, lws_token_indexes token) {
    int length = lws_hdr_total_length(wsi, token);
    if (length <= 0 || length > 4096) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    if (lws_hdr_copy(wsi, text.data(), length + 1, token) < 0) {
        return {};
    }
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// Compares in time that does not depend on where the first difference is.
bool SameSecret(const std::string& a, const std::string& b) {
    return a.size() == b.size() && lws_timingsafe_bcmp(a.data(), b.data(), static_cast<std::uint32_t>(a.size())) == 0;
}

// Printable and bounded, for a log line: the text came from a stranger.
std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text.substr(0, 80)) {
        out += c >= 0x20 && c < 0x7f ? c : '?';
    }
    return out + (text.size() > 80 ? "...'" : "'");
}

int Callback(lws* wsi, lws_callback_reasons reason, void* user, void* in, std::size_t len);

const lws_protocols kProtocols[] = {
    // No subprotocol: the page opens the WebSocket without one, which binds it
    // to the first protocol, the same that serves the files.
    {"penvale", Callback, sizeof(Session), 4096, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

// With the pen's samples taken: a page that offers the pen's subprotocol first
// gets it, and so learns that it may send them. Without, the same page's second
// offer, "penvale", is chosen and its pen drives the gestures.
const lws_protocols kPenProtocols[] = {
    {"penvale", Callback, sizeof(Session), 4096, 0, nullptr, 0},
    {kPenSubprotocol, Callback, sizeof(Session), 4096, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

}  // namespace

struct WebServer::Shared {
    WebConfig config;
    AllowList allow{std::vector<Ipv4Range>{}};
    std::uint16_t port = 0;
    const Wakeup* wake = nullptr;

    std::mutex mutex;  // guards events, queuedBytes, holding, resume and closeRequests
    std::deque<WebEvent> events;
    // Bytes received and not yet decoded: waiting in events or taken by the
    // loop and not yet processed.
    std::size_t queuedBytes = 0;
    bool holding = false;  // sockets were paused for the bound
    bool resume = false;  // the loop has worked below the bound: paused sockets may read again
    std::vector<std::pair<std::uint64_t, std::string>> closeRequests;
    std::map<std::uint64_t, int> closeCodes;  // requested codes other than kCloseRefused
    std::string connectPage;

    // Service thread only.
    std::unordered_map<lws*, std::uint32_t> peers;  // every connection's address
    std::unordered_map<std::uint32_t, std::size_t> perAddress;
    std::uint64_t nextId = 1;
    std::map<std::uint64_t, lws*> sockets;
    std::map<std::uint64_t, std::string> closeReasons;
    std::set<std::uint64_t> paused;

    // The files served: the root with every link followed, and the library's own open.
    std::string realRoot;
    lws_fop_fd_t (*openFile)(const lws_plat_file_ops*, const char*, const char*, lws_fop_flags_t*) = nullptr;

    // The mount and its MIME types must outlive the context.
    lws_protocol_vhost_options mimeWasm{};
    lws_protocol_vhost_options mimeManifest{};
    lws_protocol_vhost_options mimeHtm{};
    lws_http_mount mount{};
    lws_http_mount connectMount{};
    lws_protocol_vhost_options noReferrer{};
    lws_protocol_vhost_options noSniff{};

    // Returns whether the queue is full.
    bool Post(WebEvent event) {
        bool full = false;
        {
            std::lock_guard lock(mutex);
            if (event.kind == WebEvent::Kind::Data) {
                queuedBytes += event.text.size();
            }
            full = queuedBytes >= kQueueLimit;
            holding = holding || full;
            events.push_back(std::move(event));
        }
        wake->Signal();
        return full;
    }

    void Refuse(const sockaddr_in& peer, WebRefusal why, const std::string& text) {
        WebEvent event{WebEvent::Kind::Refused, 0, ntohl(peer.sin_addr.s_addr), net::AddressText(peer),
                       "refused " + net::AddressText(peer) + " (web): " + text};
        event.refusal = why;
        Post(std::move(event));
    }

    // Why an upgrade may not become the handheld, or empty text when it may.
    std::pair<WebRefusal, std::string> CheckUpgrade(lws* wsi) {
        if (Header(wsi, WSI_TOKEN_GET_URI) != "/ws") {
            return {WebRefusal::Path, "WebSocket path " + Quoted(Header(wsi, WSI_TOKEN_GET_URI)) + " is not /ws"};
        }
        char buffer[256];
        const char* token = lws_get_urlarg_by_name(wsi, "t=", buffer, sizeof buffer);
        if (token == nullptr || *token == '\0') {
            return {WebRefusal::NoToken,
                    "WebSocket without the token (open the page from the address the server printed)"};
        }
        if (!SameSecret(token, config.token)) {
            return {WebRefusal::WrongToken,
                    "WebSocket with a wrong token (an old bookmark after --new-token? open the printed address)"};
        }
        // The page's own origin is this server at the address the peer reached:
        // any other page in the phone's browser has another one.
        sockaddr_in local{};
        if (!net::Address(lws_get_socket_fd(wsi), false, local)) {
            return {WebRefusal::Origin, "WebSocket on a socket without an IPv4 address"};
        }
        std::string expected = "http://" + FormatIpv4Address(ntohl(local.sin_addr.s_addr));
        if (port != 80) {
            expected += ":" + std::to_string(port);
        }
        std::string origin = Header(wsi, WSI_TOKEN_ORIGIN);
        if (origin != expected) {
            return {WebRefusal::Origin, "WebSocket from a foreign page: Origin " +
                                            (origin.empty() ? "missing" : Quoted(origin)) + ", expected " +
                                            Quoted(expected)};
        }
        return {};
    }
};

bool SameMachine(std::uint32_t peer, std::uint32_t local) {
    return (peer >> 24) == 127 || peer == local;
}

namespace {

// /connect: the address and code of the page, for a browser on the desktop
// only. Any other peer gets a refusal that says where to open it.
std::string ConnectPage(WebServer::Shared& shared) {
    std::lock_guard lock(shared.mutex);
    return shared.connectPage;
}

int ServeConnectPage(lws* wsi, WebServer::Shared& shared, Session& session) {
    sockaddr_in peer{};
    sockaddr_in local{};
    SocketHandle fd = lws_get_socket_fd(wsi);
    std::string page = ConnectPage(shared);
    if (!net::Address(fd, true, peer) || !net::Address(fd, false, local) ||
        !SameMachine(ntohl(peer.sin_addr.s_addr), ntohl(local.sin_addr.s_addr)) || page.empty()) {
        lws_return_http_status(wsi, HTTP_STATUS_FORBIDDEN,
                               "This page is shown on the desktop itself only: open it in a browser there.");
        return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
    }
    unsigned char buffer[LWS_PRE + 1024];
    unsigned char* start = buffer + LWS_PRE;
    unsigned char* p = start;
    unsigned char* end = buffer + sizeof buffer - 1;
    static const char kNoStore[] = "no-store";
    if (lws_add_http_common_headers(wsi, HTTP_STATUS_OK, "text/html", page.size(), &p, end) ||
        lws_add_http_header_by_name(wsi, reinterpret_cast<const unsigned char*>("cache-control:"),
                                    reinterpret_cast<const unsigned char*>(kNoStore), sizeof kNoStore - 1, &p,
                                    end) ||
        lws_finalize_write_http_header(wsi, start, &p, end)) {
        return -1;
    }
    session.connectPage = true;
    lws_callback_on_writable(wsi);
    return 0;
}

// The close frame goes out when the socket can take it; a peer that reads
// nothing is cut off after a few seconds all the same.
void RequestClose(lws* wsi, Session& session) {
    session.closeRequested = true;
    lws_callback_on_writable(wsi);
    lws_set_timeout(wsi, PENDING_TIMEOUT_CLOSE_SEND, 5);
}

int Callback(lws* wsi, lws_callback_reasons reason, void* user, void* in, std::size_t len) {
    auto* shared = static_cast<WebServer::Shared*>(lws_context_user(lws_get_context(wsi)));
    auto* session = static_cast<Session*>(user);
    switch (reason) {
    case LWS_CALLBACK_FILTER_NETWORK_CONNECTION: {
        // Before a byte of the peer is read, exactly as for a TCP handheld.
        sockaddr_in peer{};
        auto fd = static_cast<SocketHandle>(reinterpret_cast<std::intptr_t>(in));
        if (!net::Address(fd, true, peer) || !shared->allow.Allows(ntohl(peer.sin_addr.s_addr))) {
            shared->Refuse(peer, WebRefusal::Peer, "not in the allowed ranges (add it with --allow)");
            return -1;
        }
        // A flood from one host, or from many, cannot take every descriptor:
        // a handheld from another address still gets in.
        auto found = shared->perAddress.find(ntohl(peer.sin_addr.s_addr));
        std::size_t fromPeer = found != shared->perAddress.end() ? found->second : 0;
        if (fromPeer >= shared->config.maxPerAddress || shared->peers.size() >= shared->config.maxConnections) {
            shared->Refuse(peer, WebRefusal::Crowded,
                           "too many connections (" + std::to_string(fromPeer) + " from it, " +
                               std::to_string(shared->peers.size()) + " in all)");
            return -1;
        }
        return 0;
    }
    case LWS_CALLBACK_SERVER_NEW_CLIENT_INSTANTIATED: {
        sockaddr_in peer{};
        if (net::Address(lws_get_socket_fd(wsi), true, peer)) {
            std::uint32_t address = ntohl(peer.sin_addr.s_addr);
            shared->peers[wsi] = address;
            ++shared->perAddress[address];
        }
        return 0;
    }
    case LWS_CALLBACK_WSI_DESTROY:
        if (auto found = shared->peers.find(wsi); found != shared->peers.end()) {
            if (--shared->perAddress[found->second] == 0) {
                shared->perAddress.erase(found->second);
            }
            shared->peers.erase(found);
        }
        return 0;
    case LWS_CALLBACK_HTTP_CONFIRM_UPGRADE:
        // HTTP/1.1 and its WebSocket only: no h2c, whose streams would bypass
        // the checks made on an HTTP/1.1 upgrade.
        if (in == nullptr || std::strcmp(static_cast<const char*>(in), "websocket") != 0) {
            sockaddr_in peer{};
            net::Address(lws_get_socket_fd(wsi), true, peer);
            shared->Refuse(peer, WebRefusal::Protocol,
                           "upgrade to " + Quoted(in != nullptr ? static_cast<const char*>(in) : "") +
                               " (only HTTP/1.1 and its WebSocket are served)");
            return -1;
        }
        return 0;
    case LWS_CALLBACK_FILTER_PROTOCOL_CONNECTION: {
        auto [why, text] = shared->CheckUpgrade(wsi);
        if (!text.empty()) {
            sockaddr_in peer{};
            net::Address(lws_get_socket_fd(wsi), true, peer);
            shared->Refuse(peer, why, text);
            if (TellableCloseCode(why) != 0 && session != nullptr) {
                session->refusal = why;
                return 0;
            }
            return -1;
        }
        return 0;
    }
    case LWS_CALLBACK_ESTABLISHED: {
        if (session->refusal != WebRefusal::None) {
            // Never admitted: no id, no event; only the close frame goes out.
            RequestClose(wsi, *session);
            return 0;
        }
        sockaddr_in peer{};
        net::Address(lws_get_socket_fd(wsi), true, peer);
        session->id = shared->nextId++;
        shared->sockets[session->id] = wsi;
        shared->Post({WebEvent::Kind::Open, session->id, ntohl(peer.sin_addr.s_addr), net::AddressText(peer), {}});
        return 0;
    }
    case LWS_CALLBACK_RECEIVE:
        if (session->closeRequested) {
            return 0;
        }
        if (!lws_frame_is_binary(wsi)) {
            shared->closeReasons[session->id] = "a text message (the handheld sends binary ones)";
            RequestClose(wsi, *session);
            return 0;
        }
        if (len > 0 &&
            shared->Post({WebEvent::Kind::Data, session->id, 0, {}, std::string(static_cast<char*>(in), len)})) {
            lws_rx_flow_control(wsi, 0);
            shared->paused.insert(session->id);
        }
        return 0;
    case LWS_CALLBACK_HTTP:
        if (Header(wsi, WSI_TOKEN_GET_URI).rfind("/connect", 0) == 0) {
            if (session == nullptr) {
                return -1;
            }
            return ServeConnectPage(wsi, *shared, *session);
        }
        return lws_callback_http_dummy(wsi, reason, user, in, len);
    case LWS_CALLBACK_HTTP_WRITEABLE:
        if (session != nullptr && session->connectPage) {
            session->connectPage = false;
            const std::string page = ConnectPage(*shared);
            std::vector<unsigned char> body(LWS_PRE + page.size());
            std::copy(page.begin(), page.end(), body.begin() + LWS_PRE);
            if (lws_write(wsi, body.data() + LWS_PRE, page.size(), LWS_WRITE_HTTP_FINAL) !=
                static_cast<int>(page.size())) {
                return -1;
            }
            return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
        }
        return lws_callback_http_dummy(wsi, reason, user, in, len);
    case LWS_CALLBACK_EVENT_WAIT_CANCELLED: {
        std::vector<std::pair<std::uint64_t, std::string>> requests;
        bool resume = false;
        {
            std::lock_guard lock(shared->mutex);
            requests.swap(shared->closeRequests);
            std::swap(resume, shared->resume);
        }
        if (resume) {
            for (std::uint64_t id : shared->paused) {
                if (auto found = shared->sockets.find(id); found != shared->sockets.end()) {
                    lws_rx_flow_control(found->second, 1);
                }
            }
            shared->paused.clear();
        }
        for (auto& [id, why] : requests) {
            auto found = shared->sockets.find(id);
            if (found != shared->sockets.end()) {
                shared->closeReasons[id] = why;
                RequestClose(found->second, *static_cast<Session*>(lws_wsi_user(found->second)));
            } else {
                std::lock_guard lock(shared->mutex);
                shared->closeCodes.erase(id);
            }
        }
        return 0;
    }
    case LWS_CALLBACK_SERVER_WRITEABLE:
        if (session->closeRequested && session->refusal != WebRefusal::None) {
            const char* why = session->refusal == WebRefusal::Origin ? "foreign page" : "wrong token";
            lws_close_reason(wsi, static_cast<lws_close_status>(TellableCloseCode(session->refusal)),
                             reinterpret_cast<unsigned char*>(const_cast<char*>(why)), std::strlen(why));
            return -1;
        }
        if (session->closeRequested) {
            // The server never sends data: writing is only ever the close.
            std::string why = shared->closeReasons[session->id].substr(0, 120);
            int code = LWS_CLOSE_STATUS_POLICY_VIOLATION;
            {
                std::lock_guard lock(shared->mutex);
                if (auto found = shared->closeCodes.find(session->id); found != shared->closeCodes.end()) {
                    code = found->second;
                    shared->closeCodes.erase(found);
                }
            }
            lws_close_reason(wsi, static_cast<lws_close_status>(code),
                             reinterpret_cast<unsigned char*>(why.data()), why.size());
            return -1;
        }
        return 0;
    case LWS_CALLBACK_CLOSED: {
        if (session->id == 0) {
            return 0;  // refused before it became a WebSocket
        }
        std::string why = "closed by the handheld";
        if (auto found = shared->closeReasons.find(session->id); found != shared->closeReasons.end()) {
            why = found->second;
            shared->closeReasons.erase(found);
        }
        shared->sockets.erase(session->id);
        shared->paused.erase(session->id);
        {
            std::lock_guard lock(shared->mutex);
            shared->closeCodes.erase(session->id);
        }
        shared->Post({WebEvent::Kind::Closed, session->id, 0, {}, why});
        return 0;
    }
    default:
        return lws_callback_http_dummy(wsi, reason, user, in, len);
    }
}

// Which web server's files an open is for: the library hands its open only
// the file operations, one set per context.
std::mutex g_filesMutex;
std::map<const lws_plat_file_ops*, WebServer::Shared*> g_files;

// Opens a file of the mount only when it lies inside the root once every link
// is followed: a link in the web root to elsewhere is not found (404).
lws_fop_fd_t OpenInsideRoot(const lws_plat_file_ops* fops, const char* filename, const char* vpath,
                            lws_fop_flags_t* flags) {
    WebServer::Shared* shared = nullptr;
    {
        std::lock_guard lock(g_filesMutex);
        auto found = g_files.find(fops);
        shared = found != g_files.end() ? found->second : nullptr;
    }
    std::error_code error;
    std::string resolved = shared != nullptr ? std::filesystem::canonical(filename, error).string() : std::string();
    if (shared == nullptr || error || resolved.rfind(shared->realRoot + kPathSeparator, 0) != 0) {
        return nullptr;
    }
    // Its gzip copy instead when the browser takes gzip, the copy lies inside the
    // root too and is at least as new (a stale one is never served).
    if ((*flags & LWS_FOP_FLAG_COMPR_ACCEPTABLE_GZIP) != 0) {
        std::string packed = std::filesystem::canonical(resolved + ".gz", error).string();
        auto plainTime = std::filesystem::last_write_time(resolved, error);
        auto packedTime = error ? plainTime : std::filesystem::last_write_time(packed, error);
        lws_fop_flags_t opened = *flags;
        lws_fop_fd_t fd = nullptr;
        if (!error && packed.rfind(shared->realRoot + kPathSeparator, 0) == 0 && packedTime >= plainTime &&
            (fd = shared->openFile(fops, packed.c_str(), vpath, &opened)) != nullptr) {
            *flags = opened | LWS_FOP_FLAG_COMPR_IS_GZIP;
            fd->flags |= LWS_FOP_FLAG_COMPR_IS_GZIP;
            return fd;
        }
    }
    return shared->openFile(fops, resolved.c_str(), vpath, flags);
}

// Set while a web server stops: its thread must not stay blocked on a full
// standard error that nobody reads.
std::atomic<bool> g_stopping{false};

// Set by the library's line about a failed accept; the service thread then
// takes the waiting connection out of the queue with its reserve descriptor.
std::atomic<bool> g_acceptFailed{false};

// A flood must not flood the log through the library either: one line per
// kind (the text without its numbers) per interval, with a count of the others.
void LogFromLibrary(int level, const char* line) {
    if ((level & LLL_ERR) == 0) {
        return;
    }
    std::string text = line;
    if (text.find("accept") != std::string::npos) {
        g_acceptFailed.store(true);
    }
    std::string kind;
    for (char c : text) {
        if (c < '0' || c > '9') {
            kind += c;
        }
    }
    static std::mutex mutex;
    static LogLimiter limiter;
    std::optional<long> held;
    {
        std::lock_guard lock(mutex);
        held = limiter.Pass(std::hash<std::string>{}(kind));
    }
    if (!held) {
        return;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    if (*held > 0) {
        text += " (and " + std::to_string(*held) + " more such lines since the last)";
    }
    WriteAll(STDERR_FILENO, "penvale-server: web: " + text + "\n", g_stopping);
}

}  // namespace

std::string InstalledWebRoot() {
    if (std::string folder = ProgramFolder(); !folder.empty()) {
        // Beside the program on Windows; under its prefix elsewhere; the build tree's bundle.
        for (const char* candidate : {"/web", "/../share/penvale/web", "/../web-bundle"}) {
            std::error_code error;
            std::filesystem::path root = std::filesystem::canonical(folder + candidate, error);
            if (!error && std::filesystem::is_regular_file(root / "index.html", error)) {
                return root.string();
            }
        }
#ifdef _WIN32
        return folder + "\\web";
#endif
    }
    return PENVALE_WEB_ROOT;
}

WebServer::WebServer(AllowList allow) : m_allow(std::move(allow)) {}

WebServer::~WebServer() {
    Stop();
}

std::string WebServer::Start(const WebConfig& config) {
    std::string where = FormatIpv4Address(config.address) + ":" + std::to_string(config.port);
    // Made here, not with the object: a server without --web spends no descriptor on it.
    m_wake = std::make_unique<Wakeup>();
    if (!m_wake->Valid()) {
        return "cannot make the web server's wake-up: " + ErrorText(errno);
    }
    m_shared = std::make_unique<Shared>();
    Shared& shared = *m_shared;
    shared.config = config;
    shared.allow = m_allow;
    shared.wake = m_wake.get();

    // lws knows most types; these it does not, or names otherwise.
    shared.mimeWasm = {nullptr, nullptr, ".wasm", "application/wasm"};
    shared.mimeManifest = {&shared.mimeWasm, nullptr, ".webmanifest", "application/manifest+json"};
    shared.mimeHtm = {&shared.mimeManifest, nullptr, ".htm", "text/html"};
    // The page's address holds the token: no link it follows may pass it on.
    shared.noReferrer = {nullptr, nullptr, "referrer-policy:", "no-referrer"};
    shared.noSniff = {&shared.noReferrer, nullptr, "x-content-type-options:", "nosniff"};
    shared.mount.mountpoint = "/";
    shared.mount.mountpoint_len = 1;
    shared.mount.origin = shared.config.root.c_str();
    shared.mount.def = "index.html";
    shared.mount.origin_protocol = LWSMPRO_FILE;
    shared.mount.extra_mimetypes = &shared.mimeHtm;
    // The browser keeps what it loaded and asks whether it is still current
    // (lws's ETag, of the size and the time) once its second is up: an unchanged
    // page costs a 304, not its bytes.
    shared.mount.cache_reusable = 1;
    shared.mount.cache_revalidate = 1;
    shared.mount.cache_max_age = 1;
    shared.connectMount.mountpoint = "/connect";
    shared.connectMount.mountpoint_len = 8;
    shared.connectMount.origin = kProtocols[0].name;
    shared.connectMount.origin_protocol = LWSMPRO_CALLBACK;
    shared.connectMount.mount_next = &shared.mount;

    g_stopping.store(false);
    lws_set_log_level(LLL_ERR, LogFromLibrary);
    m_reserve = std::make_unique<DescriptorReserve>();
    lws_context_creation_info info{};
    std::string address = FormatIpv4Address(config.address);
    info.iface = config.address == 0 ? nullptr : address.c_str();
    info.port = config.port;
    info.protocols = config.pen ? kPenProtocols : kProtocols;
    info.mounts = &shared.connectMount;
    info.headers = &shared.noSniff;
    info.user = &shared;
    info.options = LWS_SERVER_OPTION_DISABLE_IPV6;
    info.ka_time = net::kKeepIdle;
    info.ka_interval = net::kKeepInterval;
    info.ka_probes = net::kKeepCount;
    info.server_string = "penvale-server";
    // Room for the connections allowed, the listener and the library's own
    // wake-up: beyond it lws stops accepting rather than failing.
    info.fd_limit_per_thread = static_cast<unsigned int>(config.maxConnections + 8);
    m_context = lws_create_context(&info);
    if (m_context == nullptr) {
        return "cannot serve the web page on " + where +
               ": the port is in use, or the address is not one of this machine's (choose another --web port, "
               "check --listen)";
    }
    lws_vhost* vhost = lws_get_vhost_by_name(m_context, "default");
    int port = vhost != nullptr ? lws_get_vhost_listen_port(vhost) : -1;
    if (port <= 0 || port > 65535) {
        lws_context_destroy(m_context);
        m_context = nullptr;
        return "cannot serve the web page on " + where + ": no listening socket";
    }
    m_port = static_cast<std::uint16_t>(port);
    shared.port = m_port;
    std::error_code error;
    shared.realRoot = std::filesystem::canonical(config.root, error).string();
    if (error) {
        shared.realRoot = config.root;
    }
    if (lws_plat_file_ops* fops = lws_get_fops(m_context); fops != nullptr) {
        std::lock_guard lock(g_filesMutex);
        shared.openFile = fops->LWS_FOP_OPEN;
        fops->LWS_FOP_OPEN = OpenInsideRoot;
        g_files[fops] = &shared;
    }
    SocketHandle listening = ListeningSocket(m_port);
    m_thread = std::thread([this, listening] {
        while (!m_stop.load()) {
            if (lws_service(m_context, 0) < 0) {
                break;
            }
            if (g_acceptFailed.exchange(false) && listening != kNoSocket) {
                // Out of descriptors: the waiting connection would wake the
                // poll at once again. The reserve takes it and closes it.
                if (!m_reserve->DropWaiting(listening)) {
                    // Not even that: rest a moment rather than spin.
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
            }
        }
    });
    return {};
}

std::vector<WebEvent> WebServer::TakeEvents() {
    if (m_wake) {
        m_wake->Drain();
    }
    std::vector<WebEvent> taken;
    if (m_shared != nullptr) {
        std::lock_guard lock(m_shared->mutex);
        taken.assign(std::make_move_iterator(m_shared->events.begin()),
                     std::make_move_iterator(m_shared->events.end()));
        m_shared->events.clear();
    }
    for (const WebEvent& event : taken) {
        m_taken += event.kind == WebEvent::Kind::Data ? event.text.size() : 0;
    }
    return taken;
}

void WebServer::SetConnectPage(std::string html) {
    if (m_shared != nullptr) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->connectPage = std::move(html);
    }
}

void WebServer::Processed() {
    bool resume = false;
    if (m_shared != nullptr) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->queuedBytes -= m_taken;
        if (m_shared->holding && m_shared->queuedBytes < kQueueLimit) {
            m_shared->holding = false;
            m_shared->resume = resume = true;
        }
    }
    m_taken = 0;
    if (resume && m_context != nullptr) {
        lws_cancel_service(m_context);
    }
}

void WebServer::Close(std::uint64_t id, const std::string& reason, int code) {
    if (m_context == nullptr) {
        return;
    }
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->closeRequests.emplace_back(id, reason);
        if (code != kCloseRefused) {
            m_shared->closeCodes[id] = code;
        }
    }
    lws_cancel_service(m_context);
}

void WebServer::Stop() {
    if (m_context == nullptr) {
        return;
    }
    m_stop.store(true);
    g_stopping.store(true);
    lws_cancel_service(m_context);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    {
        std::lock_guard lock(g_filesMutex);
        g_files.erase(lws_get_fops(m_context));
    }
    lws_context_destroy(m_context);
    m_context = nullptr;
}

}  // namespace pv::server
