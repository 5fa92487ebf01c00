#!/usr/bin/env python3
"""Draws coppertrowel.svg as PNG files and a Windows icon, with nothing but Python's standard library.

It understands exactly what the icon uses: <rect> (with rx) and <circle>, filled with a #rrggbb colour or a
radialGradient in bounding-box units (stops with offset, stop-color, stop-opacity), painted in document order
over a transparent canvas. Anything else in the drawing is refused, so the pictures can never quietly differ
from the SVG. Pixels an edge passes through are supersampled 8 x 8; the others are taken at their centre.

    render_icons.py SVG OUTDIR [--png 16 24 ...] [--ico 16 20 ... 256]

writes OUTDIR/coppertrowel-N.png for every PNG size and OUTDIR/coppertrowel.ico holding the icon sizes
(32-bit DIBs, 256 as an embedded PNG).
"""

import argparse
import math
import os
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

SVG = "{http://www.w3.org/2000/svg}"
SUPERSAMPLES = 8
NAME = "coppertrowel"


class Refused(Exception):
    pass


def local(tag):
    return tag[len(SVG) :] if tag.startswith(SVG) else tag


def number(element, name, default=None):
    value = element.get(name)
    if value is None:
        if default is None:
            raise Refused(f"<{local(element.tag)}> needs {name}")
        return default
    try:
        return float(value)
    except ValueError:
        raise Refused(f"{name}={value!r} is not a plain number") from None


def colour(text):
    try:
        if len(text) == 7 and text[0] == "#":
            return tuple(int(text[i : i + 2], 16) / 255.0 for i in (1, 3, 5))
    except ValueError:
        pass
    raise Refused(f"colour {text!r} is not #rrggbb")


# A paint is a function of (x, y, bounding box) giving straight (r, g, b, a), each 0..1.
def solid(rgb):
    return lambda x, y, box: (*rgb, 1.0)


def radial_gradient(element):
    allowed = {"id", "cx", "cy", "r"}
    if set(element.keys()) - allowed:
        raise Refused(f"radialGradient {element.get('id')!r}: only {sorted(allowed)} are understood")
    cx, cy, r = number(element, "cx", 0.5), number(element, "cy", 0.5), number(element, "r", 0.5)
    stops = []
    for stop in element:
        if stop.tag != SVG + "stop" or set(stop.keys()) - {"offset", "stop-color", "stop-opacity"}:
            raise Refused(f"radialGradient {element.get('id')!r}: only plain <stop> elements are understood")
        offset = min(max(number(stop, "offset"), stops[-1][0] if stops else 0.0), 1.0)
        stops.append((offset, colour(stop.get("stop-color", "#000000")), number(stop, "stop-opacity", 1.0)))
    if not stops:
        raise Refused(f"radialGradient {element.get('id')!r} has no stops")

    def paint(x, y, box):
        left, top, width, height = box
        t = math.hypot((x - left) / width - cx, (y - top) / height - cy) / r
        if t <= stops[0][0]:
            return (*stops[0][1], stops[0][2])
        for (o0, c0, a0), (o1, c1, a1) in zip(stops, stops[1:]):
            if t <= o1:
                f = (t - o0) / (o1 - o0) if o1 > o0 else 1.0
                return (*(p + (q - p) * f for p, q in zip(c0, c1)), a0 + (a1 - a0) * f)
        return (*stops[-1][1], stops[-1][2])

    return paint


# A shape is (signed distance from its outline, negative inside; bounding box; paint).
def circle_shape(element):
    cx, cy, r = number(element, "cx", 0.0), number(element, "cy", 0.0), number(element, "r")
    return (lambda x, y: math.hypot(x - cx, y - cy) - r), (cx - r, cy - r, 2 * r, 2 * r)


def rect_shape(element):
    left, top = number(element, "x", 0.0), number(element, "y", 0.0)
    width, height = number(element, "width"), number(element, "height")
    radius = min(number(element, "rx", 0.0), width / 2, height / 2)
    if element.get("ry") not in (None, element.get("rx")):
        raise Refused("<rect> with ry other than rx")
    middle_x, middle_y = left + width / 2, top + height / 2
    inner_x, inner_y = width / 2 - radius, height / 2 - radius

    def distance(x, y):
        qx, qy = abs(x - middle_x) - inner_x, abs(y - middle_y) - inner_y
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - radius

    return distance, (left, top, width, height)


def read_drawing(path):
    root = ET.parse(path).getroot()
    if root.tag != SVG + "svg":
        raise Refused("not an SVG document")
    view = [float(v) for v in root.get("viewBox", "").replace(",", " ").split()]
    if len(view) != 4 or view[0] != 0 or view[1] != 0 or view[2] != view[3]:
        raise Refused("the icon needs a square viewBox starting at 0 0")
    gradients, shapes = {}, []
    for element in root:
        tag = local(element.tag)
        if tag == "defs":
            for gradient in element:
                if gradient.tag != SVG + "radialGradient":
                    raise Refused(f"<{local(gradient.tag)}> in <defs>")
                gradients[gradient.get("id")] = radial_gradient(gradient)
        elif tag in ("rect", "circle"):
            if set(element.keys()) - {"x", "y", "width", "height", "rx", "ry", "cx", "cy", "r", "fill"}:
                raise Refused(f"<{tag}>: only its geometry and fill are understood")
            distance, box = (rect_shape if tag == "rect" else circle_shape)(element)
            fill = element.get("fill", "#000000")
            if fill.startswith("url(#") and fill.endswith(")"):
                if fill[5:-1] not in gradients:
                    raise Refused(f"fill {fill} names no gradient defined before it")
                paint = gradients[fill[5:-1]]
            else:
                paint = solid(colour(fill))
            shapes.append((distance, box, paint))
        else:
            raise Refused(f"<{tag}> is not part of what the icon may use")
    return view[2], shapes


