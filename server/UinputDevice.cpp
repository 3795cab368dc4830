#include "server/UinputDevice.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pv::server {

namespace {

std::string UinputError(int error) {
    std::string text = std::string("cannot create the virtual pointer: ") + kUinputPath + ": " +
                       std::strerror(error) + ".\n";
    if (error == ENOENT || error == ENODEV) {
        return text +
               "Load the uinput module (modprobe uinput; the package installs "
               "modules-load.d/penvale.conf for the next boot), or run with --print.";
    }
    if (error == EACCES || error == EPERM) {
        return text +
               "Install the udev rule 60-penvale-uinput.rules (it gives the device to the user at the "
               "seat), then run 'udevadm trigger /dev/uinput' or log in again; or run the "
               "penvale-server.service unit; or run with --print.";
    }
    return text + "Run with --print to see the stream without a device.";
}

}  // namespace

std::unique_ptr<UinputDevice> UinputDevice::Create(std::string& error) {
    // Check first: libevdev reports a missing node and a refused one alike.
    if (access(kUinputPath, F_OK) != 0) {
        error = UinputError(ENOENT);
        return nullptr;
    }
    if (access(kUinputPath, R_OK | W_OK) != 0) {
        error = UinputError(errno);
        return nullptr;
    }

    DevicePtr dev(libevdev_new());
    if (!dev) {
        error = UinputError(ENOMEM);
        return nullptr;
    }
    // An absolute pointer with two buttons, as a virtual machine's tablet is: every
    // libinput desktop takes it as a pointer. A pen tool, a touch bit or a
    // resolution would make it a tablet or touch screen, which need more to work.
    libevdev_set_name(dev.get(), kDeviceName);
    libevdev_set_id_bustype(dev.get(), BUS_VIRTUAL);
    libevdev_set_id_vendor(dev.get(), 0x1);
    libevdev_set_id_product(dev.get(), 0x1);
    libevdev_set_id_version(dev.get(), 0x1);
    input_absinfo axis{};
    axis.minimum = 0;
    axis.maximum = kAxisMax;
    libevdev_enable_event_type(dev.get(), EV_SYN);
    libevdev_enable_event_code(dev.get(), EV_ABS, ABS_X, &axis);
    libevdev_enable_event_code(dev.get(), EV_ABS, ABS_Y, &axis);
    libevdev_enable_event_code(dev.get(), EV_KEY, BTN_LEFT, nullptr);
    libevdev_enable_event_code(dev.get(), EV_KEY, BTN_RIGHT, nullptr);

    libevdev_uinput* uidev = nullptr;
    int rc = libevdev_uinput_create_from_device(dev.get(), LIBEVDEV_UINPUT_OPEN_MANAGED, &uidev);
    if (rc < 0) {
        error = UinputError(-rc);
        return nullptr;
    }
    return std::unique_ptr<UinputDevice>(new UinputDevice(std::move(dev), UinputPtr(uidev)));
}

void UinputDevice::FreeDevice::operator()(libevdev* dev) const {
    libevdev_free(dev);
}

void UinputDevice::DestroyUinput::operator()(libevdev_uinput* uidev) const {
    libevdev_uinput_destroy(uidev);
}

int UinputDevice::WriteFrame(std::initializer_list<Event> events) {
    int error = 0;
    // The report goes out even after a failed event, so that the device is not
    // left with a half-written frame that the next one would complete.
    for (const Event& event : events) {
        int rc = libevdev_uinput_write_event(m_uidev.get(), event.type, event.code, event.value);
        if (rc < 0 && error == 0) {
            error = -rc;
        }
    }
    int rc = libevdev_uinput_write_event(m_uidev.get(), EV_SYN, SYN_REPORT, 0);
    if (rc < 0 && error == 0) {
        error = -rc;
    }
    return error;
}

int UinputDevice::Move(int x, int y) {
    return WriteFrame({{EV_ABS, ABS_X, x}, {EV_ABS, ABS_Y, y}});
}

int UinputDevice::SetButton(PointerButton button, bool down) {
    unsigned int code = button == PointerButton::Left ? BTN_LEFT : BTN_RIGHT;
    return WriteFrame({{EV_KEY, code, down ? 1 : 0}});
}

std::string UinputDevice::DevNode() const {
    const char* node = libevdev_uinput_get_devnode(m_uidev.get());
    return node != nullptr ? node : "";
}

}  // namespace pv::server
