#!/usr/bin/env python3
"""End-to-end runs of the X11 build of coppertrowel, each on a virtual X server (Xvfb) of its own.

    x11_e2e.py --program PATH --probe PATH --out DIR SCENARIO

Scenarios:
    screen-WxH      the window covers the screen in the background colour and the picture moves; right and
                    middle clicks, the wheel, keys and motion leave the program running; a window mapped
                    later stays under it and leaves nothing behind; a left click ends it
                    with status 0 within one second; a second run is ended by WM_DELETE_WINDOW, status 0.
                    Saves a screenshot.
    no-mit-shm      the same on a server without MIT-SHM, so every copy goes through XPutImage; the second run
                    is ended by a button press event, which times the click to the millisecond.
    balls-1280x1024 the picture as a user sees it: two round red balls, lit from the top left and darkened toward
                    the lower right, each with a shadow in the background darkened to the shadow's colour to its
                    lower right, and the two numbers black on white at the top left.
    window-manager  under a window manager (openbox): the window asks to be full screen and above instead of
                    overriding redirection, covers the screen, and ends by a left click and by the close command.
    window-destroyed  another client destroys the window: the program tears down and ends with status 0.
    awesome         under awesome, which holds FULLSCREEN and ABOVE exclusive: the window covers the screen and a
                    left click ends it.
    xfwm4-primary-right  under xfwm4 with the primary monitor on the right of another: the window covers the
                    primary monitor, is seen there, and a left click there ends it.
    size-change     the screen switched 1366x768 -> 1920x1080 -> 1366x768 while the program runs, with no window
                    manager: each time the whole screen is the program's picture with both balls in view; the
                    time from the switch to the first whole picture is noted.
    size-change-openbox  the same under openbox.
    no-backing-store  a server without backing store, a window mapped over the program's and closed: the area it
                    covered is the program's picture again within 2 s.
    no-display      no DISPLAY, and a DISPLAY nobody serves: one clear line and status 1.
    server-killed   the server dies under the running program: a clear line and a non-zero status, no hang.
    out-of-memory   a 4096x4096 screen with the process's data limited so the drawing surfaces cannot be had:
                    a clear line and status 1, never a crash (builds without sanitizers only).

Every run must also leave standard error free of sanitizer reports and X errors. Exit status 0 on success,
1 on failure, 77 when a tool the tests need is missing.
"""

import argparse
import math
import os
import random
import resource
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

SKIP = 77
# Start-up builds the sprite and blend tables; sanitizer builds on a loaded two-core machine are slow at it.
STARTUP_SECONDS = 120
CLICK_TO_EXIT_LIMIT = 1.0
# The program's two numbers sit at (10, 10) and (10, 30) in the "fixed" font: at most 8 characters wide.
TEXT_CORNER = (80, 56)
# What a window manager keeps the window in, where it holds the two compatible.
FULL_SCREEN_AND_ABOVE = ("_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_ABOVE")
REPORT_MARKS = ("AddressSanitizer", "LeakSanitizer", "ThreadSanitizer", "runtime error:", "X error")


class Failure(Exception):
    pass


class Skipped(Exception):
    pass


def log(text):
    print(text, flush=True)


class Xvfb:
    """A virtual X server on a display number it picks itself (-displayfd)."""

    def __init__(self, width, height, extra=()):
        self.width, self.height = width, height
        read_end, write_end = os.pipe()
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset", *extra],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.log)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 60
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([read_end], [], [], left)[0]:
                break
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
        log(f"Xvfb {width}x{height} {' '.join(extra)} on {self.display}")

    def kill(self, signal_number=signal.SIGKILL):
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


