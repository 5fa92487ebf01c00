#!/usr/bin/env python3
"""End-to-end runs of the X11 build of coppertrowel in a host's window, each on a virtual X server of its own.

    screensaver_e2e.py --program PATH --probe PATH --out DIR SCENARIO

Scenarios:
    xscreensaver    the real xscreensaver, with a home of the test's own whose ~/.xscreensaver names only our
                    program (--root, as the installed configuration has it) in mode one: activated, the screen is
                    the program's picture with its two balls, and it moves; deactivated, the program is gone
                    within 10 s. xscreensaver runs no hacks as root, so a root test runs it as nobody.
    window-id       --window-id into a window the test makes (640x480): the picture at that size; the window
                    resized to 320x240: the picture at the new size; the window destroyed: status 0. Then a
                    window of a visual other than the screen's (depth 32, where the server has one): the picture
                    in its pixel format.
    host-variable   XSCREENSAVER_WINDOW, in decimal, names a 20x10 window: painted in the background, no
                    refusal; grown to 400x300 it shows the picture; SIGTERM ends it with status 0.
    root            --root on a 800x600 screen: the picture on the root window; SIGINT ends it with status 0,
                    and a second run SIGTERM.

Standard error must stay free of sanitizer reports and X errors. Exit status 0 on success, 1 on failure, 77
when a tool the tests need is missing.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from x11_e2e import (SKIP, STARTUP_SECONDS, Failure, Skipped, Tools, Xvfb, balls_problem,  # noqa: E402
                     log, picture_problem, read_ppm, save_png, REPORT_MARKS)

END_SECONDS = 10


class Program:
    """The program with arguments and an environment of the test's choosing."""

    def __init__(self, path, arguments, env):
        self.stderr = tempfile.TemporaryFile()
        self.process = subprocess.Popen([path, *arguments], env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=self.stderr)

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read().decode(errors="replace")

    def end(self, why):
        """Waits for the end; fails unless it comes within END_SECONDS with status 0 and a clean standard
        error."""
        try:
            status = self.process.wait(END_SECONDS)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise Failure(f"still running {END_SECONDS} s after {why}")
        if status != 0:
            raise Failure(f"status {status} after {why}; standard error:\n{self.errors()}")
        check_clean(self.errors())
        log(f"{why}: status 0")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def check_clean(text):
    reports = [line for line in text.splitlines() if any(mark in line for mark in REPORT_MARKS)]
    if reports:
        raise Failure("standard error holds reports:\n" + text[-4000:])


