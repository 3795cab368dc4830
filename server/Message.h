#pragma once
// What the decoder makes of the handheld's byte stream, and the interface of
// whatever consumes it (the pointer driver, the --print output, tests).

#include <string>

namespace pv::server {

struct Message {
    enum class Kind {
        Attach, Extent, Position, ButtonDown, ButtonUp, RightClick, Skipped,
        PenHover, PenTouch, PenButtons, PenOut,  // the pen's samples
    };
    Kind kind = Kind::Attach;
    // Extent: A and B; Position, PenHover, PenTouch, PenOut: X and Y; Skipped:
    // the byte count in a; PenButtons: the side buttons in a.
    int a = 0;
    int b = 0;
    // PenHover and PenTouch (pressure 0 when hovering).
    int pressure = 0;
    int tiltX = 0;
    int tiltY = 0;

    friend bool operator==(const Message&, const Message&) = default;
};

// One line of the --print output, without the newline: "attach", "extent A B",
// "position X Y", "down", "up", "right-click", "skipped N", "pen hover X Y",
// "pen touch X Y PRESSURE TILTX TILTY", "pen buttons B" or "pen out".
std::string FormatMessage(const Message& message);

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void OnMessage(const Message& message) = 0;
    // The connection that carried the messages has ended or was replaced. Called
    // after the decoder has reported every byte of it.
    virtual void OnConnectionEnd() {}
};

}  // namespace pv::server
