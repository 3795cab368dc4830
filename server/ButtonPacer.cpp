#include "server/ButtonPacer.h"

namespace pv::server {

ButtonPacer::ButtonPacer(MessageSink& out, Clock::duration spacing, Now now)
    : m_out(out), m_spacing(spacing), m_now(std::move(now)) {}

ButtonPacer::Clock::time_point ButtonPacer::DueTime(const Message& message) const {
    if (message.kind == Message::Kind::ButtonDown && !m_leftDown && m_leftReleased) {
        return *m_leftReleased + m_spacing;
    }
    if (message.kind == Message::Kind::RightClick && m_rightReleased) {
        return *m_rightReleased + m_spacing;
    }
    return Clock::time_point::min();
}

void ButtonPacer::OnMessage(const Message& message) {
    if (!m_waiting.empty()) {
        m_waiting.push_back(message);
        WriteDue();
        return;
    }
    Clock::time_point now = m_now();
    if (DueTime(message) <= now) {
        Write(message, now);
    } else {
        m_waiting.push_back(message);
    }
}

std::optional<ButtonPacer::Clock::time_point> ButtonPacer::NextDue() const {
    if (m_waiting.empty()) {
        return std::nullopt;
    }
    return DueTime(m_waiting.front());
}

void ButtonPacer::WriteDue() {
    Clock::time_point now = m_now();
    while (!m_waiting.empty() && DueTime(m_waiting.front()) <= now) {
        Message message = m_waiting.front();
        m_waiting.pop_front();
        Write(message, now);
    }
}

void ButtonPacer::OnConnectionEnd() {
    Clock::time_point now = m_now();
    while (!m_waiting.empty()) {
        Message message = m_waiting.front();
        m_waiting.pop_front();
        Write(message, now);
    }
    if (m_leftDown) {
        m_leftDown = false;
        m_leftReleased = now;
    }
    m_out.OnConnectionEnd();
}

void ButtonPacer::Write(const Message& message, Clock::time_point now) {
    switch (message.kind) {
        case Message::Kind::ButtonDown:
            m_leftDown = true;
            break;
        case Message::Kind::ButtonUp:
            if (m_leftDown) {
                m_leftDown = false;
                m_leftReleased = now;
            }
            break;
        case Message::Kind::RightClick:
            m_rightReleased = now;
            break;
        default:
            break;
    }
    m_out.OnMessage(message);
}

}  // namespace pv::server
