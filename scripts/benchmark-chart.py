#!/usr/bin/env python3
"""Summarises the benchmark JSON of scripts/run-benchmarks.sh: prints the medians and the ratios against the
targets as Markdown tables, and draws the frame cost, the start-up time and the presentation under Xvfb, ours
beside SDL2's, against the screen width as a PNG; with --screensavers, the screen-saver comparison of
scripts/bench-screensavers.py too: its tables, the targets of the paced mode, and ours beside xscreensaver's hacks
in the chart.

    benchmark-chart.py headless.json [x11.json] [sdl.json] [--screensavers screensavers.json]
                       [--chart docs/performance/chart.png]

Needs Python 3 and PIL (Debian: python3-pil); the DejaVu font (fonts-dejavu-core) when present."""

import argparse
import json
import math
import os
import re

from PIL import Image, ImageDraw, ImageFont

UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
SCREENS = [(1920, 1080), (3840, 2160)]

# What ran on the X server, ours and SDL2's, in the order of the tables and the chart's legends.
PRESENTATIONS = [("BM_X11ProgramFrames", "the program's own frames"),
                 ("BM_X11PresentProgramPath", "presentation alone, the program's path"),
                 ("BM_X11PresentPutImage", "presentation alone, plain XPutImage"),
                 ("BM_SDLPresentWindowSurface", "SDL2 window surface (MIT-SHM)"),
                 ("BM_SDLPresentSoftwareRenderer", "SDL2 software renderer")]


def load_medians(paths):
    """{(name, args): entry} for every median aggregate; args is a tuple of the numeric name parts."""
    medians = {}
    context = None
    for path in paths:
        if not path or not os.path.exists(path):
            continue
        with open(path) as file:
            data = json.load(file)
        context = context or data.get("context")
        for entry in data.get("benchmarks", []):
            if entry.get("run_type") != "aggregate" or entry.get("aggregate_name") != "median":
                continue
            parts = entry["run_name"].split("/")
            args = tuple(int(p) for p in parts[1:] if re.fullmatch(r"\d+", p))
            medians[(parts[0], args)] = entry
    return medians, context


def seconds(entry, kind):
    return entry[kind] * UNIT_SECONDS[entry["time_unit"]]


class Summary:
    def __init__(self, medians):
        self.medians = medians

    def get(self, name, *args):
        return self.medians.get((name, tuple(args)))

    def cpu_us(self, name, *args):
        entry = self.get(name, *args)
        return seconds(entry, "cpu_time") * 1e6 if entry else None

    def counter(self, name, counter, *args):
        entry = self.get(name, *args)
        return entry.get(counter) if entry else None


def fmt(value, digits=3):
    if value is None:
        return "–"
    if value >= 1000:
        return f"{value:,.0f}"
    return f"{value:.{digits}g}"


