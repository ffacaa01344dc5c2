#!/usr/bin/env python3
"""Draws the launcher's background picture: a 480 x 300 RGBA PNG.

Nearly all of it is one flat colour at alpha 2, which the window weights by alpha into black; on
it sit the title "MORVELLE" at the top centre and a white and red beast emblem (horns, fangs, two
red eyes) below it. Shapes are signed distance functions anti-aliased over one pixel, and the PNG
is written with zlib and struct, so only the standard library is needed.

    python3 make_background.py [OUTPUT.png] [--preview PREVIEW.png]

OUTPUT defaults to background.png beside this script; --preview also writes the picture as the
window shows it (colours times alpha, on black), for looking at.
"""

import math
import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 480, 300
BACKGROUND = (44, 12, 16)      # the flat colour, practically invisible at alpha 2
BACKGROUND_ALPHA = 2
WHITE = (255, 255, 255)
RED = (218, 22, 28)
DARK_RED = (150, 10, 16)


# ---- signed distances (negative inside) -------------------------------------------------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry, angle=0.0):
    """An ellipse turned by `angle` radians; the distance is approximate away from the edge."""
    c, s = math.cos(angle), math.sin(angle)

    def d(x, y):
        px, py = x - cx, y - cy
        u, v = (px * c + py * s) / rx, (-px * s + py * c) / ry
        k = math.hypot(u, v)
        if k == 0:
            return -min(rx, ry)
        # Distance along the ray scaled by the local radius: close enough for one-pixel edges.
        radius = 1 / math.hypot(u / k / rx, v / k / ry)
        return (k - 1) * radius
    return d


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def polygon(points):
    """Exact distance to a simple polygon given as (x, y) corners."""
    n = len(points)

    def d(x, y):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i - 1]
            bx, by = points[i]
            best = min(best, segment_distance(x, y, ax, ay, bx, by))
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -best if inside else best
    return d


def strokes(polylines, half_width):
    """Round-capped strokes along polylines."""
    segments = [(p[i], p[i + 1]) for p in polylines for i in range(len(p) - 1)]

    def d(x, y):
        return min(segment_distance(x, y, a[0], a[1], b[0], b[1]) for a, b in segments) - half_width
    return d


def tapered_curve(p0, p1, p2, r0, r1, samples=48):
    """A horn: discs along a quadratic Bezier curve, their radius running from r0 to r1."""
    discs = []
    for i in range(samples + 1):
        t = i / samples
        x = (1 - t) ** 2 * p0[0] + 2 * (1 - t) * t * p1[0] + t * t * p2[0]
        y = (1 - t) ** 2 * p0[1] + 2 * (1 - t) * t * p1[1] + t * t * p2[1]
        discs.append((x, y, r0 + (r1 - r0) * t ** 0.7))
    return lambda x, y: min(math.hypot(x - cx, y - cy) - r for cx, cy, r in discs)


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def smooth_union(a, b, k):
    def d(x, y):
        da, db = a(x, y), b(x, y)
        h = max(0.0, min(1.0, 0.5 + 0.5 * (db - da) / k))
        return db + (da - db) * h - k * h * (1 - h)
    return d


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def mirrored(shape, axis_x):
    return lambda x, y: shape(2 * axis_x - x, y)


# ---- the title ----------------------------------------------------------------------------------

def arc(cx, cy, r, start, end, steps=16):
    return [(cx + r * math.cos(start + (end - start) * i / steps),
             cy + r * math.sin(start + (end - start) * i / steps)) for i in range(steps + 1)]


# Letters in units of the cap height (y downwards), with their advance widths.
LETTERS = {
    "M": (0.92, [[(0, 1), (0, 0), (0.46, 0.64), (0.92, 0), (0.92, 1)]]),
    "O": (0.94, [arc(0.47, 0.5, 0.5, 0, 2 * math.pi, 48)]),
    "R": (0.74, [[(0, 1), (0, 0), (0.42, 0)] + arc(0.42, 0.26, 0.26, -math.pi / 2, math.pi / 2)
                 + [(0, 0.52)], [(0.36, 0.52), (0.74, 1)]]),
    "V": (0.86, [[(0, 0), (0.43, 1), (0.86, 0)]]),
    "E": (0.62, [[(0.62, 0), (0, 0), (0, 1), (0.62, 1)], [(0, 0.5), (0.52, 0.5)]]),
    "L": (0.58, [[(0, 0), (0, 1), (0.58, 1)]]),
}


def title_shape(text, centre_x, top, cap_height, spacing, half_width):
    total = sum(LETTERS[c][0] for c in text) + spacing * (len(text) - 1)
    x = centre_x - total * cap_height / 2
    polylines = []
    for c in text:
        advance, lines = LETTERS[c]
        for line in lines:
            polylines.append([(x + u * cap_height, top + v * cap_height) for u, v in line])
        x += (advance + spacing) * cap_height
    return strokes(polylines, half_width)


# ---- the picture --------------------------------------------------------------------------------

