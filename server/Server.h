#pragma once
// The TCP transport: listens for the handheld and hands each connection's
// bytes to the seat, which keeps to one handheld at a time.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "server/HandheldSeat.h"
#include "server/LogLimiter.h"
#include "server/Platform.h"

namespace pv::server {

// Another transport served on the same loop as the TCP one (the browser
// handheld's WebSocket), so that the seat is only ever used from this thread.
class Transport {
public:
    virtual ~Transport() = default;
    // Polled with the loop's own descriptors; Service() runs when it is readable.
    virtual SocketHandle WakeFd() const = 0;
    virtual void Service() = 0;
    // After every turn of the loop: ends a connection that lost the seat.
    virtual void Sync() = 0;
    // The loop is stopping: ends the connection that holds the seat.
    virtual void EndAll(const std::string& reason) = 0;
};

class Server {
public:
    using Log = std::function<void(const std::string& line)>;
    using Clock = std::chrono::steady_clock;

    // The seat must outlive the server. Log receives listening errors.
    Server(HandheldSeat& seat, Log log);

    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens. Returns an empty string, or an error that names the fix.
    std::string Listen(std::uint32_t address, std::uint16_t port);
    std::uint16_t Port() const { return m_port; }

    // Serves another transport's connections too; it must outlive Run().
    void AddTransport(Transport& transport) { m_transport = &transport; }

    // Serves until Stop(); ends the current connection (its held button is
    // released) before it returns.
    void Run();
    // Safe from another thread and from a signal handler.
    void Stop();

private:
    void Accept();
    enum class ReadResult { Data, Empty, Ended, Closed };
    // Reads once from the connection; Ended sets reason, Closed means the seat
    // has already ended it.
    ReadResult Read(std::string& reason);
    void EndConnection(const std::string& reason);
    int Timeout() const;

    HandheldSeat& m_seat;
    Log m_log;
    UniqueSocket m_listen;
    UniqueSocket m_conn;
    HandheldSeat::Id m_connId = 0;
    Wakeup m_wake;
    std::atomic<bool> m_stop{false};
    std::uint16_t m_port = 0;
    // After accept fails for want of a descriptor or memory, the listener rests:
    // the pending connection stays queued and would wake the loop at once again.
    Clock::duration m_acceptBackoff{0};
    Clock::time_point m_acceptResume{};
    LogLimiter m_acceptLog;
    Transport* m_transport = nullptr;
};

}  // namespace pv::server
