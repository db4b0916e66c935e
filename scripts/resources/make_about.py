#!/usr/bin/env python3
"""Makes the About picture resources/about.jpg (380 x 287).

The background and a green fern (the classic four-map iterated function system, played as a
chaos game with a fixed seed) are computed here with the standard library and handed to
ImageMagick's `convert`, which adds the pale label panels, the text (DejaVu fonts) and writes
the JPEG.

The program lays its own labels over three strips of the picture, so they are kept free and
light (dark or blue label text stays readable there):
  (195, 15) 134 x 13   the web address
  (124, 217) 244 x 13  and  (46, 233) 318 x 13   two text lines

Run from anywhere: python3 scripts/resources/make_about.py
"""
import math
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.normpath(os.path.join(HERE, "..", "..", "resources", "about.jpg"))
W, H = 380, 287

# The fern's four affine maps: (a, b, c, d, e, f, probability), x' = a x + b y + e, y' = c x + d y + f
FERN = [
    (0.00, 0.00, 0.00, 0.16, 0.0, 0.00, 0.01),
    (0.85, 0.04, -0.04, 0.85, 0.0, 1.60, 0.85),
    (0.20, -0.26, 0.23, 0.22, 0.0, 1.60, 0.07),
    (-0.15, 0.28, 0.26, 0.24, 0.0, 0.44, 0.07),
]
FERN_BOX = (14, 12, 128, 206)  # left, top, right, bottom of the area the fern is fitted into
FERN_TILT = math.radians(-9)   # leans a little to the right
POINTS = 600000

# A small Sierpinski triangle in three colours (each point takes the colour of the corner its
# last map moved it towards), in the empty lower right.
SIERPINSKI = [((300.0, 199.0), (236, 80, 70)), ((366.0, 199.0), (70, 130, 240)),
              ((333.0, 141.8), (250, 205, 70))]
SIERPINSKI_POINTS = 60000


def background():
    """A dark green-black gradient, lightest behind the fern."""
    img = [[None] * W for _ in range(H)]
    cx, cy = 75.0, 110.0
    for y in range(H):
        for x in range(W):
            d = math.hypot((x - cx) / 260.0, (y - cy) / 200.0)
            glow = max(0.0, 1.0 - d) ** 2
            v = y / H
            r = 4 + 10 * glow + 2 * v
            g = 10 + 34 * glow + 6 * v
            b = 9 + 22 * glow + 10 * v
            img[y][x] = [r, g, b]
    return img


def fern_density():
    rng = random.Random(20260101)
    weights = [m[6] for m in FERN]
    cum = []
    total = 0.0
    for w in weights:
        total += w
        cum.append(total)
    x = y = 0.0
    pts = []
    for i in range(POINTS + 50):
        u = rng.random() * total
        for k, c in enumerate(cum):
            if u < c:
                break
        a, b, c_, d, e, f, _ = FERN[k]
        x, y = a * x + b * y + e, c_ * x + d * y + f
        if i >= 50:
            pts.append((x, y))
    # tilt, then fit into the box (y up in the fern's plane, down in the picture)
    ct, st = math.cos(FERN_TILT), math.sin(FERN_TILT)
    tp = [(px * ct - py * st, px * st + py * ct) for px, py in pts]
    xs = [p[0] for p in tp]
    ys = [p[1] for p in tp]
    x0, x1, y0, y1 = min(xs), max(xs), min(ys), max(ys)
    left, top, right, bottom = FERN_BOX
    scale = min((right - left) / (x1 - x0), (bottom - top) / (y1 - y0))
    ox = left + ((right - left) - (x1 - x0) * scale) / 2
    dens = [[0] * W for _ in range(H)]
    for px, py in tp:
        ix = int(ox + (px - x0) * scale)
        iy = int(bottom - (py - y0) * scale)
        if 0 <= ix < W and 0 <= iy < H:
            dens[iy][ix] += 1
    return dens


def sierpinski_hits():
    """Pixel -> (count, summed colour) of the chaos game on the three corners."""
    rng = random.Random(2026)
    x, y = SIERPINSKI[0][0]
    hits = {}
    for i in range(SIERPINSKI_POINTS + 20):
        (cx, cy), colour = SIERPINSKI[rng.randrange(3)]
        x, y = (x + cx) / 2, (y + cy) / 2
        if i < 20:
            continue
        key = (int(x), int(y))
        n, r, g, b = hits.get(key, (0, 0, 0, 0))
        hits[key] = (n + 1, r + colour[0], g + colour[1], b + colour[2])
    return hits


