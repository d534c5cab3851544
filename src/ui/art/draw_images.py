#!/usr/bin/env python3
"""Draws the installer's two pictures and writes them as XPM headers.

    python3 src/ui/art/draw_images.py      # rewrites icon.xpm.h, side_image.xpm.h

The window icon (256 x 256, transparent background) is a blue folder holding a
template sheet, with a small green "install" badge. The side picture
(158 x 286) is a calm blue gradient with faint template cards and the same
folder motif. Pure Python (no imaging library), so the pictures can be redrawn
anywhere; the generated headers are kept in the repository so that building
needs no Python.
"""

import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4  # supersampling per axis

# XPM colour keys: two printable characters, never '"' or '\'.
KEY_CHARS = [chr(c) for c in range(33, 127) if chr(c) not in '"\\']


def hex_rgb(text):
    text = text.lstrip('#')
    return tuple(int(text[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# --- shapes: each answers "is this point inside?" in picture coordinates.

def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(points):
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            xa, ya = points[i]
            xb, yb = points[(i + 1) % n]
            if (ya > y) != (yb > y):
                xc = xa + (y - ya) * (xb - xa) / (yb - ya)
                if x < xc:
                    result = not result
        return result
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def vertical(top, bottom, y0, y1):
    """A colour function: gradient from y0 (top colour) to y1 (bottom)."""
    top, bottom = hex_rgb(top), hex_rgb(bottom)
    def colour(x, y):
        t = min(max((y - y0) / float(y1 - y0), 0.0), 1.0)
        return mix(top, bottom, t)
    return colour


def flat(c):
    rgb = hex_rgb(c)
    return lambda x, y: rgb


# --- the folder motif, drawn in a 256-unit square.

def folder_layers(scale=1.0, ox=0.0, oy=0.0):
    """Layers (shape, colour, opacity) of the icon scene, transformed."""
    def tr(shape):
        return lambda x, y: shape((x - ox) / scale, (y - oy) / scale)

    def tc(colour):
        return lambda x, y: colour((x - ox) / scale, (y - oy) / scale)

    layers = []
    # Folder back with its tab.
    back = union(rounded_rect(18, 52, 230, 224, 20),
                 rounded_rect(18, 34, 96, 80, 14),
                 polygon([(80, 34), (116, 64), (80, 64)]))
    layers.append((back, vertical('#2b6cb0', '#1f4f86', 36, 224), 1.0))
    # The template sheet: paper, a teal header band, a grid of cells.
    layers.append((rounded_rect(62, 22, 214, 170, 8), flat('#d5dee8'), 1.0))
    layers.append((rounded_rect(64, 24, 212, 168, 7), flat('#ffffff'), 1.0))
    layers.append((rounded_rect(78, 38, 198, 58, 4), flat('#2a9d8f'), 1.0))
    for row in range(3):
        for col in range(3):
            x0 = 78 + col * 41
            y0 = 68 + row * 26
            shade = '#dfe8f1' if (row + col) % 2 == 0 else '#eaf0f6'
            layers.append((rounded_rect(x0, y0, x0 + 38, y0 + 20, 3), flat(shade), 1.0))
    # Folder front, slanted slightly for depth.
    front = polygon([(14, 104), (242, 104), (232, 226), (24, 226)])
    front = union(front, rounded_rect(24, 200, 232, 228, 18))
    layers.append((front, vertical('#5aa2e6', '#3479c2', 104, 228), 1.0))
    # A highlight line along the front's top edge.
    layers.append((polygon([(16, 104), (240, 104), (239, 110), (17, 110)]),
                   flat('#8cc3f3'), 0.9))
    # The install badge: a green disc with a white arrow into a tray.
    layers.append((circle(196, 190, 44), flat('#ffffff'), 1.0))
    layers.append((circle(196, 190, 38), vertical('#3cbf7a', '#1f8f55', 152, 228), 1.0))
    arrow = union(rounded_rect(189, 162, 203, 192, 3),
                  polygon([(178, 186), (214, 186), (196, 206)]))
    layers.append((arrow, flat('#ffffff'), 1.0))
    layers.append((rounded_rect(176, 210, 216, 216, 3), flat('#ffffff'), 1.0))
    return [(tr(s), tc(c), a) for s, c, a in layers]


def render(width, height, layers, background=None):
    """Returns rows of (r, g, b, alpha) pixels, supersampled."""
    pixels = []
    step = 1.0 / SS
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0]
            alpha_acc = 0.0
            for sy in range(SS):
                for sx in range(SS):
                    x = px + (sx + 0.5) * step
                    y = py + (sy + 0.5) * step
                    if background is not None:
                        c = list(background(x, y))
                        a = 1.0
                    else:
                        c = [0.0, 0.0, 0.0]
                        a = 0.0
                    for shape, colour, opacity in layers:
                        if shape(x, y):
                            lc = colour(x, y)
                            # "over" compositing, straight colours
                            out_a = opacity + a * (1 - opacity)
                            if out_a > 0:
                                c = [(lc[i] * opacity + c[i] * a * (1 - opacity)) / out_a
                                     for i in range(3)]
                            a = out_a
                    for i in range(3):
                        acc[i] += c[i] * a
                    alpha_acc += a
            n = SS * SS
            alpha = alpha_acc / n
            if alpha > 0:
                rgb = tuple(acc[i] / alpha_acc for i in range(3))
            else:
                rgb = (0.0, 0.0, 0.0)
            row.append((rgb, alpha))
        pixels.append(row)
    return pixels


BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def quantize(pixels, limit, transparent, dither=False):
    """Maps pixels to at most `limit` colours by coarsening the channel step;
    with `dither`, a 4 x 4 ordered dither hides the bands of gradients."""
    step = 1
    while True:
        def q(v, bias):
            value = int(math.floor(v * 255 / step + bias)) * step
            return min(max(value, 0), 255)
        grid = []
        colours = set()
        for y, row in enumerate(pixels):
            out = []
            for x, (rgb, alpha) in enumerate(row):
                bias = (BAYER[y % 4][x % 4] + 0.5) / 16.0 if dither else 0.5
                if transparent and alpha < 0.5:
                    out.append(None)
                else:
                    c = (q(rgb[0], bias), q(rgb[1], bias), q(rgb[2], bias))
                    colours.add(c)
                    out.append(c)
            grid.append(out)
        if len(colours) + (1 if transparent else 0) <= limit:
            return grid, sorted(colours)
        step += 1


def write_xpm(path, name, grid, colours, transparent, comment):
    keys = [a + b for a in KEY_CHARS for b in KEY_CHARS]
    table = {}
    lines = []
    index = 0
    if transparent:
        table[None] = keys[index]
        lines.append('"%s c None",' % keys[index])
        index += 1
    for c in colours:
        table[c] = keys[index]
        lines.append('"%s c #%02X%02X%02X",' % (keys[index], c[0], c[1], c[2]))
        index += 1
    height = len(grid)
    width = len(grid[0])
    with open(path, 'w') as out:
        out.write('// %s\n' % comment)
        out.write('// Generated by draw_images.py; edit the script, not this file.\n')
        out.write('#pragma once\n\n')
        out.write('// NOLINTBEGIN\n')
        out.write('static const char* const %s[] = {\n' % name)
        out.write('"%d %d %d 2",\n' % (width, height, index))
        out.write('\n'.join(lines) + '\n')
        for r, row in enumerate(grid):
            text = ''.join(table[c] for c in row)
            out.write('"%s"%s\n' % (text, ',' if r + 1 < height else ''))
        out.write('};\n// NOLINTEND\n')


def draw_icon():
    pixels = render(256, 256, folder_layers())
    grid, colours = quantize(pixels, 211, transparent=True)
    write_xpm(os.path.join(HERE, 'icon.xpm.h'), 'kIconXpm', grid, colours, True,
              'Window icon, 256 x 256, transparent background.')


def draw_side_image():
    w, h = 158, 286
    top, bottom = hex_rgb('#173f66'), hex_rgb('#3f8fc4')

    def background(x, y):
        # Diagonal gradient with a soft light from the upper left.
        t = min(max((y / h) * 0.8 + (x / w) * 0.2, 0.0), 1.0)
        base = mix(top, bottom, t)
        glow = math.exp(-(((x - 20) / 120.0) ** 2 + ((y - 30) / 160.0) ** 2))
        return mix(base, hex_rgb('#5fa8dc'), 0.35 * glow)

    layers = []
    # Faint template cards drifting down the panel.
    cards = [(18, 168, 62, 26), (88, 150, 52, 22), (40, 206, 70, 28),
             (104, 194, 40, 18), (14, 246, 50, 20), (78, 240, 64, 26)]
    for x, y, cw, ch in cards:
        layers.append((rounded_rect(x, y, x + cw, y + ch, 4), flat('#ffffff'), 0.10))
        layers.append((rounded_rect(x + 5, y + 5, x + cw - 5, y + 9, 2), flat('#ffffff'), 0.16))
    # A thin light rule and the folder motif near the top.
    layers.append((rounded_rect(24, 132, 134, 133.5, 0.7), flat('#ffffff'), 0.25))
    layers += folder_layers(scale=0.40, ox=28, oy=22)
    pixels = render(w, h, layers, background=background)
    grid, colours = quantize(pixels, 256, transparent=False, dither=True)
    write_xpm(os.path.join(HERE, 'side_image.xpm.h'), 'kSideImageXpm', grid, colours, False,
              'Side picture of the text pages, 158 x 286.')


if __name__ == '__main__':
    draw_icon()
    draw_side_image()
