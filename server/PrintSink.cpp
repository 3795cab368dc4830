#include "server/PrintSink.h"

#include "server/Output.h"

#include <cerrno>

namespace pv::server {

void PrintSink::OnMessage(const Message& message) {
    if (message.kind == Message::Kind::ButtonDown || message.kind == Message::Kind::ButtonUp) {
        m_leftDown = message.kind == Message::Kind::ButtonDown;
    }
    // A stop is obeyed between messages: nothing more is printed once it is set.
    if (!m_stop.load()) {
        Write(FormatMessage(message));
    }
}

void PrintSink::OnConnectionEnd() {
    Write(m_leftDown ? "connection-end up" : "connection-end");
    m_leftDown = false;
}

void PrintSink::Write(std::string line) {
    if (m_broken) {
        return;
    }
    line += '\n';
    int error = WriteAll(m_fd, line, m_stop);
    if (error == ECANCELED) {
        // Stopping with nobody reading: this line is lost, but the release that
        // follows is still tried, since the reader may have caught up by then.
        return;
    }
    if (error != 0) {
        m_broken = true;
        if (m_failed) {
            m_failed(error);
        }
    }
}

}  // namespace pv::server
