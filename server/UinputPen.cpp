#include "server/UinputPen.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <cstring>

#include "link/PenSample.h"

namespace pv::server {

std::unique_ptr<UinputPen> UinputPen::Create(std::string& error) {
    UinputDevice::DevicePtr dev(libevdev_new());
    if (!dev) {
        error = std::strerror(ENOMEM);
        return nullptr;
    }
    // A pen tool, a tip, a stylus button and resolutions: without any of them
    // libinput does not take the device as a tablet.
    libevdev_set_name(dev.get(), kPenDeviceName);
    libevdev_set_id_bustype(dev.get(), BUS_VIRTUAL);
    libevdev_set_id_vendor(dev.get(), 0x1);
    libevdev_set_id_product(dev.get(), 0x2);
    libevdev_set_id_version(dev.get(), 0x1);
    libevdev_enable_event_type(dev.get(), EV_SYN);
    input_absinfo axis{};
    axis.maximum = kAxisMax;
    axis.resolution = kPenAxisResolution;
    libevdev_enable_event_code(dev.get(), EV_ABS, ABS_X, &axis);
    libevdev_enable_event_code(dev.get(), EV_ABS, ABS_Y, &axis);
    input_absinfo pressure{};
    pressure.maximum = protocol::kMaxPressure;
    libevdev_enable_event_code(dev.get(), EV_ABS, ABS_PRESSURE, &pressure);
    input_absinfo tilt{};
    tilt.minimum = -protocol::kMaxTilt;
    tilt.maximum = protocol::kMaxTilt;
    tilt.resolution = kTiltResolution;
    libevdev_enable_event_code(dev.get(), EV_ABS, ABS_TILT_X, &tilt);
    libevdev_enable_event_code(dev.get(), EV_ABS, ABS_TILT_Y, &tilt);
    for (unsigned int code : {BTN_TOOL_PEN, BTN_TOUCH, BTN_STYLUS}) {
        libevdev_enable_event_code(dev.get(), EV_KEY, code, nullptr);
    }

    libevdev_uinput* uidev = nullptr;
    int rc = libevdev_uinput_create_from_device(dev.get(), LIBEVDEV_UINPUT_OPEN_MANAGED, &uidev);
    if (rc < 0) {
        error = std::string(kUinputPath) + ": " + std::strerror(-rc);
        return nullptr;
    }
    return std::unique_ptr<UinputPen>(new UinputPen(std::move(dev), UinputDevice::UinputPtr(uidev)));
}

int UinputPen::Write(const PenFrame& frame) {
    // Every value goes out each time: the kernel passes on only those that changed.
    const input_event events[] = {
        {{}, EV_KEY, BTN_TOOL_PEN, frame.inRange ? 1 : 0},
        {{}, EV_ABS, ABS_X, frame.x},
        {{}, EV_ABS, ABS_Y, frame.y},
        {{}, EV_ABS, ABS_PRESSURE, frame.pressure},
        {{}, EV_ABS, ABS_TILT_X, frame.tiltX},
        {{}, EV_ABS, ABS_TILT_Y, frame.tiltY},
        {{}, EV_KEY, BTN_TOUCH, frame.touching ? 1 : 0},
        {{}, EV_KEY, BTN_STYLUS, frame.barrel ? 1 : 0},
        {{}, EV_SYN, SYN_REPORT, 0},
    };
    int error = 0;
    // The report goes out even after a failed event, so that no half frame waits.
    for (const input_event& event : events) {
        int rc = libevdev_uinput_write_event(m_uidev.get(), event.type, event.code, event.value);
        if (rc < 0 && error == 0) {
            error = -rc;
        }
    }
    return error;
}

std::string UinputPen::DevNode() const {
    const char* node = libevdev_uinput_get_devnode(m_uidev.get());
    return node != nullptr ? node : "";
}

}  // namespace pv::server
