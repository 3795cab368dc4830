#include "server/Server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pv::server {

namespace {

constexpr std::chrono::milliseconds kFirstAcceptBackoff{10};
constexpr std::chrono::milliseconds kLastAcceptBackoff{1000};

// Milliseconds from now until then, rounded up so that a wait never ends just
// before then; 0 when then has passed.
int MillisecondsUntil(Server::Clock::time_point then) {
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(then - Server::Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(wait)>(wait, 0, 60000));
}

}  // namespace

Server::Server(HandheldSeat& seat, Log log) : m_seat(seat), m_log(std::move(log)) {
    m_seat.SetStop(m_stop);
}

void Server::SetConnectionLimits(std::size_t total, std::size_t perAddress) {
    m_maxConnections = std::max<std::size_t>(total, 1);
    m_maxPerAddress = std::max<std::size_t>(perAddress, 1);
}

std::string Server::Listen(std::uint32_t address, std::uint16_t port) {
    std::string where = FormatIpv4Address(address) + ":" + std::to_string(port);
    UniqueSocket fd(net::OpenSocket(SOCK_STREAM));
    if (!fd) {
        return "cannot create a socket: " + ErrorText(errno);
    }
#ifndef _WIN32
    // A restarted server must not wait for the old connection's TIME_WAIT. (On
    // Windows the option would let a second server take the port.)
    net::SetOption(fd.Get(), SOL_SOCKET, SO_REUSEADDR, 1);
#endif
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address);
    if (net::Bind(fd.Get(), local) != 0) {
        int error = errno;
#ifdef _WIN32
        if (error == EACCES) {
            return "cannot listen on " + where +
                   ": Windows keeps the port for itself or another program holds it (netsh interface ipv4 show "
                   "excludedportrange protocol=tcp lists the kept ones). Choose another --port (and set the "
                   "handheld's Port to match).";
        }
#endif
        if ((error == EACCES || error == EPERM) && port < 1024) {
            return "cannot listen on " + where + ": a port below 1024 needs the privilege to bind it.\n" +
                   "Run the penvale-server.service unit, or give the program that privilege once with\n"
                   "  sudo setcap cap_net_bind_service=+ep \"$(command -v penvale-server)\"\n"
                   "or choose a port from 1024 up with --port (and set the handheld's Port to match).";
        }
        if (error == EADDRINUSE) {
            return "cannot listen on " + where +
                   ": the port is in use (another penvale-server?). Stop that program or choose another "
                   "--port.";
        }
        if (error == EADDRNOTAVAIL) {
            return "cannot listen on " + where +
                   ": the address is not one of this machine's. Check --listen (ip -4 addr lists them).";
        }
        return "cannot listen on " + where + ": " + ErrorText(error);
    }
    if (net::Listen(fd.Get()) != 0) {
        return "cannot listen on " + where + ": " + ErrorText(errno);
    }
    net::Address(fd.Get(), false, local);
    m_port = ntohs(local.sin_port);
    m_listen = std::move(fd);
    return {};
}

void Server::Stop() {
    m_stop.store(true);
    m_wake.Signal();
}

int Server::Timeout() const {
    int timeout = -1;
    if (auto due = m_seat.NextDue()) {
        timeout = MillisecondsUntil(*due);
    }
    if (Clock::now() < m_acceptResume) {
        int rest = MillisecondsUntil(m_acceptResume);
        timeout = timeout < 0 ? rest : std::min(timeout, rest);
    }
    return timeout;
}

void Server::Sweep() {
    std::erase_if(m_connections, [this](const Connection& connection) { return !m_seat.Knows(connection.id); });
}

void Server::Run() {
    std::vector<pollfd> fds;
    while (!m_stop.load()) {
        m_seat.WriteDue();
        Sweep();
        if (m_transport != nullptr) {
            m_transport->Sync();
        }
        // The holder first, so that its bytes precede a replacement's.
        std::stable_partition(m_connections.begin(), m_connections.end(),
                              [this](const Connection& connection) { return m_seat.Holds(connection.id); });
        bool listening = Clock::now() >= m_acceptResume;
        // A listener at rest is left out of the poll by a negative descriptor.
        fds.assign({{m_wake.PollHandle(), POLLIN, 0},
                    {listening ? m_listen.Get() : kNoSocket, POLLIN, 0},
                    {m_transport != nullptr ? m_transport->WakeFd() : kNoSocket, POLLIN, 0}});
        for (const Connection& connection : m_connections) {
            fds.push_back({connection.fd.Get(), POLLIN, 0});
        }
        if (net::Poll(fds.data(), fds.size(), Timeout()) < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_log("poll failed: " + ErrorText(errno));
            break;
        }
        if (fds[0].revents != 0) {
            m_wake.Drain();
            continue;
        }
        for (std::size_t i = 0; i < m_connections.size() && !m_stop.load(); ++i) {
            Connection& connection = m_connections[i];
            if (fds[3 + i].revents == 0 || !m_seat.Knows(connection.id)) {
                continue;
            }
            std::string reason;
            if (Read(connection, reason) == ReadResult::Ended) {
                m_seat.End(connection.id, reason);
            }
        }
        Sweep();
        if (fds[2].revents != 0 && !m_stop.load()) {
            m_transport->Service();
        }
        if (listening && fds[1].revents != 0 && !m_stop.load()) {
            Accept();
        }
    }
    for (Connection& connection : m_connections) {
        m_seat.End(connection.id, "server stopping");
    }
    m_connections.clear();
    if (m_transport != nullptr) {
        m_transport->EndAll("server stopping");
    }
}

