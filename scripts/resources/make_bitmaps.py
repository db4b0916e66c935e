#!/usr/bin/env python3
"""Makes the three bitmaps of the colour panel as 24-bit BMP files (standard library only).

- resources/bitmaps/color.bmp, 62 x 106: the colour ramp. Row y has the hue y/106 of a full turn
  (red at the top, then yellow, green, cyan, blue, magenta, back towards red at the bottom).
  Along a row the colour runs from black (x = 0) to the full colour (x = 30) to white (x = 61).
- resources/bitmaps/panel.bmp, 62 x 102: the empty colour grid, white with 6 x 10 grey
  (128, 128, 128) square outlines, cell (c, r) from (10c+2, 10r+2) to (10c+9, 10r+9).
- resources/bitmaps/swap.bmp, 12 x 12: a black double-headed quarter-circle arrow on white.

Run from anywhere: python3 scripts/resources/make_bitmaps.py
"""
import colorsys
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from imagefiles import write_bmp24  # noqa: E402

OUT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                    "..", "..", "resources", "bitmaps"))

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GREY = (128, 128, 128)


def colour_ramp(width=62, height=106, middle=30):
    rows = []
    for y in range(height):
        full = colorsys.hsv_to_rgb(y / height, 1.0, 1.0)
        row = []
        for x in range(width):
            if x <= middle:
                t = x / middle
                rgb = [c * t for c in full]
            else:
                t = (x - middle) / (width - 1 - middle)
                rgb = [c + (1.0 - c) * t for c in full]
            row.append(tuple(int(round(255 * c)) for c in rgb))
        rows.append(row)
    return rows


def panel(width=62, height=102):
    rows = [[WHITE] * width for _ in range(height)]
    for r in range(10):
        for c in range(6):
            x0, y0 = 10 * c + 2, 10 * r + 2
            x1, y1 = x0 + 7, y0 + 7
            for x in range(x0, x1 + 1):
                rows[y0][x] = GREY
                rows[y1][x] = GREY
            for y in range(y0, y1 + 1):
                rows[y][x0] = GREY
                rows[y][x1] = GREY
    return rows


# The swap arrow: a two-pixel quarter circle (radius 6 to 7 around (2, 9)) around the top-right corner with a head pointing left at its
# top-left end and one pointing down at its bottom-right end (symmetric about the diagonal).
SWAP_ART = [
    "..X.........",
    ".XX.........",
    "XXXXX.......",
    "XXXXXXX.....",
    ".XX..XXX....",
    "..X...XXX...",
    ".......XX...",
    "........XX..",
    "........XX..",
    "......XXXXXX",
    ".......XXXX.",
    "........XX..",
]


def swap():
    return [[BLACK if ch == "X" else WHITE for ch in line] for line in SWAP_ART]


def main():
    os.makedirs(OUT, exist_ok=True)
    write_bmp24(os.path.join(OUT, "color.bmp"), colour_ramp())
    write_bmp24(os.path.join(OUT, "panel.bmp"), panel())
    write_bmp24(os.path.join(OUT, "swap.bmp"), swap())
    return 0


if __name__ == "__main__":
    sys.exit(main())
