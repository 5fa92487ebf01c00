#!/usr/bin/env python3
"""End-to-end runs of the X11 build of coppertrowel in a host's window, each on a virtual X server of its own.

    screensaver_e2e.py --program PATH --out DIR SCENARIO

Scenarios:
    xscreensaver    the real xscreensaver, with a home of the test's own whose ~/.xscreensaver names only our
                    program in mode one, its speed slider moved off the default: xscreensaver's settings, shown
                    our configuration XML, read that command line into the XML's options without a warning and
                    make the same one back from them. Activated, the program runs with that --speed, the
                    screen is its picture with its two balls, and it moves; deactivated, the program is gone
                    within 10 s, and its pacing report says it made that many steps a second. xscreensaver runs
                    no hacks as root, so a root test runs it as nobody.
    window-id       --window-id into a window the test makes (640x480): the picture at that size; the window
                    resized to 320x240: the picture at the new size; the window destroyed: status 0. Then a
                    window of a visual other than the screen's (depth 32, where the server has one): the picture
                    in its pixel format.
    host-variable   XSCREENSAVER_WINDOW, in decimal, names a 20x10 window: painted in the background, no
                    refusal; grown to 400x300 it shows the picture; SIGTERM ends it with status 0.
    root            --root on a 800x600 screen: the picture on the root window; SIGINT ends it with status 0,
                    and a second run SIGTERM.

Standard error must stay free of sanitizer reports and X errors.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (STARTUP_SECONDS, Failure, Program, Skipped, Xvfb, check_clean, log, main,  # noqa: E402
                     need, wait_until, watch)
from x11_e2e import balls_problem, picture_problem  # noqa: E402

END_SECONDS = 10
# xscreensaver's settings read configurations only from the folder they were built with: the test shows them
# ours there in a mount namespace of their own.
CONFIGURATIONS = "/usr/share/xscreensaver/config"
CONFIGURATION = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../packaging/linux/coppertrowel.xml")
# The slider's setting the user picks: off the default, since xscreensaver's settings leave a setting at its
# default off the command line.
SLIDER_SPEED = 13200
PACING_REPORT = re.compile(r"pacing: frames (\d+) steps (\d+) seconds ([\d.]+) late99 ([\d.]+)ms")


def wait_for_picture(t, server, width, height, screenshot=None, seconds=STARTUP_SECONDS, judge=None):
    """Waits until the area (0, 0, width, height) shows the program's picture with something drawn, and what
    `judge` asks of it, then until it moves."""
    def problem_of(screen):
        problem = picture_problem(screen, width, height) or (None if screen.clusters else "only background")
        return problem or (judge(screen) if judge else None)

    screen, problem = watch(lambda: server.x.screen((0, 0, width, height)), problem_of, seconds)
    if screenshot:
        screen.save_png(t.path(screenshot))
    if problem:
        raise Failure(f"the {width}x{height} area is not the program's picture: {problem}")
    if not wait_until(lambda: server.x.screen((0, 0, width, height)).hash != screen.hash, 10, 0.2):
        raise Failure("the picture did not change for 10 s")


def end(program, why):
    program.end(why, seconds=END_SECONDS)
    log(f"{why}: status 0")


def window_id(t):
    with Xvfb(1024, 768) as server:
        host = server.x.create_window(0, 0, 640, 480)
        program = Program([t.program, "--window-id", hex(host)], server.env)
        try:
            wait_for_picture(t, server, 640, 480, "e2e_x11_window-id.png")
            t.note(f"--window-id {hex(host)}: the picture at 640x480")
            server.x.resize(host, 320, 240)
            wait_for_picture(t, server, 320, 240, seconds=30)
            t.note("window resized to 320x240: the picture at the new size")
            server.x.destroy(host)
            end(program, "the host destroyed its window")
        finally:
            program.kill()
        host = server.x.create_window(0, 0, 320, 240, depth=32)
        if not host:
            t.note("the server has no depth-32 visual: the other visual is not tried")
            return
        program = Program([t.program, "--window-id", hex(host)], server.env)
        try:
            wait_for_picture(t, server, 320, 240)
            program.signal(signal.SIGTERM)
            end(program, "SIGTERM")
            t.note("a depth-32 window: the picture in its pixel format")
        finally:
            program.kill()


def host_variable(t):
    with Xvfb(800, 600) as server:
        host = server.x.create_window(0, 0, 20, 10)
        program = Program([t.program], dict(server.env, XSCREENSAVER_WINDOW=str(host)))
        try:
            def painted():
                if not program.running():
                    raise Failure(f"ended with status {program.status()} in a 20x10 window:\n" + program.errors())
                return server.x.screen((0, 0, 20, 10)).nonbackground == 0

            if not wait_until(painted, STARTUP_SECONDS, 0.2):
                raise Failure("a 20x10 host window is not painted in the background")
            t.note("XSCREENSAVER_WINDOW names a 20x10 window: painted in the background, still running")
            server.x.resize(host, 400, 300)
            wait_for_picture(t, server, 400, 300, seconds=30)
            t.note("grown to 400x300: the picture")
            program.signal(signal.SIGTERM)
            end(program, "SIGTERM")
        finally:
            program.kill()


def root(t):
    for signal_number in (signal.SIGINT, signal.SIGTERM):
        with Xvfb(800, 600) as server:
            program = Program([t.program, "--root"], server.env)
            try:
                wait_for_picture(t, server, 800, 600)
                program.signal(signal_number)
                end(program, signal.Signals(signal_number).name)
                t.note(f"--root: the picture on the root window; {signal.Signals(signal_number).name} ends it "
                       "with status 0")
            finally:
                program.kill()


def saver_arguments(path, settings):
    """The arguments xscreensaver's settings write for a hack from its configuration XML: the command's, then
    each option's switch with "%" replaced by its setting, left out where the setting is the default."""
    root = ElementTree.parse(path).getroot()
    arguments = root.find("command").get("arg").split()
    for option in root.iter("number"):
        value = settings.get(option.get("id"), option.get("default"))
        if not float(option.get("low")) <= float(value) <= float(option.get("high")):
            raise Failure(f"{option.get('id')} {value} is off the slider")
        if value != option.get("default"):
            arguments += option.get("arg").replace("%", value).split()
    return arguments


