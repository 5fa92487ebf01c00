#!/usr/bin/env python3
"""End-to-end runs of the X11 build of coppertrowel, each on a virtual X server (Xvfb) of its own.

    x11_e2e.py --program PATH --out DIR SCENARIO

Scenarios:
    screen-WxH      the window covers the screen in the background colour and the picture moves; right and
                    middle clicks, the wheel, keys and motion leave the program running; a window mapped
                    later stays under it and leaves nothing behind; a left click ends it
                    with status 0 within one second; a second run is ended by WM_DELETE_WINDOW, status 0.
                    Saves a screenshot.
    no-mit-shm      the same on a server without MIT-SHM, so every copy goes through XPutImage; the second run
                    is ended by a button press event sent to the window.
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

Every run must also leave standard error free of sanitizer reports and X errors.
"""

import math
import os
import random
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (CLICK_TO_EXIT_LIMIT, STARTUP_SECONDS, Failure, Program, Skipped, Xvfb,  # noqa: E402
                     main, need, wait_until, watch)

# The program's two numbers sit at (10, 10) and (10, 30) in the "fixed" font: at most 8 characters wide.
TEXT_CORNER = (80, 56)
# What a window manager keeps the window in, where it holds the two compatible.
FULL_SCREEN_AND_ABOVE = ("_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_ABOVE")
# The fully covered shadow over the background, through the shadow's light level.
SHADOW_RGB = (2, 125, 47)
MAGENTA = 0xFF00FF


class Manager:
    """A window manager on the server, in a process group of its own (it may start helpers), up once it has
    announced itself on the root window. No command: no window manager."""

    def __init__(self, server, command):
        self.process = None
        if not command:
            return
        need(command[0], *command[2:3] if command[0] == "dbus-run-session" else ())
        self.process = subprocess.Popen(command, env=server.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        start_new_session=True)
        if not wait_until(server.x.manager_announced, 60):
            raise Failure(f"{command[0]} did not announce itself within 60 s")

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        if self.process:
            os.killpg(self.process.pid, signal.SIGTERM)
            self.process.wait(timeout=30)


def xrandr(server, *args):
    subprocess.run(["xrandr", *args], env=server.env, check=True, timeout=60, stdout=subprocess.DEVNULL)


def balls_problem(screen):
    """Why the picture does not show two shaded red balls with shadows and the two numbers, or None."""
    width, pixels, body, shadow = screen.width, screen.rgb, [], []
    background_row = bytes((2, 151, 57)) * width
    for y in range(screen.height):
        row = pixels[y * width * 3:(y + 1) * width * 3]
        if row == background_row:
            continue
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
    corner = [screen.pixel(x, y) for y in range(10, 45) for x in range(10, 40)]
    if (255, 255, 255) not in corner or (0, 0, 0) not in corner:
        return "no black-on-white numbers at the top left"
    return None


def picture_problem(screen, width, height):
    """Why the screen is not the program's picture, or None: everything in the background colour except the
    two balls' squares and the two numbers in the top-left corner."""
    if (screen.width, screen.height) != (width, height):
        return f"screen is {screen.width}x{screen.height}"
    scale = width / 640
    # One ball's square, shadow included, is about 31 units of Scale pixels; clusters snap to 8-pixel cells.
    square = math.ceil(32 * scale) + 16
    others = []
    for left, top, cluster_width, cluster_height, pixels in screen.clusters:
        in_corner = left < TEXT_CORNER[0] and top < TEXT_CORNER[1]
        limit_x = 2 * square + (TEXT_CORNER[0] if in_corner else 0)
        limit_y = 2 * square + (TEXT_CORNER[1] if in_corner else 0)
        if cluster_width > limit_x or cluster_height > limit_y:
            return f"a {cluster_width}x{cluster_height} area at ({left}, {top}) is not background"
        if not in_corner:
            others.append((left, top))
    if len(others) > 2:
        return f"{len(others)} separate areas are not background: {others}"
    if screen.nonbackground > 2 * square * square + TEXT_CORNER[0] * TEXT_CORNER[1]:
        return f"{screen.nonbackground} pixels are not background"
    return None


