#!/usr/bin/env python3
"""The Windows program as a screen saver, end to end under Wine, on the virtual display the caller has started
(DISPLAY) and in the Wine prefix it names (WINEPREFIX); the window tool plays the screen saver settings.

Preview (/p HANDLE, /p:HANDLE): a plain child window filling the inside of a parent window the tool opens, the
whole picture presented to it at the parent's size and the frames after it; a click, a key and the pointer
over it leave it running; when the parent is made smaller the window and the picture follow; a parent of the
settings' own 152x112 gets the picture too; the program ends with status 0 when its parent is destroyed. A
handle that names no window ends the program at once with a failure status, no window shown. Wine draws a
child window of another process's window into nothing the screen shows, so the picture is seen in Wine's trace
of the program's copies to the window rather than on the screen.
Full screen (/s, /S, -s): the demo's window and picture with no pointer shown; a pointer moved by one pixel
leaves it running, and a movement of more than a few pixels, a key, a right click, or another program's window
coming to the front each end it with status 0 within a second.
Settings (/c, /c:HANDLE, and a .scr started without arguments): a box saying there is nothing to set, owned by
the window named; its OK button ends the program with status 0.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_wine as e2e  # noqa: E402 (exits 77 itself without PIL)
from e2e_wine import Failure, Program, tool, xdotool  # noqa: E402

PARENT_PLACE = (100, 80)
PARENT_SIZE = (640, 480)
SMALLER_PARENT = (480, 360)
SETTINGS_PREVIEW = (152, 112)


class ParentWindow:
    """A window of the tool's, standing in for the screen saver settings' preview area, blue inside."""

    def __init__(self, args, place, size):
        self.output = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen([args.wine, args.tool, "parent", *map(str, place), *map(str, size)],
                                        stdout=self.output, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while True:
            self.output.seek(0)
            line = self.output.read()
            if line.endswith("\n"):
                self.handle = line.strip()
                return
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise Failure("the tool opened no parent window")
            time.sleep(0.05)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.output.close()


def presented(trace_path, size, enough):
    """From Wine's trace of GDI copies: how many copies (up to enough) left the back buffer from the first that
    copied the whole picture at this size to a window with all of it visible; None before such a copy. Under
    Wine a child window of another process's window draws into nothing the screen shows, so the copies are
    what can be seen of its picture."""
    whole = "log=0,0 {0}x{1} phys=0,0 {0}x{1} vis=(0,0)-({0},{1}) ".format(*size)
    back_buffer, count = None, 0
    with open(trace_path, errors="replace") as trace:
        for line in trace:
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


def wait_for_presentation(program, size):
    """The whole picture at the size went to one window, and the frames after it (two copies each) too."""
    deadline = time.monotonic() + e2e.PICTURE_PATIENCE
    while True:
        copies = presented(program.log_path, size, 21)
        if copies == 21:
            return
        if time.monotonic() > deadline or not program.running():
            raise Failure("%s: %s copies of the picture at %dx%d to the window" % (
                os.path.basename(program.log_path), "no" if copies is None else copies, *size))
        time.sleep(0.3)


def child_of(args, parent):
    """The program's window inside the parent, as the tool reports it; None while there is none."""
    found = tool(args, "child", parent.handle)
    if found.returncode != 0:
        return None
    return dict(word.split("=", 1) for word in found.stdout.split())


def wait_for_child(args, parent, program, size):
    deadline = time.monotonic() + 30
    while True:
        fields = child_of(args, parent)
        if fields and fields["rect"] == "0,0,%d,%d" % size:
            break
        if time.monotonic() > deadline or not program.running():
            raise Failure("no program window of %dx%d inside the parent (%s); the program said: %s" %
                          (*size, fields, program.errors()[-1000:]))
        time.sleep(0.1)
    WS_CHILD, WS_POPUP, WS_EX_TOPMOST = 0x40000000, 0x80000000, 0x8
    style, exstyle = int(fields["style"], 16), int(fields["exstyle"], 16)
    if not style & WS_CHILD or style & WS_POPUP or exstyle & WS_EX_TOPMOST or fields["parent"] != parent.handle:
        raise Failure("the preview is not a plain child of its parent: %s" % fields)


def traced(args):
    return dict(os.environ, WINEDEBUG="trace+bitblt")


