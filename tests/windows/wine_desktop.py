#!/usr/bin/env python3
"""The Windows server (penvale-server.exe) under Wine, on an X server of its own (Xvfb),
driven over TCP by a handheld's stream from this Linux test, as a phone would drive it.

  wine_desktop.py prefix PREFIX
      makes the Wine prefix the Windows tests share (once per run).
  wine_desktop.py pointer PREFIX SERVER WxH
      the pointer lands on the exact pixel: corners, middle, quarters (xdotool).
  wine_desktop.py installer PREFIX SETUP
      penvale-server-setup.exe /S installs under Program Files with its Start menu
      entry and asks netsh for the firewall rule; the installed server serves the page
      from beside itself; the uninstaller removes it all and asks netsh to delete the rule.
  wine_desktop.py page PREFIX SERVER BUNDLE
      the browser handheld's page served by the Windows server, in headless Chromium
      on this machine (wine_page.mjs): a slide moves the pointer, and a page without
      the token is refused.
  wine_desktop.py clicks PREFIX SERVER RECORDER
      a test window inside Wine records the mouse messages: a tap is one press and
      release, "!^!^" a double click, "|" a right click; the button is released when
      the connection drops mid-drag and when the server is stopped with Ctrl+C.

Wine's ways, measured: the first move or two of a new process may be dropped and a
move to the point Wine set last is ignored, so each run starts with unique points
until one arrives; nothing here moves the pointer but the server. Exit 77 (skipped)
when Wine or Xvfb is missing.
"""
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77
SERVER_ADDRESS = "127.0.0.7"  # loopback only
HANDHELD_ADDRESS = "127.0.0.8"
STEP = 5.0  # seconds a step may take on a loaded machine
MAP_FAILURE = "failed to map the shared user data"

failures = []


def log(message):
    print(message, flush=True)


def fail(message):
    failures.append(message)
    log("FAIL: " + message)


def wait_for(what, timeout=STEP, interval=0.05):
    end = time.monotonic() + timeout
    while True:
        value = what()
        if value or time.monotonic() >= end:
            return value
        time.sleep(interval)


def free_port():
    with socket.socket() as probe:
        probe.bind((SERVER_ADDRESS, 0))
        return probe.getsockname()[1]


def wine_env(prefix, display=None):
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("DISPLAY", None)
    if display:
        env["DISPLAY"] = display
    return env


def quiet(command, env, timeout=120):
    # Output to /dev/null: a wineserver that inherits a pipe keeps its reader waiting.
    return subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=timeout).returncode


def make_prefix(prefix):
    started = time.monotonic()
    subprocess.run(["rm", "-rf", prefix], check=True)
    env = wine_env(prefix)
    quiet(["wineserver", "-p"], env)
    status = quiet(["wineboot", "-i"], env, timeout=300)
    quiet(["wineserver", "-w"], env)
    size = subprocess.run(["du", "-sm", prefix], capture_output=True, text=True).stdout.split()[0]
    log("Wine prefix made in %.1f s, %s MB" % (time.monotonic() - started, size))
    return 0 if status == 0 else 1


