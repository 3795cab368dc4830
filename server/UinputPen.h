#pragma once
// The virtual pen on the desktop, made through the kernel's uinput: a tablet
// stylus that libinput takes as a tablet tool.

#include <memory>
#include <string>

#include "server/PenDevice.h"
#include "server/UinputDevice.h"

namespace pv::server {

inline constexpr char kPenDeviceName[] = "Penvale pen";
// Axis units per millimetre: the device claims a tablet of about 33 cm square,
// which only matters to programs that show its size.
inline constexpr int kPenAxisResolution = 100;
// Tilt is sent in degrees; its resolution is in units per radian.
inline constexpr int kTiltResolution = 57;

class UinputPen : public PenDevice {
public:
    // Creates the device. On failure returns null and sets error.
    static std::unique_ptr<UinputPen> Create(std::string& error);

    int Write(const PenFrame& frame) override;

    // The event node of the device, such as /dev/input/event6 (needs /sys).
    std::string DevNode() const;

private:
    UinputPen(UinputDevice::DevicePtr dev, UinputDevice::UinputPtr uidev)
        : m_dev(std::move(dev)), m_uidev(std::move(uidev)) {}

    UinputDevice::DevicePtr m_dev;
    UinputDevice::UinputPtr m_uidev;
};

}  // namespace pv::server
