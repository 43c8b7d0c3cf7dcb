#!/usr/bin/env python3
"""Writes win/tapewell.ico: icon 128 of the Windows program, a tape reel with a
red record dot, as the template's two 16-colour images (32 x 32 and 16 x 16)
and, for Explorer's larger views, a smoothed 48 x 48 image in true colour and a
256 x 256 one stored as PNG (as Windows expects the largest size).
Usage: python3 win/make_icon.py win/tapewell.ico"""
import struct
import sys
import zlib

# The 16-colour palette of the system (blue, green, red, reserved).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
           (0, 255, 255), (255, 255, 255)]
BLACK, DARK_GREY, LIGHT_GREY, RED, WHITE = 0, 8, 7, 9, 15


def pixel(size, x, y):
    """Palette index at (x, y), or None where the icon is transparent."""
    s = size / 32.0
    cx, cy = 16 * s - 0.5, 16 * s - 0.5
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    r = 15 * s
    if d2 > r * r:
        return None
    if d2 > (r - 1.6 * s) ** 2:
        return BLACK
    # the record dot in the lower right
    if (x - 22 * s) ** 2 + (y - 22 * s) ** 2 <= (5 * s) ** 2:
        return RED
    if d2 <= (2.5 * s) ** 2:
        return BLACK
    # three spoke holes of the reel
    for hx, hy in ((16, 8.5), (9.5, 19.5), (22.5, 19.5)):
        if (x - hx * s) ** 2 + (y - hy * s) ** 2 <= (3.2 * s) ** 2:
            return DARK_GREY
    return LIGHT_GREY if d2 > (7 * s) ** 2 else WHITE


def image(size):
    rows_xor, rows_and = [], []
    for y in reversed(range(size)):  # bottom-up
        indices = [pixel(size, x, y) for x in range(size)]
        xor = bytearray()
        for x in range(0, size, 2):
            a, b = indices[x] or 0, indices[x + 1] or 0
            xor.append(a << 4 | b)
        xor += b"\0" * (-len(xor) % 4)
        mask = bytearray((size + 31) // 32 * 4)
        for x, index in enumerate(indices):
            if index is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        rows_xor.append(bytes(xor))
        rows_and.append(bytes(mask))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + b"".join(rows_xor) + b"".join(rows_and)


SUBSAMPLES = 4  # per axis, for the smoothed edges of the large images


def rgba(size, x, y):
    """Colour and opacity at (x, y), averaged over SUBSAMPLES x SUBSAMPLES points."""
    total = [0, 0, 0, 0]
    for sy in range(SUBSAMPLES):
        for sx in range(SUBSAMPLES):
            index = pixel(size, x - 0.5 + (sx + 0.5) / SUBSAMPLES, y - 0.5 + (sy + 0.5) / SUBSAMPLES)
            if index is None:
                continue
            r, g, b = PALETTE[index]
            total[0] += r
            total[1] += g
            total[2] += b
            total[3] += 1
    n = total[3]
    if n == 0:
        return (0, 0, 0, 0)
    return (total[0] // n, total[1] // n, total[2] // n, 255 * n // SUBSAMPLES ** 2)


def true_colour_image(size):
    """A 32-bit BMP image with its alpha channel (and the AND mask Windows still reads)."""
    rows, masks = [], []
    for y in reversed(range(size)):
        row = bytearray()
        mask = bytearray((size + 31) // 32 * 4)
        for x in range(size):
            r, g, b, a = rgba(size, x, y)
            row += bytes((b, g, r, a))
            if a == 0:
                mask[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
        masks.append(bytes(mask))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"".join(masks)


def png_image(size):
    """A PNG image in true colour with alpha."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # no filter
        for x in range(size):
            raw += bytes(rgba(size, x, y))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main(path):
    # (size, colours in the directory entry, bits per pixel, data); 256 is written as 0.
    images = [(32, 16, 4, image(32)), (16, 16, 4, image(16)), (48, 0, 32, true_colour_image(48)),
              (256, 0, 32, png_image(256))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, colours, bits, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b"".join(image[3] for image in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
