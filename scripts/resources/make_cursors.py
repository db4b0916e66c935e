#!/usr/bin/env python3
"""Makes the three mouse cursors of Fernweave as 32 x 32 PNG files (standard library only).

Each cursor is black and white, drawn as outlined shapes (black outline, white or black fill)
painted back to front, with a one-pixel white halo around every black pixel so that it shows on
any background; every other pixel is transparent. No anti-aliasing: pixels are opaque black,
opaque white or fully transparent.

Hot spots (x, y), also listed in resources/cursors/README.md:
  pencil.png   (12, 24)  the pencil tip
  eyedrop.png  (8, 23)   the tip of the dropper
  hand.png     (6, 4)    the tip of the index finger

Run from anywhere: python3 scripts/resources/make_cursors.py
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from imagefiles import write_png_rgba  # noqa: E402

OUT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                    "..", "..", "resources", "cursors"))
SIZE = 32
B, W = "B", "W"

HOT_SPOTS = {"pencil": (12, 24), "eyedrop": (8, 23), "hand": (6, 4)}


class Canvas:
    def __init__(self):
        self.px = [[None] * SIZE for _ in range(SIZE)]

    def paint(self, inside, fill=W, outline=B):
        """Paints the pixels whose centres satisfy inside(x, y): those with a 4-neighbour
        outside the shape in the outline colour, the rest in the fill colour."""
        mask = [[inside(x, y) for x in range(SIZE)] for y in range(SIZE)]

        def at(x, y):
            return 0 <= x < SIZE and 0 <= y < SIZE and mask[y][x]

        for y in range(SIZE):
            for x in range(SIZE):
                if mask[y][x]:
                    edge = not (at(x - 1, y) and at(x + 1, y) and at(x, y - 1) and at(x, y + 1))
                    self.px[y][x] = outline if edge else fill

    def halo(self):
        """A white pixel on every transparent pixel that touches a black one (8-neighbourhood)."""
        add = []
        for y in range(SIZE):
            for x in range(SIZE):
                if self.px[y][x] is None:
                    for dy in (-1, 0, 1):
                        for dx in (-1, 0, 1):
                            xx, yy = x + dx, y + dy
                            if 0 <= xx < SIZE and 0 <= yy < SIZE and self.px[yy][xx] == B:
                                add.append((x, y))
                                break
                        else:
                            continue
                        break
        for x, y in add:
            self.px[y][x] = W

    def rows(self):
        colour = {None: (0, 0, 0, 0), B: (0, 0, 0, 255), W: (255, 255, 255, 255)}
        return [[colour[p] for p in row] for row in self.px]


def diagonal(tip):
    """Coordinates along a tool that points from the top right down to the bottom left:
    t is the distance from the tip along the tool, s the signed distance across it."""
    tx, ty = tip
    r2 = math.sqrt(2.0)

    def ts(x, y):
        dx, dy = x - tx, y - ty
        return (dx - dy) / r2, (dx + dy) / r2
    return ts


def capsule(ax, ay, bx, by, r):
    """Points within r of the segment from (ax, ay) to (bx, by)."""
    vx, vy = bx - ax, by - ay
    length2 = vx * vx + vy * vy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / length2))
        px, py = ax + t * vx - x, ay + t * vy - y
        return px * px + py * py <= r * r + 1e-9
    return inside


def pencil():
    c = Canvas()
    ts = diagonal(HOT_SPOTS["pencil"])
    length, half = 22.0, 3.0

    def body(x, y):
        t, s = ts(x, y)
        return 5.5 <= t <= length and abs(s) <= half

    def band(x, y):  # the metal band and eraser at the far end
        t, s = ts(x, y)
        return 17.5 <= t <= length and abs(s) <= half

    def groove(x, y):  # a line along the painted wood
        t, s = ts(x, y)
        return 6.5 <= t <= 17.5 and abs(s) <= 0.5

    def cone(x, y):  # the sharpened wood
        t, s = ts(x, y)
        return 0.0 <= t <= 6.5 and abs(s) <= t * 0.5 + 0.5

    def lead(x, y):
        t, s = ts(x, y)
        return 0.0 <= t <= 2.6 and abs(s) <= t * 0.5 + 0.5

    c.paint(body)
    c.paint(groove, fill=B)
    c.paint(band, fill=B)
    c.paint(cone)
    c.paint(lead, fill=B)
    c.halo()
    return c


def eyedrop():
    c = Canvas()
    ts = diagonal(HOT_SPOTS["eyedrop"])

    def tube(x, y):  # the glass tube, narrowing to the tip
        t, s = ts(x, y)
        return 0.0 <= t <= 13.0 and abs(s) <= min(1.9, 0.6 + t * 0.45)

    def liquid(x, y):
        t, s = ts(x, y)
        return 0.0 <= t <= 4.0 and abs(s) <= min(1.9, 0.6 + t * 0.45)

    def collar(x, y):
        t, s = ts(x, y)
        return 12.0 <= t <= 14.5 and abs(s) <= 3.6

    tx, ty = HOT_SPOTS["eyedrop"]
    d = 1.0 / math.sqrt(2.0)
    # the rubber bulb: a capsule on the axis from t = 16.5 to t = 19.5
    bulb = capsule(tx + 16.5 * d, ty - 16.5 * d, tx + 19.5 * d, ty - 19.5 * d, 3.0)

    c.paint(tube)
    c.paint(liquid, fill=B)
    c.paint(bulb, fill=B)
    c.paint(collar, fill=B)
    c.halo()
    return c


def hand():
    c = Canvas()
    r = 2.1
    # curled fingers behind the palm, right to left
    c.paint(capsule(18.0, 13.0, 18.0, 18.0, 1.9))
    c.paint(capsule(14.0, 11.5, 14.0, 18.0, r))
    c.paint(capsule(10.0, 10.5, 10.0, 18.0, r))

    index = capsule(6.0, 5.5, 6.0, 16.0, r)

    def palm(x, y):
        return 4 <= x <= 20 and 15 <= y <= 25 and not (x == 20 and y in (15, 25)) \
            and not (x == 4 and y == 25)

    c.paint(lambda x, y: index(x, y) or palm(x, y))
    # the thumb, bent in at the left side of the palm
    c.paint(capsule(2.2, 14.2, 5.6, 19.0, 2.0))
    # the cuff
    c.paint(lambda x, y: 6 <= x <= 18 and 26 <= y <= 29, fill=B)
    c.halo()
    return c


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, make in (("pencil", pencil), ("eyedrop", eyedrop), ("hand", hand)):
        canvas = make()
        hx, hy = HOT_SPOTS[name]
        if canvas.px[hy][hx] != B:
            raise SystemExit("%s: the hot spot (%d, %d) is not on the black tip" % (name, hx, hy))
        write_png_rgba(os.path.join(OUT, name + ".png"), canvas.rows())
    return 0


if __name__ == "__main__":
    sys.exit(main())
