#include "server/PointerDriver.h"

#include <cstring>

namespace pv::server {

PointerDriver::PointerDriver(PointerDevice& device, Mapping mapping, Log log, ExtentChanged extentChanged)
    : m_device(device), m_mapping(mapping), m_log(std::move(log)), m_extentChanged(std::move(extentChanged)) {}

void PointerDriver::SetExtent(int a, int b) {
    if (a > 0 && b > 0) {
        m_extentA = a;
        m_extentB = b;
    }
}

void PointerDriver::OnMessage(const Message& message) {
    switch (message.kind) {
        case Message::Kind::Extent:
            // An empty or negative tablet maps nowhere: Positions wait for a usable Extent.
            if (message.a > 0 && message.b > 0) {
                if ((message.a != m_extentA || message.b != m_extentB) && m_extentChanged) {
                    m_extentChanged(message.a, message.b);
                }
                m_extentA = message.a;
                m_extentB = message.b;
            } else {
                m_extentA = m_extentB = 0;
            }
            break;
        case Message::Kind::Position:
            if (m_extentA > 0) {
                auto [x, y] = m_mapping.Map(message.a, message.b, m_extentA, m_extentB);
                Report(m_device.Move(x, y));
            }
            break;
        case Message::Kind::ButtonDown:
            SetButton(PointerButton::Left, true);
            break;
        case Message::Kind::ButtonUp:
            SetButton(PointerButton::Left, false);
            break;
        case Message::Kind::RightClick:
            SetButton(PointerButton::Right, true);
            SetButton(PointerButton::Right, false);
            break;
        case Message::Kind::Attach:
        case Message::Kind::Skipped:
            break;
        case Message::Kind::PenHover:
        case Message::Kind::PenTouch:
        case Message::Kind::PenButtons:
        case Message::Kind::PenOut:
            if (m_pen != nullptr) {
                std::optional<std::pair<int, int>> at;
                if (m_extentA > 0) {
                    at = m_mapping.Map(message.a, message.b, m_extentA, m_extentB);
                }
                m_pen->OnMessage(message, at);
            }
            break;
    }
}

void PointerDriver::OnConnectionEnd() {
    SetButton(PointerButton::Left, false);
    SetButton(PointerButton::Right, false);
    if (m_pen != nullptr) {
        m_pen->OnConnectionEnd();
    }
}

void PointerDriver::SetButton(PointerButton button, bool down) {
    // The handheld may repeat a press or send a release without one; the desktop
    // only sees changes.
    bool& state = m_down[button == PointerButton::Left ? 0 : 1];
    if (down == state) {
        return;
    }
    int error = m_device.SetButton(button, down);
    Report(error);
    if (error == 0) {
        state = down;
    }
}

void PointerDriver::Report(int error) {
    if (error != 0) {
        ++m_lost;
        if (!m_failing && m_log) {
            m_log(std::string("the virtual pointer refused an event (") + std::strerror(error) +
                  "); the desktop misses events until it takes them again");
        }
        m_failing = true;
    } else if (m_failing) {
        if (m_log) {
            m_log("the virtual pointer takes events again; " + std::to_string(m_lost) + " were lost");
        }
        m_failing = false;
        m_lost = 0;
    }
}

}  // namespace pv::server
