#pragma once
// Turns decoded messages into pointer events.

#include "Message.h"
#include "PointerDevice.h"

namespace pv::server {

class PointerDriver : public MessageSink {
public:
    // The device must outlive the driver.
    explicit PointerDriver(PointerDevice& device) : m_device(device) {}

    void OnMessage(const Message& message) override;
    // Releases a button that is still down, so that a dropped or replaced
    // connection never leaves the desktop with a stuck button.
    void OnConnectionEnd() override;

    // Where a Position lands on an axis of kAxisMax + 1 steps: 0 and the Extent's
    // number map to the two edges; values outside are clamped to them.
    static int MapToAxis(int value, int extent);

private:
    void SetLeft(bool down);

    PointerDevice& m_device;
    // The last usable Extent; it outlives a connection because a handheld that
    // reconnects sends its next Extent only at its next pen event.
    int m_extentA = 0;
    int m_extentB = 0;
    bool m_leftDown = false;
};

}  // namespace pv::server