def blur(grid, radius):
    """Box blur, applied twice (close to a Gaussian)."""
    for _ in range(2):
        out = [[0.0] * W for _ in range(H)]
        for y in range(H):
            acc = 0.0
            row = grid[y]
            for x in range(-radius, W + radius):
                if x + radius < W:
                    acc += row[x + radius]
                if x - radius - 1 >= 0:
                    acc -= row[x - radius - 1]
                if 0 <= x < W:
                    out[y][x] = acc / (2 * radius + 1)
        grid2 = [[0.0] * W for _ in range(H)]
        for x in range(W):
            acc = 0.0
            for y in range(-radius, H + radius):
                if y + radius < H:
                    acc += out[y + radius][x]
                if y - radius - 1 >= 0:
                    acc -= out[y - radius - 1][x]
                if 0 <= y < H:
                    grid2[y][x] = acc / (2 * radius + 1)
        grid = grid2
    return grid


def compose():
    img = background()
    dens = fern_density()
    peak = max(max(r) for r in dens)
    glow = blur([[min(1.0, v / 6.0) for v in row] for row in dens], 3)
    left, top, right, bottom = FERN_BOX
    for y in range(H):
        for x in range(W):
            px = img[y][x]
            gl = glow[y][x]
            if gl > 0:  # soft green light around the fronds
                px[0] += 10 * gl
                px[1] += 70 * gl
                px[2] += 30 * gl
            n = dens[y][x]
            if n:
                t = math.log1p(n) / math.log1p(peak)
                k = min(1.0, 0.35 + 0.9 * t)
                h = (y - top) / max(1, bottom - top)  # young yellow-green tips at the top
                r = 60 + 150 * t + 40 * (1 - h)
                g = 150 + 105 * t
                b = 50 + 60 * t
                px[0] = px[0] * (1 - k) + r * k
                px[1] = px[1] * (1 - k) + g * k
                px[2] = px[2] * (1 - k) + b * k
    for (x, y), (n, r, g, b) in sierpinski_hits().items():
        if 0 <= x < W and 0 <= y < H:
            k = min(1.0, 0.25 + n / 12.0) * 0.9
            px = img[y][x]
            px[0] = px[0] * (1 - k) + r / n * k
            px[1] = px[1] * (1 - k) + g / n * k
            px[2] = px[2] * (1 - k) + b / n * k
    data = bytearray()
    for row in img:
        for r, g, b in row:
            data += bytes(max(0, min(255, int(round(c)))) for c in (r, g, b))
    return b"P6\n%d %d\n255\n" % (W, H) + bytes(data)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        base = os.path.join(tmp, "base.ppm")
        with open(base, "wb") as f:
            f.write(compose())
        title_font, text_font = "DejaVu-Sans-Bold", "DejaVu-Sans"
        cmd = [
            "convert", base,
            # pale panels under the program's labels
            "-fill", "#d9e7dcee", "-stroke", "#9fc2ab", "-strokewidth", "1",
            "-draw", "roundrectangle 189.5,11.5 334.5,31.5 6,6",
            "-draw", "roundrectangle 38.5,212.5 373.5,250.5 7,7",
            "-stroke", "none",
            # title with a soft shadow
            "-font", title_font, "-pointsize", "28",
            "-fill", "#00000099", "-annotate", "+142+92", "Fernweave 2.0",
            "-fill", "#f2fff4", "-annotate", "+140+90", "Fernweave 2.0",
            # a thin rule
            "-fill", "#5fd07a", "-draw", "rectangle 141,101 370,102",
            "-font", text_font, "-pointsize", "12",
            "-fill", "#bfe8c8", "-annotate", "+141+122", "Fractals of iterated function systems",
            "-pointsize", "10",
            "-fill", "#93ad9c", "-gravity", "south", "-annotate", "+0+14",
            "Copyright (c) 2026 Lumenfold",
            "-quality", "92", "-sampling-factor", "1x1", "-strip",
            OUT,
        ]
        subprocess.run(cmd, check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
