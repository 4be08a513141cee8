#!/usr/bin/env python3
"""Draws the program's power-symbol icons: an open ring with a bar through
its gap. The ring's colour tells the VM's state, the bar's colour which
remote-access texts the appliance reports. Each icon holds 16, 20, 24 and 32
pixel images so it stays sharp at 100-200 % display scaling.

usage: make_icons.py OUTPUT_DIR
"""
import math
import struct
import sys

SIZES = (16, 20, 24, 32)
GREEN = (0x22, 0xA8, 0x3A)
RED = (0xD8, 0x22, 0x22)
YELLOW = (0xF2, 0xC2, 0x0A)
BLACK = (0x10, 0x10, 0x10)
BLUE = (0x1E, 0x64, 0xC8)

# icon number: (ring, bar)
ICONS = {
    107: (BLUE, BLUE),     # the program itself
    155: (GREEN, RED),     # running, no remote-access connection
    156: (GREEN, BLACK),   # running, server text only
    157: (GREEN, GREEN),   # running, connected
    158: (RED, BLACK),     # stopped or not ready
    159: (YELLOW, BLACK),  # starting
}

SUPER = 4  # supersampling per axis, for smooth edges


def coverage(size, x, y):
    """Which part (ring, bar or none) covers the sample point."""
    c = size / 2.0
    dx, dy = x - c, y - c
    r = math.hypot(dx, dy)
    radius, width = size * 0.36, max(1.6, size * 0.125)
    bar_w = max(1.6, size * 0.13)
    if abs(dx) <= bar_w / 2 and size * 0.06 <= y <= c + size * 0.02:
        return "bar"
    if abs(r - radius) <= width / 2:
        angle = math.degrees(math.atan2(dx, -dy))  # 0 = straight up
        if abs(angle) > 38:
            return "ring"
    return None


def render(size, ring, bar):
    """BGRA rows, bottom-up, as an icon's bitmap wants them."""
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(SUPER):
                for sx in range(SUPER):
                    part = coverage(size, px + (sx + 0.5) / SUPER, py + (sy + 0.5) / SUPER)
                    if part:
                        colour = ring if part == "ring" else bar
                        for i in range(3):
                            acc[i] += colour[i]
                        hits += 1
            alpha = hits / (SUPER * SUPER)
            if hits:
                r, g, b = (acc[i] / hits for i in range(3))
            else:
                r = g = b = 0
            row += bytes((int(b), int(g), int(r), int(round(alpha * 255))))
        rows.append(bytes(row))
    return b"".join(reversed(rows))


def image_entry(size, ring, bar):
    pixels = render(size, ring, bar)
    mask_stride = ((size + 31) // 32) * 4
    and_mask = bytes(mask_stride * size)  # alpha decides; the mask stays clear
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(and_mask), 0, 0, 0, 0)
    return header + pixels + and_mask


def icon_file(ring, bar):
    images = [image_entry(s, ring, bar) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for number, (ring, bar) in ICONS.items():
        with open(f"{sys.argv[1]}/icon{number}.ico", "wb") as f:
            f.write(icon_file(ring, bar))


if __name__ == "__main__":
    main()
