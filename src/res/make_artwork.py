#!/usr/bin/env python3
"""Draws Velquor's bitmaps and application icon and writes them as PNG files.

Standard library only, so the artwork can be regenerated anywhere:

    python3 src/res/make_artwork.py [output-dir]

Shapes are filled with a small anti-aliased scanline rasteriser; text uses a built-in
pixel font. Pictures whose pixels other code relies on (the slider channels, the white
readout boxes, the battery gauge interior, the check-box cells) are drawn with exact,
unblended rectangles.
"""

import math
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from artwork_raster import (FONT3X5, FONT5X7, Canvas, arc_band, ellipse_path,  # noqa: E402
                            line_path, polyline_paths, rect_path, rounded_rect_path,
                            text_paths, text_pixels, vgradient)


# --------------------------------------------------------------------------- buttons

BORDER = (96, 104, 118)


def button_base(size, pressed):
    """A bevelled push button face; the pressed face is darker and lit from below."""
    c = Canvas(size, size)
    if pressed:
        face = vgradient(0, size, (196, 202, 212), (222, 226, 233))
    else:
        face = vgradient(0, size, (250, 251, 253), (208, 214, 224))
    c.fill([rounded_rect_path(0, 0, size, size, 3)], BORDER)
    c.fill([rounded_rect_path(1, 1, size - 2, size - 2, 2.2)], face)
    hi, lo = ((255, 255, 255, 200), (120, 128, 142, 200))
    top, bottom = (lo, hi) if pressed else (hi, lo)
    c.fill([rect_path(2, 1.2, size - 4, 1)], top)
    c.fill([rect_path(2, size - 2.2, size - 4, 1)], bottom)
    return c


def draw_icon(c, shapes, dx):
    for contours, color, rule in shapes:
        moved = [[(x + dx, y + dx) for x, y in pts] for pts in contours]
        c.fill(moved, color, rule)


def button_pair(size, shapes):
    normal = button_base(size, False)
    draw_icon(normal, shapes, 0.0)
    pressed = button_base(size, True)
    draw_icon(pressed, shapes, 1.0)
    return normal, pressed


def arrow_shapes():
    blue = (28, 92, 186)
    body = [(6, 13), (16, 13), (16, 7.5), (26, 16), (16, 24.5), (16, 19), (6, 19)]
    shine = [(7, 13.8), (16.8, 13.8), (16.8, 9.5), (23, 15), (7, 15)]
    return [([body], blue, "nonzero"), ([shine], (120, 170, 240, 150), "nonzero")]


def usb_shapes():
    ink = (36, 44, 58)
    s = []
    s.append((polyline_paths([(16, 25), (16, 8)], 2.2), ink, "nonzero"))
    s.append(([[(16, 3.5), (20, 9.5), (12, 9.5)]], ink, "nonzero"))
    s.append((polyline_paths([(16, 21), (10, 17), (10, 13.5)], 2.0), ink, "nonzero"))
    s.append(([ellipse_path(10, 12.2, 2.4)], ink, "nonzero"))
    s.append((polyline_paths([(16, 18.5), (22, 14.5), (22, 12)], 2.0), ink, "nonzero"))
    s.append(([rect_path(19.8, 8.6, 4.4, 4.4)], ink, "nonzero"))
    s.append(([ellipse_path(16, 25.5, 3.0)], ink, "nonzero"))
    return s


def disk_shapes():
    body = (38, 66, 128)
    s = []
    outline = [(6, 7), (23.5, 7), (26, 9.5), (26, 26), (6, 26)]
    s.append(([outline], body, "nonzero"))
    s.append(([rect_path(11, 7, 11, 7)], (196, 204, 214), "nonzero"))
    s.append(([rect_path(18, 8.2, 2.4, 4.6)], body, "nonzero"))
    s.append(([rect_path(9, 17, 14, 9)], (250, 250, 246), "nonzero"))
    s.append(([rect_path(10.5, 19.5, 11, 0.9), rect_path(10.5, 22.3, 11, 0.9)],
              (150, 160, 180), "nonzero"))
    return s


def play_shapes():
    return [([[(8, 5.5), (18.5, 12), (8, 18.5)]], (30, 140, 60), "nonzero")]


