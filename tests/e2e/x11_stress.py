#!/usr/bin/env python3
"""The X11 build of coppertrowel under stress and under faults of its surroundings, on virtual X servers (Xvfb).

    x11_stress.py --program PATH --out DIR [--runs N] SCENARIO

Scenarios:
    teardown-stress   the program started and ended by a real left click (XTEST) at a random moment, from the
                      instant its window is mapped to three seconds later, --runs times (200 unless given) over
                      two servers side by side. Every run must end with status 0 within one second of the click
                      and print nothing at all (no sanitizer report, no X error).
    server-killed-anytime
                      the server killed (SIGKILL) at a random moment from the program's launch to three seconds
                      in, a third of them within its first tenth of a second: before it connects, while it
                      builds its tables, while it runs; 30 runs unless given. Every run must end within five
                      seconds of the kill, with status 1 and one clear line, never by a signal.
    connection-killed the program's connection killed by another client (XKillClient on its window, as xkill
                      does) at a random moment, 10 runs unless given: status 1 and the lost-connection line within
                      five seconds (X errors of the drawing connection about the window the server destroyed may
                      come too).
    other-depths      servers of depth 16 and 15: the program converts its pixels to the visual's layout (the
                      screen shows the exact background pixel of that layout) and ends normally on a click; at
                      depth 16 also with the plain conversion (COPPERTROWEL_X11_VECTORS=plain).
    server-stalled    the server stopped (SIGSTOP) for two seconds: the program waits without spinning and a
                      click after the server goes on ends it with status 0.
    shm-refused       the program in an IPC namespace of its own, so the server offers MIT-SHM but cannot attach
                      its segments: the picture arrives through XPutImage, the click ends it, nothing printed.
    unusable-screens  a screen too narrow, a screen too flat, and a server of depth 8: one clear line and
                      status 1 each.
"""

import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (BACKGROUND, CLICK_TO_EXIT_LIMIT, Failure, Program, Skipped, Xvfb, log, main,  # noqa: E402
                     watch)

KILL_TO_EXIT_LIMIT = 5.0
SERVERS = ((1280, 720), (800, 600))
LONGEST_DELAY = 3.0
# Corners and edge middles of an 800x600 screen: the two balls can cover a few of them, never most.
EDGE_POINTS = [(1, 599), (799, 599), (400, 599), (799, 300), (799, 100), (500, 598)]


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


def started(server, command, env=None):
    """The program, once the server has mapped its window. Only the program maps windows on these servers, and
    the events of an earlier run have been drained (ids are no help: a server hands the next client the same
    ones again)."""
    server.x.watch_maps()
    for _ in server.x.events():
        pass
    program = Program(command, env or server.env)
    return program, server.x.wait_for_map(program)


def background_shown(server, what):
    """The background pixel in the screen's own layout at most of EDGE_POINTS; returns that pixel."""
    def read():
        values, masks = server.x.pixels(EDGE_POINTS)
        return values, sum(channel_value(byte, mask) for byte, mask in zip(BACKGROUND, masks))

    (values, expected), problem = watch(read, lambda seen: None if seen[0].count(seen[1]) >= 4 else "", 30)
    if problem is not None:
        raise Failure(f"{what}: pixels {[hex(v) for v in values]}, the background in this layout is {expected:#x}")
    return expected


def end_by_click(server, program, what, limit=None):
    """A real left click ends the program with status 0, printing nothing; the milliseconds it took."""
    return program.end(f"{what}: the click", server.x.click(), limit, seconds=10, silent=True) * 1000


