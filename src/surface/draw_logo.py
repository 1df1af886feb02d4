#!/usr/bin/env python3
"""Draws the Folivane logo, a green leaf on a white card, as logo.bmp.

The bitmap is 101 x 69 pixels, 24 bits per pixel, uncompressed, bottom-up rows of 304 bytes
behind a 14-byte file header and a 40-byte BITMAPINFOHEADER: 21,030 bytes in all.
Standard library only; run it from any directory, it writes next to itself.
"""
import math
import os
import struct

WIDTH, HEIGHT = 101, 69
SAMPLES = 4  # supersampling per axis, for smooth edges

WHITE = (255, 255, 255)
LEAF_DARK = (34, 110, 48)
LEAF_LIGHT = (120, 190, 70)
VEIN = (236, 246, 214)
STEM = (92, 64, 36)
RULE = (34, 110, 48)

# The leaf lies along an axis from its stem end to its tip, tilted up to the right.
STEM_END = (22.0, 56.0)
TIP = (86.0, 10.0)
HALF_WIDTH = 0.34  # widest half-width as a share of the leaf's length


def leaf_frame(x, y):
    """Position along the axis (0 at the stem end, 1 at the tip) and signed distance across it."""
    ax, ay = TIP[0] - STEM_END[0], TIP[1] - STEM_END[1]
    length = math.hypot(ax, ay)
    ux, uy = ax / length, ay / length
    dx, dy = x - STEM_END[0], y - STEM_END[1]
    along = (dx * ux + dy * uy) / length
    across = (-dx * uy + dy * ux) / length
    return along, across


def leaf_half_width(t):
    # Rounder near the stem, pointed at the tip.
    if t <= 0.0 or t >= 1.0:
        return 0.0
    return HALF_WIDTH * math.sin(math.pi * t ** 0.8) * (1.0 - 0.25 * t)


def sample(x, y):
    t, s = leaf_frame(x, y)
    w = leaf_half_width(t)
    # stem: a short curved stalk beyond the stem end
    if -0.22 < t <= 0.02:
        bend = 0.02 * (t / 0.22) ** 2
        if abs(s - bend) < 0.018:
            return STEM
    if w > 0.0 and abs(s) < w:
        # midrib
        if abs(s) < 0.012 + 0.01 * (1.0 - t):
            return VEIN
        # side veins: lines running from the midrib towards the tip
        v = (t - 1.1 * abs(s)) * 7.0
        if t > 0.12 and abs(v - round(v)) < 0.055 and abs(s) < 0.85 * w:
            return VEIN
        # shade from the darker edge to the lighter middle
        k = abs(s) / w
        return tuple(round(l + (d - l) * k) for l, d in zip(LEAF_LIGHT, LEAF_DARK))
    # a thin rule under the leaf, like the ground
    if 62.0 <= y < 63.5 and 8.0 <= x < 93.0:
        return RULE
    return WHITE


def render():
    pixels = []
    for row in range(HEIGHT):
        line = []
        for col in range(WIDTH):
            acc = [0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = sample(col + (sx + 0.5) / SAMPLES, row + (sy + 0.5) / SAMPLES)
                    for i in range(3):
                        acc[i] += c[i]
            n = SAMPLES * SAMPLES
            line.append(tuple(round(a / n) for a in acc))
        pixels.append(line)
    return pixels


def encode_bmp(pixels):
    row_bytes = (WIDTH * 3 + 3) // 4 * 4
    image = bytearray()
    for line in reversed(pixels):  # bottom row first
        raw = bytearray()
        for r, g, b in line:
            raw += bytes((b, g, r))
        raw += bytes(row_bytes - len(raw))
        image += raw
    info = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 24, 0, 0, 3780, 3780, 0, 0)
    offset = 14 + len(info)
    header = struct.pack('<2sIHHI', b'BM', offset + len(image), 0, 0, offset)
    return header + info + bytes(image)


def main():
    data = encode_bmp(render())
    assert len(data) == 21030, len(data)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'logo.bmp')
    with open(path, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
