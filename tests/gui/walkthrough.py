#!/usr/bin/env python3
"""Walks through velquor's window with the real dialogs on a virtual X display.

usage: walkthrough.py VELQUOR RES_DIR METER_SIM [--screenshots DIR]

Starts `velquor --simulate` under its own Xvfb (xvfb-run -a) and drives it with
xdotool as a user would: Setup Unit (accepted, refused, the low-frequency
question), the logging dialog started and stopped, Print Preview opened and
closed, the trace's Play/Pause/Stop, the Statistics window beside a window near
the screen's edge, a new window, a second program on a meter the first holds
(velquor-meter-sim on a pseudo-terminal), closing a window while its unit setup
waits for a meter that never acknowledges, the window under a 16-point system
font, four meters in the station window with remote control on, and Exit. Every dialog must appear, hold the keyboard and go away without
leaving a window behind. Every wait polls with a generous bound, so a loaded
machine only makes it slower.
"""

import ctypes
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse
import zlib

WAIT_S = 30.0  # bound of every wait for a window or a file
POLL_S = 0.1
EXIT_LIMIT_S = 1.5
MAIN_TITLE = "^DPW - Orvane ViridIrivi RA$"
STATION_TITLE = "^Orvane ViridIrivi RA - [0-9]+ meters?$"

# Where the view puts its fixed controls (client pixels), and their images.
SETUP_BUTTON = (191, 339)
SAVE_BUTTON = (191, 387)
CABLE_LOSS_EDIT = (12, 242)
IMAGES = {"setup": 132, "save": 152, "play": 144, "stop": 146, "pause": 142}
# The panels' frames (client pixels): the right edge of Unit Properties and Unit
# Setup, from the top to the bottom of each, in the frame's grey.
PANEL_RIGHT_EDGES = [(224, 22, 158), (224, 182, 421)]
FRAME_GREY = b"\xa0\xa0\xa0"
SCREEN = (1280, 800)


class Failure(Exception):
    pass


# ---- running things ---------------------------------------------------------

ENV = dict(os.environ)


def run(*args, check=True):
    result = subprocess.run(args, capture_output=True, env=ENV, timeout=60)
    if check and result.returncode != 0:
        raise Failure("%s failed: %s" % (" ".join(args), result.stderr.decode(errors="replace")))
    return result.stdout


def wait_until(what, probe, limit=WAIT_S):
    end = time.monotonic() + limit
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("no %s within %.0f s" % (what, limit))
        time.sleep(POLL_S)


def holds(what, probe, seconds):
    """probe() stays true for the whole time (a state that must not change)."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if not probe():
            raise Failure(what)
        time.sleep(POLL_S)


# ---- X windows --------------------------------------------------------------


class App:
    def __init__(self, pid, title=None):
        self.pid = pid
        self.title = title or MAIN_TITLE

    def windows(self):
        """Visible top-level windows of the program: {id: (name, role)}."""
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.pid)],
                             capture_output=True, env=ENV, timeout=60).stdout.decode()
        found = {}
        for line in out.split():
            wid = int(line)
            info = run("xprop", "-id", str(wid), "WM_NAME", "WM_WINDOW_ROLE",
                       "_NET_WM_WINDOW_TYPE", check=False)
            name = role = ""
            tooltip = False
            for prop in info.decode(errors="replace").splitlines():
                if "=" not in prop:
                    continue
                key, value = prop.split("=", 1)
                value = value.strip().strip('"')
                if key.startswith("WM_NAME"):
                    name = value
                elif key.startswith("WM_WINDOW_ROLE"):
                    role = value
                elif key.startswith("_NET_WM_WINDOW_TYPE"):
                    tooltip = "TOOLTIP" in value
            # A button's tooltip comes and goes with the pointer; it is no window
            # anybody has to close.
            if not tooltip:
                found[wid] = (name, role)
        return found

    def main_window(self):
        ids = run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.pid),
                  "--name", self.title, check=False).split()
        return int(ids[0]) if ids else None

    def others(self):
        main = self.main_window()
        return {w: nr for w, nr in self.windows().items() if w != main}


def alive(pid):
    """The process runs (a zombie nobody reaps counts as ended)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def window_pid(wid):
    out = run("xprop", "-id", str(wid), "_NET_WM_PID", check=False).decode()
    return int(out.split("=")[1]) if "=" in out else None


