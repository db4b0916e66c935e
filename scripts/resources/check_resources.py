#!/usr/bin/env python3
"""Checks the generated resources of Fernweave against their required sizes and layouts.

Reads the files back (standard library only) and exits non-zero with a message per problem.
Run from anywhere: python3 scripts/resources/check_resources.py
"""
import colorsys
import os
import re
import struct
import sys

sys.dont_write_bytecode = True
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from imagefiles import read_bmp24, read_png_rgba  # noqa: E402
from make_cursors import HOT_SPOTS  # noqa: E402
from make_icons import TOOLBAR  # noqa: E402

RES = os.path.normpath(os.path.join(HERE, "..", "..", "resources"))
problems = []


def fail(msg):
    problems.append(msg)


def check_panel():
    rows = read_bmp24(os.path.join(RES, "bitmaps", "panel.bmp"))
    if (len(rows[0]), len(rows)) != (62, 102):
        fail("panel.bmp is %dx%d, not 62x102" % (len(rows[0]), len(rows)))
        return
    expected = [[(255, 255, 255)] * 62 for _ in range(102)]
    for r in range(10):
        for c in range(6):
            for y in range(10 * r + 2, 10 * r + 10):
                for x in range(10 * c + 2, 10 * c + 10):
                    inside = 10 * c + 3 <= x <= 10 * c + 8 and 10 * r + 3 <= y <= 10 * r + 8
                    expected[y][x] = (255, 255, 255) if inside else (128, 128, 128)
    wrong = [(x, y) for y in range(102) for x in range(62) if rows[y][x] != expected[y][x]]
    if wrong:
        fail("panel.bmp: %d pixels differ, first at %s" % (len(wrong), wrong[0]))
    # the colour grid's hit rule: inside a cell exactly when x mod 10 and y mod 10 are in 3..8
    for y in range(100):
        for x in range(60):
            if (3 <= x % 10 <= 8 and 3 <= y % 10 <= 8) and rows[y][x] != (255, 255, 255):
                fail("panel.bmp: cell inside (%d, %d) is not white" % (x, y))


def check_color():
    rows = read_bmp24(os.path.join(RES, "bitmaps", "color.bmp"))
    if (len(rows[0]), len(rows)) != (62, 106):
        fail("color.bmp is %dx%d, not 62x106" % (len(rows[0]), len(rows)))
        return
    for y, row in enumerate(rows):
        if row[0] != (0, 0, 0):
            fail("color.bmp: row %d does not start black" % y)
        if row[61] != (255, 255, 255):
            fail("color.bmp: row %d does not end white" % y)
        r, g, b = (c / 255 for c in row[30])
        h, s, v = colorsys.rgb_to_hsv(r, g, b)
        if s < 0.99 or v < 0.99:
            fail("color.bmp: row %d is not the full colour in column 30" % y)
        want = y / 106
        if min(abs(h - want), 1 - abs(h - want)) > 0.01:
            fail("color.bmp: row %d has hue %.3f, expected %.3f" % (y, h, want))
    if rows[0][30] != (255, 0, 0):
        fail("color.bmp: the top row is not red in the middle")


def check_swap():
    rows = read_bmp24(os.path.join(RES, "bitmaps", "swap.bmp"))
    if (len(rows[0]), len(rows)) != (12, 12):
        fail("swap.bmp is not 12x12")
    colours = {p for row in rows for p in row}
    if not colours <= {(0, 0, 0), (255, 255, 255)}:
        fail("swap.bmp has colours other than black and white: %s" % sorted(colours))