def stress_server(t, size, runs, chooser, latencies, failures):
    try:
        with Xvfb(*size) as server:
            server.x.move(size[0] // 2, size[1] // 2)
            for run in range(runs):
                if len(failures) >= 3:
                    return
                # One run in ten clicks the instant the window is mapped, while start-up still draws its first
                # picture and before the simulation thread exists.
                delay = 0.0 if chooser.random() < 0.1 else chooser.uniform(0, LONGEST_DELAY)
                program, _ = started(server, [t.program])
                try:
                    time.sleep(delay)
                    if not program.running():
                        raise Failure(f"the program ended before the click, status {program.status()}:\n"
                                      + program.errors())
                    latencies.append(end_by_click(server, program, "teardown", CLICK_TO_EXIT_LIMIT))
                except Failure as failure:
                    failures.append(f"{size[0]}x{size[1]}, run {run + 1}, click {delay * 1000:.0f} ms after "
                                    f"the window: {failure}")
                finally:
                    program.kill()
    except Failure as failure:
        failures.append(str(failure))


def teardown_stress(t):
    runs, seed = t.arguments.runs or 200, random.randrange(1 << 32)
    log(f"random seed {seed}")
    latencies, failures, threads = [], [], []
    began = time.monotonic()
    for index, size in enumerate(SERVERS):
        share = runs // len(SERVERS) + (1 if index < runs % len(SERVERS) else 0)
        threads.append(threading.Thread(target=stress_server, args=(t, size, share, random.Random(seed + index),
                                                                    latencies, failures)))
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failures:
        raise Failure(f"{len(failures)} failed run(s) (seed {seed}):\n" + "\n".join(failures))
    if len(latencies) != runs:
        raise Failure(f"only {len(latencies)} of {runs} runs were made")
    t.note(f"{runs} runs on {len(SERVERS)} servers in {time.monotonic() - began:.0f} s, clicks from 0 to "
           f"{LONGEST_DELAY:g} s after the window appeared: every run status 0 and silent; click to end of process "
           f"median {statistics.median(latencies):.0f} ms, max {max(latencies):.0f} ms")


def expect_lost(program, lost_at, what, texts, window_errors_allowed=False):
    """One line that says what was lost, and status 1. When the connection that owns the window is killed, the
    server destroys the window, and what the drawing connection still sends to it fails: those X errors may
    come too, before the end."""
    if not program.wait(KILL_TO_EXIT_LIMIT):
        raise Failure(f"the program still runs {KILL_TO_EXIT_LIMIT:g} s after {what}")
    status, text = program.status(), program.errors().strip()
    lines = text.splitlines()
    if window_errors_allowed:
        lines = [line for line in lines if not ("X error: BadDrawable" in line or "X error: BadWindow" in line)]
    # A kill just as the simulation thread opens its own connection makes that thread say so too, before the
    # main thread reports the loss.
    if len(lines) > 1:
        lines = [line for line in lines if "cannot open a drawing connection" not in line]
    if status != 1 or len(lines) != 1 or not any(text in lines[0] for text in texts):
        raise Failure(f"after {what}: status {status}, standard error:\n{text}")
    return program.ended_at - lost_at, lines[0]


def server_killed_anytime(t):
    chooser, runs = random.Random(), t.arguments.runs or 30
    slowest, messages = 0.0, {}
    for run in range(runs):
        # A third of the kills fall into the first tenth of a second, where the program connects and builds its
        # tables; a few come before it can have connected at all.
        delay = 0.0 if run % 10 == 0 else chooser.uniform(0, 0.1) if run % 3 == 0 else chooser.uniform(0, 3)
        with Xvfb(800, 600) as server:
            program = Program([t.program], server.env)
            try:
                time.sleep(delay)
                killed_at = time.monotonic()
                running = program.running()
                server.kill(signal.SIGKILL)
                if not running:
                    raise Failure(f"the program ended before the kill, status {program.status()}:\n"
                                  + program.errors())
                elapsed, text = expect_lost(program, killed_at, f"the server was killed {delay:.2f} s after the "
                                            "launch", ("lost the connection to the X server", "cannot open display"))
            finally:
                program.kill()
        slowest = max(slowest, elapsed)
        kind = next(k for k in ("lost the connection", "cannot open display") if k in text)
        messages[kind] = messages.get(kind, 0) + 1
    t.note(f"server killed at random moments, {runs} runs: status 1 and one line every time "
           f"({', '.join(f'{n} x {k!r}' for k, n in messages.items())}), at most {slowest * 1000:.0f} ms from "
           "the kill to the end")


def connection_killed(t):
    chooser, runs = random.Random(), t.arguments.runs or 10
    slowest = 0.0
    with Xvfb(800, 600) as server:
        for _ in range(runs):
            program, window = started(server, [t.program])
            try:
                delay = chooser.uniform(0, 2)
                time.sleep(delay)
                killed_at = time.monotonic()
                server.x.kill_client(window)
                elapsed, _ = expect_lost(program, killed_at, f"its connection was killed {delay:.2f} s in",
                                         ("lost the connection to the X server",), window_errors_allowed=True)
                slowest = max(slowest, elapsed)
            finally:
                program.kill()
    t.note(f"connection killed by another client, {runs} runs: status 1 and the lost-connection line "
           f"every time, at most {slowest * 1000:.0f} ms from the kill to the end")


def other_depths(t):
    # Depth 16 a second time with the plain conversion, as on a processor without vector instructions.
    for depth, vectors in ((16, None), (16, "plain"), (15, None)):
        with Xvfb(800, 600, depth=depth) as server:
            program, _ = started(server, [t.program],
                                 dict(server.env, COPPERTROWEL_X11_VECTORS=vectors) if vectors else None)
            try:
                expected = background_shown(server, f"depth {depth}")
                took = end_by_click(server, program, f"depth {depth}")
                t.note(f"depth {depth}{', plain conversion' if vectors else ''}: background pixel {expected:#06x} "
                       f"on the screen, status 0 {took:.0f} ms after the click")
            finally:
                program.kill()


def shared_memory_refused(t):
    """The server offers MIT-SHM but cannot see the program's segments (another IPC namespace, as between
    containers, or a server on another machine): the attachment test fails and every copy goes through
    XPutImage, without an X error."""
    prefix = ["unshare", "--ipc"] if os.geteuid() == 0 else ["unshare", "--user", "--map-root-user", "--ipc"]
    if not shutil.which("unshare") or subprocess.run([*prefix, "true"], capture_output=True).returncode != 0:
        raise Skipped("cannot give a process an IPC namespace of its own here (unshare)")
    with Xvfb(800, 600) as server:
        program, _ = started(server, [*prefix, os.path.abspath(t.program)])
        try:
            background_shown(server, "the picture did not reach the screen")
            took = end_by_click(server, program, "shared memory refused")
            t.note(f"shared memory refused by the server: the picture on the screen, status 0 {took:.0f} ms after "
                   "the click, nothing printed")
        finally:
            program.kill()


def server_stalled(t):
    """The server stopped for two seconds (SIGSTOP), as a server that hangs or is swapped out: the program
    waits without spinning, goes on when the server does, and a click still ends it."""
    with Xvfb(800, 600) as server:
        program, _ = started(server, [t.program])
        try:
            background_shown(server, "before the stall")
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
                raise Failure(f"the program ended while the server was stopped, status {program.status()}:\n"
                              + program.errors())
            time.sleep(0.5)
            took = end_by_click(server, program, "after the stall", CLICK_TO_EXIT_LIMIT)
            t.note(f"server stopped for 2 s: {busy:.2f} s of processor meanwhile, then the click ended it with "
                   f"status 0 in {took:.0f} ms")
        finally:
            program.kill()


def unusable_screens(t):
    for width, height, depth, says in ((26, 480, 24, "too small"), (640, 24, 24, "too flat"),
                                       (1280, 48, 24, "too flat"), (640, 480, 8, "no TrueColor visual")):
        with Xvfb(width, height, depth=depth) as server:
            program = Program([t.program], server.env)
            text = program.refused(says, f"{width}x{height}x{depth}")
            t.note(f"{width}x{height} depth {depth}: status 1, \"{text}\"")


SCENARIOS = {"teardown-stress": teardown_stress, "server-killed-anytime": server_killed_anytime,
             "connection-killed": connection_killed, "other-depths": other_depths,
             "shm-refused": shared_memory_refused, "server-stalled": server_stalled,
             "unusable-screens": unusable_screens}

if __name__ == "__main__":
    sys.exit(main(SCENARIOS, __doc__))
