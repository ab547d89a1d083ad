#include <cmath>

#include "gui/backend/draw/commands.h"
#include "gui/backend/draw/geometry.h"

namespace kiv::gui::draw {

namespace {

// A non-finite point spoils the path, which then draws nothing.
bool usable(Context& ctx, std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) ctx.path_finite = false;
    return ctx.path_finite;
}

void line_to(Context& ctx, Point p) {
    ctx.cairo->line_to(ctx.cr, p.x, p.y);
    ctx.current = p;
    ctx.last_was_curve = false;
}

double vector_angle(double ux, double uy, double vx, double vy) {
    return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
}

} // namespace

// Shape paths begin with a current point at 0x0: a line without a move
// starts there.
void path_begin(Context& ctx) {
    ctx.cairo->new_path(ctx.cr);
    ctx.cairo->move_to(ctx.cr, 0, 0);
    ctx.current = {0, 0};
    ctx.last_was_curve = false;
    ctx.path_finite = true;
}

void path_move(Context& ctx, Point p) {
    if (!usable(ctx, {p.x, p.y})) return;
    ctx.cairo->move_to(ctx.cr, p.x, p.y);
    ctx.current = p;
    ctx.last_was_curve = false;
}

void path_line(Context& ctx, Point p) {
    if (usable(ctx, {p.x, p.y})) line_to(ctx, p);
}

// The endpoint form goes to the centre form: radii too small to reach the
// end are scaled up, a radicand below 0 from rounding counts as 0, and a
// zero radius gives a line.
void path_arc(Context& ctx, Point end, double rx, double ry, double degrees, bool sweep,
              bool large) {
    if (!usable(ctx, {end.x, end.y, rx, ry, degrees})) return;
    Point from = ctx.current;
    if (from.x == end.x && from.y == end.y) return;
    rx = std::fabs(rx);
    ry = std::fabs(ry);
    if (rx == 0 || ry == 0) return line_to(ctx, end);
    double phi = degrees * pi / 180, cp = std::cos(phi), sp = std::sin(phi);
    double hx = (from.x - end.x) / 2, hy = (from.y - end.y) / 2;
    double x1 = cp * hx + sp * hy, y1 = -sp * hx + cp * hy;
    double lambda = x1 * x1 / (rx * rx) + y1 * y1 / (ry * ry);
    if (lambda > 1) {
        rx *= std::sqrt(lambda);
        ry *= std::sqrt(lambda);
    }
    double num = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
    double den = rx * rx * y1 * y1 + ry * ry * x1 * x1;
    double coef = std::sqrt(std::fmax(num, 0) / den) * (large == sweep ? -1 : 1);
    double cx1 = coef * rx * y1 / ry, cy1 = -coef * ry * x1 / rx;
    Point centre{cp * cx1 - sp * cy1 + (from.x + end.x) / 2,
                 sp * cx1 + cp * cy1 + (from.y + end.y) / 2};
    double ux = (x1 - cx1) / rx, uy = (y1 - cy1) / ry, vx = (-x1 - cx1) / rx, vy = (-y1 - cy1) / ry;
    double t = vector_angle(1, 0, ux, uy), dt = vector_angle(ux, uy, vx, vy);
    if (sweep && dt < 0) dt += 2 * pi;
    if (!sweep && dt > 0) dt -= 2 * pi;
    append_arc(ctx, centre, rx, ry, phi, t, dt);
    // The curve ends at the exact end point, whatever the rounding.
    line_to(ctx, end);
}

void path_curve(Context& ctx, Point c1, Point c2, Point end) {
    if (!usable(ctx, {c1.x, c1.y, c2.x, c2.y, end.x, end.y})) return;
    ctx.cairo->curve_to(ctx.cr, c1.x, c1.y, c2.x, c2.y, end.x, end.y);
    ctx.current = end;
    ctx.last_control = c2;
    ctx.last_was_curve = true;
}

// A quadratic curve as the cubic of the same shape.
void path_qcurve(Context& ctx, Point q, Point end) {
    if (!usable(ctx, {q.x, q.y, end.x, end.y})) return;
    Point p = ctx.current;
    ctx.cairo->curve_to(ctx.cr, p.x + 2 * (q.x - p.x) / 3, p.y + 2 * (q.y - p.y) / 3,
                        end.x + 2 * (q.x - end.x) / 3, end.y + 2 * (q.y - end.y) / 3, end.x, end.y);
    ctx.current = end;
    ctx.last_control = q;
    ctx.last_was_curve = true;
}

// Cairo would move to the figure's start; the next figure begins at the
// current point instead.
void path_close(Context& ctx) {
    ctx.cairo->close_path(ctx.cr);
    ctx.cairo->move_to(ctx.cr, ctx.current.x, ctx.current.y);
    ctx.last_was_curve = false;
}

void path_draw(Context& ctx) {
    if (drawable(ctx) && ctx.path_finite) return paint(ctx, true);
    ctx.cairo->new_path(ctx.cr);
}

} // namespace kiv::gui::draw
