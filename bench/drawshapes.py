# drawshapes: 100,000 boxes and circles drawn into a 1000x1000 image with
# pycairo (Debian's python3-cairo), circles as the same four Bezier arcs.
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


K = 4.0 / 3.0 * 0.41421356237309503  # 4/3 tan(pi/8): a quarter circle


def circle(cr, cx, cy, r):
    cr.move_to(cx + r, cy)
    k = K * r
    cr.curve_to(cx + r, cy + k, cx + k, cy + r, cx, cy + r)
    cr.curve_to(cx - k, cy + r, cx - r, cy + k, cx - r, cy)
    cr.curve_to(cx - r, cy - k, cx - k, cy - r, cx, cy - r)
    cr.curve_to(cx + k, cy - r, cx + r, cy - k, cx + r, cy)
    cr.close_path()


surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 1000, 1000)
cr = cairo.Context(surface)
cr.set_source_rgb(1, 1, 1)
cr.paint()
cr.set_miter_limit(10)
cr.set_line_width(1)
cr.set_fill_rule(cairo.FILL_RULE_EVEN_ODD)
for _ in range(50000):
    x = next_random() % 980
    y = next_random() % 980
    color = (next_random() % 256 / 255, next_random() % 256 / 255, next_random() % 256 / 255)
    cr.rectangle(x, y, 20, 20)
    cr.set_source_rgb(*color)
    cr.fill_preserve()
    cr.set_source_rgb(0, 0, 0)
    cr.stroke()
    x = 10 + next_random() % 980
    y = 10 + next_random() % 980
    circle(cr, x, y, 10)
    cr.set_source_rgb(*color)
    cr.fill_preserve()
    cr.set_source_rgb(0, 0, 0)
    cr.stroke()
surface.flush()
data = surface.get_data()
rgb = bytearray(1000 * 1000 * 3)
rgb[0::3] = data[2::4]
rgb[1::3] = data[1::4]
rgb[2::3] = data[0::4]
crc = zlib.crc32(bytes(rgb))
# Kiv's integer is signed 32-bit.
print("drawshapes", crc - (1 << 32) if crc >= 1 << 31 else crc)
