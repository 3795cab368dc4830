#include "server/PenDriver.h"

#include <cstring>

#include "link/PenSample.h"

namespace pv::server {

PenDriver::PenDriver(Factory factory, Log log) : m_factory(std::move(factory)), m_log(std::move(log)) {}

void PenDriver::OnMessage(const Message& message, std::optional<std::pair<int, int>> at) {
    switch (message.kind) {
        case Message::Kind::PenButtons:
            // A change always comes with a sample, whose frame carries it.
            m_buttons = message.a;
            break;
        case Message::Kind::PenHover:
        case Message::Kind::PenTouch: {
            if (!at || m_unavailable) {
                break;
            }
            if (!m_device) {
                std::string error;
                m_device = m_factory(error);
                if (!m_device) {
                    m_unavailable = true;
                    if (m_log) {
                        m_log("cannot make the virtual pen (" + error + "); pen samples are ignored");
                    }
                    break;
                }
            }
            bool touching = message.kind == Message::Kind::PenTouch;
            PenFrame frame;
            frame.inRange = true;
            frame.touching = touching;
            frame.x = at->first;
            frame.y = at->second;
            frame.pressure = touching ? message.pressure : 0;
            frame.tiltX = message.tiltX;
            frame.tiltY = message.tiltY;
            frame.barrel = (m_buttons & protocol::kBarrelButton) != 0;
            Write(frame);
            break;
        }
        case Message::Kind::PenOut:
            TakeOut();
            break;
        default:
            break;
    }
}

void PenDriver::OnConnectionEnd() {
    TakeOut();
    m_buttons = 0;
}

void PenDriver::TakeOut() {
    if (!m_device || !m_frame.inRange) {
        return;
    }
    // The tip lifts in a frame of its own before the pen leaves, as a real pen's does.
    if (m_frame.touching) {
        PenFrame lifted = m_frame;
        lifted.touching = false;
        lifted.pressure = 0;
        Write(lifted);
    }
    PenFrame out = m_frame;
    out.inRange = false;
    out.touching = false;
    out.pressure = 0;
    out.barrel = false;
    Write(out);
}

void PenDriver::Write(const PenFrame& frame) {
    int error = m_device->Write(frame);
    if (error == 0) {
        m_frame = frame;
        if (m_failing && m_log) {
            m_log("the virtual pen takes events again; " + std::to_string(m_lost) + " were lost");
        }
        m_failing = false;
        m_lost = 0;
        return;
    }
    ++m_lost;
    if (!m_failing && m_log) {
        m_log(std::string("the virtual pen refused an event (") + std::strerror(error) +
              "); the desktop misses pen samples until it takes them again");
    }
    m_failing = true;
}

}  // namespace pv::server
