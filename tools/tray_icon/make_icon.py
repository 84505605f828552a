#!/usr/bin/env python3
"""Draws the application icon (resource 134) and writes it as an .ico file.

The picture: a rounded square with a warm vertical gradient, a white play
triangle and, where there is room for them, two broadcast arcs on either side.
Every size is drawn from the same shapes with 4 x 4 supersampling; 16, 32 and
48 px are stored as 32-bit bitmaps (readable by every icon loader), 256 px as
PNG, which is how Windows stores its large images.

Usage: make_icon.py <output.ico>. The output is deterministic, so the
committed qvpushserver.ico must equal a fresh run.
"""
import math
import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)
SUPERSAMPLE = 4
TOP = (255, 122, 69)     # orange
BOTTOM = (214, 32, 46)   # deep red
WHITE = (255, 255, 255)


def rounded_square_distance(x, y, half, radius):
    """Signed distance to a rounded square centred at 0, in unit coordinates."""
    qx = abs(x) - (half - radius)
    qy = abs(y) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def triangle_inside(x, y, size):
    """Play triangle pointing right, centred slightly right of the middle."""
    # Vertices (unit coordinates, y down).
    h = size
    ax, ay = -0.42 * h + 0.08 * h, -0.5 * h
    bx, by = -0.42 * h + 0.08 * h, 0.5 * h
    cx, cy = 0.5 * h + 0.08 * h, 0.0

    def side(px, py, qx, qy, rx, ry):
        return (qx - px) * (ry - py) - (qy - py) * (rx - px)

    d1 = side(ax, ay, bx, by, x, y)
    d2 = side(bx, by, cx, cy, x, y)
    d3 = side(cx, cy, ax, ay, x, y)
    has_neg = d1 < 0 or d2 < 0 or d3 < 0
    has_pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_neg and has_pos)


def arc_inside(x, y, radius, width, spread_deg):
    """Pair of arcs (left and right) of a ring around the centre."""
    r = math.hypot(x, y)
    if abs(r - radius) > width / 2:
        return False
    angle = math.degrees(math.atan2(y, abs(x)))
    return abs(angle) <= spread_deg


def sample(x, y, pixels):
    """Colour and coverage at unit coordinates x, y in [-1, 1]."""
    half, radius = 0.94, 0.36 if pixels >= 32 else 0.30
    if rounded_square_distance(x, y, half, radius) > 0:
        return None
    t = (y + 1.0) / 2.0
    colour = tuple(round(TOP[i] + (BOTTOM[i] - TOP[i]) * t) for i in range(3))
    if pixels >= 32:
        if triangle_inside(x, y, 0.62):
            return WHITE
        for ring in (0.62, 0.84):
            if arc_inside(x, y, ring, 0.085 if pixels >= 48 else 0.10, 38):
                return WHITE
    elif triangle_inside(x, y, 0.95):
        return WHITE
    return colour


def render(pixels):
    """Rows top-down of (r, g, b, a) tuples with premultiplication undone."""
    rows = []
    n = SUPERSAMPLE
    for py in range(pixels):
        row = []
        for px in range(pixels):
            acc = [0, 0, 0]
            covered = 0
            for sy in range(n):
                for sx in range(n):
                    x = ((px + (sx + 0.5) / n) / pixels) * 2.0 - 1.0
                    y = ((py + (sy + 0.5) / n) / pixels) * 2.0 - 1.0
                    c = sample(x, y, pixels)
                    if c is not None:
                        covered += 1
                        for i in range(3):
                            acc[i] += c[i]
            if covered:
                row.append(tuple(round(acc[i] / covered) for i in range(3)) + (round(255 * covered / (n * n)),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bitmap_image(rows):
    """Icon image in bitmap form: header, BGRA rows bottom-up, AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + colour + bytes(mask)


def png_image(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    size = len(rows)
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = [png_image(render(s)) if s >= 256 else bitmap_image(render(s)) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(SIZES, images):
        dim = 0 if s >= 256 else s
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
