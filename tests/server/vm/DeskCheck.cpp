// Runs inside the desktop test guest, next to a penvale-server that owns a real uinput
// device picked up by a display server: plays scripted streams to the server over TCP
// and compares what a client of that display server sees.
//
//   pv-desk-check x11            a full-screen X window on $DISPLAY and XQueryPointer
//   pv-desk-check wayland LOG    the pointer events that wev writes to LOG, its surface
//                                filling the output
//
// Prints one line per step and a verdict line; exits 0 when every step passed.

#include <X11/Xlib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/server/vm/GuestConnection.h"

namespace {

using Clock = std::chrono::steady_clock;
using Events = std::vector<std::string>;

// The screen that both display servers are set up with.
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
// Emulated machines are slow and shared: bounds are generous, and a step that passes
// returns as soon as its events are in.
constexpr auto kStepTimeout = std::chrono::seconds(15);

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

std::string Text(Point p) {
    return std::to_string(p.x) + "," + std::to_string(p.y);
}

std::string Join(const Events& events) {
    std::string text;
    for (const std::string& event : events) {
        text += " [" + event + "]";
    }
    return text.empty() ? " (nothing)" : text;
}

// A handheld never writes two records within a tenth of a second of each other
// unless they belong together (the bytes of one gesture go out in one write).
class Connection : public pv::vm::GuestConnection {
public:
    void Send(const std::string& bytes) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        GuestConnection::Send(bytes);
    }
};

// What a client of the display server sees of the pointer. Events are written as
// "press B at X,Y", "release B at X,Y" (B: 1 left, 3 right) and "motion X,Y", with
// " held" added to a motion while a button is down; a run of motions counts as its last.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Waits until the pointer stands at the point; returns where it stands at the end.
    virtual Point WaitPointer(Point expected) = 0;
    // Forgets the events seen so far.
    virtual void Drain() = 0;
    // Gathers events until they are the expected ones or the time is up.
    virtual Events Collect(const Events& expected, Clock::duration timeout) = 0;

protected:
    static void Add(Events& events, const std::string& event) {
        if (event.rfind("motion", 0) == 0 && !events.empty() && events.back().rfind("motion", 0) == 0) {
            events.back() = event;
        } else {
            events.push_back(event);
        }
    }
};

class X11Desktop : public Desktop {
public:
    // Returns an empty pointer, with the reason printed, when the display cannot be used.
    static std::unique_ptr<X11Desktop> Open() {
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr) {
            std::printf("cannot open the X display\n");
            return nullptr;
        }
        int screen = DefaultScreen(display);
        std::printf("X screen %dx%d\n", DisplayWidth(display, screen), DisplayHeight(display, screen));
        if (DisplayWidth(display, screen) != kWidth || DisplayHeight(display, screen) != kHeight) {
            std::printf("the X screen is not %dx%d\n", kWidth, kHeight);
            XCloseDisplay(display);
            return nullptr;
        }
        return std::unique_ptr<X11Desktop>(new X11Desktop(display));
    }
    ~X11Desktop() override { XCloseDisplay(m_display); }

    Point WaitPointer(Point expected) override {
        Point at = Query();
        for (auto end = Clock::now() + kStepTimeout; at != expected && Clock::now() < end; at = Query()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return at;
    }

    void Drain() override {
        XSync(m_display, False);
        while (XPending(m_display) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
        }
    }

    Events Collect(const Events& expected, Clock::duration timeout) override {
        Events got;
        for (auto end = Clock::now() + timeout; got != expected && Clock::now() < end;) {
            if (XPending(m_display) == 0) {
                pollfd p{ConnectionNumber(m_display), POLLIN, 0};
                poll(&p, 1, 50);
                continue;
            }
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == ButtonPress || event.type == ButtonRelease) {
                const XButtonEvent& button = event.xbutton;
                Add(got, std::string(event.type == ButtonPress ? "press " : "release ") +
                             std::to_string(button.button) + " at " + Text({button.x_root, button.y_root}));
            } else if (event.type == MotionNotify) {
                const XMotionEvent& motion = event.xmotion;
                Add(got, "motion " + Text({motion.x_root, motion.y_root}) +
                             ((motion.state & (Button1Mask | Button3Mask)) != 0 ? " held" : ""));
            }
        }
        return got;
    }

