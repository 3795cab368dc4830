#pragma once
// Turns the pen's messages into frames of the virtual pen, which is made at the
// first sample so that a desktop without a pen never sees one.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "server/Message.h"
#include "server/PenDevice.h"

namespace pv::server {

class PenDriver {
public:
    using Log = std::function<void(const std::string& line)>;
    // Makes the device; null with error set when it cannot.
    using Factory = std::function<std::unique_ptr<PenDevice>(std::string& error)>;

    PenDriver(Factory factory, Log log);

    // A pen message; at is where its X and Y land on the axes, nothing while no
    // usable Extent is known (the sample then moves nothing).
    void OnMessage(const Message& message, std::optional<std::pair<int, int>> at);
    // Lifts the tip and takes the pen out of range, so that a dropped or
    // replaced connection never leaves a stroke drawing.
    void OnConnectionEnd();

private:
    void TakeOut();
    void Write(const PenFrame& frame);

    Factory m_factory;
    Log m_log;
    std::unique_ptr<PenDevice> m_device;
    bool m_unavailable = false;  // the device could not be made: samples are dropped
    PenFrame m_frame;            // what the device has taken
    int m_buttons = 0;
    bool m_failing = false;
    long m_lost = 0;
};

}  // namespace pv::server
