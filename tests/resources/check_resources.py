#!/usr/bin/env python3
"""Reads back the icons and the Windows resources the build made, without running anything it built.

    check_resources.py exe COPPERTROWEL_EXE VERSION
        The resources of a coppertrowel.exe (32- or 64-bit), read with wrestool (icoutils): icon group 1 with
        every size Windows asks for, each image the green field with a red ball on it; a VERSIONINFO whose fixed
        file and product versions are VERSION and whose US English strings name the product and its version;
        one manifest, declaring per-monitor DPI awareness, the supported Windows versions and VERSION; and string
        1, the name the screen saver settings list it under.
    check_resources.py png ICON_DIR
        The PNG icons drawn for the desktop: each as large as its name says, the field the program's green,
        the balls red, the corner rounded off.

Lists every fault and exits 1; exits 77 (skipped) when wrestool is not installed, or when the build drew no PNG
icons (ICON_DIR missing: rsvg-convert was not found).
"""

import os
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zlib

SKIPPED = 77
GREEN = (2, 151, 57)
ICO_SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
PNG_SIZES = [16, 24, 32, 48, 64, 128, 256]
# Windows Vista, 7, 8, 8.1, and 10 and 11.
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"

faults = []


def fault(text):
    faults.append(text)


# Pictures: both kinds decode to rows of (r, g, b, a).


def decode_png(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    position, chunks = 8, {}
    while position < len(data):
        length, kind = struct.unpack_from(">I4s", data, position)
        chunks[kind] = chunks.get(kind, b"") + data[position + 8 : position + 8 + length]
        position += 12 + length
    width, height, depth, colour_type, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    if (depth, colour_type, interlace) != (8, 6, 0):
        raise ValueError("not 8-bit RGBA without interlacing")
    raw, stride = zlib.decompress(chunks[b"IDAT"]), 4 * width
    rows, above = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1 : (y + 1) * (stride + 1)])
        if kind > 4 or len(line) != stride:
            raise ValueError(f"row {y} is cut short or has filter type {kind}")
        unfilter(kind, line, above)
        rows.append([tuple(line[i : i + 4]) for i in range(0, stride, 4)])
        above = line
    return width, height, rows