def focused():
    out = run("xdotool", "getwindowfocus", check=False).strip()
    return int(out) if out else None


def key(*keys):
    run("xdotool", "key", "--clearmodifiers", *keys)


def type_text(text):
    run("xdotool", "type", "--delay", "20", text)


def click(x, y):
    run("xdotool", "mousemove", str(x), str(y), "click", "1")


def request_close(wid):
    """What a window manager's close button does: WM_DELETE_WINDOW to the window."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class XEvent(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    display = x11.XOpenDisplay(ENV["DISPLAY"].encode())
    if not display:
        raise Failure("cannot open the display to close a window")
    event = XEvent()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = wid
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, wid, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


def geometry(wid):
    info = run("xwininfo", "-id", str(wid)).decode()
    values = {}
    for line in info.splitlines():
        line = line.strip()
        for field in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            if line.startswith(field + ":"):
                values[field] = int(line.split(":")[1])
    return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
            values["Width"], values["Height"])


# ---- pictures ---------------------------------------------------------------


class Picture:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def row(self, y, x0=0, x1=None):
        x1 = self.width if x1 is None else x1
        start = (y * self.width) * 3
        return self.rgb[start + x0 * 3:start + x1 * 3]

    def region(self, x, y, w, h):
        return b"".join(self.row(yy, x, x + w) for yy in range(y, y + h))

    def crop(self, x, y, w, h):
        return Picture(w, h, self.region(x, y, w, h))


def screenshot(save_as=None):
    data = run("import", "-window", "root", "-depth", "8", "ppm:-")
    if save_as:
        with open(save_as, "wb") as out:
            out.write(data)
    # P6 header: magic, width, height, maxval, each followed by white space.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise Failure("unexpected screenshot format")
    width, height = int(fields[1]), int(fields[2])
    return Picture(width, height, data[pos:pos + width * height * 3])


def read_png(path):
    """An 8-bit RGB, non-interlaced PNG (our artwork) as a Picture."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour != 2 or interlace != 0:
                raise Failure("%s: not an 8-bit RGB PNG" % path)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride, rows, prev = width * 3, [], bytearray(width * 3)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append(bytes(line))
        prev = line
    return Picture(width, height, b"".join(rows))


def find(picture, template):
    """Top-left corners where template appears pixel for pixel."""
    first = template.row(0)
    hits = []
    for y in range(picture.height - template.height + 1):
        line = picture.row(y)
        start = line.find(first)
        while start >= 0:
            if start % 3 == 0:
                x = start // 3
                if all(picture.row(y + k, x, x + template.width) == template.row(k)
                       for k in range(1, template.height)):
                    hits.append((x, y))
            start = line.find(first, start + 1)
    return hits


# ---- the walk-through -------------------------------------------------------


