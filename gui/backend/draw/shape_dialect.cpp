#include "gui/backend/draw/shape_dialect.h"

#include "gui/backend/draw/reader.h"

namespace kiv::gui::draw {

namespace {

Sym s_sweep{"sweep"}, s_large{"large"};

Point plus(Point a, Point b) {
    return {a.x + b.x, a.y + b.y};
}

// The point read, moved by the base when the command is relative.
Point read_point(Reader& r, Point base) {
    Point p = r.point();
    return r.relative() ? plus(p, base) : p;
}

// The first control point of a smooth curve: the last one mirrored about
// the current point after a curve, else the current point.
Point mirrored(const Context& ctx) {
    if (!ctx.last_was_curve) return ctx.current;
    return {2 * ctx.current.x - ctx.last_control.x, 2 * ctx.current.y - ctx.last_control.y};
}

void move_(Reader& r) {
    path_move(r.ctx, read_point(r, r.ctx.current));
}

// Relative points each add to the point before.
void line_(Reader& r) {
    if (!r.is_point()) r.fail();
    while (r.is_point()) path_line(r.ctx, read_point(r, r.ctx.current));
}

void hline_(Reader& r) {
    double x = r.number();
    Point c = r.ctx.current;
    path_line(r.ctx, {r.relative() ? c.x + x : x, c.y});
}

void vline_(Reader& r) {
    double y = r.number();
    Point c = r.ctx.current;
    path_line(r.ctx, {c.x, r.relative() ? c.y + y : y});
}

// The flags come in either order, each at most once.
void arc_(Reader& r) {
    Point end = read_point(r, r.ctx.current);
    double rx = r.number(), ry = r.number(), angle = r.number();
    bool sweep = false, large = false;
    for (int i = 0; i < 2; ++i) {
        if (!sweep && r.optional(s_sweep))
            sweep = true;
        else if (!large && r.optional(s_large))
            large = true;
    }
    path_arc(r.ctx, end, rx, ry, angle, sweep, large);
}

// Curves take their points in groups of `size` (at least one group);
// relative points of a group add to the current point where it starts;
// points left after the last whole group are ignored.
template <class Segment>
void curves(Reader& r, size_t size, Segment segment) {
    std::vector<Point> points = r.points();
    if (points.size() < size) r.fail_at(points.empty() ? r.keyword : r.pos - 1);
    for (size_t i = 0; i + size <= points.size(); i += size) {
        Point base = r.relative() ? r.ctx.current : Point{0, 0};
        Point group[3];
        for (size_t k = 0; k < size; ++k) group[k] = plus(points[i + k], base);
        segment(group);
    }
}

void curve_(Reader& r) {
    curves(r, 3, [&](Point* p) { path_curve(r.ctx, p[0], p[1], p[2]); });
}

void curv_(Reader& r) {
    curves(r, 2, [&](Point* p) { path_curve(r.ctx, mirrored(r.ctx), p[0], p[1]); });
}

void qcurve_(Reader& r) {
    curves(r, 2, [&](Point* p) { path_qcurve(r.ctx, p[0], p[1]); });
}

void qcurv_(Reader& r) {
    curves(r, 1, [&](Point* p) { path_qcurve(r.ctx, mirrored(r.ctx), p[0]); });
}

void close_(Reader& r) {
    path_close(r.ctx);
}

struct Command {
    Sym name;
    Handler handler;
};

Command commands[] = {
    {{"move"}, move_},   {{"line"}, line_},   {{"hline"}, hline_}, {{"vline"}, vline_},
    {{"arc"}, arc_},     {{"curve"}, curve_}, {{"curv"}, curv_},   {{"qcurve"}, qcurve_},
    {{"qcurv"}, qcurv_}, {{"close"}, close_},
};

Handler find_command(const Cell& word) {
    uint32_t id = canonical(word);
    for (Command& c : commands)
        if (c.name.get() == id) return c.handler;
    return nullptr;
}

} // namespace

void draw_shape(Context& ctx, const Cell& block) {
    path_begin(ctx);
    walk(ctx, block, find_command);
    path_draw(ctx);
}

void clip_shape(Context& ctx, const Cell& block) {
    path_begin(ctx);
    walk(ctx, block, find_command);
    push_clip_path(ctx);
}

} // namespace kiv::gui::draw
