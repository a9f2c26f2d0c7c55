#!/usr/bin/python3
"""Draws Quorrin's toolbar images and program icon.

Writes, beside the folder of this script:
  ../toolbar_light.bmp  34 images of 16 x 16 in a strip (544 x 16), 24-bit,
                        dark strokes for a light toolbar
  ../toolbar_dark.bmp   the same motifs with light strokes for a dark toolbar
  ../toolbar_light_24.bmp, ../toolbar_dark_24.bmp, ../toolbar_light_32.bmp,
  ../toolbar_dark_32.bmp
                        the same strips at 24 and 32 pixels, for displays at
                        150 and 200 %: each pixel of the 16-pixel drawing
                        becomes a block of whole pixels (2 x 2 at 32; 1 or 2
                        wide and high at 24), so the images stay sharp
  ../quorrin.ico        the program icon: 16, 32 and 48 pixel images, 32-bit
                        with alpha and an AND mask

Every picture here is original to this project: it is drawn by the code below
from lines, rectangles, circles, polygons and a tiny pixel font. Nothing is
read from any other program or image. The output is deterministic.

Toolbar background pixels are exactly RGB(192,192,192); the toolbar turns that
color into its own background. Pure black, RGB(128,128,128) and pure white are
remapped by the toolbar as well, so the drawings never use them.

Uses only the Python 3 standard library:  /usr/bin/python3 make_art.py
"""

import math
import os
import struct

SIZE = 16
BACKGROUND = (192, 192, 192)
RESERVED = {(0, 0, 0), (128, 128, 128), (255, 255, 255), BACKGROUND}

# ---------------------------------------------------------------------------
# Palettes. "ink" draws outlines and strokes, "paper" fills pages, the rest
# are fills and accents. The dark palette keeps the motifs and lightens the
# strokes so they read on a dark toolbar.

LIGHT = {
    'ink': (28, 30, 38),
    'soft': (96, 100, 112),
    'paper': (250, 250, 246),
    'steel': (150, 158, 172),
    'steel_dk': (104, 112, 128),
    'gear': (84, 92, 110),
    'blue': (40, 104, 200),
    'blue_dk': (28, 72, 150),
    'green': (36, 160, 64),
    'red': (208, 44, 44),
    'amber': (236, 150, 24),
    'yellow': (250, 206, 64),
    'folder': (214, 160, 52),
    'brown': (150, 96, 48),
    'pink': (236, 120, 140),
    'tan': (226, 194, 140),
    'lcd': (170, 214, 150),
    'navy': (44, 54, 110),
    'led_off': (90, 94, 104),
    'ch1': (40, 104, 200),
    'ch2': (220, 120, 16),
    'on_badge': (250, 250, 250),
}

DARK = {
    'ink': (236, 238, 242),
    'soft': (176, 180, 190),
    'paper': (70, 74, 86),
    'steel': (120, 128, 144),
    'steel_dk': (90, 98, 114),
    'gear': (184, 190, 204),
    'blue': (80, 150, 250),
    'blue_dk': (50, 100, 190),
    'green': (70, 200, 100),
    'red': (250, 90, 90),
    'amber': (250, 176, 60),
    'yellow': (250, 220, 90),
    'folder': (200, 150, 60),
    'brown': (170, 112, 62),
    'pink': (236, 130, 150),
    'tan': (190, 160, 110),
    'lcd': (110, 170, 100),
    'navy': (66, 78, 150),
    'led_off': (84, 88, 98),
    'ch1': (84, 152, 250),
    'ch2': (250, 160, 50),
    'on_badge': (20, 22, 30),
}

# ---------------------------------------------------------------------------
# Pixel font: rows of '#' and '.'.

GLYPHS = {
    '1': ['.#.', '##.', '.#.', '.#.', '###'],
    '2': ['##.', '..#', '.#.', '#..', '###'],
    'M': ['#...#', '##.##', '#.#.#', '#...#', '#...#'],
    'B': ['###.', '#..#', '###.', '#..#', '###.'],
    'A': ['..##..', '.####.', '##..##', '##..##', '######', '##..##',
          '##..##'],
    'a': ['.##.', '#..#', '.###', '#..#', '.###'],
    '?': ['.###.', '##.##', '...##', '..##.', '..##.', '.....', '..##.'],
    '#': ['.#..#.', '######', '.#..#.', '.#..#.', '######', '.#..#.'],
    # Hiragana "a", drawn for the language button.
    'あ': ['..#....',
          '######.',
          '..#....',
          '..####.',
          '.##.#.#',
          '#.#.#.#',
          '#.##..#',
          '.#...#.'],
}


