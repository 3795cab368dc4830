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
                // The page says who has it: the address is all it is told.
                m_web.Close(event.id, FormatIpv4Address(m_seat.HolderAddress()), kCloseBusy);
                break;
            }
            // Ends the current holder, whatever carries it, with "replaced by".
            std::uint64_t previous = m_webId;
            m_seatId = m_seat.Open(event.peer, name);
            m_webId = event.id;
            if (previous != 0) {
                m_web.Close(previous, "replaced by " + name);
            }
            break;
        }
        case WebEvent::Kind::Data:
            if (event.id == m_webId && m_webId != 0 && !m_seat.Feed(m_seatId, event.text.data(), event.text.size())) {
                Drop("not a handheld's stream");
            }
            break;
        case WebEvent::Kind::Closed:
            if (event.id == m_webId && m_webId != 0) {
                m_seat.End(m_seatId, event.text);
                m_webId = 0;
                m_seatId = 0;
            }
            break;
        }
    }
}

void WebTransport::Sync() {
    if (m_webId != 0 && !m_seat.Holds(m_seatId)) {
        Drop("replaced by another handheld");
    }
}

void WebTransport::EndAll(const std::string& reason) {
    if (m_webId != 0) {
        m_seat.End(m_seatId, reason);
        Drop(reason);
    }
}

void WebTransport::Drop(const std::string& reason) {
    m_web.Close(m_webId, reason);
    m_webId = 0;
    m_seatId = 0;
}

}  // namespace pv::server
