#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "server/Message.h"

namespace pv::server {

// The --print output: one line per message, written at once so that a reader
// sees each message as it arrives, and "connection-end" when the connection
// ends, as "connection-end up" when that releases a held button.
class PrintSink : public MessageSink {
public:
    // Failed is told once, with the errno, when the output cannot be written
    // (EPIPE: the reader has gone); later messages are dropped. A write that
    // waits on a full output gives up once stop is set.
    PrintSink(int fd, const std::atomic<bool>& stop, std::function<void(int error)> failed = {})
        : m_fd(fd), m_stop(stop), m_failed(std::move(failed)) {}
    void OnMessage(const Message& message) override;
    void OnConnectionEnd() override;

private:
    void Write(std::string line);

    int m_fd;
    const std::atomic<bool>& m_stop;
    std::function<void(int error)> m_failed;
    bool m_broken = false;
    bool m_leftDown = false;
};

}  // namespace pv::server