bool Server::MakeRoom(std::uint32_t address) {
    auto fromAddress = [](std::uint32_t from) {
        return [from](const Connection& connection) { return connection.address == from; };
    };
    std::uint32_t crowded = address;
    if (std::count_if(m_connections.begin(), m_connections.end(), fromAddress(address)) <
        static_cast<long>(m_maxPerAddress)) {
        if (m_connections.size() < m_maxConnections) {
            return true;
        }
        // Full: the address with the most connections gives one up, so that a
        // flood from one host cannot keep another out.
        std::size_t most = 0;
        for (const Connection& connection : m_connections) {
            auto count = static_cast<std::size_t>(
                std::count_if(m_connections.begin(), m_connections.end(), fromAddress(connection.address)));
            if (count > most) {
                most = count;
                crowded = connection.address;
            }
        }
    }
    auto oldest = std::find_if(m_connections.begin(), m_connections.end(), [&](const Connection& connection) {
        return connection.address == crowded && !m_seat.Holds(connection.id);
    });
    if (oldest == m_connections.end()) {
        return false;
    }
    m_seat.End(oldest->id, "too many connections from " + FormatIpv4Address(crowded));
    m_connections.erase(oldest);
    return true;
}

void Server::Accept() {
    sockaddr_in peer{};
    UniqueSocket fd(net::Accept(m_listen.Get(), peer));
    if (!fd) {
        int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            m_acceptBackoff = Clock::duration::zero();
            return;
        }
        if (error == ECONNABORTED || error == EINTR || error == EPROTO) {
            return;
        }
        bool dropped = (error == EMFILE || error == ENFILE) && m_reserve.DropWaiting(m_listen.Get());
        if (!dropped) {
            // Out of memory, or the reserve is gone too: rest the listener, longer each time.
            m_acceptBackoff = m_acceptBackoff == Clock::duration::zero()
                                  ? Clock::duration(kFirstAcceptBackoff)
                                  : std::min<Clock::duration>(m_acceptBackoff * 2, kLastAcceptBackoff);
            m_acceptResume = Clock::now() + m_acceptBackoff;
        }
        if (std::optional<long> held = m_acceptLog.Pass(static_cast<std::uint64_t>(error))) {
            m_log("accept failed: " + ErrorText(error) +
                  (dropped ? "; the connection was closed" : "; trying again less often") +
                  (*held > 0 ? " (" + std::to_string(*held) + " more failures since the last such line)" : ""));
        }
        return;
    }
    m_acceptBackoff = Clock::duration::zero();
    std::string name = net::AddressText(peer);
    std::uint32_t address = ntohl(peer.sin_addr.s_addr);
    HandheldSeat::Admission admission = peer.sin_family == AF_INET ? m_seat.Admit(address, name)
                                                                   : HandheldSeat::Admission::Refused;
    if (admission == HandheldSeat::Admission::Refused) {
        return;
    }
    if (admission == HandheldSeat::Admission::Replaces) {
        // Take what the old connection still holds before it goes.
        for (Connection& connection : m_connections) {
            if (m_seat.Holds(connection.id)) {
                Drain(connection);
                break;
            }
        }
    }
    // Ends a holder with the same address, whatever carries it, with "replaced by".
    HandheldSeat::Id id = m_seat.Open(address, name);
    Sweep();
    if (!MakeRoom(address)) {
        m_seat.End(id, "too many connections from " + FormatIpv4Address(address));
        return;
    }
    net::SetKeepalive(fd.Get());
    m_connections.push_back(Connection{std::move(fd), id, address});
}

void Server::Drain(Connection& connection) {
    std::string reason;
    ReadResult result = ReadResult::Data;
    for (int reads = 0; reads < 64 && result == ReadResult::Data; ++reads) {
        result = Read(connection, reason);
    }
    if (result == ReadResult::Ended) {
        m_seat.End(connection.id, reason);
    }
}

Server::ReadResult Server::Read(Connection& connection, std::string& reason) {
    char buffer[65536];
    long n = net::Receive(connection.fd.Get(), buffer, sizeof buffer);
    if (n > 0) {
        return m_seat.Feed(connection.id, buffer, static_cast<std::size_t>(n)) ? ReadResult::Data
                                                                                : ReadResult::Closed;
    }
    if (n == 0) {
        reason = "closed by the handheld";
        return ReadResult::Ended;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return ReadResult::Empty;
    }
    reason = errno == ETIMEDOUT ? std::string("no answer to keepalive: the handheld is gone")
                                : "connection failed: " + ErrorText(errno);
    return ReadResult::Ended;
}

}  // namespace pv::server
