#!/usr/bin/env python3
"""Draws the application icon (icon 128): a gold coin with a rising price line.

Output (committed, shipped next to the program):
  client/res/tickora.png   48 x 48 RGBA; the window layer scales it for the
                           window icons and the tray.

Standard library only; run from anywhere: python3 tools/artwork/make_icon.py
"""
import math
import os
import struct
import zlib

SIZE = 48
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = os.path.join(ROOT, "client", "res", "tickora.png")

# The price line, in coin coordinates (0..1 across the coin's box).
LINE = [(0.18, 0.70), (0.38, 0.52), (0.52, 0.62), (0.80, 0.28)]


def dist_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def pixel(x, y):
    """Colour of one pixel, sampled 4 x 4 for smooth edges."""
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(4):
        for sx in range(4):
            u = (x + (sx + 0.5) / 4) / SIZE
            v = (y + (sy + 0.5) / 4) / SIZE
            r = math.hypot(u - 0.5, v - 0.5)
            if r > 0.47:
                continue
            if r > 0.41:  # rim
                c = (184, 124, 20)
            else:  # face, lighter towards the top left
                shade = 1.0 - 0.35 * (u + v) / 2
                c = (int(250 * shade + 5), int(196 * shade + 10), int(40 * shade))
            d = min(dist_to_segment(u, v, *LINE[i], *LINE[i + 1]) for i in range(len(LINE) - 1))
            if d < 0.045 and r <= 0.41:
                c = (178, 24, 24)
            acc[0] += c[0]
            acc[1] += c[1]
            acc[2] += c[2]
            acc[3] += 255
    n = 16
    a = acc[3] / n
    if a == 0:
        return (0, 0, 0, 0)
    return tuple(int(acc[i] / (acc[3] / 255)) for i in range(3)) + (int(a),)


def png(width, height, rows):
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    with open(OUT, "wb") as f:
        f.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