class Desktop:
    """An Xvfb of the given size with Wine's server and desktop started on it."""

    def __init__(self, prefix, size):
        self.size = size
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % size,
                                      "-nolisten", "tcp"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
        os.close(write_end)
        # Xvfb writes the number and its newline apart: the pipe stays open until both are read.
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.env = wine_env(prefix, self.display)
        quiet(["wineserver", "-k"], self.env)
        quiet(["wineserver", "-p"], self.env)
        quiet(["wineboot"], self.env)
        self.processes = []

    def pointer(self):
        out = subprocess.run(["xdotool", "getmouselocation"], env=self.env, capture_output=True, text=True,
                             timeout=10).stdout.split()
        fields = dict(part.split(":", 1) for part in out if ":" in part)
        return int(fields.get("x", -1)), int(fields.get("y", -1))

    def start(self, command, out_path, env=None):
        # Now and then Wine cannot lay out a new process's memory and it ends at once: started again.
        for attempt in range(3):
            with open(out_path, "wb") as out:
                process = subprocess.Popen(["wine"] + command, env=env or self.env, stdin=subprocess.DEVNULL,
                                           stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
            self.processes.append(process)
            if not wait_for(lambda: MAP_FAILURE in read(out_path), 1.0):
                return process
            process.wait(timeout=STEP)
            log("Wine could not start %s (%s), again" % (command[0], MAP_FAILURE))
        return process

    def run(self, command, out_path, env=None):
        process = self.start(command, out_path, env)
        process.wait(timeout=120)

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        quiet(["wineserver", "-k"], self.env)
        self.xvfb.terminate()
        self.xvfb.wait()


def read(path):
    with open(path, "rb") as file:
        return file.read().decode(errors="replace")


class Server:
    def __init__(self, desktop, exe, scratch, name, extra=()):
        self.port = free_port()
        self.log_path = os.path.join(scratch, name + ".log")
        self.process = desktop.start([exe, "--listen", SERVER_ADDRESS, "--port", str(self.port), "--state-dir",
                                      "C:\\penvale-test\\" + name] + list(extra), self.log_path)
        if not wait_for(lambda: "listening on" in read(self.log_path) or self.process.poll() is not None, 60):
            fail("the server did not start: " + read(self.log_path))

    def log(self):
        return read(self.log_path)


class Handheld:
    def __init__(self, server):
        self.socket = socket.create_connection((SERVER_ADDRESS, server.port), timeout=10,
                                               source_address=(HANDHELD_ADDRESS, 0))

    def send(self, data):
        self.socket.sendall(data)

    def extent(self, a, b):
        self.send(b":%04d%04d" % (a, b))

    def position(self, x, y):
        self.send(b">%4d%4d" % (x, y))

    def close(self):
        self.socket.close()


def settle_first_moves(desktop, handheld, extent):
    """Unique points until one arrives: Wine may drop a new process's first moves."""
    a, b = extent
    for i in range(1, 10):
        point = (a * i // 23, b * (i + 3) // 29)
        handheld.position(*point)
        expected = (point[0] * desktop.size[0] // a, point[1] * desktop.size[1] // b)
        if wait_for(lambda: abs(desktop.pointer()[0] - expected[0]) <= 2 and
                    abs(desktop.pointer()[1] - expected[1]) <= 2, 1.5):
            return True
    fail("no move of the server reached the X pointer")
    return False


def expect_pointer(desktop, what, expected):
    at = wait_for(lambda: desktop.pointer() == expected and expected, STEP) or desktop.pointer()
    if at != expected:
        fail("%s: pointer at %s, expected %s" % (what, at, expected))
    else:
        log("ok %s: %s" % (what, expected))


def run_pointer(prefix, exe, size, scratch):
    desktop = Desktop(prefix, size)
    try:
        w, h = size
        server = Server(desktop, exe, scratch, "pointer", ["--desktop", "%dx%d" % size])
        handheld = Handheld(server)
        # An Extent of another shape than the screen: the axes map apart.
        a, b = 1200, 800
        handheld.extent(a, b)
        if not settle_first_moves(desktop, handheld, (a, b)):
            return
        points = [
            ("middle", (a // 2, b // 2), (w // 2, h // 2)),
            ("top-left corner", (0, 0), (0, 0)),
            ("top-right corner", (a, 0), (w - 1, 0)),
            ("bottom-left corner", (0, b), (0, h - 1)),
            ("bottom-right corner", (a, b), (w - 1, h - 1)),
            ("first quarters", (a // 4, b // 4), (w // 4, h // 4)),
            ("third quarters", (3 * a // 4, 3 * b // 4), (3 * w // 4, 3 * h // 4)),
            ("quarter and three quarters", (a // 4, 3 * b // 4), (w // 4, 3 * h // 4)),
            ("outside the Extent, clamped", (-20, b + 40), (0, h - 1)),
            ("middle again", (a // 2, b // 2), (w // 2, h // 2)),
        ]
        for what, position, expected in points:
            handheld.position(*position)
            expect_pointer(desktop, "%dx%d %s" % (w, h, what), expected)
        handheld.close()
        # A second server on the same port is told so, not given the port (Windows would share it
        # with a socket option that the server leaves off there).
        second_log = os.path.join(scratch, "second.log")
        second = desktop.start([exe, "--listen", SERVER_ADDRESS, "--port", str(server.port)], second_log)
        status = second.wait(timeout=60)
        if status != 1 or "the port is in use" not in read(second_log):
            fail("a second server on the port: exit %s, %s" % (status, read(second_log)))
        else:
            log("ok a second server on the port says it is in use")
        server.process.kill()
    finally:
        desktop.close()


class Recorder:
    def __init__(self, desktop, exe, scratch):
        self.path = os.path.join(scratch, "window.log")
        self.process = desktop.start([exe, "100"], self.path)
        self.seen = 0
        if not wait_for(lambda: "ready" in read(self.path), 60):
            fail("the test window did not open: " + read(self.path))

    def events(self):
        lines = [line for line in read(self.path).splitlines() if line and not line.startswith("ready")]
        return [line.split()[0] for line in lines]

    def expect(self, what, expected, timeout=STEP):
        """The messages after the ones already taken are exactly expected."""
        wait_for(lambda: len(self.events()) >= self.seen + len(expected), timeout)
        time.sleep(0.4)  # and nothing more comes
        got = self.events()[self.seen:]
        self.seen += len(got)
        if got != expected:
            fail("%s: the window got %s, expected %s" % (what, got, expected))
        else:
            log("ok %s: %s" % (what, " ".join(got)))


def run_clicks(prefix, exe, recorder_exe, scratch):
    desktop = Desktop(prefix, (1024, 768))
    try:
        recorder = Recorder(desktop, recorder_exe, scratch)
        server = Server(desktop, exe, scratch, "clicks", ["--desktop", "1024x768"])
        handheld = Handheld(server)
        handheld.extent(1000, 1000)
        if not settle_first_moves(desktop, handheld, (1000, 1000)):
            return
        handheld.position(500, 500)
        expect_pointer(desktop, "over the test window", (512, 384))
        handheld.send(b"!^")
        recorder.expect("a tap", ["down", "up"])
        handheld.position(250, 250)
        expect_pointer(desktop, "elsewhere", (256, 192))
        handheld.send(b"!^!^")
        recorder.expect("the toolbar's double click", ["down", "up", "dblclk", "up"])
        handheld.send(b"|")
        recorder.expect("a right click", ["rdown", "rup"])
        # Pressed, dragged, and the connection gone: the button comes up.
        handheld.send(b"!")
        handheld.position(400, 400)
        recorder.expect("a press", ["down"])
        handheld.close()
        recorder.expect("the connection dropped mid-drag", ["up"])
        # Pressed, then Ctrl+C at the server: released before it ends.
        handheld = Handheld(server)
        handheld.extent(1000, 1000)
        handheld.position(300, 600)
        handheld.send(b"!")
        recorder.expect("a press on a new connection", ["down"])
        os.killpg(server.process.pid, signal.SIGINT)
        recorder.expect("Ctrl+C at the server", ["up"])
        if server.process.wait(timeout=STEP * 2) is None or "server stopping" not in server.log():
            fail("the server did not say it stopped: " + server.log())
        handheld.close()
    finally:
        desktop.close()


def netsh_calls(trace):
    """The netsh command lines in Wine's process trace."""
    calls = []
    for line in trace.splitlines():
        if "NtCreateUserProcess" in line and "netsh.exe" in line and 'cmdline L"' in line:
            command = line.split('cmdline L"', 1)[1].rsplit('" parent', 1)[0]
            calls.append(command.replace('\\"', '"').replace("\\\\", "\\"))
    return calls


def http_get(address, port, path):
    with socket.create_connection((address, port), timeout=10) as connection:
        connection.sendall(("GET %s HTTP/1.1\r\nHost: %s:%d\r\nConnection: close\r\n\r\n" %
                            (path, address, port)).encode())
        reply = b""
        while True:
            chunk = connection.recv(65536)
            if not chunk:
                return reply.decode(errors="replace")
            reply += chunk


def run_installer(prefix, setup, scratch):
    desktop = Desktop(prefix, (1024, 768))
    drive = os.path.join(prefix, "drive_c")
    folder = os.path.join(drive, "Program Files", "Penvale")
    menu = os.path.join(drive, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Penvale")
    trace_env = dict(desktop.env, WINEDEBUG="+process")
    try:
        desktop.run([setup, "/S"], os.path.join(scratch, "install.trace"), trace_env)
        calls = netsh_calls(read(os.path.join(scratch, "install.trace")))
        for name in ("penvale-server.exe", "uninstall.exe", os.path.join("web", "Penvale.htm")):
            if not os.path.isfile(os.path.join(folder, name)):
                fail("not installed: Program Files\\Penvale\\" + name)
        if not os.path.isfile(os.path.join(menu, "Penvale server.lnk")):
            fail("no Start menu entry")
        rule = [call for call in calls if "firewall add rule" in call]
        if len(rule) != 1 or not all(part in rule[0] for part in (
                'name="Penvale server"', "dir=in", "action=allow", "protocol=TCP", "localport=55,8080",
                "profile=private", "penvale-server.exe")):
            fail("the firewall rule asked of netsh: %s" % calls)
        else:
            log("ok installed, netsh asked: " + rule[0])

        # The installed server finds the page beside itself.
        server = Server(desktop, "C:\\Program Files\\Penvale\\penvale-server.exe", scratch, "installed",
                        ["--print", "--web", "0"])
        match = wait_for(lambda: [line for line in server.log().splitlines() if "serving the browser" in line])
        web_port = int(match[0].rsplit(":", 1)[1]) if match else 0
        help_page = http_get(SERVER_ADDRESS, web_port, "/Penvale.htm") if web_port else ""
        if " 200 " not in help_page.split("\r\n", 1)[0]:
            fail("the installed server did not serve its page: %s / %s" % (server.log(), help_page[:200]))
        else:
            log("ok the installed server serves the page from " + match[0].split(" from ", 1)[1])
        os.killpg(server.process.pid, signal.SIGINT)
        server.process.wait(timeout=STEP * 2)

        desktop.run(["C:\\Program Files\\Penvale\\uninstall.exe", "/S"], os.path.join(scratch, "uninstall.trace"),
                    trace_env)
        # The uninstaller runs on from a copy of itself.
        if not wait_for(lambda: not os.path.exists(folder) and not os.path.exists(menu), 30):
            fail("left after uninstalling: %s %s" % (os.path.exists(folder) and os.listdir(folder),
                                                     os.path.exists(menu) and os.listdir(menu)))
        else:
            log("ok uninstalled: the folder and the Start menu entry are gone")
        deleted = wait_for(lambda: any('firewall delete rule name="Penvale server"' in call for call in
                                       netsh_calls(read(os.path.join(scratch, "uninstall.trace")))), 30)
        calls = netsh_calls(read(os.path.join(scratch, "uninstall.trace")))
        if not deleted:
            fail("the uninstaller did not ask netsh to delete the rule: %s" % calls)
        else:
            log("ok the uninstaller asked netsh to delete the rule")
    finally:
        desktop.close()
        for name in ("install.trace", "uninstall.trace"):
            path = os.path.join(scratch, name)
            if os.path.exists(path):
                os.rename(path, path + ".txt")


def run_page(prefix, exe, bundle, scratch):
    here = os.path.dirname(os.path.abspath(__file__))
    if not os.path.isfile(os.path.join(bundle, "penvale.wasm")):
        print("SKIPPED: no web bundle in %s (Emscripten could not be installed, or scripts/web did not run)" % bundle)
        return SKIP
    if not os.path.isdir(os.path.join(here, "..", "web", "node_modules", "puppeteer-core")):
        print("SKIPPED: puppeteer-core is not installed (npm ci in tests/web)")
        return SKIP
    chromium = os.environ.get("PENVALE_CHROMIUM", "/usr/bin/chromium")
    if not os.access(chromium, os.X_OK):
        print("SKIPPED: no Chromium (Debian's chromium could not be installed)")
        return SKIP
    size = (1024, 768)
    desktop = Desktop(prefix, size)
    try:
        # Wine sees this machine's files on drive Z:.
        root = "Z:" + os.path.abspath(bundle).replace("/", "\\")
        server = Server(desktop, exe, scratch, "page", ["--desktop", "%dx%d" % size, "--web", "0", "--web-root", root])
        opened = wait_for(lambda: [line for line in server.log().splitlines() if "browser handheld: open" in line])
        if not opened:
            fail("the server gave no page address: " + server.log())
            return 0
        url = opened[0].split("open ", 1)[1].strip()
        result = subprocess.run(["node", os.path.join(here, "wine_page.mjs"), url, str(size[0]), str(size[1])],
                                env=desktop.env, capture_output=True, text=True, timeout=240)
        log(result.stdout + result.stderr)
        if result.returncode != 0:
            fail("the page under the Windows server")
        if not wait_for(lambda: "WebSocket without the token" in server.log(), 30):
            fail("the server did not refuse the page without the token: " + server.log())
        else:
            log("ok the server refused the page without the token")
    finally:
        desktop.close()
    return 0


def main(argv):
    for tool in ("wine", "wineserver", "wineboot", "Xvfb", "xdotool"):
        if subprocess.run(["sh", "-c", "command -v " + tool], capture_output=True).returncode != 0:
            print("SKIPPED: %s is not installed (scripts/deps.sh installs it)" % tool)
            return SKIP
    if len(argv) >= 2 and argv[0] == "prefix":
        return make_prefix(argv[1])
    scratch = tempfile.mkdtemp(prefix="penvale-wine-")
    started = time.monotonic()
    if len(argv) == 4 and argv[0] == "pointer":
        w, h = (int(n) for n in argv[3].split("x"))
        run_pointer(argv[1], argv[2], (w, h), scratch)
    elif len(argv) == 3 and argv[0] == "installer":
        run_installer(argv[1], argv[2], scratch)
    elif len(argv) == 4 and argv[0] == "page":
        if run_page(argv[1], argv[2], argv[3], scratch) == SKIP:
            return SKIP
    elif len(argv) == 4 and argv[0] == "clicks":
        run_clicks(argv[1], argv[2], argv[3], scratch)
    else:
        print(__doc__)
        return 2
    log("took %.1f s" % (time.monotonic() - started))
    for name in sorted(os.listdir(scratch)):
        if name.endswith(".log"):
            log("--- " + name + "\n" + read(os.path.join(scratch, name)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
