#include "platform/PosixByteLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <utility>

namespace {

class CNoFdWatcher : public IFdWatcher {
public:
    void Watch(int, std::function<void()>) override {}
    void SetEnabled(int, bool) override {}
    void Unwatch(int) override {}
};

// errno is per thread and overwritten by any later call: take it at once.
int Failed() {
    return -errno;
}

}  // namespace

IFdWatcher& PvNoFdWatcher() {
    static CNoFdWatcher watcher;
    return watcher;
}

CPosixByteLink::CPosixByteLink(IFdWatcher& watcher, PvHostLookup lookup)
    : m_watcher(watcher), m_lookup(std::move(lookup)) {}

CPosixByteLink::~CPosixByteLink() {
    Close();
}

IByteLink::SConnect CPosixByteLink::Connect(const std::string& address, int port, int timeoutMs) {
    Close();
    // The local port is left to the system: binding the server's port number would
    // need privileges, collide with a server on the same host and stay busy in TIME_WAIT.
    const int fd = OpenSocket();
    if (fd < 0) {
        return {EConnect::CreateFailed, -fd};
    }
    // The socket stays until Close, connected or not: a write on it then fails as it should.
    m_fd = fd;
    // A port that is no port number must fail, not become another port.
    if (port < 1 || port > 65535) {
        return {EConnect::Failed, EINVAL};
    }
    if (const int result = ConnectSocket(fd, address, port, timeoutMs); result < 0) {
        return {EConnect::Failed, -result};
    }
    SetNoDelay(fd);
    ++m_nGeneration;
    m_bWatching = true;
    m_watcher.Watch(fd, [this] { Readable(); });
    return {EConnect::Connected, 0};
}

IByteLink::SSend CPosixByteLink::Send(const void* bytes, std::size_t length) {
    const int sent = SendSocket(m_fd, bytes, length);
    return sent < 0 ? SSend{-1, -sent} : SSend{sent, 0};
}

void CPosixByteLink::Unwatch() {
    if (m_bWatching) {
        m_bWatching = false;
        ++m_nGeneration;
        m_watcher.Unwatch(m_fd);
    }
}

void CPosixByteLink::Close() {
    Unwatch();
    if (m_fd >= 0) {
        ShutdownSocket(m_fd);
        CloseSocket(m_fd);
        m_fd = -1;
    }
}

bool CPosixByteLink::Available() {
    const int fd = OpenSocket();
    if (fd < 0) {
        return false;
    }
    CloseSocket(fd);
    return true;
}

void CPosixByteLink::Readable() {
    // Watching is level-triggered: unread data or an end of stream would report again at
    // once. Incoming data is drained and reported once per arrival; the end of stream
    // once, after which the socket is no longer watched.
    m_watcher.SetEnabled(m_fd, false);
    std::array<char, 4096> scratch{};
    bool received = false;
    bool closed = false;
    int error = 0;
    for (;;) {
        const int n = ReceiveSocket(m_fd, scratch.data(), scratch.size());
        if (n > 0) {
            received = true;
            continue;
        }
        if (n == 0) {
            closed = true;
        } else if (n != -EAGAIN && n != -EWOULDBLOCK) {
            closed = true;
            error = -n;
        }
        break;
    }
    const unsigned generation = m_nGeneration;
    if (received && m_report) {
        m_report(EReport::Received, 0);
    }
    // The box shown by a report runs a nested event loop, during which the link may
    // have been closed and connected anew.
    if (generation != m_nGeneration || !m_bWatching) {
        return;
    }
    if (closed) {
        Unwatch();
        if (m_report) {
            m_report(EReport::Closed, error);
        }
        return;
    }
    m_watcher.SetEnabled(m_fd, true);
}

int CPosixByteLink::OpenSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? Failed() : fd;
}

int CPosixByteLink::ConnectSocket(int fd, const std::string& address, int port, int timeoutMs) {
    // The name's look-up and the handshake share one budget.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        // On a thread of its own: a name server that never answers must not hold the UI
        // longer than the connection's budget.
        if (address.empty()) {
            return -EINVAL;
        }
        std::uint32_t found = 0;
        if (const int error = PvLookUpWithin(m_lookup, address, found, timeoutMs); error != 0) {
            return -error;
        }
        peer.sin_addr.s_addr = found;
    }
    // Non-blocking connect, so that an unreachable desktop costs at most the timeout.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        return Failed();
    }
    int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (result < 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            ready = ::poll(&p, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count())));
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            errno = ETIMEDOUT;
            result = -1;
        } else if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            errno = error;
            result = error == 0 ? 0 : -1;
        }
    }
    if (result == 0) {
        ::fcntl(fd, F_SETFL, flags);
        return 0;
    }
    const int reason = Failed();
    // A timed-out handshake would go on in the background, and a later send would
    // block until it ends: put a fresh unconnected socket behind the same descriptor.
    const int fresh = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fresh >= 0) {
        ::dup2(fresh, fd);
        ::close(fresh);
    } else {
        ::fcntl(fd, F_SETFL, flags);
    }
    return reason;
}

int CPosixByteLink::SendSocket(int fd, const void* bytes, std::size_t length) {
    // Never SIGPIPE: a desktop that went away is a failed write, not the end of the program.
    const ssize_t sent = ::send(fd, bytes, length, MSG_NOSIGNAL);
    return sent < 0 ? Failed() : static_cast<int>(sent);
}

int CPosixByteLink::ReceiveSocket(int fd, void* buffer, std::size_t length) {
    ssize_t n;
    do {
        n = ::recv(fd, buffer, length, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? Failed() : static_cast<int>(n);
}

int CPosixByteLink::ShutdownSocket(int fd) {
    return ::shutdown(fd, SHUT_RDWR) < 0 ? Failed() : 0;
}

int CPosixByteLink::CloseSocket(int fd) {
    return ::close(fd) < 0 ? Failed() : 0;
}

int CPosixByteLink::SetNoDelay(int fd) {
    const int on = 1;
    return ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) < 0 ? Failed() : 0;
}
