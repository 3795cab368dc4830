#include "server/Message.h"

namespace pv::server {

std::string FormatMessage(const Message& message) {
    switch (message.kind) {
        case Message::Kind::Attach:
            return "attach";
        case Message::Kind::Extent:
            return "extent " + std::to_string(message.a) + " " + std::to_string(message.b);
        case Message::Kind::Position:
            return "position " + std::to_string(message.a) + " " + std::to_string(message.b);
        case Message::Kind::ButtonDown:
            return "down";
        case Message::Kind::ButtonUp:
            return "up";
        case Message::Kind::RightClick:
            return "right-click";
        case Message::Kind::Skipped:
            return "skipped " + std::to_string(message.a);
        case Message::Kind::PenHover:
            return "pen hover " + std::to_string(message.a) + " " + std::to_string(message.b);
        case Message::Kind::PenTouch:
            return "pen touch " + std::to_string(message.a) + " " + std::to_string(message.b) + " " +
                   std::to_string(message.pressure) + " " + std::to_string(message.tiltX) + " " +
                   std::to_string(message.tiltY);
        case Message::Kind::PenButtons:
            return "pen buttons " + std::to_string(message.a);
        case Message::Kind::PenOut:
            return "pen out";
    }
    return {};
}

}  // namespace pv::server
