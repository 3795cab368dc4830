#include "server/HandheldSeat.h"

#include <cstdio>

#include "link/PenSample.h"
#include "link/Protocol.h"

namespace pv::server {

HandheldSeat::HandheldSeat(MessageSink& sink, AllowList allow, Log log, Clock::duration spacing)
    : m_allow(std::move(allow)), m_log(std::move(log)), m_pacer(sink, spacing), m_decoder(m_pacer) {}

void HandheldSeat::Refuse(std::uint32_t address, const std::string& line) {
    if (std::optional<long> held = m_refusals.Pass(address)) {
        m_log(*held == 0 ? line
                         : line + " (and " + std::to_string(*held) + " more from " + FormatIpv4Address(address) +
                               " since the last such line)");
    }
}

HandheldSeat::Admission HandheldSeat::Admit(std::uint32_t address, const std::string& name) {
    if (!m_allow.Allows(address)) {
        Refuse(address, "refused " + name + ": not in the allowed ranges (add it with --allow)");
        return Admission::Refused;
    }
    if (m_holder == 0) {
        return Admission::Free;
    }
    if (address == m_holderAddress) {
        return Admission::Replaces;
    }
    // Another address may not take the pointer from a live handheld, nor keep
    // it out by reconnecting: it waits until that connection has ended.
    Refuse(address, "refused " + name + ": the handheld at " + m_holderName +
                        " has the pointer until its connection ends");
    return Admission::Refused;
}

HandheldSeat::Id HandheldSeat::Open(std::uint32_t address, const std::string& name) {
    if (m_holder != 0) {
        End(m_holder, "replaced by " + name);
    }
    m_holder = ++m_lastId;
    m_holderAddress = address;
    m_holderName = name;
    m_started = false;
    return m_holder;
}

bool HandheldSeat::Feed(Id id, const char* data, std::size_t size) {
    if (!Holds(id)) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    if (!m_started) {
        if (!protocol::StartsMessage(data[0]) && !(m_pen && data[0] == protocol::kPen)) {
            // Another protocol (an HTTP request from a web page, say): nothing of
            // it may reach the pointer, not even a body that looks like clicks.
            char lead[8];
            std::snprintf(lead, sizeof lead, "0x%02x", static_cast<unsigned char>(data[0]));
            std::string name = m_holderName;
            std::uint32_t address = m_holderAddress;
            m_holder = 0;
            m_pacer.OnConnectionEnd();
            Refuse(address, "closed " + name + ": not a handheld's stream (its first byte is " + lead +
                                "); nothing of it was obeyed");
            return false;
        }
        m_started = true;
        m_log("connected " + m_holderName);
    }
    m_decoder.Feed(data, size);
    return true;
}

void HandheldSeat::End(Id id, const std::string& reason) {
    if (!Holds(id)) {
        return;
    }
    m_decoder.Finish();
    m_pacer.OnConnectionEnd();
    m_holder = 0;
    if (m_started) {
        m_log("disconnected " + m_holderName + ": " + reason);
    } else {
        // Nothing was said: a port scan or a probe, logged as sparingly as a refusal.
        Refuse(m_holderAddress, "disconnected " + m_holderName + " before its first byte: " + reason);
    }
}

}  // namespace pv::server
