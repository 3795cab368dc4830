#pragma once
// The virtual pointer on the desktop, made through the kernel's uinput.

#include <memory>
#include <string>

#include "PointerDevice.h"

struct libevdev;
struct libevdev_uinput;

namespace pv::server {

inline constexpr char kDeviceName[] = "Penvale tablet";
inline constexpr char kUinputPath[] = "/dev/uinput";

class UinputDevice : public PointerDevice {
public:
    // Creates the device. On failure returns null and sets error to a message
    // that names the fix.
    static std::unique_ptr<UinputDevice> Create(std::string& error);
    ~UinputDevice() override;

    UinputDevice(const UinputDevice&) = delete;
    UinputDevice& operator=(const UinputDevice&) = delete;

    void Move(int x, int y) override;
    void SetButton(PointerButton button, bool down) override;

    // The event node of the device, such as /dev/input/event5 (needs /sys).
    std::string DevNode() const;

private:
    UinputDevice(libevdev* dev, libevdev_uinput* uidev) : m_dev(dev), m_uidev(uidev) {}

    libevdev* m_dev;
    libevdev_uinput* m_uidev;
};

}  // namespace pv::server
