"""What every end-to-end script shares: a virtual X server of its own (Xvfb), the program run and watched, the
one way the tests talk to X (Xlib and XTEST through ctypes: the screen read back, windows found and acted on,
input given through the server's real input path), and the runner that ends each script:

    SCRIPT --program PATH --out DIR [--runs N] [--wine LOADER --tool PATH] SCENARIO

Exit status 0 when the scenario passed, 1 when it failed, 77 with one line "Skipped: <reason>" when a tool it
needs is missing. Notes of a passed scenario go to DIR/e2e_SCENARIO.txt.
"""

import argparse
import array
import ctypes
import ctypes.util
import os
import resource
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import threading
import time
import zlib

SKIP = 77
# Start-up builds the sprite and blend tables; sanitizer builds on a loaded two-core machine are slow at it.
STARTUP_SECONDS = 120
CLICK_TO_EXIT_LIMIT = 1.0
BACKGROUND = (2, 151, 57)
REPORT_MARKS = ("AddressSanitizer", "LeakSanitizer", "ThreadSanitizer", "runtime error:", "X error")
PACKAGES = {"Xvfb": "xvfb", "xrandr": "x11-xserver-utils", "xclock": "x11-apps", "openbox": "openbox",
            "awesome": "awesome", "xfwm4": "xfwm4", "dbus-run-session": "dbus-daemon",
            "xscreensaver": "xscreensaver xscreensaver-data", "xscreensaver-command": "xscreensaver",
            "xscreensaver-settings": "xscreensaver", "unshare": "util-linux"}


class Failure(Exception):
    pass


class Skipped(Exception):
    pass


def log(text):
    print(text, flush=True)


def need(*tools):
    for tool in tools:
        if not shutil.which(tool):
            raise Skipped(f"{tool} is not installed (Debian: apt-get install {PACKAGES.get(tool, tool)})")


def watch(read, problem_of, seconds, pause=0.2):
    """read() until problem_of(what it read) is None or `seconds` have passed; the last read and its problem.
    A scenario waits for what it judges this way, however slow a loaded machine makes the program."""
    deadline = time.monotonic() + seconds
    while True:
        seen = read()
        problem = problem_of(seen)
        if problem is None or time.monotonic() > deadline:
            return seen, problem
        time.sleep(pause)


def wait_until(condition, seconds, pause=0.1):
    """condition() until it gives something true or `seconds` have passed; its last value."""
    return watch(condition, lambda value: None if value else "not yet", seconds, pause)[0]


class Xvfb:
    """A virtual X server on a display number it picks itself (-displayfd); `x` is this script's connection to
    it, closed before the server ends (Xlib ends the whole process when a connection it uses dies)."""

    def __init__(self, width, height, extra=(), depth=24):
        self.width, self.height, self._x = width, height, None
        read_end, write_end = os.pipe()
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x{depth}",
             "-nolisten", "tcp", "-noreset", *extra],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.log)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n") and select.select([read_end], [], [], 60)[0]:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            self.stop()
            self.log.seek(0)
            raise Failure("Xvfb did not start: " + self.log.read().decode(errors="replace")[-500:])
        self.display = ":" + number.strip().decode()
        self.env = dict(os.environ, DISPLAY=self.display)
        log(f"Xvfb {width}x{height}x{depth} {' '.join(extra)} on {self.display}")

    @property
    def x(self):
        if not self._x:
            self._x = X(self.display)
        return self._x

    def kill(self, signal_number=signal.SIGKILL):
        if self._x:
            self._x.close()
            self._x = None
        if self.process.poll() is None:
            self.process.send_signal(signal_number)
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def stop(self):
        self.kill(signal.SIGTERM)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.stop()


def check_clean(text, x_errors_allowed=False, silent=False):
    """No sanitizer report and no X error (unless allowed); when `silent`, nothing printed at all."""
    if any(mark in text for mark in REPORT_MARKS if not (x_errors_allowed and mark == "X error")):
        raise Failure("standard error holds reports:\n" + text[-4000:])
    if silent and text.strip():
        raise Failure("the program printed:\n" + text[-4000:])


