#!/usr/bin/python3
"""Draws the Quillotone artwork as plain SVG: the logo (quill mark + wordmark)
and the application icon.

The wordmark is turned into outlines here, so the shipped SVG needs no font
and stays within what juce::Drawable can parse (paths only, no <text>).

Usage: tools/make-logo-svg.py [OUTDIR]   (default: resources/images)
Needs: python3-fonttools, fonts-open-sans (Debian packages).
"""

import logging
import math
import os
import sys

from fontTools.pens.svgPathPen import SVGPathPen
from fontTools.pens.transformPen import TransformPen
from fontTools.ttLib import TTFont

FONT = "/usr/share/fonts/truetype/open-sans/OpenSans-Bold.ttf"
WORD = "Quillotone"
WORD_COLOUR = "#2b2b2b"
MARK_COLOUR = "#d38931"
ICON_BACKGROUND = "#1f2020"

LOGO_W, LOGO_H = 440, 122


def num(v):
    """Short, stable number formatting so reruns give byte-identical files."""
    s = "%.2f" % v
    s = s.rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


# ---------------------------------------------------------------------------
# Quill mark, designed in a 100 x 100 box.

BASE = (17.0, 95.0)      # nib point
BEND = (38.0, 40.0)      # pulls the shaft into a gentle curve
TIP = (90.0, 5.0)
VANE_START = 0.24        # where the feather leaves the bare quill
SHAFT_HALF = 1.5         # half the gap left for the shaft between the vanes
LOWER_VANE = 19.0        # one vane broader than the other, as on a real quill
UPPER_VANE = 12.0
BARB_SLANT = 0.07        # barbs lean towards the tip as they run outwards


def spine(t):
    (x0, y0), (x1, y1), (x2, y2) = BASE, BEND, TIP
    a, b, c = (1 - t) ** 2, 2 * (1 - t) * t, t * t
    return a * x0 + b * x1 + c * x2, a * y0 + b * y1 + c * y2


def normal(t):
    (x0, y0), (x1, y1), (x2, y2) = BASE, BEND, TIP
    dx = 2 * (1 - t) * (x1 - x0) + 2 * t * (x2 - x1)
    dy = 2 * (1 - t) * (y1 - y0) + 2 * t * (y2 - y1)
    n = math.hypot(dx, dy)
    return -dy / n, dx / n          # points to the lower-right side


def vane_width(t, full):
    u = (t - VANE_START) / (1 - VANE_START)
    if u <= 0 or u >= 1:
        return 0.0
    # rounded shoulder near the quill, long taper to a sharp tip
    return full * math.sin(math.pi * u ** 0.8) ** 0.75


def shaft_gap(t):
    u = max(0.0, (t - VANE_START) / (1 - VANE_START))
    return SHAFT_HALF * (1 - u) ** 0.6


def offset(t, side, dist):
    x, y = spine(t)
    nx, ny = normal(t)
    return x + side * nx * dist, y + side * ny * dist


def smooth(points):
    """Catmull-Rom through the points, as cubic segments (no leading move)."""
    out = []
    for i in range(len(points) - 1):
        p0 = points[max(i - 1, 0)]
        p1, p2 = points[i], points[i + 1]
        p3 = points[min(i + 2, len(points) - 1)]
        c1 = (p1[0] + (p2[0] - p0[0]) / 6, p1[1] + (p2[1] - p0[1]) / 6)
        c2 = (p2[0] - (p3[0] - p1[0]) / 6, p2[1] - (p3[1] - p1[1]) / 6)
        out.append("C%s %s %s %s %s %s" % tuple(num(v) for v in (*c1, *c2, *p2)))
    return " ".join(out)


def samples(a, b, n):
    return [a + (b - a) * i / n for i in range(n + 1)]


def vane_piece(side, full, t_in0, t_in1, t_out0, t_out1):
    """One section of a vane: inner edge along the shaft, outer edge along the
    feather's rim, joined by straight barb cuts."""
    outer = [offset(t, side, vane_width(t, full) + shaft_gap(t)) for t in samples(t_out0, t_out1, 14)]
    inner = [offset(t, side, shaft_gap(t)) for t in samples(t_in1, t_in0, 10)]
    d = "M%s %s " % (num(inner[-1][0]), num(inner[-1][1]))
    if num(inner[-1][0]) != num(outer[0][0]) or num(inner[-1][1]) != num(outer[0][1]):
        d += "L%s %s " % (num(outer[0][0]), num(outer[0][1]))
    d += smooth(outer) + " "
    d += "L%s %s " % (num(inner[0][0]), num(inner[0][1]))
    d += smooth(inner) + " Z"
    return d


def vane(side, full, cuts):
    """A vane split by thin notches at the given positions along the shaft."""
    pieces = []
    t0 = VANE_START
    notch = 0.03
    for c in cuts + [None]:
        # the first section grows out of the quill; later ones begin at a slanted cut
        out0 = t0 + (BARB_SLANT if t0 > VANE_START else 0)
        if c is None:
            pieces.append(vane_piece(side, full, t0, 0.999, out0, 1.0))
        else:
            pieces.append(vane_piece(side, full, t0, c, out0, c + BARB_SLANT))
            t0 = c + notch
    return pieces


