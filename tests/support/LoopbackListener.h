#pragma once
// A real TCP listener on a loopback address other than 127.0.0.1, for tests that
// go through the operating system's sockets. Every wait is bounded.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

class CLoopbackListener {
public:
    // Listens on address; port 0 picks a free one.
    explicit CLoopbackListener(const char* address = "127.0.0.2", int port = 0, int backlog = 8)
        : m_address(address) {
        Listen(port, backlog);
    }
    ~CLoopbackListener() {
        CloseClient();
        CloseListener();
    }
    CLoopbackListener(const CLoopbackListener&) = delete;
    CLoopbackListener& operator=(const CLoopbackListener&) = delete;

    int Port() const { return m_nPort; }
    const std::string& Address() const { return m_address; }
    bool Listening() const { return m_listenFd >= 0; }

    // Accepts the next connection, waiting at most timeoutMs. Returns false on timeout.
    bool Accept(int timeoutMs = 5000) {
        CloseClient();
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) {
            return false;
        }
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        m_clientFd = ::accept(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &length);
        m_nPeerPort = ntohs(peer.sin_port);
        return m_clientFd >= 0;
    }

    // Reads until count bytes arrived or timeoutMs passed without any.
    std::string Read(std::size_t count, int timeoutMs = 3000) {
        std::string data;
        while (data.size() < count && m_clientFd >= 0) {
            pollfd p{m_clientFd, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) != 1) {
                break;
            }
            char buffer[4096];
            const ssize_t n = ::recv(m_clientFd, buffer, std::min(sizeof buffer, count - data.size()), 0);
            if (n <= 0) {
                break;
            }
            data.append(buffer, static_cast<std::size_t>(n));
        }
        return data;
    }

    // Whatever arrives within timeoutMs.
    std::string ReadAvailable(int timeoutMs = 200) {
        std::string data;
        for (;;) {
            pollfd p{m_clientFd, POLLIN, 0};
            if (m_clientFd < 0 || ::poll(&p, 1, timeoutMs) != 1) {
                return data;
            }
            char buffer[4096];
            const ssize_t n = ::recv(m_clientFd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return data;
            }
            data.append(buffer, static_cast<std::size_t>(n));
        }
    }

    bool SendToClient(const std::string& bytes) {
        return ::send(m_clientFd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

    int PeerPort() const { return m_nPeerPort; }

    void CloseClient() {
        if (m_clientFd >= 0) {
            ::close(m_clientFd);
            m_clientFd = -1;
        }
    }
    void CloseListener() {
        if (m_listenFd >= 0) {
            ::close(m_listenFd);
            m_listenFd = -1;
        }
    }
    // Stops and listens again on the same port, as a restarted server would.
    bool Restart() {
        CloseClient();
        CloseListener();
        return Listen(m_nPort, 8);
    }

private:
    bool Listen(int port, int backlog) {
        m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, m_address.c_str(), &local.sin_addr);
        if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0 ||
            ::listen(m_listenFd, backlog) < 0) {
            CloseListener();
            return false;
        }
        socklen_t length = sizeof local;
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&local), &length);
        m_nPort = ntohs(local.sin_port);
        return true;
    }

    std::string m_address;
    int m_listenFd = -1;
    int m_clientFd = -1;
    int m_nPort = 0;
    int m_nPeerPort = 0;
};