# ---------------------------------------------------------------------------
# Masks: sets of (x, y) pixels. Continuous coordinates put pixel (x, y) on the
# square [x, x+1] x [y, y+1]; a pixel belongs to a shape when its center does.

def pixels():
    return ((x, y) for y in range(SIZE) for x in range(SIZE))


def m_rect(x0, y0, x1, y1):
    """Pixels x0..x1, y0..y1 inclusive."""
    return {(x, y) for x in range(x0, x1 + 1) for y in range(y0, y1 + 1)
            if 0 <= x < SIZE and 0 <= y < SIZE}


def m_round_rect(x0, y0, x1, y1):
    """Rectangle with its four corner pixels cut."""
    return m_rect(x0, y0, x1, y1) - {(x0, y0), (x1, y0), (x0, y1), (x1, y1)}


def m_disk(cx, cy, r):
    return {(x, y) for x, y in pixels()
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r}


def m_ellipse(cx, cy, rx, ry):
    return {(x, y) for x, y in pixels()
            if ((x + 0.5 - cx) / rx) ** 2 + ((y + 0.5 - cy) / ry) ** 2 <= 1}


def inside_poly(px, py, pts):
    inside = False
    n = len(pts)
    for i in range(n):
        x1, y1 = pts[i]
        x2, y2 = pts[(i + 1) % n]
        if (y1 > py) != (y2 > py):
            xc = x1 + (py - y1) * (x2 - x1) / (y2 - y1)
            if px < xc:
                inside = not inside
    return inside


def m_poly(pts):
    return {(x, y) for x, y in pixels() if inside_poly(x + 0.5, y + 0.5, pts)}


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy
    t = 0.0 if ll == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / ll))
    qx, qy = ax + t * dx, ay + t * dy
    return math.hypot(px - qx, py - qy)


def m_capsule(ax, ay, bx, by, r):
    return {(x, y) for x, y in pixels()
            if seg_dist(x + 0.5, y + 0.5, ax, ay, bx, by) <= r}


def m_line(x0, y0, x1, y1):
    """Bresenham line between pixel centers, 1 px thick."""
    out = set()
    dx, dy = abs(x1 - x0), -abs(y1 - y0)
    sx = 1 if x0 < x1 else -1
    sy = 1 if y0 < y1 else -1
    err = dx + dy
    while True:
        out.add((x0, y0))
        if x0 == x1 and y0 == y1:
            break
        e2 = 2 * err
        if e2 >= dy:
            err += dy
            x0 += sx
        if e2 <= dx:
            err += dx
            y0 += sy
    return out


def m_ring(cx, cy, r_in, r_out, keep=None):
    """Annulus; keep(angle_deg) may drop a part (angle 0 = +x, y downward)."""
    out = set()
    for x, y in pixels():
        dx, dy = x + 0.5 - cx, y + 0.5 - cy
        d = math.hypot(dx, dy)
        if r_in <= d <= r_out:
            a = math.degrees(math.atan2(dy, dx))
            if keep is None or keep(a):
                out.add((x, y))
    return out


def m_glyph(ch, x0, y0):
    out = set()
    for j, row in enumerate(GLYPHS[ch]):
        for i, c in enumerate(row):
            if c == '#':
                out.add((x0 + i, y0 + j))
    return out


def m_text(s, x0, y0, gap=1):
    out = set()
    x = x0
    for ch in s:
        out |= m_glyph(ch, x, y0)
        x += len(GLYPHS[ch][0]) + gap
    return out


def border(mask):
    """Pixels of the mask that touch (4-neighbour) a pixel outside it."""
    return {(x, y) for x, y in mask
            if any((x + dx, y + dy) not in mask
                   for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))}


def dilate(mask, diagonal=True):
    steps = [(1, 0), (-1, 0), (0, 1), (0, -1)]
    if diagonal:
        steps += [(1, 1), (1, -1), (-1, 1), (-1, -1)]
    out = set(mask)
    for x, y in mask:
        for dx, dy in steps:
            if 0 <= x + dx < SIZE and 0 <= y + dy < SIZE:
                out.add((x + dx, y + dy))
    return out


