#!/usr/bin/env python3
"""Draws the edit box's clear button (a red round button with a white cross,
128 x 128) as a binary PPM on standard output. The committed JPEG is made by:

    python3 assets/make_clear_button.py | cjpeg -quality 90 -optimize > assets/clear_button.jpg

(cjpeg from libjpeg-turbo-progs; the drawing is exact integer arithmetic with
4 x 4 supersampling, so the same tools give the same bytes.)
"""
import sys

SIZE = 128
SUB = 4
CENTRE = SIZE * SUB // 2
RADIUS = 60 * SUB           # the red disc
ARM = 30 * SUB              # half length of each bar of the cross
HALF_WIDTH = 7 * SUB        # half thickness of the bars
RED = (220, 30, 30)
WHITE = (255, 255, 255)
BACK = (255, 255, 255)


def colour_at(x, y):
    dx, dy = x - CENTRE, y - CENTRE
    if dx * dx + dy * dy > RADIUS * RADIUS:
        return BACK
    # The cross runs along the diagonals: distance to each diagonal, scaled by sqrt(2).
    u, v = dx + dy, dx - dy
    on_bar = (abs(v) <= HALF_WIDTH * 1.4143 and abs(u) <= ARM * 1.4143) or \
             (abs(u) <= HALF_WIDTH * 1.4143 and abs(v) <= ARM * 1.4143)
    return WHITE if on_bar else RED


def main():
    out = bytearray(b'P6\n%d %d\n255\n' % (SIZE, SIZE))
    for py in range(SIZE):
        for px in range(SIZE):
            acc = [0, 0, 0]
            for sy in range(SUB):
                for sx in range(SUB):
                    c = colour_at(px * SUB + sx, py * SUB + sy)
                    for i in range(3):
                        acc[i] += c[i]
            n = SUB * SUB
            out += bytes((a + n // 2) // n for a in acc)
    sys.stdout.buffer.write(bytes(out))


if __name__ == '__main__':
    main()
