#pragma once
// The browser handheld's WebSockets as a transport of the server's loop: each
// one asks the seat like a TCP connection does, its binary messages are its
// byte stream, and one that the seat no longer knows (replaced, yielded,
// refused) is closed.

#include <cstdint>
#include <string>
#include <unordered_map>

#include "server/HandheldSeat.h"
#include "server/LogLimiter.h"
#include "server/Server.h"
#include "server/WebServer.h"

namespace pv::server {

class WebTransport : public Transport {
public:
    using Log = std::function<void(const std::string& line)>;

    // The web server (started) and the seat must outlive the transport. Log
    // receives the web server's refusals, at most one line per address and
    // reason per kLogInterval.
    WebTransport(WebServer& web, HandheldSeat& seat, Log log);

    SocketHandle WakeFd() const override { return m_web.WakeFd(); }
    void Service() override;
    void Sync() override;
    void EndAll(const std::string& reason) override;

private:
    WebServer& m_web;
    HandheldSeat& m_seat;
    Log m_log;
    LogLimiter m_refusals;
    // Every open WebSocket (the web server caps them): its seat id.
    std::unordered_map<std::uint64_t, HandheldSeat::Id> m_sockets;
};

}  // namespace pv::server