class Program:
    """The real coppertrowel; a thread waits for its end so the moment of exit is known to the millisecond."""

    def __init__(self, path, env, data_limit=None):
        self.stderr = tempfile.TemporaryFile()

        def limit_data():
            resource.setrlimit(resource.RLIMIT_DATA, (data_limit, data_limit))

        self.process = subprocess.Popen([path], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=self.stderr, preexec_fn=limit_data if data_limit else None)
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

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read().decode(errors="replace")

    def kill(self):
        if self.running():
            self.process.kill()
            self.done.wait(30)

    def check_clean(self, x_errors_allowed=False):
        text = self.errors()
        marks = [mark for mark in REPORT_MARKS if not (x_errors_allowed and mark == "X error")]
        reports = [line for line in text.splitlines() if any(mark in line for mark in marks)]
        if reports:
            raise Failure("standard error holds reports:\n" + text[-4000:])


class Manager:
    """A window manager on the server, in a process group of its own (it may start helpers), up once it has
    announced itself on the root window. No command: no window manager."""

    def __init__(self, server, tools, command):
        self.process = None
        if not command:
            return
        if not shutil.which(command[0]) or (command[0] == "dbus-run-session" and not shutil.which(command[2])):
            print(f"{command} is not installed; skipping", flush=True)
            raise Skipped()
        self.process = subprocess.Popen(command, env=server.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        start_new_session=True)
        tools.probe(server.env, "manager", "60000")

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        if self.process:
            os.killpg(self.process.pid, signal.SIGTERM)
            self.process.wait(timeout=30)


def xrandr(env, *args):
    subprocess.run(["xrandr", *args], env=env, check=True, timeout=60, stdout=subprocess.DEVNULL)


class Tools:
    def __init__(self, program, probe, out):
        self.program, self.probe_path, self.out = program, probe, out

    def probe(self, env, *args, allowed=(0,)):
        result = subprocess.run([self.probe_path, *args], env=env, capture_output=True, text=True, timeout=120)
        if result.returncode not in allowed:
            raise Failure(f"probe {' '.join(args)} failed ({result.returncode}): {result.stderr}{result.stdout}")
        values, clusters = {}, []
        for line in result.stdout.splitlines():
            key, _, value = line.partition("=")
            if key == "cluster":
                clusters.append(tuple(int(v) for v in value.split(",")))
            else:
                values[key] = value
        values["clusters"] = clusters
        values["status"] = result.returncode
        return values


def xdotool(env, *args):
    subprocess.run(["xdotool", *args], env=env, check=True, timeout=60)


def read_ppm(path):
    """Width, height and the RGB bytes of a binary PPM (P6)."""
    with open(path, "rb") as file:
        data = file.read()
    fields, position = [], 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        start = position
        while not data[position:position + 1].isspace():
            position += 1
        fields.append(data[start:position])
    position += 1
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[position:position + width * height * 3]


