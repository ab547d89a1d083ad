#!/usr/bin/env python3
"""The draw dialect against reference renderers: each case is a draw block
that kiv (argv[1]) renders into a 100x100 white image, and the same
picture made by another renderer, pycairo (the same paths through Cairo's
own calls) or rsvg-convert (an equivalent SVG). The pictures must agree
within 3 per channel on 99.5% of the pixels. Needs Debian's python3-cairo
(found as the drawing benchmarks find it) and rsvg-convert (librsvg2-bin)."""
import math
import os
import shutil
import subprocess
import sys
import tempfile

# pycairo as the benchmarks find it (re-running under Debian's python3).
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
from pycairo_canvas import cairo  # noqa: E402

SIZE = 100


def rgb(ctx, r, g, b):
    ctx.set_source_rgb(r / 255, g / 255, b / 255)


def fill_stroke(ctx, fill):
    """Fills with `fill` (an (r, g, b) or a pattern), then strokes in black."""
    if isinstance(fill, cairo.Pattern):
        ctx.set_source(fill)
    else:
        rgb(ctx, *fill)
    ctx.fill_preserve()
    rgb(ctx, 0, 0, 0)
    ctx.stroke()


def rounded_box(ctx):
    ctx.set_line_width(3)
    x0, y0, x1, y1, r = 10, 10, 60, 50, 8
    ctx.new_sub_path()
    ctx.arc(x1 - r, y0 + r, r, -math.pi / 2, 0)
    ctx.arc(x1 - r, y1 - r, r, 0, math.pi / 2)
    ctx.arc(x0 + r, y1 - r, r, math.pi / 2, math.pi)
    ctx.arc(x0 + r, y0 + r, r, math.pi, 3 * math.pi / 2)
    ctx.close_path()
    fill_stroke(ctx, (255, 0, 0))
    ctx.rectangle(65, 60, 30, 30)
    fill_stroke(ctx, (0, 0, 255))


def ellipse_path(ctx, cx, cy, rx, ry):
    ctx.save()
    ctx.translate(cx, cy)
    ctx.scale(rx, ry)
    ctx.arc(0, 0, 1, 0, 2 * math.pi)
    ctx.restore()


def circles(ctx):
    ctx.set_line_width(2)
    ellipse_path(ctx, 35, 35, 25, 25)
    fill_stroke(ctx, (0, 160, 0))
    ellipse_path(ctx, 65, 70, 30, 15)
    fill_stroke(ctx, (200, 0, 200))


def arc_svg(cx, cy, rx, ry, start, sweep, pie):
    """An arc (or a pie) as an SVG path: angles on screen become the
    ellipse's parameters, and the arc goes between their points."""
    t1, t2 = (math.atan2(rx * math.sin(math.radians(a)), ry * math.cos(math.radians(a)))
              for a in (start, start + sweep))
    x1, y1 = cx + rx * math.cos(t1), cy + ry * math.sin(t1)
    x2, y2 = cx + rx * math.cos(t2), cy + ry * math.sin(t2)
    large, clockwise = int(abs(sweep) >= 180), int(sweep >= 0)
    arc = f"{x1:.6f} {y1:.6f} A{rx} {ry} 0 {large} {clockwise} {x2:.6f} {y2:.6f}"
    return f"M{cx} {cy} L{arc} Z" if pie else f"M{arc}"


def strokes(ctx):
    rgb(ctx, 0, 0, 255)
    ctx.set_line_width(6)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_join(cairo.LINE_JOIN_BEVEL)
    ctx.set_dash([24, 12])
    for x, y in [(10, 80), (50, 20), (90, 80)]:
        ctx.line_to(x, y)
    ctx.stroke()
    ctx.set_dash([])
    ctx.set_line_cap(cairo.LINE_CAP_SQUARE)
    ctx.set_line_join(cairo.LINE_JOIN_ROUND)
    rgb(ctx, 200, 0, 0)
    for x, y in [(10, 10), (50, 40), (90, 10)]:
        ctx.line_to(x, y)
    ctx.stroke()


def star(ctx):
    points = [(50, 5), (79, 95), (2, 38), (98, 38), (21, 95)]
    ctx.set_fill_rule(cairo.FILL_RULE_EVEN_ODD)
    for p in points:
        ctx.line_to(*p)
    ctx.close_path()
    fill_stroke(ctx, (255, 0, 0))


