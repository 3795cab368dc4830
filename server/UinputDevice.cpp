#include "UinputDevice.h"

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

    libevdev* dev = libevdev_new();
    if (dev == nullptr) {
        error = UinputError(ENOMEM);
        return nullptr;
    }
    // An absolute pointer with two buttons, as a virtual machine's tablet is: every
    // libinput desktop takes it as a pointer. A pen tool, a touch bit or a
    // resolution would make it a tablet or touch screen, which need more to work.
    libevdev_set_name(dev, kDeviceName);
    libevdev_set_id_bustype(dev, BUS_VIRTUAL);
    libevdev_set_id_vendor(dev, 0x1);
    libevdev_set_id_product(dev, 0x1);
    libevdev_set_id_version(dev, 0x1);
    input_absinfo axis{};
    axis.minimum = 0;
    axis.maximum = kAxisMax;
    libevdev_enable_event_type(dev, EV_SYN);
    libevdev_enable_event_code(dev, EV_ABS, ABS_X, &axis);
    libevdev_enable_event_code(dev, EV_ABS, ABS_Y, &axis);
    libevdev_enable_event_code(dev, EV_KEY, BTN_LEFT, nullptr);
    libevdev_enable_event_code(dev, EV_KEY, BTN_RIGHT, nullptr);

    libevdev_uinput* uidev = nullptr;
    int rc = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &uidev);
    if (rc < 0) {
        libevdev_free(dev);
        error = UinputError(-rc);
        return nullptr;
    }
    return std::unique_ptr<UinputDevice>(new UinputDevice(dev, uidev));
}

UinputDevice::~UinputDevice() {
    libevdev_uinput_destroy(m_uidev);
    libevdev_free(m_dev);
}

void UinputDevice::Move(int x, int y) {
    libevdev_uinput_write_event(m_uidev, EV_ABS, ABS_X, x);
    libevdev_uinput_write_event(m_uidev, EV_ABS, ABS_Y, y);
    libevdev_uinput_write_event(m_uidev, EV_SYN, SYN_REPORT, 0);
}

void UinputDevice::SetButton(PointerButton button, bool down) {
    unsigned int code = button == PointerButton::Left ? BTN_LEFT : BTN_RIGHT;
    libevdev_uinput_write_event(m_uidev, EV_KEY, code, down ? 1 : 0);
    libevdev_uinput_write_event(m_uidev, EV_SYN, SYN_REPORT, 0);
}

std::string UinputDevice::DevNode() const {
    const char* node = libevdev_uinput_get_devnode(m_uidev);
    return node != nullptr ? node : "";
}

}  // namespace pv::server