class Host:
    """A window of the probe's (`x11_probe host`), at (0, 0), resized and destroyed on request."""

    def __init__(self, probe, env, width, height, depth=0):
        self.process = subprocess.Popen([probe, "host", str(width), str(height), str(depth)], env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.values = {}
        # The last line: "depth" after a window's id, "visual" when there is no such visual.
        while not ("window" in self.values and "depth" in self.values) and "visual" not in self.values:
            line = self.process.stdout.readline()
            if not line:
                raise Failure("the probe made no host window")
            key, _, value = line.strip().partition("=")
            self.values[key] = value
        self.id = self.values.get("window")

    def ask(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().strip()

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            self.process.wait(30)


class Scenarios:
    def __init__(self, tools):
        self.tools = tools
        self.notes = []

    def note(self, text):
        log(text)
        self.notes.append(text)

    def wait_for_picture(self, server, width, height, screenshot=None, seconds=STARTUP_SECONDS):
        """Waits until the area (0, 0, width, height) shows the program's picture, then until it moves."""
        deadline = time.monotonic() + seconds
        ppm = os.path.join(self.tools.out, screenshot + ".ppm") if screenshot else "-"
        while True:
            screen = self.tools.probe(server.env, "screen", ppm, "0", "0", str(width), str(height))
            problem = picture_problem(screen, width, height)
            if problem is None and screen["clusters"]:
                break
            if time.monotonic() > deadline:
                raise Failure(f"the {width}x{height} area is not the program's picture: "
                              f"{problem or 'only background'}")
            time.sleep(0.2)
        if screenshot:
            save_png(ppm, os.path.join(self.tools.out, screenshot))
            log(f"screenshot: {os.path.join(self.tools.out, screenshot)}")
        moving_until = time.monotonic() + 10
        while self.tools.probe(server.env, "screen", "-", "0", "0", str(width),
                               str(height))["hash"] == screen["hash"]:
            if time.monotonic() > moving_until:
                raise Failure("the picture did not change for 10 s")
            time.sleep(0.2)
        return ppm

    def window_id(self):
        with Xvfb(1024, 768) as server:
            host = Host(self.tools.probe_path, server.env, 640, 480)
            program = Program(self.tools.program, ["--window-id", host.id], server.env)
            try:
                self.wait_for_picture(server, 640, 480, "e2e_x11_window-id.png")
                self.note(f"--window-id {host.id}: the picture at 640x480")
                host.ask("resize 320 240")
                self.wait_for_picture(server, 320, 240, seconds=30)
                self.note("window resized to 320x240: the picture at the new size")
                host.ask("destroy")
                program.end("the host destroyed its window")
            finally:
                program.kill()
                host.close()
            host = Host(self.tools.probe_path, server.env, 320, 240, depth=32)
            if not host.id:
                self.note("the server has no depth-32 visual: the other visual is not tried")
                host.close()
                return
            program = Program(self.tools.program, ["--window-id", host.id], server.env)
            try:
                self.wait_for_picture(server, 320, 240)
                program.process.send_signal(signal.SIGTERM)
                program.end("SIGTERM")
                self.note("a depth-32 window: the picture in its pixel format")
            finally:
                program.kill()
                host.close()

    def host_variable(self):
        with Xvfb(800, 600) as server:
            host = Host(self.tools.probe_path, server.env, 20, 10)
            env = dict(server.env, XSCREENSAVER_WINDOW=host.values["window_decimal"])
            program = Program(self.tools.program, [], env)
            try:
                deadline = time.monotonic() + STARTUP_SECONDS
                while True:
                    screen = self.tools.probe(server.env, "screen", "-", "0", "0", "20", "10")
                    if screen["nonbackground"] == "0":
                        break
                    if program.process.poll() is not None:
                        raise Failure(f"ended with status {program.process.returncode} in a 20x10 window:\n"
                                      + program.errors())
                    if time.monotonic() > deadline:
                        raise Failure("a 20x10 host window is not painted in the background")
                    time.sleep(0.2)
                self.note("XSCREENSAVER_WINDOW names a 20x10 window: painted in the background, still running")
                host.ask("resize 400 300")
                self.wait_for_picture(server, 400, 300, seconds=30)
                self.note("grown to 400x300: the picture")
                program.process.send_signal(signal.SIGTERM)
                program.end("SIGTERM")
            finally:
                program.kill()
                host.close()

    def root(self):
        for signal_number in (signal.SIGINT, signal.SIGTERM):
            with Xvfb(800, 600) as server:
                program = Program(self.tools.program, ["--root"], server.env)
                try:
                    self.wait_for_picture(server, 800, 600)
                    program.process.send_signal(signal_number)
                    program.end(signal.Signals(signal_number).name)
                    self.note(f"--root: the picture on the root window; {signal.Signals(signal_number).name} "
                              "ends it with status 0")
                finally:
                    program.kill()

    def xscreensaver(self):
        for tool in ("xscreensaver", "xscreensaver-command"):
            if not shutil.which(tool):
                raise Skipped(f"{tool} is not installed (Debian: apt-get install xscreensaver xscreensaver-data)")
        as_nobody = os.getuid() == 0
        if as_nobody and not shutil.which("setpriv"):
            raise Skipped("xscreensaver runs no hacks as root, and setpriv is missing to run it as nobody")
        with tempfile.TemporaryDirectory() as home, Xvfb(1280, 1024) as server:
            # A copy of the program in the home, which nobody can read whatever the build folder allows.
            program = os.path.join(home, "coppertrowel")
            shutil.copy(self.tools.program, program)
            with open(os.path.join(home, ".xscreensaver"), "w") as file:
                file.write("mode: one\nselected: 0\ntimeout: 0:30:00\nlock: False\nsplash: False\n"
                           "fade: False\nunfade: False\ndpmsEnabled: False\n"
                           f"programs: {program} --root \\n\n")
            command = ["xscreensaver", "-no-splash", "-verbose"]
            if as_nobody:
                os.chmod(home, 0o755)
                for path in (home, program, os.path.join(home, ".xscreensaver")):
                    os.chown(path, 65534, 65534)
                command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", *command]
            env = dict(server.env, HOME=home)
            saver_log = tempfile.TemporaryFile()
            saver = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=saver_log,
                                     stderr=subprocess.STDOUT, start_new_session=True)
            try:
                self.command(env, "-version", seconds=30)
                self.command(env, "-activate")
                self.wait_for_hack(program, running=True, saver_log=saver_log)
                ppm = self.wait_for_picture(server, 1280, 1024, "e2e_x11_xscreensaver.png")
                problem = balls_problem(*read_ppm(ppm))
                os.remove(ppm)
                if problem:
                    raise Failure("xscreensaver's screen: " + problem)
                self.note("xscreensaver -activate: the program's picture with its two balls, moving")
                self.command(env, "-deactivate")
                self.wait_for_hack(program, running=False, saver_log=saver_log)
                self.note("xscreensaver -deactivate: the program is gone")
                saver_log.seek(0)
                text = saver_log.read().decode(errors="replace")
                check_clean("\n".join(line for line in text.splitlines() if "coppertrowel" in line
                                      or "X error" in line or "Sanitizer" in line))
            finally:
                os.killpg(saver.pid, signal.SIGTERM)
                saver.wait(30)

    def command(self, env, option, seconds=10):
        """xscreensaver-command, retried until xscreensaver answers."""
        deadline = time.monotonic() + seconds
        while True:
            result = subprocess.run(["xscreensaver-command", option], env=env, capture_output=True, text=True,
                                    timeout=60)
            if result.returncode == 0:
                return
            if time.monotonic() > deadline:
                raise Failure(f"xscreensaver-command {option}: {result.stderr.strip()}")
            time.sleep(0.2)

    def wait_for_hack(self, program, running, saver_log):
        """Waits until a process runs `program` (running) or none does any more."""
        deadline = time.monotonic() + (STARTUP_SECONDS if running else END_SECONDS)
        while True:
            found = []
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    if os.readlink(f"/proc/{pid}/exe") == program:
                        found.append(pid)
                except OSError:
                    pass
            if bool(found) == running:
                return
            if time.monotonic() > deadline:
                saver_log.seek(0)
                raise Failure(("xscreensaver did not start the program" if running else
                               f"the program still runs (pids {found}) after -deactivate")
                              + ":\n" + saver_log.read().decode(errors="replace")[-3000:])
            time.sleep(0.1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("scenario")
    arguments = parser.parse_args()
    if not shutil.which("Xvfb"):
        print("Skipped: Xvfb is not installed (Debian: apt-get install xvfb)", flush=True)
        return SKIP
    os.makedirs(arguments.out, exist_ok=True)
    scenarios = Scenarios(Tools(arguments.program, arguments.probe, arguments.out))
    name = arguments.scenario
    runs = {"xscreensaver": scenarios.xscreensaver, "window-id": scenarios.window_id,
            "host-variable": scenarios.host_variable, "root": scenarios.root}
    if name not in runs:
        print(f"unknown scenario {name}", file=sys.stderr)
        return 1
    try:
        runs[name]()
    except Skipped as reason:
        print(f"Skipped: {reason}", flush=True)
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
