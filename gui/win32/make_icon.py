#!/usr/bin/env python3
"""Draws keldar.ico, the program's icon (16, 32 and 48 pixels, 32-bit colour):
two folders, one above the other, with an arrow from each towards the other,
as the Linux window draws it. Run it again after changing the drawing; the
.ico it writes is kept in the repository."""
import struct
import sys

FOLDER = (0xE8, 0xB0, 0x30)
EDGE = (0x80, 0x60, 0x10)
ARROW = (0x20, 0x50, 0xA0)
SAMPLES = 4  # per pixel and axis


def seg_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5


def colour_at(x, y):
    """The colour at (x, y) on the 32-unit drawing, or None outside it."""
    arrows = [((22, 4), (22, 14)), ((19, 11), (22, 14)), ((25, 11), (22, 14)),
              ((10, 28), (10, 18)), ((7, 21), (10, 18)), ((13, 21), (10, 18))]
    for (ax, ay), (bx, by) in arrows:
        if seg_distance(x, y, ax, ay, bx, by) <= 1.25:
            return ARROW
    for left, top in ((2, 3), (14, 18)):
        if left <= x <= left + 16 and top <= y <= top + 11:
            inside = left + 1 <= x <= left + 15 and top + 1 <= y <= top + 10
            return FOLDER if inside else EDGE
    return None


def image(size):
    """The rows of BGRA pixels, bottom row first, as an icon stores them."""
    rows = []
    for py in reversed(range(size)):
        row = bytearray()
        for px in range(size):
            total, hits = [0, 0, 0], 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) * 32 / size,
                                  (py + (sy + 0.5) / SAMPLES) * 32 / size)
                    if c is not None:
                        hits += 1
                        total = [t + v for t, v in zip(total, c)]
            alpha = 255 * hits // (SAMPLES * SAMPLES)
            r, g, b = (t // hits for t in total) if hits else (0, 0, 0)
            row += bytes((b, g, r, alpha))
        rows.append(bytes(row))
    return rows


def icon_entry(size):
    pixels = b"".join(image(size))
    mask_row = ((size + 31) // 32) * 4  # the AND mask: all zero, the alpha decides
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(pixels) + mask_row * size, 0, 0, 0, 0)
    return header + pixels + bytes(mask_row * size)


def main(path):
    sizes = (16, 32, 48)
    images = [icon_entry(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "keldar.ico")