# ---------------------------------------------------------------------------
# Canvas of one 16 x 16 image. None is background.

class Canvas:
    def __init__(self, theme):
        self.t = theme
        self.px = [[None] * SIZE for _ in range(SIZE)]

    def color(self, c):
        return self.t[c] if isinstance(c, str) else c

    def set(self, mask, c):
        col = self.color(c) if c is not None else None
        for x, y in mask:
            if 0 <= x < SIZE and 0 <= y < SIZE:
                self.px[y][x] = col

    def shape(self, mask, fill=None, outline='ink', halo=False):
        """Fills a mask and draws its inner 1 px border; with halo, first
        clears a 1 px ring around it so it stands apart from what is below."""
        if halo:
            self.set(dilate(mask) - mask, None)
        if fill is not None:
            self.set(mask, fill)
        if outline is not None:
            self.set(border(mask), outline)

    def flip_v(self):
        self.px.reverse()

    def flip_h(self):
        for row in self.px:
            row.reverse()


# ---------------------------------------------------------------------------
# Shared parts.

def pencil(c, tip, back, width=3.6, halo=True):
    """Pencil from its back end to its point, drawn over what is below."""
    tx, ty = tip
    bx, by = back
    ln = math.hypot(bx - tx, by - ty)
    ux, uy = (bx - tx) / ln, (by - ty) / ln      # from tip toward back
    nx, ny = -uy * width / 2, ux * width / 2

    def at(t, side):
        return (tx + ux * ln * t + nx * side, ty + uy * ln * t + ny * side)

    cone = 0.34
    whole = m_poly([(tx, ty), at(cone, 1), at(1, 1), at(1, -1), at(cone, -1)])
    if halo:
        c.set(dilate(whole) - whole, None)
    c.set(m_poly([at(cone, 1), at(0.82, 1), at(0.82, -1), at(cone, -1)]), 'yellow')
    c.set(m_poly([at(0.82, 1), at(1, 1), at(1, -1), at(0.82, -1)]), 'pink')
    c.set(m_poly([(tx, ty), at(cone, 1), at(cone, -1)]), 'tan')
    c.set(border(whole), 'ink')
    c.set(m_poly([(tx - ux * 0.5, ty - uy * 0.5), at(0.16, 1), at(0.16, -1)]), 'ink')


def send_arrow(c, x0, y0, length=7, color='green'):
    """Bold arrow pointing right, 7 px tall, its left end at x0, top at y0."""
    head = 4
    pts = [(x0, y0 + 2), (x0 + length - head, y0 + 2), (x0 + length - head, y0),
           (x0 + length + 0.01, y0 + 3.5), (x0 + length - head, y0 + 7),
           (x0 + length - head, y0 + 5), (x0, y0 + 5)]
    c.shape(m_poly(pts), color, halo=True)


def badge(c, digit, color):
    """Channel number on a rounded tab in the lower right corner."""
    m = m_round_rect(9, 8, 15, 15)
    c.shape(m, color, outline=None, halo=True)
    c.set(m_glyph(digit, 11, 10), 'on_badge')


def page(c, x0, y0, x1, y1, fold=4):
    """Page with a folded top right corner."""
    body = m_poly([(x0, y0), (x1 + 1 - fold, y0), (x1 + 1, y0 + fold),
                   (x1 + 1, y1 + 1), (x0, y1 + 1)])
    c.shape(body, 'paper')
    flap = m_poly([(x1 + 1 - fold, y0), (x1 + 1, y0 + fold), (x1 + 1 - fold, y0 + fold)])
    c.shape(flap | {(x1 + 1 - fold, y0 + fold)}, 'steel', outline=None)
    c.set(m_line(x1 + 1 - fold, y0, x1 + 1 - fold, y0 + fold - 1), 'ink')
    c.set(m_line(x1 + 1 - fold, y0 + fold - 1, x1, y0 + fold - 1), 'ink')
    c.set(m_line(x1 + 1 - fold, y0, x1, y0 + fold - 1), 'ink')


GEAR = ['.....###.....',
        '.##..###..##.',
        '.###########.',
        '..#########..',
        '..###...###..',
        '####.....####',
        '####.....####',
        '####.....####',
        '..###...###..',
        '..#########..',
        '.###########.',
        '.##..###..##.',
        '.....###.....']


