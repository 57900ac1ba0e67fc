#!/usr/bin/env python3
"""Draws the program icon: a rounded teal tile with a white play triangle
and an orange arrow pointing down into a tray ("take the element home").
Writes an icon file with three 32-bit images: 48, 32 and 16 pixels."""
import struct
import sys


def lerp(a, b, t):
    return a + (b - a) * t


def coverage(inside, x, y, samples=4):
    """Fraction of the pixel (x, y) covered by the shape, by supersampling."""
    hit = 0
    for i in range(samples):
        for j in range(samples):
            if inside(x + (i + 0.5) / samples, y + (j + 0.5) / samples):
                hit += 1
    return hit / (samples * samples)


def draw(size):
    s = size / 48.0
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def tile(px, py):
        r = 9 * s
        x0, y0, x1, y1 = 2 * s, 2 * s, size - 2 * s, size - 2 * s
        cx = min(max(px, x0 + r), x1 - r)
        cy = min(max(py, y0 + r), y1 - r)
        return x0 <= px <= x1 and y0 <= py <= y1 and (px - cx) ** 2 + (py - cy) ** 2 <= r * r

    def play(px, py):  # triangle pointing right
        ax, ay, bx, by, cx, cy = 15 * s, 9 * s, 15 * s, 29 * s, 32 * s, 19 * s
        def side(x1, y1, x2, y2):
            return (x2 - x1) * (py - y1) - (y2 - y1) * (px - x1)
        d1, d2, d3 = side(ax, ay, bx, by), side(bx, by, cx, cy), side(cx, cy, ax, ay)
        return (d1 <= 0 and d2 <= 0 and d3 <= 0) or (d1 >= 0 and d2 >= 0 and d3 >= 0)

    def arrow(px, py):  # down arrow into a tray at the bottom right
        shaft = 30 * s <= px <= 36 * s and 24 * s <= py <= 34 * s
        head = py >= 33 * s and py <= 41 * s and abs(px - 33 * s) <= (41 * s - py) * 1.0
        tray = 25 * s <= px <= 41 * s and 41 * s <= py <= 44 * s
        return shaft or head or tray

    for y in range(size):
        for x in range(size):
            a_tile = coverage(tile, x, y)
            if a_tile == 0:
                continue
            t = y / size
            base = (int(lerp(0x1F, 0x0B, t)), int(lerp(0xA3, 0x6E, t)), int(lerp(0xB5, 0x84, t)))
            r, g, b = base
            a_play = coverage(play, x, y)
            r, g, b = (lerp(r, 255, a_play), lerp(g, 255, a_play), lerp(b, 255, a_play))
            a_arrow = coverage(arrow, x, y)
            r, g, b = (lerp(r, 0xFF, a_arrow), lerp(g, 0x9A, a_arrow), lerp(b, 0x1F, a_arrow))
            pixels[y][x] = (int(r), int(g), int(b), int(round(255 * a_tile)))
    return pixels


def image_bytes(size):
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):  # bottom-up rows
        for (r, g, b, a) in row:
            xor += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    and_mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bits
    return header + bytes(xor) + bytes(and_mask)


def main(path):
    sizes = (48, 32, 16)
    images = [image_bytes(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        # Colour count 0: 32-bit images have no palette.
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'resources/program.ico')
