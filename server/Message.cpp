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
    }
    return {};
}

}  // namespace pv::server