class Program:
    """One run of a program; a thread waits for its end so the moment of exit is known to the millisecond.
    Standard error, and standard output with it when `log_path` names a file to keep, is collected."""

    def __init__(self, command, env, data_limit=None, log_path=None, **popen):
        self.output = open(log_path, "w+b") if log_path else tempfile.TemporaryFile()

        def limit_data():
            resource.setrlimit(resource.RLIMIT_DATA, (data_limit, data_limit))

        self.process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                        stdout=self.output if log_path else subprocess.DEVNULL, stderr=self.output,
                                        preexec_fn=limit_data if data_limit else None, **popen)
        self.ended_at = None
        self.done = threading.Event()
        threading.Thread(target=self._wait, daemon=True).start()

    def _wait(self):
        self.process.wait()
        self.ended_at = time.monotonic()
        self.done.set()

    def running(self):
        return not self.done.is_set()

    def wait(self, seconds):
        return self.done.wait(seconds)

    def status(self):
        return self.process.returncode

    def signal(self, signal_number):
        self.process.send_signal(signal_number)

    def errors(self):
        """All it wrote so far; read without moving the offset the program writes at."""
        descriptor = self.output.fileno()
        return os.pread(descriptor, os.fstat(descriptor).st_size, 0).decode(errors="replace")

    def kill(self):
        if self.running():
            self.process.kill()
            self.done.wait(30)

    def check_clean(self, **clean):
        check_clean(self.errors(), **clean)

    def end(self, how, since=None, limit=None, seconds=30, **clean):
        """Waits for the end `how` asked for at `since`: status 0, a clean standard error, and when `limit` is
        given, within `limit` seconds of `since`. Returns the seconds from `since` to the end."""
        if not self.wait(seconds):
            self.kill()
            raise Failure(f"still running {seconds} s after {how}")
        if self.status() != 0:
            raise Failure(f"{how} ended the program with status {self.status()}:\n{self.errors()}")
        self.check_clean(**clean)
        elapsed = None if since is None else self.ended_at - since
        if limit and elapsed > limit:
            raise Failure(f"{how} took {elapsed:.3f} s to end the program (limit {limit} s)")
        return elapsed

    def refused(self, says, what, seconds=STARTUP_SECONDS):
        """Waits for a refusal: status 1 and one line of standard error that holds `says`; returns the line."""
        if not self.wait(seconds):
            self.kill()
            raise Failure(f"{what}: the program did not end")
        text = self.errors().strip()
        if self.status() != 1 or says not in text or len(text.splitlines()) != 1:
            raise Failure(f"{what}: status {self.status()}, standard error:\n{text}")
        return text


# ---- Xlib and XTEST through ctypes

class _Image(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ("width", "height", "xoffset", "format")] + [
        ("data", ctypes.c_void_p)] + [(name, ctypes.c_int) for name in (
            "byte_order", "bitmap_unit", "bitmap_bit_order", "bitmap_pad", "depth", "bytes_per_line",
            "bits_per_pixel")] + [(name, ctypes.c_ulong) for name in ("red_mask", "green_mask", "blue_mask")]


class _Attributes(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ("x", "y", "width", "height", "border_width", "depth")] + [
        ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong)] + [
        (name, ctypes.c_int) for name in ("class_", "bit_gravity", "win_gravity", "backing_store")] + [
        ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
        ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int),
        ("all_event_masks", ctypes.c_long), ("your_event_mask", ctypes.c_long),
        ("do_not_propagate_mask", ctypes.c_long), ("override_redirect", ctypes.c_int),
        ("screen", ctypes.c_void_p)]


class _SetAttributes(ctypes.Structure):
    _fields_ = [("background_pixmap", ctypes.c_ulong), ("background_pixel", ctypes.c_ulong),
                ("border_pixmap", ctypes.c_ulong), ("border_pixel", ctypes.c_ulong), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("event_mask", ctypes.c_long),
                ("do_not_propagate_mask", ctypes.c_long), ("override_redirect", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("cursor", ctypes.c_ulong)]


class _VisualInfo(ctypes.Structure):
    _fields_ = [("visual", ctypes.c_void_p), ("visualid", ctypes.c_ulong), ("screen", ctypes.c_int),
                ("depth", ctypes.c_int), ("class_", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong), ("colormap_size", ctypes.c_int),
                ("bits_per_rgb", ctypes.c_int)]


_EVENT_HEAD = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
               ("display", ctypes.c_void_p), ("window", ctypes.c_ulong)]