def gear_shape(x0, y0):
    """Gear of 13 x 13 pixels with eight teeth, its top left at x0, y0."""
    return {(x0 + i, y0 + j) for j, row in enumerate(GEAR)
            for i, ch in enumerate(row) if ch == '#'}


def wrench_shape():
    """Wrench lying from the lower left to the upper right, jaw open."""
    cx, cy = 11.5, 4.5
    head = m_disk(cx, cy, 3.6)
    handle = m_capsule(3, 13, 10, 6, 1.3)
    ux, uy = 1 / math.sqrt(2), -1 / math.sqrt(2)
    nx, ny = -uy, ux
    hw = 1.1
    jaw = m_poly([(cx + nx * hw - ux * 0.5, cy + ny * hw - uy * 0.5),
                  (cx + nx * hw + ux * 6, cy + ny * hw + uy * 6),
                  (cx - nx * hw + ux * 6, cy - ny * hw + uy * 6),
                  (cx - nx * hw - ux * 0.5, cy - ny * hw - uy * 0.5)])
    return (head | handle) - jaw


def globe(c, cx, cy, r, halo=False):
    disk = m_disk(cx, cy, r)
    c.shape(disk, 'blue', halo=halo)
    inner = disk - border(disk)
    # A meridian drawn as an ellipse, the equator and the axis.
    rx = r * 0.5
    oval = {(x, y) for x, y in pixels()
            if abs(math.hypot((x + 0.5 - cx) / rx, (y + 0.5 - cy) / r) - 1) < 0.5 / rx * 1.2}
    c.set(inner & oval, 'paper')
    c.set(inner & {(x, y) for x, y in pixels() if abs(y + 0.5 - cy) <= 0.5}, 'paper')


# ---------------------------------------------------------------------------
# The 34 toolbar images, in order.

def img_save(c):
    body = m_poly([(1, 1), (12.5, 1), (15, 3.5), (15, 15), (1, 15)])
    c.shape(body, 'blue')
    c.shape(m_rect(4, 1, 11, 6), 'steel')
    c.set(m_rect(8, 2, 9, 4), 'ink')
    c.shape(m_rect(3, 9, 12, 14), 'paper')
    c.set(m_rect(5, 11, 10, 11), 'soft')


def img_open(c):
    back = m_rect(1, 3, 13, 14) | m_rect(1, 1, 6, 3)
    c.shape(back, 'folder')
    c.set(m_rect(2, 4, 12, 5), 'paper')
    front = m_poly([(4, 7), (16, 7), (13, 15), (1, 15)])
    c.shape(front, 'yellow')


def img_clear(c):
    tip = m_poly([(1.5, 10.5), (5, 7), (9.5, 11.5), (6, 15)])
    body = m_poly([(5, 7), (10, 2), (14.5, 6.5), (9.5, 11.5)])
    c.shape(body | tip, 'pink')
    c.set(tip - border(body | tip), 'paper')
    c.set(m_line(5, 7, 9, 11), 'ink')
    c.set(m_rect(10, 14, 15, 14), 'soft')


def arrow_down(c, tip_y=14.5, with_bar=False):
    neck = tip_y - 6.5
    pts = [(6, 1), (10, 1), (10, neck), (14.5, neck), (8, tip_y),
           (1.5, neck), (6, neck)]
    c.shape(m_poly(pts), 'blue')
    if with_bar:
        c.shape(m_rect(1, 13, 14, 14), 'ink', outline=None)


def img_down(c):
    arrow_down(c)


def img_up(c):
    arrow_down(c)
    c.flip_v()


def img_end(c):
    arrow_down(c, tip_y=12.5, with_bar=True)


def img_start(c):
    arrow_down(c, tip_y=12.5, with_bar=True)
    c.flip_v()


def img_refresh(c):
    ring = m_ring(8, 8.5, 3.2, 6.6, keep=lambda a: not (-90 < a < -25))
    head = m_poly([(7.5, -0.3), (7.5, 7.6), (12.3, 3.6)])
    c.shape(ring | head, 'green')


def img_checksum(c):
    c.shape(m_round_rect(2, 0, 13, 15), 'steel_dk')
    c.shape(m_rect(4, 2, 11, 5), 'lcd')
    c.set(m_rect(6, 3, 10, 4) - {(7, 3), (7, 4)}, 'ink')
    for j, y in enumerate((7, 10, 13)):
        for i, x in enumerate((4, 7, 10)):
            col = 'amber' if (i, j) == (2, 2) else 'paper'
            c.set(m_rect(x, y, x + 1, y + 1), col)


