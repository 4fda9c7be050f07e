#!/usr/bin/env python3
"""Writes the three built-in textures, resources/wood.jpg (476 x 1066, vertical
brown planks), resources/metal.jpg (652 x 422, scratched and stained steel) and
resources/pattern.jpg (512 x 512, an 8 x 8 grid of coloured squares numbered 1
to 8, each row shifted by one square, over a fine grid).

Each image is drawn procedurally into a PPM and encoded with cjpeg as a
baseline JFIF file with luminance sampled 2 x 2 and chrominance 1 x 1. The
drawing is deterministic (fixed seeds, no library randomness), so running the
script again gives the same files with the same cjpeg.

usage: tools/make_textures.py [OUTPUT_FOLDER]   (default: resources/)
"""
import math
import os
import subprocess
import sys
import tempfile


def hash2(ix, iy, seed):
    """A repeatable pseudo-random value in [0, 1) for a lattice point."""
    h = (ix * 374761393 + iy * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    h ^= h >> 16
    return (h & 0xFFFFFF) / float(0x1000000)


def value_noise(x, y, seed):
    """Smoothly interpolated lattice noise in [0, 1)."""
    ix, iy = math.floor(x), math.floor(y)
    fx, fy = x - ix, y - iy
    sx, sy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
    a = hash2(ix, iy, seed)
    b = hash2(ix + 1, iy, seed)
    c = hash2(ix, iy + 1, seed)
    d = hash2(ix + 1, iy + 1, seed)
    top = a + (b - a) * sx
    bottom = c + (d - c) * sx
    return top + (bottom - top) * sy


def fractal(x, y, seed, octaves):
    total, amplitude, norm = 0.0, 1.0, 0.0
    for o in range(octaves):
        total += value_noise(x, y, seed + o * 31) * amplitude
        norm += amplitude
        x *= 2.0
        y *= 2.0
        amplitude *= 0.5
    return total / norm


class Rng:
    """A small linear congruential generator, the same on every platform."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state / 4294967296.0

    def uniform(self, low, high):
        return low + (high - low) * self.next()


def clamp(v):
    return 0 if v < 0 else (255 if v > 255 else int(v + 0.5))


# ---- wood ---------------------------------------------------------------------

def draw_wood(width=476, height=1066):
    rng = Rng(7)
    plank_count = 5
    plank_width = width / plank_count
    planks = []
    for p in range(plank_count):
        planks.append({
            "tone": rng.uniform(0.85, 1.12),
            "hue": rng.uniform(-0.06, 0.06),
            "centre": rng.uniform(0.2, 0.8) * plank_width,
            "ring_scale": rng.uniform(0.09, 0.16),
            "phase": rng.uniform(0, 50),
            "joint": rng.uniform(0.25, 0.75) * height,
            "knots": [(rng.uniform(0.25, 0.75) * plank_width, rng.uniform(0.05, 0.95) * height,
                       rng.uniform(7, 14)) for _ in range(1 + int(rng.next() * 2))],
        })
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            p = min(int(x / plank_width), plank_count - 1)
            plank = planks[p]
            lx = x - p * plank_width
            # Grain: rings of a log cut along its length, bent by slow noise
            # and pulled around the knots.
            bend = (fractal(lx * 0.02, y * 0.004 + p * 13, 11, 3) - 0.5) * 18
            dx = lx - plank["centre"] + bend
            dist = math.sqrt(dx * dx + (y * 0.02) ** 2 * 4) * plank["ring_scale"] * 3 + plank["phase"]
            for kx, ky, kr in plank["knots"]:
                ddx, ddy = lx - kx, (y - ky) * 0.45
                d2 = ddx * ddx + ddy * ddy
                if d2 < (kr * 4) ** 2:
                    dist += (kr * 4 - math.sqrt(d2)) * 0.35
            ring = 0.5 + 0.5 * math.sin(dist)
            ring = ring ** 3
            fibre = fractal(lx * 0.6, y * 0.02, 23 + p, 2)
            shade = plank["tone"] * (0.78 + 0.22 * fibre - 0.28 * ring)
            r = 150 * shade * (1 + plank["hue"])
            g = 96 * shade
            b = 52 * shade * (1 - plank["hue"])
            # Knot cores are darker.
            for kx, ky, kr in plank["knots"]:
                ddx, ddy = lx - kx, (y - ky) * 0.45
                if ddx * ddx + ddy * ddy < kr * kr:
                    r, g, b = r * 0.55, g * 0.5, b * 0.45
            # Grooves between planks and a butt joint in each plank.
            edge = min(lx, plank_width - lx)
            if edge < 2.0:
                r, g, b = r * 0.35, g * 0.3, b * 0.3
            elif edge < 4.0:
                r, g, b = r * 0.8, g * 0.78, b * 0.78
            if abs(y - plank["joint"]) < 1.5:
                r, g, b = r * 0.35, g * 0.3, b * 0.3
            row += bytes((clamp(r), clamp(g), clamp(b)))
        rows.append(row)
    return width, height, rows


# ---- metal --------------------------------------------------------------------

def draw_metal(width=652, height=422):
    rng = Rng(19)
    scratches = []
    for _ in range(140):
        x0, y0 = rng.uniform(0, width), rng.uniform(0, height)
        angle = rng.uniform(-0.5, 0.5) + (math.pi / 2 if rng.next() < 0.25 else 0)
        length = rng.uniform(15, 160)
        depth = rng.uniform(-40, 45)
        scratches.append((x0, y0, math.cos(angle), math.sin(angle), length, depth))
    # Scratches drawn into a buffer of brightness offsets.
    offset = [[0.0] * width for _ in range(height)]
    for x0, y0, cx, cy, length, depth in scratches:
        steps = int(length * 2)
        for s in range(steps):
            t = s / 2.0
            x, y = int(x0 + cx * t), int(y0 + cy * t)
            if 0 <= x < width and 0 <= y < height:
                fade = math.sin(math.pi * s / steps)
                offset[y][x] += depth * fade
    rivets = [(22, 22), (width - 23, 22), (22, height - 23), (width - 23, height - 23)]
    rows = []
    for y in range(height):
        row = bytearray()
        streak_row = fractal(0.5, y * 0.7, 5, 3)
        for x in range(width):
            # Brushed finish: noise stretched along the rows.
            brushed = 0.6 * streak_row + 0.4 * fractal(x * 0.01, y * 0.9, 7, 2)
            base = 138 + 52 * (brushed - 0.5) + 14 * (x / width - 0.5)
            base += offset[y][x]
            r, g, b = base * 0.97, base * 1.0, base * 1.05
            # Stains: slow blotches of brown rust and darker water marks.
            rust = fractal(x * 0.012, y * 0.012, 41, 4)
            if rust > 0.58:
                k = min((rust - 0.58) * 4.0, 1.0)
                r = r * (1 - k) + 125 * k
                g = g * (1 - k) + 78 * k
                b = b * (1 - k) + 45 * k
            # Dried water marks: a faint darker pool with a soft tide line.
            water = fractal(x * 0.015 + 9, y * 0.015, 53, 3)
            tide = max(0.0, 1.0 - abs(water - 0.64) / 0.02) * 0.10
            pool = 0.04 if water > 0.64 else 0.0
            r, g, b = r * (1 - tide - pool), g * (1 - tide - pool), b * (1 - tide * 1.2 - pool)
            # A bevelled border and four rivets.
            edge = min(x, y, width - 1 - x, height - 1 - y)
            if edge < 6:
                light = 1.25 if (x < 6 or y < 6) and x + y < width else 0.7
                r, g, b = r * light, g * light, b * light
            for rx, ry in rivets:
                d = math.hypot(x - rx, y - ry)
                if d < 9:
                    light = 1.0 + 0.45 * ((rx - x) + (ry - y)) / 9.0
                    r, g, b = 150 * light, 152 * light, 158 * light
                elif d < 11:
                    r, g, b = r * 0.6, g * 0.6, b * 0.6
            row += bytes((clamp(r), clamp(g), clamp(b)))
        rows.append(row)
    return width, height, rows


# ---- pattern ------------------------------------------------------------------

DIGITS = {
    1: ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    2: ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    3: ["11111", "00010", "00100", "00010", "00001", "10001", "01110"],
    4: ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    5: ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    6: ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    7: ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    8: ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
}

COLOURS = [
    (220, 50, 47),    # red
    (245, 140, 30),   # orange
    (240, 210, 40),   # yellow
    (80, 180, 60),    # green
    (40, 170, 170),   # teal
    (50, 100, 210),   # blue
    (130, 70, 190),   # violet
    (220, 80, 160),   # pink
]


def draw_pattern(size=512):
    cell = size // 8
    scale = 5
    glyph_w, glyph_h = 5 * scale, 7 * scale
    rows = []
    for y in range(size):
        row = bytearray()
        cy, ly = y // cell, y % cell
        for x in range(size):
            cx, lx = x // cell, x % cell
            index = (cx + cy) % 8   # each row shifted by one square
            r, g, b = COLOURS[index]
            # The number, centred, in white with a dark outline.
            gx, gy = lx - (cell - glyph_w) // 2, ly - (cell - glyph_h) // 2
            inside = 0 <= gx < glyph_w and 0 <= gy < glyph_h and \
                DIGITS[index + 1][gy // scale][gx // scale] == "1"
            if inside:
                r, g, b = 255, 255, 255
            else:
                near = False
                for ox, oy in ((-2, 0), (2, 0), (0, -2), (0, 2)):
                    hx, hy = gx + ox, gy + oy
                    if 0 <= hx < glyph_w and 0 <= hy < glyph_h and \
                            DIGITS[index + 1][hy // scale][hx // scale] == "1":
                        near = True
                        break
                if near:
                    r, g, b = r // 3, g // 3, b // 3
                # The fine grid every 8 pixels, and the squares' borders.
                if lx == 0 or ly == 0 or lx == cell - 1 or ly == cell - 1:
                    r, g, b = 30, 30, 30
                elif x % 8 == 0 or y % 8 == 0:
                    r, g, b = (r * 3 + 255) // 4, (g * 3 + 255) // 4, (b * 3 + 255) // 4
            row += bytes((r, g, b))
        rows.append(row)
    return size, size, rows


def encode(image, path):
    width, height, rows = image
    with tempfile.NamedTemporaryFile(suffix=".ppm", delete=False) as ppm:
        ppm.write(b"P6\n%d %d\n255\n" % (width, height))
        for row in rows:
            ppm.write(row)
        name = ppm.name
    try:
        subprocess.run(["cjpeg", "-quality", "90", "-sample", "2x2,1x1,1x1", "-baseline",
                        "-optimize", "-outfile", path, name], check=True)
    finally:
        os.unlink(name)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    encode(draw_wood(), os.path.join(out, "wood.jpg"))
    encode(draw_metal(), os.path.join(out, "metal.jpg"))
    encode(draw_pattern(), os.path.join(out, "pattern.jpg"))


if __name__ == "__main__":
    main()
