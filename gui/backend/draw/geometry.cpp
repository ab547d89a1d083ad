#include "gui/backend/draw/geometry.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gui/backend/conversions.h"

namespace kiv::gui::draw {

void append_arc(Context& ctx, Point c, double rx, double ry, double phi, double t, double sweep) {
    int segments = std::max(1, int(std::ceil(std::fabs(sweep) / (pi / 2) - 1e-9)));
    double step = sweep / segments;
    double k = 4.0 / 3.0 * std::tan(step / 4);
    double cp = std::cos(phi), sp = std::sin(phi);
    // A point given in the ellipse's own axes, placed on the page.
    auto place = [&](double x, double y) {
        return Point{c.x + x * cp - y * sp, c.y + x * sp + y * cp};
    };
    for (int i = 0; i < segments; ++i, t += step) {
        double c0 = std::cos(t), s0 = std::sin(t), c1 = std::cos(t + step), s1 = std::sin(t + step);
        Point a = place(rx * (c0 - k * s0), ry * (s0 + k * c0));
        Point b = place(rx * (c1 + k * s1), ry * (s1 - k * c1));
        Point e = place(rx * c1, ry * s1);
        ctx.cairo->curve_to(ctx.cr, a.x, a.y, b.x, b.y, e.x, e.y);
    }
}

namespace {

// Whether the pen strokes: on, a positive finite width, and dashes that
// are not all zero (which would leave nothing to draw).
bool strokes(const State& s) {
    if (s.pen.kind == BrushKind::off || !(s.line_width > 0) || !std::isfinite(s.line_width))
        return false;
    return s.dashes.empty() ||
           std::any_of(s.dashes.begin(), s.dashes.end(), [](float d) { return d > 0; });
}

void set_stroke_style(Context& ctx) {
    static constexpr cairo_line_join_t joins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_BEVEL,
                                                  CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_MITER};
    static constexpr cairo_line_cap_t caps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_SQUARE,
                                                CAIRO_LINE_CAP_ROUND};
    const State& s = ctx.state;
    const CairoApi& c = *ctx.cairo;
    c.set_line_width(ctx.cr, s.line_width);
    c.set_line_join(ctx.cr, joins[int(s.join)]);
    c.set_line_cap(ctx.cr, caps[int(s.cap)]);
    // Dashes are kept in line widths and scaled at each stroke, so that a
    // later width rescales them.
    std::vector<double> dashes(s.dashes.size());
    for (size_t i = 0; i < dashes.size(); ++i) dashes[i] = double(s.dashes[i]) * s.line_width;
    c.set_dash(ctx.cr, dashes.data(), int(dashes.size()), 0);
}

template <class Draw>
void draw_with(Context& ctx, const Brush& brush, bool pen, Draw draw) {
    if (!use_brush(ctx, brush, pen)) return;
    draw_grouped(ctx, brush.kind != BrushKind::solid && beyond_fixed_point(ctx, brush.matrix, pen),
                 draw);
}

} // namespace

bool beyond_fixed_point(const Context& ctx, const Matrix3x2& placement, bool stroke) {
    constexpr double limit = 16384;
    Matrix3x2 device = to_device(ctx, ctx.state.matrix);
    // From the source's own space to the target's pixels, and back.
    Matrix3x2 m, inverse;
    multiply(placement, device, m);
    if (!invert(m, inverse)) return true;
    for (const Matrix3x2& t : {m, inverse})
        for (double v : {t.m11, t.m12, t.m21, t.m22, t.dx, t.dy})
            if (!(std::fabs(v) <= limit)) return true;
    double x0, y0, x1, y1;
    (stroke ? ctx.cairo->stroke_extents : ctx.cairo->fill_extents)(ctx.cr, &x0, &y0, &x1, &y1);
    for (Point2 corner : {Point2{x0, y0}, Point2{x1, y0}, Point2{x0, y1}, Point2{x1, y1}}) {
        Point2 p = transform(device, corner);
        if (!(std::fabs(p.x) <= limit && std::fabs(p.y) <= limit)) return true;
    }
    return false;
}

void draw_grouped(Context& ctx, bool grouped, const std::function<void()>& draw) {
    if (!grouped) return draw();
    const CairoApi& c = *ctx.cairo;
    c.push_group(ctx.cr); // keeps the source
    draw();
    c.pop_group_to_source(ctx.cr);
    c.paint(ctx.cr);
}

void paint(Context& ctx, bool filled) {
    const CairoApi& c = *ctx.cairo;
    const State& s = ctx.state;
    if (filled && s.fill.kind != BrushKind::off) {
        c.set_fill_rule(ctx.cr, CAIRO_FILL_RULE_EVEN_ODD);
        draw_with(ctx, s.fill, false, [&] { c.fill_preserve(ctx.cr); });
    }
    if (strokes(s)) {
        set_stroke_style(ctx);
        draw_with(ctx, s.pen, true, [&] { c.stroke(ctx.cr); });
    }
    c.new_path(ctx.cr);
}

} // namespace kiv::gui::draw
