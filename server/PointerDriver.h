#pragma once
// Turns decoded messages into pointer events.

#include <functional>
#include <string>

#include "server/Mapping.h"
#include "server/Message.h"
#include "server/PenDriver.h"
#include "server/PointerDevice.h"

namespace pv::server {

class PointerDriver : public MessageSink {
public:
    using Log = std::function<void(const std::string& line)>;
    using ExtentChanged = std::function<void(int a, int b)>;

    // The device must outlive the driver. Log receives device failures;
    // extentChanged is told each new usable Extent (to keep it across restarts).
    explicit PointerDriver(PointerDevice& device, Mapping mapping = Mapping(), Log log = {},
                           ExtentChanged extentChanged = {});

    void OnMessage(const Message& message) override;
    // Releases a button that is still down, so that a dropped or replaced
    // connection never leaves the desktop with a stuck button.
    void OnConnectionEnd() override;

    // An Extent known before any message (kept from the last run, or given);
    // ignored unless both numbers are positive.
    void SetExtent(int a, int b);

    // The pen's messages go there, mapped by the same Extent and rules as
    // Positions; without it they move nothing. It must outlive the driver.
    void SetPen(PenDriver* pen) { m_pen = pen; }

private:
    void SetButton(PointerButton button, bool down);
    // Logs the first failure of a run and the recovery after it, not each event.
    void Report(int error);

    PointerDevice& m_device;
    Mapping m_mapping;
    Log m_log;
    ExtentChanged m_extentChanged;
    // The last usable Extent; it outlives a connection because a handheld that
    // reconnects sends its next Extent only at its next pen event.
    int m_extentA = 0;
    int m_extentB = 0;
    // What the device has taken: a press or release it refused is tried again
    // with the next change or at the connection's end.
    bool m_down[2] = {false, false};
    bool m_failing = false;
    long m_lost = 0;
    PenDriver* m_pen = nullptr;
};

}  // namespace pv::server
