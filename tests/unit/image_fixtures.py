#!/usr/bin/env python3
"""Writes small image files and the pixels they must decode to.

Usage: image_fixtures.py DIR

For each fixture NAME.EXT it writes NAME.bgra, the expected straight
pixels as B, G, R, A bytes row by row, and a line "NAME.EXT WIDTH HEIGHT
MATCH" in DIR/manifest, MATCH being "exact", or "clear-any" where the
colour of fully transparent pixels is left to the decoder. PNG and BMP
files are written by hand; JPEG files by cjpeg or ImageMagick, their
expected pixels being djpeg's output; GIF and TIFF files by ImageMagick
from pixels written here.
"""
import os
import struct
import subprocess
import sys
import zlib

out = sys.argv[1]
manifest = []


def save(name, data, width, height, bgra, match="exact"):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
    with open(os.path.join(out, name.rsplit(".", 1)[0] + ".bgra"), "wb") as f:
        f.write(bytes(bgra))
    manifest.append(f"{name} {width} {height} {match}")


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, depth, colour, rows, extra=b"", interlace=0):
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace)
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


# 16-bit RGB, each sample v * 257 so that it reads back as v.
wide = [(x * 40, 255 - x * 30, (x * y * 17) % 256) for y in range(3) for x in range(5)]
rows = [b"".join(struct.pack(">HHH", *(v * 257 for v in wide[y * 5 + x])) for x in range(5))
        for y in range(3)]
save("wide.png", png(5, 3, 16, 2, rows, chunk(b"sRGB", b"\0")), 5, 3, [c for r, g, b in wide for c in (b, g, r, 255)])

# Adam7 interlacing: each pass's pixels as rows of their own.
adam7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2)]
laced = [((x * 19) % 256, (y * 23) % 256, (x * y) % 256, 255 - x) for y in range(11)
         for x in range(9)]
passes = b""
for x0, y0, dx, dy in adam7:
    for y in range(y0, 11, dy):
        row = bytes(c for x in range(x0, 9, dx) for c in laced[y * 9 + x])
        if row:
            passes += b"\0" + row
header = struct.pack(">IIBBBBB", 9, 11, 8, 6, 0, 0, 1)
save("interlaced.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
     chunk(b"IDAT", zlib.compress(passes)) + chunk(b"IEND", b""), 9, 11,
     [c for r, g, b, a in laced for c in (b, g, r, a)])


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


def magick(name, width, height, rgba, options, frames=1, prefix=""):
    """The file ImageMagick writes from RGBA pixels (frame 0 of them, the
    later frames with inverted colours), PREFIX naming its coder."""
    sources = []
    for n in range(frames):
        source = os.path.join(out, f"{name}.{n}.rgba")
        with open(source, "wb") as f:
            f.write(bytes(v if n == 0 or i % 4 == 3 else 255 - v for i, v in enumerate(rgba)))
        sources.append(f"rgba:{source}")
    target = os.path.join(out, name)
    # The Debian tool by its path: what the tests check is its own output.
    subprocess.run(["/usr/bin/convert", "-size", f"{width}x{height}", "-depth", "8", *sources,
                    *options, prefix + target], check=True)
    for source in sources:
        os.remove(source[5:])
    with open(target, "rb") as f:
        return f.read()


# CMYK as ImageMagick writes it (Adobe, inverted inks); djpeg turns it
# into RGB.
cmyk_source = os.path.join(out, "cmyk-source.ppm")
with open(cmyk_source, "wb") as f:
    f.write(colour)
subprocess.run(["/usr/bin/convert", cmyk_source, "-colorspace", "CMYK",
                os.path.join(out, "cmyk.jpg")], check=True)
os.remove(cmyk_source)
with open(os.path.join(out, "cmyk.jpg"), "rb") as f:
    cmyk = f.read()
width, height, bgra = read_pnm(subprocess.run(["djpeg", "-pnm"], input=cmyk, capture_output=True,
                                              check=True).stdout)
save("cmyk.jpg", cmyk, width, height, bgra)


def as_bgra(rgba):
    return [rgba[i + k] for i in range(0, len(rgba), 4) for k in (2, 1, 0, 3)]


# Few colours, every pixel opaque or clear: GIF keeps them exactly.
few = ([255, 0, 0, 255, 0, 128, 0, 255, 0, 0, 255, 255, 250, 250, 250, 255] * 9 +
       [0, 0, 0, 0] * 4)
