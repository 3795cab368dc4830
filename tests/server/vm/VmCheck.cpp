// Runs inside the test guest, next to a penvale-server that owns a real uinput
// device: opens the device's event node before anything is written, plays
// scripted streams to the server over TCP and compares what the device reports.
// Prints one line per step and a verdict line that the host reads off the console.

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/server/vm/GuestConnection.h"

namespace {

using Events = std::vector<std::string>;

constexpr char kDeviceName[] = "Penvale tablet";

// The event node of the device named wanted, found through sysfs.
std::string FindNode(const std::string& wanted = kDeviceName) {
    DIR* dir = opendir("/sys/class/input");
    if (dir == nullptr) {
        return {};
    }
    std::string node;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.rfind("event", 0) != 0) {
            continue;
        }
        std::ifstream file("/sys/class/input/" + name + "/device/name");
        std::string deviceName;
        std::getline(file, deviceName);
        if (deviceName == wanted) {
            node = "/dev/input/" + name;
        }
    }
    closedir(dir);
    return node;
}

using Connection = pv::vm::GuestConnection;

class Checker {
public:
    explicit Checker(libevdev* device, int fd) : m_device(device), m_fd(fd) {}

    // Reads the events that follow an action until as many as expected have come
    // (synchronisation reports left out) and compares them.
    void Expect(const std::string& step, const Events& expected) {
        Events got;
        while (got.size() < expected.size()) {
            input_event event;
            int rc = libevdev_next_event(m_device, LIBEVDEV_READ_FLAG_NORMAL, &event);
            if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
                if (event.type != EV_SYN) {
                    got.push_back(std::string(libevdev_event_code_get_name(event.type, event.code)) + " " +
                                  std::to_string(event.value));
                }
                continue;
            }
            // Nothing yet: wait for more, with a bound so a lost event ends the run.
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) {
                break;
            }
        }
        ++m_steps;
        if (got == expected) {
            std::printf("ok   %s\n", step.c_str());
        } else {
            ++m_failures;
            std::printf("FAIL %s\n     expected:%s\n     got:     %s\n", step.c_str(), Join(expected).c_str(),
                        Join(got).c_str());
        }
        std::fflush(stdout);
    }

    // After the last step nothing more may come.
    void ExpectNoMore() {
        pollfd p{m_fd, POLLIN, 0};
        input_event event;
        if (poll(&p, 1, 300) > 0 && libevdev_next_event(m_device, LIBEVDEV_READ_FLAG_NORMAL, &event) ==
                                        LIBEVDEV_READ_STATUS_SUCCESS) {
            ++m_failures;
            std::printf("FAIL an event after the last step: %s %d\n",
                        libevdev_event_code_get_name(event.type, event.code), event.value);
        }
    }

    int Steps() const { return m_steps; }
    int Failures() const { return m_failures; }

private:
    static std::string Join(const Events& events) {
        std::string text;
        for (const std::string& event : events) {
            text += " [" + event + "]";
        }
        return text;
    }

    libevdev* m_device;
    int m_fd;
    int m_steps = 0;
    int m_failures = 0;
};

}  // namespace