def stop_shapes():
    return [([rounded_rect_path(6.5, 6.5, 11, 11, 1.2)], (190, 40, 40), "nonzero")]


def pause_shapes():
    blue = (34, 64, 140)
    return [([rect_path(7, 6, 3.6, 12), rect_path(13.4, 6, 3.6, 12)], blue, "nonzero")]


# --------------------------------------------------------------------------- sensor pictures

BODY_TOP = (76, 88, 108)
BODY_BOTTOM = (40, 48, 64)
LEGEND = (206, 214, 228)


def sensor_body(c):
    """The sensor head: rounded body with an RF connector on the left."""
    c.fill([rounded_rect_path(12, 3, 156, 91, 9)], (28, 34, 46))
    c.fill([rounded_rect_path(13, 4, 154, 89, 8)], vgradient(4, 93, BODY_TOP, BODY_BOTTOM))
    c.fill([rect_path(15, 6, 150, 1)], (255, 255, 255, 40))
    # Connector: nut and centre pin.
    c.fill([rect_path(1, 36, 12, 25)], vgradient(36, 61, (214, 218, 224), (120, 126, 136)))
    for y in (42.5, 54.5):
        c.fill([rect_path(1, y, 12, 0.8)], (90, 96, 106))
    c.fill([rect_path(0, 44, 2, 9)], (232, 200, 96))


def readout_box(c, x, y, w, h):
    """A recessed white display window: dark edge above and left, light below and right."""
    c.fill([rounded_rect_path(x - 3, y - 3, w + 6, h + 6, 3)], (22, 26, 36))
    c.fill([rect_path(x - 1, y + h, w + 2, 1.2)], (150, 160, 180))
    c.rect(x, y, w, h, (255, 255, 255))


def lamp(c, cx, cy, lit, color_on, color_off):
    if lit:
        c.fill([ellipse_path(cx, cy, 7.5)], color_on[:3] + (70,))
        c.fill([ellipse_path(cx, cy, 4.6)], (20, 24, 30))
        c.fill([ellipse_path(cx, cy, 3.8)], color_on)
        c.fill([ellipse_path(cx - 1.2, cy - 1.2, 1.3)], (255, 255, 255, 200))
    else:
        c.fill([ellipse_path(cx, cy, 4.6)], (20, 24, 30))
        c.fill([ellipse_path(cx, cy, 3.8)], color_off)
        c.fill([ellipse_path(cx - 1.2, cy - 1.2, 1.1)], (255, 255, 255, 50))