private:
    explicit X11Desktop(Display* display) : m_display(display) {
        // A window over the whole screen that takes the pointer's events; without a
        // window manager, override-redirect keeps it exactly where it is put.
        Window root = DefaultRootWindow(display);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.event_mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | StructureNotifyMask;
        m_window = XCreateWindow(display, root, 0, 0, kWidth, kHeight, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
        XMapRaised(display, m_window);
        XEvent event;
        do {
            XNextEvent(display, &event);
        } while (event.type != MapNotify);
    }

    Point Query() {
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned int mask = 0;
        XQueryPointer(m_display, DefaultRootWindow(m_display), &root, &child, &rootX, &rootY, &x, &y, &mask);
        return {rootX, rootY};
    }

    Display* m_display;
    Window m_window = 0;
};

// Reads the pointer lines that wev writes as they come:
//   [13:      wl_pointer] enter: serial: 11; surface: 3, x, y: 100.000000, 100.000000
//   [13:      wl_pointer] motion: time: 55111; x, y: 1919.941406, 1079.968750
//   [13:      wl_pointer] button: serial: 12; time: 55200; button: 272 (left), state: 1 (pressed)
// Surface coordinates are fractions; the pixel under the pointer is their whole part.
class WaylandDesktop : public Desktop {
public:
    explicit WaylandDesktop(const char* log) : m_log(log) {}

