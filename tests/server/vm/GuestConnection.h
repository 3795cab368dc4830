#pragma once
// The handheld's side inside the emulated machine: one TCP connection to the server
// that the guest runs on its own loopback address.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace pv::vm {

inline constexpr char kServer[] = "127.0.0.2";
inline constexpr int kPort = 55;

class GuestConnection {
public:
    GuestConnection() {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kPort);
        inet_pton(AF_INET, kServer, &address.sin_addr);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("connect");
        }
    }
    ~GuestConnection() { Close(); }
    GuestConnection(const GuestConnection&) = delete;
    GuestConnection& operator=(const GuestConnection&) = delete;

    void Send(const std::string& bytes) {
        if (send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
            std::perror("send");
        }
    }
    void Close() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd = -1;
};

}  // namespace pv::vm