def xscreensaver(t):
    need("xscreensaver", "xscreensaver-command")
    as_nobody = os.getuid() == 0
    if as_nobody and not shutil.which("setpriv"):
        raise Skipped("xscreensaver runs no hacks as root, and setpriv is missing to run it as nobody")
    arguments = saver_arguments(CONFIGURATION, {"speed": str(SLIDER_SPEED)})
    with tempfile.TemporaryDirectory() as home, Xvfb(1280, 1024) as server:
        # A copy of the program in the home, which nobody can read whatever the build folder allows.
        program = os.path.join(home, "coppertrowel")
        shutil.copy(t.program, program)
        with open(os.path.join(home, ".xscreensaver"), "w") as file:
            file.write(saver_settings(f"{program} {' '.join(arguments)}"))
        command = ["xscreensaver", "-no-splash", "-verbose"]
        if as_nobody:
            os.chmod(home, 0o755)
            for path in (home, program, os.path.join(home, ".xscreensaver")):
                os.chown(path, 65534, 65534)
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", *command]
        # The hack inherits xscreensaver's environment, and its standard error goes to xscreensaver's.
        env = dict(server.env, HOME=home, COPPERTROWEL_PACING_REPORT="1")
        made = settings_command(t, server.env, f"{program} {' '.join(arguments)}")
        t.note(f"xscreensaver's settings, shown our configuration, make: {made}")
        saver = Program(command, env, log_path=t.path("xscreensaver.log"), start_new_session=True)
        try:
            saver_command(env, "-version")
            saver_command(env, "-activate")
            pids = wait_for_hack(program, True, saver)
            with open(f"/proc/{pids[0]}/cmdline", "rb") as file:
                if file.read().split(b"\0")[1:-1] != [argument.encode() for argument in arguments]:
                    raise Failure(f"xscreensaver ran the program without {' '.join(arguments)}")
            # Judged on a frame, not on the start-up picture: the numbers come with the first frame.
            wait_for_picture(t, server, 1280, 1024, "e2e_x11_xscreensaver.png",
                             judge=balls_problem)
            t.note(f"xscreensaver -activate: {' '.join(arguments)}, the program's picture with its two balls, "
                   "moving")
            saver_command(env, "-deactivate")
            wait_for_hack(program, False, saver)
            t.note("xscreensaver -deactivate: the program is gone")
            check_clean("\n".join(line for line in saver.errors().splitlines() if "coppertrowel" in line
                                  or "X error" in line or "Sanitizer" in line))
            check_paced(t, saver.errors(), SLIDER_SPEED)
        finally:
            if saver.running():
                os.killpg(saver.process.pid, signal.SIGTERM)
                saver.wait(30)


