#include "Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace pv::server {

namespace {

// A peer that vanished without a word (cable pulled, handheld switched off) is
// found by keepalive: first probe after 10 s of silence, then 3 more 5 s apart,
// so it ends within about 25 s.
constexpr int kKeepIdle = 10;
constexpr int kKeepInterval = 5;
constexpr int kKeepCount = 3;

void SetOption(int fd, int level, int name, int value) {
    setsockopt(fd, level, name, &value, sizeof value);
}

std::string PeerName(const sockaddr_in& address) {
    return FormatIpv4Address(ntohl(address.sin_addr.s_addr)) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace

Server::Server(MessageSink& sink, AllowList allow, Log log, ButtonPacer::Clock::duration spacing)
    : m_allow(std::move(allow)), m_log(std::move(log)), m_pacer(sink, spacing), m_decoder(m_pacer) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_wakeRead = fds[0];
        m_wakeWrite = fds[1];
    }
}

Server::~Server() {
    for (int fd : {m_connFd, m_listenFd, m_wakeRead, m_wakeWrite}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

std::string Server::Listen(std::uint32_t address, std::uint16_t port) {
    std::string where = FormatIpv4Address(address) + ":" + std::to_string(port);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return std::string("cannot create a socket: ") + std::strerror(errno);
    }
    // A restarted server must not wait for the old connection's TIME_WAIT.
    SetOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        int error = errno;
        close(fd);
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
        return "cannot listen on " + where + ": " + std::strerror(error);
    }
    if (listen(fd, 4) != 0) {
        int error = errno;
        close(fd);
        return "cannot listen on " + where + ": " + std::strerror(error);
    }
    socklen_t size = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
    m_port = ntohs(local.sin_port);
    m_listenFd = fd;
    return {};
}

void Server::Stop() {
    m_stop.store(true);
    if (m_wakeWrite >= 0) {
        char byte = 0;
        [[maybe_unused]] ssize_t n = write(m_wakeWrite, &byte, 1);
    }
}

void Server::Run() {
    while (!m_stop.load()) {
        m_pacer.WriteDue();
        int timeout = -1;
        if (auto due = m_pacer.NextDue()) {
            // Rounded up, so that the wait never ends just before the press is due.
            auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - ButtonPacer::Clock::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
        }
        pollfd fds[3] = {{m_wakeRead, POLLIN, 0}, {m_listenFd, POLLIN, 0}, {m_connFd, POLLIN, 0}};
        nfds_t count = m_connFd >= 0 ? 3 : 2;
        if (poll(fds, count, timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_log(std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        if (fds[0].revents != 0) {
            char drain[16];
            while (read(m_wakeRead, drain, sizeof drain) > 0) {
            }
            continue;
        }
        // The current connection first, so that its bytes precede a replacement.
        if (count == 3 && fds[2].revents != 0) {
            std::string reason;
            if (Read(reason) == ReadResult::Ended) {
                EndConnection(reason);
            }
        }
        if (fds[1].revents != 0) {
            Accept();
        }
    }
    if (m_connFd >= 0) {
        EndConnection("server stopping");
    }
}

void Server::Accept() {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    int fd = accept4(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED && errno != EINTR) {
            m_log(std::string("accept failed: ") + std::strerror(errno));
        }
        return;
    }
    std::string name = PeerName(peer);
    if (peer.sin_family != AF_INET || !m_allow.Allows(ntohl(peer.sin_addr.s_addr))) {
        m_log("refused " + name + ": not in the allowed ranges (add it with --allow)");
        close(fd);
        return;
    }
    if (m_connFd >= 0) {
        // Take what the old connection still holds before it goes (bounded, so
        // that a peer that keeps sending cannot hold the new one off).
        std::string reason;
        ReadResult result = ReadResult::Data;
        for (int reads = 0; reads < 64 && result == ReadResult::Data; ++reads) {
            result = Read(reason);
        }
        EndConnection(result == ReadResult::Ended ? reason : "replaced by " + name);
    }
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdle);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepInterval);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
    m_connFd = fd;
    m_peer = name;
    m_log("connected " + name);
}

Server::ReadResult Server::Read(std::string& reason) {
    char buffer[65536];
    ssize_t n = recv(m_connFd, buffer, sizeof buffer, 0);
    if (n > 0) {
        m_decoder.Feed(buffer, static_cast<std::size_t>(n));
        return ReadResult::Data;
    }
    if (n == 0) {
        reason = "closed by the handheld";
        return ReadResult::Ended;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return ReadResult::Empty;
    }
    reason = errno == ETIMEDOUT ? std::string("no answer to keepalive: the handheld is gone")
                                : std::string("connection failed: ") + std::strerror(errno);
    return ReadResult::Ended;
}

void Server::EndConnection(const std::string& reason) {
    m_decoder.Finish();
    m_pacer.OnConnectionEnd();
    close(m_connFd);
    m_connFd = -1;
    m_log("disconnected " + m_peer + ": " + reason);
    m_peer.clear();
}

}  // namespace pv::server
