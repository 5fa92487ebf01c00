#!/usr/bin/env python3
"""The Windows programs end to end under Wine, each scenario on a 1280x1024 virtual display of its own, in the
Wine prefix the caller names (WINEPREFIX); the window tool plays the desktop and the screen saver settings.

    wine_e2e.py --wine LOADER --program PATH [--tool PATH] --out DIR SCENARIO

Scenarios:
    desktop         First run: the window is a topmost popup over the whole screen; the picture shows the
                    background everywhere, two red shaded balls with shadows and the two numbers at the top left,
                    and the balls move; a right click, a middle click and keys leave the program running; a left
                    click ends it with status 0 within a second. Second run: the display is switched to 1024x768
                    and back, the way the display settings switch it; each time the window covers the new screen
                    and shows the whole picture at its size. Then the system's close command, sent to the window
                    found by its class name, ends it the same way.
    screen-saver    Preview (/p HANDLE, /p:HANDLE): a plain child window filling the inside of a parent window the
                    tool opens, the whole picture presented to it at the parent's size and the frames after it; a
                    click, a key and the pointer over it leave it running; when the parent is made smaller the
                    window and the picture follow; a parent of the settings' own 152x112 gets the picture too; the
                    program ends with status 0 when its parent is destroyed. A handle that names no window ends
                    the program at once with a failure status, no window shown. Wine draws a child window of
                    another process's window into nothing the screen shows, so the picture is seen in Wine's
                    trace of the program's copies to the window rather than on the screen.
                    Full screen (/s, /S, -s): the demo's window and picture with no pointer shown; a pointer moved
                    by one pixel leaves it running, and a movement of more than a few pixels, a key, a right
                    click, or another program's window coming to the front each end it with status 0 within a
                    second.
                    Settings (/c, /c:HANDLE, and a .scr started without arguments): a dialog with a speed slider
                    at the speed in use, owned by the window named; Cancel saves nothing, OK saves the slider's
                    speed as the DWORD Speed under HKCU\\Software\\coppertrowel, and either ends the program with
                    status 0; /s then runs paced at that speed (its own count of steps, with
                    COPPERTROWEL_PACING_REPORT set), and at the default speed, without a word, when the value
                    is a string or an absurd number.
    backend         the program (the Windows backend's own tests) against real Win32 and GDI: status 0.

Wine copies the window to the X server only about 15 times a second while the program draws without pause, so
every look at the screen is retried for a while before it counts as a failure.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import BACKGROUND, Failure, Program, Xvfb, log, main, watch  # noqa: E402

SCREEN = (1280, 1024)
SMALLER_SCREEN = (1024, 768)
# The smaller display mode, for xrandr: 1024x768 at 60 Hz.
SMALLER_MODELINE = ["63.50", "1024", "1072", "1176", "1328", "768", "771", "775", "798", "-hsync", "+vsync"]
# The two numbers: distance at (10, 10), speed sum at (10, 30), black on a white box.
TEXT_AREA = (0, 0, 110, 52)
PICTURE_PATIENCE = 20.0
PARENT_PLACE = (100, 80)
PARENT_SIZE = (640, 480)
SMALLER_PARENT = (480, 360)
SETTINGS_PREVIEW = (152, 112)
WS_CHILD, WS_POPUP, WS_CAPTION, WS_THICKFRAME, WS_EX_TOPMOST = 0x40000000, 0x80000000, 0x00C00000, 0x00040000, 0x8


class Desktop:
    """The display a scenario's Windows programs run on, and what the tests see and do there."""

    def __init__(self, t, server):
        self.t, self.server, self.x = t, server, server.x

    def run(self, name, arguments=(), program=None, traced=False):
        """One run of the program (the .exe, or another name for it), its output kept in NAME.stderr.txt;
        `traced`, with Wine's trace of GDI copies in it."""
        env = dict(self.server.env, WINEDEBUG="trace+bitblt") if traced else self.server.env
        return Program([self.t.arguments.wine, program or self.t.program, *arguments], env,
                       log_path=self.t.path(name + ".stderr.txt"))

    def tool(self, *words, timeout=60):
        """Runs the window tool; its output goes through a file, not a pipe, because Wine's background
        processes started on the way inherit the descriptors and would keep a pipe open."""
        with tempfile.TemporaryFile(mode="w+") as output:
            result = subprocess.run([self.t.arguments.wine, self.t.arguments.tool, *words], env=self.server.env,
                                    stdout=output, stderr=subprocess.DEVNULL, timeout=timeout)
            output.seek(0)
            result.stdout = output.read()
        return result

    def fields(self, *words):
        """What the tool says of a window, as a dictionary; None when it finds none."""
        found = self.tool(*words)
        return dict(word.split("=", 1) for word in found.stdout.split()) if found.returncode == 0 else None

    def parent(self, name, place, size):
        """A window of the tool's, standing in for the screen saver settings' preview area, blue inside; its
        handle is the first line the tool prints."""
        window = Program([self.t.arguments.wine, self.t.arguments.tool, "parent", *map(str, place),
                          *map(str, size)], self.server.env, log_path=self.t.path(name + ".txt"))
        handles, _ = watch(lambda: [line for line in window.errors().splitlines() if line.isdigit()],
                           lambda handles: None if handles or not window.running() else "", 30, 0.05)
        if not handles:
            window.kill()
            raise Failure("the tool opened no parent window")
        window.handle = handles[0]
        return window


