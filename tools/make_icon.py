#!/usr/bin/env python3
"""Writes resources/app.ico: the program's icon, 32 x 32 and 16 x 16 pixels,
32-bit colour with an AND mask: three hair ribbons curling over a blue tile."""
import math
import os
import struct
import sys


def render(size):
    """Rows of (b, g, r, a) tuples, top row first."""
    s = size / 32.0
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            # The tile: a square with rounded corners and a vertical shade.
            cx, cy = (x + 0.5) / s, (y + 0.5) / s
            dx = max(4 - cx, 0, cx - 28)
            dy = max(4 - cy, 0, cy - 28)
            inside = dx * dx + dy * dy <= 16
            if not inside:
                row.append((0, 0, 0, 0))
                continue
            shade = int(150 - cy * 3)
            pixel = [shade + 60, shade // 3, 20]
            # Three strands: sine curves, thicker at the root.
            for n, colour in enumerate(((80, 230, 255), (255, 255, 120), (120, 255, 140))):
                base = 9 + n * 7
                curve = base + math.sin((cx - 4) / 24.0 * 4.0 + n) * 3.0
                width = 2.2 - (cx - 4) / 24.0 * 1.4
                if 4 <= cx <= 28 and abs(cy - curve) <= width / 2 + 0.4:
                    pixel = [colour[2], colour[1], colour[0]]
            row.append((pixel[0], pixel[1], pixel[2], 255))
        rows.append(row)
    return rows


def icon_image(size):
    rows = render(size)
    xor = bytearray()
    for row in reversed(rows):  # bottom-up
        for b, g, r, a in row:
            xor += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + xor + mask


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources", "app.ico")
    images = [icon_image(32), icon_image(16)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip((32, 16), images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, "wb") as f:
        f.write(directory + entries + b"".join(images))


if __name__ == "__main__":
    main()
