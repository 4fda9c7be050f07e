#!/usr/bin/env python3
"""Writes resources/about.bmp: the About box banner, 240 x 60 pixels, 16 colours,
with the program's name and version over a few hair ribbons."""
import math
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pixelfont import draw_text, text_width  # noqa: E402

WIDTH, HEIGHT = 240, 60
VERSION = "1.0"

# The standard 16-colour palette (blue, green, red, 0 in the file).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GREY, LIGHT, YELLOW, BLUE, CYAN, WHITE, TEAL = 0, 4, 8, 7, 11, 12, 14, 15, 6


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources", "about.bmp")
    image = [[NAVY] * WIDTH for _ in range(HEIGHT)]

    def put(x, y, c):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            image[y][x] = c

    # An ordered-dither shading from navy at the top to blue at the bottom.
    bayer = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]
    for y in range(HEIGHT):
        level = y * 16 // HEIGHT
        for x in range(WIDTH):
            image[y][x] = BLUE if bayer[y % 4][x % 4] < level // 3 else NAVY

    # Hair ribbons: sine strands sweeping below the name and out to the right.
    for s in range(6):
        phase = s * 0.7
        colour = (TEAL, CYAN, YELLOW)[s % 3]
        for x in range(78, WIDTH):
            t = (x - 78) / 162.0
            y = 41 + s * 3 + math.sin(t * 6.0 + phase) * (1 + 3 * t)
            put(x, int(round(y)), colour)

    # The name with a drop shadow, and the version line.
    name = "Quillmere"
    nx = 10
    draw_text(put, nx + 2, 10 + 2, name, 3, BLACK)
    draw_text(put, nx, 10, name, 3, WHITE)
    version = "Version " + VERSION
    draw_text(put, nx + 1, 10 + 21 + 9, version, 1, LIGHT)
    assert text_width(name, 3) < 160

    # A one-pixel frame.
    for x in range(WIDTH):
        put(x, 0, LIGHT)
        put(x, HEIGHT - 1, GREY)
    for y in range(HEIGHT):
        put(0, y, LIGHT)
        put(WIDTH - 1, y, GREY)

    row_bytes = (WIDTH // 2 + 3) & ~3
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom row first
        row = bytearray()
        for x in range(0, WIDTH, 2):
            row.append((image[y][x] << 4) | image[y][x + 1])
        row += b"\0" * (row_bytes - len(row))
        pixels += row
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(pixels), 0, 0, 16, 0)
    with open(out, "wb") as f:
        f.write(header + info + palette + pixels)


if __name__ == "__main__":
    main()
