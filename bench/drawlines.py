# drawlines: 100,000 three-point polylines drawn into a 1000x1000 image
# with pycairo (Debian's python3-cairo).
from pycairo_canvas import canvas, next_random, print_checksum


def point():
    return next_random() % 1000, next_random() % 1000


surface, cr = canvas()
for _ in range(100000):
    color = (next_random() % 256 / 255, next_random() % 256 / 255, next_random() % 256 / 255)
    cr.move_to(*point())
    cr.line_to(*point())
    cr.line_to(*point())
    cr.set_source_rgb(*color)
    cr.stroke()
print_checksum("drawlines", surface)