def verdict(ok):
    return "met" if ok else "**missed**"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def report(s):
    out = []
    widths = [640, 1920, 3840]

    out.append("### Frame composition (CPU time per frame, µs, medians)\n")
    rows = []
    for w in widths:
        frame = s.cpu_us("BM_ComposeFrame", w)
        runs = s.cpu_us("BM_ComposeMemcpyBaseline", w)
        walk = s.cpu_us("BM_ComposeListWalkBaseline", w)
        window = s.cpu_us("BM_ComposeFrameWithWindowCopies", w)
        pixels = s.counter("BM_ComposeFrame", "DrawnPixels", w)
        ratio_walk = frame / walk if frame and walk else None
        ratio_runs = frame / runs if frame and runs else None
        rows.append([f"{w}x{w * 9 // 16}", fmt(pixels), fmt(frame), fmt(walk), fmt(ratio_walk),
                     verdict(ratio_walk is not None and ratio_walk <= 2.0), fmt(runs), fmt(ratio_runs),
                     fmt(window)])
    out.append(table(["screen", "drawn pixels", "ComposeFrame", "memcpy per pixel", "ratio", "≤ 2x",
                      "memcpy in row runs", "ratio", "with headless window copies"], rows))

    out.append("\n### Simulation\n")
    step = s.get("BM_SimulationStep")
    bare = s.get("BM_SimulationStepBareLoop")
    if step and bare:
        step_ns, bare_ns = seconds(step, "cpu_time") * 1e9, seconds(bare, "cpu_time") * 1e9
        ratio = step_ns / bare_ns
        out.append(table(["SimulationStep (ns, CPU)", "bare loop (ns, CPU)", "ratio", "≤ 1.1x"],
                         [[fmt(step_ns), fmt(bare_ns), fmt(ratio), verdict(ratio <= 1.1)]]))
        out.append("")
    rows = []
    for w, h in [(640, 360), (1920, 1080), (3840, 2160)]:
        fps = s.counter("BM_SimulationThread", "FramesPerSecond", w, h)
        sps = s.counter("BM_SimulationThread", "StepsPerSecond", w, h)
        if fps is not None:
            rows.append([f"{w}x{h}", fmt(fps), fmt(sps)])
    if rows:
        out.append(table(["whole thread, headless", "frames/s", "steps/s"], rows))

    out.append("\n### Start-up (ms, medians)\n")
    rows = []
    blend = s.get("BM_BuildBlendTables")
    if blend:
        rows.append(["BuildBlendTables", "any", fmt(seconds(blend, "real_time") * 1e3),
                     fmt(seconds(blend, "cpu_time") * 1e3)])
    for w in widths:
        entry = s.get("BM_BuildSpriteTables", w)
        if entry:
            rows.append(["BuildSpriteTables (blend tables included)", f"{w} wide",
                         fmt(seconds(entry, "real_time") * 1e3), fmt(seconds(entry, "cpu_time") * 1e3)])
    for w, h in [(1920, 1080), (3840, 2160)]:
        entry = s.get("BM_CreateSurfaces", w, h)
        if entry:
            rows.append(["CreateSurfaces", f"{w}x{h}", fmt(seconds(entry, "real_time") * 1e3),
                         fmt(seconds(entry, "cpu_time") * 1e3)])
    for w, h in [(1920, 1080), (3840, 2160)]:
        entry = s.get("BM_StartupToFirstPicture", w, h)
        if entry:
            wall = seconds(entry, "real_time") * 1e3
            rows.append(["start-up to the first picture", f"{w}x{h}", fmt(wall), fmt(entry.get("CpuMilliseconds"))])
    out.append(table(["what", "screen", "wall", "CPU"], rows))
    startup = s.get("BM_StartupToFirstPicture", 3840, 2160)
    if startup:
        wall = seconds(startup, "real_time") * 1e3
        out.append(f"\nStart-up at 3840x2160 under 50 ms: wall {fmt(wall)} ms, {verdict(wall < 50)}; "
                   f"CPU {fmt(startup.get('CpuMilliseconds'))} ms, "
                   f"{verdict(startup.get('CpuMilliseconds', 1e9) < 50)}.")

    out += x11_report(s)
    return "\n".join(out)


def quotient(a, b):
    return a / b if a is not None and b else None