def sample(shapes, x, y):
    """Premultiplied (r, g, b, a) of the drawing at one point: each shape painted over the ones before."""
    r = g = b = a = 0.0
    for distance, box, paint in shapes:
        if distance(x, y) <= 0.0:
            pr, pg, pb, pa = paint(x, y, box)
            keep = 1.0 - pa
            r, g, b, a = pr * pa + r * keep, pg * pa + g * keep, pb * pa + b * keep, pa + a * keep
    return r, g, b, a


def render(shapes, extent, size):
    """Rows of straight RGBA bytes, size x size."""
    unit = extent / size  # drawing units per pixel
    # An outline closer to a pixel's centre than half its diagonal may cross it.
    reach = unit * 0.75
    offsets = [(k + 0.5) / SUPERSAMPLES for k in range(SUPERSAMPLES)]
    rows = []
    for j in range(size):
        row = bytearray()
        for i in range(size):
            cx, cy = (i + 0.5) * unit, (j + 0.5) * unit
            if any(abs(distance(cx, cy)) < reach for distance, _, _ in shapes):
                points = [((i + u) * unit, (j + v) * unit) for v in offsets for u in offsets]
            else:
                points = [(cx, cy)]
            total = [0.0, 0.0, 0.0, 0.0]
            for x, y in points:
                for k, value in enumerate(sample(shapes, x, y)):
                    total[k] += value
            alpha = total[3] / len(points)
            if alpha <= 0.0:
                row += b"\0\0\0\0"
                continue
            row += bytes(round(min(total[k] / len(points) / alpha, 1.0) * 255) for k in range(3))
            row.append(round(alpha * 255))
        rows.append(bytes(row))
    return rows


def png_bytes(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA, not interlaced
    data = zlib.compress(b"".join(b"\0" + row for row in rows), 9)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(b"IEND", b"")


def dib_bytes(rows):
    """An icon image as Windows stores it: BITMAPINFOHEADER of twice the height, BGRA rows bottom-up, then
    the 1-bit mask (set where fully transparent) for programs that ignore the alpha channel."""
    size = len(rows)
    mask_stride = (size + 31) // 32 * 4
    colour_rows, mask_rows = [], []
    for row in reversed(rows):
        bgra = bytearray(row)
        bgra[0::4], bgra[2::4] = row[2::4], row[0::4]
        colour_rows.append(bytes(bgra))
        mask = bytearray(mask_stride)
        for i in range(size):
            if row[4 * i + 3] == 0:
                mask[i // 8] |= 0x80 >> (i % 8)
        mask_rows.append(bytes(mask))
    pixels = b"".join(colour_rows) + b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(pixels), 0, 0, 0, 0)
    return header + pixels


def ico_bytes(images):
    """images: (size, rows) pairs. Sizes below 256 as DIBs, 256 as PNG (size byte 0 means 256)."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for size, rows in images:
        blob = png_bytes(rows) if size >= 256 else dib_bytes(rows)
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return directory + b"".join(blobs)


def write(path, data):
    # Written beside the target and renamed, so an interrupted build never leaves a truncated file.
    with open(path + ".tmp", "wb") as out:
        out.write(data)
    os.replace(path + ".tmp", path)


def pixel_size(text):
    value = int(text)
    if not 1 <= value <= 256:
        raise argparse.ArgumentTypeError("sizes are 1 to 256 pixels")
    return value


def main():
    parser = argparse.ArgumentParser(description="Draw the icon SVG as PNG files and a Windows icon.")
    parser.add_argument("svg")
    parser.add_argument("outdir")
    parser.add_argument("--png", type=pixel_size, nargs="+", default=[], help="sizes of the PNG files")
    parser.add_argument("--ico", type=pixel_size, nargs="+", default=[], help="sizes the Windows icon holds")
    args = parser.parse_args()
    try:
        extent, shapes = read_drawing(args.svg)
    except (Refused, ET.ParseError, OSError, ValueError) as error:
        sys.exit(f"render_icons.py: {args.svg}: {error}")

    os.makedirs(args.outdir, exist_ok=True)
    pictures = {size: render(shapes, extent, size) for size in sorted(set(args.png) | set(args.ico))}
    for size in args.png:
        write(os.path.join(args.outdir, f"{NAME}-{size}.png"), png_bytes(pictures[size]))
    if args.ico:
        write(os.path.join(args.outdir, f"{NAME}.ico"), ico_bytes([(s, pictures[s]) for s in sorted(args.ico)]))


if __name__ == "__main__":
    main()
