#!/usr/bin/env python3
"""Writes ZorviUpdate.ico: the program's icon, a yellow lightning bolt (the Start
button's picture) on a blue rounded square, at 16, 32 and 48 pixels.

Each image is a 32-bit BMP inside the ICO container (BITMAPINFOHEADER with double
height, bottom-up BGRA rows, then the 1-bit AND mask, all zero since alpha rules).
Pixels are 4 x 4 supersampled for smooth edges. Run: python3 make-icon.py [out.ico]
"""
import struct
import sys

# The bolt on a 24 x 24 design grid, the same outline as the button glyph
# (win32/ui/Glyph.cpp).
BOLT = [(15, 1), (7, 12), (12, 12), (5, 23), (19, 9), (13, 9), (19, 1)]
DESIGN = 24.0
SAMPLES = 4

BLUE = (40, 80, 190)
YELLOW = (255, 230, 0)
OUTLINE = (128, 80, 0)


def inside_polygon(x, y, points):
    result = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            result = not result
        j = i
    return result


def inside_rounded_square(x, y, size):
    radius = size * 0.2
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def shrink(points, factor):
    mx = sum(p[0] for p in points) / len(points)
    my = sum(p[1] for p in points) / len(points)
    return [(mx + (x - mx) * factor, my + (y - my) * factor) for x, y in points]


def pixel(px, py, size):
    """BGRA of one pixel: coverage-weighted mix of square, outline and bolt."""
    bolt = [(x * size / DESIGN, y * size / DESIGN) for x, y in BOLT]
    core = shrink(bolt, 0.82)
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            if inside_polygon(x, y, core):
                color = YELLOW
            elif inside_polygon(x, y, bolt):
                color = OUTLINE
            elif inside_rounded_square(x, y, size):
                color = BLUE
            else:
                continue
            for k in range(3):
                acc[k] += color[k]
            acc[3] += 255
    n = SAMPLES * SAMPLES
    alpha = acc[3] / n
    if alpha == 0:
        return bytes(4)
    r, g, b = (acc[k] / (acc[3] / 255) for k in range(3))
    return bytes((round(b), round(g), round(r), round(alpha)))


def image(size):
    rows = []
    for py in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(pixel(px, py, size) for px in range(size)))
    mask_row = ((size + 31) // 32) * 4  # 1 bit a pixel, rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + bytes(mask_row * size)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "ZorviUpdate.ico"
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))  # reserved, type 1 = icon, count
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        # width, height, colours, reserved, planes, bits, size, offset
        data += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