def window_problem(server, window, managed=False, area=None, states=FULL_SCREEN_AND_ABOVE):
    """Why the window does not cover `area` (x, y, width, height; the whole screen when None) as a managed
    window in `states` or an override-redirect one, or None."""
    if not window:
        return "the program's window is not on the screen"
    expected = area or (0, 0, server.width, server.height)
    if (window["x"], window["y"], window["width"], window["height"]) != expected:
        return (f"window at {window['x']},{window['y']} size {window['width']}x{window['height']}, "
                f"not {expected[2]}x{expected[3]} at {expected[0]},{expected[1]}")
    if managed and (window["override_redirect"] or not set(states) <= set(window["states"])):
        return (f"under a window manager the window must be {' and '.join(states)}, not override "
                f"redirection; it has override_redirect={window['override_redirect']}, states {window['states']}")
    if not managed and not window["override_redirect"]:
        return "with no window manager the window must be override-redirect"
    return None


def start(t, server, managed=False, area=None, states=FULL_SCREEN_AND_ABOVE):
    """Runs the program and checks its window covers `area` (the whole screen when None), asking a window
    manager, when `managed`, for `states`."""
    program = Program([t.program], server.env)

    def mapped():
        if not program.running():
            raise Failure(f"the program ended at start-up with status {program.status()}:\n" + program.errors())
        return server.x.viewable()

    if not wait_until(mapped, STARTUP_SECONDS):
        program.kill()
        raise Failure("no window appeared; standard error:\n" + program.errors())
    # A window manager fits the window after mapping it: give it a moment to settle.
    if wait_until(lambda: not window_problem(server, server.x.viewable(), managed, area, states), 5):
        return program
    program.kill()
    raise Failure(window_problem(server, server.x.viewable(), managed, area, states))


def check_picture(t, server, screenshot=None, area=None, seconds=30, pause=0.2):
    """Waits up to `seconds` for the screen, or the monitor `area`, to show the program's picture. Keeps in
    `t.picture_seen` when the last read that was not the picture began and when the first that was ended."""
    width, height = (area[2], area[3]) if area else (server.width, server.height)
    deadline, last_miss = time.monotonic() + seconds, None
    while True:
        began = time.monotonic()
        screen = server.x.screen(area)
        problem = picture_problem(screen, width, height)
        if problem is None or time.monotonic() > deadline:
            break
        last_miss = began
        time.sleep(pause)
    t.picture_seen = (last_miss, time.monotonic())
    if screenshot:
        screen.save_png(t.path(screenshot))
    if problem:
        raise Failure("the screen is not the program's picture: " + problem)
    return screen


def check_frames_flow(server, first):
    """Frames keep reaching the window: the picture changes (from the start-up picture, too)."""
    if not wait_until(lambda: server.x.screen().hash != first.hash, 30, pause=0.2):
        raise Failure("the picture did not change for 30 s: frames are not reaching the window")


def harmless_input(server, program):
    x, middle_x, middle_y = server.x, server.width // 2, server.height // 2
    x.move(middle_x, middle_y)
    x.click(3, 2, 4, 5)
    x.key("a", "Escape", "space")
    x.move(5, 5)
    x.move(middle_x, 7)
    time.sleep(0.5)
    if not program.running():
        raise Failure(f"right click, keys or motion ended the program (status {program.status()}):\n"
                      + program.errors())