def layers():
    """(shape, colour or None for a cut back to the background, bounding box) in drawing order."""
    cx = WIDTH / 2
    title = title_shape("MORVELLE", cx, 20, 32, 0.26, 2.7)
    # A red rule under the title, fading to points at both ends.
    rule = polygon([(cx - 118, 63), (cx, 60.8), (cx + 118, 63), (cx, 65.2)])

    ring = subtract(circle(cx, 148, 72), circle(cx, 148, 66))

    left_horn = tapered_curve((cx - 28, 128), (cx - 100, 126), (cx - 62, 75), 13, 0.4)
    right_horn = mirrored(left_horn, cx)
    cranium = ellipse(cx, 142, 46, 38)
    jaw = polygon([(cx - 40, 146), (cx + 40, 146), (cx + 22, 204), (cx - 22, 204)])
    head = smooth_union(cranium, lambda x, y: jaw(x, y) - 4, 14)
    brow = polygon([(cx - 44, 124), (cx, 138), (cx + 44, 124), (cx + 40, 116), (cx, 128),
                    (cx - 40, 116)])

    left_eye_angle = math.radians(18)
    left_socket = ellipse(cx - 19, 146, 15, 8, left_eye_angle)
    left_eye = ellipse(cx - 19, 146, 11, 4.6, left_eye_angle)
    right_socket = mirrored(left_socket, cx)
    right_eye = mirrored(left_eye, cx)
    nose = union(polygon([(cx - 3, 160), (cx - 9, 172), (cx - 3, 170)]),
                 polygon([(cx + 3, 160), (cx + 9, 172), (cx + 3, 170)]))
    mouth = ellipse(cx, 186, 26, 10)
    fangs = union(polygon([(cx - 20, 178), (cx - 9, 178), (cx - 15, 197)]),
                  polygon([(cx + 20, 178), (cx + 9, 178), (cx + 15, 197)]))
    teeth = union(polygon([(cx - 5, 195), (cx + 5, 195), (cx, 187)]))
    return [
        (title, WHITE, (100, 12, 380, 60)),
        (rule, RED, (110, 60, 370, 72)),
        (ring, DARK_RED, (cx - 76, 72, cx + 76, 224)),
        (union(left_horn, right_horn), WHITE, (cx - 110, 50, cx + 110, 140)),
        (head, WHITE, (cx - 52, 100, cx + 52, 212)),
        (brow, None, (cx - 48, 110, cx + 48, 142)),
        (union(left_socket, right_socket), None, (cx - 40, 132, cx + 40, 160)),
        (union(left_eye, right_eye), RED, (cx - 36, 136, cx + 36, 156)),
        (nose, None, (cx - 12, 156, cx + 12, 176)),
        (mouth, None, (cx - 30, 174, cx + 30, 198)),
        (union(fangs, teeth), WHITE, (cx - 24, 174, cx + 24, 200)),
    ]


def render():
    bg = [c / 255 for c in BACKGROUND]
    bg_alpha = BACKGROUND_ALPHA / 255
    pixels = [[bg[0], bg[1], bg[2], bg_alpha] for _ in range(WIDTH * HEIGHT)]
    for shape, colour, (x0, y0, x1, y1) in layers():
        for y in range(max(0, int(y0)), min(HEIGHT, int(y1) + 1)):
            for x in range(max(0, int(x0)), min(WIDTH, int(x1) + 1)):
                coverage = max(0.0, min(1.0, 0.5 - shape(x + 0.5, y + 0.5)))
                if coverage == 0:
                    continue
                p = pixels[y * WIDTH + x]
                if colour is None:
                    # Cut back towards the flat background.
                    for k in range(3):
                        p[k] += (bg[k] - p[k]) * coverage
                    p[3] += (bg_alpha - p[3]) * coverage
                    continue
                alpha = coverage + p[3] * (1 - coverage)
                for k in range(3):
                    p[k] = (coverage * colour[k] / 255 + p[3] * (1 - coverage) * p[k]) / alpha
                p[3] = alpha
    return pixels


def to_bytes(pixels, on_black):
    rows = []
    for y in range(HEIGHT):
        row = bytearray([0])   # filter: none
        for r, g, b, a in pixels[y * WIDTH:(y + 1) * WIDTH]:
            values = [round(r * 255), round(g * 255), round(b * 255), round(a * 255)]
            if on_black:
                values = [(v * values[3]) >> 8 for v in values[:3]] + [255]
            row += bytes(values)
        rows.append(bytes(row))
    return b"".join(rows)


def png(raw):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0)   # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main(argv):
    output = os.path.join(os.path.dirname(os.path.abspath(__file__)), "background.png")
    preview = None
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg == "--preview" and args:
            preview = args.pop(0)
        elif arg.startswith("-"):
            sys.stderr.write(__doc__)
            return 1
        else:
            output = arg
    pixels = render()
    with open(output, "wb") as f:
        f.write(png(to_bytes(pixels, False)))
    if preview:
        with open(preview, "wb") as f:
            f.write(png(to_bytes(pixels, True)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