int main() {
    std::string node;
    for (int tries = 0; tries < 200 && node.empty(); ++tries) {
        node = FindNode();
        if (node.empty()) {
            usleep(50000);
        }
    }
    if (node.empty()) {
        std::printf("PENVALE VM TEST: FAIL (no input device named \"%s\")\n", kDeviceName);
        return 1;
    }
    // Opened before the first event is written: a reader opened later misses them.
    int fd = open(node.c_str(), O_RDONLY | O_NONBLOCK);
    libevdev* device = nullptr;
    if (fd < 0 || libevdev_new_from_fd(fd, &device) != 0) {
        std::printf("PENVALE VM TEST: FAIL (cannot open %s)\n", node.c_str());
        return 1;
    }
    std::printf("device %s: %s, X 0..%d, Y 0..%d\n", node.c_str(), libevdev_get_name(device),
                libevdev_get_abs_maximum(device, ABS_X), libevdev_get_abs_maximum(device, ABS_Y));
    Checker check(device, fd);

    // The kernel drops an event whose value equals the current one, so every step
    // changes something, and an axis that stays put gives no event.
    // Positions map onto the 32768 steps that libinput divides the axis into, rounded up,
    // so that each lands inside the pixel it names: the middle is 16384, not 16383.
    {
        Connection handheld;
        handheld.Send("+:09601072> 480 536");
        check.Expect("the middle of a 960 x 1072 Extent", {"ABS_X 16384", "ABS_Y 16384"});
        handheld.Send(">   0   0");
        check.Expect("top-left corner", {"ABS_X 0", "ABS_Y 0"});
        handheld.Send("> 9601072");
        check.Expect("bottom-right corner", {"ABS_X 32767", "ABS_Y 32767"});
        handheld.Send("> 960   0");
        check.Expect("top-right corner", {"ABS_Y 0"});
        handheld.Send(">   01072");
        check.Expect("bottom-left corner", {"ABS_X 0", "ABS_Y 32767"});
        handheld.Send("> 240 268");
        check.Expect("a quarter of the way", {"ABS_X 8192", "ABS_Y 8192"});
        handheld.Send(">-5009999");
        check.Expect("outside the Extent, clamped", {"ABS_X 0", "ABS_Y 32767"});
        handheld.Send(">2000-100");
        check.Expect("outside the other way, clamped", {"ABS_X 32767", "ABS_Y 0"});
        handheld.Send(":02400320>  60  80");
        check.Expect("a new Extent maps the next Position", {"ABS_X 8192", "ABS_Y 8192"});

        handheld.Send("!");
        check.Expect("ButtonDown presses the left button", {"BTN_LEFT 1"});
        handheld.Send("^");
        check.Expect("ButtonUp releases it", {"BTN_LEFT 0"});
        handheld.Send("|");
        check.Expect("RightClick presses and releases the right button", {"BTN_RIGHT 1", "BTN_RIGHT 0"});
        handheld.Send("!^!^");
        check.Expect("a double click", {"BTN_LEFT 1", "BTN_LEFT 0", "BTN_LEFT 1", "BTN_LEFT 0"});
        handheld.Send("!");
        check.Expect("press before the connection drops", {"BTN_LEFT 1"});
    }
    check.Expect("a dropped connection releases the button", {"BTN_LEFT 0"});
    {
        Connection first;
        first.Send("!");
        check.Expect("press on the first connection", {"BTN_LEFT 1"});
        Connection second;
        check.Expect("a second connection replaces the first and releases the button", {"BTN_LEFT 0"});
        second.Send(">   0   0!");
        check.Expect("the second connection drives the pointer", {"ABS_X 0", "ABS_Y 0", "BTN_LEFT 1"});
        second.Send("^");
        check.Expect("and releases", {"BTN_LEFT 0"});
    }
    check.ExpectNoMore();

    // The pen: its own device, made at the first sample. The records are those the
    // handheld writes: '~', the phase, X, Y, pressure, tilt X, tilt Y, buttons.
    int penSteps = 0;
    int penFailures = 1;
    {
        Connection handheld;
        handheld.Send(":09601072~h 480 5360000 10-2000");
        std::string penNode;
        for (int tries = 0; tries < 200 && penNode.empty(); ++tries) {
            penNode = FindNode("Penvale pen");
            if (penNode.empty()) {
                usleep(50000);
            }
        }
        int penFd = penNode.empty() ? -1 : open(penNode.c_str(), O_RDONLY | O_NONBLOCK);
        libevdev* pen = nullptr;
        if (penFd < 0 || libevdev_new_from_fd(penFd, &pen) != 0) {
            std::printf("FAIL no \"Penvale pen\" device after the first pen sample\n");
        } else {
            // Opened after the first sample: libevdev starts from the state it had made.
            Checker penCheck(pen, penFd);
            std::printf("pen %s: %s, pressure 0..%d, tilt %d..%d at %d per radian, in range %d\n", penNode.c_str(),
                        libevdev_get_name(pen), libevdev_get_abs_maximum(pen, ABS_PRESSURE),
                        libevdev_get_abs_minimum(pen, ABS_TILT_X), libevdev_get_abs_maximum(pen, ABS_TILT_X),
                        libevdev_get_abs_resolution(pen, ABS_TILT_X), libevdev_get_event_value(pen, EV_KEY, BTN_TOOL_PEN));
            handheld.Send("~t 96010722000 10-2000");
            penCheck.Expect("the pen's tip touches with pressure",
                            {"ABS_X 32767", "ABS_Y 32767", "ABS_PRESSURE 2000", "BTN_TOUCH 1"});
            handheld.Send("~t 96010723000 30-4002");
            penCheck.Expect("more pressure, tilt and the barrel button",
                            {"ABS_PRESSURE 3000", "ABS_TILT_X 30", "ABS_TILT_Y -40", "BTN_STYLUS 1"});
            handheld.Send("~o 96010720000 30-4000");
            penCheck.Expect("out of range: the tip lifts, then the pen and its button leave",
                            {"ABS_PRESSURE 0", "BTN_TOUCH 0", "BTN_TOOL_PEN 0", "BTN_STYLUS 0"});
            handheld.Send("~h   0   00000  0  000~t   0   00500  0  000");
            penCheck.Expect("back in range and touching",
                            {"BTN_TOOL_PEN 1", "ABS_X 0", "ABS_Y 0", "ABS_TILT_X 0", "ABS_TILT_Y 0",
                             "ABS_PRESSURE 500", "BTN_TOUCH 1"});
            handheld.Close();
            penCheck.Expect("a dropped connection lifts the pen and takes it out",
                            {"ABS_PRESSURE 0", "BTN_TOUCH 0", "BTN_TOOL_PEN 0"});
            penCheck.ExpectNoMore();
            penSteps = penCheck.Steps();
            penFailures = penCheck.Failures();
            libevdev_free(pen);
            close(penFd);
        }
    }
    // The pointer saw none of it.
    check.ExpectNoMore();

    int failures = check.Failures() + penFailures;
    int steps = check.Steps() + penSteps;
    if (failures == 0) {
        std::printf("PENVALE VM TEST: PASS (%d steps)\n", steps);
    } else {
        std::printf("PENVALE VM TEST: FAIL (%d of %d steps)\n", failures, steps);
    }
    std::fflush(stdout);
    libevdev_free(device);
    close(fd);
    return failures == 0 ? 0 : 1;
}
