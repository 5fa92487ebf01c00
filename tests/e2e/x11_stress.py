#!/usr/bin/env python3
"""The X11 build of coppertrowel under stress and under faults of its surroundings, on virtual X servers (Xvfb).

    x11_stress.py --program PATH --out DIR SCENARIO [--runs N] [--servers K] [--longest-delay SECONDS]

Scenarios:
    teardown-stress   the program started and ended by a real left click (XTEST) at a random moment, from the
                      instant its window is mapped to --longest-delay seconds later, --runs times over
                      --servers servers side by side. Every run must end with status 0 within one second of
                      the click and print nothing at all (no sanitizer report, no X error).
    server-killed-anytime
                      the server killed (SIGKILL) at a random moment from the program's launch to three seconds
                      in, a third of them within its first tenth of a second: before it connects, while it
                      builds its tables, while it runs. Every run must end
                      within five seconds of the kill, with status 1 and one clear line, never by a signal.
    connection-killed the program's connection killed by another client (XKillClient on its window, as xkill
                      does) at a random moment: status 1 and the lost-connection line within five seconds (X
                      errors of the drawing connection about the window the server destroyed may come too).
    other-depths      servers of depth 16 and 15: the program converts its pixels to the visual's layout (the
                      screen shows the exact background pixel of that layout) and ends normally on a click; at
                      depth 16 also with the plain conversion (COPPERTROWEL_X11_VECTORS=plain).
    server-stalled    the server stopped (SIGSTOP) for two seconds: the program waits without spinning and a
                      click after the server goes on ends it with status 0.
    shm-refused       the program in an IPC namespace of its own, so the server offers MIT-SHM but cannot attach
                      its segments: the picture arrives through XPutImage, the click ends it, nothing printed.
    unusable-screens  a screen too narrow, a screen too flat, and a server of depth 8: one clear line and
                      status 1 each.

Exit status 0 on success, 1 on failure, 77 when a tool the tests need is missing (Xvfb, libX11, libXtst).
"""

import argparse
import ctypes
import ctypes.util
import os
import random
import select
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from x11_e2e import REPORT_MARKS, STARTUP_SECONDS, Failure, Program, Skipped, Xvfb  # noqa: E402

SKIP = 77
CLICK_TO_EXIT_LIMIT = 1.0
KILL_TO_EXIT_LIMIT = 5.0
BACKGROUND = (2, 151, 57)

MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
Z_PIXMAP = 2
ALL_PLANES = 0xFFFFFFFFFFFFFFFF


def log(text):
    print(text, flush=True)


class Xlib:
    """The few Xlib and XTEST calls the scenarios need, through ctypes, so clicks take the server's real input
    path with no helper process between the decision and the event."""

    _loaded = None

    @classmethod
    def load(cls):
        if cls._loaded:
            return cls._loaded
        names = ctypes.util.find_library("X11"), ctypes.util.find_library("Xtst")
        if not all(names):
            print("libX11 or libXtst is not installed (Debian: apt-get install libx11-6 libxtst6); skipping",
                  flush=True)
            raise Skipped()
        x, tst = ctypes.CDLL(names[0]), ctypes.CDLL(names[1])
        pointer, ulong, integer = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
        for name, result, arguments in (
                ("XInitThreads", integer, []),
                ("XOpenDisplay", pointer, [ctypes.c_char_p]),
                ("XCloseDisplay", integer, [pointer]),
                ("XDefaultRootWindow", ulong, [pointer]),
                ("XSelectInput", integer, [pointer, ulong, ctypes.c_long]),
                ("XConnectionNumber", integer, [pointer]),
                ("XPending", integer, [pointer]),
                ("XNextEvent", integer, [pointer, pointer]),
                ("XFlush", integer, [pointer]),
                ("XSync", integer, [pointer, integer]),
                ("XKillClient", integer, [pointer, ulong]),
                ("XGetImage", pointer, [pointer, ulong, integer, integer, ctypes.c_uint, ctypes.c_uint,
                                        ulong, integer]),
                ("XGetPixel", ulong, [pointer, integer, integer]),
                ("XDestroyImage", integer, [pointer])):
            function = getattr(x, name)
            function.restype, function.argtypes = result, arguments
        for name, arguments in (("XTestFakeButtonEvent", [pointer, ctypes.c_uint, integer, ulong]),
                                ("XTestFakeMotionEvent", [pointer, integer, integer, integer, ulong])):
            function = getattr(tst, name)
            function.restype, function.argtypes = integer, arguments
        # Several threads of this script each hold a connection of their own.
        x.XInitThreads()
        cls._loaded = (x, tst)
        return cls._loaded


