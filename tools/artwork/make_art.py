#!/usr/bin/env python3
"""Draws the floating window's and the alarm panel's bitmaps and writes the alarm tone.

Output (committed, shipped next to the program):
  client/res/suspend_skin.bmp  bitmap 130: note sheet with a folded top-right corner
                               and the rows CNY, USD, BTC, T/S
  client/res/set_skin.bmp      bitmap 134: the MARKET WARNING panel with two entry
                               lines and two round buttons
  client/res/air.WAV           a short two-tone alarm

Both bitmaps are 105 x 118, 24 bits per pixel, and contain no pure black pixel:
black is the windows' transparent key colour, and the windows stay whole rectangles.
The geometry follows the windows' controls: the labels stand at x 49..97 on the rows
starting at y 26, 47, 68 and 89; the panel's edits cover (50,45)-(95,60) and
(50,66)-(95,81); its buttons are centred 22 and 47 pixels left of the right edge,
22 pixels above the bottom edge.

Standard library only; run from anywhere: python3 tools/artwork/make_art.py
"""
import math
import os
import struct
import wave

W, H = 105, 118
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = os.path.join(ROOT, "client", "res")

# 5 x 7 glyphs, one string of five characters per row.
FONT = {
    "A": [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "B": ["#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "],
    "C": [" ####", "#    ", "#    ", "#    ", "#    ", "#    ", " ####"],
    "D": ["#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "],
    "E": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    "G": [" ####", "#    ", "#    ", "#  ##", "#   #", "#   #", " ####"],
    "I": ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "#####"],
    "K": ["#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"],
    "M": ["#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"],
    "N": ["#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "S": [" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "],
    "T": ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "],
    "U": ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "W": ["#   #", "#   #", "#   #", "# # #", "# # #", "## ##", "#   #"],
    "Y": ["#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "],
    "/": ["    #", "    #", "   # ", "  #  ", " #   ", "#    ", "#    "],
    " ": ["     "] * 7,
}


class Canvas:
    def __init__(self, colour):
        self.px = [[colour] * W for _ in range(H)]

    def set(self, x, y, colour):
        if 0 <= x < W and 0 <= y < H:
            self.px[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills [x0, x1) x [y0, y1)."""
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.set(x, y, colour)

    def hline(self, x0, x1, y, colour):
        self.rect(x0, y, x1, y + 1, colour)

    def disc(self, cx, cy, r, colour, ring=None):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if d <= r:
                    self.set(x, y, ring if ring and d > r - 1.2 else colour)

    def text(self, x, y, s, colour, scale=1, gap=1):
        for ch in s:
            for gy, row in enumerate(FONT[ch]):
                for gx, bit in enumerate(row):
                    if bit == "#":
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + (gx + 1) * scale, y + (gy + 1) * scale, colour)
            x += (5 + gap) * scale

    def save_bmp(self, path):
        for row in self.px:
            assert all(c != (0, 0, 0) for c in row), "pure black is the transparent key"
        stride = (W * 3 + 3) & ~3
        image = bytearray()
        for row in reversed(self.px):  # BMP rows run bottom-up
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            line += b"\0" * (stride - len(line))
            image += line
        header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
        info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(image), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + image)


INK = (40, 40, 48)          # near-black text, never the key colour
PAPER = (255, 246, 196)     # note sheet
PAPER_EDGE = (214, 196, 120)
FOLD = (236, 218, 140)
FOLD_SHADE = (196, 176, 98)
DESK = (250, 250, 250)      # behind the folded-away corner


def floating_window():
    c = Canvas(PAPER)
    # Border of the sheet.
    c.rect(0, 0, W, 1, PAPER_EDGE)
    c.rect(0, H - 1, W, H, PAPER_EDGE)
    c.rect(0, 0, 1, H, PAPER_EDGE)
    c.rect(W - 1, 0, W, H, PAPER_EDGE)
    # Folded top-right corner in the top-right 30 x 30 pixels: the corner beyond the
    # fold line is gone, the turned-over flap lies below it.
    for y in range(30):
        for x in range(W - 30, W):
            dx, dy = W - 1 - x, y  # distance from the right edge, from the top
            if dx + dy < 24:
                c.set(x, y, DESK)
            elif dx + dy == 24:
                c.set(x, y, FOLD_SHADE)
            elif dx <= 24 and dy <= 24:
                # flap: the removed triangle mirrored over the fold line
                c.set(x, y, FOLD_SHADE if dx == 24 or dy == 24 else FOLD)
    # A ruled line across the top of the sheet.
    c.hline(6, 70, 18, PAPER_EDGE)
    # Four labelled rows; the figures stand at x 49..97 beside the captions.
    for i, (label, y) in enumerate(zip(("CNY", "USD", "BTC", "T/S"), (26, 47, 68, 89))):
        c.text(8, y + 3, label, INK)
        c.hline(46, 99, y + 15, PAPER_EDGE)
    return c


PANEL = (232, 238, 246)
PANEL_EDGE = (120, 136, 160)
HEADER = (54, 72, 110)
LAMP = (226, 36, 36)
ENTRY_LINE = (90, 104, 130)


def alarm_panel():
    c = Canvas(PANEL)
    c.rect(0, 0, W, 1, PANEL_EDGE)
    c.rect(0, H - 1, W, H, PANEL_EDGE)
    c.rect(0, 0, 1, H, PANEL_EDGE)
    c.rect(W - 1, 0, W, H, PANEL_EDGE)
    # Header with the red lamp.
    c.rect(1, 1, W - 1, 32, HEADER)
    c.disc(12, 16, 6, LAMP, ring=(255, 160, 160))
    c.text(22, 7, "MARKET", (255, 255, 255))
    c.text(22, 18, "WARNING", (255, 255, 255))
    # Two rows with entry lines under the edits (50,45)-(95,60) and (50,66)-(95,81).
    c.text(10, 49, "CNY", INK)
    c.hline(48, 97, 61, ENTRY_LINE)
    c.text(10, 70, "USD", INK)
    c.hline(48, 97, 82, ENTRY_LINE)
    # Round buttons centred 47 (close, keeps the thresholds) and 22 (clear) pixels
    # left of the right edge, 22 pixels above the bottom.
    cy = H - 22
    close_x, clear_x = W - 47, W - 22
    c.disc(close_x, cy, 7.5, (60, 160, 80), ring=(30, 100, 50))
    c.disc(clear_x, cy, 7.5, (210, 60, 60), ring=(140, 30, 30))
    white = (255, 255, 255)
    for i in range(-3, 4):  # a cross on the clear button
        c.set(int(clear_x) + i, int(cy) + i, white)
        c.set(int(clear_x) + i, int(cy) - i, white)
    for i in range(0, 3):   # a tick on the close button
        c.set(int(close_x) - 3 + i, int(cy) + i, white)
    for i in range(0, 5):
        c.set(int(close_x) - 1 + i, int(cy) + 2 - i, white)
    return c


def alarm_tone(path):
    """Three short two-tone beeps, 16-bit mono at 22050 Hz, about 0.9 s."""
    rate = 22050
    frames = bytearray()
    for beep in range(3):
        for freq in (988.0, 740.0):
            n = int(rate * 0.12)
            for i in range(n):
                env = min(1.0, i / 200.0, (n - i) / 200.0)
                v = int(12000 * env * math.sin(2 * math.pi * freq * i / rate))
                frames += struct.pack("<h", v)
        frames += b"\0\0" * int(rate * 0.06)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def main():
    os.makedirs(OUT, exist_ok=True)
    floating_window().save_bmp(os.path.join(OUT, "suspend_skin.bmp"))
    alarm_panel().save_bmp(os.path.join(OUT, "set_skin.bmp"))
    alarm_tone(os.path.join(OUT, "air.WAV"))


if __name__ == "__main__":
    main()
