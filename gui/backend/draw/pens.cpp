#include <cmath>

#include "gui/backend/conversions.h"
#include "gui/backend/draw/commands.h"
#include "gui/backend/draw/geometry.h"

namespace kiv::gui::draw {

void set_brush(Context& ctx, bool fill, Brush brush) {
    State& s = ctx.state;
    if (fill) {
        s.fill = std::move(brush);
        return;
    }
    s.pen = std::move(brush);
    // A hidden pen (width 0) keeps its new brush for when it shows again.
    if (s.line_width == 0) {
        s.saved_pen_kind = s.pen.kind;
        s.pen.kind = BrushKind::off;
    }
}

void pen_color(Context& ctx, uint32_t color) {
    if (!ctx.state.text_color_fixed) ctx.state.text_color = color;
    set_brush(ctx, false, Brush{BrushKind::solid, color, nullptr});
}

void pen_off(Context& ctx) {
    ctx.state.pen.kind = BrushKind::off;
    ctx.state.saved_pen_kind = BrushKind::off;
}

void fill_color(Context& ctx, uint32_t color) {
    set_brush(ctx, true, Brush{BrushKind::solid, color, nullptr});
}

void fill_off(Context& ctx) {
    ctx.state.fill.kind = BrushKind::off;
}

namespace {

// A gradient pattern over the stops; null when a coordinate is not finite.
std::shared_ptr<cairo_pattern_t> make_pattern(Context& ctx, GradientShape shape, Point p1, Point p2,
                                              double radius, bool focal,
                                              const std::vector<Stop>& stops,
                                              cairo_extend_t extend) {
    for (double v : {p1.x, p1.y, p2.x, p2.y, radius})
        if (!std::isfinite(v)) return nullptr;
    const CairoApi& c = *ctx.cairo;
    cairo_pattern_t* pattern;
    if (shape == GradientShape::linear)
        pattern = c.pattern_create_linear(p1.x, p1.y, p2.x, p2.y);
    else if (focal)
        pattern = c.pattern_create_radial(p2.x, p2.y, 0, p1.x, p1.y, std::fabs(radius));
    else
        pattern = c.pattern_create_radial(p1.x, p1.y, 0, p1.x, p1.y, std::fabs(radius));
    // Cairo keeps stops of equal offsets in the order given: a hard edge.
    for (const Stop& stop : stops) {
        if (!std::isfinite(stop.offset)) continue;
        Rgba rgba = color_to_rgba(stop.color);
        c.pattern_add_color_stop_rgba(pattern, stop.offset, rgba.r, rgba.g, rgba.b, rgba.a);
    }
    c.pattern_set_extend(pattern, extend);
    return {pattern, c.pattern_destroy};
}

// Cairo's pattern matrix maps user space to the brush's: the inverse of
// the brush's placement. False when that has no inverse.
bool place_pattern(Context& ctx, cairo_pattern_t* pattern, const Matrix3x2& placement) {
    Matrix3x2 inverse;
    if (!invert(placement, inverse) || !std::isfinite(inverse.dx) || !std::isfinite(inverse.dy))
        return false;
    cairo_matrix_t m;
    to_cairo(inverse, m);
    ctx.cairo->pattern_set_matrix(pattern, &m);
    return true;
}

} // namespace

void gradient(Context& ctx, bool fill, const Gradient& g) {
    Brush b{g.fitted ? BrushKind::fitted : BrushKind::fixed, 0, nullptr};
    b.shape = g.shape;
    b.stops = g.stops;
    b.extend = g.extend;
    b.matrix = g.matrix;
    if (!g.fitted)
        b.pattern = make_pattern(ctx, g.shape, g.p1, g.p2, g.radius, g.focal, g.stops, g.extend);
    set_brush(ctx, fill, std::move(b));
}

Matrix3x2 brush_placement(const Brush& b) {
    if (b.tile_unit == 1) return b.matrix;
    Matrix3x2 placement;
    scale(placement, 1 / b.tile_unit, 1 / b.tile_unit);
    multiply(placement, b.matrix, placement);
    return placement;
}

bool use_brush(Context& ctx, const Brush& b, bool stroke) {
    const CairoApi& c = *ctx.cairo;
    if (b.kind == BrushKind::solid) {
        Rgba rgba = color_to_rgba(b.color);
        c.set_source_rgba(ctx.cr, rgba.r, rgba.g, rgba.b, rgba.a);
        return true;
    }
    std::shared_ptr<cairo_pattern_t> pattern = b.pattern;
    Matrix3x2 placement = brush_placement(b);
    if (b.kind == BrushKind::fitted || b.kind == BrushKind::image) {
        // The brush follows the shape's bounds, its transformation applied
        // before the move to their top-left; a gradient spans them.
        double x0, y0, x1, y1;
        ink_extents(ctx, stroke, x0, y0, x1, y1);
        double w = x1 - x0, h = y1 - y0;
        bool linear = b.shape == GradientShape::linear;
        if (b.kind == BrushKind::fitted)
            pattern = make_pattern(ctx, b.shape, linear ? Point{0, 0} : Point{w / 2, h / 2},
                                   Point{w, 0}, std::fmin(w, h) / 2, false, b.stops, b.extend);
        translate(placement, x0, y0);
    }
    if (!pattern || !place_pattern(ctx, pattern.get(), placement)) return false;
    c.set_source(ctx.cr, pattern.get());
    return true;
}

void line_width(Context& ctx, double width) {
    State& s = ctx.state;
    if (width == 0) {
        if (s.line_width != 0) s.saved_pen_kind = s.pen.kind;
        s.pen.kind = BrushKind::off;
        s.line_width = 0;
        return;
    }
    if (width == s.line_width) return;
    if (s.line_width == 0) s.pen.kind = s.saved_pen_kind;
    s.line_width = float(width);
}

void line_join(Context& ctx, LineJoin join) {
    ctx.state.join = join;
}

void line_cap(Context& ctx, LineCap cap) {
    ctx.state.cap = cap;
}

void line_pattern(Context& ctx, std::vector<float> dashes) {
    ctx.state.dashes = std::move(dashes);
}

} // namespace kiv::gui::draw