def x11_report(s):
    out = []
    rows = []
    for w, h in SCREENS:
        ours = s.cpu_us("BM_X11ConvertProgramPath", w, h)
        plain = s.cpu_us("BM_X11ConvertPlainTables", w, h)
        copy = s.cpu_us("BM_X11ConvertMemcpyOfOutput", w, h)
        if ours is not None:
            r = quotient(ours, copy)
            rows.append([f"{w}x{h}", fmt(ours * 1e3), fmt(copy * 1e3 if copy else None), fmt(r),
                         "–" if r is None else verdict(r <= 1.3), fmt(plain * 1e3 if plain else None),
                         fmt(quotient(plain, copy))])
    if rows:
        out.append("\n### X11 conversion of a frame's two rectangles (CPU ns per frame, medians)\n")
        out.append(table(["screen", "the program's way", "memcpy of the output", "ratio", "≤ 1.3x",
                          "plain table loop", "ratio"], rows))

    rows = []
    rounds = None
    for w, h in SCREENS:
        for name, label in PRESENTATIONS:
            entry = s.get(name, w, h)
            if entry:
                rounds = rounds or entry.get("repetitions")
                shared = entry.get("SharedMemory")
                rows.append([f"{w}x{h}", label, fmt(entry.get("FramesPerSecond")),
                             fmt(entry.get("ClientCpuMicrosecondsPerFrame")),
                             fmt(entry.get("ServerCpuMicrosecondsPerFrame")),
                             "–" if shared is None else ("yes" if shared >= 1 else "**no**")])
    if not rows:
        return out
    out.append(f"\n### Presentation under Xvfb, ours beside SDL2 (medians of {rounds} interleaved rounds)\n")
    out.append(table(["screen", "what", "frames/s", "client CPU µs/frame", "server CPU µs/frame",
                      "shared memory"], rows))

    rows = []
    for w, h in SCREENS:
        def counter(name, what):
            return s.counter(name, what, w, h)

        cpu, fps = "ClientCpuMicrosecondsPerFrame", "FramesPerSecond"
        sdl_cpu, sdl_fps = counter("BM_SDLPresentWindowSurface", cpu), counter("BM_SDLPresentWindowSurface", fps)
        client = quotient(counter("BM_X11PresentProgramPath", cpu), sdl_cpu)
        share = quotient(counter("BM_X11ProgramFrames", fps), counter("BM_X11PresentProgramPath", fps))
        if client is None and share is None:
            continue
        rows.append([f"{w}x{h}", fmt(client), "–" if client is None else verdict(client <= 0.6),
                     fmt(quotient(counter("BM_X11PresentProgramPath", fps), sdl_fps)),
                     fmt(quotient(counter("BM_X11ProgramFrames", cpu), sdl_cpu)),
                     fmt(quotient(counter("BM_X11ProgramFrames", fps), sdl_fps)),
                     "–" if share is None else f"{share:.0%}", "–" if share is None else verdict(share >= 0.9)])
    if not rows:
        return out
    out.append("\n### Ratios\n")
    out.append(table(["screen", "client CPU/frame, our path / SDL2 window surface", "≤ 0.6x",
                      "frames/s, our path / SDL2 window surface", "client CPU/frame, our program / SDL2",
                      "frames/s, our program / SDL2", "our program / our path, frames/s", "≥ 90%"], rows))
    return out


# The paced mode's ceiling on the program's CPU (% of one core) at each screen; the server's is as much again.
SAVER_CPU_LIMITS = {"1920x1080": 1.0, "3840x2160": 2.0}


