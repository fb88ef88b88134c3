"""Anti-aliased polygon rasteriser, shape helpers and pixel fonts for make_artwork.py."""

import math
import struct
import zlib

SUBROWS = 5  # vertical samples per pixel; horizontal coverage is computed exactly


# --------------------------------------------------------------------------- canvas


class Canvas:
    def __init__(self, w, h, bg=(255, 255, 255, 255)):
        self.w = w
        self.h = h
        self.px = [[list(map(float, bg)) for _ in range(w)] for _ in range(h)]

    def blend(self, x, y, color, cov):
        if cov <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        c = color(x + 0.5, y + 0.5) if callable(color) else color
        a = (c[3] if len(c) > 3 else 255) / 255.0 * min(cov, 1.0)
        p = self.px[y][x]
        pa = p[3] / 255.0
        out = a + pa * (1.0 - a)
        if out <= 0.0:
            return
        for i in range(3):
            p[i] = (c[i] * a + p[i] * pa * (1.0 - a)) / out
        p[3] = out * 255.0

    def put(self, x, y, color):
        """Exact pixel, no blending."""
        if 0 <= x < self.w and 0 <= y < self.h:
            c = tuple(color) + ((255,) if len(color) == 3 else ())
            self.px[y][x] = list(map(float, c))

    def rect(self, x, y, w, h, color):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.put(xx, yy, color)

    def frame(self, x, y, w, h, color):
        self.rect(x, y, w, 1, color)
        self.rect(x, y + h - 1, w, 1, color)
        self.rect(x, y, 1, h, color)
        self.rect(x + w - 1, y, 1, h, color)

    def fill(self, contours, color, rule="nonzero", union=True):
        """Anti-aliased fill of closed polygons given as lists of (x, y) points."""
        edges = []
        for pts in contours:
            if union and signed_area(pts) < 0:
                pts = list(reversed(pts))
            n = len(pts)
            for i in range(n):
                x0, y0 = pts[i]
                x1, y1 = pts[(i + 1) % n]
                if y0 != y1:
                    edges.append((x0, y0, x1, y1, 1 if y1 > y0 else -1))
        if not edges:
            return
        ymin = max(0, int(math.floor(min(min(e[1], e[3]) for e in edges))))
        ymax = min(self.h, int(math.ceil(max(max(e[1], e[3]) for e in edges))))
        weight = 1.0 / SUBROWS
        for py in range(ymin, ymax):
            row = [0.0] * (self.w + 1)
            for s in range(SUBROWS):
                sy = py + (s + 0.5) / SUBROWS
                xs = []
                for x0, y0, x1, y1, d in edges:
                    if (y0 <= sy < y1) or (y1 <= sy < y0):
                        xs.append((x0 + (sy - y0) * (x1 - x0) / (y1 - y0), d))
                xs.sort()
                wind = 0
                for i in range(len(xs) - 1):
                    wind += xs[i][1]
                    inside = (wind % 2 != 0) if rule == "evenodd" else (wind != 0)
                    if inside:
                        add_span(row, xs[i][0], xs[i + 1][0], weight, self.w)
            for x in range(self.w):
                if row[x] > 0.0:
                    self.blend(x, py, color, row[x])

    def png(self, path, alpha=False):
        raw = bytearray()
        for row in self.px:
            raw.append(0)
            for p in row:
                vals = [int(round(min(max(v, 0.0), 255.0))) for v in p]
                raw.extend(vals if alpha else vals[:3])
        color_type = 6 if alpha else 2

        def chunk(tag, data):
            body = tag + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        ihdr = struct.pack(">IIBBBBB", self.w, self.h, 8, color_type, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", ihdr))
            f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
            f.write(chunk(b"IEND", b""))


def add_span(row, a, b, weight, w):
    a = max(a, 0.0)
    b = min(b, float(w))
    if b <= a:
        return
    ia = int(a)
    ib = int(b)
    if ia == ib:
        row[ia] += (b - a) * weight
        return
    row[ia] += (ia + 1 - a) * weight
    for i in range(ia + 1, ib):
        row[i] += weight
    if ib < w:
        row[ib] += (b - ib) * weight


def signed_area(pts):
    s = 0.0
    for i in range(len(pts)):
        x0, y0 = pts[i]
        x1, y1 = pts[(i + 1) % len(pts)]
        s += x0 * y1 - x1 * y0
    return s / 2.0


# --------------------------------------------------------------------------- shapes


def rect_path(x, y, w, h):
    return [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]


def ellipse_path(cx, cy, rx, ry=None, n=72):
    ry = rx if ry is None else ry
    return [(cx + rx * math.cos(2 * math.pi * i / n), cy + ry * math.sin(2 * math.pi * i / n))
            for i in range(n)]


def rounded_rect_path(x, y, w, h, r, seg=8):
    pts = []
    corners = [(x + w - r, y + r, -90), (x + w - r, y + h - r, 0), (x + r, y + h - r, 90),
               (x + r, y + r, 180)]
    for cx, cy, start in corners:
        for i in range(seg + 1):
            a = math.radians(start + 90.0 * i / seg)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def line_path(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy) or 1.0
    nx, ny = -dy / length * width / 2, dx / length * width / 2
    return [(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)]


def polyline_paths(points, width):
    paths = [line_path(*points[i], *points[i + 1], width) for i in range(len(points) - 1)]
    # Round joints so thick strokes have no notches.
    for x, y in points[1:-1]:
        paths.append(ellipse_path(x, y, width / 2, n=16))
    return paths


def arc_band(cx, cy, r_in, r_out, a0, a1, n=48):
    """Band between two radii from angle a0 to a1 (degrees, counter-clockwise, y up)."""
    outer = []
    inner = []
    for i in range(n + 1):
        a = math.radians(a0 + (a1 - a0) * i / n)
        outer.append((cx + r_out * math.cos(a), cy - r_out * math.sin(a)))
        inner.append((cx + r_in * math.cos(a), cy - r_in * math.sin(a)))
    return outer + list(reversed(inner))


def vgradient(y0, y1, c0, c1):
    def color(_x, y):
        t = min(max((y - y0) / float(y1 - y0), 0.0), 1.0)
        return tuple(c0[i] + (c1[i] - c0[i]) * t for i in range(3)) + (255,)
    return color


# --------------------------------------------------------------------------- pixel fonts

FONT5X7 = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "a": ["00000", "00000", "01110", "00001", "01111", "10001", "01111"],
    "d": ["00001", "00001", "01101", "10011", "10001", "10011", "01101"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "m": ["00000", "00000", "11010", "10101", "10101", "10101", "10101"],
    "r": ["00000", "00000", "10110", "11001", "10000", "10000", "10000"],
    "t": ["01000", "01000", "11100", "01000", "01000", "01001", "00110"],
    "y": ["00000", "00000", "10001", "10001", "01111", "00001", "01110"],
    " ": ["000", "000", "000", "000", "000", "000", "000"],
    "\u00b0": ["010", "101", "010", "000", "000", "000", "000"],
}

FONT3X5 = {
    "0": ["111", "101", "101", "101", "111"],
    "1": ["010", "110", "010", "010", "111"],
    "2": ["111", "001", "111", "100", "111"],
    "3": ["111", "001", "111", "001", "111"],
    "4": ["101", "101", "111", "001", "001"],
    "5": ["111", "100", "111", "001", "111"],
    "6": ["111", "100", "111", "101", "111"],
    "7": ["111", "001", "010", "010", "010"],
    "8": ["111", "101", "111", "101", "111"],
    "9": ["111", "101", "111", "001", "111"],
    "-": ["000", "000", "111", "000", "000"],
    "\u00b0": ["010", "101", "010", "000", "000"],
    "C": ["011", "100", "100", "100", "011"],
    "F": ["111", "100", "110", "100", "100"],
}


def text_paths(text, x, y, font, sx=1.0, sy=1.0, spacing=1, bold=False):
    paths = []
    for ch in text:
        glyph = font[ch]
        for row, bits in enumerate(glyph):
            for col, bit in enumerate(bits):
                if bit == "1":
                    w = sx * (1.6 if bold else 1.0)
                    paths.append(rect_path(x + col * sx, y + row * sy, w, sy))
        x += (len(glyph[0]) + spacing) * sx
    return paths


def text_pixels(canvas, text, x, y, font, color):
    """Crisp 1:1 pixel text."""
    for ch in text:
        glyph = font[ch]
        for row, bits in enumerate(glyph):
            for col, bit in enumerate(bits):
                if bit == "1":
                    canvas.put(x + col, y + row, color)
        x += len(glyph[0]) + 1