def exit_within(program, seconds):
    """Exit status, or None when still running after the given time."""
    return program.status() if program.wait(seconds) else None


def inside(box, x, y):
    return box[0] <= x < box[2] and box[1] <= y < box[3]


def clusters(points):
    """Groups of 8-connected pixels."""
    remaining = set(points)
    groups = []
    while remaining:
        stack = [remaining.pop()]
        group = []
        while stack:
            x, y = stack.pop()
            group.append((x, y))
            for neighbour in ((x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                if neighbour in remaining:
                    remaining.remove(neighbour)
                    stack.append(neighbour)
        groups.append(group)
    return groups


def analyse(image, screen):
    """What the screen shows: the balls found, and a list of what is wrong with the picture (empty when right)."""
    problems = []
    width, height = image.width, image.height
    if (width, height) != screen:
        return [], ["screen is %dx%d, not %dx%d" % (width, height, *screen)]
    # A ball is 24 logical units across and its shadow 6 units lower right; a unit is width / 640 pixels.
    ball_diameter, shadow_offset = 24 * width / 640, round(6 * width / 640)
    pixels = image.pixels()
    background = pixels.count(BACKGROUND)
    if background < 0.95 * width * height:
        return [], ["only %.1f %% of the screen is background" % (100.0 * background / (width * height))]

    red, shadow, other = [], [], []
    white = black = 0
    white_rows = set()
    for index, p in enumerate(pixels):
        if p == BACKGROUND:
            continue
        x, y = index % width, index // width
        if inside(TEXT_AREA, x, y):
            if min(p) >= 240:
                white += 1
                white_rows.add(y)
            elif max(p) <= 40:
                black += 1
            continue
        if p[0] > p[1]:
            red.append((x, y))
        elif p[1] < BACKGROUND[1] and p[1] >= p[2]:
            shadow.append((x, y))
        else:
            other.append((x, y))

    balls = [group for group in clusters(red) if len(group) >= 20]
    if len(balls) != 2:
        return [], ["%d red balls on the screen instead of 2" % len(balls)]
    found = []
    boxes = []
    shadow_set = set(shadow)
    for number, group in enumerate(balls, 1):
        xs, ys = [x for x, _ in group], [y for _, y in group]
        box = (min(xs), min(ys), max(xs) + 1, max(ys) + 1)
        centre = (sum(xs) / len(xs), sum(ys) / len(ys))
        found.append(centre)
        size = (box[2] - box[0], box[3] - box[1])
        if not all(ball_diameter - 8 <= side <= ball_diameter + 6 for side in size):
            problems.append("ball %d is %dx%d pixels" % (number, *size))
        reds = [pixels[y * width + x][0] for x, y in group]
        if max(reds) - min(reds) < 80:
            problems.append("ball %d is not shaded (red %d..%d)" % (number, min(reds), max(reds)))
        # Its shadow: dark background below and to the right, of the ball's size.
        shadow_box = (box[0] + shadow_offset - 3, box[1] + shadow_offset - 3, box[2] + shadow_offset + 3,
                      box[3] + shadow_offset + 3)
        dark = [(x, y) for x, y in shadow_set if inside(shadow_box, x, y)]
        if len(dark) < 150:
            problems.append("ball %d has a shadow of %d pixels" % (number, len(dark)))
        elif not (sum(x for x, _ in dark) / len(dark) > centre[0] + 4
                  and sum(y for _, y in dark) / len(dark) > centre[1] + 4):
            problems.append("ball %d's shadow is not below and to the right of it" % number)
        boxes.append((box[0] - 2, box[1] - 2, shadow_box[2] + 2, shadow_box[3] + 2))

    stray = [p for p in red + shadow + other if not any(inside(box, *p) for box in boxes)]
    if stray:
        problems.append("%d pixels outside the balls are not background, first at %s" % (len(stray), stray[0]))

    # Two white boxes with black digits, starting at rows 10 and 30.
    if white < 150 or black < 40:
        problems.append("no numbers at the top left (%d white, %d black pixels)" % (white, black))
    elif not (10 in white_rows and 30 in white_rows and 9 not in white_rows):
        problems.append("the numbers' boxes do not start at rows 10 and 30")
    return found, problems


def wait_for_picture(desktop, name, screen=SCREEN):
    """Screenshots until one shows the whole picture; returns the balls' centres."""
    shown = []

    def look():
        shown[:] = [desktop.x.screen()]
        return analyse(shown[0], screen)

    (balls, problems), _ = watch(look, lambda found: "; ".join(found[1]) or None, PICTURE_PATIENCE, 0.3)
    shown[0].save_png(desktop.t.path(name + (".failed.png" if problems else ".png")))
    if problems:
        raise Failure("%s: the screen does not show the picture: %s" % (name, "; ".join(problems)))
    return balls


def wait_for_screen_without_picture(desktop):
    """After the end the program's picture leaves the screen (here the bare root window shows again)."""
    def covered(screen):
        share = screen.pixels().count(BACKGROUND) / (screen.width * screen.height)
        return "%.0f %% of the screen still shows the background after the end" % (100 * share) \
            if share >= 0.5 else None

    screen, problem = watch(desktop.x.screen, covered, 5.0, 0.3)
    if problem:
        screen.save_png(desktop.t.path("after-end.failed.png"))
        raise Failure(problem)


def check_window(desktop, screen=SCREEN):
    fields = desktop.fields("info")
    if not fields:
        raise Failure("the window of class CopperTrowel was not found")
    style, exstyle = int(fields["style"], 16), int(fields["exstyle"], 16)
    if not style & WS_POPUP or style & (WS_CAPTION | WS_THICKFRAME):
        raise Failure("the window is not a borderless popup: %s" % fields)
    if not exstyle & WS_EX_TOPMOST:
        raise Failure("the window is not topmost: %s" % fields)
    if fields["rect"] != "0,0,%d,%d" % screen or fields["title"] != "0" or fields["visible"] != "1":
        raise Failure("the window does not cover the screen untitled: %s" % fields)


def start(desktop, name, arguments=()):
    program = desktop.run(name, arguments)
    if desktop.tool("wait", "30").returncode != 0:
        program.kill()
        raise Failure("%s: no window of class CopperTrowel within 30 s; the program said: %s"
                      % (name, program.errors()))
    return program


def ended_by(program, what, began=None, limit=1.0):
    """The program ends with status 0 within `limit` seconds of `began` (now when None); the seconds it took."""
    began = began or time.monotonic()
    status = exit_within(program, 5.0)
    took = time.monotonic() - began
    if status != 0 or took > limit:
        raise Failure("%s ended the program with status %s after %.2f s" % (what, status, took))
    return took


def first_run(desktop):
    program = start(desktop, "first-run")
    x = desktop.x
    try:
        before = wait_for_picture(desktop, "first-run")
        check_window(desktop)
        time.sleep(1.0)
        after = wait_for_picture(desktop, "first-run-later")
        moved = max(abs(a - b) for old, new in zip(sorted(before), sorted(after)) for a, b in zip(old, new))
        if moved < 2:
            raise Failure("the balls did not move in a second (%s, then %s)" % (before, after))

        x.move(640, 512)
        x.click(3, 2)
        x.move(100, 900)
        x.key("a", "space", "Escape", "Return")
        if exit_within(program, 1.0) is not None:
            raise Failure("a right click, a middle click or a key ended the program (status %s)" % program.status())
        wait_for_picture(desktop, "first-run-after-input")

        x.move(640, 512)
        log("left click: ended with status 0 in %.3f s" % ended_by(program, "a left click", x.click(1)))
        if desktop.tool("wait", "0").returncode == 0:
            raise Failure("the window is still there after the program ended")
        wait_for_screen_without_picture(desktop)
    finally:
        program.kill()


def second_run(desktop):
    program = start(desktop, "second-run")
    try:
        wait_for_picture(desktop, "second-run")
        for words in (["--newmode", "%dx%d" % SMALLER_SCREEN, *SMALLER_MODELINE],
                      ["--addmode", "screen", "%dx%d" % SMALLER_SCREEN]):
            subprocess.run(["xrandr", *words], env=desktop.server.env, check=True, timeout=30,
                           stdout=subprocess.DEVNULL)
        for screen in (SMALLER_SCREEN, SCREEN):
            began = time.monotonic()
            if desktop.tool("display", *map(str, screen)).returncode != 0:
                raise Failure("the display could not be switched to %dx%d" % screen)
            wait_for_picture(desktop, "display-%dx%d" % screen, screen)
            check_window(desktop, screen)
            if not program.running():
                raise Failure("the display change to %dx%d ended the program" % screen)
            log("display switched to %dx%d: the whole picture at that size %.2f s after the switch began"
                % (*screen, time.monotonic() - began))
        # The tool itself takes a while to start under Wine: the second counts from when it has posted.
        if desktop.tool("close").returncode != 0:
            raise Failure("the close command could not be sent to the window")
        log("close command: ended with status 0 %.3f s after it was sent"
            % ended_by(program, "the close command"))
    finally:
        program.kill()


def presented(trace, size, enough):
    """From Wine's trace of GDI copies: how many copies (up to enough) left the back buffer from the first that
    copied the whole picture at this size to a window with all of it visible; None before such a copy. Under
    Wine a child window of another process's window draws into nothing the screen shows, so the copies are
    what can be seen of its picture."""
    whole = "log=0,0 {0}x{1} phys=0,0 {0}x{1} vis=(0,0)-({0},{1}) ".format(*size)
    back_buffer, count = None, 0
    for line in trace.splitlines():
        if "StretchBlt src " not in line or "rop=cc0020" not in line or " dst " not in line:
            continue
        source, destination = line.split("StretchBlt src ", 1)[1].split(" dst ", 1)
        if back_buffer is None and source.startswith("0x") and destination.split(" ", 1)[1].startswith(whole):
            back_buffer = source.split(" ", 1)[0]
        if back_buffer is not None and source.split(" ", 1)[0] == back_buffer:
            count += 1
            if count == enough:
                break
    return None if back_buffer is None else count


def wait_for_presentation(program, name, size):
    """The whole picture at the size went to one window, and the frames after it (two copies each) too."""
    copies, problem = watch(lambda: presented(program.errors(), size, 21),
                            lambda copies: None if copies == 21 or not program.running() else "", PICTURE_PATIENCE,
                            0.3)
    if copies != 21:
        raise Failure("%s: %s copies of the picture at %dx%d to the window" % (
            name, "no" if copies is None else copies, *size))


def wait_for_child(desktop, parent, program, size):
    fields, _ = watch(lambda: desktop.fields("child", parent.handle),
                      lambda fields: None if (fields and fields["rect"] == "0,0,%d,%d" % size)
                      or not program.running() else "", 30)
    if not fields or fields["rect"] != "0,0,%d,%d" % size:
        raise Failure("no program window of %dx%d inside the parent (%s); the program said: %s" %
                      (*size, fields, program.errors()[-1000:]))
    style, exstyle = int(fields["style"], 16), int(fields["exstyle"], 16)
    if not style & WS_CHILD or style & WS_POPUP or exstyle & WS_EX_TOPMOST or fields["parent"] != parent.handle:
        raise Failure("the preview is not a plain child of its parent: %s" % fields)


def preview(desktop):
    parent = desktop.parent("preview-parent", PARENT_PLACE, PARENT_SIZE)
    program = desktop.run("preview", ["/p", parent.handle], traced=True)
    x = desktop.x
    try:
        wait_for_child(desktop, parent, program, PARENT_SIZE)
        wait_for_presentation(program, "preview", PARENT_SIZE)

        centre = [PARENT_PLACE[k] + PARENT_SIZE[k] // 2 for k in (0, 1)]
        x.move(*centre)
        x.click(1)
        x.move(centre[0] + 40, centre[1] + 40)
        x.click(3)
        x.key("a", "Escape")
        if exit_within(program, 1.0) is not None:
            raise Failure("input ended the preview (status %s)" % program.status())

        if desktop.tool("resize", parent.handle, *map(str, SMALLER_PARENT)).returncode != 0:
            raise Failure("the parent could not be resized")
        began = time.monotonic()
        wait_for_child(desktop, parent, program, SMALLER_PARENT)
        wait_for_presentation(program, "preview", SMALLER_PARENT)
        log("parent resized: the whole picture at %dx%d after %.2f s" % (*SMALLER_PARENT, time.monotonic() - began))

        began = time.monotonic()
        if desktop.tool("destroy", parent.handle).returncode != 0:
            raise Failure("the parent could not be destroyed")
        status = exit_within(program, 5.0)
        if status != 0:
            raise Failure("the parent's destruction ended the preview with status %s" % status)
        log("parent destroyed: the preview ended with status 0 within %.2f s" % (time.monotonic() - began))
    finally:
        program.kill()
        parent.kill()
    os.remove(desktop.t.path("preview.stderr.txt"))


def settings_sized_preview(desktop):
    parent = desktop.parent("preview-small-parent", PARENT_PLACE, SETTINGS_PREVIEW)
    program = desktop.run("preview-small", ["/p:" + parent.handle], traced=True)
    try:
        wait_for_child(desktop, parent, program, SETTINGS_PREVIEW)
        wait_for_presentation(program, "preview-small", SETTINGS_PREVIEW)
        desktop.tool("destroy", parent.handle)
        if exit_within(program, 5.0) != 0:
            raise Failure("the small preview did not end with status 0 with its parent")
    finally:
        program.kill()
        parent.kill()
    os.remove(desktop.t.path("preview-small.stderr.txt"))


def preview_without_parent(desktop):
    """1 is no window's handle: the preview has nowhere to draw."""
    program = desktop.run("preview-no-parent", ["/p", "1"])
    try:
        status = exit_within(program, 15.0)
        if status is None or status == 0:
            raise Failure("a preview into no window ended with %s, not a failure status" % status)
        if desktop.tool("wait", "0").returncode == 0:
            raise Failure("a preview into no window opened a window")
        log("preview into no window: status %d" % status)
    finally:
        program.kill()


def full_screen(desktop, name, spelling, end, ending):
    """A /s run: the demo's window and picture, a one-pixel jiggle ignored, then ended by end()."""
    desktop.x.move(640, 512)
    program = start(desktop, name, [spelling])
    try:
        wait_for_picture(desktop, name)
        check_window(desktop)
        desktop.x.move(641, 512)
        if exit_within(program, 1.0) is not None:
            raise Failure("%s: a one-pixel movement ended the screen saver (status %s)" % (name, program.status()))
        if desktop.tool("pointer").returncode != 1:
            raise Failure("%s: the pointer shows over the screen saver" % name)
        end()
        log("%s %s: ended with status 0 in %.3f s" % (spelling, ending, ended_by(program, f"{name}: {ending}")))
        wait_for_screen_without_picture(desktop)
    finally:
        program.kill()


SETTINGS_KEY = r"HKCU\Software\coppertrowel"
# The speed the user picks on the slider; within any range a screen saver offers.
CHOSEN_SPEED = 13200


def saved_speed(desktop):
    """The Speed value as `wine reg query` reads it: (type, data), or None when there is none."""
    found = subprocess.run([desktop.t.arguments.wine, "reg", "query", SETTINGS_KEY, "/v", "Speed"],
                           env=desktop.server.env, capture_output=True, text=True, timeout=60)
    words = next((line.split() for line in found.stdout.splitlines() if line.split()[:1] == ["Speed"]), None)
    return (words[1], words[2]) if found.returncode == 0 and words else None


def save_speed(desktop, kind, data):
    subprocess.run([desktop.t.arguments.wine, "reg", "add", SETTINGS_KEY, "/v", "Speed", "/t", kind, "/d", data,
                    "/f"], env=desktop.server.env, check=True, capture_output=True, timeout=60)


def settings_dialog(desktop, name, arguments, move_to, owner=None, program_path=None):
    """One run of the settings: the dialog found, its slider moved to `move_to` and OK pressed (0: Cancel);
    returns the slider's fields as the dialog showed them."""
    program = desktop.run(name, arguments, program_path)
    try:
        answered = desktop.tool("settings", "30", str(move_to))
        if answered.returncode != 0:
            raise Failure("%s: no settings dialog with a slider within 30 s; the program said: %s"
                          % (name, program.errors()))
        shown = dict(word.split("=", 1) for word in answered.stdout.split())
        if owner is not None and shown["owner"] != owner:
            raise Failure("%s: the dialog is owned by %s, not by window %s" % (name, shown["owner"], owner))
        status = exit_within(program, 5.0)
        if status != 0:
            raise Failure("%s: %s ended the program with status %s" % (name, "OK" if move_to else "Cancel", status))
        log("%s: the slider from %s to %s at %s; %s ends the program" % (
            " ".join(arguments) or "no argument", shown["slowest"], shown["fastest"], shown["speed"],
            "moved to %d, OK" % move_to if move_to else "Cancel"))
        return {key: int(value) for key, value in shown.items()}
    finally:
        program.kill()


def paced_at(desktop, name, speed):
    """A /s run of a few seconds whose own count of steps per second is the speed, and which says nothing
    else on standard error (a damaged setting is no news for the user)."""
    desktop.x.move(640, 512)
    program = desktop.run(name, ["/s"])
    try:
        wait_for_picture(desktop, name)
        time.sleep(3.0)
        desktop.x.move(700, 600)
        ended_by(program, name + ": a mouse movement")
    finally:
        program.kill()
    lines = program.errors().splitlines()
    report = [line.split() for line in lines if line.startswith("pacing: ")]
    if not report:
        raise Failure("%s: the program printed no pacing report" % name)
    fields = dict(zip(report[0][1::2], report[0][2::2]))
    measured = int(fields["steps"]) / float(fields["seconds"])
    if not 0.9 * speed <= measured <= 1.1 * speed or len(lines) != 1:
        raise Failure("%s: %.0f steps a second, not %d; standard error: %s" % (name, measured, speed, lines))
    log("%s: paced at %.0f steps a second (%d asked)" % (name, measured, speed))


def settings(desktop):
    desktop.server.env = dict(desktop.server.env, COPPERTROWEL_PACING_REPORT="1")
    subprocess.run([desktop.t.arguments.wine, "reg", "delete", SETTINGS_KEY, "/f"], env=desktop.server.env,
                   capture_output=True, timeout=60)
    settings_round_trip(desktop)
    for kind, data in (("REG_SZ", str(CHOSEN_SPEED)), ("REG_DWORD", "4294967295")):
        save_speed(desktop, kind, data)
        paced_at(desktop, "saver-damaged-" + kind, desktop.default_speed)


def settings_round_trip(desktop):
    shown = settings_dialog(desktop, "settings", ["/c"], 0)
    desktop.default_speed = shown["speed"]
    if saved_speed(desktop) is not None:
        raise Failure("Cancel saved a speed: %s" % (saved_speed(desktop),))
    parent = desktop.parent("settings-parent", PARENT_PLACE, SETTINGS_PREVIEW)
    try:
        settings_dialog(desktop, "settings-owned", ["/c:" + parent.handle], CHOSEN_SPEED, owner=parent.handle)
    finally:
        parent.kill()
    chosen = min(max(CHOSEN_SPEED, shown["slowest"]), shown["fastest"])
    if saved_speed(desktop) != ("REG_DWORD", "0x%x" % chosen):
        raise Failure("OK saved %s, not the DWORD %d" % (saved_speed(desktop), chosen))
    # Explorer's Configure on a .scr starts it with no arguments at all; the slider shows the saved speed.
    scr = desktop.t.path("coppertrowel.scr")
    shutil.copyfile(desktop.t.program, scr)
    if settings_dialog(desktop, "settings-scr", [], 0, program_path=scr)["speed"] != chosen:
        raise Failure("the settings do not show the saved speed %d" % chosen)
    paced_at(desktop, "saver-saved-speed", chosen)


def desktop_runs(desktop):
    first_run(desktop)
    second_run(desktop)


def screen_saver(desktop):
    preview(desktop)
    settings_sized_preview(desktop)
    preview_without_parent(desktop)
    x = desktop.x
    full_screen(desktop, "saver-mouse", "/s", lambda: x.move(700, 600), "a mouse movement")
    full_screen(desktop, "saver-key", "/S", lambda: x.key("a"), "a key")
    full_screen(desktop, "saver-button", "-s", lambda: x.click(3), "a right click")
    in_front = []
    try:
        full_screen(desktop, "saver-deactivated", "/s",
                    lambda: in_front.append(desktop.parent("in-front", (200, 200), (300, 200))),
                    "another program's window in front")
    finally:
        for window in in_front:
            window.kill()
    settings(desktop)


def backend(desktop):
    status = subprocess.run([desktop.t.arguments.wine, desktop.t.program], env=desktop.server.env).returncode
    if status != 0:
        raise Failure(f"the backend's tests ended with status {status}")


def on_own_display(scenario):
    """The scenario on a display of its own; a Wine session still lingering in the prefix keeps its desktop
    on the display it started with, so none is left before or after."""
    def run(t):
        with Xvfb(*SCREEN) as server:
            try:
                end_wine_session()
                scenario(Desktop(t, server))
            finally:
                end_wine_session()

    return run


def end_wine_session():
    for option in ("--kill", "--wait"):
        subprocess.run(["wineserver", option], stderr=subprocess.DEVNULL)


SCENARIOS = {"desktop": on_own_display(desktop_runs), "screen-saver": on_own_display(screen_saver),
             "backend": on_own_display(backend)}

if __name__ == "__main__":
    sys.exit(main(SCENARIOS, __doc__))
