#!/usr/bin/env python3
"""The real program under a real X server (Xvfb), driven with xdotool as a person would.

Checks what the desktop server receives around the program's modal boxes, and what the
window shows after an orientation change:
  orientation  Tools > Orientation > West shows the West icon at once.
  box count    a quick tap with nothing listening: one box per failing write.
  scenario 1   a quick tap with nothing listening, the server started while the first box
               is up, OK: no press reaches the server without a new touch, nor from a slide.
  scenario 2   the server goes away during a tap-and-hold drag ("CPV_Socket::OnClose"), the
               pen is lifted under the box, the server comes back, OK: the next tap is at
               most a click, the next slide sends no press.
  Slides after a box must not draw ink either: that is the handheld still in a drag.

Usage: xvfb_boxes.py PENVALE PENVALE_SERVER ICON_DIR OUT_DIR
Screenshots and the program's output go to OUT_DIR. Exit 77 (skipped) only when Xvfb,
xdotool or xwd is not installed (scripts/deps.sh installs them).
"""
import ctypes
import os
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import zlib

SKIP = 77
ADDRESS = "127.0.0.2"  # loopback only; the client's default address is never used
SCREEN = (800, 600)
# How long a hold takes in the program is about half a second; every wait below is by
# elapsed time and generous, so a loaded machine only makes the run slower.
SETTLE = 1.5
BUDGET = 150

processes = []
failures = []
notes = []


def log(message):
    print(message, flush=True)


def fail(message):
    failures.append(message)
    log("FAIL: " + message)


class Context:
    def __init__(self, penvale, server, icon_dir, out_dir):
        self.penvale = penvale
        self.server_path = server
        self.icon_dir = icon_dir
        self.out = out_dir
        self.tmp = tempfile.mkdtemp(prefix="penvale-xvfb-")
        self.env = None
        self.port = None


# ---------------------------------------------------------------- processes


def own_group_dying_with_us():
    """Runs in each child: its own process group (stopped whole), killed if this script dies
    without its clean-up (a test runner's kill)."""
    os.setsid()
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


def start(args, env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs):
    process = subprocess.Popen(args, env=env, stdout=stdout, stderr=stderr, preexec_fn=own_group_dying_with_us,
                               **kwargs)
    processes.append(process)
    return process


def stop(process, sig=signal.SIGTERM):
    if process is None or process.poll() is not None:
        return
    try:
        os.killpg(process.pid, sig)
    except ProcessLookupError:
        return
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait(timeout=5)


def stop_all():
    for process in reversed(processes):
        try:
            stop(process)
        except Exception as error:  # keep stopping the others
            log(f"could not stop {process.args[0]}: {error}")


def wait_until(predicate, seconds, step=0.05):
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return value
        time.sleep(step)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind((ADDRESS, 0))
        return probe.getsockname()[1]


def start_xvfb(ctx):
    read_end, write_end = os.pipe()
    xvfb = start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                  "-nolisten", "tcp", "-noreset"], os.environ.copy(), pass_fds=(write_end,))
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 20
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        ready, _, _ = select.select([read_end], [], [], 0.5)
        if ready:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    os.close(read_end)
    if not number.strip():
        raise RuntimeError("Xvfb did not name its display")
    return xvfb, ":" + number.decode().strip()


# ---------------------------------------------------------------- X helpers


def xdo(ctx, *args, check=True):
    result = subprocess.run(["xdotool", *map(str, args)], env=ctx.env, capture_output=True, text=True,
                            timeout=20)
    if check and result.returncode != 0:
        raise RuntimeError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
    return result.stdout


def penvale_windows(ctx):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Penvale$"], env=ctx.env,
                            capture_output=True, text=True, timeout=20)
    return [int(line) for line in result.stdout.split()]


def geometry(ctx, window):
    values = {}
    for line in xdo(ctx, "getwindowgeometry", "--shell", window).splitlines():
        key, _, value = line.partition("=")
        values[key] = int(value)
    return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]


