#include "PrintSink.h"

namespace pv::server {

void PrintSink::OnMessage(const Message& message) {
    std::string line = FormatMessage(message);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fflush(m_out);
}

}  // namespace pv::server