def preview(args):
    parent = ParentWindow(args, PARENT_PLACE, PARENT_SIZE)
    program = Program(args, "preview", ["/p", parent.handle], environment=traced(args))
    try:
        wait_for_child(args, parent, program, PARENT_SIZE)
        wait_for_presentation(program, PARENT_SIZE)

        centre = [str(PARENT_PLACE[k] + PARENT_SIZE[k] // 2) for k in (0, 1)]
        xdotool("mousemove", *centre, "click", "1")
        xdotool("mousemove_relative", "40", "40", "click", "3")
        xdotool("key", "a", "Escape")
        if program.wait_exit(1.0) is not None:
            raise Failure("input ended the preview (status %s)" % program.process.returncode)

        if tool(args, "resize", parent.handle, *map(str, SMALLER_PARENT)).returncode != 0:
            raise Failure("the parent could not be resized")
        began = time.monotonic()
        wait_for_child(args, parent, program, SMALLER_PARENT)
        wait_for_presentation(program, SMALLER_PARENT)
        print("parent resized: the whole picture at %dx%d after %.2f s" % (*SMALLER_PARENT,
                                                                           time.monotonic() - began))

        began = time.monotonic()
        if tool(args, "destroy", parent.handle).returncode != 0:
            raise Failure("the parent could not be destroyed")
        status = program.wait_exit(5.0)
        if status != 0:
            raise Failure("the parent's destruction ended the preview with status %s" % status)
        print("parent destroyed: the preview ended with status 0 within %.2f s" % (time.monotonic() - began))
    finally:
        program.stop()
        parent.close()
    os.remove(program.log_path)


def settings_sized_preview(args):
    parent = ParentWindow(args, PARENT_PLACE, SETTINGS_PREVIEW)
    program = Program(args, "preview-small", ["/p:" + parent.handle], environment=traced(args))
    try:
        wait_for_child(args, parent, program, SETTINGS_PREVIEW)
        wait_for_presentation(program, SETTINGS_PREVIEW)
        tool(args, "destroy", parent.handle)
        if program.wait_exit(5.0) != 0:
            raise Failure("the small preview did not end with status 0 with its parent")
    finally:
        program.stop()
        parent.close()
    os.remove(program.log_path)


def preview_without_parent(args):
    """1 is no window's handle: the preview has nowhere to draw."""
    program = Program(args, "preview-no-parent", ["/p", "1"])
    try:
        status = program.wait_exit(15.0)
        if status is None or status == 0:
            raise Failure("a preview into no window ended with %s, not a failure status" % status)
        if tool(args, "wait", "0").returncode == 0:
            raise Failure("a preview into no window opened a window")
        print("preview into no window: status %d" % status)
    finally:
        program.stop()


def full_screen(args, name, spelling, end, ending):
    """A /s run: the demo's window and picture, a one-pixel jiggle ignored, then ended by end()."""
    xdotool("mousemove", "640", "512")
    program = Program(args, name, [spelling])
    try:
        if tool(args, "wait", "30").returncode != 0:
            raise Failure("%s: no window within 30 s; the program said: %s" % (name, program.errors()))
        e2e.wait_for_picture(args, name)
        e2e.check_window(args)
        xdotool("mousemove", "641", "512")
        if program.wait_exit(1.0) is not None:
            raise Failure("%s: a one-pixel movement ended the screen saver" % name)
        if tool(args, "pointer").returncode != 1:
            raise Failure("%s: the pointer shows over the screen saver" % name)
        end()
        began = time.monotonic()
        status = program.wait_exit(5.0)
        took = time.monotonic() - began
        if status != 0 or took > 1.0:
            raise Failure("%s: %s ended the screen saver with status %s after %.2f s" % (name, ending, status, took))
        print("%s %s: ended with status 0 in %.3f s" % (spelling, ending, took))
        e2e.wait_for_screen_without_picture(args)
    finally:
        program.stop()


def settings_box(args, name, arguments, owner=None, program_path=None):
    program = Program(args, name, arguments, program_path)
    try:
        shown = tool(args, "box", "30")
        if shown.returncode != 0:
            raise Failure("%s: no message box within 30 s; the program said: %s" % (name, program.errors()))
        lines = shown.stdout.splitlines()
        text = " ".join(lines[1:])
        if "nothing to set" not in text:
            raise Failure("%s: the box says %r" % (name, text))
        if owner is not None and lines[0] != "owner=" + owner:
            raise Failure("%s: the box is owned by %s, not by window %s" % (name, lines[0], owner))
        status = program.wait_exit(5.0)
        if status != 0:
            raise Failure("%s: OK in the box ended the program with status %s" % (name, status))
        print("%s: the box says %r; OK ends the program" % (" ".join(arguments) or "no argument", text))
    finally:
        program.stop()


def settings(args):
    settings_box(args, "settings", ["/c"])
    parent = ParentWindow(args, PARENT_PLACE, SETTINGS_PREVIEW)
    try:
        settings_box(args, "settings-owned", ["/c:" + parent.handle], owner=parent.handle)
    finally:
        parent.close()
    # Explorer's Configure on a .scr starts it with no arguments at all.
    scr = os.path.join(args.out, "coppertrowel.scr")
    shutil.copyfile(args.program, scr)
    settings_box(args, "settings-scr", [], program_path=scr)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wine", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--out", required=True, help="where screenshots and the program's output are kept")
    args = parser.parse_args()
    if not shutil.which("xdotool"):
        print("xdotool is not installed: skipped", file=sys.stderr)
        return e2e.SKIPPED
    os.makedirs(args.out, exist_ok=True)
    try:
        preview(args)
        settings_sized_preview(args)
        preview_without_parent(args)
        full_screen(args, "saver-mouse", "/s", lambda: xdotool("mousemove", "700", "600"), "a mouse movement")
        full_screen(args, "saver-key", "/S", lambda: xdotool("key", "a"), "a key")
        full_screen(args, "saver-button", "-s", lambda: xdotool("click", "3"), "a right click")
        in_front = []
        try:
            full_screen(args, "saver-deactivated", "/s",
                        lambda: in_front.append(ParentWindow(args, (200, 200), (300, 200))),
                        "another program's window in front")
        finally:
            for window in in_front:
                window.close()
        settings(args)
    except (Failure, subprocess.SubprocessError) as failure:
        print("FAILED: %s" % failure, file=sys.stderr)
        return 1
    print("passed: %s as a screen saver" % os.path.basename(args.program))
    return 0


if __name__ == "__main__":
    sys.exit(main())