class Walk:
    def __init__(self, velquor, res_dir, meter_sim, shots):
        self.velquor, self.meter_sim, self.shots, self.step = velquor, meter_sim, shots, 0
        self.images = {name: read_png(os.path.join(res_dir, "bitmap_%d.png" % number))
                       for name, number in IMAGES.items()}
        self.work = tempfile.mkdtemp(prefix="velquor-walk-")
        self.proc = None

    def shot(self, name):
        self.step += 1
        path = None
        if self.shots:
            path = os.path.join(self.shots, "%02d-%s.ppm" % (self.step, name))
        return screenshot(path)

    def locate(self, name, picture=None):
        hits = find(picture or self.shot("locate-" + name), self.images[name])
        if len(hits) != 1:
            raise Failure("the %s button was found %d times" % (name, len(hits)))
        return hits[0]

    def locate_in(self, name, wid, picture):
        """A button of one window, where other programs' windows may show the same."""
        x, y, w, h = geometry(wid)
        x0, y0 = max(x, 0), max(y, 0)
        inside = picture.crop(x0, y0, min(w, picture.width - x0), min(h, picture.height - y0))
        hits = find(inside, self.images[name])
        if len(hits) != 1:
            raise Failure("the %s button was found %d times in its window" % (name, len(hits)))
        return (x0 + hits[0][0], y0 + hits[0][1])

    def start_program(self, args, what, env=None):
        """Another program; its main window up with nothing else."""
        # The pointer away from any button, so that no tooltip covers the new window.
        run("xdotool", "mousemove", str(SCREEN[0] - 1), str(SCREEN[1] - 1))
        process = subprocess.Popen([self.velquor] + args, env=env or ENV, stdout=self.log,
                                   stderr=subprocess.STDOUT)
        app = App(process.pid)
        wait_until(what + "'s window", app.main_window)
        self.expect_alone("the start of " + what, app=app)
        return process, app

    def view_point(self, point, dx=0, dy=0):
        return (self.origin[0] + point[0] + dx, self.origin[1] + point[1] + dy)

    # -- dialogs --

    def expect_dialog(self, what, match, app=None):
        """Waits for one new window that match() accepts; it must hold the keyboard and
        nothing (the busy indication included) may cover it."""
        app = app or self.app

        def appeared():
            others = app.others()
            hits = [w for w, nr in others.items() if match(*nr)]
            return hits[0] if hits else None
        wid = wait_until(what, appeared)
        wait_until("the keyboard in the " + what, lambda: focused() == wid)

        def uncovered():
            roles = [role for _, role in app.others().values()]
            return focused() == wid and "busyIndicator" not in roles
        # Longer than the busy indication's delay: it must not come up over the dialog.
        holds("the %s lost the keyboard or was covered" % what, uncovered, 0.8)
        return wid

    def expect_gone(self, what, wid, app=None):
        app = app or self.app
        wait_until(what + " to close", lambda: wid not in app.windows())

    def expect_alone(self, what, settle_s=1.0, app=None):
        """Only the main window is left, and stays so for settle_s."""
        app = app or self.app
        wait_until("only the main window after " + what, lambda: not app.others())
        holds("a window appeared after " + what, lambda: not app.others(), settle_s)

    def answer(self, what, role, keys, name=None, app=None):
        wid = self.expect_dialog(what, lambda n, r: r == role and (name is None or n == name), app)
        self.shot(what.replace(" ", "-"))
        key(*keys)
        self.expect_gone(what, wid, app)

    def file_menu(self, letter, app=None, menus_right=0):
        """Opens File (or the menu that many to the right of it) and picks letter."""
        app = app or self.app
        x, y, _, _ = geometry(app.main_window())
        click(x + 20, y + 10)
        # The open menu is a window of its own and holds the keyboard.
        wait_until("the File menu", app.others)
        for _ in range(menus_right):
            key("Right")
        key(letter)

    def exit_program(self, app, what):
        """File > Exit; the program must end at once and leave no window."""
        self.file_menu("x", app)
        started = time.monotonic()
        wait_until("the windows of %s to go" % what, lambda: not app.windows())
        # An idle close takes some 40 ms; a second means something waits it out.
        # (The process's own end is not timed: a sanitizer's exit scan adds to it.)
        took = time.monotonic() - started
        if took > EXIT_LIMIT_S:
            raise Failure("the windows of %s took %.1f s to go after File > Exit"
                          % (what, took))
        wait_until("the end of " + what, lambda: not alive(app.pid))
        if app.windows():
            raise Failure("windows are left after %s ended" % what)

    def set_field(self, point, text):
        click(*point)
        key("ctrl+a")
        type_text(text)

    # -- steps --

    def start(self):
        bin_dir = os.path.join(self.work, "bin")
        os.mkdir(bin_dir)
        self.opened = os.path.join(self.work, "opened")
        # The finished log is "opened" here instead of in some desktop program.
        with open(os.path.join(bin_dir, "xdg-open"), "w") as f:
            f.write("#!/bin/sh\nprintf '%%s\\n' \"$*\" >> '%s'\n" % self.opened)
        os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
        ENV["PATH"] = bin_dir + os.pathsep + ENV.get("PATH", "")
        ENV["QT_QPA_PLATFORM"] = "xcb"
        ENV["HOME"] = self.work
        ENV["XDG_CONFIG_HOME"] = os.path.join(self.work, "config")
        ENV["XDG_RUNTIME_DIR"] = os.path.join(self.work, "runtime")
        os.mkdir(ENV["XDG_RUNTIME_DIR"], 0o700)
        for var in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "BROWSER"):
            ENV.pop(var, None)
        self.log = open(os.path.join(self.work, "velquor.err"), "wb")
        self.proc = subprocess.Popen([self.velquor, "--simulate"], env=ENV,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.app = App(self.proc.pid)
        wait_until("main window", self.app.main_window)
        picture = wait_until("the painted window", lambda: (
            lambda p: p if find(p, self.images["setup"]) else None)(self.shot("start")))
        setup = self.locate("setup", picture)
        self.origin = (setup[0] - SETUP_BUTTON[0], setup[1] - SETUP_BUTTON[1])
        # Where the view starts in its window (below the menu bar and the toolbar).
        self.view_top = self.origin[1] - geometry(self.app.main_window())[1]
        self.expect_alone("start-up")

    def setup_unit(self):
        setup = self.view_point(SETUP_BUTTON, 16, 16)
        cable = self.view_point(CABLE_LOSS_EDIT, 25, 8)

        # Accepted as it stands (the unit's own frequency).
        click(*setup)
        self.answer("setup result", "message", ["Return"])
        self.expect_alone("setup accepted")

        # Refused: a whole-MHz field with a fraction.
        click(*cable)
        key("shift+Tab", "ctrl+a")
        type_text("1700.5")
        click(*setup)
        self.answer("refusal", "message", ["Return"])
        self.expect_alone("setup refused")

        # The low-frequency question, answered No (then refused) and Yes (then written).
        for answer, then in (("Escape", "range message"), ("y", "setup result")):
            click(*cable)
            key("shift+Tab", "ctrl+a")
            type_text("450")
            click(*setup)
            self.answer("low-frequency question", "question", [answer])
            self.answer(then, "message", ["Return"])
            self.expect_alone("the low-frequency question")

    def logging(self):
        path = os.path.join(self.work, "walk log.txt")
        click(*self.view_point(SAVE_BUTTON, 16, 16))
        wid = self.expect_dialog("logging dialog", lambda n, r: n == "Save Measurement Data")
        self.shot("logging-dialog")
        type_text(path)
        key("Return")
        self.expect_gone("logging dialog", wid)
        self.expect_alone("starting the log")

        def rows():
            try:
                with open(path, "rb") as f:
                    return f.read().count(b"\r\n") >= 4
            except OSError:
                return False
        wait_until("two rows in the log", rows)
        self.shot("logging")
        self.file_menu("t")  # Stop Saving
        wait_until("the finished log opened", lambda: os.path.exists(self.opened))
        self.expect_alone("stopping the log")
        with open(path, "rb") as f:
            text = f.read()
        lines = text.split(b"\r\n")
        if lines[-1] != b"" or len(lines) < 5:
            raise Failure("the log does not end after a whole row: %r" % text[-80:])
        with open(self.opened) as f:
            opened = urllib.parse.unquote(f.read().strip())
        if opened not in (path, "file://" + path):
            raise Failure("%r was opened instead of the finished log" % opened)

    def print_preview(self):
        self.file_menu("v")
        self.answer("print preview", "", ["Escape"], name="Print Preview")
        self.expect_alone("print preview")

    def trace(self):
        picture = self.shot("trace")
        play = self.locate("play", picture)
        stop = self.locate("stop", picture)
        pause = self.locate("pause", picture)
        graph = (self.origin[0] + 234, self.origin[1] + 187, 510, 235)
        empty = picture.region(*graph)
        period = (play[0] - 28, play[1] + 12)

        def graph_now():
            return screenshot().region(*graph)

        # No period yet: the recorder says so.
        self.set_field(period, "0")
        click(play[0] + 12, play[1] + 12)
        self.answer("period message", "message", ["Return"])
        self.expect_alone("the period message")

        self.set_field(period, "600")
        click(play[0] + 12, play[1] + 12)
        wait_until("the trace drawing", lambda: graph_now() != empty)
        click(pause[0] + 12, pause[1] + 12)

        def unchanged():
            before = graph_now()
            time.sleep(1.5)  # more than one sampling period: a running trace moves
            return before if graph_now() == before else None
        paused = wait_until("the paused trace to stand still", unchanged)
        click(play[0] + 12, play[1] + 12)
        wait_until("the trace going on", lambda: graph_now() != paused)
        self.shot("trace-running")
        click(stop[0] + 12, stop[1] + 12)
        wait_until("the empty graph after Stop", lambda: graph_now() == empty)
        self.expect_alone("the trace")

    def trace_zoom(self):
        """Records a trace, zooms into it with a drag, turns the cursors on, moves one,
        saves the CSV and zooms out with Escape."""
        picture = self.shot("trace-zoom")
        play = self.locate("play", picture)
        stop = self.locate("stop", picture)
        pause = self.locate("pause", picture)
        gx, gy = self.origin[0] + 234, self.origin[1] + 187
        graph = (gx, gy, 510, 235)
        empty = picture.region(*graph)

        def graph_now():
            return screenshot().region(*graph)

        def drag(x0, y0, x1, y1):
            run("xdotool", "mousemove", str(gx + x0), str(gy + y0), "mousedown", "1",
                "mousemove", str(gx + (x0 + x1) // 2), str(gy + (y0 + y1) // 2),
                "mousemove", str(gx + x1), str(gy + y1), "mouseup", "1")

        def graph_menu(*keys):
            run("xdotool", "mousemove", str(gx + 250), str(gy + 100), "click", "3")
            wait_until("the graph's menu", self.app.others)
            key(*keys)

        self.set_field((play[0] - 28, play[1] + 12), "600")
        click(play[0] + 12, play[1] + 12)
        wait_until("the trace drawing", lambda: graph_now() != empty)
        time.sleep(8)  # some seconds of trace to zoom into
        click(pause[0] + 12, pause[1] + 12)
        time.sleep(1.5)
        whole = graph_now()
        drag(150, 20, 400, 190)
        zoomed = wait_until("the zoomed graph", lambda: graph_now() if graph_now() != whole else None)
        self.shot("trace-zoomed")
        graph_menu("Up", "Return")  # the last item: Cursors
        with_cursors = wait_until("the cursors", lambda: graph_now() if graph_now() != zoomed else None)
        drag(350, 100, 420, 100)  # cursor B starts two thirds across
        moved = wait_until("cursor B moved",
                           lambda: graph_now() if graph_now() != with_cursors else None)
        self.shot("trace-cursors")

        path = os.path.join(self.work, "zoomed trace.csv")
        graph_menu("Down", "Return")  # the first item: Save Trace as CSV...
        wid = self.expect_dialog("trace CSV dialog", lambda n, r: n == "Save Trace as CSV")
        type_text(path)
        key("Return")
        self.expect_gone("trace CSV dialog", wid)
        wait_until("the trace CSV", lambda: os.path.exists(path))
        with open(path) as f:
            rows = [line for line in f.read().splitlines() if line and line[0].isdigit()]
        if len(rows) < 5:
            raise Failure("the trace CSV holds %d samples after 8 s of trace" % len(rows))
        click(gx + 250, gy + 230)  # the keyboard to the graph, below the plot
        key("Escape")
        wait_until("the whole trace again", lambda: graph_now() != moved)
        click(stop[0] + 12, stop[1] + 12)
        self.expect_alone("the zoomed trace")

    def statistics(self):
        """Measure > Statistics beside a main window near the screen's right edge
        (at x = 480 it opened 26 pixels from the right edge of a 1280-pixel screen)."""
        main = self.app.main_window()
        run("xdotool", "windowmove", str(main), "480", "0")
        wait_until("the window moved", lambda: geometry(main)[0] == 480)
        self.file_menu("s", menus_right=2)  # File, View, Measure

        def panel():
            hits = [w for w, (name, _) in self.app.others().items() if name == "Statistics"]
            return hits[0] if hits else None
        wid = wait_until("the Statistics window", panel)
        x, y, w, h = geometry(wid)
        self.shot("statistics")
        if x < 0 or y < 0 or x + w > SCREEN[0] or y + h > SCREEN[1]:
            raise Failure("the Statistics window at %d,%d (%dx%d) leaves the %dx%d screen"
                          % (x, y, w, h, SCREEN[0], SCREEN[1]))
        # There is room on the left, and there it covers nothing.
        mx, _, mw, _ = geometry(main)
        if x < mx + mw and x + w > mx:
            raise Failure("the Statistics window covers the main window, with room beside it")
        request_close(wid)
        self.expect_gone("the Statistics window", wid)
        run("xdotool", "windowmove", str(main), "0", "0")
        wait_until("the window back", lambda: geometry(main)[0] == 0)
        self.expect_alone("the Statistics window")

    def new_window(self):
        mine = self.app.main_window()
        self.file_menu("n")

        def another():
            ids = run("xdotool", "search", "--onlyvisible", "--name", MAIN_TITLE,
                      check=False).split()
            return next((int(w) for w in ids if int(w) != mine), None)
        wid = wait_until("the new window", another)
        other = App(wait_until("the new window's program", lambda: window_pid(wid)))
        if other.pid == self.app.pid:
            raise Failure("the new window belongs to the first program")
        self.expect_alone("the new window's start", app=other)
        self.shot("new-window")
        self.exit_program(other, "the new window")
        self.expect_alone("the new window")

    def same_meter_twice(self):
        """A second program on a meter the first holds says so and goes on."""
        if not self.meter_sim:
            raise Failure("no meter simulator given")
        sim = subprocess.Popen([self.meter_sim], env=ENV, stdout=subprocess.PIPE)
        programs = []
        try:
            port = sim.stdout.readline().decode().strip()
            if not port.startswith("/"):
                raise Failure("the meter simulator gave no device path")
            for _ in range(2):
                programs.append(subprocess.Popen([self.velquor, "--port", port], env=ENV,
                                                 stdout=self.log, stderr=subprocess.STDOUT))
                if len(programs) == 1:
                    first = App(programs[0].pid)
                    wait_until("the first program's window", first.main_window)
                    self.expect_alone("opening the meter", app=first)
            second = App(programs[1].pid)
            self.answer("busy message", "message", ["Return"], app=second)
            wait_until("the second program's window", second.main_window)
            self.expect_alone("the busy message", app=second)
            self.shot("second-program")
            for app, what in ((second, "the second program"), (first, "the first program")):
                self.exit_program(app, what)
        finally:
            for process in programs + [sim]:
                if process.poll() is None:
                    process.kill()
                process.wait(timeout=WAIT_S)

    def close_while_setup_waits(self):
        """Closing the window while Setup Unit waits for a meter that never
        acknowledges abandons the wait: the program ends, silently, at once."""
        sim = subprocess.Popen([self.meter_sim, "--no-ack"], env=ENV, stdout=subprocess.PIPE)
        process = None
        try:
            port = sim.stdout.readline().decode().strip()
            if not port.startswith("/"):
                raise Failure("the meter simulator gave no device path")
            process, app = self.start_program(["--port", port], "the silent meter's program")
            main = app.main_window()
            setup = self.locate_in("setup", main, self.shot("silent-meter"))
            click(setup[0] + 16, setup[1] + 16)
            started = time.monotonic()
            wait_until("the busy indication",
                       lambda: "busyIndicator" in [r for _, r in app.others().values()])
            self.shot("setup-waiting")
            time.sleep(max(0.0, 2.0 - (time.monotonic() - started)))
            request_close(main)

            def ended():
                roles = [r for _, r in app.others().values()] if alive(process.pid) else []
                if "message" in roles:
                    raise Failure("a message came up after the window was closed")
                return not alive(process.pid)
            # The unit's acknowledgement wait alone lasts ten seconds.
            wait_until("the end of the program after closing it", ended, limit=8.0)
            if time.monotonic() - started > 9.0:
                raise Failure("the program waited out the setup before it closed")
            if process.wait(timeout=WAIT_S) != 0:
                raise Failure("the program ended with status %d" % process.returncode)
            if app.windows():
                raise Failure("windows are left after closing the program")
        finally:
            for p in (process, sim):
                if p is not None and p.poll() is None:
                    p.kill()
                if p is not None:
                    p.wait(timeout=WAIT_S)

    def large_font(self):
        """A 16-point system font (KDE's setting, which Qt reads itself): the Unit
        Setup boxes stay inside their panel and off its buttons."""
        home = os.path.join(self.work, "large-font")
        config = os.path.join(home, "config")
        os.makedirs(config)
        with open(os.path.join(config, "kdeglobals"), "w") as f:
            f.write("[General]\n")
            for entry in ("font", "menuFont", "toolBarFont"):
                f.write("%s=DejaVu Sans,16,-1,5,50,0,0,0,0,0\n" % entry)
        env = dict(ENV, HOME=home, XDG_CONFIG_HOME=config, XDG_CURRENT_DESKTOP="KDE",
                   KDE_SESSION_VERSION="5", QT_LOGGING_RULES="qt.qpa.theme.dbus=false")
        process, app = self.start_program(["--simulate"], "the large-font program", env)
        try:
            main = app.main_window()

            def painted():
                picture = self.shot("large-font")
                try:
                    setup = self.locate_in("setup", main, picture)
                except Failure:
                    return None
                # The menu bar grew with the font, so the view starts lower.
                top = setup[1] - SETUP_BUTTON[1] - geometry(main)[1]
                return (picture, setup) if top > self.view_top else None
            picture, setup = wait_until("the window painted with the 16-point font", painted)
            # Found whole: no box covers it.
            self.locate_in("save", main, picture)
            origin = (setup[0] - SETUP_BUTTON[0], setup[1] - SETUP_BUTTON[1])
            for edge_x, top, bottom in PANEL_RIGHT_EDGES:
                for yy in range(top, bottom + 1):
                    px = origin[0] + edge_x
                    if picture.row(origin[1] + yy, px, px + 2) != FRAME_GREY * 2:
                        raise Failure("something crosses a panel's right edge at %d,%d"
                                      % (edge_x, yy))
            self.exit_program(app, "the large-font program")
        finally:
            if process.poll() is None:
                process.kill()
            process.wait(timeout=WAIT_S)

    def station(self):
        """Four meters in one window (velquor-meter-sim pseudo-terminals): a tile's
        panel opened and closed, File > Add Meter finding none, remote control turned
        off and on from the menu and read over TCP while the window shows the meters,
        one meter unplugged while the others go on."""
        sims = []
        process = None
        try:
            ports = []
            for _ in range(4):
                sims.append(subprocess.Popen([self.meter_sim, "--rate", "50"], env=ENV,
                                             stdout=subprocess.PIPE))
                ports.append(sims[-1].stdout.readline().decode().strip())
            with socket.socket() as probe:
                probe.bind(("127.0.0.1", 0))
                port = probe.getsockname()[1]
            args = ["--serve", "127.0.0.1:%d" % port]
            for path in ports:
                args += ["--port", path]
            run("xdotool", "mousemove", str(SCREEN[0] - 1), str(SCREEN[1] - 1))
            process = subprocess.Popen([self.velquor] + args, env=ENV, stdout=self.log,
                                       stderr=subprocess.STDOUT)
            app = App(process.pid, STATION_TITLE)
            main = wait_until("the station window", app.main_window)
            self.expect_alone("the station window's start", app=app)

            def scpi(command):
                """The reply line, with the error queue's head after it."""
                try:
                    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                        s.sendall(command.encode() + b";:SYST:ERR?\n")
                        return s.makefile().readline().strip()
                except OSError:
                    return ""

            def measures(channel):
                reply = scpi("FETC%d?" % channel)
                return reply.endswith('0,"No error"') and reply[0] in "+-0123456789"
            wait_until("a reading of the fourth meter over TCP", lambda: measures(4))
            # Options > Remote Control off, then on again.
            for state in ("off", "on"):
                self.file_menu("c", app, menus_right=1)
                wait_until("remote control " + state, lambda: self.serving(port) == (state == "on"))
            idn = scpi("*IDN?")
            if "ViridIrivi" not in idn:
                raise Failure("*IDN? answered %r" % idn)
            # A tile opens its meter's panel; Escape closes it.
            x, y, _, _ = geometry(main)
            click(x + 60, y + 60)
            wid = self.expect_dialog("the meter's panel", lambda n, r: n == ports[0], app)
            self.shot("station-panel")
            key("Escape")
            self.expect_gone("the meter's panel", wid, app)
            # File > Add Meter: the simulator's terminals are not meters the driver
            # lists, so the answer is that none was found; Escape closes it.
            self.file_menu("m", app)
            wid = self.expect_dialog("the Add Meter answer", lambda n, r: True, app)
            self.shot("station-add-meter")
            key("Escape")
            self.expect_gone("the Add Meter answer", wid, app)
            # Unplugged: its channel says lost, the others still measure.
            sims[3].kill()
            sims[3].wait(timeout=WAIT_S)
            wait_until("the unplugged meter lost", lambda: scpi("FETC4?").startswith("-241,"))
            for channel in (1, 2, 3):
                if not measures(channel):
                    raise Failure("meter %d stopped with the unplugged one" % channel)
            self.shot("station-unplugged")
            self.exit_program(app, "the station window")
        finally:
            for p in sims + ([process] if process else []):
                if p.poll() is None:
                    p.kill()
                p.wait(timeout=WAIT_S)

    def serving(self, port):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            return False

    def exit(self):
        self.file_menu("x")
        try:
            code = self.proc.wait(timeout=WAIT_S)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %.0f s of Exit" % WAIT_S)
        if code != 0:
            raise Failure("the program ended with status %d" % code)
        if self.app.windows():
            raise Failure("windows are left after Exit")

    def finish(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=WAIT_S)
        if self.proc:
            self.log.close()
            with open(os.path.join(self.work, "velquor.err"), "rb") as f:
                output = f.read().decode(errors="replace")
            if output.strip():
                print("velquor said:\n" + output)
        shutil.rmtree(self.work, ignore_errors=True)


def main():
    args = sys.argv[1:]
    if len(args) < 3:
        print(__doc__)
        return 2
    velquor, res_dir, meter_sim = (os.path.abspath(a) for a in args[:3])
    shots = None
    if len(args) >= 5 and args[3] == "--screenshots":
        shots = os.path.abspath(args[4])
        os.makedirs(shots, exist_ok=True)
    missing = [tool for tool in ("xvfb-run", "xdotool", "xprop", "xwininfo", "import")
               if shutil.which(tool) is None]
    if missing:
        print("walkthrough: %s not found (scripts/install-deps.sh installs them)"
              % ", ".join(missing))
        return 1
    if os.environ.get("VELQUOR_WALK_DISPLAY") != "1":
        # Our own display, whatever DISPLAY or QT_QPA_PLATFORM the caller has.
        ENV["VELQUOR_WALK_DISPLAY"] = "1"
        ENV.pop("QT_QPA_PLATFORM", None)
        command = ["xvfb-run", "-a", "-s", "-screen 0 %dx%dx24" % SCREEN,
                   sys.executable, os.path.abspath(__file__)] + sys.argv[1:]
        return subprocess.run(command, env=ENV).returncode

    walk = Walk(velquor, res_dir, meter_sim, shots)
    steps = [("start", walk.start), ("Setup Unit", walk.setup_unit),
             ("logging", walk.logging), ("Print Preview", walk.print_preview),
             ("trace", walk.trace), ("trace zoom", walk.trace_zoom),
             ("Statistics", walk.statistics),
             ("New Window", walk.new_window), ("same meter", walk.same_meter_twice),
             ("close in setup", walk.close_while_setup_waits),
             ("large font", walk.large_font), ("station", walk.station),
             ("Exit", walk.exit)]
    # VELQUOR_WALK_STEPS="station,Exit" runs those after the start only (trying one out).
    only = os.environ.get("VELQUOR_WALK_STEPS")
    if only:
        steps = steps[:1] + [(n, f) for n, f in steps[1:] if n in only.split(",")]
    try:
        for name, step in steps:
            started = time.monotonic()
            step()
            print("ok   %-14s %.1f s" % (name, time.monotonic() - started), flush=True)
    except Failure as failure:
        print("FAIL %s: %s" % (name, failure), flush=True)
        try:
            print("windows: %r" % walk.app.windows())
        except Exception:
            pass
        return 1
    finally:
        walk.finish()
    return 0


if __name__ == "__main__":
    sys.exit(main())
