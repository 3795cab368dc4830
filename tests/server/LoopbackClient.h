#pragma once
// A handheld's end of a loopback connection, bound to a chosen loopback source
// address. Tests use 127.0.0.x addresses only.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace pv::server::test {

class LoopbackClient {
public:
    LoopbackClient(const char* source, const char* server, std::uint16_t port) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // A bound on every blocking call, so a broken server cannot hang the test.
        timeval bound{20, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, source, &local.sin_addr);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(port);
        inet_pton(AF_INET, server, &remote.sin_addr);
        m_connected = bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                      connect(m_fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0;
    }
    ~LoopbackClient() { Close(); }

    bool Connected() const { return m_connected; }
    bool Send(const std::string& bytes) {
        return send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // True when the server closed the connection: the end of the stream, or a
    // reset when it closed with our bytes unread.
    bool ClosedByServer() {
        char byte;
        ssize_t n = recv(m_fd, &byte, 1, 0);
        return n == 0 || (n < 0 && errno == ECONNRESET);
    }
    // One byte the server sent; false at the end or after the receive timeout.
    bool Receive(char& byte) { return recv(m_fd, &byte, 1, 0) == 1; }
    // Everything the server sends until it closes the connection (bounded by the
    // receive timeout).
    std::string ReadAll() {
        std::string all;
        char chunk[4096];
        for (ssize_t n; (n = recv(m_fd, chunk, sizeof chunk, 0)) > 0;) {
            all.append(chunk, static_cast<std::size_t>(n));
        }
        return all;
    }
    // What the server sends up to and including end (bounded by the receive
    // timeout); less when the connection ends first.
    std::string ReadUntil(const std::string& end) {
        std::string all;
        char byte;
        while (all.size() < 65536 && (all.size() < end.size() || all.compare(all.size() - end.size(), end.size(), end) != 0) &&
               recv(m_fd, &byte, 1, 0) == 1) {
            all += byte;
        }
        return all;
    }
    void Close() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

}  // namespace pv::server::test