class _ClientMessage(ctypes.Structure):
    _fields_ = _EVENT_HEAD + [("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                              ("data", ctypes.c_long * 5)]


class _Button(ctypes.Structure):
    _fields_ = _EVENT_HEAD + [("root", ctypes.c_ulong), ("subwindow", ctypes.c_ulong), ("time", ctypes.c_ulong)] + [
        (name, ctypes.c_int) for name in ("x", "y", "x_root", "y_root")] + [
        ("state", ctypes.c_uint), ("button", ctypes.c_uint), ("same_screen", ctypes.c_int)]


class _Map(ctypes.Structure):
    # The head's window is the event window (the root here); `mapped` is the window that was mapped.
    _fields_ = _EVENT_HEAD + [("mapped", ctypes.c_ulong), ("override_redirect", ctypes.c_int)]


class _Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", _ClientMessage), ("button", _Button), ("map", _Map),
                ("pad", ctypes.c_long * 24)]


_libraries, _loading = None, threading.Lock()
# A window that goes away while it is looked at is not a fault of the test: X errors are ignored.
_ignore_errors = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda display, error: 0)


def _load():
    global _libraries
    with _loading:
        if _libraries:
            return _libraries
        names = ctypes.util.find_library("X11"), ctypes.util.find_library("Xtst")
        if not all(names):
            raise Skipped("libX11 or libXtst is not installed (Debian: apt-get install libx11-6 libxtst6)")
        x, tst = ctypes.CDLL(names[0]), ctypes.CDLL(names[1])
        p, u, i, pi, pu = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.POINTER(ctypes.c_int), \
            ctypes.POINTER(ctypes.c_ulong)
        for library, name, result, arguments in (
                (x, "XOpenDisplay", p, [ctypes.c_char_p]), (x, "XCloseDisplay", i, [p]),
                (x, "XDefaultRootWindow", u, [p]), (x, "XDefaultScreen", i, [p]), (x, "XSync", i, [p, i]),
                (x, "XFlush", i, [p]), (x, "XFree", i, [p]), (x, "XSelectInput", i, [p, u, ctypes.c_long]),
                (x, "XConnectionNumber", i, [p]), (x, "XPending", i, [p]), (x, "XNextEvent", i, [p, p]),
                (x, "XSendEvent", i, [p, u, i, ctypes.c_long, p]), (x, "XKillClient", i, [p, u]),
                (x, "XQueryTree", i, [p, u, pu, pu, ctypes.POINTER(p), ctypes.POINTER(ctypes.c_uint)]),
                (x, "XGetClassHint", i, [p, u, ctypes.POINTER(p)]),
                (x, "XGetWindowAttributes", i, [p, u, ctypes.POINTER(_Attributes)]),
                (x, "XTranslateCoordinates", i, [p, u, u, i, i, pi, pi, pu]),
                (x, "XInternAtom", u, [p, ctypes.c_char_p, i]), (x, "XGetAtomName", p, [p, u]),
                (x, "XGetWindowProperty", i, [p, u, u, ctypes.c_long, ctypes.c_long, i, u, pu, pi, pu, pu,
                                              ctypes.POINTER(p)]),
                (x, "XGetImage", ctypes.POINTER(_Image), [p, u, i, i, ctypes.c_uint, ctypes.c_uint, u, i]),
                (x, "XGetPixel", u, [ctypes.POINTER(_Image), i, i]),
                (x, "XDestroyImage", i, [ctypes.POINTER(_Image)]),
                (x, "XMatchVisualInfo", i, [p, i, i, i, ctypes.POINTER(_VisualInfo)]),
                (x, "XDefaultVisual", p, [p, i]), (x, "XDefaultDepth", i, [p, i]),
                (x, "XCreateColormap", u, [p, u, p, i]),
                (x, "XCreateWindow", u, [p, u, i, i, ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, i,
                                         ctypes.c_uint, p, u, ctypes.POINTER(_SetAttributes)]),
                (x, "XWarpPointer", i, [p, u, u, i, i, ctypes.c_uint, ctypes.c_uint, i, i]),
                (x, "XMapRaised", i, [p, u]), (x, "XDestroyWindow", i, [p, u]),
                (x, "XResizeWindow", i, [p, u, ctypes.c_uint, ctypes.c_uint]),
                (x, "XQueryExtension", i, [p, ctypes.c_char_p, pi, pi, pi]),
                (x, "XStringToKeysym", u, [ctypes.c_char_p]), (x, "XKeysymToKeycode", ctypes.c_ubyte, [p, u]),
                (tst, "XTestFakeButtonEvent", i, [p, ctypes.c_uint, i, u]),
                (tst, "XTestFakeKeyEvent", i, [p, ctypes.c_uint, i, u])):
            function = getattr(library, name)
            function.restype, function.argtypes = result, arguments
        # Several threads of a script may each hold a connection of their own.
        x.XInitThreads()
        x.XSetErrorHandler(_ignore_errors)
        _libraries = x, tst
        return _libraries


