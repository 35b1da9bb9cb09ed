#!/usr/bin/env python3
"""Writes quillmark.ico: the window icon, one 120 x 128 image at 32 bits per pixel.

A white quill on an indigo rounded square, its nib drawing a short stroke.
Drawn with 4 x 4 samples per pixel for smooth edges; the output is the same on
every run.

    python3 app/resources/make-window-icon.py > app/resources/quillmark.ico
"""
import math
import struct
import sys

WIDTH, HEIGHT = 120, 128
SAMPLES = 4

BACKGROUND = (59, 75, 168)
FEATHER = (250, 250, 245)
SHAFT = (40, 44, 70)
INK = (250, 200, 70)


def inside_rounded_square(x, y):
    left, top, right, bottom, radius = 2, 6, 118, 122, 22
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return left <= x <= right and top <= y <= bottom and (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def quill_part(x, y):
    """What of the quill covers (x, y): 'feather', 'shaft', 'nib' or None."""
    # Axis from the nib (lower left) to the tip (upper right).
    ax, ay, bx, by = 30.0, 96.0, 98.0, 18.0
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    u = (x - ax) * ux + (y - ay) * uy        # along the axis
    v = -(x - ax) * uy + (y - ay) * ux       # across it
    t = u / length
    if 0.0 <= t <= 1.0 and abs(v) <= 1.6:
        return "shaft"
    if 0.22 <= t <= 1.0:
        s = (t - 0.22) / 0.78
        half = 19.0 * math.sin(math.pi * s) ** 0.7 * (1.0 - 0.35 * s)
        # Two notches cut into the vane, as a feather has.
        notch = any(abs(s - c) < 0.025 and (v > 0) == side for c, side in ((0.35, True), (0.6, False)))
        if abs(v) <= half and not notch:
            return "feather"
    if -0.12 <= t < 0.0 and abs(v) <= 3.2 * (t + 0.12) / 0.12:
        return "nib"
    return None


def in_ink(x, y):
    # A wave under the nib: the mark the quill leaves.
    return 14 <= x <= 60 and abs(y - (106 + 4 * math.sin((x - 14) / 46 * 2 * math.pi))) <= 1.8


def pixel(px, py):
    totals = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            if not inside_rounded_square(x, y):
                continue
            part = quill_part(x, y)
            colour = {"feather": FEATHER, "shaft": SHAFT, "nib": SHAFT}.get(part)
            if colour is None:
                colour = INK if in_ink(x, y) else BACKGROUND
            for i in range(3):
                totals[i] += colour[i]
            totals[3] += 1
    covered = totals[3]
    if covered == 0:
        return (0, 0, 0, 0)
    alpha = round(255 * covered / SAMPLES ** 2)
    return tuple(round(totals[i] / covered) for i in range(3)) + (alpha,)


def main():
    rows = []
    for py in range(HEIGHT - 1, -1, -1):  # bottom-up, as the DIB stores it
        row = bytearray()
        for px in range(WIDTH):
            r, g, b, a = pixel(px, py)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    mask_row = ((WIDTH + 31) // 32) * 4
    mask = bytes(mask_row * HEIGHT)  # all opaque: the alpha channel decides
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, 2 * HEIGHT, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", WIDTH, HEIGHT, 0, 0, 1, 32, len(image), 6 + 16)
    sys.stdout.buffer.write(directory + entry + image)


if __name__ == "__main__":
    main()
