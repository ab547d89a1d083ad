# What the pycairo sides of the drawing benchmarks share: pycairo itself
# (Debian's python3-cairo, re-running under the interpreter peers.py
# chooses when the one running lacks it), the seeded random numbers the Kiv sides use, a
# white 1000x1000 canvas, and the checksum both sides print.
import zlib

import peers

try:
    import cairo
except ImportError:
    peers.exec_under_python()
    raise

SIZE = 1000
_seed = 1


def next_random():
    global _seed
    _seed = (_seed * 1021 + 12345) % 1048576
    return _seed


def canvas():
    """A white surface and its context, with the drawing defaults of Kiv."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, SIZE, SIZE)
    cr = cairo.Context(surface)
    cr.set_source_rgb(1, 1, 1)
    cr.paint()
    cr.set_miter_limit(10)
    cr.set_line_width(1)
    return surface, cr


def print_checksum(name, surface):
    """Prints the CRC32 of the RGB pixels as Kiv's signed 32-bit integer."""
    surface.flush()
    data = surface.get_data()
    rgb = bytearray(SIZE * SIZE * 3)
    rgb[0::3] = data[2::4]
    rgb[1::3] = data[1::4]
    rgb[2::3] = data[0::4]
    crc = zlib.crc32(bytes(rgb))
    print(name, crc - (1 << 32) if crc >= 1 << 31 else crc)
