# drawshapes: 100,000 boxes and circles drawn into a 1000x1000 image with
# pycairo (Debian's python3-cairo), circles as the same four Bezier arcs.
from pycairo_canvas import cairo, canvas, next_random, print_checksum


K = 4.0 / 3.0 * 0.41421356237309503  # 4/3 tan(pi/8): a quarter circle


def circle(cr, cx, cy, r):
    cr.move_to(cx + r, cy)
    k = K * r
    cr.curve_to(cx + r, cy + k, cx + k, cy + r, cx, cy + r)
    cr.curve_to(cx - k, cy + r, cx - r, cy + k, cx - r, cy)
    cr.curve_to(cx - r, cy - k, cx - k, cy - r, cx, cy - r)
    cr.curve_to(cx + k, cy - r, cx + r, cy - k, cx + r, cy)
    cr.close_path()


surface, cr = canvas()
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
print_checksum("drawshapes", surface)