def img_ascii(c):
    c.shape(m_rect(0, 1, 15, 14), 'paper')
    c.shape(m_rect(0, 1, 15, 4), 'blue')
    c.set(m_rect(5, 1, 5, 14), 'ink')
    c.set(m_rect(1, 6, 4, 6) | m_rect(1, 8, 4, 8) | m_rect(1, 10, 4, 10) |
          m_rect(1, 12, 4, 12), 'soft')
    c.set(m_glyph('A', 7, 6), 'ink')


def img_input_send(c):
    kb = m_round_rect(0, 8, 13, 15)
    c.shape(kb, 'steel')
    for x in (2, 4, 6, 8, 10):
        c.set({(x, 10)}, 'paper')
    for x in (3, 5, 7, 9, 11):
        c.set({(x, 11)}, 'paper')
    c.set(m_rect(4, 13, 9, 13), 'paper')
    c.set(m_rect(1, 0, 5, 0) | m_rect(3, 1, 3, 5) | m_rect(1, 6, 5, 6), 'ink')
    c.set({(2, 1), (4, 1), (2, 5), (4, 5)}, 'soft')
    send_arrow(c, 7, 0, length=8)


def list_lines(c, rows=(2, 6, 10), long_=12, last=9):
    for i, y in enumerate(rows):
        c.set(m_rect(1, y, 2, y + 1), 'blue')
        c.set(m_rect(4, y, last if i == len(rows) - 1 else long_, y + 1), 'ink')


def img_presets_send(c):
    list_lines(c, rows=(1, 5, 9, 13), long_=13, last=7)
    send_arrow(c, 7, 8, length=8)


def img_macro(c):
    page(c, 1, 0, 12, 15)
    c.set(m_rect(3, 5, 9, 5) | m_rect(3, 7, 7, 7) | m_rect(3, 9, 6, 9), 'soft')
    c.shape(m_poly([(7.5, 6.5), (16, 11.5), (7.5, 16.5)]), 'green', halo=True)


def img_modbus(c):
    c.shape(m_rect(0, 2, 15, 13), 'paper')
    c.set(m_rect(1, 3, 14, 3), 'blue')
    c.set(m_rect(1, 12, 14, 12), 'amber')
    c.set(m_text('MB', 3, 5), 'ink')
    c.set(m_rect(1, 5, 1, 9) | m_rect(14, 5, 14, 9), 'soft')
    c.set(m_rect(3, 11, 12, 11) - m_rect(6, 11, 6, 11) - m_rect(9, 11, 9, 11), 'soft')


def img_port_number(c):
    c.shape(m_poly([(1, 0), (15, 0), (12.6, 7), (3.4, 7)]), 'steel')
    c.set({(4, 2), (6, 2), (8, 2), (10, 2), (12, 2)}, 'ink')
    c.set({(5, 4), (7, 4), (9, 4), (11, 4)}, 'ink')
    hashm = {(x, y) for x, y in pixels()
             if (x in (6, 7, 10, 11) and 8 <= y <= 15) or
                (y in (10, 13) and 4 <= x <= 13)}
    hashm -= {(4, 10), (13, 10), (4, 13), (13, 13)}
    c.set(hashm, 'blue')


def plug_pair(c, connected):
    # Plug with two prongs on the left, socket on the right, cables outside.
    if connected:
        plug, socket, color = 1, 9, 'green'
    else:
        plug, socket, color = 0, 11, 'red'
    c.set(m_rect(0, 7, plug, 8), 'ink')
    c.shape(m_rect(plug + 1, 4, plug + 5, 11), color)
    c.shape(m_rect(plug + 6, 5, plug + 8, 6), 'steel')
    c.shape(m_rect(plug + 6, 9, plug + 8, 10), 'steel')
    c.shape(m_round_rect(socket, 2, socket + 4, 13), 'steel')
    c.set(m_rect(socket + 5, 7, 15, 8), 'ink')
    if not connected:
        c.set(m_rect(socket, 5, socket + 1, 6) | m_rect(socket, 9, socket + 1, 10), 'ink')


def img_ports_open(c):
    plug_pair(c, True)


def img_ports_close(c):
    plug_pair(c, False)


