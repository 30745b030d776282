#!/usr/bin/env python3
"""Draws the application icon (a camera inside a turning arrow, drawn on a 32 x 32 grid) and
writes it as tiltwise.ico (Windows resource: 16, 32, 48 and 256 pixels), icons/tiltwise-N.png
(the hicolor theme's sizes, installed on Linux) and TiltwiseIcon.cc (the 32-pixel picture for
the Linux toolkits). Standard library only; run it from anywhere:

    python3 res/make_icon.py
"""
import math
import os
import struct
import zlib

GRID = 32  # the drawing's own units
SIZES = (16, 32, 48, 256)
SUB = 4  # subsamples per pixel side, for smooth edges

ORANGE = (240, 140, 30, 255)
BODY = (55, 71, 79, 255)
BODY_EDGE = (33, 43, 48, 255)
LENS_RING = (120, 144, 156, 255)
LENS = (79, 195, 247, 255)
PUPIL = (1, 87, 155, 255)
SHINE = (225, 245, 254, 255)
LED = (239, 83, 80, 255)

CX, CY = 16.0, 16.0


def in_rounded_rect(x, y, left, top, right, bottom, r):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + r), right - r)
    cy = min(max(y, top + r), bottom - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_triangle(x, y, a, b, c):
    def side(p, q):
        return (x - q[0]) * (p[1] - q[1]) - (p[0] - q[0]) * (y - q[1])

    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def polar(angle_deg, r):
    a = math.radians(angle_deg)
    return (CX + r * math.cos(a), CY - r * math.sin(a))


# The arrow turns counter-clockwise round the camera; its head sits at the end of the gap.
GAP_FROM, GAP_TO = 20.0, 80.0
HEAD_BASE_IN, HEAD_BASE_OUT = polar(GAP_FROM, 9.8), polar(GAP_FROM, 16.7)
_mid = polar(GAP_FROM, 13.25)
_dir = (-math.sin(math.radians(GAP_FROM)), -math.cos(math.radians(GAP_FROM)))
HEAD_TIP = (_mid[0] + 5.5 * _dir[0], _mid[1] + 5.5 * _dir[1])


def colour_at(x, y):
    """The colour of the picture at a point, or None where it is transparent."""
    d = math.hypot(x - CX, y - CY)
    lens_d = math.hypot(x - 16.0, y - 17.0)
    if lens_d <= 1.0 and math.hypot(x - 14.6, y - 15.6) <= 1.0:
        return SHINE
    if lens_d <= 2.0:
        return PUPIL
    if lens_d <= 3.6:
        return LENS
    if lens_d <= 4.8:
        return LENS_RING
    if in_rounded_rect(x, y, 21.0, 12.6, 22.6, 14.2, 0.8):
        return LED
    if in_rounded_rect(x, y, 8.6, 11.6, 23.4, 22.4, 2.0):
        return BODY
    if in_rounded_rect(x, y, 8.0, 11.0, 24.0, 23.0, 2.4):
        return BODY_EDGE
    if in_rounded_rect(x, y, 11.0, 8.0, 16.0, 12.0, 1.0):
        return BODY_EDGE
    if in_triangle(x, y, HEAD_BASE_IN, HEAD_BASE_OUT, HEAD_TIP):
        return ORANGE
    if 12.0 <= d <= 14.5:
        angle = math.degrees(math.atan2(-(y - CY), x - CX)) % 360.0
        if not GAP_FROM <= angle <= GAP_TO:
            return ORANGE
    return None


def render(size):
    scale = GRID / size
    pixels = []
    for py in range(size):
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUB):
                for sx in range(SUB):
                    c = colour_at((px + (sx + 0.5) / SUB) * scale, (py + (sy + 0.5) / SUB) * scale)
                    if c is None:
                        continue
                    a = c[3] / 255.0
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            n = SUB * SUB
            alpha = acc[3] / n
            if alpha <= 0.0:
                pixels.append((0, 0, 0, 0))
            else:
                pixels.append(tuple(int(round(acc[i] / acc[3])) for i in range(3)) +
                              (int(round(alpha * 255)),))
    return pixels


def png(pixels, size):
    raw = b"".join(
        b"\x00" + b"".join(bytes(pixels[y * size + x]) for x in range(size)) for y in range(size))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def bmp(pixels, size):
    # A 32-bit bitmap of twice the height (colour plus mask), BGRA rows from the bottom, then
    # the 1-bit transparency mask, also from the bottom, each row padded to 32 bits.
    xor = b"".join(
        bytes((p[2], p[1], p[0], p[3])) for y in reversed(range(size))
        for p in pixels[y * size:(y + 1) * size])
    mask = b""
    stride = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            if pixels[y * size + x][3] == 0:
                bits |= 1 << (stride * 8 - 1 - x)
        mask += bits.to_bytes(stride, "big")
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0,
                       0, 0) + xor + mask


def ico(images):
    # Bitmaps for the small sizes; the 256-pixel picture as PNG, as the system's icons hold it.
    bodies = [png(p, s) if s >= 256 else bmp(p, s) for s, p in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, _), body in zip(images, bodies):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    return out + b"".join(bodies)


def cpp(pixels, size):
    data = [v for p in pixels for v in p]
    lines = []
    for i in range(0, len(data), 16):
        lines.append("    " + ", ".join("0x%02x" % v for v in data[i:i + 16]) + ",")
    return ("// Written by res/make_icon.py; edit the script, not this file.\n"
            "#include \"res/TiltwiseResources.h\"\n\n"
            "namespace {\n\n"
            "const std::uint8_t kPixels[%d * %d * 4] = {\n%s\n};\n\n"
            "}  // namespace\n\n"
            "const ui::IconImage kTiltwiseIcon = {%d, %d, kPixels};\n" %
            (size, size, "\n".join(lines), size, size))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    images = [(size, render(size)) for size in SIZES]
    os.makedirs(os.path.join(here, "icons"), exist_ok=True)
    for size, pixels in images:
        with open(os.path.join(here, "icons", "tiltwise-%d.png" % size), "wb") as f:
            f.write(png(pixels, size))
    with open(os.path.join(here, "tiltwise.ico"), "wb") as f:
        f.write(ico(images))
    with open(os.path.join(here, "TiltwiseIcon.cc"), "w", newline="\n") as f:
        f.write(cpp(dict(images)[32], 32))


if __name__ == "__main__":
    main()