opaque = [v if i % 4 != 3 else 255 for i, v in enumerate(few)]
for name, pixels, options, prefix, match in [
        ("gif87.gif", opaque, [], "GIF87:", "exact"),
        ("gif89.gif", opaque, [], "", "exact"),
        ("clear.gif", few, [], "", "clear-any"),
        ("laced.gif", few, ["-interlace", "GIF"], "", "clear-any")]:
    save(name, magick(name, 8, 5, pixels, options, prefix=prefix), 8, 5, as_bgra(pixels),
         match)

# TIFF: opacities 255 and 0 only (semi-transparent pixels come back
# through the library's premultiplication, a rounding of its own), in the
# layouts ImageMagick writes.
tiff_pixels = [(x * 37 + y * 11 + c * 60) % 256 if c < 3 else (0 if (x + y) % 5 == 0 else 255)
               for y in range(20) for x in range(19) for c in range(4)]
tiff_bgra = [0 if tiff_pixels[i - i % 4 + 3] == 0 and i % 4 != 3 else v
             for i, v in enumerate(as_bgra(tiff_pixels))]
for name, options, frames in [
        ("plain.tif", ["-compress", "None"], 1),
        ("lzw.tif", ["-compress", "LZW"], 1),
        ("big-endian.tif", ["-define", "tiff:endian=msb", "-compress", "Zip"], 1),
        ("tiled.tif", ["-define", "tiff:tile-geometry=16x16", "-compress", "LZW"], 1),
        ("pages.tif", ["-compress", "LZW"], 3)]:
    save(name, magick(name, 19, 20, tiff_pixels, options, frames), 19, 20, tiff_bgra)
tiff_opaque = [v if i % 4 != 3 else 255 for i, v in enumerate(tiff_pixels)]
save("rgb.tif", magick("rgb.tif", 19, 20, tiff_opaque, ["-alpha", "off"]), 19, 20,
     as_bgra(tiff_opaque))


def bmp(width, height, bits, body, palette=(), compression=0, masks=(), info=40,
        top_down=False):
    """A BMP file: BODY is the pixel data as stored, PALETTE (r, g, b)
    entries, MASKS the bitfields after a 40-byte header or inside a larger
    one."""
    if info == 12:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = b"".join(bytes((b, g, r)) for r, g, b in palette)
    else:
        header = struct.pack("<IiiHHIIiiII", info, width, -height if top_down else height, 1,
                             bits, compression, len(body), 2835, 2835, len(palette), 0)
        fields = b"".join(struct.pack("<I", m) for m in masks)
        header = header + fields if info == 40 else (header + fields).ljust(info, b"\0")
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + len(header) + len(table)
    return (b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset) + header + table +
            body)


def padded(row):
    return row + b"\0" * (-len(row) % 4)


def bottom_up(rows, top_down=False):
    return b"".join(padded(r) for r in (rows if top_down else reversed(rows)))


