#pragma once
// The virtual pointer on the desktop, made through the kernel's uinput.

#include <initializer_list>
#include <memory>
#include <string>

#include "server/PointerDevice.h"

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

    int Move(int x, int y) override;
    int SetButton(PointerButton button, bool down) override;

    // The event node of the device, such as /dev/input/event5 (needs /sys).
    std::string DevNode() const;

    struct FreeDevice {
        void operator()(libevdev* dev) const;
    };
    struct DestroyUinput {
        void operator()(libevdev_uinput* uidev) const;
    };
    using DevicePtr = std::unique_ptr<libevdev, FreeDevice>;
    using UinputPtr = std::unique_ptr<libevdev_uinput, DestroyUinput>;

private:
    UinputDevice(DevicePtr dev, UinputPtr uidev) : m_dev(std::move(dev)), m_uidev(std::move(uidev)) {}

    struct Event {
        unsigned int type;
        unsigned int code;
        int value;
    };
    // Writes the events and a report; returns the first error as an errno, or 0.
    int WriteFrame(std::initializer_list<Event> events);

    // Declared in this order so that the uinput device is destroyed before the
    // description it was made from.
    DevicePtr m_dev;
    UinputPtr m_uidev;
};

}  // namespace pv::server