def saver_settings(programs_line):
    return ("mode: one\nselected: 0\ntimeout: 0:30:00\nlock: False\nsplash: False\nfade: False\n"
            f"unfade: False\ndpmsEnabled: False\nprograms: {programs_line} \\n\n")


def settings_command(t, env, programs_line):
    """Shows xscreensaver's settings our configuration XML and a ~/.xscreensaver whose programs line is
    `programs_line`: they read the line into the XML's options and make the preview's command from them, which
    must be the line itself, without a warning. Returns that command."""
    need("xscreensaver-settings", "unshare")
    with tempfile.TemporaryDirectory() as folder:
        configurations, home = os.path.join(folder, "config"), os.path.join(folder, "home")
        os.mkdir(configurations)
        os.mkdir(home)
        shutil.copy(CONFIGURATION, configurations)
        with open(os.path.join(home, ".xscreensaver"), "w") as file:
            file.write(saver_settings(programs_line))
        namespace = ["unshare", "--mount", "--propagation", "private"] + (["--map-root-user"] if os.getuid() else [])
        settings = Program([*namespace, "sh", "-c", f'mount --bind "$0" {CONFIGURATIONS} && '
                            "exec xscreensaver-settings --debug", configurations], dict(env, HOME=home),
                           log_path=t.path("xscreensaver-settings.log"), start_new_session=True)
        try:
            # The preview starts once the hack's configuration has been read and its command made.
            wait_until(lambda: " forked " in settings.errors() or not settings.running(), STARTUP_SECONDS)
        finally:
            if settings.running():
                os.killpg(settings.process.pid, signal.SIGTERM)
                settings.wait(30)
        errors = settings.errors()
    if errors.startswith("unshare:"):
        raise Skipped("no mount namespace here to show xscreensaver's settings our configuration: " + errors)
    made = re.findall(r'scheduling preview "(.*)"', errors)
    if f"reading {CONFIGURATIONS}/coppertrowel.xml" not in errors or not made:
        raise Failure("xscreensaver's settings did not read our configuration:\n" + errors[-3000:])
    if "WARNING" in errors or made[-1] != programs_line:
        raise Failure(f"xscreensaver's settings made {made[-1]!r} of {programs_line!r}:\n" + errors[-3000:])
    return made[-1]


def check_paced(t, errors, speed):
    """The program's pacing report: steps at the slider's speed and at least a frame. Loosely, within 15 %: a
    short run on a loaded machine, not a benchmark; the default speed is half the slider's setting."""
    report = PACING_REPORT.search(errors)
    if not report:
        raise Failure("no pacing report from the program:\n" + errors[-3000:])
    frames, steps, seconds = int(report[1]), int(report[2]), float(report[3])
    if not frames or seconds <= 0 or abs(steps / seconds - speed) > speed * 0.15:
        raise Failure(f"paced at --speed {speed}: {report[0]}")
    t.note(f"paced: {report[0]}")


def saver_command(env, option, seconds=60):
    """xscreensaver-command, retried until xscreensaver answers."""
    def answered():
        return subprocess.run(["xscreensaver-command", option], env=env, capture_output=True, text=True,
                              timeout=60)

    result, problem = watch(answered, lambda result: result.returncode or None, seconds)
    if problem:
        raise Failure(f"xscreensaver-command {option}: {result.stderr.strip()}")


def wait_for_hack(program, running, saver):
    """Waits until a process runs `program` (running) or none does any more."""
    def hacks():
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.readlink(f"/proc/{pid}/exe") == program:
                    found.append(pid)
            except OSError:
                pass
        return found

    found, problem = watch(hacks, lambda found: None if bool(found) == running else True,
                           STARTUP_SECONDS if running else END_SECONDS, 0.1)
    if problem:
        raise Failure(("xscreensaver did not start the program" if running else
                       f"the program still runs (pids {found}) after -deactivate")
                      + ":\n" + saver.errors()[-3000:])
    return found


SCENARIOS = {"xscreensaver": xscreensaver, "window-id": window_id, "host-variable": host_variable, "root": root}

if __name__ == "__main__":
    sys.exit(main(SCENARIOS, __doc__))