def check_cursors():
    for name, (hx, hy) in HOT_SPOTS.items():
        rows = read_png_rgba(os.path.join(RES, "cursors", name + ".png"))
        if (len(rows[0]), len(rows)) != (32, 32):
            fail("%s.png is not 32x32" % name)
            continue
        allowed = {(0, 0, 0, 0), (0, 0, 0, 255), (255, 255, 255, 255)}
        colours = {p for row in rows for p in row}
        if not colours <= allowed:
            fail("%s.png has pixels other than black, white and transparent" % name)
        if rows[hy][hx] != (0, 0, 0, 255):
            fail("%s.png: the hot spot (%d, %d) is not black" % (name, hx, hy))
        for y in range(32):
            for x in range(32):
                if rows[y][x] == (0, 0, 0, 255):
                    ok = all(rows[y + dy][x + dx][3] == 255
                             for dy in (-1, 0, 1) for dx in (-1, 0, 1)
                             if 0 <= x + dx < 32 and 0 <= y + dy < 32)
                    if not ok:
                        fail("%s.png: black pixel (%d, %d) lacks its white outline" % (name, x, y))
        with open(os.path.join(RES, "cursors", "README.md"), encoding="utf-8") as f:
            if "(%d, %d)" % (hx, hy) not in f.read():
                fail("cursors/README.md does not give the hot spot of %s" % name)


def jpeg_size(path):
    with open(path, "rb") as f:
        blob = f.read()
    if blob[:2] != b"\xff\xd8":
        raise ValueError("not a JPEG file")
    pos = 2
    while pos < len(blob):
        marker = blob[pos + 1]
        length, = struct.unpack_from(">H", blob, pos + 2)
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            h, w = struct.unpack_from(">HH", blob, pos + 5)
            return w, h
        pos += 2 + length
    raise ValueError("no frame header")


def check_about():
    try:
        size = jpeg_size(os.path.join(RES, "about.jpg"))
    except (OSError, ValueError) as e:
        fail("about.jpg: %s" % e)
        return
    if size != (380, 287):
        fail("about.jpg is %dx%d, not 380x287" % size)


def check_icons():
    grey = re.compile(r'(?:fill|stroke|stop-color|color)="#([0-9a-f]{2})\1\1"')
    any_colour = re.compile(r'(?:fill|stroke|stop-color|color)="#[0-9a-fA-F]{6}"')
    for name in TOOLBAR + ["fernweave"]:
        sets = ["", "disabled/"] if name != "fernweave" else [""]
        for sub in sets:
            path = os.path.join(RES, "icons", sub + name + ".svg")
            try:
                root = ET.parse(path).getroot()
            except (OSError, ET.ParseError) as e:
                fail("%s: %s" % (path, e))
                continue
            want = "48" if name == "fernweave" else "20"
            if root.get("width") != want or root.get("height") != want:
                fail("%s: not %sx%s" % (path, want, want))
            if sub:
                text = open(path, encoding="utf-8").read()
                if len(any_colour.findall(text)) != len(grey.findall(text)):
                    fail("%s: a colour is not grey" % path)


def check_qrc():
    path = os.path.join(RES, "fernweave.qrc")
    root = ET.parse(path).getroot()
    res = root.find("qresource")
    if res is None or res.get("prefix") != "/":
        fail("fernweave.qrc: no qresource with prefix /")
        return
    entries = {f.get("alias") or f.text: f.text for f in res.findall("file")}
    want = {"COLOR": "bitmaps/color.bmp", "PANEL": "bitmaps/panel.bmp", "SWAP": "bitmaps/swap.bmp",
            "PENCIL": "cursors/pencil.png", "EYEDROP": "cursors/eyedrop.png",
            "HAND": "cursors/hand.png", "ABOUT": "about.jpg",
            "icons/fernweave.svg": "icons/fernweave.svg"}
    for name in TOOLBAR:
        want["icons/%s.svg" % name] = "icons/%s.svg" % name
        want["icons/disabled/%s.svg" % name] = "icons/disabled/%s.svg" % name
    for name in ("back", "forward", "home", "book_closed", "book_open", "page"):
        want["icons/help/%s.svg" % name] = "icons/help/%s.svg" % name
    for alias, file in want.items():
        if entries.get(alias) != file:
            fail("fernweave.qrc: %s should name %s" % (alias, file))
    for file in entries.values():
        if not os.path.isfile(os.path.join(RES, file)):
            fail("fernweave.qrc: %s is missing" % file)


def main():
    for check in (check_panel, check_color, check_swap, check_cursors, check_about,
                  check_icons, check_qrc):
        try:
            check()
        except (OSError, ValueError) as e:
            fail("%s: %s" % (check.__name__, e))
    for p in problems:
        print("FAIL:", p)
    if not problems:
        print("all resources check out")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
