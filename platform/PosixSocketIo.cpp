#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/SocketIo.h"

namespace {

// errno is per thread and overwritten by any later call: keep the reason of the last failure.
class CPosixSocketIo : public ISocketIo {
public:
    int Open() override {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return fd < 0 ? Fail() : fd;
    }

    int Connect(int handle, const std::string& address, int port, int timeoutMs) override {
        if (port < 1 || port > 65535) {
            m_nError = EINVAL;
            return -1;
        }
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<uint16_t>(port));
        if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1 && !Lookup(address, peer)) {
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
                ready = ::poll(&p, 1, timeoutMs);
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

    bool Lookup(const std::string& host, sockaddr_in& peer) {
        if (host.empty()) {
            m_nError = EINVAL;
            return false;
        }
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
            m_nError = EHOSTUNREACH;
            return false;
        }
        peer.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
        return true;
    }

    int m_nError = 0;
};

}  // namespace

ISocketIo& PvPosixSocketIo() {
    static CPosixSocketIo io;
    return io;
}