bmp_palette = [(0, 0, 0), (255, 255, 255), (200, 30, 40), (10, 220, 90)] + \
              [(i, 255 - i, i // 2) for i in range(4, 16)]
bw, bh = 7, 3
cells = [[(x + y * 3) % 16 for x in range(bw)] for y in range(bh)]


def from_palette(indexes):
    return [c for row in indexes for i in row
            for c in (bmp_palette[i][2], bmp_palette[i][1], bmp_palette[i][0], 255)]


def packed(row, bits):
    value = 0
    for i in row:
        value = value << bits | i
    length = (len(row) * bits + 7) // 8
    return (value << (length * 8 - len(row) * bits)).to_bytes(length, "big")


ones = [[i % 2 for i in row] for row in cells]
save("one.bmp", bmp(bw, bh, 1, bottom_up([packed(r, 1) for r in ones]), bmp_palette[:2]),
     bw, bh, from_palette(ones))
save("four.bmp", bmp(bw, bh, 4, bottom_up([packed(r, 4) for r in cells]), bmp_palette),
     bw, bh, from_palette(cells))
save("eight.bmp", bmp(bw, bh, 8, bottom_up([bytes(r) for r in cells]), bmp_palette), bw, bh,
     from_palette(cells))
save("top-down.bmp", bmp(bw, bh, 8, bottom_up([bytes(r) for r in cells], True), bmp_palette,
                         top_down=True), bw, bh, from_palette(cells))
save("core.bmp", bmp(bw, bh, 8, bottom_up([bytes(r) for r in cells]), bmp_palette, info=12),
     bw, bh, from_palette(cells))

colours = [[((x * 50 + y * 20) % 256, (x * 90) % 256, (y * 100 + 7) % 256, (x * 40) % 256)
            for x in range(bw)] for y in range(bh)]


def scaled(value, bits):
    return (value * 255 + ((1 << bits) - 1) // 2) // ((1 << bits) - 1)


def sixteen(name, shifts, masks, compression):
    """16-bit pixels with 5 or 6 bits a channel at the given shifts."""
    widths = [bin(m).count("1") for m in masks or (0x7C00, 0x3E0, 0x1F)]
    rows, expected = [], []
    for row in colours:
        words = b""
        for pixel in row:
            levels = [pixel[c] >> (8 - widths[c]) if widths[c] else 0 for c in range(3)]
            words += struct.pack("<H", sum(v << s for v, s in zip(levels, shifts)))
            expected += [scaled(levels[c], widths[c]) if widths[c] else 0 for c in (2, 1, 0)]
            expected.append(255)
        rows.append(words)
    save(name, bmp(bw, bh, 16, bottom_up(rows), compression=compression, masks=masks), bw, bh,
         expected)


sixteen("sixteen.bmp", (10, 5, 0), (), 0)
sixteen("rgb565.bmp", (11, 5, 0), (0xF800, 0x7E0, 0x1F), 3)
sixteen("no-red.bmp", (11, 5, 0), (0, 0x7E0, 0x1F), 3)  # an empty mask reads 0
save("twenty-four.bmp", bmp(bw, bh, 24, bottom_up([bytes(c for r, g, b, a in row
                                                         for c in (b, g, r)) for row in colours])),
     bw, bh, [c for row in colours for r, g, b, a in row for c in (b, g, r, 255)])
# 32 bits without masks: the fourth byte is the opacity, unless it is 0
# everywhere.
save("thirty-two.bmp", bmp(bw, bh, 32, bottom_up([bytes(c for r, g, b, a in row
                                                         for c in (b, g, r, a)) for row in colours])),
     bw, bh, [c for row in colours for r, g, b, a in row for c in (b, g, r, a)])
save("unused-alpha.bmp", bmp(bw, bh, 32, bottom_up([bytes(c for r, g, b, a in row
                                                           for c in (b, g, r, 0)) for row in colours])),
     bw, bh, [c for row in colours for r, g, b, a in row for c in (b, g, r, 255)])
# Bitfields in a V4 header, alpha in the top byte, channels in another
# order than usual.
save("bitfields.bmp", bmp(bw, bh, 32, bottom_up([b"".join(struct.pack("<I", a << 24 | b << 16 | g << 8 | r)
                                                        for r, g, b, a in row) for row in colours]),
                          compression=3, masks=(0xFF, 0xFF00, 0xFF0000, 0xFF000000), info=108),
     bw, bh, [c for row in colours for r, g, b, a in row for c in (b, g, r, a)])

# Run-length files: runs, an absolute stretch, a delta that skips pixels
# (left transparent), end of line and end of bitmap.
rle_w, rle_h = 8, 3
rle8 = bytes([3, 2, 0, 3, 5, 6, 7, 0, 2, 9, 0, 0,   # bottom row: 2 2 2 5 6 7 9 9
              0, 2, 2, 0, 4, 1, 0, 0,               # next row: skip 2, then 1 1 1 1
              8, 3, 0, 1])                          # top row: 3 x 8
rle8_rows = [[3] * 8, [None, None, 1, 1, 1, 1, None, None], [2, 2, 2, 5, 6, 7, 9, 9]]
rle4 = bytes([5, 0x23, 0, 3, 0x45, 0x60, 0, 0,      # bottom row: 2 3 2 3 2 4 5 6
              0, 2, 4, 0, 4, 0x11, 0, 0,            # next row: skip 4, then 1 1 1 1
              8, 0xAB, 0, 1])                       # top row: A B A B A B A B
rle4_rows = [[10, 11] * 4, [None] * 4 + [1] * 4, [2, 3, 2, 3, 2, 4, 5, 6, None, None][:8]]


def run_pixels(rows):
    return [c for row in rows for i in row
            for c in ((0, 0, 0, 0) if i is None else
                      (bmp_palette[i][2], bmp_palette[i][1], bmp_palette[i][0], 255))]


save("rle8.bmp", bmp(rle_w, rle_h, 8, rle8, bmp_palette, compression=1), rle_w, rle_h,
     run_pixels(rle8_rows))
save("rle4.bmp", bmp(rle_w, rle_h, 4, rle4, bmp_palette, compression=2), rle_w, rle_h,
     run_pixels(rle4_rows))

with open(os.path.join(out, "manifest"), "w") as f:
    f.write("\n".join(manifest) + "\n")
