#include "server/PrintSink.h"

#include "server/Output.h"

namespace pv::server {

void PrintSink::OnMessage(const Message& message) {
    if (m_broken) {
        return;
    }
    std::string line = FormatMessage(message);
    line += '\n';
    if (int error = WriteAll(m_fd, line, m_stop); error != 0) {
        m_broken = true;
        if (m_failed) {
            m_failed(error);
        }
    }
}

}  // namespace pv::server