def sensor_picture(dbm_lit):
    c = Canvas(171, 97)
    sensor_body(c)
    title = "RF POWER SENSOR"
    text_pixels(c, title, 90 - (len(title) * 6 - 1) // 2, 10, FONT5X7, LEGEND)
    # The readings are drawn at x 35..135, y 31..61 by the measurement panel.
    readout_box(c, 30, 27, 110, 38)
    green_on, green_off = (80, 240, 96), (34, 70, 44)
    lamp(c, 48, 80, dbm_lit, green_on, green_off)
    text_pixels(c, "dBm", 57, 77, FONT5X7, LEGEND if dbm_lit else (150, 158, 172))
    lamp(c, 102, 80, not dbm_lit, green_on, green_off)
    text_pixels(c, "Watt", 111, 77, FONT5X7, LEGEND if not dbm_lit else (150, 158, 172))
    return c


def dial_angle(celsius):
    return 225.0 - (celsius + 40.0) * 265.0 / 88.9


def polar(cx, cy, r, degrees):
    a = math.radians(degrees)
    return cx + r * math.cos(a), cy - r * math.sin(a)


def dial_label(c, text, cx, cy, r, degrees, color):
    x, y = polar(cx, cy, r, degrees)
    w = len(text) * 4 - 1
    text_pixels(c, text, int(round(x - w / 2.0)), int(round(y - 2.5)), FONT3X5, color)


def thermometer_picture():
    c = Canvas(171, 97)
    c.fill([rounded_rect_path(1, 1, 169, 95, 9)], (28, 34, 46))
    c.fill([rounded_rect_path(2, 2, 167, 93, 8)], vgradient(2, 95, BODY_TOP, BODY_BOTTOM))
    cx, cy = 51, 49  # the needle turns about this pixel
    c.fill([ellipse_path(cx + 0.5, cy + 0.5, 46.5)], (150, 160, 176))
    c.fill([ellipse_path(cx + 0.5, cy + 0.5, 45)], (18, 22, 32))
    c.fill([ellipse_path(cx + 0.5, cy + 0.5, 44)], vgradient(5, 94, (44, 52, 68), (26, 30, 42)))
    ox, oy = cx + 0.5, cy + 0.5
    f_color, c_color = (255, 196, 120), (140, 220, 255)
    start, end = dial_angle(-40.0), dial_angle(48.9)
    # Outer scale, degrees F: -40 .. 120.
    c.fill([arc_band(ox, oy, 43.2, 44, end, start, 96)], f_color[:3] + (150,))
    for f in range(-40, 121, 10):
        a = dial_angle((f - 32) / 1.8)
        inner = 37.5 if f % 20 == 0 else 40.5
        c.fill([line_path(*polar(ox, oy, inner, a), *polar(ox, oy, 43.5, a),
                          1.3 if f % 20 == 0 else 0.9)], f_color)
        if f % 40 == 0:
            dial_label(c, str(f), ox - 0.5, oy - 0.5, 31.5, a, f_color)
    # Inner scale, degrees C: -40 .. 48.9.
    c.fill([arc_band(ox, oy, 24.3, 25, end, start, 96)], c_color[:3] + (150,))
    for t in range(-40, 41, 10):
        a = dial_angle(float(t))
        inner = 20.0 if t % 20 == 0 else 22.0
        c.fill([line_path(*polar(ox, oy, inner, a), *polar(ox, oy, 24.6, a),
                          1.3 if t % 20 == 0 else 0.9)], c_color)
        if t % 20 == 0:
            dial_label(c, str(t), ox - 0.5, oy - 0.5, 14.5, a, c_color)
    text_pixels(c, "\u00b0F", cx - 3, 85, FONT3X5, f_color)
    text_pixels(c, "\u00b0C", cx - 3, 67, FONT3X5, c_color)
    c.fill([ellipse_path(ox, oy, 3.4)], (190, 196, 206))
    # Readout boxes: the numbers are drawn at x 103..153, from y 44 and y 67.
    text_pixels(c, "TEMP", 112, 20, FONT5X7, LEGEND)
    readout_box(c, 100, 41, 56, 21)
    readout_box(c, 100, 65, 56, 21)
    text_pixels(c, "\u00b0C", 159, 48, FONT5X7, c_color)
    text_pixels(c, "\u00b0F", 159, 72, FONT5X7, f_color)
    return c


def battery_picture():
    c = Canvas(150, 20)
    navy = (16, 16, 128)
    c.fill(text_paths("Battery", 2, 3, FONT5X7, sx=1.25, sy=2.0, bold=True), navy)
    ink = (56, 62, 74)
    c.fill([rounded_rect_path(65, 0.5, 80, 19, 2.5)], ink)
    c.fill([rounded_rect_path(146, 5, 3.5, 10, 1)], ink)
    # The gauge fill covers x 69..140, y 4..15 and grows leftward from x 141.
    c.rect(68, 3, 74, 14, (255, 255, 255))
    return c


# --------------------------------------------------------------------------- check-box strip


def check_strip():
    c = Canvas(300, 20)
    for cell in range(3):
        x0 = cell * 100
        greyed = cell == 2
        c.rect(x0, 0, 100, 20, (255, 255, 255))
        c.frame(x0, 0, 100, 20, (160, 160, 160) if greyed else (120, 128, 142))
        edge = (168, 168, 168) if greyed else (70, 78, 94)
        inside = (224, 224, 224) if greyed else (255, 255, 255)
        c.frame(x0 + 5, 3, 14, 14, edge)
        c.rect(x0 + 6, 4, 12, 12, inside)
        if cell == 1:
            c.fill(polyline_paths([(x0 + 8, 10), (x0 + 11, 13.2), (x0 + 16.5, 6.5)], 2.2),
                   (16, 16, 128))
    return c


# --------------------------------------------------------------------------- slider channels

GREY = (128, 128, 128)
WHITE = (255, 255, 255)


def channel(field, ticks):
    c = Canvas(100, 24)
    c.rect(0, 0, 100, 24, field)
    c.frame(0, 0, 100, 24, GREY)
    c.frame(8, 7, 79, 4, GREY)  # groove frame around white rows 8 and 9, x 9..85
    c.rect(9, 8, 77, 2, WHITE)
    if ticks:
        c.rect(2, 2, 6, 6, (0, 0, 128))
        c.rect(3, 3, 4, 1, WHITE)
        c.rect(4, 4, 2, 3, WHITE)
        for i, x in enumerate(range(8, 87, 3)):
            c.rect(x, 18 if i % 2 == 0 else 20, 1, 5 if i % 2 == 0 else 3, WHITE)
    return c


# --------------------------------------------------------------------------- application icon


def app_icon(size):
    k = size / 256.0
    c = Canvas(size, size, bg=(0, 0, 0, 0))

    def s(v):
        return v * k

    c.fill([rounded_rect_path(s(8), s(8), s(240), s(240), s(44), 12)],
           vgradient(s(8), s(248), (28, 100, 140), (14, 34, 78)))
    cx, cy, r = s(128), s(150), s(92)
    width = max(s(22), 2.0)
    # Scale arc from green through amber to red, the needle at a healthy reading.
    c.fill([arc_band(cx, cy, r - width, r, 150, 30, 60)], (236, 242, 248))
    c.fill([arc_band(cx, cy, r - width, r, 62, 30, 24)], (232, 70, 56))
    c.fill([arc_band(cx, cy, r - width, r, 96, 62, 24)], (246, 186, 52))
    if size >= 48:
        for i in range(11):
            a = 150 - 12 * i
            c.fill([line_path(*polar(cx, cy, r - width - s(6), a),
                              *polar(cx, cy, r - width - s(18 if i % 5 == 0 else 12), a),
                              max(s(5), 1.0))], (210, 224, 236))
    tip = polar(cx, cy, r - s(8), 112)
    base_l = polar(cx, cy, s(12), 112 + 90)
    base_r = polar(cx, cy, s(12), 112 - 90)
    c.fill([[tip, base_l, base_r]], (250, 222, 40))
    c.fill([ellipse_path(cx, cy, s(16))], (250, 222, 40))
    c.fill([ellipse_path(cx, cy, s(7))], (14, 34, 78))
    if size >= 32:
        # A sine burst under the gauge: the RF being measured.
        pts = [(s(60) + s(136) * i / 40.0, s(206) + s(14) * math.sin(i / 40.0 * 6 * math.pi))
               for i in range(41)]
        c.fill(polyline_paths(pts, max(s(7), 1.2)), (130, 220, 250))
    return c


# --------------------------------------------------------------------------- main


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)

    def save(canvas, name, alpha=False):
        canvas.png(os.path.join(out, name), alpha)

    for (normal_id, pressed_id), shapes, size in [
            ((132, 131), arrow_shapes(), 32),
            ((148, 147), usb_shapes(), 32),
            ((152, 151), disk_shapes(), 32),
            ((142, 141), pause_shapes(), 24),
            ((144, 143), play_shapes(), 24),
            ((146, 145), stop_shapes(), 24)]:
        normal, pressed = button_pair(size, shapes)
        save(normal, "bitmap_%d.png" % normal_id)
        save(pressed, "bitmap_%d.png" % pressed_id)
    save(check_strip(), "bitmap_133.png")
    save(sensor_picture(dbm_lit=False), "bitmap_135.png")
    save(sensor_picture(dbm_lit=True), "bitmap_136.png")
    save(thermometer_picture(), "bitmap_137.png")
    save(channel((0, 255, 255), ticks=False), "bitmap_139.png")
    save(channel((0, 128, 128), ticks=True), "bitmap_140.png")
    save(battery_picture(), "bitmap_149.png")
    for size in (16, 32, 48, 64, 128, 256):
        save(app_icon(size), "icon_128_%d.png" % size, alpha=True)


if __name__ == "__main__":
    main()