def check_stays_above(server):
    """Another window mapped over the program's must end up under it, and show nowhere."""
    x = server.x
    width, height = x.size()
    area = (width // 4, height // 4, width // 2, height // 2)
    program = x.top_level(x.find())
    cover = x.create_window(*area, pixel=MAGENTA, override=False)

    def placement():
        """Where the two stand from the bottom and how much of the other shows, once it is on the screen: a
        window manager maps it in a frame of its own a moment later."""
        stack, top = x.children(x.root)[1], x.top_level(cover)
        attributes = x.attributes(top)
        if not attributes or attributes.map_state != 2 or top not in stack or program not in stack:
            return None
        return stack.index(program), stack.index(top), x.screen(area).words.count(MAGENTA)

    seen, problem = watch(placement, lambda seen: None if seen and seen[0] > seen[1] and not seen[2] else "", 5, 0.1)
    x.destroy(cover)
    if problem is not None:
        raise Failure("a window mapped later covers the program's: " + (
            f"stacked at {seen[1]} over {seen[0]}, {seen[2]} of its pixels shown" if seen else "it never showed"))


def end_and_measure(t, program, how, action, **clean):
    """Ends the program with `action`, which gives the moment its event went to the server, and times it."""
    elapsed = program.end(how, action(), CLICK_TO_EXIT_LIMIT, **clean)
    t.note(f"{how}: exit status 0, {elapsed * 1000:.1f} ms from the event to the end of the process")


def end_by_click(t, server, program, area=None):
    left, top, width, height = area or (0, 0, server.width, server.height)
    chooser = random.Random()
    x, y = left + chooser.randrange(width), top + chooser.randrange(height)
    server.x.move(x, y)
    end_and_measure(t, program, f"left click at ({x}, {y})", lambda: server.x.button(1, True))
    server.x.button(1, False)


def run_and_end(t, server, screenshot, how, managed=False):
    """One run: the picture, frames, harmless input, then the end by `how`: a real left click ("click"), a
    button press event ("press") or the window manager's close command ("close")."""
    program = start(t, server, managed)
    try:
        first = check_picture(t, server, screenshot)
        check_frames_flow(server, first)
        harmless_input(server, program)
        check_stays_above(server)
        check_picture(t, server)
        if how == "click":
            end_by_click(t, server, program)
        elif how == "press":
            x, y = random.randrange(server.width), random.randrange(server.height)
            end_and_measure(t, program, f"left button press event at ({x}, {y})",
                            lambda: server.x.send_press(server.x.find(), x, y))
        else:
            end_and_measure(t, program, "WM_DELETE_WINDOW", lambda: server.x.send_close(server.x.find()))
    finally:
        program.kill()


def screen(t, width, height):
    with Xvfb(width, height) as server:
        run_and_end(t, server, f"e2e_x11_{width}x{height}.png", "click")
        run_and_end(t, server, None, "close")


def balls(t, width, height):
    with Xvfb(width, height) as server:
        program = start(t, server)
        try:
            check_picture(t, server)
            # The balls may overlap or graze an edge for a moment, and the first frame draws the numbers: look
            # until the picture is whole.
            shown, problem = watch(server.x.screen, balls_problem, 60, 0.3)
            shown.save_png(t.path("e2e_x11_balls.png"))
            if problem:
                raise Failure(problem)
            t.note("two shaded red balls with their shadows and the two numbers are on the screen")
            end_and_measure(t, program, "left click", server.x.click)
        finally:
            program.kill()


def no_mit_shm(t):
    with Xvfb(1920, 1080, ("-extension", "MIT-SHM")) as server:
        if server.x.has_extension("MIT-SHM"):
            raise Failure("Xvfb still offers MIT-SHM: the fallback would not be exercised")
        run_and_end(t, server, "e2e_x11_no_mit_shm.png", "click")
        run_and_end(t, server, None, "press")


def window_destroyed(t):
    with Xvfb(640, 480) as server:
        program = start(t, server)
        try:
            check_picture(t, server)
            # The frames already on their way to the destroyed window fail; saying so is right.
            end_and_measure(t, program, "the window destroyed by another client",
                            lambda: server.x.destroy(server.x.find()), x_errors_allowed=True)
        finally:
            program.kill()


def window_manager(t):
    with Xvfb(1280, 720) as server, Manager(server, ["openbox"]):
        run_and_end(t, server, "e2e_x11_window_manager.png", "click", managed=True)
        run_and_end(t, server, None, "close", managed=True)


def full_screen_under(t, server, command, screenshot, area=None):
    """Under the window manager `command` the window must cover the primary monitor `area` (the whole screen
    when None), be seen there, and end on a left click."""
    with Manager(server, command):
        program = start(t, server, managed=True, area=area, states=("_NET_WM_STATE_FULLSCREEN",))
        try:
            check_picture(t, server, screenshot, area)
            end_by_click(t, server, program, area)
        finally:
            program.kill()


def awesome(t):
    # Catches asking for FULLSCREEN and ABOVE in one request: this manager holds them exclusive, keeps the
    # later one and leaves the window under its bars.
    with Xvfb(1920, 1080) as server:
        full_screen_under(t, server, ["awesome"], "e2e_x11_awesome.png")


def xfwm4_primary_right(t):
    # Catches leaving the choice of monitor to the manager: this one takes the monitor at the origin, and
    # the primary monitor, on the right, stays black.
    need("xrandr")
    with Xvfb(3200, 1080) as server:
        xrandr(server, "--setmonitor", "L", "1280/300x1024/240+0+0", "screen")
        xrandr(server, "--setmonitor", "*R", "1920/500x1080/280+1280+0", "none")
        full_screen_under(t, server, ["dbus-run-session", "--", "xfwm4", "--compositor=off"],
                          "e2e_x11_xfwm4.png", (1280, 0, 1920, 1080))


def check_balls_on_screen(server):
    """Both balls in view, apart, at some moment within 10 s: catches a world left at the old size."""
    def balls_seen():
        clusters = server.x.screen().clusters
        return len([c for c in clusters if not (c[0] < TEXT_CORNER[0] and c[1] < TEXT_CORNER[1])]) == 2

    if not wait_until(balls_seen, 10):
        raise Failure(f"the two balls are not both in view within 10 s of the change: {server.x.screen().clusters}")


def screen_change(t, command):
    """The screen switched 1366x768 -> 1920x1080 -> 1366x768 under the program: each time the window covers
    the new screen, all of it the program's picture, the balls inside it; a click still ends it."""
    need("xrandr")
    # Xvfb cannot grow beyond the size it starts with: start large and go down before the program starts.
    with Xvfb(1920, 1080) as server, Manager(server, command):
        xrandr(server, "--newmode", "1366x768", "85.25", "1366", "1440", "1576", "1784", "768", "771", "781", "798")
        xrandr(server, "--addmode", "screen", "1366x768")
        xrandr(server, "--output", "screen", "--mode", "1366x768")
        server.width, server.height = 1366, 768
        program = start(t, server, managed=bool(command))
        manager = command[0] if command else "none"
        try:
            check_picture(t, server)
            for width, height in ((1920, 1080), (1366, 768)):
                changed_at = time.monotonic()
                xrandr(server, "--output", "screen", "--mode", f"{width}x{height}")
                switched_at = time.monotonic()
                server.width, server.height = width, height
                check_picture(t, server, seconds=10, pause=0)
                last_miss, seen_at = t.picture_seen
                # Each scenario's own name: the scenarios run side by side and would share the file.
                check_picture(t, server, f"e2e_x11_screen_change_{manager}_{width}x{height}.png")
                problem = window_problem(server, server.x.viewable(), bool(command))
                if problem:
                    raise Failure(problem)
                check_balls_on_screen(server)
                after = max(last_miss or changed_at, switched_at) - changed_at
                where = f"under {command[0]}" if command else "no window manager"
                t.note(f"{where}: to {width}x{height}, the first whole picture between {after * 1000:.0f} and "
                       f"{(seen_at - changed_at) * 1000:.0f} ms after xrandr was started")
            end_by_click(t, server, program)
        finally:
            program.kill()


def no_backing_store(t):
    """A server keeping nothing of covered windows: the area another window covered must be painted again once
    it is uncovered, not left showing that window until a ball passes."""
    need("xclock")
    with Xvfb(1280, 720, ("-bs",)) as server:
        program = start(t, server)
        try:
            check_picture(t, server)
            clock = subprocess.Popen(["xclock", "-bg", "magenta", "-geometry", "640x360+320+180"], env=server.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                if not wait_until(lambda: server.x.viewable("XClock"), 60):
                    raise Failure("xclock's window did not appear")
                time.sleep(0.5)
            finally:
                clock.terminate()
                clock.wait(timeout=30)
            uncovered_at = time.monotonic()
            check_picture(t, server, "e2e_x11_no_backing_store.png", seconds=5, pause=0.02)
            t.note(f"no backing store: the covered area repainted within "
                   f"{(time.monotonic() - uncovered_at) * 1000:.0f} ms of closing the other window")
            end_by_click(t, server, program)
        finally:
            program.kill()


def no_display(t):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    unused = next(n for n in range(4242, 5000) if not os.path.exists(f"/tmp/.X11-unix/X{n}"))
    for what, environment in (("no DISPLAY", env), (f"DISPLAY=:{unused} served by nobody",
                                                   dict(env, DISPLAY=f":{unused}"))):
        text = Program([t.program], environment).refused("cannot open display", f"with {what}")
        t.note(f"with {what}: status 1, \"{text}\"")


def out_of_memory(t):
    with open(t.program, "rb") as binary:
        contents = binary.read()
        if any(mark in contents for mark in (b"__asan_init", b"__tsan_init")):
            raise Skipped("a sanitizer build reserves its shadow memory as data: no data limit can be set")
    with Xvfb(4096, 4096) as server:
        # Room for start-up and one 52 MB surface at most, not for both.
        program = Program([t.program], server.env, data_limit=60 * 1024 * 1024)
        text = program.refused("not enough memory", "with too little memory for its surfaces")
        t.note(f"with too little memory for the surfaces: status 1, \"{text}\"")


def server_killed(t):
    for signal_number in (signal.SIGKILL, signal.SIGTERM):
        with Xvfb(640, 480) as server:
            program = start(t, server)
            try:
                check_picture(t, server)
                time.sleep(0.5)
                killed_at = time.monotonic()
                server.kill(signal_number)
                name = signal.Signals(signal_number).name
                if not program.wait(20):
                    raise Failure(f"the program still runs 20 s after the server got {name}")
                status, text = program.status(), program.errors().strip()
                if status <= 0 or "lost the connection to the X server" not in text:
                    raise Failure(f"after the server's end: status {status}, standard error:\n{text}")
                program.check_clean()
                t.note(f"server ended by {name}: status {status} after "
                       f"{(program.ended_at - killed_at) * 1000:.0f} ms, \"{text}\"")
            finally:
                program.kill()


SCENARIOS = {
    "screen-640x480": lambda t: screen(t, 640, 480),
    "screen-1920x1080": lambda t: screen(t, 1920, 1080),
    "balls-1280x1024": lambda t: balls(t, 1280, 1024),
    "no-mit-shm": no_mit_shm,
    "window-manager": window_manager,
    "window-destroyed": window_destroyed,
    "no-display": no_display,
    "server-killed": server_killed,
    "out-of-memory": out_of_memory,
    "awesome": awesome,
    "xfwm4-primary-right": xfwm4_primary_right,
    "size-change": lambda t: screen_change(t, None),
    "size-change-openbox": lambda t: screen_change(t, ["openbox"]),
    "no-backing-store": no_backing_store,
}

if __name__ == "__main__":
    sys.exit(main(SCENARIOS, __doc__))