def saver_report(data):
    """The screen savers' medians, and the paced mode's targets judged on them."""
    context, out = data["context"], []
    fps, speed = context["fps"], context["speed"]
    out.append(f"### Screen savers on the root window of Xvfb (% of one core, medians of {context['rounds']} "
               f"rounds of {context['seconds']:g} s after {context['warm_up']:g} s; paced at {fps} frames/s and "
               f"{speed} steps/s)\n")
    rows = [[m["screen"], m["name"], fmt(m["program_cpu"], 2), fmt(m["server_cpu"], 2),
             fmt(m["program_cpu"] + m["server_cpu"], 2), fmt(m.get("frames_per_second"), 4),
             fmt(m.get("steps_per_second"), 5), fmt(m.get("late99_ms"), 2)] for m in data["medians"]]
    out.append(table(["screen", "program", "program CPU %", "X server CPU %", "together %", "frames/s", "steps/s",
                      "late 99th pct, ms"], rows))
    out.append("\n### The paced mode's targets\n")
    rows = []
    for screen, limit in SAVER_CPU_LIMITS.items():
        here = [m for m in data["medians"] if m["screen"] == screen]
        ours = next((m for m in here if m["name"].startswith("coppertrowel paced")), None)
        hacks = [m for m in here if not m["name"].startswith("coppertrowel")]
        if not ours:
            rows.append([screen, "paced run", "–", "not measured: this build has no paced mode"])
            continue
        together = ours["program_cpu"] + ours["server_cpu"]
        lightest = min(hacks, key=lambda m: m["program_cpu"] + m["server_cpu"], default=None)
        rows.append([screen, f"program CPU ≤ {limit:g} %", fmt(ours["program_cpu"], 2),
                     verdict(ours["program_cpu"] <= limit)])
        rows.append([screen, f"X server CPU ≤ {limit:g} %", fmt(ours["server_cpu"], 2),
                     verdict(ours["server_cpu"] <= limit)])
        if lightest:
            light = lightest["program_cpu"] + lightest["server_cpu"]
            rows.append([screen, f"together < the lightest hack ({lightest['name']}, {fmt(light, 2)} %)",
                         fmt(together, 2), verdict(together < light)])
        if "frames_per_second" in ours:
            rows.append([screen, f"frames/s within 1 % of {fps}", fmt(ours["frames_per_second"], 4),
                         verdict(abs(ours["frames_per_second"] - fps) <= fps * 0.01)])
            rows.append([screen, f"steps/s within 0.5 % of {speed}", fmt(ours["steps_per_second"], 5),
                         verdict(abs(ours["steps_per_second"] - speed) <= speed * 0.005)])
            rows.append([screen, "lateness, 99th percentile ≤ 2 ms", fmt(ours["late99_ms"], 2),
                         verdict(ours["late99_ms"] <= 2)])
    out.append(table(["screen", "target", "measured", ""], rows))
    return "\n".join(out)


def font(size):
    for path in ["/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"]:
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    return ImageFont.load_default()


def panel(draw, box, title, xlabel, ylabel, series, xs, log=True, hline=None):
    """One chart in box (left, top, right, bottom): series is [(label, colour, [(x, y)...])]."""
    left, top, right, bottom = box
    small, normal = font(13), font(15)
    ox, oy, ex, ey = left + 70, top + 56, right - 20, bottom - 50
    values = [y for _, _, points in series for _, y in points if y and y > 0]
    if not values:
        return
    if hline:
        values.append(hline[0])
    if log:
        low = 10 ** math.floor(math.log10(min(values)))
        high = 10 ** (math.ceil(math.log10(max(values))) + 1)  # a decade above the data for the legend
        ticks = [10 ** e for e in range(round(math.log10(low)), round(math.log10(high)) + 1)]

        def ypos(v):
            return ey - (math.log10(v) - math.log10(low)) / (math.log10(high) - math.log10(low)) * (ey - oy)
    else:
        high = max(values) * 1.5  # room above the data for the legend
        step = 10 ** math.floor(math.log10(high))
        ticks = [i * step for i in range(0, int(high / step) + 1)]

        def ypos(v):
            return ey - v / high * (ey - oy)
    xmin, xmax = min(xs), max(xs)

    def xpos(x):  # the first and last widths a little inside the frame, clear of its sides
        return ox + 20 + (x - xmin) / (xmax - xmin) * (ex - ox - 40)

    draw.text((left + 10, top + 8), title, fill="black", font=normal)
    for t in ticks:
        y = ypos(t)
        draw.line([(ox, y), (ex, y)], fill=(225, 225, 225))
        draw.text((ox - 8, y), fmt(t), fill="black", font=small, anchor="rm")
    for x in xs:
        draw.line([(xpos(x), oy), (xpos(x), ey)], fill=(235, 235, 235))
        draw.text((xpos(x), ey + 6), str(x), fill="black", font=small, anchor="mt")
    draw.rectangle([ox, oy, ex, ey], outline="black")
    draw.text(((ox + ex) / 2, ey + 26), xlabel, fill="black", font=small, anchor="mt")
    draw.text((left + 10, top + 30), ylabel, fill="black", font=small)
    if hline:
        y = ypos(hline[0])
        for x in range(int(ox), int(ex), 12):
            draw.line([(x, y), (min(x + 6, ex), y)], fill=(200, 0, 0), width=2)
        draw.text((ox + 6, y - 4), hline[1], fill=(200, 0, 0), font=small, anchor="lb")
    legend_y = oy + 8
    for label, colour, points in series:
        points = [(x, y) for x, y in points if y]
        if not points:
            continue
        coords = [(xpos(x), ypos(y)) for x, y in points]
        if len(coords) > 1:
            draw.line(coords, fill=colour, width=3)
        for cx, cy in coords:
            draw.ellipse([cx - 4, cy - 4, cx + 4, cy + 4], fill=colour)
        draw.line([(ox + 12, legend_y + 7), (ox + 36, legend_y + 7)], fill=colour, width=3)
        draw.text((ox + 42, legend_y), label, fill="black", font=small)
        legend_y += 18


