#include <algorithm>
#include <cmath>
#include <numbers>

#include "gui/backend/conversions.h"
#include "gui/backend/draw/commands.h"
#include "gui/backend/draw/geometry.h"

namespace kiv::gui::draw {

namespace {

bool finite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Cairo keeps coordinates in 24.8 fixed point: a point further from the
// target's origin wraps around, and the tangle that makes is drawn wrong
// and can crash Cairo (a long stroke under a clip that is not a
// rectangle). A shape reaching that far, in device pixels, draws nothing,
// as one with a number that is not finite does.
constexpr double fixed_point_reach = 1 << 23;

bool within_reach(const Context& ctx, std::initializer_list<Point> points) {
    Matrix3x2 m = to_device(ctx, ctx.state.matrix);
    return std::all_of(points.begin(), points.end(), [&](const Point& p) {
        Point2 d = transform(m, {p.x, p.y});
        return std::fabs(d.x) < fixed_point_reach && std::fabs(d.y) < fixed_point_reach;
    });
}

bool within_reach(const Context& ctx, const std::vector<Point>& points) {
    return std::all_of(points.begin(), points.end(),
                       [&](const Point& p) { return within_reach(ctx, {p}); });
}

// Whether an ellipse's bounding box is within reach.
bool ellipse_within_reach(const Context& ctx, Point c, double rx, double ry) {
    return within_reach(
        ctx,
        {{c.x - rx, c.y - ry}, {c.x + rx, c.y - ry}, {c.x + rx, c.y + ry}, {c.x - rx, c.y + ry}});
}

void ellipse_path(Context& ctx, Point c, double rx, double ry) {
    ctx.cairo->move_to(ctx.cr, c.x + rx, c.y);
    append_arc(ctx, c, rx, ry, 0, 0, 2 * pi);
    ctx.cairo->close_path(ctx.cr);
}

void points_path(Context& ctx, const std::vector<Point>& points) {
    ctx.cairo->move_to(ctx.cr, points[0].x, points[0].y);
    for (size_t i = 1; i < points.size(); ++i) ctx.cairo->line_to(ctx.cr, points[i].x, points[i].y);
}

// A corner arc of a rounded box: a quarter turn from angle `from`.
void corner(Context& ctx, double cx, double cy, double r, double from) {
    append_arc(ctx, {cx, cy}, r, r, 0, from, pi / 2);
}

} // namespace

void box(Context& ctx, Point a, Point b, double radius) {
    if (!drawable(ctx) || !std::isfinite(radius) ||
        !within_reach(ctx, {a, b, {a.x, b.y}, {b.x, a.y}}))
        return;
    double x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y), x1 = std::max(a.x, b.x),
           y1 = std::max(a.y, b.y);
    // The radius never exceeds half the smaller side.
    double r = std::min({std::fabs(radius), (x1 - x0) / 2, (y1 - y0) / 2});
    const CairoApi& c = *ctx.cairo;
    if (r > 0) {
        c.move_to(ctx.cr, x0 + r, y0);
        c.line_to(ctx.cr, x1 - r, y0);
        corner(ctx, x1 - r, y0 + r, r, -pi / 2);
        c.line_to(ctx.cr, x1, y1 - r);
        corner(ctx, x1 - r, y1 - r, r, 0);
        c.line_to(ctx.cr, x0 + r, y1);
        corner(ctx, x0 + r, y1 - r, r, pi / 2);
        c.line_to(ctx.cr, x0, y0 + r);
        corner(ctx, x0 + r, y0 + r, r, pi);
        c.close_path(ctx.cr);
    } else {
        c.rectangle(ctx.cr, x0, y0, x1 - x0, y1 - y0);
    }
    cast_shadows(ctx);
    paint(ctx, true);
}

void polyline(Context& ctx, const std::vector<Point>& points) {
    if (!drawable(ctx) || !within_reach(ctx, points)) return;
    points_path(ctx, points);
    paint(ctx, points.size() > 2);
}

void polygon(Context& ctx, const std::vector<Point>& points) {
    if (!drawable(ctx) || !within_reach(ctx, points)) return;
    points_path(ctx, points);
    ctx.cairo->close_path(ctx.cr);
    paint(ctx, true);
}