class XImageMasks(ctypes.Structure):
    """The leading fields of Xlib's XImage, as far as the channel masks."""
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


class Client:
    """A connection of this script's own: it sees windows being mapped on the root and clicks through XTEST."""

    def __init__(self, server):
        self.x, self.tst = Xlib.load()
        self.display = self.x.XOpenDisplay(server.display.encode())
        if not self.display:
            raise Failure(f"cannot open {server.display}")
        self.root = self.x.XDefaultRootWindow(self.display)
        self.x.XSelectInput(self.display, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        self.tst.XTestFakeMotionEvent(self.display, -1, server.width // 2, server.height // 2, 0)
        self.x.XSync(self.display, 0)
        self.socket = self.x.XConnectionNumber(self.display)

    def close(self):
        """Only while the server lives: Xlib ends the whole process when a connection it uses has died."""
        self.x.XCloseDisplay(self.display)

    def _events(self):
        event = (ctypes.c_long * 24)()
        while self.x.XPending(self.display) > 0:
            self.x.XNextEvent(self.display, event)
            # XMapEvent on LP64: type at 0, window at byte 40.
            yield event[0] & 0xFFFFFFFF, event[5] & 0xFFFFFFFFFFFFFFFF

    def drain(self):
        for _ in self._events():
            pass

    def wait_for_map(self, program):
        """The id of the next top-level window mapped, once the server has mapped it. Only the program maps
        windows on these servers, and the events of an earlier run have been drained (ids are no help: a
        server hands the next client the same ones again)."""
        deadline = time.monotonic() + STARTUP_SECONDS
        while True:
            for kind, window in self._events():
                if kind == MAP_NOTIFY:
                    return window
            if not program.running():
                raise Failure(f"the program ended before its window appeared, status {program.status()}:\n"
                              + program.errors())
            if time.monotonic() > deadline:
                raise Failure("no window appeared; standard error:\n" + program.errors())
            select.select([self.socket], [], [], 0.05)

    def click(self):
        """A left click; returns the moment just before the press was sent."""
        before = time.monotonic()
        self.tst.XTestFakeButtonEvent(self.display, 1, 1, 0)
        self.x.XFlush(self.display)
        self.tst.XTestFakeButtonEvent(self.display, 1, 0, 0)
        self.x.XFlush(self.display)
        return before

    def kill_client(self, window):
        self.x.XKillClient(self.display, window)
        self.x.XSync(self.display, 0)

    def pixels(self, points):
        """The raw pixel values at the given root points, and the image's channel masks."""
        values = []
        for x, y in points:
            image = self.x.XGetImage(self.display, self.root, x, y, 1, 1, ALL_PLANES, Z_PIXMAP)
            if not image:
                raise Failure(f"cannot read the screen at {x},{y}")
            values.append(self.x.XGetPixel(image, 0, 0))
            fields = XImageMasks.from_address(image)
            masks = fields.red_mask, fields.green_mask, fields.blue_mask
            self.x.XDestroyImage(image)
        return values, masks


def channel_value(byte, mask):
    """A colour byte on a channel of the given mask, rounded as the program's pixel conversion does."""
    if not mask:
        return 0
    shift = (mask & -mask).bit_length() - 1
    top = (1 << bin(mask).count("1")) - 1
    return (((byte * top + 127) // 255) << shift) & mask


def cpu_seconds(program):
    """Processor time the program has used, user and system."""
    with open(f"/proc/{program.process.pid}/stat") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def clean_errors(program):
    text = program.errors()
    if text.strip():
        marked = any(mark in text for mark in REPORT_MARKS)
        raise Failure(("standard error holds reports:\n" if marked else "the program printed:\n") + text[-4000:])


class Scenarios:
    def __init__(self, program, out, arguments):
        self.program, self.out, self.arguments = program, out, arguments
        self.notes = []

    def note(self, text):
        log(text)
        self.notes.append(text)

    # ---- Teardown under stress

    def stress_server(self, size, runs, chooser, latencies, failures):
        try:
            with Xvfb(*size) as server:
                client = Client(server)
                try:
                    for run in range(runs):
                        if len(failures) >= 3:
                            return
                        # One run in ten clicks the instant the window is mapped, while start-up still draws
                        # its first picture and before the simulation thread exists.
                        delay = 0.0 if chooser.random() < 0.1 else chooser.uniform(0, self.arguments.longest_delay)
                        try:
                            latencies.append(self.click_run(server, client, delay))
                        except Failure as failure:
                            failures.append(f"{server.width}x{server.height}, run {run + 1}, click "
                                            f"{delay * 1000:.0f} ms after the window: {failure}")
                finally:
                    client.close()
        except Failure as failure:
            failures.append(str(failure))

    def click_run(self, server, client, delay):
        program = Program(self.program, server.env)
        try:
            client.wait_for_map(program)
            mapped_at = time.monotonic()
            time.sleep(max(0.0, mapped_at + delay - time.monotonic()))
            if not program.running():
                raise Failure(f"the program ended before the click, status {program.status()}:\n"
                              + program.errors())
            clicked_at = client.click()
            if not program.wait(10):
                raise Failure("the program still runs 10 s after the click")
            elapsed = program.ended_at - clicked_at
            if program.status() != 0:
                raise Failure(f"status {program.status()}:\n{program.errors()}")
            clean_errors(program)
            if elapsed > CLICK_TO_EXIT_LIMIT:
                raise Failure(f"{elapsed:.3f} s from the click to the end (limit {CLICK_TO_EXIT_LIMIT} s)")
            return elapsed
        finally:
            program.kill()
            client.drain()

    def teardown_stress(self):
        runs, servers = self.arguments.runs, self.arguments.servers
        sizes = [(1280, 720), (800, 600), (1024, 768), (640, 480)][:servers]
        seed = random.randrange(1 << 32)
        log(f"random seed {seed}")
        latencies, failures, threads = [], [], []
        started = time.monotonic()
        for index, size in enumerate(sizes):
            share = runs // servers + (1 if index < runs % servers else 0)
            chooser = random.Random(seed + index)
            threads.append(threading.Thread(target=self.stress_server,
                                            args=(size, share, chooser, latencies, failures)))
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        if failures:
            raise Failure(f"{len(failures)} failed run(s) (seed {seed}):\n" + "\n".join(failures))
        if len(latencies) != runs:
            raise Failure(f"only {len(latencies)} of {runs} runs were made")
        self.note(f"{runs} runs on {servers} server(s) in {time.monotonic() - started:.0f} s, clicks from 0 to "
                  f"{self.arguments.longest_delay:g} s after the window appeared: every run status 0 and silent; "
                  f"click to end of process median {statistics.median(latencies) * 1000:.0f} ms, "
                  f"max {max(latencies) * 1000:.0f} ms")

    # ---- The server or the connection taken away

    def expect_lost(self, program, lost_at, what, texts, window_errors_allowed=False):
        """One line that says what was lost, and status 1. When the connection that owns the window is
        killed, the server destroys the window, and what the drawing connection still sends to it fails: those
        X errors may come too, before the end."""
        if not program.wait(KILL_TO_EXIT_LIMIT):
            raise Failure(f"the program still runs {KILL_TO_EXIT_LIMIT:g} s after {what}")
        status, text = program.status(), program.errors().strip()
        lines = text.splitlines()
        if window_errors_allowed:
            lines = [line for line in lines if not ("X error: BadDrawable" in line or "X error: BadWindow" in line)]
        # A kill just as the simulation thread opens its own connection makes that thread say so too, before
        # the main thread reports the loss.
        if len(lines) > 1:
            lines = [line for line in lines if "cannot open a drawing connection" not in line]
        if status != 1 or len(lines) != 1 or not any(t in lines[0] for t in texts):
            raise Failure(f"after {what}: status {status}, standard error:\n{text}")
        return program.ended_at - lost_at, lines[0]

    def server_killed_anytime(self):
        chooser = random.Random()
        runs, slowest, messages = self.arguments.runs, 0.0, {}
        for run in range(runs):
            # A third of the kills fall into the first tenth of a second, where the program connects and
            # builds its tables; a few come before it can have connected at all.
            delay = (0.0 if run % 10 == 0 else chooser.uniform(0, 0.1) if run % 3 == 0
                     else chooser.uniform(0, 3))
            with Xvfb(800, 600) as server:
                program = Program(self.program, server.env)
                try:
                    time.sleep(delay)
                    killed_at = time.monotonic()
                    running = program.running()
                    server.kill(signal.SIGKILL)
                    if not running:
                        raise Failure(f"the program ended before the kill, status {program.status()}:\n"
                                      + program.errors())
                    elapsed, text = self.expect_lost(
                        program, killed_at, f"the server was killed {delay:.2f} s after the launch",
                        ("lost the connection to the X server", "cannot open display"))
                finally:
                    program.kill()
            slowest = max(slowest, elapsed)
            kind = next(k for k in ("lost the connection", "cannot open display") if k in text)
            messages[kind] = messages.get(kind, 0) + 1
        self.note(f"server killed at random moments, {runs} runs: status 1 and one line every time "
                  f"({', '.join(f'{n} x {k!r}' for k, n in messages.items())}), at most "
                  f"{slowest * 1000:.0f} ms from the kill to the end")

    def connection_killed(self):
        chooser = random.Random()
        runs, slowest = self.arguments.runs, 0.0
        with Xvfb(800, 600) as server:
            client = Client(server)
            try:
                for _ in range(runs):
                    client.drain()
                    program = Program(self.program, server.env)
                    try:
                        window = client.wait_for_map(program)
                        delay = chooser.uniform(0, 2)
                        time.sleep(delay)
                        killed_at = time.monotonic()
                        client.kill_client(window)
                        elapsed, _ = self.expect_lost(program, killed_at,
                                                      f"its connection was killed {delay:.2f} s in",
                                                      ("lost the connection to the X server",),
                                                      window_errors_allowed=True)
                        slowest = max(slowest, elapsed)
                    finally:
                        program.kill()
                        client.drain()
            finally:
                client.close()
        self.note(f"connection killed by another client, {runs} runs: status 1 and the lost-connection line "
                  f"every time, at most {slowest * 1000:.0f} ms from the kill to the end")

    # ---- Servers of other depths, and screens the program cannot use

    def other_depths(self):
        # Depth 16 a second time with the plain conversion, as on a processor without vector instructions.
        for depth, vectors in ((16, None), (16, "plain"), (15, None)):
            with depth_server(800, 600, depth) as server:
                client = Client(server)
                try:
                    env = dict(server.env, COPPERTROWEL_X11_VECTORS=vectors) if vectors else server.env
                    program = Program(self.program, env)
                    try:
                        client.wait_for_map(program)
                        time.sleep(1.0)
                        # Corners and edge middles: the two balls can cover a few of them, never most.
                        points = [(1, 599), (799, 599), (400, 599), (799, 300), (799, 100), (500, 598)]
                        values, masks = client.pixels(points)
                        expected = sum(channel_value(byte, mask) for byte, mask in zip(BACKGROUND, masks))
                        matching = sum(1 for value in values if value == expected)
                        if matching < 4:
                            raise Failure(f"depth {depth}: pixels {[hex(v) for v in values]}, the background "
                                          f"in this layout is {expected:#x}")
                        clicked_at = client.click()
                        if not program.wait(10) or program.status() != 0:
                            raise Failure(f"depth {depth}: the click did not end the program with status 0 "
                                          f"(status {program.status()}):\n{program.errors()}")
                        clean_errors(program)
                        self.note(f"depth {depth}{', plain conversion' if vectors else ''}: background pixel "
                                  f"{expected:#06x} on the screen, status 0 "
                                  f"{(program.ended_at - clicked_at) * 1000:.0f} ms after the click")
                    finally:
                        program.kill()
                        client.drain()
                finally:
                    client.close()

    def shared_memory_refused(self):
        """The server offers MIT-SHM but cannot see the program's segments (another IPC namespace, as between
        containers, or a server on another machine): the attachment test fails and every copy goes through
        XPutImage, without an X error."""
        prefix = ["unshare", "--ipc"] if os.geteuid() == 0 else ["unshare", "--user", "--map-root-user", "--ipc"]
        if not shutil.which("unshare") or subprocess.run([*prefix, "true"], capture_output=True).returncode != 0:
            print("cannot give a process an IPC namespace of its own here (unshare); skipping", flush=True)
            raise Skipped()
        wrapper = os.path.join(self.out, "with_own_ipc_namespace.sh")
        with open(wrapper, "w") as file:
            file.write(f"#!/bin/sh\nexec {' '.join(prefix)} '{os.path.abspath(self.program)}'\n")
        os.chmod(wrapper, 0o755)
        with Xvfb(800, 600) as server:
            client = Client(server)
            try:
                program = Program(wrapper, server.env)
                try:
                    client.wait_for_map(program)
                    time.sleep(1.0)
                    points = [(1, 599), (799, 599), (400, 599), (799, 300), (799, 100), (500, 598)]
                    values, masks = client.pixels(points)
                    expected = sum(channel_value(byte, mask) for byte, mask in zip(BACKGROUND, masks))
                    if sum(1 for value in values if value == expected) < 4:
                        raise Failure(f"pixels {[hex(v) for v in values]}: the picture did not reach the screen")
                    clicked_at = client.click()
                    if not program.wait(10) or program.status() != 0:
                        raise Failure(f"the click did not end the program with status 0 (status "
                                      f"{program.status()}):\n{program.errors()}")
                    clean_errors(program)
                    self.note(f"shared memory refused by the server: the picture on the screen, status 0 "
                              f"{(program.ended_at - clicked_at) * 1000:.0f} ms after the click, nothing printed")
                finally:
                    program.kill()
                    client.drain()
            finally:
                client.close()

    def server_stalled(self):
        """The server stopped for two seconds (SIGSTOP), as a server that hangs or is swapped out: the program
        waits without spinning, goes on when the server does, and a click still ends it."""
        with Xvfb(800, 600) as server:
            client = Client(server)
            try:
                program = Program(self.program, server.env)
                try:
                    client.wait_for_map(program)
                    time.sleep(0.5)
                    server.process.send_signal(signal.SIGSTOP)
                    try:
                        time.sleep(0.2)
                        before = cpu_seconds(program)
                        time.sleep(2.0)
                        busy = cpu_seconds(program) - before
                    finally:
                        server.process.send_signal(signal.SIGCONT)
                    if busy > 0.2:
                        raise Failure(f"the program used {busy:.2f} s of processor in 2 s of a stopped server")
                    if not program.running():
                        raise Failure(f"the program ended while the server was stopped, status "
                                      f"{program.status()}:\n{program.errors()}")
                    time.sleep(0.5)
                    clicked_at = client.click()
                    if not program.wait(10) or program.status() != 0:
                        raise Failure(f"the click did not end the program with status 0 (status "
                                      f"{program.status()}):\n{program.errors()}")
                    elapsed = program.ended_at - clicked_at
                    clean_errors(program)
                    if elapsed > CLICK_TO_EXIT_LIMIT:
                        raise Failure(f"{elapsed:.3f} s from the click to the end")
                    self.note(f"server stopped for 2 s: {busy:.2f} s of processor meanwhile, then the click ended "
                              f"it with status 0 in {elapsed * 1000:.0f} ms")
                finally:
                    program.kill()
                    client.drain()
            finally:
                client.close()

    def unusable_screens(self):
        for width, height, depth, says in ((26, 480, 24, "too small"), (640, 24, 24, "too flat"),
                                           (1280, 48, 24, "too flat"), (640, 480, 8, "no TrueColor visual")):
            with depth_server(width, height, depth) as server:
                program = Program(self.program, server.env)
                try:
                    if not program.wait(STARTUP_SECONDS):
                        raise Failure(f"{width}x{height}x{depth}: the program did not end")
                    text = program.errors().strip()
                    if program.status() != 1 or says not in text or len(text.splitlines()) != 1:
                        raise Failure(f"{width}x{height}x{depth}: status {program.status()}, standard "
                                      f"error:\n{text}")
                    self.note(f"{width}x{height} depth {depth}: status 1, \"{text}\"")
                finally:
                    program.kill()


def depth_server(width, height, depth):
    """An Xvfb whose screen has the given depth: a second -screen option overrides the first."""
    return Xvfb(width, height, ("-screen", "0", f"{width}x{height}x{depth}"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--servers", type=int, default=2)
    parser.add_argument("--longest-delay", type=float, default=3.0)
    parser.add_argument("scenario")
    arguments = parser.parse_args()
    if not shutil.which("Xvfb"):
        print("Xvfb is not installed (Debian: apt-get install xvfb); skipping", flush=True)
        return SKIP
    os.makedirs(arguments.out, exist_ok=True)
    scenarios = Scenarios(arguments.program, arguments.out, arguments)
    chosen = {"teardown-stress": scenarios.teardown_stress,
              "server-killed-anytime": scenarios.server_killed_anytime,
              "connection-killed": scenarios.connection_killed,
              "other-depths": scenarios.other_depths,
              "shm-refused": scenarios.shared_memory_refused,
              "server-stalled": scenarios.server_stalled,
              "unusable-screens": scenarios.unusable_screens}.get(arguments.scenario)
    if not chosen:
        print(f"unknown scenario {arguments.scenario}", file=sys.stderr)
        return 1
    try:
        chosen()
    except Skipped:
        return SKIP
    except (Failure, OSError) as failure:
        print(f"FAILED {arguments.scenario}: {failure}", flush=True)
        return 1
    with open(os.path.join(arguments.out, f"e2e_x11_{arguments.scenario}.txt"), "w") as file:
        file.write("\n".join(scenarios.notes) + "\n")
    print(f"passed {arguments.scenario}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
