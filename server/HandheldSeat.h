#pragma once
// One handheld at a time, whatever transport carries its stream.
//
// A transport (the TCP listener, or another) asks Admit() when a connection
// arrives, registers it with Open(), hands its bytes to Feed() and reports its
// end with End(). The seat holds the rules: which peers may connect at all,
// that the seat goes to a connection at its first handheld message (one that
// has sent nothing holds nothing), that a live handheld cannot be displaced by
// another address (only by its own, reconnecting after a failed write, or when
// it has been silent for the idle yield), that a stream which does not begin as
// a handheld's is closed before any of it is obeyed, and that a held button is
// released when the holder ends or is replaced. The bytes go through the
// decoder and the button pacing to the sink.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "server/AllowList.h"
#include "server/ButtonPacer.h"
#include "server/Decoder.h"
#include "server/LogLimiter.h"
#include "server/Message.h"

namespace pv::server {

// A holder that has sent nothing for this long yields to another address's
// first message: a handheld left on the desk must not keep a phone out.
inline constexpr std::chrono::seconds kIdleYield{30};

class HandheldSeat {
public:
    using Log = std::function<void(const std::string& line)>;
    using Clock = ButtonPacer::Clock;
    using Id = std::uint64_t;  // 0 is no connection

    // The sink must outlive the seat. Log receives connection events and refusals.
    HandheldSeat(MessageSink& sink, AllowList allow, Log log, Clock::duration spacing = kPressSpacing,
                 Clock::duration idleYield = kIdleYield);

    enum class Admission {
        Free,      // the connection may wait for the seat
        Replaces,  // the holder has the same address: Open() ends it, after the
                   // transport has fed what that connection still holds
        Refused,   // outside the allowed ranges
    };
    // Whether a new connection from address (host byte order; name is
    // "address:port" for the log) may connect at all. A refusal is logged, at
    // most one line per address per kLogInterval, with a count of the others.
    Admission Admit(std::uint32_t address, const std::string& name);

    // Registers a connection that Admit() let in and returns its id. It holds
    // nothing yet; a holder with the same address is ended ("replaced by NAME").
    Id Open(std::uint32_t address, const std::string& name);

    // The next bytes of connection id. At its first byte the connection takes
    // the seat ("connected NAME" is logged) if nobody holds it, the holder has
    // its address, or the holder has been silent for the idle yield. False
    // means the transport must close the connection: another address holds the
    // seat, the connection lost it, or its first byte is not one a handheld
    // ever sends first (then none of it is obeyed).
    bool Feed(Id id, const char* data, std::size_t size);

    // Connection id has ended (closed, failed, dead by keepalive, server
    // stopping). If it holds the seat, its unfinished bytes are reported as
    // skipped, what waits in the pacing is written, and a held button is
    // released.
    void End(Id id, const std::string& reason);

    // Whether the pen's samples are decoded (they may then also begin a stream)
    // or skipped as bytes that start no message. Off by default.
    void SetPenSamples(bool on) {
        m_pen = on;
        m_decoder.SetPenSamples(on);
    }

    bool Holds(Id id) const { return id != 0 && id == m_holder; }
    // Whether id is still open as far as the seat knows: false once it was
    // replaced, yielded, refused or ended. Its transport then closes it.
    bool Knows(Id id) const { return m_open.count(id) != 0; }
    Id Holder() const { return m_holder; }
    // The holder's address (host byte order); 0 while nobody holds the seat.
    std::uint32_t HolderAddress() const {
        auto found = m_open.find(m_holder);
        return m_holder != 0 && found != m_open.end() ? found->second.address : 0;
    }

    // Once stop is set, no message reaches the sink any more (a stop is obeyed
    // between messages, whatever is still queued); the release at the holder's
    // end still does. The flag must outlive the seat.
    void SetStop(const std::atomic<bool>& stop) { m_gate.stop = &stop; }

    // The button pacing's timed queue: the connection loop waits no longer than
    // NextDue() and then calls WriteDue().
    std::optional<Clock::time_point> NextDue() const { return m_pacer.NextDue(); }
    void WriteDue() { m_pacer.WriteDue(); }

private:
    struct Gate : MessageSink {
        explicit Gate(MessageSink& sink) : out(sink) {}
        void OnMessage(const Message& message) override {
            if (stop == nullptr || !stop->load()) {
                out.OnMessage(message);
            }
        }
        void OnConnectionEnd() override { out.OnConnectionEnd(); }
        MessageSink& out;
        const std::atomic<bool>* stop = nullptr;
    };
    struct Peer {
        std::uint32_t address = 0;
        std::string name;
    };
    void Refuse(std::uint32_t address, const std::string& line);
    // Whether connection id, which has just sent its first bytes, gets the seat.
    bool Claim(Id id, const Peer& peer, char first);
    void Release(const std::string& reason);

    AllowList m_allow;
    Log m_log;
    Gate m_gate;
    ButtonPacer m_pacer;
    Decoder m_decoder;
    LogLimiter m_refusals;
    Clock::duration m_idleYield;
    std::unordered_map<Id, Peer> m_open;
    Id m_holder = 0;
    Id m_lastId = 0;
    Clock::time_point m_lastHeard{};  // the holder's last bytes
    bool m_pen = false;
};

}  // namespace pv::server