def nib():
    """The bare quill below the feather, narrowing to a point."""
    top = VANE_START + 0.03
    ts = samples(0.0, top, 8)
    left = [offset(t, +1, SHAFT_HALF * 1.25 * (t / top) ** 0.5) for t in ts]
    right = [offset(t, -1, SHAFT_HALF * 1.25 * (t / top) ** 0.5) for t in reversed(ts)]
    d = "M%s %s " % (num(BASE[0]), num(BASE[1]))
    d += smooth(left) + " "
    d += "L%s %s " % (num(right[0][0]), num(right[0][1]))
    d += smooth(right) + " Z"
    return d


def mark_paths():
    return vane(+1, LOWER_VANE, [0.47, 0.66]) + vane(-1, UPPER_VANE, [0.56]) + [nib()]


def mark_extent():
    """Bounding box of the mark's outline, sampled finely enough for placement."""
    pts = [BASE, TIP]
    for t in samples(VANE_START, 1.0, 200):
        for side, full in ((+1, LOWER_VANE), (-1, UPPER_VANE)):
            pts.append(offset(t, side, vane_width(t, full) + shaft_gap(t)))
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    return min(xs), min(ys), max(xs), max(ys)


def fit_mark(x, y, w, h):
    """Transform that centres the mark inside the box (x, y, w, h)."""
    x0, y0, x1, y1 = mark_extent()
    k = min(w / (x1 - x0), h / (y1 - y0))
    tx = x + (w - (x1 - x0) * k) / 2 - x0 * k
    ty = y + (h - (y1 - y0) * k) / 2 - y0 * k
    return "translate(%s %s) scale(%s)" % (num(tx), num(ty), num(k))


def mark_group(transform, indent="  "):
    lines = [f'{indent}<g fill="{MARK_COLOUR}" transform="{transform}">']
    lines += [f'{indent}  <path d="{d}"/>' for d in mark_paths()]
    lines.append(f"{indent}</g>")
    return "\n".join(lines)


# ---------------------------------------------------------------------------
# Wordmark outlines.

def wordmark(x, baseline, width):
    # Debian's Open Sans carries an oversized legacy kern subtable; fontTools warns but reads it fine.
    logging.getLogger("fontTools").setLevel(logging.ERROR)
    font = TTFont(FONT)
    cmap = font.getBestCmap()
    glyphs = font.getGlyphSet()
    hmtx = font["hmtx"]
    kern = {}
    if "kern" in font:
        for table in font["kern"].kernTables:
            kern.update(getattr(table, "kernTable", {}))

    names = [cmap[ord(c)] for c in WORD]
    total = sum(hmtx[n][0] for n in names)
    total += sum(kern.get(pair, 0) for pair in zip(names, names[1:]))
    # the last glyph's right side bearing would leave the word off-centre
    total -= hmtx[names[-1]][0] - (font["glyf"][names[-1]].xMax)
    scale = width / total

    paths = []
    pen_x = 0
    for i, name in enumerate(names):
        pen = SVGPathPen(glyphs, ntos=num)
        glyphs[name].draw(TransformPen(pen, (scale, 0, 0, -scale, x + pen_x * scale, baseline)))
        paths.append(pen.getCommands())
        pen_x += hmtx[name][0]
        if i + 1 < len(names):
            pen_x += kern.get((name, names[i + 1]), 0)
    cap_height = font["OS/2"].sCapHeight * scale
    return paths, cap_height


# ---------------------------------------------------------------------------

def logo_svg():
    # The mark fills a square on the left, with a small margin.
    mark = mark_group(fit_mark(8, 8, 100, LOGO_H - 16))
    text_x, text_w = 120, 308
    _, cap = wordmark(text_x, 0, text_w)    # first pass only learns the cap height
    baseline = LOGO_H / 2 + cap / 2         # capitals centred on the mark
    paths, _ = wordmark(text_x, baseline, text_w)
    word = "\n".join(f'    <path d="{d}"/>' for d in paths)
    return f"""<svg xmlns="http://www.w3.org/2000/svg" width="{LOGO_W}" height="{LOGO_H}" viewBox="0 0 {LOGO_W} {LOGO_H}">
  <!-- Generated by tools/make-logo-svg.py. Wordmark outlines from Open Sans Bold (Apache License 2.0). -->
{mark}
  <g fill="{WORD_COLOUR}">
{word}
  </g>
</svg>
"""


def app_icon_svg():
    size = 1024
    mark = mark_group(fit_mark(200, 180, size - 400, size - 360))
    return f"""<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" viewBox="0 0 {size} {size}">
  <!-- Generated by tools/make-logo-svg.py. -->
  <rect x="0" y="0" width="{size}" height="{size}" rx="228" fill="{ICON_BACKGROUND}"/>
{mark}
</svg>
"""


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(os.path.join(here, "..", "resources", "images"))
    os.makedirs(out, exist_ok=True)
    for name, text in (("quillotone-logo.svg", logo_svg()), ("app-icon.svg", app_icon_svg())):
        with open(os.path.join(out, name), "w", encoding="utf-8") as fh:
            fh.write(text)
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
