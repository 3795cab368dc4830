#pragma once
// One handheld at a time, whatever transport carries its stream.
//
// A transport (the TCP listener, or another) asks Admit() when a connection
// arrives, gives it the seat with Open(), hands its bytes to Feed() and reports
// its end with End(). The seat holds the rules: which peers may connect at all,
// that a live handheld cannot be displaced by another address (only by its own,
// reconnecting after a failed write), that a stream which does not begin as a
// handheld's is closed before any of it is obeyed, and that a held button is
// released when the connection ends or is replaced. The bytes go through the
// decoder and the button pacing to the sink.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "server/AllowList.h"
#include "server/ButtonPacer.h"
#include "server/Decoder.h"
#include "server/LogLimiter.h"
#include "server/Message.h"

namespace pv::server {

class HandheldSeat {
public:
    using Log = std::function<void(const std::string& line)>;
    using Clock = ButtonPacer::Clock;
    using Id = std::uint64_t;  // 0 is no connection

    // The sink must outlive the seat. Log receives connection events and refusals.
    HandheldSeat(MessageSink& sink, AllowList allow, Log log, Clock::duration spacing = kPressSpacing);

    enum class Admission {
        Free,      // nobody holds the seat
        Replaces,  // the holder has the same address: Open() ends it, after the
                   // transport has fed what that connection still holds
        Refused,   // outside the allowed ranges, or another address holds the seat
    };
    // Whether a new connection from address (host byte order; name is
    // "address:port" for the log) may have the seat. A refusal is logged, at
    // most one line per address per kLogInterval, with a count of the others.
    Admission Admit(std::uint32_t address, const std::string& name);

    // Gives the seat to a connection that Admit() let in, ending the current
    // holder ("replaced by NAME"). Returns the connection's id. "connected NAME"
    // is logged at its first byte.
    Id Open(std::uint32_t address, const std::string& name);

    // The next bytes of connection id. False means the transport must close the
    // connection: it no longer holds the seat, or its first byte is not one a
    // handheld ever sends first (then it has been ended, none of it obeyed).
    bool Feed(Id id, const char* data, std::size_t size);

    // Connection id has ended (closed, failed, dead by keepalive, server
    // stopping): its unfinished bytes are reported as skipped, what waits in
    // the pacing is written, and a held button is released. Nothing for an id
    // that does not hold the seat.
    void End(Id id, const std::string& reason);

    // Whether the pen's samples are decoded (they may then also begin a stream)
    // or skipped as bytes that start no message. Off by default.
    void SetPenSamples(bool on) {
        m_pen = on;
        m_decoder.SetPenSamples(on);
    }

    bool Holds(Id id) const { return id != 0 && id == m_holder; }
    Id Holder() const { return m_holder; }
    // The holder's address (host byte order); 0 while nobody holds the seat.
    std::uint32_t HolderAddress() const { return m_holder != 0 ? m_holderAddress : 0; }

    // The button pacing's timed queue: the connection loop waits no longer than
    // NextDue() and then calls WriteDue().
    std::optional<Clock::time_point> NextDue() const { return m_pacer.NextDue(); }
    void WriteDue() { m_pacer.WriteDue(); }

private:
    void Refuse(std::uint32_t address, const std::string& line);

    AllowList m_allow;
    Log m_log;
    ButtonPacer m_pacer;
    Decoder m_decoder;
    LogLimiter m_refusals;
    Id m_holder = 0;
    Id m_lastId = 0;
    std::uint32_t m_holderAddress = 0;
    std::string m_holderName;
    bool m_started = false;  // the holder's first byte has come
    bool m_pen = false;
};

}  // namespace pv::server