void ellipse(Context& ctx, Point centre, double rx, double ry) {
    if (!drawable(ctx) || !ellipse_within_reach(ctx, centre, rx, ry)) return;
    ellipse_path(ctx, centre, rx, ry);
    cast_shadows(ctx);
    paint(ctx, true);
}

void arc(Context& ctx, Point c, Point radii, double start, double sweep, bool closed) {
    if (!drawable(ctx) || !finite({start, sweep}) ||
        !ellipse_within_reach(ctx, c, radii.x, radii.y))
        return;
    double rx = radii.x, ry = radii.y;
    if (float(sweep) >= 359.999f || float(sweep) <= -359.999f) return ellipse(ctx, c, rx, ry);
    double t1 = start * pi / 180, t2 = (start + sweep) * pi / 180;
    // Angles on screen become parameters of the ellipse.
    if (rx != ry) {
        t1 = std::atan2(rx * std::sin(t1), ry * std::cos(t1));
        t2 = std::atan2(rx * std::sin(t2), ry * std::cos(t2));
    }
    // The arc runs clockwise (growing parameter) for a positive sweep.
    double dt = std::fmod(t2 - t1, 2 * pi);
    if (sweep >= 0 && dt < 0) dt += 2 * pi;
    if (sweep < 0 && dt > 0) dt -= 2 * pi;
    const CairoApi& cairo = *ctx.cairo;
    Point from{c.x + rx * std::cos(t1), c.y + ry * std::sin(t1)};
    if (closed) {
        cairo.move_to(ctx.cr, c.x, c.y);
        cairo.line_to(ctx.cr, from.x, from.y);
    } else {
        cairo.move_to(ctx.cr, from.x, from.y);
    }
    append_arc(ctx, c, rx, ry, 0, t1, dt);
    if (closed) cairo.close_path(ctx.cr);
    paint(ctx, closed);
}

void curve(Context& ctx, const std::vector<Point>& p) {
    if (!drawable(ctx) || !within_reach(ctx, p)) return;
    Point c1 = p[1], c2 = p[2], end = p.back();
    if (p.size() == 3) {
        c1 = {(2 * p[1].x + p[0].x) / 3, (2 * p[1].y + p[0].y) / 3};
        c2 = {(2 * p[1].x + p[2].x) / 3, (2 * p[1].y + p[2].y) / 3};
    }
    ctx.cairo->move_to(ctx.cr, p[0].x, p[0].y);
    ctx.cairo->curve_to(ctx.cr, c1.x, c1.y, c2.x, c2.y, end.x, end.y);
    paint(ctx, false);
}

namespace {

// One Catmull-Rom span from p1 to p2 in 25 straight segments.
void spline_span(Context& ctx, Point p0, Point p1, Point p2, Point p3) {
    float t = 0;
    for (int i = 0; i < 25; ++i) {
        t += 0.04f;
        double t2 = double(t) * t, t3 = t2 * t;
        auto at = [&](double a0, double a1, double a2, double a3) {
            return 0.5 * (2 * a1 + (a2 - a0) * t + (2 * a0 - 5 * a1 + 4 * a2 - a3) * t2 +
                          (3 * (a1 - a2) + a3 - a0) * t3);
        };
        ctx.cairo->line_to(ctx.cr, at(p0.x, p1.x, p2.x, p3.x), at(p0.y, p1.y, p2.y, p3.y));
    }
}

} // namespace

void spline(Context& ctx, const std::vector<Point>& p, bool closed) {
    if (p.size() == 2) return polyline(ctx, p);
    if (!drawable(ctx) || !within_reach(ctx, p)) return;
    size_t n = p.size();
    ctx.cairo->move_to(ctx.cr, p[0].x, p[0].y);
    spline_span(ctx, closed ? p[n - 1] : p[0], p[0], p[1], p[2]);
    for (size_t i = 1; i + 2 < n; ++i) spline_span(ctx, p[i - 1], p[i], p[i + 1], p[i + 2]);
    if (closed) {
        spline_span(ctx, p[n - 3], p[n - 2], p[n - 1], p[0]);
        spline_span(ctx, p[n - 2], p[n - 1], p[0], p[1]);
        ctx.cairo->close_path(ctx.cr);
    } else {
        spline_span(ctx, p[n - 3], p[n - 2], p[n - 1], p[n - 1]);
    }
    paint(ctx, true);
}

} // namespace kiv::gui::draw
