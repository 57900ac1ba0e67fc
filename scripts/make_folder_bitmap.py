#!/usr/bin/env python3
"""Draws the directory box's four folder images into one 64x15 bitmap.

Images left to right, 16 pixels each: closed folder, closed folder
highlighted, open folder, open folder highlighted.  Magenta (0xFF00FF) is
the transparent colour.  Usage: make_folder_bitmap.py [output.bmp]
"""
import struct
import sys

WIDTH, HEIGHT, CELL = 64, 15, 16
MAGENTA = (255, 0, 255)
OUTLINE = (128, 96, 0)
OUTLINE_HI = (0, 0, 128)

# One closed and one open folder, 16x15; '.' is transparent.
# o outline, b body, l light face, d dark back, p paper.
CLOSED = [
    "................",
    "................",
    ".ooooo..........",
    "obllllo.........",
    "obbbbbboooooooo.",
    "obllllllllllllo.",
    "oblbbbbbbbbbbbo.",
    "oblbbbbbbbbbbbo.",
    "oblbbbbbbbbbbbo.",
    "oblbbbbbbbbbbbo.",
    "oblbbbbbbbbbbbo.",
    "oblbbbbbbbbbbbo.",
    "obbbbbbbbbbbbbo.",
    "ooooooooooooooo.",
    "................",
]
OPEN = [
    "................",
    "................",
    ".ooooo..........",
    "oddddo..........",
    "odddddoooooooo..",
    "oddpppppppppdo..",
    "oddpppppppppdo..",
    "oddooooooooooooo",
    "odolllllllllllo.",
    "oolbbbbbbbbbbbo.",
    "oolbbbbbbbbbbo..",
    "olbbbbbbbbbbbo..",
    "olbbbbbbbbbbbo..",
    "oooooooooooooo..",
    "................",
]

NORMAL = {"o": OUTLINE, "b": (255, 204, 51), "l": (255, 238, 153), "d": (204, 153, 0), "p": (255, 255, 255)}
HIGHLIGHTED = {"o": OUTLINE_HI, "b": (102, 153, 255), "l": (178, 204, 255), "d": (51, 102, 204), "p": (255, 255, 255)}


def draw(pixels, shape, colours, left):
    for y, row in enumerate(shape):
        for x, mark in enumerate(row):
            if mark != ".":
                pixels[y][left + x] = colours[mark]


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else "resources/folder_images.bmp"
    pixels = [[MAGENTA] * WIDTH for _ in range(HEIGHT)]
    for index, (shape, colours) in enumerate(
        [(CLOSED, NORMAL), (CLOSED, HIGHLIGHTED), (OPEN, NORMAL), (OPEN, HIGHLIGHTED)]
    ):
        draw(pixels, shape, colours, index * CELL)

    row_size = (WIDTH * 3 + 3) & ~3
    image = bytearray()
    for row in reversed(pixels):  # bottom-up rows
        line = bytearray()
        for red, green, blue in row:
            line += bytes((blue, green, red))
        image += line + bytes(row_size - len(line))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(output, "wb") as file:
        file.write(header + info + image)


if __name__ == "__main__":
    main()