def gradients(ctx):
    linear = cairo.LinearGradient(0, 0, 100, 0)
    linear.add_color_stop_rgb(0, 1, 0, 0)
    linear.add_color_stop_rgb(1, 0, 0, 1)
    ctx.rectangle(0, 0, 100, 50)
    ctx.set_source(linear)
    ctx.fill()
    radial = cairo.RadialGradient(40, 70, 0, 50, 75, 25)
    radial.add_color_stop_rgb(0, 1, 1, 0)
    radial.add_color_stop_rgb(1, 0, 0.5, 0)
    radial.set_extend(cairo.EXTEND_REFLECT)
    ctx.rectangle(0, 50, 100, 50)
    ctx.set_source(radial)
    ctx.fill()


def transformed(ctx):
    ctx.translate(50, 50)
    ctx.rotate(math.radians(30))
    ctx.translate(-50, -50)
    ctx.scale(1.5, 1)
    ctx.rectangle(10, 10, 40, 50)
    ctx.clip()
    ctx.rectangle(0, 0, 100, 100)
    rgb(ctx, 0, 128, 0)
    ctx.fill()
    ctx.rectangle(20, 30, 30, 40)
    fill_stroke(ctx, (255, 0, 0))


def svg_path(d, fill="rgb(255,0,0)", width=1):
    return (f'<path d="{d}" fill="{fill}" fill-rule="evenodd" stroke="black" '
            f'stroke-width="{width}"/>')


# (name, draw block, reference: a pycairo function or an SVG body)
CASES = [
    ("rounded-box", "line-width 3 fill-pen 255.0.0 box 10x10 60x50 8 fill-pen 0.0.255 box 65x60 95x90",
     rounded_box),
    ("circles", "line-width 2 fill-pen 0.160.0 circle 35x35 25 fill-pen 200.0.200 circle 65x70 30 15",
     circles),
    ("strokes",
     "pen 0.0.255 line-width 6 line-cap round line-join bevel line-pattern 4 2 line 10x80 50x20 90x80"
     " line-pattern line-cap square line-join round pen 200.0.0 line 10x10 50x40 90x10", strokes),
    ("even-odd", "fill-pen 255.0.0 polygon 50x5 79x95 2x38 98x38 21x95", star),
    ("gradients",
     "pen off fill-pen linear 255.0.0 0.0.255 0x0 100x0 box 0x0 100x50"
     " fill-pen radial 255.255.0 0.128.0 50x75 25 40x70 reflect box 0x50 100x100", gradients),
    ("transformed",
     "rotate 30 50x50 [scale 1.5 1 [clip 10x10 50x60 [pen off fill-pen 0.128.0 box 0x0 100x100"
     " pen 0.0.0 fill-pen 255.0.0 box 20x30 50x70]]]", transformed),
]
for large in (False, True):
    for sweep in (False, True):
        words = ("large " if large else "") + ("sweep" if sweep else "")
        CASES.append((f"arc-{int(large)}{int(sweep)}",
                      f"fill-pen 255.0.0 shape [move 25x50 arc 75x50 30 20 15 {words} close]",
                      svg_path(f"M25 50 A30 20 15 {int(large)} {int(sweep)} 75 50 Z")))
CASES += [
    ("pie", "fill-pen 255.160.0 arc 50x50 40x30 30 200 closed",
     svg_path(arc_svg(50, 50, 40, 30, 30, 200, True), "rgb(255,160,0)")),
    # Open arcs and curves are hollow, whatever the fill.
    ("open-arc", "fill-pen 255.0.0 line-width 3 arc 50x50 40x30 30 200",
     svg_path(arc_svg(50, 50, 40, 30, 30, 200, False), "none", 3)),
    ("hollow-curve", "fill-pen 255.0.0 curve 10x90 30x10 70x10 90x90 curve 10x50 50x95 90x50",
     svg_path("M10 90 C30 10 70 10 90 90 M10 50 Q50 95 90 50", "none")),
    ("pie-backwards", "fill-pen 0.160.255 arc 50x50 30x40 -20 -100 closed",
     svg_path(arc_svg(50, 50, 30, 40, -20, -100, True), "rgb(0,160,255)")),
    ("shape-even-odd",
     "fill-pen 0.0.255 shape [move 10x10 line 90x10 90x90 10x90 close"
     " move 30x30 'line 40x0 0x40 -40x0 close]",
     svg_path("M10 10 L90 10 90 90 10 90 Z M30 30 l40 0 0 40 -40 0 Z", "rgb(0,0,255)")),
    ("svg-dashes",
     "pen 0.128.0 line-width 4 line-cap flat line-pattern 3 1 2 1 line 10x20 90x20 90x80 10x60",
     '<polyline points="10,20 90,20 90,80 10,60" fill="none" stroke="rgb(0,128,0)" '
     'stroke-width="4" stroke-dasharray="12 4 8 4" stroke-miterlimit="10"/>'),
    ("focal-gradient",
     "pen off fill-pen radial 255.0.0 0.0.255 50x50 40 30x40 box 0x0 100x100",
     '<defs><radialGradient id="g" gradientUnits="userSpaceOnUse" cx="50" cy="50" r="40" '
     'fx="30" fy="40"><stop offset="0" stop-color="rgb(255,0,0)"/>'
     '<stop offset="1" stop-color="rgb(0,0,255)"/></radialGradient></defs>'
     '<rect width="100" height="100" fill="url(#g)"/>'),
    ("nested-clips",
     "translate 10x5 [rotate 20 50x50 [clip 20x20 80x80 [scale 1.2 0.8 [pen off fill-pen 0.128.0"
     " box 10x10 70x70 clip [move 0x0 line 60x0 0x60 close] [fill-pen 255.0.0 box 0x0 100x100]]]]]",
     '<defs><clipPath id="c" clipPathUnits="userSpaceOnUse"><rect x="20" y="20" width="60" '
     'height="60"/></clipPath><clipPath id="t" clipPathUnits="userSpaceOnUse">'
     '<path d="M0 0 L60 0 0 60 Z"/></clipPath></defs>'
     '<g transform="translate(10,5) rotate(20 50 50)"><g clip-path="url(#c)">'
     '<g transform="scale(1.2,0.8)"><rect x="10" y="10" width="60" height="60" '
     'fill="rgb(0,128,0)"/><g clip-path="url(#t)"><rect width="100" height="100" '
     'fill="rgb(255,0,0)"/></g></g></g></g>'),
]


