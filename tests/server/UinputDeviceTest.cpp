// The real device, read back with libevdev. Needs a writable /dev/uinput.

#include "server/UinputDevice.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "server/PointerDriver.h"

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;

TEST(UinputDevice, IsAnAbsolutePointerAndItsEventsReadBack) {
    if (access(kUinputPath, R_OK | W_OK) != 0) {
        GTEST_SKIP() << kUinputPath << " is not usable here (" << std::strerror(errno)
                     << "): this kernel has no uinput or the user has no access to it";
    }
    std::string error;
    std::unique_ptr<UinputDevice> device = UinputDevice::Create(error);
    ASSERT_TRUE(device) << error;
    std::string node = device->DevNode();
    ASSERT_NE(node, "") << "no event node (is /sys mounted?)";
    // Open the node before any event is written: a later reader misses them.
    int fd = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << node << ": " << std::strerror(errno);
    libevdev* reader = nullptr;
    ASSERT_EQ(libevdev_new_from_fd(fd, &reader), 0);

    EXPECT_STREQ(libevdev_get_name(reader), "Penvale tablet");
    EXPECT_TRUE(libevdev_has_event_code(reader, EV_KEY, BTN_LEFT));
    EXPECT_TRUE(libevdev_has_event_code(reader, EV_KEY, BTN_RIGHT));
    // What would make a desktop take it for a tablet or a touch screen instead.
    EXPECT_FALSE(libevdev_has_event_code(reader, EV_KEY, BTN_TOOL_PEN));
    EXPECT_FALSE(libevdev_has_event_code(reader, EV_KEY, BTN_TOUCH));
    EXPECT_FALSE(libevdev_has_property(reader, INPUT_PROP_DIRECT));
    for (unsigned int axis : {ABS_X, ABS_Y}) {
        ASSERT_TRUE(libevdev_has_event_code(reader, EV_ABS, axis));
        EXPECT_EQ(libevdev_get_abs_minimum(reader, axis), 0);
        EXPECT_EQ(libevdev_get_abs_maximum(reader, axis), kAxisMax);
    }

    PointerDriver driver(*device);
    using K = Message::Kind;
    for (const Message& message : {Message{K::Extent, 960, 1072}, Message{K::Position, 960, 1072},
                                   Message{K::ButtonDown}, Message{K::Position, 480, -7},
                                   Message{K::ButtonUp}, Message{K::RightClick}, Message{K::ButtonDown}}) {
        driver.OnMessage(message);
    }
    driver.OnConnectionEnd();

    Lines events;
    input_event event;
    while (libevdev_next_event(reader, LIBEVDEV_READ_FLAG_NORMAL, &event) == LIBEVDEV_READ_STATUS_SUCCESS) {
        if (event.type != EV_SYN) {
            events.push_back(std::string(libevdev_event_code_get_name(event.type, event.code)) + " " +
                             std::to_string(event.value));
        }
    }
    EXPECT_EQ(events, (Lines{"ABS_X 32767", "ABS_Y 32767", "BTN_LEFT 1", "ABS_X 16383", "ABS_Y 0",
                             "BTN_LEFT 0", "BTN_RIGHT 1", "BTN_RIGHT 0", "BTN_LEFT 1", "BTN_LEFT 0"}));
    libevdev_free(reader);
    close(fd);
}

}  // namespace
}  // namespace pv::server
