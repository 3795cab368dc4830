#pragma once
// The desktop's virtual pen, beside the pointer: a tablet stylus with a tip, a
// barrel button, pressure and tilt over the same absolute axes.

namespace pv::server {

// The pen's whole state, as the device reports it.
struct PenFrame {
    bool inRange = false;
    bool touching = false;
    int x = 0;  // 0..kAxisMax, as the pointer's axes
    int y = 0;
    int pressure = 0;  // 0..4095
    int tiltX = 0;     // degrees
    int tiltY = 0;
    bool barrel = false;
    friend bool operator==(const PenFrame&, const PenFrame&) = default;
};

class PenDevice {
public:
    virtual ~PenDevice() = default;
    // One complete event frame: the desktop sees the state at once. Returns 0,
    // or the errno of a write the device did not take.
    virtual int Write(const PenFrame& frame) = 0;
};

}  // namespace pv::server