def boxes(ctx, main):
    return [window for window in penvale_windows(ctx) if window != main]


def screenshot(ctx):
    """The root window as rows of RGB bytes, read back from the X server with xwd."""
    data = subprocess.run(["xwd", "-root", "-silent"], env=ctx.env, capture_output=True, timeout=20,
                          check=True).stdout
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    red_mask, green_mask, blue_mask, ncolors = header[14], header[15], header[16], header[19]
    if bits_per_pixel not in (24, 32):
        raise RuntimeError(f"xwd gave {bits_per_pixel} bits per pixel")
    step = bits_per_pixel // 8
    offset = header_size + 12 * ncolors
    order = "little" if byte_order == 0 else "big"
    plain = (red_mask, green_mask, blue_mask) == (0xFF0000, 0xFF00, 0xFF)

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + step * width]
        if plain:
            # Blue, green, red in memory when the low byte comes first.
            r, g, b = (2, 1, 0) if order == "little" else (step - 3, step - 2, step - 1)
            out = bytearray(3 * width)
            out[0::3], out[1::3], out[2::3] = line[r::step], line[g::step], line[b::step]
            rows.append(bytes(out))
            continue
        pixels = [int.from_bytes(line[i: i + step], order) for i in range(0, len(line), step)]
        rows.append(bytes(v for p in pixels
                          for v in ((p & red_mask) >> rs, (p & green_mask) >> gs, (p & blue_mask) >> bs)))
    return rows


