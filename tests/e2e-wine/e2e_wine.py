#!/usr/bin/env python3
"""The Windows program end to end under Wine, on the virtual display the caller has started (DISPLAY) and in
the Wine prefix it names (WINEPREFIX).

First run: the window is a topmost popup over the whole screen; the picture shows the background everywhere,
two red shaded balls with shadows and the two numbers at the top left, and the balls move; a right click, a
middle click and keys leave the program running; a left click ends it with status 0 within a second.
Second run: the display is switched to 1024x768 and back, the way the display settings switch it; each time the
window covers the new screen and shows the whole picture at its size. Then the system's close command, sent to
the window found by its class name, ends it the same way.

Wine copies the window to the X server only about 15 times a second while the program draws without pause, so
every look at the screen is retried for a while before it counts as a failure.

With --measure-fps SECONDS it only measures the frame rate instead: Wine's trace of GDI copies counts the two
rectangles every frame copies to the window.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
try:
    from PIL import ImageGrab
except ImportError:
    print("Python's PIL (python3-pil) is not installed: skipped", file=sys.stderr)
    sys.exit(SKIPPED)

BACKGROUND = (2, 151, 57)
SCREEN = (1280, 1024)
SMALLER_SCREEN = (1024, 768)
# The smaller display mode, for xrandr: 1024x768 at 60 Hz.
SMALLER_MODELINE = ["63.50", "1024", "1072", "1176", "1328", "768", "771", "775", "798", "-hsync", "+vsync"]
# The two numbers: distance at (10, 10), speed sum at (10, 30), black on a white box.
TEXT_AREA = (0, 0, 110, 52)
PICTURE_PATIENCE = 20.0


class Failure(Exception):
    pass


class Program:
    """One run of the program under Wine (the .exe, or another name for it), its output kept in a file."""

    def __init__(self, args, name, arguments=(), program=None, environment=None):
        self.args = args
        self.log_path = os.path.join(args.out, name + ".stderr.txt")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen([args.wine, program or args.program, *arguments], stdout=self.log,
                                        stderr=self.log, env=environment)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, seconds):
        """Exit status, or None when still running after the given time."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return self.process.returncode
            time.sleep(0.005)
        return self.process.poll()

    def stop(self):
        if self.running():
            self.process.kill()
            self.process.wait()
        self.log.close()

    def errors(self):
        with open(self.log_path) as log:
            return log.read()


def tool(args, *words, timeout=60):
    """Runs the window tool; its output goes through a file, not a pipe, because Wine's background processes
    started on the way inherit the descriptors and would keep a pipe open."""
    with tempfile.TemporaryFile(mode="w+") as output:
        result = subprocess.run([args.wine, args.tool, *words], stdout=output, stderr=subprocess.DEVNULL,
                                timeout=timeout)
        output.seek(0)
        result.stdout = output.read()
    return result


def xdotool(*words):
    subprocess.run(["xdotool", *words], check=True, timeout=10)


def grab():
    return ImageGrab.grab(xdisplay=os.environ["DISPLAY"]).convert("RGB")


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
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    neighbour = (x + dx, y + dy)
                    if neighbour in remaining:
                        remaining.remove(neighbour)
                        stack.append(neighbour)
        groups.append(group)
    return groups


def analyse(image, screen):
    """What the screen shows: the balls found, and a list of what is wrong with the picture (empty when right)."""
    problems = []
    width, height = image.size
    if (width, height) != screen:
        return [], ["screen is %dx%d, not %dx%d" % (width, height, *screen)]
    # A ball is 24 logical units across and its shadow 6 units lower right; a unit is width / 640 pixels.
    ball_diameter, shadow_offset = 24 * width / 640, round(6 * width / 640)
    pixels = list(image.getdata())
    background = sum(1 for p in pixels if p == BACKGROUND)
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
        elif not (sum(x for x, _ in dark) / len(dark) > centre[0] + 4 and sum(y for _, y in dark) / len(dark) > centre[1] + 4):
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


def wait_for_picture(args, name, screen=SCREEN):
    """Screenshots until one shows the whole picture; returns the balls' centres."""
    deadline = time.monotonic() + PICTURE_PATIENCE
    while True:
        image = grab()
        balls, problems = analyse(image, screen)
        if not problems:
            image.save(os.path.join(args.out, name + ".png"))
            return balls
        if time.monotonic() > deadline:
            image.save(os.path.join(args.out, name + ".failed.png"))
            raise Failure("%s: the screen does not show the picture: %s" % (name, "; ".join(problems)))
        time.sleep(0.3)


def wait_for_screen_without_picture(args):
    """After the end the program's picture leaves the screen (here the bare root window shows again)."""
    deadline = time.monotonic() + 5.0
    while True:
        image = grab()
        covered = sum(1 for p in image.getdata() if p == BACKGROUND) / (image.size[0] * image.size[1])
        if covered < 0.5:
            return
        if time.monotonic() > deadline:
            image.save(os.path.join(args.out, "after-end.failed.png"))
            raise Failure("%.0f %% of the screen still shows the background after the end" % (100 * covered))
        time.sleep(0.3)


def check_window(args, screen=SCREEN):
    info = tool(args, "info")
    if info.returncode != 0:
        raise Failure("the window of class CopperTrowel was not found")
    fields = dict(word.split("=", 1) for word in info.stdout.split())
    style, exstyle = int(fields["style"], 16), int(fields["exstyle"], 16)
    WS_POPUP, WS_CAPTION, WS_THICKFRAME, WS_EX_TOPMOST = 0x80000000, 0x00C00000, 0x00040000, 0x8
    if not style & WS_POPUP or style & (WS_CAPTION | WS_THICKFRAME):
        raise Failure("the window is not a borderless popup: %s" % info.stdout)
    if not exstyle & WS_EX_TOPMOST:
        raise Failure("the window is not topmost: %s" % info.stdout)
    if fields["rect"] != "0,0,%d,%d" % screen or fields["title"] != "0" or fields["visible"] != "1":
        raise Failure("the window does not cover the screen untitled: %s" % info.stdout)