def gear_config(c, digit, chan):
    c.shape(gear_shape(0, 0), 'gear', outline=None)
    badge(c, digit, chan)


def img_ch1_port(c):
    gear_config(c, '1', 'ch1')


def img_ch2_port(c):
    gear_config(c, '2', 'ch2')


def sliders(c, digit, chan):
    for x, knob in ((2, 9), (7, 1), (12, 4)):
        c.set(m_rect(x, 0, x, 15), 'soft')
        c.shape(m_rect(x - 2, knob, x + 2, knob + 2), 'paper')
    badge(c, digit, chan)


def img_ch1_dcb(c):
    sliders(c, '1', 'ch1')


def img_ch2_dcb(c):
    sliders(c, '2', 'ch2')


def leds(c, digit, chan):
    for (cx, cy), col in (((4, 4), 'green'), ((11, 4), 'red'),
                          ((4, 11), 'led_off')):
        d = m_disk(cx, cy, 3.3)
        c.shape(d, col)
        if col != 'led_off':
            c.set({(cx - 2, cy - 2), (cx - 1, cy - 2), (cx - 2, cy - 1)}, 'paper')
    badge(c, digit, chan)


def img_ch1_status(c):
    leds(c, '1', 'ch1')


def img_ch2_status(c):
    leds(c, '2', 'ch2')


def img_presets_edit(c):
    list_lines(c, rows=(1, 5, 9, 13), long_=13, last=6)
    pencil(c, (7, 15), (15.5, 6.5))


def img_notepad(c):
    c.shape(m_rect(2, 1, 13, 15), 'paper')
    c.shape(m_rect(2, 1, 13, 4), 'blue')
    for x in (4, 7, 10):
        c.set(m_rect(x, 0, x + 1, 2), 'ink')
    for y in (7, 9, 11, 13):
        c.set(m_rect(4, y, 11 if y != 13 else 8, y), 'soft')


def img_macro_edit(c):
    page(c, 1, 0, 12, 15)
    c.set(m_rect(3, 5, 9, 5) | m_rect(3, 7, 7, 7) | m_rect(3, 9, 5, 9), 'soft')
    pencil(c, (7, 15), (15.5, 6.5))


def img_settings(c):
    c.shape(gear_shape(0, 3), 'gear', outline=None)
    c.shape(wrench_shape(), 'blue', halo=True)


def img_theme(c):
    disk = m_disk(8, 8, 5.2)
    c.set({(x, y) for x, y in disk if x < 8}, 'navy')
    c.set({(x, y) for x, y in disk if x >= 8}, 'yellow')
    c.set(border(disk), 'ink')
    c.set(m_rect(8, 3, 8, 12), 'ink')
    rays = set()
    for a in (-90, -45, 0, 45, 90):
        r = math.radians(a)
        x0 = 8 + 6.6 * math.cos(r)
        y0 = 8 + 6.6 * math.sin(r)
        x1 = 8 + 7.9 * math.cos(r)
        y1 = 8 + 7.9 * math.sin(r)
        rays |= m_capsule(x0, y0, x1, y1, 0.75)
    c.set({(x, y) for x, y in rays if x >= 8}, 'amber')


def img_language(c):
    # "A", a slash, and the hiragana "a": the choice of languages.
    c.set(m_glyph('A', 1, 1), 'blue')
    c.set(m_line(3, 12, 12, 3), 'ink')
    c.set(m_glyph('あ', 8, 7), 'red')


def img_color(c):
    pal = m_ellipse(8, 8.5, 7.6, 6.6) - m_disk(5.2, 11.5, 1.6) \
        - m_poly([(0, 16), (3.5, 12.5), (6, 16)])
    c.shape(pal, 'tan')
    for (cx, cy), col in (((4.5, 6), 'red'), ((8, 4), 'yellow'),
                          ((11.5, 5.5), 'green'), ((11.5, 10), 'blue')):
        c.shape(m_disk(cx, cy, 1.7), col, outline=None)


def img_about(c):
    d = m_disk(8, 8, 7.6)
    c.shape(d, 'blue')
    c.set(m_rect(7, 3, 8, 4) | m_rect(7, 6, 8, 11) | {(6, 6)} |
          m_rect(6, 12, 9, 12), 'on_badge')