class Screen:
    """A copy of the screen, or of a rectangle of it: its pixels (0xRRGGBB words), what of it is not
    background grouped in clusters of touching 8x8 cells, and a hash that changes with the picture."""

    CELL = 8

    def __init__(self, width, height, raw):
        self.width, self.height = width, height
        pixels = bytearray(raw)
        pixels[3::4] = bytes(width * height)
        self.words = array.array("I", bytes(pixels))
        self.hash = zlib.crc32(self.words)
        self.rgb = bytearray(width * height * 3)
        for channel in range(3):
            self.rgb[channel::3] = pixels[2 - channel::4]
        background = BACKGROUND[0] << 16 | BACKGROUND[1] << 8 | BACKGROUND[2]
        cells, self.nonbackground = {}, 0
        for y in range(height):
            row = self.words[y * width:(y + 1) * width]
            if row.count(background) == width:
                continue
            for left in range(0, width, self.CELL):
                cell = row[left:left + self.CELL]
                different = len(cell) - cell.count(background)
                if different:
                    key = (left // self.CELL, y // self.CELL)
                    cells[key] = cells.get(key, 0) + different
                    self.nonbackground += different
        self.clusters = []
        while cells:
            stack, cluster = [next(iter(cells))], [width, height, -1, -1, 0]
            cluster[4] = cells.pop(stack[0])
            while stack:
                cx, cy = stack.pop()
                cluster[0:4] = (min(cluster[0], cx * self.CELL), min(cluster[1], cy * self.CELL),
                                max(cluster[2], min(width, (cx + 1) * self.CELL) - 1),
                                max(cluster[3], min(height, (cy + 1) * self.CELL) - 1))
                for near in ((cx + dx, cy + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                    if near in cells:
                        cluster[4] += cells.pop(near)
                        stack.append(near)
            left, top, right, bottom, count = cluster
            self.clusters.append((left, top, right - left + 1, bottom - top + 1, count))

    def pixel(self, x, y):
        return tuple(self.rgb[(y * self.width + x) * 3:(y * self.width + x) * 3 + 3])

    def pixels(self):
        return list(zip(self.rgb[0::3], self.rgb[1::3], self.rgb[2::3]))

    def save_png(self, path):
        rows = b"".join(b"\x00" + self.rgb[y * self.width * 3:(y + 1) * self.width * 3] for y in range(self.height))

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

        with open(path, "wb") as file:
            file.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2,
                                                                          0, 0, 0)))
            file.write(chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b""))
        log(f"screenshot: {path}")