def save_png(rows, path):
    height, width = len(rows), len(rows[0]) // 3
    raw = b"".join(b"\x00" + row for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as file:
        file.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                   + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def shoot(ctx, name):
    path = os.path.join(ctx.out, name + ".png")
    try:
        save_png(screenshot(ctx), path)
        log(f"  screenshot: {path}")
    except Exception as error:
        log(f"  screenshot {name} failed: {error}")


def load_icon(path):
    """A binary PPM (the program's icons, written by icon_dump) as rows of RGB bytes."""
    data = open(path, "rb").read()
    fields = data.split(maxsplit=4)
    if fields[0] != b"P6" or fields[3] != b"255":
        raise RuntimeError(f"{path}: not a binary PPM of 8-bit samples")
    width, height, pixels = int(fields[1]), int(fields[2]), fields[4]
    return [pixels[3 * width * y: 3 * width * (y + 1)] for y in range(height)]


def turned_half_round(icon):
    return [b"".join(row[3 * x: 3 * x + 3] for x in reversed(range(len(row) // 3))) for row in reversed(icon)]


def find_image(rows, image, area):
    """Top-left corners in area (x, y, w, h) where image appears pixel for pixel."""
    x0, y0, w, h = area
    found = []
    first, size = image[0], len(image)
    for y in range(max(0, y0), min(len(rows) - size, y0 + h) + 1):
        row = rows[y]
        start = 3 * max(0, x0)
        while True:
            at = row.find(first, start, 3 * min(len(row) // 3, x0 + w))
            if at < 0:
                break
            if at % 3 == 0:
                x = at // 3
                if all(rows[y + i][at: at + len(first)] == image[i] for i in range(size)):
                    found.append((x, y))
            start = at + 1
    return found


def region(rows, x, y, w, h):
    return [rows[y + i][3 * x: 3 * (x + w)] for i in range(h)]


# ---------------------------------------------------------------- the program and the server


def write_profile(ctx):
    folder = os.path.join(ctx.tmp, "config", "Penvale")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "Penvale.conf"), "w") as profile:
        profile.write(f"[Settings]\nIP%20Address={ADDRESS}\nPort={ctx.port}\n")


class Server:
    count = 0

    def __init__(self, ctx):
        Server.count += 1
        self.name = f"server{Server.count}"
        self.stdout_path = os.path.join(ctx.tmp, self.name + ".out")
        self.stderr_path = os.path.join(ctx.tmp, self.name + ".err")
        self.process = start([ctx.server_path, "--print", "--listen", ADDRESS, "--port", str(ctx.port)],
                             ctx.env, stdout=open(self.stdout_path, "w"), stderr=open(self.stderr_path, "w"))
        if not wait_until(lambda: "listening on" in self.errors() or self.process.poll() is not None, 10):
            raise RuntimeError(f"{self.name} did not start listening:\n{self.errors()}")
        if self.process.poll() is not None:
            raise RuntimeError(f"{self.name} ended at once:\n{self.errors()}")

    def lines(self):
        with open(self.stdout_path) as file:
            return [line.strip() for line in file if line.strip()]

    def errors(self):
        with open(self.stderr_path) as file:
            return file.read()

    def stop(self):
        stop(self.process)

    def dump(self):
        log(f"  --- {self.name} stdout:\n    " + "\n    ".join(self.lines() or ["(nothing)"]))
        log(f"  --- {self.name} stderr:\n    " + self.errors().replace("\n", "\n    "))


class Program:
    def __init__(self, ctx, name):
        write_profile(ctx)
        self.ctx = ctx
        self.name = name
        self.log_path = os.path.join(ctx.out, name + ".log")
        self.process = start([ctx.penvale], ctx.env, stdout=open(self.log_path, "w"), stderr=subprocess.STDOUT)
        self.window = None
        windows = wait_until(lambda: penvale_windows(ctx) or self.process.poll() is not None, 20)
        if self.process.poll() is not None or not windows:
            raise RuntimeError(f"{name}: no Penvale window appeared")
        self.window = windows[0]
        xdo(ctx, "windowfocus", "--sync", self.window)
        self.x, self.y, self.w, self.h = geometry(ctx, self.window)
        self.locate_surface()

    def locate_surface(self):
        """Finds the orientation icon, drawn in the middle of the surface, in the window."""
        icon = load_icon(os.path.join(self.ctx.icon_dir, "133.ppm"))  # North, the fresh profile's
        found = wait_until(lambda: find_image(screenshot(self.ctx), icon, (self.x, self.y, self.w, self.h)), 15,
                           step=0.3)
        if len(found) != 1:
            shoot(self.ctx, self.name + "-no-icon")
            raise RuntimeError(f"{self.name}: the North icon was not found once in the window ({found})")
        self.icon_at = found[0]
        # The surface spans the window's width and runs to its bottom; the icon sits in its middle.
        surface_height = 2 * (self.y + self.h - 16 - self.icon_at[1])
        self.top = self.y + self.h - surface_height
        log(f"  {self.name}: window {self.w}x{self.h}+{self.x}+{self.y}, surface top {self.top}, "
            f"icon at {self.icon_at}")

    def point(self, fx, fy):
        """A screen point at a fraction of the surface, clear of the icon."""
        return self.x + int(self.w * fx), self.top + int((self.y + self.h - self.top) * fy)

    def stop(self):
        stop(self.process)

    def dump(self):
        with open(self.log_path) as file:
            text = file.read().strip()
        log(f"  --- {self.name} output:\n    " + (text.replace("\n", "\n    ") if text else "(nothing)"))


def answer_boxes(ctx, program, first_wait, quiet, on_first=None):
    """OKs every box the program shows until none comes for `quiet` seconds; returns their sizes."""
    sizes = []
    wait = first_wait
    while True:
        found = wait_until(lambda: boxes(ctx, program.window), wait)
        if not found:
            return sizes
        box = found[0]
        try:
            _, _, width, height = geometry(ctx, box)
        except RuntimeError:
            continue  # gone meanwhile
        sizes.append((width, height))
        log(f"  box {len(sizes)}: {width}x{height}")
        if len(sizes) == 1 and on_first is not None:
            on_first()
        # No window manager: give the box the keyboard, then press Return (its OK is the default).
        xdo(ctx, "windowfocus", "--sync", box, check=False)
        xdo(ctx, "key", "Return", check=False)
        if not wait_until(lambda: box not in boxes(ctx, program.window), 5):
            bx, by, bw, bh = geometry(ctx, box)
            log("  Return did not close the box; clicking its OK button")
            xdo(ctx, "mousemove", bx + bw - 45, by + bh - 22, "click", "1", check=False)
            if not wait_until(lambda: box not in boxes(ctx, program.window), 5):
                shoot(ctx, program.name + "-box-stuck")
                raise RuntimeError(f"{program.name}: box {len(sizes)} could not be closed")
        wait = quiet


def downs_and_ups(lines):
    return [line for line in lines if line in ("down", "up")]


def lone_downs(lines):
    """Presses not followed at once by their release: what only a touch may start."""
    events = downs_and_ups(lines)
    return sum(1 for i, line in enumerate(events) if line == "down" and (i + 1 >= len(events)
                                                                         or events[i + 1] != "up"))


def slide(ctx, start_point, steps=8, dx=6, dy=4):
    """Press, a few moves, release, in one xdotool run so that no hold can start."""
    x, y = start_point
    args = ["mousemove", x, y, "mousedown", "1"]
    for k in range(1, steps + 1):
        args += ["mousemove", x + k * dx, y + k * dy, "sleep", "0.03"]
    args += ["mouseup", "1"]
    xdo(ctx, *args)


def slide_checked(ctx, program, server, fx, fy, label):
    """A plain slide: checks that it sends no press, and that the handheld draws no ink for it
    (a surface that still thinks a hold drag is going on would draw one). Returns what the
    server received for it."""
    x0, y0 = program.point(fx, fy)
    before = screenshot(ctx)
    count = len(server.lines())
    log(f"  slide from {(x0, y0)}")
    slide(ctx, (x0, y0))
    wait_until(lambda: "up" in server.lines()[count:], 5)
    time.sleep(0.5)
    after = screenshot(ctx)
    new = server.lines()[count:]
    if "down" in new:
        fail(f"{label}: the slide sent a press: {new}")
    if not any(line.startswith("position ") for line in new):
        fail(f"{label}: the slide sent no Positions: {new}")
    # The first part of the path, clear of the crosshair that the slide leaves at its end.
    path = (x0 - 3, y0 - 3, 34, 24)
    if region(before, *path) != region(after, *path):
        save_png(before, os.path.join(ctx.out, label.replace(" ", "") + "-before-slide.png"))
        save_png(after, os.path.join(ctx.out, label.replace(" ", "") + "-after-slide.png"))
        fail(f"{label}: the slide drew ink on the handheld along {path} as if the pen were pressing")
    return new


def tap(ctx, point):
    xdo(ctx, "mousemove", point[0], point[1], "click", "1")


# ---------------------------------------------------------------- checks


def check_orientation(ctx):
    log("== orientation: Tools > Orientation > West shows the West icon at once")
    north = load_icon(os.path.join(ctx.icon_dir, "133.ppm"))
    west = load_icon(os.path.join(ctx.icon_dir, "130.ppm"))
    east = load_icon(os.path.join(ctx.icon_dir, "132.ppm"))
    if west != turned_half_round(east):
        fail("the West icon file is not the East icon turned half round")
    if west == north:
        fail("the West and North icons are the same picture: nothing to compare")
    program = Program(ctx, "orientation")
    try:
        ix, iy = program.icon_at
        before = screenshot(ctx)
        if region(before, ix, iy, 32, 32) != north:
            fail("before: the middle of the surface does not show the North icon")
        # The menu button is the bar's first item; the keys walk the menu as a person would.
        xdo(ctx, "mousemove", program.x + 12, program.y + (program.top - program.y) // 2, "click", "1")
        time.sleep(0.5)
        xdo(ctx, "key", "Down", "sleep", "0.2", "key", "Right", "sleep", "0.3")
        shoot(ctx, "orientation-menu")
        xdo(ctx, "key", "Down", "sleep", "0.2", "key", "Return")
        # Away from the icon, and nothing else that could repaint the window.
        xdo(ctx, "mousemove", program.x + program.w - 5, program.y + program.h - 5)
        shown = wait_until(lambda: region(screenshot(ctx), ix, iy, 32, 32) == west, 3, step=0.2)
        after = screenshot(ctx)
        save_png(after, os.path.join(ctx.out, "orientation-after.png"))
        if not shown:
            shown_now = region(after, ix, iy, 32, 32)
            what = "still the North icon" if shown_now == north else "neither the North nor the West icon"
            fail(f"after choosing West the middle of the surface shows {what} "
                 f"(screenshots in {ctx.out})")
        else:
            log("  the West icon is shown where the North icon was")
        with open(os.path.join(ctx.tmp, "config", "Penvale", "Penvale.conf")) as profile:
            if "Orientation=32775" not in profile.read():
                fail("the profile does not hold the West orientation (32775) after the menu command")
    finally:
        program.stop()


def count_boxes_without_server(ctx):
    log("== box count: a quick tap with nothing listening")
    program = Program(ctx, "boxcount")
    try:
        point = program.point(0.3, 0.75)
        tap(ctx, point)
        sizes = answer_boxes(ctx, program, 15, 4)
        notes.append(f"quick tap, no server at all: {len(sizes)} box(es) {sizes}")
        log(f"  {len(sizes)} box(es)")
        if len(sizes) != 2:
            fail(f"a quick tap with no server showed {len(sizes)} box(es); one per failing write "
                 "(the Extent and the click) makes 2")
        return sizes
    finally:
        program.stop()


def scenario_tap_then_server(ctx):
    log("== scenario 1: quick tap with no server, server started while the first box is up")
    program = Program(ctx, "scenario1")
    server = None
    try:
        point = program.point(0.3, 0.75)
        log(f"  tap at {point}")
        tap(ctx, point)
        started = []

        def start_server():
            started.append(Server(ctx))

        sizes = answer_boxes(ctx, program, 15, 4, on_first=start_server)
        notes.append(f"quick tap, server started under the first box: {len(sizes)} box(es) {sizes}")
        if not sizes:
            fail("scenario 1: no box appeared for the tap with no server")
            return
        server = started[0]
        # Longer than a hold: a press that a lost pen-up left behind would go out by now.
        time.sleep(SETTLE)
        lines = server.lines()
        if "down" in lines:
            fail(f"scenario 1: a press reached the server without a new touch: {lines}")
        shoot(ctx, "scenario1-after-box")
        new = slide_checked(ctx, program, server, 0.2, 0.25, "scenario 1")
        if not any(line.startswith("extent ") for line in new):
            fail(f"scenario 1: the slide after the box sent no Extent: {new}")
        log(f"  server received: {server.lines()}")
    finally:
        if failures:
            shoot(ctx, "scenario1-end")
            program.dump()
            if server:
                server.dump()
        program.stop()
        if server:
            server.stop()


def scenario_close_during_drag(ctx, communication_box):
    log("== scenario 2: the server goes away during a tap-and-hold drag")
    server = Server(ctx)
    program = Program(ctx, "scenario2")
    second = None
    try:
        if not wait_until(lambda: "attach" in server.lines(), 10):
            fail(f"scenario 2: the program did not attach: {server.lines()}")
            return
        x, y = program.point(0.3, 0.7)
        log(f"  hold at {(x, y)}")
        xdo(ctx, "mousemove", x, y, "mousedown", "1")
        pressed = wait_until(lambda: "down" in server.lines(), 10)
        xdo(ctx, "mousemove", x + 10, y + 6, "sleep", "0.05", "mousemove", x + 20, y + 12)
        if not pressed:
            xdo(ctx, "mouseup", "1")
            fail(f"scenario 2: the tap-and-hold sent no press: {server.lines()}")
            return
        wait_until(lambda: server.lines()[-1].startswith("position"), 3)
        log(f"  dragging; server received: {server.lines()}")
        server.stop()
        found = wait_until(lambda: boxes(ctx, program.window), 10)
        if not found:
            xdo(ctx, "mouseup", "1")
            fail("scenario 2: no box appeared when the server closed the connection")
            return
        _, _, width, height = geometry(ctx, found[0])
        log(f"  box while the pen is down: {width}x{height}")
        if communication_box and (width, height) == communication_box:
            fail("scenario 2: the box is the size of the communication failure box, not the OnClose one")
        xdo(ctx, "mouseup", "1")
        time.sleep(0.3)
        second = Server(ctx)
        sizes = answer_boxes(ctx, program, 1, 4)
        notes.append(f"server closed during a drag: {len(sizes)} box(es) {sizes}, the first "
                     f"{width}x{height}")
        time.sleep(SETTLE)
        lines = second.lines()
        if "down" in lines:
            fail(f"scenario 2: a press reached the new server without a new touch: {lines}")
        # First a slide well after the box: the lifted pen has ended the drag by now.
        slide_checked(ctx, program, second, 0.55, 0.25, "scenario 2")
        count = len(second.lines())
        log(f"  tap at {(x, y)}")
        tap(ctx, (x, y))
        time.sleep(SETTLE)
        new = second.lines()[count:]
        if lone_downs(new):
            fail(f"scenario 2: the tap after the box left a press without its release: {new}")
        if len([line for line in new if line == "down"]) > 1:
            fail(f"scenario 2: the tap after the box sent more than one click: {new}")
        slide_checked(ctx, program, second, 0.2, 0.4, "scenario 2, after the tap")
        log(f"  new server received: {second.lines()}")
    finally:
        if failures:
            shoot(ctx, "scenario2-end")
            program.dump()
            server.dump()
            if second:
                second.dump()
        program.stop()
        server.stop()
        if second:
            second.stop()


def main():
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    missing = [tool for tool in ("Xvfb", "xdotool", "xwd") if shutil.which(tool) is None]
    if missing:
        print(f"SKIP: {', '.join(missing)} not installed (scripts/deps.sh installs them)")
        return SKIP
    ctx = Context(*[os.path.abspath(arg) for arg in sys.argv[1:]])
    os.makedirs(ctx.out, exist_ok=True)
    for old in os.listdir(ctx.out):
        if old.endswith((".png", ".log")):
            os.remove(os.path.join(ctx.out, old))
    began = time.monotonic()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    def out_of_time(*_):
        raise TimeoutError(f"the whole run took more than {BUDGET} s")

    # Every wait is bounded; this bounds their sum, well inside the test runner's limit.
    signal.signal(signal.SIGALRM, out_of_time)
    signal.alarm(BUDGET)
    try:
        xvfb, display = start_xvfb(ctx)
        env = {key: value for key, value in os.environ.items()
               if key not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SESSION_MANAGER")}
        runtime = os.path.join(ctx.tmp, "runtime")
        os.makedirs(runtime, mode=0o700)
        env.update(DISPLAY=display, HOME=ctx.tmp, XDG_CONFIG_HOME=os.path.join(ctx.tmp, "config"),
                   XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="0")
        ctx.env = env
        ctx.port = free_port()
        log(f"Xvfb on {display}; server port {ctx.port} on {ADDRESS}; output in {ctx.out}")

        check_orientation(ctx)
        sizes = count_boxes_without_server(ctx)
        scenario_tap_then_server(ctx)
        scenario_close_during_drag(ctx, sizes[0] if sizes else None)
    except Exception as error:
        fail(f"{type(error).__name__}: {error}")
        shoot(ctx, "error") if ctx.env else None
    finally:
        signal.alarm(0)
        stop_all()
        shutil.rmtree(ctx.tmp, ignore_errors=True)
    log(f"== boxes seen: " + "; ".join(notes))
    log(f"== {len(failures)} failure(s) in {time.monotonic() - began:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