def img_manual(c):
    c.shape(m_rect(3, 12, 14, 15), 'paper')
    c.set(m_rect(4, 13, 13, 13), 'soft')
    c.shape(m_rect(2, 0, 14, 13), 'blue')
    c.set(m_rect(4, 1, 4, 12), 'blue_dk')
    c.set(m_glyph('?', 7, 3), 'on_badge')


def img_homepage(c):
    roof = m_poly([(-0.5, 8), (6.5, 1), (13.5, 8)])
    c.shape(roof, 'red')
    walls = m_rect(1, 7, 11, 15)
    c.shape(walls, 'paper')
    c.set(m_rect(1, 7, 11, 7), 'ink')
    c.shape(m_rect(3, 10, 5, 15), 'brown')
    globe(c, 11.5, 11.5, 4.6, halo=True)


def img_exit(c):
    c.shape(m_rect(1, 0, 10, 15), 'steel_dk')
    c.shape(m_poly([(2, 1), (7, 2.5), (7, 16), (2, 15)]), 'brown')
    c.set({(5, 8), (5, 9)}, 'yellow')
    send_arrow(c, 7, 4, length=9, color='red')


IMAGES = [
    img_save, img_open, img_clear, img_down, img_up, img_end, img_start,
    img_refresh, img_checksum, img_ascii, img_input_send, img_presets_send,
    img_macro, img_modbus, img_port_number, img_ports_open, img_ports_close,
    img_ch1_port, img_ch2_port, img_ch1_dcb, img_ch2_dcb, img_ch1_status,
    img_ch2_status, img_presets_edit, img_notepad, img_macro_edit,
    img_settings, img_theme, img_language, img_color, img_about, img_manual,
    img_homepage, img_exit,
]
assert len(IMAGES) == 34


# ---------------------------------------------------------------------------
# Writers.

def bmp_bytes(width, height, rgb_rows):
    """24-bit BMP, BITMAPINFOHEADER, rows bottom-up and padded to 4 bytes."""
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rgb_rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b'\0' * (row_size - len(line))
        data += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0,
                       len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def render_strip(theme):
    rows = [[] for _ in range(SIZE)]
    for draw in IMAGES:
        c = Canvas(theme)
        draw(c)
        for y in range(SIZE):
            for x in range(SIZE):
                col = c.px[y][x]
                if col is None:
                    col = BACKGROUND
                elif col in RESERVED:
                    raise ValueError('%s uses reserved color %s' % (draw.__name__, col))
                rows[y].append(col)
    return rows


# ---------------------------------------------------------------------------
# Program icon: a dark scope screen with two traces, CH1 (green) above
# CH2 (amber), drawn with 4 x 4 supersampling for smooth edges.

