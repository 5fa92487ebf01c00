#!/usr/bin/env python3
"""Ours beside xscreensaver's software hacks, each alone on the root window of one virtual X server per screen
size: the CPU of the program (% of one core, all its threads) and of the X server over the same window of time,
`--seconds` after `--warm-up`, so that the server's time is what that program's requests cost it. Ours runs
paced (`--root --fps F --speed S`, S the default of the speed slider in our xscreensaver configuration) and
unpaced; the hacks at their defaults (`--root`). Every program runs once per round, the rounds in alternating
order, and the medians are kept beside every run. Ours reports its own frames, steps and lateness
(COPPERTROWEL_PACING_REPORT) on standard error at exit.

    bench-screensavers.py --program PATH --out JSON [--rounds N] [--seconds S] [--warm-up S]

A program our build does not offer yet (paced, before the paced mode) or a hack that is not installed is left
out and said so; scripts/benchmark-chart.py prints the tables and draws the chart from the JSON."""

import argparse
import json
import os
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/e2e"))
from harness import Xvfb  # noqa: E402

SCREENS = [(1920, 1080), (3840, 2160)]
FPS = 60
HACKS = ["deco", "shadebobs", "swirl", "metaballs"]
HACK_FOLDERS = ["/usr/libexec/xscreensaver", "/usr/lib/xscreensaver"]
CONFIGURATION = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../packaging/linux/coppertrowel.xml")
PACING_REPORT = re.compile(r"pacing: frames (\d+) steps (\d+) seconds ([\d.]+) late99 ([\d.]+)ms")
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """User and system time of a process, all its threads, in seconds."""
    with open(f"/proc/{pid}/stat") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def measure(command, env, server, options):
    """One run: the CPU of the program and the server over `seconds` after `warm_up`, and what the program
    printed about its pacing when it was ended."""
    with tempfile.TemporaryFile() as errors:
        program = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=errors)
        time.sleep(options.warm_up)
        if program.poll() is not None:
            errors.seek(0)
            return {"status": program.returncode, "error": errors.read().decode(errors="replace")[-500:]}
        begin = (cpu_seconds(program.pid), cpu_seconds(server.pid), time.monotonic())
        time.sleep(options.seconds)
        end = (cpu_seconds(program.pid), cpu_seconds(server.pid), time.monotonic())
        program.send_signal(signal.SIGTERM)
        try:
            program.wait(30)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()
        errors.seek(0)
        text = errors.read().decode(errors="replace")
    elapsed = end[2] - begin[2]
    run = {"status": program.returncode, "seconds": elapsed,
           "program_cpu": 100 * (end[0] - begin[0]) / elapsed, "server_cpu": 100 * (end[1] - begin[1]) / elapsed}
    report = PACING_REPORT.search(text)
    if report:
        frames, steps, seconds, late99 = int(report[1]), int(report[2]), float(report[3]), float(report[4])
        run.update(frames_per_second=frames / seconds, steps_per_second=steps / seconds, late99_ms=late99)
    # The server finishes what the program asked before the next one's window opens.
    time.sleep(1)
    return run


def programs(program, speed):
    """(name, command) of everything to run; what cannot run here is said and left out."""
    usage = subprocess.run([program, "--help"], capture_output=True, text=True).stdout
    found = []
    if "--fps" in usage:
        found.append(("coppertrowel paced", [program, "--root", "--fps", str(FPS), "--speed", str(speed)]))
    else:
        print("This build has no paced mode: ours runs unpaced only.")
    # Before the paced mode, --root alone ran unpaced.
    found.append(("coppertrowel unpaced", [program, "--root"] + (["--unpaced"] if "--unpaced" in usage else [])))
    for hack in HACKS:
        path = next((os.path.join(folder, hack) for folder in HACK_FOLDERS
                     if os.access(os.path.join(folder, hack), os.X_OK)), None)
        if path:
            found.append((hack, [path, "--root"]))
        else:
            print(f"{hack} is not installed (Debian: xscreensaver-data): left out.")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--warm-up", type=float, default=2)
    options = parser.parse_args()
    speed = int(ElementTree.parse(CONFIGURATION).getroot().find("number[@id='speed']").get("default"))
    runs, loads = [], []
    everything = programs(options.program, speed)
    for width, height in SCREENS:
        with Xvfb(width, height) as server:
            env = dict(server.env, COPPERTROWEL_PACING_REPORT="1")
            env.pop("XSCREENSAVER_WINDOW", None)
            for number in range(1, options.rounds + 1):
                order = everything if number % 2 else everything[::-1]
                loads.append(os.getloadavg())
                print(f"   {width}x{height} round {number} of {options.rounds} (load {loads[-1][0]:.2f})")
                for name, command in order:
                    run = dict(measure(command, env, server.process, options), name=name,
                               screen=f"{width}x{height}", round=number)
                    runs.append(run)
                    if "error" in run:
                        print(f"      {name}: ended with status {run['status']} during the warm-up: "
                              f"{run['error'].strip()}")

    medians = []
    for screen in dict.fromkeys(run["screen"] for run in runs):
        for name in dict.fromkeys(run["name"] for run in runs):
            measured = [run for run in runs
                        if run["screen"] == screen and run["name"] == name and "error" not in run]
            if not measured:
                continue
            median = {"name": name, "screen": screen, "runs": len(measured)}
            for key in ("program_cpu", "server_cpu", "frames_per_second", "steps_per_second", "late99_ms"):
                values = [run[key] for run in measured if key in run]
                if values:
                    median[key] = statistics.median(values)
            medians.append(median)
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True).stdout.strip()
    context = {"commit": commit, "cpus": os.cpu_count(), "fps": FPS, "speed": speed, "seconds": options.seconds,
               "warm_up": options.warm_up, "rounds": options.rounds, "load_avg_by_round": loads}
    with open(options.out, "w") as file:
        json.dump({"context": context, "medians": medians, "runs": runs}, file, indent=2)
        file.write("\n")


if __name__ == "__main__":
    main()
