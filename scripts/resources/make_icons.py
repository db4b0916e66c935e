#!/usr/bin/env python3
"""Makes the generated icon files of Fernweave (standard library only).

- resources/icons/fernweave.svg: the application icon, a green Sierpinski triangle on a dark
  rounded tile (computed here, so the coordinates stay exact).
- resources/icons/disabled/<name>.svg: the disabled look of each toolbar icon, made from the
  hand-drawn resources/icons/<name>.svg by mapping every colour to a light grey of similar
  lightness (lighter overall, so the whole icon reads as greyed out).

Run from anywhere: python3 scripts/resources/make_icons.py
"""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ICONS = os.path.normpath(os.path.join(HERE, "..", "..", "resources", "icons"))

TOOLBAR = ["new", "load", "save", "export", "import", "print",
           "start", "stop", "tutorials", "help", "about"]

# Disabled look: lightness L (0..255, Rec. 601 weights) is mapped linearly to GREY_DARK..GREY_LIGHT.
GREY_DARK = 140
GREY_LIGHT = 238

COLOUR_ATTR = re.compile(r'\b(fill|stroke|stop-color|color)\s*=\s*"([^"]*)"')
HEX = re.compile(r"^#([0-9a-fA-F]{3}|[0-9a-fA-F]{6})$")


def grey_for(value):
    if value in ("none", "transparent", "currentColor", "inherit"):
        return value
    m = HEX.match(value)
    if not m:
        raise ValueError("colour %r is not #rgb or #rrggbb" % value)
    h = m.group(1)
    if len(h) == 3:
        h = "".join(c * 2 for c in h)
    r, g, b = (int(h[i:i + 2], 16) for i in (0, 2, 4))
    lightness = 0.299 * r + 0.587 * g + 0.114 * b
    v = round(GREY_DARK + lightness * (GREY_LIGHT - GREY_DARK) / 255.0)
    return "#%02x%02x%02x" % (v, v, v)


def disabled_svg(text, name):
    if "style=" in text or "<style" in text:
        raise ValueError("%s: colours must be plain attributes, not CSS" % name)
    return COLOUR_ATTR.sub(lambda m: '%s="%s"' % (m.group(1), grey_for(m.group(2))), text)


def make_disabled():
    out_dir = os.path.join(ICONS, "disabled")
    os.makedirs(out_dir, exist_ok=True)
    for name in TOOLBAR:
        with open(os.path.join(ICONS, name + ".svg"), encoding="utf-8") as f:
            text = f.read()
        with open(os.path.join(out_dir, name + ".svg"), "w", encoding="utf-8", newline="\n") as f:
            f.write(disabled_svg(text, name))


def lerp_colour(a, b, t):
    return "#%02x%02x%02x" % tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def make_app_icon():
    """Sierpinski triangle, depth 3 (27 small triangles), shaded from light to deep green."""
    size = 48
    left, right, base_y = 3.5, 44.5, 42.0
    height = (right - left) * 3 ** 0.5 / 2
    apex = ((left + right) / 2, base_y - height)
    top_colour, bottom_colour = (0xd4, 0xff, 0x6e), (0x22, 0xb8, 0x55)

    tris = []

    def split(a, b, c, depth):
        if depth == 0:
            tris.append((a, b, c))
            return
        ab = ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2)
        bc = ((b[0] + c[0]) / 2, (b[1] + c[1]) / 2)
        ca = ((c[0] + a[0]) / 2, (c[1] + a[1]) / 2)
        split(a, ab, ca, depth - 1)
        split(ab, b, bc, depth - 1)
        split(ca, bc, c, depth - 1)

    split(apex, (left, base_y), (right, base_y), 3)

    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
             % (size, size, size, size),
             '  <rect x="0.5" y="0.5" width="47" height="47" rx="7" fill="#0d1f14" stroke="#07120b" stroke-width="1"/>']
    for a, b, c in tris:
        cy = (a[1] + b[1] + c[1]) / 3
        t = (cy - apex[1]) / height
        colour = lerp_colour(top_colour, bottom_colour, max(0.0, min(1.0, t)))
        pts = " ".join("%.2f,%.2f" % p for p in (a, b, c))
        # A thin stroke of the same colour fattens each piece a little, so the
        # shape stays bright when the icon is drawn at 16 pixels.
        lines.append('  <polygon points="%s" fill="%s" stroke="%s" stroke-width="0.9" stroke-linejoin="round"/>'
                     % (pts, colour, colour))
    lines.append("</svg>")
    with open(os.path.join(ICONS, "fernweave.svg"), "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def main():
    make_app_icon()
    make_disabled()
    return 0


if __name__ == "__main__":
    sys.exit(main())
