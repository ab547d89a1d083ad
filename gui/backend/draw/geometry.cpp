#include "gui/backend/draw/geometry.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gui/backend/conversions.h"

namespace kiv::gui::draw {

double largest_scale(const Matrix3x2& m) {
    return std::sqrt(double(m.m11) * m.m11 + double(m.m12) * m.m12 + double(m.m21) * m.m21 +
                     double(m.m22) * m.m22);
}

// Cairo strokes curves, round joins and round caps with a polygon for
// the pen whose vertex count grows with the square root of its radius on
// the target: a pen 1e12 pixels wide took seconds, 1e13 minutes, and
// wider ones overflowed and broke the target for good. A pen of this
// radius already covers the largest target (32767 pixels a side, 46341
// across) wherever the path crosses it: a wider one is narrowed to it,
// which differs only for a path passing tens of thousands of pixels
// outside the target.
constexpr double max_pen_radius = 1 << 16;

double drawn_width(double width, const Matrix3x2& to_device) {
    return std::fmin(width, 2 * max_pen_radius / largest_scale(to_device));
}

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

// Cairo's dasher walks the path in user space one dash at a time, so a
// path far longer than its dash period (under a transformation that
// squeezes one axis, a device pixel can be 1e30 units long) keeps it
// busy for ages. The largest surface Cairo makes is 32767 pixels wide,
// and Cairo walks periods of at least a tenth of a pixel (finer dashes
// become evenly shaded ones of that period), so a stroke crossing the
// largest surface nine times with the finest dashes stays below this
// bound; past it the dashes could not be told apart anyway, and at some
// 65 ns per period the bound is about a quarter of a second.
constexpr double max_dash_periods = 1 << 22;
constexpr double cairo_tolerance = 0.1;

// The length of the current path in user space: lines, and the control
// polygons of curves, never shorter than the curves. Not finite when the
// path reaches past what a double holds.
double path_length(const Context& ctx) {
    const CairoApi& c = *ctx.cairo;
    cairo_path_t* path = c.copy_path(ctx.cr);
    double length = 0;
    Point start{0, 0}, last{0, 0};
    auto to = [&](const cairo_path_data_t& p) {
        length += std::hypot(p.point.x - last.x, p.point.y - last.y);
        last = {p.point.x, p.point.y};
    };
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t* d = &path->data[i];
        switch (d->header.type) {
        case CAIRO_PATH_MOVE_TO: start = last = {d[1].point.x, d[1].point.y}; break;
        case CAIRO_PATH_LINE_TO: to(d[1]); break;
        case CAIRO_PATH_CURVE_TO:
            for (int k = 1; k <= 3; ++k) to(d[k]);
            break;
        case CAIRO_PATH_CLOSE_PATH:
            length += std::hypot(start.x - last.x, start.y - last.y);
            last = start;
            break;
        }
    }
    c.path_destroy(path);
    return length;
}

// Whether the current path is stroked with the dashes: not when it holds
// more dash periods than the dasher gets through promptly (it is then
// stroked solid).
bool dashable(const Context& ctx) {
    const State& s = ctx.state;
    if (s.dashes.empty()) return false;
    double period = 0;
    for (float d : s.dashes) period += double(d) * s.line_width;
    // The shortest period Cairo walks, in user units.
    double walked = std::fmax(period, cairo_tolerance / largest_scale(to_device(ctx, s.matrix)));
    return path_length(ctx) / walked <= max_dash_periods;
}

void set_stroke_style(Context& ctx) {
    static constexpr cairo_line_join_t joins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_BEVEL,
                                                  CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_MITER};
    static constexpr cairo_line_cap_t caps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_SQUARE,
                                                CAIRO_LINE_CAP_ROUND};
    const State& s = ctx.state;
    const CairoApi& c = *ctx.cairo;
    c.set_line_width(ctx.cr, drawn_width(s.line_width, to_device(ctx, s.matrix)));
    c.set_line_join(ctx.cr, joins[int(s.join)]);
    c.set_line_cap(ctx.cr, caps[int(s.cap)]);
    // Dashes are kept in line widths and scaled at each stroke, so that a
    // later width rescales them.
    std::vector<double> dashes;
    if (dashable(ctx))
        for (float d : s.dashes) dashes.push_back(double(d) * s.line_width);
    c.set_dash(ctx.cr, dashes.data(), int(dashes.size()), 0);
}

template <class Draw>
void draw_with(Context& ctx, const Brush& brush, bool pen, Draw draw) {
    if (!use_brush(ctx, brush, pen)) return;
    draw_grouped(
        ctx, brush.kind != BrushKind::solid && beyond_fixed_point(ctx, brush_placement(brush), pen),
        draw);
}

} // namespace

// Cairo finds a fill's bounds by tessellating the whole path, unclipped,
// in a time that grows with the crossings of its edges: a tangle of many
// thousands of edges (a long scribble, or curves past Cairo's fixed-point
// range, which wrap around into a mess) can take minutes. A path that
// flattens to more edges is measured by its points instead, which
// differs only where parts of it enclose no area. A stroke's bounds come
// from its outline without tessellating.
constexpr int max_tessellated_edges = 1024;

void ink_extents(const Context& ctx, bool stroke, double& x0, double& y0, double& x1, double& y1) {
    const CairoApi& c = *ctx.cairo;
    if (stroke) return c.stroke_extents(ctx.cr, &x0, &y0, &x1, &y1);
    cairo_path_t* flat = c.copy_path_flat(ctx.cr);
    int edges = 0;
    for (int i = 0; i < flat->num_data; i += flat->data[i].header.length)
        edges += flat->data[i].header.type != CAIRO_PATH_MOVE_TO;
    c.path_destroy(flat);
    (edges <= max_tessellated_edges ? c.fill_extents : c.path_extents)(ctx.cr, &x0, &y0, &x1, &y1);
}

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
    ink_extents(ctx, stroke, x0, y0, x1, y1);
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
