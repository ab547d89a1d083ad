#!/usr/bin/env python3
"""Writes small image files and the pixels they must decode to.

Usage: image_fixtures.py DIR

For each fixture NAME.EXT it writes NAME.bgra, the expected straight
pixels as B, G, R, A bytes row by row, and a line "NAME.EXT WIDTH HEIGHT"
in DIR/manifest. PNG files are written by hand; JPEG files by cjpeg from
images written here, their expected pixels being djpeg's output.
"""
import os
import struct
import subprocess
import sys
import zlib

out = sys.argv[1]
manifest = []


def save(name, data, width, height, bgra):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
    with open(os.path.join(out, name.rsplit(".", 1)[0] + ".bgra"), "wb") as f:
        f.write(bytes(bgra))
    manifest.append(f"{name} {width} {height}")


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, depth, colour, rows, extra=b""):
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


# RGBA, opacities 255, 128, 0 among them.
rgba = [(255, 0, 0, 255), (0, 255, 0, 128), (0, 0, 255, 0),
        (10, 20, 30, 40), (200, 100, 50, 255), (1, 2, 3, 4)]
rows = [bytes(sum(rgba[y * 3:y * 3 + 3], ())) for y in range(2)]
save("rgba.png", png(3, 2, 8, 6, rows), 3, 2,
     [c for r, g, b, a in rgba for c in (b, g, r, a)])

# A palette with tRNS: entry 1 half transparent, entry 2 without an alpha
# entry (opaque).
palette = [(9, 8, 7), (100, 110, 120), (250, 251, 252)]
alphas = [255, 77]
plte = chunk(b"PLTE", bytes(sum(palette, ()))) + chunk(b"tRNS", bytes(alphas))
indexes = [0, 1, 2, 1]
expected = []
for i in indexes:
    r, g, b = palette[i]
    expected += [b, g, r, alphas[i] if i < len(alphas) else 255]
save("palette.png", png(4, 1, 8, 3, [bytes(indexes)], plte), 4, 1, expected)

# 8-bit grayscale.
grays = [0, 64, 128, 255]
save("gray.png", png(2, 2, 8, 0, [bytes(grays[:2]), bytes(grays[2:])]), 2, 2,
     [c for v in grays for c in (v, v, v, 255)])


def pnm(width, height, pixels, channels):
    magic = b"P6" if channels == 3 else b"P5"
    return magic + b"\n%d %d\n255\n" % (width, height) + bytes(pixels)


def read_pnm(data):
    # Four tokens, then exactly one whitespace byte before the samples.
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    magic, width, height = fields[0], int(fields[1]), int(fields[2])
    body = data[at + 1:]
    if magic == b"P6":
        return width, height, [c for i in range(0, len(body), 3)
                               for c in (body[i + 2], body[i + 1], body[i], 255)]
    return width, height, [c for v in body for c in (v, v, v, 255)]


def jpeg(name, source, options):
    data = subprocess.run(["cjpeg", *options], input=source, capture_output=True,
                          check=True).stdout
    decoded = subprocess.run(["djpeg", "-pnm"], input=data, capture_output=True,
                             check=True).stdout
    width, height, bgra = read_pnm(decoded)
    save(name, data, width, height, bgra)


colour = pnm(17, 9, [(x * 13 + y * 7 + c * 50) % 256 for y in range(9) for x in range(17)
                     for c in range(3)], 3)
jpeg("baseline.jpg", colour, ["-quality", "85"])
jpeg("progressive.jpg", colour, ["-progressive"])
jpeg("grayscale.jpg", pnm(8, 8, [x * 30 + y for y in range(8) for x in range(8)], 1), [])

with open(os.path.join(out, "manifest"), "w") as f:
    f.write("\n".join(manifest) + "\n")
