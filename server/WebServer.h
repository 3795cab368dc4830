#pragma once
// The browser handheld's way in: serves the page from the web root and accepts
// its WebSocket, on libwebsockets' own service thread.
//
// That thread only admits, refuses and carries bytes. What it sees reaches the
// server's loop as events through a queue whose wake-up descriptor the loop
// polls, so the one-handheld rule, the decoder, the pointer and the log stay on
// that loop's thread; the loop answers with Close().

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/AllowList.h"
#include "server/Platform.h"

struct lws_context;
struct lws_vhost;

namespace pv::server {

struct WebConfig {
    std::uint32_t address = 0;  // host byte order; 0 is every IPv4 address
    std::uint16_t port = 0;     // 0 picks a free one
    std::string root;           // the folder whose files are served
    std::string token;          // what the WebSocket upgrade must carry as ?t=
    bool pen = false;           // the pen's subprotocol is chosen when the page offers it
    // Connections (pages, WebSockets) open at most, in all and from one address.
    std::size_t maxConnections = 256;
    std::size_t maxPerAddress = 16;
};

// Whether a peer that reached local is this machine: a loopback address, or
// the very address it reached (a browser on the desktop opening its LAN address).
bool SameMachine(std::uint32_t peer, std::uint32_t local);

// The WebSocket subprotocol by which the page and the server agree that the
// page sends the pen's samples.
inline constexpr char kPenSubprotocol[] = "penvale-pen";

// Why the web server turned a peer or an upgrade away.
enum class WebRefusal { None, Peer, Path, NoToken, WrongToken, Origin, Crowded, Protocol };

// Close codes that tell the page why it was turned away, so that it can say so
// in words (the close reason carries details: the holder's address for kCloseBusy).
inline constexpr int kCloseRefused = 1008;      // policy: any other reason
inline constexpr int kCloseWrongToken = 4001;   // no token, or not this server's (an old one)
inline constexpr int kCloseForeignPage = 4002;  // the page was not opened at this server's address
inline constexpr int kCloseBusy = 4003;         // another handheld holds the desktop

struct WebEvent {
    enum class Kind {
        Open,     // a WebSocket was admitted: id, peer, peerName
        Data,     // bytes of one binary message (or a part of a long one)
        Closed,   // the WebSocket ended: text says why
        Refused,  // a peer or an upgrade was refused (id 0): peer, and text for the log
    };
    Kind kind = Kind::Open;
    std::uint64_t id = 0;
    std::uint32_t peer = 0;  // host byte order
    std::string peerName;    // "a.b.c.d:port"
    std::string text;        // Data: the bytes; Closed, Refused: the reason
    WebRefusal refusal = WebRefusal::None;
};

// The page installed with the program: <prefix>/share/penvale/web beside the
// program's bin folder, else the build tree's bundle beside the server's build
// folder, else the folder named at build time.
std::string InstalledWebRoot();

class WebServer {
public:
    explicit WebServer(AllowList allow);
    ~WebServer();

    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds, then serves on its own thread. Returns an empty string, or an
    // error that names the fix.
    std::string Start(const WebConfig& config);
    std::uint16_t Port() const { return m_port; }

    // Readable while events wait; the loop then calls TakeEvents(), deals
    // with them and calls Processed(). While more than a bound of received
    // bytes waits or is being dealt with, the WebSockets are not read.
    SocketHandle WakeFd() const { return m_wake ? m_wake->PollHandle() : kNoSocket; }
    std::vector<WebEvent> TakeEvents();
    void Processed();

    // The HTML served at /connect, to this machine only (it holds the token);
    // until it is set, /connect is refused. Safe from any thread.
    void SetConnectPage(std::string html);

    // Ends a WebSocket (safe from any thread; an id already gone is ignored)
    // with a close frame of code and reason.
    void Close(std::uint64_t id, const std::string& reason, int code = kCloseRefused);

    // Ends every connection and the service thread. Idempotent.
    void Stop();

    // What the service thread's callback needs; public for that callback only.
    struct Shared;

private:
    AllowList m_allow;
    std::uint16_t m_port = 0;
    std::size_t m_taken = 0;  // data bytes of the events the loop took last
    std::unique_ptr<Wakeup> m_wake;
    // Declared before the context so that it outlives the context's destruction.
    std::unique_ptr<Shared> m_shared;
    lws_context* m_context = nullptr;
    std::unique_ptr<DescriptorReserve> m_reserve;  // for the service thread's accept of last resort
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

}  // namespace pv::server
