#include "server/HandheldSeat.h"

#include <cstdio>

#include "link/PenSample.h"
#include "link/Protocol.h"

namespace pv::server {

HandheldSeat::HandheldSeat(MessageSink& sink, AllowList allow, Log log, Clock::duration spacing,
                           Clock::duration idleYield)
    : m_allow(std::move(allow)), m_log(std::move(log)), m_gate(sink), m_pacer(m_gate, spacing), m_decoder(m_pacer),
      m_idleYield(idleYield) {}

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
    if (m_holder != 0 && m_open[m_holder].address == address) {
        return Admission::Replaces;
    }
    return Admission::Free;
}

HandheldSeat::Id HandheldSeat::Open(std::uint32_t address, const std::string& name) {
    if (m_holder != 0 && m_open[m_holder].address == address) {
        // The handheld reconnecting after a failed write: its old connection
        // may still look open, and may hold a button.
        Release("replaced by " + name);
    }
    Id id = ++m_lastId;
    m_open[id] = Peer{address, name};
    return id;
}

bool HandheldSeat::Claim(Id id, const Peer& peer, char first) {
    if (!protocol::StartsMessage(first) && !(m_pen && first == protocol::kPen)) {
        // Another protocol (an HTTP request from a web page, say): nothing of
        // it may reach the pointer, not even a body that looks like clicks.
        char lead[8];
        std::snprintf(lead, sizeof lead, "0x%02x", static_cast<unsigned char>(first));
        Refuse(peer.address, "closed " + peer.name + ": not a handheld's stream (its first byte is " + lead +
                                 "); nothing of it was obeyed");
        return false;
    }
    if (m_holder != 0) {
        const Peer& holder = m_open[m_holder];
        if (holder.address == peer.address) {
            Release("replaced by " + peer.name);
        } else if (Clock::now() - m_lastHeard >= m_idleYield) {
            Release("silent for " + std::to_string(std::chrono::ceil<std::chrono::seconds>(m_idleYield).count()) +
                    " s, yielded to " + peer.name);
        } else {
            // Another address may not take the pointer from a live handheld,
            // nor keep it out by reconnecting: it waits until that connection
            // has ended or falls silent.
            Refuse(peer.address, "refused " + peer.name + ": the handheld at " + holder.name +
                                     " has the pointer until its connection ends or it falls silent");
            return false;
        }
    }
    m_holder = id;
    m_log("connected " + peer.name);
    return true;
}

bool HandheldSeat::Feed(Id id, const char* data, std::size_t size) {
    auto found = m_open.find(id);
    if (found == m_open.end()) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    if (id != m_holder && !Claim(id, found->second, data[0])) {
        m_open.erase(id);
        return false;
    }
    m_lastHeard = Clock::now();
    m_decoder.Feed(data, size);
    return true;
}

void HandheldSeat::Release(const std::string& reason) {
    m_decoder.Finish();
    m_pacer.OnConnectionEnd();
    m_log("disconnected " + m_open[m_holder].name + ": " + reason);
    m_open.erase(m_holder);
    m_holder = 0;
}

void HandheldSeat::End(Id id, const std::string& reason) {
    auto found = m_open.find(id);
    if (found == m_open.end()) {
        return;
    }
    if (Holds(id)) {
        Release(reason);
        return;
    }
    // Nothing was said: a port scan or a probe, logged as sparingly as a refusal.
    Refuse(found->second.address, "disconnected " + found->second.name + " before its first byte: " + reason);
    m_open.erase(found);
}

}  // namespace pv::server