def unfilter(kind, line, above):
    """Undoes a row's PNG filter in place: each byte was stored as its difference from the byte to its left
    (a), above (b), their mean, or the nearest of a, b and above-left (c) to a + b - c."""
    for i in range(len(line)):
        a, b, c = (line[i - 4] if i >= 4 else 0), above[i], (above[i - 4] if i >= 4 else 0)
        if kind == 4:
            guess = min((a, b, c), key=lambda p: abs(a + b - c - p))  # ties go to a, then b
        else:
            guess = (0, a, b, (a + b) // 2)[kind]
        line[i] = (line[i] + guess) & 255


def decode_icon_image(data):
    """An icon resource: a PNG, or a 32-bit DIB of twice the height stored bottom-up in BGRA."""
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return decode_png(data)
    header_size, width, double_height, _, bits = struct.unpack_from("<IiiHH", data)
    if bits != 32:
        raise ValueError(f"{bits} bits per pixel, not 32")
    height, stride = double_height // 2, 4 * width
    lines = [data[header_size + y * stride : header_size + (y + 1) * stride] for y in reversed(range(height))]
    return width, height, [[(p[i + 2], p[i + 1], p[i], p[i + 3]) for i in range(0, stride, 4)] for p in lines]


def check_picture(name, size, width, height, rows):
    """The icon's layout at any size: field at the middle of the top edge, the balls' centres 80/256 and
    168/256 of the way along the diagonal, the top left corner cut off by the rounding."""
    if (width, height) != (size, size):
        fault(f"{name}: {width}x{height}, not {size}x{size}")
        return
    field = rows[0][size // 2]
    if field[3] != 255 or any(abs(c - g) > 2 for c, g in zip(field, GREEN)):
        fault(f"{name}: the field is {field}, not the program's green {GREEN} opaque")
    for at in (int(size * 80 / 256), int(size * 168 / 256)):
        r, g, b, a = rows[at][at]
        if a != 255 or r < 200 or g > 80 or b > 80:
            fault(f"{name}: the ball at ({at}, {at}) is {(r, g, b, a)}, not an opaque red")
    if rows[0][0][3] >= 128:
        fault(f"{name}: the top left corner is opaque (alpha {rows[0][0][3]}), not rounded off")


def check_pngs(directory):
    if not os.path.isdir(directory):
        print("Skipped: no PNG icons were drawn (rsvg-convert, package librsvg2-bin, was not found)")
        sys.exit(SKIPPED)
    for size in PNG_SIZES:
        name = f"{directory}/coppertrowel-{size}.png"
        try:
            with open(name, "rb") as picture:
                check_picture(name, size, *decode_png(picture.read()))
        except (OSError, ValueError, KeyError, struct.error, zlib.error) as error:
            fault(f"{name}: {error}")
    return f"{len(PNG_SIZES)} PNG sizes"


# The executable's resources.


def resource(exe, kind, name=None):
    command = ["wrestool", "-x", "--raw", f"--type={kind}", exe] + ([f"--name={name}"] if name else [])
    return subprocess.run(command, check=True, capture_output=True).stdout


def check_icon(exe, listing):
    group = resource(exe, 14, 1)
    if len(group) < 6:
        fault("no icon group 1: Explorer shows a default icon")
        return
    _, kind, count = struct.unpack_from("<HHH", group)
    sizes = []
    for k in range(count):
        width, height, _, _, _, bits, length, number = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * k)
        size = width or 256
        sizes.append(size)
        if (height or 256) != size or bits != 32:
            fault(f"icon {size}: {width or 256}x{height or 256}, {bits} bits per pixel in the group")
        if f"--type=3 --name={number} " not in listing:
            fault(f"icon {size}: the group names icon resource {number}, which is missing")
            continue
        image = resource(exe, 3, number)
        if len(image) != length:
            fault(f"icon {size}: {len(image)} bytes, the group says {length}")
        try:
            check_picture(f"icon {size}", size, *decode_icon_image(image))
        except (ValueError, KeyError, struct.error, zlib.error) as error:
            fault(f"icon {size}: {error}")
    if kind != 1 or sorted(sizes) != ICO_SIZES:
        fault(f"icon group 1 holds sizes {sorted(sizes)}, not {ICO_SIZES}")


def version_block(data, start):
    """One block of the version information: (key, value, children) and the offset after it. Every part
    starts on a 4-byte boundary; a text value (type 1) is UTF-16 up to its terminator."""
    length, value_length, text = struct.unpack_from("<HHH", data, start)
    end = start + length
    key_end = start + 6
    while data[key_end : key_end + 2] != b"\0\0":
        key_end += 2
    key = data[start + 6 : key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    if text and value_length:
        # A string's length counts characters or bytes, depending on the resource compiler: a leaf, it ends
        # where the block ends.
        value = data[position:end].decode("utf-16-le").split("\0")[0]
        position = end
    elif text:
        value = ""
    else:
        value = data[position : position + value_length]
        position = (position + value_length + 3) & ~3
    children = []
    while position < end:
        child, position = version_block(data, position)
        children.append(child)
    return (key, value, children), (end + 3) & ~3


def check_version(exe, version):
    data = resource(exe, 16, 1)
    if not data:
        fault("no VERSIONINFO: Explorer shows no version")
        return
    (key, fixed, children), _ = version_block(data, 0)
    expected = [int(part) for part in version.split(".")] + [0] * (4 - len(version.split(".")))
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    file_type = struct.unpack_from("<I", fixed, 36)[0]
    for what, ms, ls in (("file", file_ms, file_ls), ("product", product_ms, product_ls)):
        found = [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
        if found != expected:
            fault(f"fixed {what} version {'.'.join(map(str, found))}, not {'.'.join(map(str, expected))}")
    if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD or file_type != 1:
        fault(f"version information {key!r}, signature {signature:#x}, file type {file_type}: not an application's")

    blocks = {child[0]: child for child in children}
    tables = {table[0].upper(): table for table in blocks.get("StringFileInfo", ("", b"", []))[2]}
    strings = {entry[0]: entry[1] for entry in tables.get("040904B0", ("", b"", []))[2]}
    wanted = {"ProductName": "coppertrowel", "FileVersion": version, "ProductVersion": version,
              "OriginalFilename": "coppertrowel.exe"}
    for name, value in wanted.items():
        if strings.get(name) != value:
            fault(f"string {name} in table 040904B0 is {strings.get(name)!r}, not {value!r}")
    if not strings.get("FileDescription", "").startswith("coppertrowel"):
        fault(f"FileDescription {strings.get('FileDescription')!r} does not name the program")
    translations = [entry[1] for entry in blocks.get("VarFileInfo", ("", b"", []))[2] if entry[0] == "Translation"]
    pairs = [struct.unpack_from("<HH", value, k) for value in translations for k in range(0, len(value) - 3, 4)]
    if (0x0409, 1200) not in pairs:
        fault(f"VarFileInfo translations {pairs} do not name the string table 040904B0")


def check_screen_saver_name(exe):
    """String 1: the name the screen saver settings list. A string table resource holds strings 16 at a time,
    block 1 strings 0 to 15, each a UTF-16 length then that many UTF-16 units."""
    data, position, strings = resource(exe, 6, 1), 0, []
    while position + 2 <= len(data) and len(strings) < 16:
        (length,) = struct.unpack_from("<H", data, position)
        strings.append(data[position + 2 : position + 2 + 2 * length].decode("utf-16-le"))
        position += 2 + 2 * length
    if strings[1:2] != ["coppertrowel"]:
        fault(f"string 1 is {strings[1:2]}, not ['coppertrowel']: the screen saver settings list the file name")


def check_manifest(exe, version, listing):
    names = [line.split()[1] for line in listing.splitlines() if line.startswith("--type=24 ")]
    if names != ["--name=1"]:
        fault(f"manifest resources {names}: Windows reads only the one named 1")
        return
    try:
        root = ET.fromstring(resource(exe, 24, 1))
    except ET.ParseError as error:
        fault(f"the manifest is no XML ({error}): Windows refuses to start the program")
        return
    if root.tag != ASM_V1 + "assembly" or root.get("manifestVersion") != "1.0":
        fault(f"the manifest's root is {root.tag} version {root.get('manifestVersion')}, not an assembly 1.0")
    identity = root.find(ASM_V1 + "assemblyIdentity")
    four_parts = ".".join((version.split(".") + ["0"] * 4)[:4])
    if identity is None or identity.get("version") != four_parts or identity.get("type") != "win32":
        fault(f"the manifest's identity is {None if identity is None else identity.attrib}, not version {four_parts}")
    settings = root.find(f"{ASM_V3}application/{ASM_V3}windowsSettings")
    aware = settings.findtext(SETTINGS_2005 + "dpiAware", "") if settings is not None else ""
    awareness = settings.findtext(SETTINGS_2016 + "dpiAwareness", "") if settings is not None else ""
    if aware.strip().lower() != "true/pm":
        fault(f"dpiAware is {aware!r}, not true/pm: Windows 8.1 scales the picture up")
    kinds = [kind.strip().lower() for kind in awareness.split(",")]
    if kinds[:1] != ["permonitorv2"] or "permonitor" not in kinds:
        fault(f"dpiAwareness is {awareness!r}, not PerMonitorV2 then PerMonitor")
    declared = {os.get("Id", "").lower() for os in root.iter(COMPATIBILITY + "supportedOS")}
    if SUPPORTED_OS - declared:
        fault(f"the manifest does not declare the Windows versions {sorted(SUPPORTED_OS - declared)}")


def check_exe(exe, version):
    if not shutil.which("wrestool"):
        print("Skipped: wrestool (icoutils) is not installed")
        sys.exit(SKIPPED)
    listed = subprocess.run(["wrestool", "-l", exe], capture_output=True, text=True)
    if listed.returncode != 0 or not listed.stdout:
        fault(f"wrestool reads no resources: {listed.stderr.strip()}")
        return ""
    for check in (lambda: check_icon(exe, listed.stdout), lambda: check_version(exe, version),
                  lambda: check_manifest(exe, version, listed.stdout), lambda: check_screen_saver_name(exe)):
        try:
            check()
        except (subprocess.CalledProcessError, struct.error, UnicodeDecodeError, IndexError) as error:
            fault(f"unreadable resource: {error}")
    return f"icon sizes {ICO_SIZES}, version {version}, manifest per-monitor DPI aware, screen saver name"


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "exe":
        summary = check_exe(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == "png":
        summary = check_pngs(sys.argv[2])
    else:
        sys.exit(__doc__)
    for text in faults:
        print(f"{sys.argv[2]}: {text}", file=sys.stderr)
    if faults:
        sys.exit(1)
    print(f"{sys.argv[2]}: {summary}")


if __name__ == "__main__":
    main()
