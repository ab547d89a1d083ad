# drawlines: 100,000 three-point polylines drawn into a 1000x1000 image
# with pycairo (Debian's python3-cairo).
import os
import sys
import zlib

try:
    import cairo
except ImportError:
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

seed = 1


def next_random():
    global seed
    seed = (seed * 1021 + 12345) % 1048576
    return seed


def point():
    return next_random() % 1000, next_random() % 1000


surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 1000, 1000)
cr = cairo.Context(surface)
cr.set_source_rgb(1, 1, 1)
cr.paint()
cr.set_miter_limit(10)
cr.set_line_width(1)
for _ in range(100000):
    color = (next_random() % 256 / 255, next_random() % 256 / 255, next_random() % 256 / 255)
    cr.move_to(*point())
    cr.line_to(*point())
    cr.line_to(*point())
    cr.set_source_rgb(*color)
    cr.stroke()
surface.flush()
data = surface.get_data()
rgb = bytearray(1000 * 1000 * 3)
rgb[0::3] = data[2::4]
rgb[1::3] = data[1::4]
rgb[2::3] = data[0::4]
crc = zlib.crc32(bytes(rgb))
# Kiv's integer is signed 32-bit.
print("drawlines", crc - (1 << 32) if crc >= 1 << 31 else crc)
