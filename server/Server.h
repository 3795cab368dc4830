#pragma once
// The TCP transport: listens for the handheld and hands each connection's
// bytes to the seat, which keeps to one handheld at a time.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
    // After every turn of the loop: ends the connections that the seat no
    // longer knows (replaced, yielded, refused).
    virtual void Sync() = 0;
    // The loop is stopping: ends every connection.
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

    // Connections kept open at most, in all and from one address: beyond them
    // the oldest one from the address with the most that holds no seat is closed.
    void SetConnectionLimits(std::size_t total, std::size_t perAddress);

    // Serves until Stop(); ends every connection (a held button is released)
    // before it returns. A stop is obeyed between messages: nothing decoded
    // after it reaches the pointer.
    void Run();
    // Safe from another thread and from a signal handler.
    void Stop();

private:
    struct Connection {
        UniqueSocket fd;
        HandheldSeat::Id id = 0;
        std::uint32_t address = 0;
    };
    void Accept();
    // Makes room for one more connection from address; false when there is none.
    bool MakeRoom(std::uint32_t address);
    enum class ReadResult { Data, Empty, Ended, Closed };
    // Reads once from the connection; Ended sets reason, Closed means the seat
    // has already ended it.
    ReadResult Read(Connection& connection, std::string& reason);
    // Reads what the connection still holds (bounded, so that a peer that keeps
    // sending cannot hold the loop), then ends it.
    void Drain(Connection& connection);
    // Drops the connections the seat no longer knows.
    void Sweep();
    int Timeout() const;

    HandheldSeat& m_seat;
    Log m_log;
    UniqueSocket m_listen;
    // Taken when accept fails for want of a descriptor, so the listener never spins.
    DescriptorReserve m_reserve;
    std::vector<Connection> m_connections;
    std::size_t m_maxConnections = 64;
    std::size_t m_maxPerAddress = 4;
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