def start(args, name):
    program = Program(args, name)
    if tool(args, "wait", "30").returncode != 0:
        raise Failure("%s: no window of class CopperTrowel within 30 s; the program said: %s" % (name, program.errors()))
    return program


def first_run(args):
    program = start(args, "first-run")
    try:
        before = wait_for_picture(args, "first-run")
        check_window(args)
        time.sleep(1.0)
        after = wait_for_picture(args, "first-run-later")
        moved = max(abs(a - b) for old, new in zip(sorted(before), sorted(after)) for a, b in zip(old, new))
        if moved < 2:
            raise Failure("the balls did not move in a second (%s, then %s)" % (before, after))

        xdotool("mousemove", "640", "512", "click", "3")
        xdotool("click", "2")
        xdotool("mousemove", "100", "900")
        xdotool("key", "a", "space", "Escape", "Return")
        if program.wait_exit(1.0) is not None:
            raise Failure("a right click, a middle click or a key ended the program (status %s)" % program.process.returncode)
        wait_for_picture(args, "first-run-after-input")

        began = time.monotonic()
        xdotool("mousemove", "640", "512", "click", "1")
        status = program.wait_exit(5.0)
        took = time.monotonic() - began
        if status is None:
            raise Failure("a left click did not end the program within 5 s")
        if status != 0:
            raise Failure("a left click ended the program with status %d" % status)
        if took > 1.0:
            raise Failure("a left click took %.2f s to end the program" % took)
        print("left click: ended with status 0 in %.3f s" % took)
        if tool(args, "wait", "0").returncode == 0:
            raise Failure("the window is still there after the program ended")
        wait_for_screen_without_picture(args)
    finally:
        program.stop()


def switch_display(args, screen):
    """Switches the display as the display settings do; returns the seconds until the whole picture showed at the
    new size."""
    began = time.monotonic()
    if tool(args, "display", *map(str, screen)).returncode != 0:
        raise Failure("the display could not be switched to %dx%d" % screen)
    wait_for_picture(args, "display-%dx%d" % screen, screen)
    check_window(args, screen)
    return time.monotonic() - began


def second_run(args):
    program = start(args, "second-run")
    try:
        wait_for_picture(args, "second-run")
        subprocess.run(["xrandr", "--newmode", "%dx%d" % SMALLER_SCREEN, *SMALLER_MODELINE], check=True,
                       timeout=30, stdout=subprocess.DEVNULL)
        subprocess.run(["xrandr", "--addmode", "screen", "%dx%d" % SMALLER_SCREEN], check=True, timeout=30)
        for screen in (SMALLER_SCREEN, SCREEN):
            took = switch_display(args, screen)
            if program.wait_exit(0) is not None:
                raise Failure("the display change to %dx%d ended the program" % screen)
            print("display switched to %dx%d: the whole picture at that size %.2f s after the switch began" %
                  (*screen, took))
        # The tool itself takes a while to start under Wine: the second counts from when it has posted.
        began = time.monotonic()
        sent = tool(args, "close")
        posted = time.monotonic()
        if sent.returncode != 0:
            raise Failure("the close command could not be sent to the window")
        status = program.wait_exit(5.0)
        ended = time.monotonic()
        if status is None:
            raise Failure("the close command did not end the program within 5 s")
        if status != 0 or ended - posted > 1.0:
            raise Failure("the close command ended the program with status %d after %.2f s" % (status, ended - posted))
        print("close command: ended with status 0 at most %.3f s after it was sent" % (ended - began))
    finally:
        program.stop()


def measure_fps(args, seconds):
    """Frames a second, counted from Wine's trace of the copies to the window (two per frame)."""
    trace_path = os.path.join(args.out, "fps-trace.txt")
    with open(trace_path, "w") as trace:
        environment = dict(os.environ, WINEDEBUG="trace+bitblt")
        process = subprocess.Popen([args.wine, args.program], stdout=trace, stderr=trace, env=environment)
    try:
        if tool(args, "wait", "30").returncode != 0:
            raise Failure("no window to measure")
        time.sleep(2.0)

        def copies():
            with open(trace_path, errors="replace") as trace:
                return sum(1 for line in trace if "StretchBlt" in line and "rop=cc0020" in line)

        first = copies()
        time.sleep(seconds)
        frames = (copies() - first) / 2
        print("%.0f frames a second over %.0f s (each frame copies two rectangles; tracing slows it a little)"
              % (frames / seconds, seconds))
        xdotool("mousemove", "640", "512", "click", "1")
        process.wait(timeout=10)
    finally:
        if process.poll() is None:
            process.kill()
        os.remove(trace_path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wine", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--out", required=True, help="where screenshots and the program's output are kept")
    parser.add_argument("--measure-fps", type=float, metavar="SECONDS")
    args = parser.parse_args()
    for command, package in (("xdotool", "xdotool"), ("xrandr", "x11-xserver-utils")):
        if not shutil.which(command):
            print("%s (%s) is not installed: skipped" % (command, package), file=sys.stderr)
            return SKIPPED
    os.makedirs(args.out, exist_ok=True)
    try:
        if args.measure_fps:
            measure_fps(args, args.measure_fps)
            return 0
        first_run(args)
        second_run(args)
    except (Failure, subprocess.SubprocessError) as failure:
        print("FAILED: %s" % failure, file=sys.stderr)
        return 1
    print("passed: %s" % os.path.basename(args.program))
    return 0


if __name__ == "__main__":
    sys.exit(main())
