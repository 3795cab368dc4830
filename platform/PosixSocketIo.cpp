#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/HostLookup.h"
#include "platform/SocketIo.h"

namespace {

// errno is per thread and overwritten by any later call: keep the reason of the last failure.
class CPosixSocketIo : public ISocketIo {
public:
    explicit CPosixSocketIo(PvHostLookup lookup = PvSystemHostLookup) : m_lookup(std::move(lookup)) {}

    int Open() override {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return fd < 0 ? Fail() : fd;
    }

    int Connect(int handle, const std::string& address, int port, int timeoutMs) override {
        if (port < 1 || port > 65535) {
            m_nError = EINVAL;
            return -1;
        }
        // The name's look-up and the handshake share one budget.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<uint16_t>(port));
        if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1 && !Lookup(address, peer, timeoutMs)) {
            return -1;
        }
        // Non-blocking connect, so that an unreachable desktop costs at most the timeout.
        const int flags = ::fcntl(handle, F_GETFL);
        if (flags < 0 || ::fcntl(handle, F_SETFL, flags | O_NONBLOCK) < 0) {
            return Fail();
        }
        int result = ::connect(handle, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
        if (result < 0 && errno == EINPROGRESS) {
            pollfd p{handle, POLLOUT, 0};
            int ready;
            do {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                ready = ::poll(&p, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count())));
            } while (ready < 0 && errno == EINTR);
            if (ready == 0) {
                errno = ETIMEDOUT;
                result = -1;
            } else if (ready > 0) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length);
                errno = error;
                result = error == 0 ? 0 : -1;
            }
        }
        if (result == 0) {
            ::fcntl(handle, F_SETFL, flags);
            return 0;
        }
        Fail();
        // A timed-out handshake would go on in the background, and a later send would
        // block until it ends: put a fresh unconnected socket behind the same handle.
        const int fresh = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fresh >= 0) {
            ::dup2(fresh, handle);
            ::close(fresh);
        } else {
            ::fcntl(handle, F_SETFL, flags);
        }
        return -1;
    }

    int Send(int handle, const void* bytes, std::size_t length) override {
        const ssize_t sent = ::send(handle, bytes, length, MSG_NOSIGNAL);
        return sent < 0 ? Fail() : static_cast<int>(sent);
    }

    int Shutdown(int handle) override { return ::shutdown(handle, SHUT_RDWR) < 0 ? Fail() : 0; }
    int Close(int handle) override { return ::close(handle) < 0 ? Fail() : 0; }

    int SetNoDelay(int handle) override {
        const int on = 1;
        return ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) < 0 ? Fail() : 0;
    }

    int Receive(int handle, void* buffer, std::size_t length) override {
        ssize_t n;
        do {
            n = ::recv(handle, buffer, length, MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        return n < 0 ? Fail() : static_cast<int>(n);
    }

    int LastError() const override { return m_nError; }

private:
    int Fail() {
        m_nError = errno;
        return -1;
    }

    // On a thread of its own: a name server that never answers must not hold the UI
    // longer than the connection's budget.
    bool Lookup(const std::string& host, sockaddr_in& peer, int timeoutMs) {
        if (host.empty()) {
            m_nError = EINVAL;
            return false;
        }
        std::uint32_t address = 0;
        const int error = PvLookUpWithin(m_lookup, host, address, timeoutMs);
        if (error != 0) {
            m_nError = error;
            return false;
        }
        peer.sin_addr.s_addr = address;
        return true;
    }

    PvHostLookup m_lookup;
    int m_nError = 0;
};

}  // namespace

std::unique_ptr<ISocketIo> PvCreatePosixSocketIo(PvHostLookup lookup) {
    return std::make_unique<CPosixSocketIo>(std::move(lookup));
}

ISocketIo& PvPosixSocketIo() {
    static CPosixSocketIo io;
    return io;
}
