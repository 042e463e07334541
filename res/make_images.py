#!/usr/bin/env python3
"""Draws Tamber's toolbar bitmaps, list state icons and splash picture (no image libraries).

Run from anywhere: python3 res/make_images.py; the files are written beside this script.
Toolbar bitmaps are 16x16 (and 24, 32, 48) 8-bit BMPs on light gray (192,192,192), which the toolbar maps to the
button face; state icons are 16 to 48 pixels square 32-bit ICOs with alpha; the splash is a 24-bit BMP.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4  # supersampling factor


class Canvas:
    def __init__(self, size):
        self.n = size * SS
        self.size = size
        self.px = [[(0, 0, 0, 0)] * self.n for _ in range(self.n)]
        self.s = self.n / 16.0  # shapes are given on a 16-unit grid

    def _blend(self, x, y, c):
        if 0 <= x < self.n and 0 <= y < self.n:
            r, g, b, a = c
            if a >= 255:
                self.px[y][x] = (r, g, b, 255)
            else:
                br, bg, bb, ba = self.px[y][x]
                t = a / 255.0
                oa = a + ba * (1 - t)
                if oa <= 0:
                    return
                mix = lambda s, d: int((s * a + d * ba * (1 - t)) / oa)
                self.px[y][x] = (mix(r, br), mix(g, bg), mix(b, bb), int(oa))

    def fill(self, inside, c):
        for y in range(self.n):
            for x in range(self.n):
                if inside((x + 0.5) / self.s, (y + 0.5) / self.s):
                    self._blend(x, y, c)

    def rect(self, x0, y0, x1, y1, c):
        self.fill(lambda x, y: x0 <= x <= x1 and y0 <= y <= y1, c)

    def circle(self, cx, cy, r, c, inner=None):
        def f(x, y):
            d = math.hypot(x - cx, y - cy)
            return d <= r and (inner is None or d >= inner)
        self.fill(f, c)

    def poly(self, pts, c):
        def f(x, y):
            inside = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    inside = not inside
                j = i
            return inside
        self.fill(f, c)

    def line(self, x0, y0, x1, y1, w, c):
        def f(x, y):
            dx, dy = x1 - x0, y1 - y0
            L = dx * dx + dy * dy
            t = max(0, min(1, ((x - x0) * dx + (y - y0) * dy) / L)) if L else 0
            return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= w / 2
        self.fill(f, c)

    def pixels(self):
        """Downsampled RGBA rows, top first."""
        out = []
        for y in range(self.size):
            row = []
            for x in range(self.size):
                acc = [0, 0, 0, 0]
                for yy in range(y * SS, y * SS + SS):
                    for xx in range(x * SS, x * SS + SS):
                        r, g, b, a = self.px[yy][xx]
                        acc[0] += r * a
                        acc[1] += g * a
                        acc[2] += b * a
                        acc[3] += a
                if acc[3]:
                    row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3],
                                acc[3] // (SS * SS)))
                else:
                    row.append((0, 0, 0, 0))
            out.append(row)
        return out


# Palette of the drawings.
INK = (40, 48, 64, 255)
PAPER = (252, 252, 250, 255)
GREEN = (38, 150, 60, 255)
RED = (200, 40, 40, 255)
BLUE = (40, 100, 190, 255)
AMBER = (232, 170, 40, 255)
FOLDER = (240, 196, 80, 255)
FOLDER_DARK = (190, 140, 30, 255)
GRAY = (120, 124, 132, 255)


def document(c, x0=2.5, y0=1, x1=11.5, y1=15):
    c.poly([(x0, y0), (x1 - 3, y0), (x1, y0 + 3), (x1, y1), (x0, y1)], INK)
    c.poly([(x0 + 1, y0 + 1), (x1 - 3.4, y0 + 1), (x1 - 1, y0 + 3.4), (x1 - 1, y1 - 1),
            (x0 + 1, y1 - 1)], PAPER)
    for yy in (6, 8.5, 11):
        c.rect(x0 + 2.2, yy, x1 - 2.6, yy + 0.9, (150, 160, 176, 255))


def wave(c, x0, y0, w, h, color):
    for i in range(5):
        hh = h * (0.35, 0.8, 1.0, 0.6, 0.3)[i]
        x = x0 + i * w / 5.0 + w / 10.0
        c.line(x, y0 - hh / 2, x, y0 + hh / 2, w / 8.0, color)


def plus(c, cx, cy, color):
    c.circle(cx, cy, 3.9, (255, 255, 255, 255))
    c.circle(cx, cy, 3.4, color)
    c.rect(cx - 2.2, cy - 0.6, cx + 2.2, cy + 0.6, (255, 255, 255, 255))
    c.rect(cx - 0.6, cy - 2.2, cx + 0.6, cy + 2.2, (255, 255, 255, 255))


def folder(c):
    c.poly([(1, 3.5), (6, 3.5), (7.5, 5), (14.5, 5), (14.5, 14), (1, 14)], FOLDER_DARK)
    c.poly([(1.5, 6.5), (15, 6.5), (14, 13.5), (1.5, 13.5)], FOLDER)


def tb_add_file(size=16):
    c = Canvas(size)
    document(c, 1.5, 1, 10.5, 15)
    plus(c, 11.5, 11.5, GREEN)
    return c


def tb_add_folder(size=16):
    c = Canvas(size)
    folder(c)
    plus(c, 11.5, 11.5, GREEN)
    return c


def tb_remove(size=16):
    c = Canvas(size)
    document(c, 1.5, 1, 10.5, 15)
    c.line(8, 8, 14.5, 14.5, 2.4, RED)
    c.line(14.5, 8, 8, 14.5, 2.4, RED)
    return c


def tb_play(size=16):
    c = Canvas(size)
    c.circle(8, 8, 7, GREEN)
    c.circle(8, 8, 6, (70, 185, 90, 255))
    c.poly([(6, 4.5), (12, 8), (6, 11.5)], (255, 255, 255, 255))
    return c


def tb_stop(size=16):
    c = Canvas(size)
    c.circle(8, 8, 7, (150, 30, 30, 255))
    c.circle(8, 8, 6, RED)
    c.rect(5.2, 5.2, 10.8, 10.8, (255, 255, 255, 255))
    return c


def tb_settings(size=16):
    c = Canvas(size)
    for i in range(8):
        a = i * math.pi / 4
        c.line(8 + 4 * math.cos(a), 8 + 4 * math.sin(a), 8 + 7 * math.cos(a),
               8 + 7 * math.sin(a), 2.6, GRAY)
    c.circle(8, 8, 5.2, GRAY)
    c.circle(8, 8, 2.2, (192, 192, 192, 255))
    return c


def tb_convert(size=16):
    c = Canvas(size)
    wave(c, 0.5, 5, 7, 7, BLUE)
    c.poly([(7, 8.5), (11, 8.5), (11, 6), (15.5, 10.5), (11, 15), (11, 12.5), (7, 12.5)], AMBER)
    c.poly([(7.5, 9.2), (11.7, 9.2), (11.7, 7.6), (14.5, 10.5), (11.7, 13.4), (11.7, 11.8),
            (7.5, 11.8)], (250, 200, 90, 255))
    return c


def state_icon(kind, size):
    c = Canvas(size)
    document(c, 2.5, 1, 12.5, 15)
    if kind == 1:  # being converted
        c.circle(11, 11, 4.6, (255, 255, 255, 255))
        c.circle(11, 11, 4.0, AMBER)
        c.line(11, 11, 11, 8.3, 1.2, INK)
        c.line(11, 11, 13, 11, 1.2, INK)
    elif kind == 2:  # converted
        c.circle(11, 11, 4.6, (255, 255, 255, 255))
        c.circle(11, 11, 4.0, GREEN)
        c.line(8.8, 11.2, 10.5, 12.9, 1.5, (255, 255, 255, 255))
        c.line(10.5, 12.9, 13.4, 9.2, 1.5, (255, 255, 255, 255))
    elif kind == 3:  # failed or skipped
        c.circle(11, 11, 4.6, (255, 255, 255, 255))
        c.circle(11, 11, 4.0, RED)
        c.line(9.3, 9.3, 12.7, 12.7, 1.5, (255, 255, 255, 255))
        c.line(12.7, 9.3, 9.3, 12.7, 1.5, (255, 255, 255, 255))
    return c


def app_icon(size):
    c = Canvas(size)
    c.circle(8, 8, 7.6, (24, 70, 140, 255))
    c.circle(8, 8, 6.8, (46, 110, 200, 255))
    wave(c, 2.5, 8, 11, 9, (255, 255, 255, 255))
    return c


def write_bmp8(path, rows, bg=(192, 192, 192)):
    flat = []
    for row in rows:
        line = []
        for r, g, b, a in row:
            t = a / 255.0
            line.append(tuple(int(round(v * t + w * (1 - t))) for v, w in zip((r, g, b), bg)))
        flat.append(line)
    colors = [bg]
    for line in flat:
        for p in line:
            if p not in colors:
                colors.append(p)
    assert len(colors) <= 256, path
    h, w = len(flat), len(flat[0])
    stride = (w + 3) & ~3
    data = b""
    for line in reversed(flat):
        data += bytes(colors.index(p) for p in line) + b"\0" * (stride - w)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colors)
    off = 14 + 40 + len(pal)
    hdr = struct.pack("<2sIHHI", b"BM", off + len(data), 0, 0, off)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(data), 2835, 2835, len(colors), 0)
    with open(path, "wb") as f:
        f.write(hdr + info + pal + data)


def write_bmp24(path, rows):
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    data = b""
    for row in reversed(rows):
        line = b"".join(struct.pack("<BBB", b, g, r) for r, g, b in row)
        data += line + b"\0" * (stride - len(line))
    hdr = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(hdr + info + data)


def ico_image(rows):
    n = len(rows)
    xor = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(rows) for r, g, b, a in row)
    mstride = ((n + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = 0
        line = bytearray(mstride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    info = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, images):
    blobs = [ico_image(img) for img in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    off = 6 + 16 * len(blobs)
    for img, blob in zip(images, blobs):
        n = len(img)
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(blob), off)
        off += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


def splash():
    """A 240x80 banner: blue gradient, a large sound wave and a thin rule."""
    w, h = 240, 80
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            t = x / (w - 1)
            r = int(24 + 30 * t)
            g = int(70 + 50 * t)
            b = int(140 + 70 * t)
            row.append((r, g, b))
        rows.append(row)
    bars = 23
    for i in range(bars):
        amp = (0.25 + 0.75 * abs(math.sin(i * 0.55))) * (1 - abs(i - bars / 2) / (bars * 0.7))
        x0 = 20 + i * 9
        half = int(amp * 30)
        for y in range(40 - half, 40 + half):
            for x in range(x0, x0 + 5):
                rows[y][x] = (255, 255, 255) if abs(y - 40) < half - 1 else (200, 220, 245)
    return rows


def main():
    toolbar = {"tb_addfile": tb_add_file, "tb_addfolder": tb_add_folder, "tb_remove": tb_remove,
               "tb_play": tb_play, "tb_stop": tb_stop, "tb_settings": tb_settings,
               "tb_convert": tb_convert}
    # The program picks the size by the screen's dots per inch: 16 at 100 %, 24, 32 and 48.
    for name, draw in toolbar.items():
        write_bmp8(os.path.join(HERE, name + ".bmp"), draw().pixels())
        for size in (24, 32, 48):
            write_bmp8(os.path.join(HERE, "%s_%d.bmp" % (name, size)), draw(size).pixels())
    for kind, name in enumerate(["state_none", "state_busy", "state_done", "state_failed"]):
        write_ico(os.path.join(HERE, name + ".ico"),
                  [state_icon(kind, size).pixels() for size in (16, 24, 32, 48)])
    write_ico(os.path.join(HERE, "tamber.ico"), [app_icon(32).pixels(), app_icon(16).pixels()])
    write_bmp24(os.path.join(HERE, "splash.bmp"), splash())


if __name__ == "__main__":
    main()
