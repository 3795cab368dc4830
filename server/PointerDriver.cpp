#include "PointerDriver.h"

#include <algorithm>
#include <cstdint>

namespace pv::server {

int PointerDriver::MapToAxis(int value, int extent) {
    int clamped = std::clamp(value, 0, extent);
    return static_cast<int>(static_cast<std::int64_t>(clamped) * kAxisMax / extent);
}

void PointerDriver::OnMessage(const Message& message) {
    switch (message.kind) {
        case Message::Kind::Extent:
            // An empty or negative tablet maps nowhere: Positions wait for a usable Extent.
            if (message.a > 0 && message.b > 0) {
                m_extentA = message.a;
                m_extentB = message.b;
            } else {
                m_extentA = m_extentB = 0;
            }
            break;
        case Message::Kind::Position:
            if (m_extentA > 0) {
                m_device.Move(MapToAxis(message.a, m_extentA), MapToAxis(message.b, m_extentB));
            }
            break;
        case Message::Kind::ButtonDown:
            SetLeft(true);
            break;
        case Message::Kind::ButtonUp:
            SetLeft(false);
            break;
        case Message::Kind::RightClick:
            m_device.SetButton(PointerButton::Right, true);
            m_device.SetButton(PointerButton::Right, false);
            break;
        case Message::Kind::Attach:
        case Message::Kind::Skipped:
            break;
    }
}

void PointerDriver::OnConnectionEnd() {
    SetLeft(false);
}

void PointerDriver::SetLeft(bool down) {
    // The handheld may repeat a press or send a release without one; the desktop
    // only sees changes.
    if (down != m_leftDown) {
        m_leftDown = down;
        m_device.SetButton(PointerButton::Left, down);
    }
}

}  // namespace pv::server