def icon_layers(s):
    """Layers from bottom to top: (rgba, inside(x, y)) in pixel units."""
    # Per size: trace width, panel margin, border width, corner radius, the
    # CH1 and CH2 levels (high, low) and the x of each edge of both traces.
    # Whole-pixel widths and matching centers keep the traces crisp.
    geo = {
        16: dict(w=2, m=0.0, bw=1.0, rad=3.0,
                 ch1=(3, 6), ch2=(10, 13),
                 x1=[3, 6, 10, 13], x2=[3, 5, 9, 13]),
        32: dict(w=2, m=0.5, bw=1.5, rad=6.0,
                 ch1=(8, 14), ch2=(19, 25),
                 x1=[5, 10, 16, 21, 27], x2=[5, 12, 18, 24, 27]),
        48: dict(w=3, m=1.0, bw=2.0, rad=9.0,
                 ch1=(11.5, 19.5), ch2=(28.5, 36.5),
                 x1=[7.5, 14.5, 23.5, 31.5, 40.5],
                 x2=[7.5, 18.5, 26.5, 35.5, 40.5]),
    }[s]
    w, m, bw, rad = geo['w'], geo['m'], geo['bw'], geo['rad']

    def rrect(x0, y0, x1, y1, r):
        def f(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        return f

    def stroke(pts, width):
        # Axis-aligned polyline with square joins: the union of rectangles.
        h = width / 2.0
        boxes = []
        for (ax, ay), (bx, by) in zip(pts, pts[1:]):
            boxes.append((min(ax, bx) - h, min(ay, by) - h,
                          max(ax, bx) + h, max(ay, by) + h))

        def f(x, y):
            return any(x0 <= x <= x1 and y0 <= y <= y1
                       for x0, y0, x1, y1 in boxes)
        return f

    def square_wave(levels, xs, start_high):
        hi_y, lo_y = levels
        hi = start_high
        pts = [(xs[0], hi_y if hi else lo_y)]
        for i, x in enumerate(xs[1:], 1):
            pts.append((x, hi_y if hi else lo_y))
            if i < len(xs) - 1:
                hi = not hi
                pts.append((x, hi_y if hi else lo_y))
        return pts

    outer = rrect(m, m, s - m, s - m, rad)
    inner = rrect(m + bw, m + bw, s - m - bw, s - m - bw, max(rad - bw, 0.5))
    ch1 = stroke(square_wave(geo['ch1'], geo['x1'], False), w)
    ch2 = stroke(square_wave(geo['ch2'], geo['x2'], True), w)

    layers = [
        ((132, 150, 176, 255), outer),
        ((24, 32, 46, 255), inner),
    ]
    if s >= 32:
        gw = 1.0 if s == 32 else 2.0
        mid = s / 2.0

        def grid(x, y):
            return inner(x, y) and (abs(y - mid) <= gw / 2 or
                                    abs(x - mid) <= gw / 2)
        layers.append(((52, 66, 90, 255), grid))
    layers += [
        ((250, 178, 56, 255), ch2),
        ((84, 226, 124, 255), ch1),
    ]
    return layers


def render_icon(s, k=4):
    layers = icon_layers(s)
    out = []
    for y in range(s):
        row = []
        for x in range(s):
            acc = [0.0, 0.0, 0.0, 0.0]
            for j in range(k):
                for i in range(k):
                    sx = x + (i + 0.5) / k
                    sy = y + (j + 0.5) / k
                    col = None
                    for rgba, f in reversed(layers):
                        if f(sx, sy):
                            col = rgba
                            break
                    if col is not None:
                        a = col[3] / 255.0
                        acc[0] += col[0] * a
                        acc[1] += col[1] * a
                        acc[2] += col[2] * a
                        acc[3] += a
            n = k * k
            alpha = acc[3] / n
            if alpha > 0:
                rgb = tuple(int(round(acc[i] / acc[3])) for i in range(3))
            else:
                rgb = (0, 0, 0)
            row.append(rgb + (int(round(alpha * 255)),))
        out.append(row)
    return out


def ico_bytes(images):
    """ICO with 32-bit BGRA DIB entries, each with its AND mask."""
    entries = []
    blobs = []
    for s, px in images:
        xor = bytearray()
        for row in reversed(px):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
        mask_row = ((s + 31) // 32) * 4
        andm = bytearray()
        for row in reversed(px):
            bits = bytearray(mask_row)
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            andm += bits
        info = struct.pack('<IiiHHIIiiII', 40, s, s * 2, 1, 32, 0,
                           len(xor) + len(andm), 0, 0, 0, 0)
        blobs.append(info + bytes(xor) + bytes(andm))
    offset = 6 + 16 * len(images)
    head = struct.pack('<HHH', 0, 1, len(images))
    for (s, _), blob in zip(images, blobs):
        entries.append(struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32,
                                   len(blob), offset))
        offset += len(blob)
    return head + b''.join(entries) + b''.join(blobs)


def scale_strip(rows, size):
    """The strip of 16-pixel images at `size` pixels, each output pixel taking
    the drawing's pixel it falls on (nearest, no blending: the background
    stays exactly the color the toolbar masks out)."""
    pick = [i * SIZE // size for i in range(size)]
    out = []
    for y in range(size):
        src = rows[pick[y]]
        out.append([src[(x // size) * SIZE + pick[x % size]] for x in range(size * len(IMAGES))])
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    res = os.path.dirname(here)
    for name, theme in (('toolbar_light', LIGHT), ('toolbar_dark', DARK)):
        rows = render_strip(theme)
        with open(os.path.join(res, name + '.bmp'), 'wb') as f:
            f.write(bmp_bytes(SIZE * len(IMAGES), SIZE, rows))
        for size in (24, 32):
            with open(os.path.join(res, '%s_%d.bmp' % (name, size)), 'wb') as f:
                f.write(bmp_bytes(size * len(IMAGES), size, scale_strip(rows, size)))
    icons = [(s, render_icon(s)) for s in (16, 32, 48)]
    with open(os.path.join(res, 'quorrin.ico'), 'wb') as f:
        f.write(ico_bytes(icons))


if __name__ == '__main__':
    main()