def kiv_script(folder):
    lines = ["Kiv []", "foreach [name cmds] ["]
    for name, block, _ in CASES:
        lines.append(f'    "{name}" [{block}]')
    lines.append("] [")
    lines.append(f'    save to-file rejoin [%{folder}/ name ".png"]'
                 f" draw make image! [{SIZE}x{SIZE} 255.255.255] cmds")
    lines.append("]")
    return "\n".join(lines) + "\n"


def reference(name, made, folder):
    path = os.path.join(folder, name + "-ref.png")
    if callable(made):
        surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, SIZE, SIZE)
        ctx = cairo.Context(surface)
        ctx.set_source_rgb(1, 1, 1)
        ctx.paint()
        # The dialect's defaults: a black pen one unit wide, miters to 10.
        ctx.set_miter_limit(10)
        ctx.set_line_width(1)
        ctx.set_source_rgb(0, 0, 0)
        made(ctx)
        surface.write_to_png(path)
    else:
        svg = os.path.join(folder, name + ".svg")
        with open(svg, "w") as f:
            f.write(f'<svg xmlns="http://www.w3.org/2000/svg" width="{SIZE}" height="{SIZE}">'
                    f'<rect width="{SIZE}" height="{SIZE}" fill="white"/>{made}</svg>')
        subprocess.run(["rsvg-convert", "-o", path, svg], check=True)
    return path


def agreement(a_path, b_path):
    """The share of pixels whose channels all differ by 3 at most."""
    a = cairo.ImageSurface.create_from_png(a_path)
    b = cairo.ImageSurface.create_from_png(b_path)
    if (a.get_width(), a.get_height()) != (b.get_width(), b.get_height()):
        return 0.0
    da, db = bytes(a.get_data()), bytes(b.get_data())
    sa, sb = a.get_stride(), b.get_stride()
    close = 0
    for y in range(a.get_height()):
        for x in range(a.get_width()):
            pa, pb = da[y * sa + 4 * x:y * sa + 4 * x + 4], db[y * sb + 4 * x:y * sb + 4 * x + 4]
            close += all(abs(p - q) <= 3 for p, q in zip(pa, pb))
    return close / (a.get_width() * a.get_height())


def main():
    kiv = sys.argv[1]
    if not shutil.which("rsvg-convert"):
        print("rsvg-convert is missing (librsvg2-bin)")
        return 1
    folder = tempfile.mkdtemp(prefix="kiv-draw-reference-")
    try:
        script = os.path.join(folder, "cases.kiv")
        with open(script, "w") as f:
            f.write(kiv_script(folder))
        run = subprocess.run([kiv, script], capture_output=True, text=True, timeout=1200)
        if run.returncode != 0:
            print("kiv failed:", run.stdout, run.stderr)
            return 1
        failed = 0
        for name, _, made in CASES:
            share = agreement(os.path.join(folder, name + ".png"), reference(name, made, folder))
            ok = share >= 0.995
            failed += not ok
            print(f"{'ok  ' if ok else 'FAIL'} {name}: {share:.2%} of the pixels agree")
        return 1 if failed else 0
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
