#!/usr/bin/env python3
"""Draws Sheaf's pictures as PNG files: the window icon (a cyan snowflake on
black; 16 and 32 px for the window, 48, 64 and 128 px more for the desktop's
menus) and the opened-folder picture of the folder buttons (16 x 15 px).
Plain Python, no imaging library: run it from this folder."""
import math
import struct
import zlib


def png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples."""
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def snowflake(size):
    c = (size - 1) / 2.0
    arm = size * 0.45
    segments = []
    for k in range(6):
        a = math.radians(90 + 60 * k)
        ux, uy = math.cos(a), -math.sin(a)
        segments.append((c, c, c + ux * arm, c + uy * arm))
        # two pairs of side branches on every arm
        for along, length in ((0.45, 0.28), (0.72, 0.2)):
            bx, by = c + ux * arm * along, c + uy * arm * along
            for turn in (-50, 50):
                b = a + math.radians(turn)
                segments.append((bx, by, bx + math.cos(b) * arm * length,
                                 by - math.sin(b) * arm * length))
    width = 0.55 if size <= 16 else max(0.9, size / 36)
    black, cyan, dark = (0, 0, 0, 255), (0, 255, 255, 255), (0, 128, 128, 255)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            d = min(segment_distance(x, y, *s) for s in segments)
            row.append(cyan if d <= width else dark if d <= width + 0.6 else black)
        rows.append(row)
    return rows


def open_folder():
    # 16 x 15: a yellow folder whose front flap leans open, dark outline.
    art = [
        "................",
        "................",
        ".#####..........",
        "#yyyyy#.........",
        "#yyyyyy######...",
        "#yYYYYYYYYYYy#..",
        "#yY###########..",
        "#yY#oooooooooo#.",
        "#y#oooooooooo#..",
        "#y#ooooooooo#...",
        "##oooooooooo#...",
        "#oooooooooo#....",
        "############....",
        "................",
        "................",
    ]
    colours = {".": (0, 0, 0, 0), "#": (64, 48, 0, 255), "y": (255, 224, 96, 255),
               "Y": (255, 255, 192, 255), "o": (240, 192, 48, 255)}
    return [[colours[ch] for ch in line] for line in art]


if __name__ == "__main__":
    for size in (16, 32, 48, 64, 128):
        png(f"sheaf-{size}.png", size, size, snowflake(size))
    png("folder-open.png", 16, 15, open_folder())