def saver_panel(draw, box, data):
    """Ours beside the hacks: one bar per program and screen, the program's CPU and the server's stacked."""
    left, top, right, bottom = box
    small, normal = font(13), font(15)
    medians = data["medians"]
    names = list(dict.fromkeys(m["name"] for m in medians))
    screens = list(dict.fromkeys(m["screen"] for m in medians))
    colours = {"program": (200, 30, 30), "X server": (30, 90, 200)}
    ox, oy, ex, ey = left + 300, top + 60, right - 30, bottom - 50
    high = max(m["program_cpu"] + m["server_cpu"] for m in medians)
    # Log scale, from the decade below the smallest figure: the lightest are a thousandth of the heaviest.
    low = 10 ** math.floor(math.log10(min(v for m in medians for v in (m["program_cpu"], m["server_cpu"]) if v > 0)))

    def xpos(v):
        return ox + (math.log10(max(v, low)) - math.log10(low)) / (math.log10(high * 2) - math.log10(low)) * (ex - ox)

    draw.text((left + 10, top + 8), "Screen savers on the root window of Xvfb: CPU, % of one core (median, log "
              "scale), the program's and the X server's on its behalf", fill="black", font=normal)
    for t in [10 ** e for e in range(round(math.log10(low)), math.ceil(math.log10(high * 2)) + 1)]:
        if xpos(t) <= ex:
            draw.line([(xpos(t), oy), (xpos(t), ey)], fill=(225, 225, 225))
            draw.text((xpos(t), ey + 6), fmt(t), fill="black", font=small, anchor="mt")
    bar = (ey - oy) / (len(names) * len(screens) + len(names))
    y = oy
    for name in names:
        for screen in screens:
            m = next((m for m in medians if m["name"] == name and m["screen"] == screen), None)
            if m:
                draw.text((ox - 8, y + bar / 2), f"{name}, {screen}", fill="black", font=small, anchor="rm")
                program_end = xpos(m["program_cpu"])
                draw.rectangle([ox, y + 2, program_end, y + bar - 2], fill=colours["program"])
                draw.rectangle([program_end, y + 2, max(program_end, xpos(m["program_cpu"] + m["server_cpu"])),
                                y + bar - 2], fill=colours["X server"])
                draw.text((max(program_end, xpos(m["program_cpu"] + m["server_cpu"])) + 6, y + bar / 2),
                          fmt(m["program_cpu"] + m["server_cpu"], 2) + " %", fill="black", font=small, anchor="lm")
            y += bar
        y += bar
    draw.rectangle([ox, oy, ex, ey], outline="black")
    for index, (label, colour) in enumerate(colours.items()):
        draw.rectangle([ox + 10 + index * 120, top + 34, ox + 30 + index * 120, top + 46], fill=colour)
        draw.text((ox + 36 + index * 120, top + 32), label, fill="black", font=small)