    Point WaitPointer(Point expected) override {
        for (auto end = Clock::now() + kStepTimeout; m_at != expected && Clock::now() < end;) {
            if (!ReadLine(m_scratch)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        return m_at;
    }

    void Drain() override {
        while (ReadLine(m_scratch)) {
        }
        m_scratch.clear();
    }

    Events Collect(const Events& expected, Clock::duration timeout) override {
        Events got;
        for (auto end = Clock::now() + timeout; got != expected && Clock::now() < end;) {
            if (!ReadLine(got)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        return got;
    }

private:
    // Takes one complete line if there is one, adding its event to events.
    bool ReadLine(Events& events) {
        if (!m_file.is_open()) {
            m_file.open(m_log);
            if (!m_file.is_open()) {
                return false;
            }
        }
        char c = 0;
        while (m_file.get(c)) {
            if (c == '\n') {
                Parse(m_line, events);
                m_line.clear();
                return true;
            }
            m_line += c;
        }
        m_file.clear();  // at the end for now; wev writes more later
        return false;
    }

    void Parse(const std::string& line, Events& events) {
        if (line.find("wl_pointer]") == std::string::npos) {
            return;
        }
        double x = 0, y = 0;
        std::size_t coordinates = line.find("x, y: ");
        if (coordinates != std::string::npos &&
            std::sscanf(line.c_str() + coordinates, "x, y: %lf, %lf", &x, &y) == 2) {
            m_at = {static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))};
            Add(events, "motion " + Text(m_at) + (m_held > 0 ? " held" : ""));
            return;
        }
        unsigned button = 0, state = 0;
        // "button: " also starts the event's name: the fields follow the last one.
        std::size_t fields = line.rfind("button: ");
        if (fields != std::string::npos &&
            std::sscanf(line.c_str() + fields, "button: %u (%*[^)]), state: %u", &button, &state) == 2) {
            // Linux button codes: BTN_LEFT 272, BTN_RIGHT 273.
            int number = button == 272 ? 1 : button == 273 ? 3 : static_cast<int>(button);
            m_held += state == 1 ? 1 : -1;
            Add(events,
                std::string(state == 1 ? "press " : "release ") + std::to_string(number) + " at " + Text(m_at));
        }
    }

    const char* m_log;
    std::ifstream m_file;
    std::string m_line;
    Events m_scratch;
    Point m_at{-1, -1};
    int m_held = 0;
};

class Checker {
public:
    Checker(Desktop& desktop, const char* name) : m_desktop(desktop), m_name(name) {}

    void ExpectPointer(const std::string& step, Point expected) {
        Point at = m_desktop.WaitPointer(expected);
        Report(step, at == expected, "pointer at " + Text(expected), "pointer at " + Text(at));
    }

    // Call before the action whose events a following Expect checks.
    void Drain() { m_desktop.Drain(); }

    void Expect(const std::string& step, const Events& expected) {
        Events got = m_desktop.Collect(expected, kStepTimeout);
        Report(step, got == expected, Join(expected), Join(got));
    }

    // Nothing more may come after the last step.
    void ExpectNoMore() {
        Events got = m_desktop.Collect({"(nothing)"}, std::chrono::seconds(1));
        Report("nothing after the last step", got.empty(), " (nothing)", Join(got));
    }

    bool Passed() const { return m_failures == 0; }

    void Verdict() const {
        if (m_failures == 0) {
            std::printf("%s: PASS (%d steps)\n", m_name, m_steps);
        } else {
            std::printf("%s: FAIL (%d of %d steps)\n", m_name, m_failures, m_steps);
        }
        std::fflush(stdout);
    }

private:
    void Report(const std::string& step, bool ok, const std::string& expected, const std::string& got) {
        ++m_steps;
        if (ok) {
            std::printf("ok   %s: %s\n", m_name, step.c_str());
        } else {
            ++m_failures;
            std::printf("FAIL %s: %s\n     expected: %s\n     got:      %s\n", m_name, step.c_str(),
                        expected.c_str(), got.c_str());
        }
        std::fflush(stdout);
    }

    Desktop& m_desktop;
    const char* m_name;
    int m_steps = 0;
    int m_failures = 0;
};

void Run(Checker& check) {
    constexpr Point kMiddle{kWidth / 2, kHeight / 2};
    constexpr Point kRight{kWidth * 3 / 4, kHeight * 3 / 4};
    {
        Connection handheld;
        // Positions of a 960 x 540 Extent: 0 and 960 (540) are the screen's edges.
        handheld.Send("+:09600540> 480 270");
        check.ExpectPointer("the middle of the Extent is the middle pixel", kMiddle);
        handheld.Send(">   0   0");
        check.ExpectPointer("top-left corner", {0, 0});
        handheld.Send("> 960   0");
        check.ExpectPointer("top-right corner", {kWidth - 1, 0});
        handheld.Send(">   0 540");
        check.ExpectPointer("bottom-left corner", {0, kHeight - 1});
        handheld.Send("> 960 540");
        check.ExpectPointer("bottom-right corner", {kWidth - 1, kHeight - 1});
        handheld.Send(">-5009999");
        check.ExpectPointer("outside the Extent, clamped", {0, kHeight - 1});
        handheld.Send(">2000-100");
        check.ExpectPointer("outside the other way, clamped", {kWidth - 1, 0});
        handheld.Send(":02400320>  60  80");
        check.ExpectPointer("a new Extent maps the next Position", {kWidth / 4, kHeight / 4});

        handheld.Send(":09600540> 480 270");
        check.ExpectPointer("back to the middle", kMiddle);
        check.Drain();
        handheld.Send("!");
        check.Expect("press", {"press 1 at " + Text(kMiddle)});
        handheld.Send("> 720 405");
        check.Expect("drag with the button held", {"motion " + Text(kRight) + " held"});
        handheld.Send("^");
        check.Expect("release where the drag ended", {"release 1 at " + Text(kRight)});
        handheld.Send("|");
        check.Expect("a right click", {"press 3 at " + Text(kRight), "release 3 at " + Text(kRight)});
        handheld.Send("!^");
        check.Expect("a tap is a click", {"press 1 at " + Text(kRight), "release 1 at " + Text(kRight)});
        // Both clicks of a double click are written at once.
        handheld.Send("!^!^");
        check.Expect("a double click is two clicks",
                     {"press 1 at " + Text(kRight), "release 1 at " + Text(kRight), "press 1 at " + Text(kRight),
                      "release 1 at " + Text(kRight)});
        handheld.Send("!");
        check.Expect("press before the connection drops", {"press 1 at " + Text(kRight)});
    }
    check.Expect("a dropped connection releases the button", {"release 1 at " + Text(kRight)});
    check.ExpectNoMore();
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 2 && std::strcmp(argv[1], "x11") == 0) {
        std::unique_ptr<X11Desktop> desktop = X11Desktop::Open();
        if (!desktop) {
            std::printf("X11: FAIL (no usable display)\n");
            return 1;
        }
        Checker check(*desktop, "X11");
        Run(check);
        check.Verdict();
        return check.Passed() ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "wayland") == 0) {
        WaylandDesktop desktop(argv[2]);
        Checker check(desktop, "Wayland");
        Run(check);
        check.Verdict();
        return check.Passed() ? 0 : 1;
    }
    std::fprintf(stderr, "usage: %s x11 | wayland WEV_LOG\n", argv[0]);
    return 2;
}