def save_png(ppm_path, png_path):
    """PPM (P6) to PNG with the standard library only."""
    width, height, pixels = read_ppm(ppm_path)
    rows = b"".join(b"\x00" + pixels[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(png_path, "wb") as file:
        file.write(b"\x89PNG\r\n\x1a\n")
        file.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        file.write(chunk(b"IDAT", zlib.compress(rows, 6)))
        file.write(chunk(b"IEND", b""))


# The background and, through the shadow's light level, the fully covered shadow over it.
BACKGROUND_RGB = (2, 151, 57)
SHADOW_RGB = (2, 125, 47)


def balls_problem(width, height, pixels):
    """Why the picture does not show two shaded red balls with shadows and the two numbers, or None."""
    body, shadow = [], []
    for y in range(height):
        row = pixels[y * width * 3:(y + 1) * width * 3]
        for x in range(width):
            r, g, b = row[3 * x], row[3 * x + 1], row[3 * x + 2]
            # A red ball lit toward white keeps green equal to blue; darkened, both are 0.
            if g == b and r > g + 60:
                body.append((x, y, r, g))
            elif (r, g, b) == SHADOW_RGB:
                shadow.append((x, y))
    balls = []
    for x, y, r, g in body:
        for ball in balls:
            if abs(x - ball[0][0]) < 70 and abs(y - ball[0][1]) < 70:
                ball.append((x, y, r, g))
                break
        else:
            balls.append([(x, y, r, g)])
    if len(balls) != 2:
        return f"{len(balls)} red areas instead of two balls"
    for number, ball in enumerate(balls, 1):
        xs, ys = [p[0] for p in ball], [p[1] for p in ball]
        left, top, right, bottom = min(xs), min(ys), max(xs), max(ys)
        if not (40 <= right - left + 1 <= 49 and 40 <= bottom - top + 1 <= 49):
            return f"ball {number} spans {right - left + 1}x{bottom - top + 1} pixels, not a 49-pixel disc"
        middle_x, middle_y = (left + right) / 2, (top + bottom) / 2
        lightest = max(ball, key=lambda p: p[3])
        darkest = min(ball, key=lambda p: p[2])
        if lightest[3] < 100 or not (lightest[0] < middle_x and lightest[1] < middle_y):
            return f"ball {number}: its lightest pixel {lightest} is not a highlight at the top left"
        if darkest[2] > 80 or not (darkest[0] > middle_x and darkest[1] > middle_y):
            return f"ball {number}: its darkest pixel {darkest} is not at the lower right"
        near = [(x, y) for x, y in shadow if left - 2 <= x <= right + 16 and top - 2 <= y <= bottom + 16]
        if len(near) < 150:
            return f"ball {number}: only {len(near)} shadow pixels ({SHADOW_RGB}) around it"
        shadow_x = sum(x for x, _ in near) / len(near)
        shadow_y = sum(y for _, y in near) / len(near)
        if shadow_x <= middle_x or shadow_y <= middle_y:
            return f"ball {number}: its shadow lies at ({shadow_x:.0f}, {shadow_y:.0f}), not to its lower right"
    corner = [pixels[(y * width + x) * 3:(y * width + x) * 3 + 3] for y in range(10, 45) for x in range(10, 40)]
    if not any(p == b"\xff\xff\xff" for p in corner) or not any(p == b"\x00\x00\x00" for p in corner):
        return "no black-on-white numbers at the top left"
    return None


def picture_problem(screen, width, height):
    """Why the screen is not the program's picture, or None: everything in the background colour except the
    two balls' squares and the two numbers in the top-left corner."""
    if int(screen["width"]) != width or int(screen["height"]) != height:
        return f"screen is {screen['width']}x{screen['height']}"
    scale = width / 640
    # One ball's square, shadow included, is about 31 units of Scale pixels; clusters snap to 8-pixel cells.
    square = math.ceil(32 * scale) + 16
    others = []
    for left, top, cluster_width, cluster_height, pixels in screen["clusters"]:
        in_corner = left < TEXT_CORNER[0] and top < TEXT_CORNER[1]
        limit_x = 2 * square + (TEXT_CORNER[0] if in_corner else 0)
        limit_y = 2 * square + (TEXT_CORNER[1] if in_corner else 0)
        if cluster_width > limit_x or cluster_height > limit_y:
            return f"a {cluster_width}x{cluster_height} area at ({left}, {top}) is not background"
        if not in_corner:
            others.append((left, top))
    if len(others) > 2:
        return f"{len(others)} separate areas are not background: {others}"
    if int(screen["nonbackground"]) > 2 * square * square + TEXT_CORNER[0] * TEXT_CORNER[1]:
        return f"{screen['nonbackground']} pixels are not background"
    return None


class Scenarios:
    def __init__(self, tools):
        self.tools = tools
        self.notes = []
        self.picture_seen = (None, None)

    def note(self, text):
        log(text)
        self.notes.append(text)

    def start(self, server, managed=False, area=None, states=FULL_SCREEN_AND_ABOVE):
        """Runs the program and checks its window covers `area` (x, y, width, height; the whole screen when
        None), asking a window manager, when `managed`, for `states`."""
        program = Program(self.tools.program, server.env)
        deadline = time.monotonic() + STARTUP_SECONDS
        while True:
            window = self.tools.probe(server.env, "find", "500", allowed=(0, 1))
            if not program.running():
                raise Failure(f"the program ended at start-up with status {program.status()}:\n"
                              + program.errors())
            if window["status"] == 0:
                break
            if time.monotonic() > deadline:
                program.kill()
                raise Failure("no window appeared; standard error:\n" + program.errors())
        # A window manager fits the window after mapping it: give it a moment to settle.
        settled = time.monotonic() + 5
        while True:
            problem = self.window_problem(server, window, managed, area, states)
            if problem is None:
                return program
            if time.monotonic() > settled:
                program.kill()
                raise Failure(problem)
            time.sleep(0.1)
            window = self.tools.probe(server.env, "find", "500")

    def window_problem(self, server, window, managed=False, area=None, states=FULL_SCREEN_AND_ABOVE):
        """Why the window does not cover `area` (x, y, width, height; the whole screen when None) as a managed
        window in `states` or an override-redirect one, or None."""
        expected = tuple(str(v) for v in (area or (0, 0, server.width, server.height)))
        if (window["x"], window["y"], window["width"], window["height"]) != expected:
            return (f"window at {window['x']},{window['y']} size {window['width']}x{window['height']}, "
                    f"not {expected[2]}x{expected[3]} at {expected[0]},{expected[1]}")
        found = window["states"].split()
        if managed and (window["override_redirect"] != "0" or not set(states) <= set(found)):
            return (f"under a window manager the window must be {' and '.join(states)}, not override "
                    f"redirection; it has override_redirect={window['override_redirect']}, states {found}")
        if not managed and window["override_redirect"] != "1":
            return "with no window manager the window must be override-redirect"
        return None

    def check_picture(self, server, screenshot=None, area=None, seconds=30, pause=0.2):
        """Waits up to `seconds` for the screen, or the monitor `area`, to show the program's picture. Keeps in
        `picture_seen` when the last read that was not the picture began and when the first that was ended."""
        width, height = (area[2], area[3]) if area else (server.width, server.height)
        deadline = time.monotonic() + seconds
        last_miss = None
        while True:
            ppm = os.path.join(self.tools.out, screenshot + ".ppm") if screenshot else None
            region = [ppm or "-", *(str(v) for v in area)] if area else [ppm] if ppm else []
            began = time.monotonic()
            screen = self.tools.probe(server.env, "screen", *region)
            problem = picture_problem(screen, width, height)
            if problem is None:
                self.picture_seen = (last_miss, time.monotonic())
                break
            last_miss = began
            if time.monotonic() > deadline:
                if ppm:
                    save_png(ppm, os.path.join(self.tools.out, screenshot))
                raise Failure("the screen is not the program's picture: " + problem)
            time.sleep(pause)
        if screenshot:
            save_png(ppm, os.path.join(self.tools.out, screenshot))
            os.remove(ppm)
            log(f"screenshot: {os.path.join(self.tools.out, screenshot)}")
        return screen

    def check_frames_flow(self, server, first):
        """Once anything but background is drawn (balls and numbers), the picture must keep changing."""
        if not first["clusters"]:
            self.note("only background on the screen: no moving balls to follow")
            return
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            time.sleep(0.2)
            if self.tools.probe(server.env, "screen")["hash"] != first["hash"]:
                return
        raise Failure("the picture did not change for 10 s: frames are not reaching the window")

    def harmless_input(self, server, program):
        middle_x, middle_y = str(server.width // 2), str(server.height // 2)
        xdotool(server.env, "mousemove", middle_x, middle_y, "click", "3")
        xdotool(server.env, "click", "2", "click", "4", "click", "5")
        xdotool(server.env, "key", "a", "key", "Escape", "key", "space")
        xdotool(server.env, "mousemove", "5", "5", "mousemove", middle_x, "7")
        time.sleep(0.5)
        if not program.running():
            raise Failure(f"right click, keys or motion ended the program (status {program.status()}):\n"
                          + program.errors())

    def check_stays_above(self, server):
        """Another window mapped over the program's must end up under it, and show nowhere."""
        cover = self.tools.probe(server.env, "cover", "500", allowed=(0, 1))
        if cover["above"] != "1" or cover["cover_pixels_shown"] != "0":
            raise Failure(f"a window mapped later covers the program's: stacked at {cover['cover_at']} over "
                          f"{cover['program_at']}, {cover['cover_pixels_shown']} of its pixels shown")

    def end_and_measure(self, program, how, action, x_errors_allowed=False):
        """Ends the program with `action` and times it: from the moment the probe reports the event handled by
        the server when it can tell, else from before the input tool started (an upper bound)."""
        before = time.monotonic()
        sent_at = action()
        if not program.wait(30):
            program.kill()
            raise Failure(f"{how} did not end the program within 30 s")
        if program.status() != 0:
            raise Failure(f"{how} ended the program with status {program.status()}:\n{program.errors()}")
        program.check_clean(x_errors_allowed)
        if sent_at is not None:
            elapsed = program.ended_at - sent_at
            self.note(f"{how}: exit status 0, {elapsed * 1000:.1f} ms from the event to the end of the process")
        else:
            elapsed = program.ended_at - before
            self.note(f"{how}: exit status 0, at most {elapsed * 1000:.1f} ms from the click to the end of the "
                      f"process (the input tool's own start-up included)")
        if elapsed > CLICK_TO_EXIT_LIMIT:
            raise Failure(f"{how} took {elapsed:.3f} s to end the program (limit {CLICK_TO_EXIT_LIMIT} s)")

    def run_and_end(self, server, screenshot, how, managed=False):
        """One run: the picture, frames, harmless input, then the end by `how`: a real left click ("click"),
        a button press event ("press") or the window manager's close command ("close")."""
        program = self.start(server, managed)
        try:
            first = self.check_picture(server, screenshot)
            self.check_frames_flow(server, first)
            self.harmless_input(server, program)
            self.check_stays_above(server)
            self.check_picture(server)
            chooser = random.Random()
            x, y = chooser.randrange(server.width), chooser.randrange(server.height)
            if how == "click":
                xdotool(server.env, "mousemove", str(x), str(y))
                self.end_and_measure(program, f"left click at ({x}, {y})",
                                     lambda: xdotool(server.env, "mousedown", "1"))
                xdotool(server.env, "mouseup", "1")
            elif how == "press":
                self.end_and_measure(
                    program, f"left button press event at ({x}, {y})",
                    lambda: float(self.tools.probe(server.env, "press", str(x), str(y))["sent_at"]))
            else:
                self.end_and_measure(program, "WM_DELETE_WINDOW",
                                     lambda: float(self.tools.probe(server.env, "close")["sent_at"]))
        finally:
            program.kill()

    def screen(self, width, height):
        with Xvfb(width, height) as server:
            self.run_and_end(server, f"e2e_x11_{width}x{height}.png", "click")
            self.run_and_end(server, None, "close")

    def balls(self, width, height):
        with Xvfb(width, height) as server:
            program = self.start(server)
            try:
                self.check_picture(server)
                ppm = os.path.join(self.tools.out, "e2e_x11_balls.ppm")
                deadline = time.monotonic() + 30
                while True:
                    self.tools.probe(server.env, "screen", ppm)
                    problem = balls_problem(*read_ppm(ppm))
                    # The balls may overlap or graze an edge for a moment: look again.
                    if problem is None or time.monotonic() > deadline:
                        break
                    time.sleep(0.3)
                save_png(ppm, os.path.join(self.tools.out, "e2e_x11_balls.png"))
                os.remove(ppm)
                if problem:
                    raise Failure(problem)
                self.note("two shaded red balls with their shadows and the two numbers are on the screen")
                self.end_and_measure(program, "left click", lambda: xdotool(server.env, "click", "1"))
            finally:
                program.kill()

    def no_mit_shm(self):
        with Xvfb(1920, 1080, ("-extension", "MIT-SHM")) as server:
            if self.tools.probe(server.env, "extension", "MIT-SHM", allowed=(0, 1))["present"] != "0":
                raise Failure("Xvfb still offers MIT-SHM: the fallback would not be exercised")
            self.run_and_end(server, "e2e_x11_no_mit_shm.png", "click")
            self.run_and_end(server, None, "press")

    def window_destroyed(self):
        with Xvfb(640, 480) as server:
            program = self.start(server)
            try:
                self.check_picture(server)
                # The frames already on their way to the destroyed window fail; saying so is right.
                self.end_and_measure(program, "the window destroyed by another client",
                                     lambda: float(self.tools.probe(server.env, "destroy")["sent_at"]),
                                     x_errors_allowed=True)
            finally:
                program.kill()

    def window_manager(self):
        if not shutil.which("openbox"):
            print("openbox is not installed (Debian: apt-get install openbox); skipping", flush=True)
            raise Skipped()
        with Xvfb(1280, 720) as server:
            manager = subprocess.Popen(["openbox"], env=server.env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                self.tools.probe(server.env, "manager", "60000")
                self.run_and_end(server, "e2e_x11_window_manager.png", "click", managed=True)
                self.run_and_end(server, None, "close", managed=True)
            finally:
                manager.terminate()
                manager.wait(timeout=30)

    def end_by_click(self, server, program, area=None):
        left, top, width, height = area or (0, 0, server.width, server.height)
        chooser = random.Random()
        x, y = left + chooser.randrange(width), top + chooser.randrange(height)
        xdotool(server.env, "mousemove", str(x), str(y))
        self.end_and_measure(program, f"left click at ({x}, {y})", lambda: xdotool(server.env, "mousedown", "1"))
        xdotool(server.env, "mouseup", "1")

    def full_screen_under(self, server, command, screenshot, area=None):
        """Under the window manager `command` the window must cover the primary monitor `area` (the whole
        screen when None), be seen there, and end on a left click."""
        with Manager(server, self.tools, command):
            program = self.start(server, managed=True, area=area, states=("_NET_WM_STATE_FULLSCREEN",))
            try:
                self.check_picture(server, screenshot, area)
                self.end_by_click(server, program, area)
            finally:
                program.kill()

    def awesome(self):
        # Catches asking for FULLSCREEN and ABOVE in one request: this manager holds them exclusive, keeps the
        # later one and leaves the window under its bars.
        with Xvfb(1920, 1080) as server:
            self.full_screen_under(server, ["awesome"], "e2e_x11_awesome.png")

    def xfwm4_primary_right(self):
        # Catches leaving the choice of monitor to the manager: this one takes the monitor at the origin, and
        # the primary monitor, on the right, stays black.
        with Xvfb(3200, 1080) as server:
            if not shutil.which("xrandr"):
                print("xrandr (x11-xserver-utils) is not installed; skipping", flush=True)
                raise Skipped()
            xrandr(server.env, "--setmonitor", "L", "1280/300x1024/240+0+0", "screen")
            xrandr(server.env, "--setmonitor", "*R", "1920/500x1080/280+1280+0", "none")
            self.full_screen_under(server, ["dbus-run-session", "--", "xfwm4", "--compositor=off"],
                                   "e2e_x11_xfwm4.png", (1280, 0, 1920, 1080))

    def check_balls_on_screen(self, server):
        """Both balls in view, apart, at some moment within 10 s: catches a world left at the old size."""
        deadline = time.monotonic() + 10
        while True:
            clusters = self.tools.probe(server.env, "screen")["clusters"]
            balls = [c for c in clusters if not (c[0] < TEXT_CORNER[0] and c[1] < TEXT_CORNER[1])]
            if len(balls) == 2:
                return
            if time.monotonic() > deadline:
                raise Failure(f"the two balls are not both in view within 10 s of the change: {clusters}")
            time.sleep(0.1)

    def screen_change(self, command):
        """The screen switched 1366x768 -> 1920x1080 -> 1366x768 under the program: each time the window
        covers the new screen, all of it the program's picture, the balls inside it; a click still ends it."""
        if not shutil.which("xrandr"):
            print("xrandr (x11-xserver-utils) is not installed; skipping", flush=True)
            raise Skipped()
        # Xvfb cannot grow beyond the size it starts with: start large and go down before the program starts.
        with Xvfb(1920, 1080) as server, Manager(server, self.tools, command):
            xrandr(server.env, "--newmode", "1366x768", "85.25", "1366", "1440", "1576", "1784", "768", "771",
                   "781", "798")
            xrandr(server.env, "--addmode", "screen", "1366x768")
            xrandr(server.env, "--output", "screen", "--mode", "1366x768")
            server.width, server.height = 1366, 768
            program = self.start(server, managed=bool(command))
            manager = command[0] if command else "none"
            try:
                self.check_picture(server)
                for width, height in ((1920, 1080), (1366, 768)):
                    changed_at = time.monotonic()
                    xrandr(server.env, "--output", "screen", "--mode", f"{width}x{height}")
                    switched_at = time.monotonic()
                    server.width, server.height = width, height
                    self.check_picture(server, seconds=10, pause=0)
                    last_miss, seen_at = self.picture_seen
                    # Each scenario's own name: the scenarios run side by side and would share the file.
                    self.check_picture(server, f"e2e_x11_screen_change_{manager}_{width}x{height}.png")
                    problem = self.window_problem(server, self.tools.probe(server.env, "find", "500"),
                                                  bool(command))
                    if problem:
                        raise Failure(problem)
                    self.check_balls_on_screen(server)
                    after = max(last_miss or changed_at, switched_at) - changed_at
                    where = f"under {command[0]}" if command else "no window manager"
                    self.note(f"{where}: to {width}x{height}, the first whole picture between "
                              f"{after * 1000:.0f} and {(seen_at - changed_at) * 1000:.0f} ms after xrandr was "
                              f"started (a screen read takes about 0.2 s)")
                self.end_by_click(server, program)
            finally:
                program.kill()

    def no_backing_store(self):
        """A server keeping nothing of covered windows: the area another window covered must be painted again
        once it is uncovered, not left showing that window until a ball passes."""
        if not shutil.which("xclock"):
            print("xclock (x11-apps) is not installed; skipping", flush=True)
            raise Skipped()
        with Xvfb(1280, 720, ("-bs",)) as server:
            program = self.start(server)
            try:
                self.check_picture(server)
                clock = subprocess.Popen(["xclock", "-bg", "magenta", "-geometry", "640x360+320+180"],
                                         env=server.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                try:
                    xdotool(server.env, "search", "--sync", "--onlyvisible", "--class", "XClock")
                    time.sleep(0.5)
                finally:
                    clock.terminate()
                    clock.wait(timeout=30)
                uncovered_at = time.monotonic()
                self.check_picture(server, "e2e_x11_no_backing_store.png", seconds=5, pause=0.02)
                self.note(f"no backing store: the covered area repainted within "
                          f"{(time.monotonic() - uncovered_at) * 1000:.0f} ms of closing the other window")
                self.end_by_click(server, program)
            finally:
                program.kill()

    def expect_refusal(self, env, what):
        program = Program(self.tools.program, env)
        if not program.wait(STARTUP_SECONDS):
            program.kill()
            raise Failure(f"with {what} the program did not end")
        text = program.errors().strip()
        if program.status() != 1 or "cannot open display" not in text or len(text.splitlines()) != 1:
            raise Failure(f"with {what}: status {program.status()}, standard error:\n{text}")
        self.note(f"with {what}: status 1, \"{text}\"")

    def no_display(self):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        self.expect_refusal(env, "no DISPLAY")
        unused = next(n for n in range(4242, 5000) if not os.path.exists(f"/tmp/.X11-unix/X{n}"))
        self.expect_refusal(dict(env, DISPLAY=f":{unused}"), f"DISPLAY=:{unused} served by nobody")

    def out_of_memory(self):
        with open(self.tools.program, "rb") as binary:
            contents = binary.read()
            if any(mark in contents for mark in (b"__asan_init", b"__tsan_init")):
                print("a sanitizer build reserves its shadow memory as data: no data limit can be set; skipping",
                      flush=True)
                raise Skipped()
        with Xvfb(4096, 4096) as server:
            # Room for start-up and one 52 MB surface at most, not for both.
            program = Program(self.tools.program, server.env, data_limit=60 * 1024 * 1024)
            if not program.wait(STARTUP_SECONDS):
                program.kill()
                raise Failure("with too little memory for its surfaces the program did not end")
            text = program.errors().strip()
            if program.status() != 1 or "not enough memory" not in text or len(text.splitlines()) != 1:
                raise Failure(f"with too little memory: status {program.status()}, standard error:\n{text}")
            self.note(f"with too little memory for the surfaces: status 1, \"{text}\"")

    def server_killed(self):
        for signal_number in (signal.SIGKILL, signal.SIGTERM):
            with Xvfb(640, 480) as server:
                program = self.start(server)
                try:
                    self.check_picture(server)
                    time.sleep(0.5)
                    killed_at = time.monotonic()
                    server.kill(signal_number)
                    if not program.wait(20):
                        raise Failure(f"the program still runs 20 s after the server got "
                                      f"{signal.Signals(signal_number).name}")
                    status, text = program.status(), program.errors().strip()
                    if status <= 0 or "lost the connection to the X server" not in text:
                        raise Failure(f"after the server's end: status {status}, standard error:\n{text}")
                    program.check_clean()
                    self.note(f"server ended by {signal.Signals(signal_number).name}: status {status} after "
                              f"{(program.ended_at - killed_at) * 1000:.0f} ms, \"{text}\"")
                finally:
                    program.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("scenario")
    arguments = parser.parse_args()
    for tool in ("Xvfb", "xdotool"):
        if not shutil.which(tool):
            print(f"{tool} is not installed (Debian: apt-get install xvfb xdotool); skipping", flush=True)
            return SKIP
    os.makedirs(arguments.out, exist_ok=True)
    scenarios = Scenarios(Tools(arguments.program, arguments.probe, arguments.out))
    name = arguments.scenario
    try:
        if name.startswith("balls-"):
            scenarios.balls(*(int(v) for v in name[len("balls-"):].split("x")))
        elif name.startswith("screen-"):
            width, height = (int(v) for v in name[len("screen-"):].split("x"))
            scenarios.screen(width, height)
        elif name == "no-mit-shm":
            scenarios.no_mit_shm()
        elif name == "window-destroyed":
            scenarios.window_destroyed()
        elif name == "window-manager":
            scenarios.window_manager()
        elif name == "awesome":
            scenarios.awesome()
        elif name == "xfwm4-primary-right":
            scenarios.xfwm4_primary_right()
        elif name == "size-change":
            scenarios.screen_change(None)
        elif name == "size-change-openbox":
            scenarios.screen_change(["openbox"])
        elif name == "no-backing-store":
            scenarios.no_backing_store()
        elif name == "no-display":
            scenarios.no_display()
        elif name == "out-of-memory":
            scenarios.out_of_memory()
        elif name == "server-killed":
            scenarios.server_killed()
        else:
            print(f"unknown scenario {name}", file=sys.stderr)
            return 1
    except Skipped:
        return SKIP
    except (Failure, subprocess.SubprocessError, OSError) as failure:
        print(f"FAILED {name}: {failure}", flush=True)
        return 1
    with open(os.path.join(arguments.out, f"e2e_x11_{name}.txt"), "w") as file:
        file.write("\n".join(scenarios.notes) + "\n")
    print(f"passed {name}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
