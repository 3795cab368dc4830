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

Server::Server(HandheldSeat& seat, Log log) : m_seat(seat), m_log(std::move(log)) {}

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

void Server::Run() {
    while (!m_stop.load()) {
        m_seat.WriteDue();
        if (m_conn && !m_seat.Holds(m_connId)) {
            m_conn.Reset();  // the seat went to a connection of another transport
        }
        if (m_transport != nullptr) {
            m_transport->Sync();
        }
        bool listening = Clock::now() >= m_acceptResume;
        // A listener at rest is left out of the poll by a negative descriptor.
        pollfd fds[4] = {{m_wake.PollHandle(), POLLIN, 0},
                         {listening ? m_listen.Get() : kNoSocket, POLLIN, 0},
                         {m_conn.Get(), POLLIN, 0},
                         {m_transport != nullptr ? m_transport->WakeFd() : kNoSocket, POLLIN, 0}};
        if (net::Poll(fds, 4, Timeout()) < 0) {
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
        // The current connection first, so that its bytes precede a replacement.
        if (m_conn && fds[2].revents != 0) {
            std::string reason;
            switch (Read(reason)) {
                case ReadResult::Ended:
                    EndConnection(reason);
                    break;
                case ReadResult::Closed:
                    m_conn.Reset();
                    break;
                default:
                    break;
            }
        }
        if (fds[3].revents != 0) {
            m_transport->Service();
        }
        if (listening && fds[1].revents != 0) {
            Accept();
        }
    }
    if (m_conn) {
        EndConnection("server stopping");
    }
    if (m_transport != nullptr) {
        m_transport->EndAll("server stopping");
    }
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
        // Out of descriptors or memory: rest the listener, longer each time.
        m_acceptBackoff = m_acceptBackoff == Clock::duration::zero()
                              ? Clock::duration(kFirstAcceptBackoff)
                              : std::min<Clock::duration>(m_acceptBackoff * 2, kLastAcceptBackoff);
        m_acceptResume = Clock::now() + m_acceptBackoff;
        if (std::optional<long> held = m_acceptLog.Pass(static_cast<std::uint64_t>(error))) {
            m_log("accept failed: " + ErrorText(error) + "; trying again less often" +
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
    if (admission == HandheldSeat::Admission::Replaces && m_conn) {
        // Take what the old connection still holds before it goes (bounded, so
        // that a peer that keeps sending cannot hold the new one off).
        std::string reason;
        ReadResult result = ReadResult::Data;
        for (int reads = 0; reads < 64 && result == ReadResult::Data; ++reads) {
            result = Read(reason);
        }
        if (result == ReadResult::Ended) {
            EndConnection(reason);
        } else if (result == ReadResult::Closed) {
            m_conn.Reset();
        }
    }
    net::SetKeepalive(fd.Get());
    // Ends the current holder, whatever carries it, with "replaced by".
    m_connId = m_seat.Open(address, name);
    m_conn = std::move(fd);
}

Server::ReadResult Server::Read(std::string& reason) {
    char buffer[65536];
    long n = net::Receive(m_conn.Get(), buffer, sizeof buffer);
    if (n > 0) {
        return m_seat.Feed(m_connId, buffer, static_cast<std::size_t>(n)) ? ReadResult::Data : ReadResult::Closed;
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

void Server::EndConnection(const std::string& reason) {
    m_seat.End(m_connId, reason);
    m_conn.Reset();
    m_connId = 0;
}

}  // namespace pv::server
