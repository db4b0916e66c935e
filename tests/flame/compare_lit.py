#!/usr/bin/env python3
"""Compares the pixels two renderers light in pictures of the same size (binary PPM, P6).

A pixel is lit when it differs from the background colour (the top-left pixel
of our picture). Prints the share of the other renderer's lit pixels that lie
within the tolerance (in pixels, either axis) of one of ours, and the share of
ours near one of theirs; fails when either is below the minimum (so a blank
picture does not pass)."""
import sys


def read_ppm(path):
    data = open(path, "rb").read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        sys.exit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[at + 1:at + 1 + 3 * width * height]
    return width, height, pixels


def lit(width, height, pixels, background):
    out = set()
    for i in range(width * height):
        p = pixels[3 * i:3 * i + 3]
        if tuple(p) != background:
            out.add((i % width, i // width))
    return out


def share(a, b, tolerance):
    if not a:
        return 0.0
    near = 0
    for (x, y) in a:
        if any((x + dx, y + dy) in b for dx in range(-tolerance, tolerance + 1) for dy in range(-tolerance, tolerance + 1)):
            near += 1
    return near / len(a)


def main():
    if len(sys.argv) not in (3, 4, 5):
        sys.exit("usage: compare_lit.py OURS.ppm THEIRS.ppm [MINIMUM [TOLERANCE]]")
    ours, theirs = sys.argv[1], sys.argv[2]
    minimum = float(sys.argv[3]) if len(sys.argv) > 3 else 0.99
    tolerance = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    w1, h1, p1 = read_ppm(ours)
    w2, h2, p2 = read_ppm(theirs)
    if (w1, h1) != (w2, h2):
        sys.exit(f"sizes differ: {w1}x{h1} and {w2}x{h2}")
    background = tuple(p1[0:3])
    a = lit(w1, h1, p1, background)
    b = lit(w2, h2, p2, background)
    ours_share, theirs_share = share(a, b, tolerance), share(b, a, tolerance)
    print(f"lit pixels: ours {len(a)}, theirs {len(b)}; within {tolerance} px: "
          f"{100 * theirs_share:.2f} % of theirs near ours, {100 * ours_share:.2f} % of ours near theirs")
    if theirs_share < minimum or ours_share < minimum:
        sys.exit(f"fewer than {100 * minimum:.0f} % of the lit pixels lie near the other picture's")


main()