class X:
    """This script's connection to an X server."""

    def __init__(self, display):
        self.lib, self.tst = _load()
        self.display = self.lib.XOpenDisplay(display.encode())
        if not self.display:
            raise Failure(f"cannot open {display}")
        self.root = self.lib.XDefaultRootWindow(self.display)
        self.number = self.lib.XDefaultScreen(self.display)

    def close(self):
        self.lib.XCloseDisplay(self.display)

    def sync(self):
        """Returns once the server has handled everything sent, at that moment on time.monotonic()'s clock."""
        self.lib.XSync(self.display, 0)
        return time.monotonic()

    def atom(self, name):
        return self.lib.XInternAtom(self.display, name.encode(), 0)

    def children(self, window):
        root, parent, children, count = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p(), ctypes.c_uint()
        if not self.lib.XQueryTree(self.display, window, root, parent, children, count):
            return None, []
        found = list(ctypes.cast(children, ctypes.POINTER(ctypes.c_ulong))[:count.value]) if children else []
        if children:
            self.lib.XFree(children)
        return parent.value, found

    def has_class(self, window, wanted):
        hint = (ctypes.c_void_p * 2)()
        if not self.lib.XGetClassHint(self.display, window, hint):
            return False
        names = [ctypes.string_at(name).decode(errors="replace") if name else None for name in hint]
        for name in hint:
            if name:
                self.lib.XFree(name)
        return wanted in names

    def find(self, wanted="CopperTrowel", under=None, depth=0):
        """The topmost window of that WM_CLASS, on the root or inside a manager's frame; 0 when there is none."""
        for window in reversed(self.children(under or self.root)[1]):
            found = window if self.has_class(window, wanted) else self.find(wanted, window, depth + 1) \
                if depth < 2 else 0
            if found:
                return found
        return 0

    def attributes(self, window):
        attributes = _Attributes()
        return attributes if self.lib.XGetWindowAttributes(self.display, window, attributes) else None

    def size(self):
        attributes = self.attributes(self.root)
        return attributes.width, attributes.height

    def viewable(self, wanted="CopperTrowel"):
        """The window of that class once it is mapped and viewable, with its place on the root, or None."""
        window = self.find(wanted)
        attributes = self.attributes(window) if window else None
        if not attributes or attributes.map_state != 2:
            return None
        x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
        self.lib.XTranslateCoordinates(self.display, window, self.root, 0, 0, x, y, child)
        return {"window": window, "x": x.value, "y": y.value, "width": attributes.width,
                "height": attributes.height, "override_redirect": attributes.override_redirect,
                "states": self.states(window)}

    def property(self, window, name, kind):
        kind_found, format_found, count, after = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.c_void_p()
        values = []
        if self.lib.XGetWindowProperty(self.display, window, self.atom(name), 0, 64, 0, kind, kind_found,
                                       format_found, count, after, data) == 0 and data:
            if format_found.value == 32:
                values = list(ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[:count.value])
            self.lib.XFree(data)
        return values

    def states(self, window):
        names = []
        for atom in self.property(window, "_NET_WM_STATE", 4):  # XA_ATOM
            name = self.lib.XGetAtomName(self.display, atom)
            names.append(ctypes.string_at(name).decode() if name else "?")
            if name:
                self.lib.XFree(name)
        return names

    def manager_announced(self):
        """A window manager following the extended hints names its check window on the root window."""
        return len(self.property(self.root, "_NET_SUPPORTING_WM_CHECK", 33)) == 1  # XA_WINDOW

    def has_extension(self, name):
        codes = [ctypes.c_int() for _ in range(3)]
        return bool(self.lib.XQueryExtension(self.display, name.encode(), *codes))

    def image(self, left, top, width, height):
        image = self.lib.XGetImage(self.display, self.root, left, top, width, height, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            raise Failure(f"cannot read the screen at {left},{top} {width}x{height}")
        return image

    def screen(self, area=None):
        """The screen, or the rectangle `area` (x, y, width, height) of it; a 24-bit screen of 32-bit pixels."""
        left, top, width, height = area or (0, 0, *self.size())
        image = self.image(left, top, width, height)
        fields = image.contents
        try:
            if fields.bits_per_pixel != 32 or fields.bytes_per_line != 4 * width or fields.byte_order != 0:
                raise Failure(f"a screen of {fields.bits_per_pixel}-bit pixels cannot be read back")
            return Screen(width, height, ctypes.string_at(fields.data, 4 * width * height))
        finally:
            self.lib.XDestroyImage(image)

    def pixels(self, points):
        """The raw pixel values at the given root points, and the screen's channel masks."""
        values = []
        for x, y in points:
            image = self.image(x, y, 1, 1)
            values.append(self.lib.XGetPixel(image, 0, 0))
            masks = image.contents.red_mask, image.contents.green_mask, image.contents.blue_mask
            self.lib.XDestroyImage(image)
        return values, masks

    def send(self, window, event, mask):
        self.lib.XSendEvent(self.display, window, 0, mask, ctypes.byref(event))
        return self.sync()

    def send_close(self, window):
        """WM_DELETE_WINDOW, as a window manager sends it: to the window itself, no event mask."""
        event = _Event()
        event.client.type, event.client.window, event.client.format = 33, window, 32  # ClientMessage
        event.client.message_type = self.atom("WM_PROTOCOLS")
        event.client.data[0] = self.atom("WM_DELETE_WINDOW")
        return self.send(window, event, 0)

    def send_press(self, window, x, y):
        """A left button press delivered straight to the window: the moment the server has passed it on is
        exact."""
        event = _Event()
        event.button.type, event.button.window, event.button.root = 4, window, self.root  # ButtonPress
        event.button.x = event.button.x_root = x
        event.button.y = event.button.y_root = y
        event.button.button, event.button.same_screen = 1, 1
        return self.send(window, event, 1 << 2)  # ButtonPressMask

    def destroy(self, window):
        self.lib.XDestroyWindow(self.display, window)
        return self.sync()

    def resize(self, window, width, height):
        self.lib.XResizeWindow(self.display, window, width, height)
        self.sync()

    def kill_client(self, window):
        self.lib.XKillClient(self.display, window)
        self.sync()

    def create_window(self, left, top, width, height, pixel=0, depth=0, override=True):
        """A window of a TrueColor visual of `depth` (the screen's when 0) in `pixel`, mapped on top, by default
        one no window manager moves (override-redirect); 0 when the server has no such visual."""
        visual = self.lib.XDefaultVisual(self.display, self.number)
        if depth:
            info = _VisualInfo()
            if not self.lib.XMatchVisualInfo(self.display, self.number, depth, 4, info):  # TrueColor
                return 0
            visual = info.visual
        attributes = _SetAttributes(background_pixel=pixel, override_redirect=int(override))
        attributes.colormap = self.lib.XCreateColormap(self.display, self.root, visual, 0)
        window = self.lib.XCreateWindow(self.display, self.root, left, top, width, height, 0,
                                        depth or self.lib.XDefaultDepth(self.display, self.number), 1, visual,
                                        (1 << 1) | (1 << 3) | (1 << 9) | (1 << 13), attributes)
        self.lib.XMapRaised(self.display, window)
        self.sync()
        return window

    def top_level(self, window):
        """The child of the root window that holds `window` (its frame under a reparenting window manager)."""
        while True:
            parent, _ = self.children(window)
            if not parent or parent == self.root:
                return window
            window = parent

    def watch_maps(self):
        self.lib.XSelectInput(self.display, self.root, 1 << 19)  # SubstructureNotifyMask
        self.sync()

    def events(self):
        event = _Event()
        while self.lib.XPending(self.display) > 0:
            self.lib.XNextEvent(self.display, ctypes.byref(event))
            yield event

    def wait_for_map(self, program):
        """The next window mapped on the root, once the server has mapped it (after watch_maps)."""
        deadline = time.monotonic() + STARTUP_SECONDS
        while True:
            for event in self.events():
                if event.type == 19:  # MapNotify
                    return event.map.mapped
            if not program.running():
                raise Failure(f"the program ended before its window appeared, status {program.status()}:\n"
                              + program.errors())
            if time.monotonic() > deadline:
                raise Failure("no window appeared; standard error:\n" + program.errors())
            select.select([self.lib.XConnectionNumber(self.display)], [], [], 0.05)

    def move(self, x, y):
        """The pointer warped there, as a desktop's input tool moves it: Wine reads XTEST's motion as raw device
        movement and may place it elsewhere."""
        self.lib.XWarpPointer(self.display, 0, self.root, 0, 0, 0, 0, x, y)
        self.sync()

    def button(self, number, down):
        """Presses or releases a button; returns the moment just before it was sent."""
        before = time.monotonic()
        self.tst.XTestFakeButtonEvent(self.display, number, 1 if down else 0, 0)
        self.lib.XFlush(self.display)
        return before

    def click(self, *buttons):
        before = None
        for number in buttons or (1,):
            before = self.button(number, True)
            self.button(number, False)
        self.sync()
        return before

    def key(self, *names):
        for name in names:
            code = self.lib.XKeysymToKeycode(self.display, self.lib.XStringToKeysym(name.encode()))
            self.tst.XTestFakeKeyEvent(self.display, code, 1, 0)
            self.tst.XTestFakeKeyEvent(self.display, code, 0, 0)
        self.sync()


# ---- The runner

class Run:
    """What a scenario gets: the command line's arguments and the notes it keeps."""

    def __init__(self, arguments):
        self.arguments, self.program, self.out, self.notes = arguments, arguments.program, arguments.out, []

    def note(self, text):
        log(text)
        self.notes.append(text)

    def path(self, name):
        return os.path.join(self.out, name)


def main(scenarios, description):
    parser = argparse.ArgumentParser(description=description.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True, help="where screenshots, notes and output are kept")
    parser.add_argument("--runs", type=int, help="runs of a repeated scenario, when not its own number")
    parser.add_argument("--wine", help="the Wine loader that runs a Windows program")
    parser.add_argument("--tool", help="the Windows window tool")
    parser.add_argument("scenario", choices=sorted(scenarios))
    arguments = parser.parse_args()
    run = Run(arguments)
    try:
        need("Xvfb")
        os.makedirs(arguments.out, exist_ok=True)
        scenarios[arguments.scenario](run)
    except Skipped as reason:
        print(f"Skipped: {reason}", flush=True)
        return SKIP
    except (Failure, subprocess.SubprocessError, OSError) as failure:
        print(f"FAILED {arguments.scenario}: {failure}", flush=True)
        return 1
    with open(run.path(f"e2e_{arguments.scenario}.txt"), "w") as file:
        file.write("\n".join(run.notes) + "\n")
    print(f"passed {arguments.scenario}", flush=True)
    return 0
