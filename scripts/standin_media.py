"""The stand-in service's cover picture and audio, made on the spot.

cover_jpeg() is a baseline JPEG (a record on a dusk-coloured background)
written by a small encoder that keeps only each 8 x 8 block's average colour:
enough for a cover, and no picture library needed. chime_wav() is a short
two-note chime as 16-bit mono PCM.
"""

import io
import math
import struct
import wave

_SIZE = 320  # pixels, a multiple of the 8-pixel block


def _cover_colour(x, y):
    """The cover's RGB colour at a block centre."""
    t = y / _SIZE
    background = (int(40 + 20 * t), int(30 + 110 * t), int(90 + 60 * t))
    dx, dy = x - _SIZE / 2, y - _SIZE / 2
    r = math.hypot(dx, dy)
    if r < 18:
        return (235, 235, 225)  # the spindle hole's rim
    if r < 52:
        return (220, 90, 60)  # the label
    if r < 130:
        groove = 24 if int(r / 6) % 2 else 12
        return (groove, groove, groove + 4)
    return background


def cover_pixel(x, y):
    """The RGB colour the cover shows at pixel (x, y): its 8 x 8 block's."""
    return _cover_colour(x // 8 * 8 + 4, y // 8 * 8 + 4)


def _ycbcr(rgb):
    r, g, b = rgb
    y = 0.299 * r + 0.587 * g + 0.114 * b
    cb = 128 - 0.168736 * r - 0.331264 * g + 0.5 * b
    cr = 128 + 0.5 * r - 0.418688 * g - 0.081312 * b
    return (y, cb, cr)


class _BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.bits = 0
        self.count = 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.bits = (self.bits << 1) | ((value >> i) & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.bits)
                if self.bits == 0xFF:
                    self.out.append(0)  # byte stuffing
                self.bits = 0
                self.count = 0

    def flush(self):
        while self.count:
            self.put(1, 1)  # pad with ones


def _segment(marker, payload):
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def cover_jpeg():
    # One quantisation table of ones: a block's DC coefficient is then
    # 8 x (average - 128), category 0..11.
    dqt = bytes([0]) + bytes([1] * 64)
    sof = struct.pack(">BHHB", 8, _SIZE, _SIZE, 3) + bytes([1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0])
    # DC table: categories 0..11 as the twelve 4-bit codes 0000..1011.
    dc_bits = [0, 0, 0, 12] + [0] * 12
    dht_dc = bytes([0x00] + dc_bits + list(range(12)))
    # AC table: only end-of-block, as the 1-bit code 0.
    dht_ac = bytes([0x10, 1] + [0] * 15 + [0x00])
    sos = bytes([3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0])

    bits = _BitWriter()
    previous = [0, 0, 0]
    blocks = _SIZE // 8
    for by in range(blocks):
        for bx in range(blocks):
            colour = _ycbcr(cover_pixel(bx * 8, by * 8))
            for c in range(3):
                dc = max(-1024, min(1016, round(8 * (colour[c] - 128))))
                diff = dc - previous[c]
                previous[c] = dc
                category = abs(diff).bit_length()
                bits.put(category, 4)
                if category:
                    bits.put(diff if diff >= 0 else diff + (1 << category) - 1, category)
                bits.put(0, 1)  # end of block
    bits.flush()

    jfif = b"JFIF\x00" + struct.pack(">BBBHHBB", 1, 1, 0, 1, 1, 0, 0)
    return (b"\xff\xd8" + _segment(0xE0, jfif) + _segment(0xDB, dqt) + _segment(0xC0, sof) +
            _segment(0xC4, dht_dc) + _segment(0xC4, dht_ac) + _segment(0xDA, sos) + bytes(bits.out) + b"\xff\xd9")


def chime_wav(seconds=1.5, rate=8000):
    frames = bytearray()
    total = int(seconds * rate)
    for i in range(total):
        t = i / rate
        note = 659.25 if t < seconds / 3 else 523.25  # E5, then C5
        fade = 1.0 - i / total
        sample = int(12000 * fade * math.sin(2 * math.pi * note * t))
        frames += struct.pack("<h", sample)
    buffer = io.BytesIO()
    with wave.open(buffer, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))
    return buffer.getvalue()
