#!/usr/bin/env python3
"""Writes the program's icon, songlink.ico, from nothing but arithmetic.

A white eighth note on a round blue face, at 16, 32 and 48 pixels, 32-bit
with alpha. Run from this folder: python3 make_icon.py
The output is committed; the script keeps it reproducible.
"""
import struct


def note_pixel(x, y, size):
    """RGBA of one pixel: blue disc, white note, transparent outside."""
    s = size / 32.0
    cx = cy = size / 2.0 - 0.5
    r = size / 2.0 - 0.5
    dx, dy = x - cx, y - cy
    if dx * dx + dy * dy > r * r:
        return (0, 0, 0, 0)
    # The note: an oval head, a stem, and a flag.
    hx, hy = 12.5 * s, 21.5 * s
    head = ((x - hx) / (4.2 * s)) ** 2 + ((y - hy) / (3.2 * s)) ** 2 <= 1.0
    stem = 15.5 * s <= x <= 17.2 * s and 7 * s <= y <= 21.5 * s
    flag = 17.2 * s <= x <= 22 * s and 7 * s <= y <= 7 * s + (x - 17.2 * s) * 1.2 + 2.5 * s
    if head or stem or flag:
        return (255, 255, 255, 255)
    shade = int(40 * (y / size))
    return (30, 110 - shade, 210 - shade, 255)


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up rows
        row = b""
        for x in range(size):
            r, g, b, a = note_pixel(x, y, size)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)  # alpha decides; the AND mask is clear
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main():
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open("songlink.ico", "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