def chart(s, path, savers=None):
    widths = [640, 1920, 3840]
    image = Image.new("RGB", (1200, 1040 + (520 if savers else 0)), "white")
    draw = ImageDraw.Draw(image)

    def frame_series(name):
        return [(w, s.cpu_us(name, w)) for w in widths]

    panel(draw, (0, 0, 600, 520), "Frame cost against screen width (16:9)", "screen width, pixels",
          "µs per frame (CPU, median, log scale)",
          [("ComposeFrame", (200, 30, 30), frame_series("BM_ComposeFrame")),
           ("memcpy of the drawn pixels one by one + restored rows", (30, 90, 200),
            frame_series("BM_ComposeListWalkBaseline")),
           ("memcpy of the same bytes in row runs", (30, 150, 60), frame_series("BM_ComposeMemcpyBaseline"))],
          widths)

    def ms(name, *args, kind="real_time"):
        entry = s.get(name, *args)
        return seconds(entry, kind) * 1e3 if entry else None

    startup = [(1920, ms("BM_StartupToFirstPicture", 1920, 1080)),
               (3840, ms("BM_StartupToFirstPicture", 3840, 2160))]
    startup_cpu = [(1920, s.counter("BM_StartupToFirstPicture", "CpuMilliseconds", 1920, 1080)),
                   (3840, s.counter("BM_StartupToFirstPicture", "CpuMilliseconds", 3840, 2160))]
    panel(draw, (600, 0, 1200, 520), "Start-up against screen width (16:9)", "screen width, pixels",
          "ms (median)",
          [("start-up to the first picture, wall", (200, 30, 30), startup),
           ("start-up to the first picture, CPU", (240, 130, 40), startup_cpu),
           ("CreateSurfaces", (30, 90, 200),
            [(1920, ms("BM_CreateSurfaces", 1920, 1080)), (3840, ms("BM_CreateSurfaces", 3840, 2160))]),
           ("BuildSpriteTables (blend tables included)", (30, 150, 60),
            [(w, ms("BM_BuildSpriteTables", w)) for w in widths])],
          widths, log=False, hline=(50.0, "target 50 ms"))

    colours = [(200, 30, 30), (240, 130, 40), (150, 150, 150), (30, 90, 200), (30, 150, 60)]
    screen_widths = [w for w, _ in SCREENS]

    def presentation(counter):
        return [(label, colour, [(w, s.counter(name, counter, w, h)) for w, h in SCREENS])
                for (name, label), colour in zip(PRESENTATIONS, colours)]

    panel(draw, (0, 520, 600, 1040), "Presentation under Xvfb: the client's CPU", "screen width, pixels",
          "µs per frame (CPU of the presenting thread, median, log scale)",
          presentation("ClientCpuMicrosecondsPerFrame"), screen_widths)
    panel(draw, (600, 520, 1200, 1040), "Presentation under Xvfb: frames per second", "screen width, pixels",
          "frames/s (median, log scale)", presentation("FramesPerSecond"), screen_widths)
    if savers:
        saver_panel(draw, (0, 1040, 1200, 1560), savers)
    image.save(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("json", nargs="*")
    parser.add_argument("--chart")
    parser.add_argument("--screensavers")
    options = parser.parse_args()
    savers = None
    if options.screensavers:
        with open(options.screensavers) as file:
            savers = json.load(file)
    medians, context = load_medians(options.json)
    summary = Summary(medians)
    if context:
        print(f"Machine: {context.get('num_cpus')} CPUs at {context.get('mhz_per_cpu')} MHz, "
              f"load average {', '.join(f'{v:.2f}' for v in context.get('load_avg', []))} at the start\n")
    print(report(summary))
    if savers:
        print("\n" + saver_report(savers))
    if options.chart:
        chart(summary, options.chart, savers)
        print(f"\nChart: {options.chart}")


if __name__ == "__main__":
    main()
