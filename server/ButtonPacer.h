#pragma once
// Spaces a button's press from its previous release. A desktop's input stack
// takes a press that follows a release within a few milliseconds for a bounce
// and drops the pair, so "!^!^" written at once would be one click there. A
// press that comes too soon waits in a queue, and whatever follows it waits
// behind it so that motion stays in order with the buttons around it; nothing
// else is delayed and the connection loop never blocks.

#include <chrono>
#include <deque>
#include <functional>
#include <optional>

#include "server/Message.h"

namespace pv::server {

// Measured: at 30 ms X and a Wayland compositor see two clicks, at 10 ms one.
inline constexpr std::chrono::milliseconds kPressSpacing{30};

class ButtonPacer : public MessageSink {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    // The sink must outlive the pacer. now is the clock (tests set it).
    explicit ButtonPacer(MessageSink& out, Clock::duration spacing = kPressSpacing, Now now = &Clock::now);

    // Passes the message on at once, or queues it when it is a press too close
    // to its button's release, or when something already waits.
    void OnMessage(const Message& message) override;
    // Writes everything still waiting at once, then passes the end on (the
    // driver releases a held button there), so a release is never held back.
    void OnConnectionEnd() override;

    // When the first waiting message is due; nothing when none waits.
    std::optional<Clock::time_point> NextDue() const;
    // Writes the waiting messages that are due now.
    void WriteDue();

private:
    Clock::time_point DueTime(const Message& message) const;
    void Write(const Message& message, Clock::time_point now);

    MessageSink& m_out;
    Clock::duration m_spacing;
    Now m_now;
    std::deque<Message> m_waiting;
    // What the sink has been told: a repeated press or a stray release is no
    // change, so it neither waits nor starts a spacing.
    bool m_leftDown = false;
    std::optional<Clock::time_point> m_leftReleased;
    std::optional<Clock::time_point> m_rightReleased;
};

}  // namespace pv::server
