#include "server/WebTransport.h"

namespace pv::server {

WebTransport::WebTransport(WebServer& web, HandheldSeat& seat, Log log)
    : m_web(web), m_seat(seat), m_log(std::move(log)) {}

void WebTransport::Service() {
    for (WebEvent& event : m_web.TakeEvents()) {
        switch (event.kind) {
        case WebEvent::Kind::Refused:
            // One line per address and reason per interval: a page that retries
            // cannot flood the log, and a new reason is still seen at once.
            if (std::optional<long> held =
                    m_refusals.Pass(std::uint64_t{event.peer} << 8 | static_cast<std::uint64_t>(event.refusal))) {
                m_log(*held == 0 ? event.text
                                 : event.text + " (and " + std::to_string(*held) + " more from " +
                                       FormatIpv4Address(event.peer) + " for that reason since the last such line)");
            }
            break;
        case WebEvent::Kind::Open: {
            std::string name = event.peerName + " (web)";
            if (m_seat.Admit(event.peer, name) == HandheldSeat::Admission::Refused) {
                m_web.Close(event.id, "not in the allowed ranges");
                break;
            }
            // Ends a holder with the same address, whatever carries it, with "replaced by".
            m_sockets[event.id] = m_seat.Open(event.peer, name);
            break;
        }
        case WebEvent::Kind::Data: {
            auto found = m_sockets.find(event.id);
            if (found != m_sockets.end() && !m_seat.Feed(found->second, event.text.data(), event.text.size())) {
                // The page says who has the pointer: the address is all it is told.
                if (m_seat.Holder() != 0) {
                    m_web.Close(event.id, FormatIpv4Address(m_seat.HolderAddress()), kCloseBusy);
                } else {
                    m_web.Close(event.id, "not a handheld's stream");
                }
                m_sockets.erase(found);
            }
            break;
        }
        case WebEvent::Kind::Closed:
            if (auto found = m_sockets.find(event.id); found != m_sockets.end()) {
                m_seat.End(found->second, event.text);
                m_sockets.erase(found);
            }
            break;
        }
    }
    m_web.Processed();
}

void WebTransport::Sync() {
    std::erase_if(m_sockets, [this](const auto& socket) {
        if (m_seat.Knows(socket.second)) {
            return false;
        }
        m_web.Close(socket.first, "replaced by another handheld");
        return true;
    });
}

void WebTransport::EndAll(const std::string& reason) {
    for (const auto& [webId, seatId] : m_sockets) {
        m_seat.End(seatId, reason);
        m_web.Close(webId, reason);
    }
    m_sockets.clear();
}

}  // namespace pv::server
