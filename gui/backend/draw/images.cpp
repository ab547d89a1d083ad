#include <cmath>

#include "datatypes/image_layer.h"
#include "gui/backend/draw/commands.h"

namespace kiv::gui::draw {

namespace {

struct Rect {
    double x, y, w, h;
};

// The source rectangle of a crop, and how far the destination moves for
// the part cut off at the left and top; false when nothing of the image
// is inside it.
bool crop_source(const ImageDraw& d, Rect& source, Point& shift) {
    double x0 = std::fmin(d.crop_offset.x, d.crop_offset.x + d.crop_size.x),
           y0 = std::fmin(d.crop_offset.y, d.crop_offset.y + d.crop_size.y),
           x1 = std::fmax(d.crop_offset.x, d.crop_offset.x + d.crop_size.x),
           y1 = std::fmax(d.crop_offset.y, d.crop_offset.y + d.crop_size.y);
    if (x1 <= 0 || y1 <= 0 || x0 >= d.width || y0 >= d.height) return false;
    shift = {std::fmax(-x0, 0), std::fmax(-y0, 0)};
    x0 = std::fmax(x0, 0);
    y0 = std::fmax(y0, 0);
    source = {x0, y0, std::fmin(x1, d.width) - x0, std::fmin(y1, d.height) - y0};
    return source.w > 0 && source.h > 0;
}

// The mapping of the source's unit square onto the destination: the
// corner, the image of its x axis and of its y axis. False for a
// quadrilateral that no affine mapping reaches.
bool destination(const ImageDraw& d, const Rect& source, Point shift, Point& origin, Point& ax,
                 Point& ay) {
    const std::vector<Point>& p = d.points;
    if (p.size() <= 1) {
        Point at = p.empty() ? Point{0, 0} : p[0];
        origin = {at.x + shift.x, at.y + shift.y};
        ax = {source.w, 0};
        ay = {0, source.h};
        return true;
    }
    if (p.size() == 2) {
        origin = p[0];
        ax = {p[1].x - p[0].x, 0};
        ay = {0, p[1].y - p[0].y};
        return true;
    }
    Point lower_left = p.size() == 4 ? p[3] : Point{p[0].x, p[2].y};
    origin = p[0];
    ax = {p[1].x - p[0].x, p[1].y - p[0].y};
    ay = {lower_left.x - p[0].x, lower_left.y - p[0].y};
    // The fourth corner of a parallelogram is fixed by the other three.
    double ex = p[0].x + ax.x + ay.x - p[2].x, ey = p[0].y + ax.y + ay.y - p[2].y;
    double scale = std::fabs(ax.x) + std::fabs(ax.y) + std::fabs(ay.x) + std::fabs(ay.y);
    return std::fabs(ex) + std::fabs(ey) <= 1e-6 * scale;
}

// The inverse, in doubles, of the mapping that takes a source pixel
// position p to origin + p.x ax + p.y ay; false when it is singular.
bool source_mapping(Point origin, Point ax, Point ay, cairo_matrix_t& out) {
    double det = ax.x * ay.y - ax.y * ay.x;
    if (det == 0 || !std::isfinite(det)) return false;
    out.xx = ay.y / det;
    out.yx = -ax.y / det;
    out.xy = -ay.x / det;
    out.yy = ax.x / det;
    out.x0 = -(out.xx * origin.x + out.xy * origin.y);
    out.y0 = -(out.yx * origin.x + out.yy * origin.y);
    return std::isfinite(out.x0) && std::isfinite(out.y0);
}

// A copy of the surface, for an image drawn onto itself.
cairo_surface_t* snapshot(Context& ctx, cairo_surface_t* surface) {
    const CairoApi& c = *ctx.cairo;
    c.surface_flush(surface);
    cairo_surface_t* copy =
        c.image_surface_create(CAIRO_FORMAT_ARGB32, c.image_surface_get_width(surface),
                               c.image_surface_get_height(surface));
    cairo_t* cr = c.create(copy);
    c.set_operator(cr, CAIRO_OPERATOR_SOURCE);
    c.set_source_surface(cr, surface, 0, 0);
    c.paint(cr);
    c.destroy(cr);
    return copy;
}

} // namespace

void image(Context& ctx, const ImageDraw& d) {
    if (!drawable(ctx) || !d.node || d.width <= 0 || d.height <= 0) return;
    for (const Point& p : d.points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    Rect source{0, 0, d.width, d.height};
    Point shift{0, 0};
    if (d.cropped && !crop_source(d, source, shift)) return;
    Point origin, ax, ay;
    if (!destination(d, source, shift, origin, ax, ay)) return;
    // The pattern maps user space to the source: the inverse of placing
    // the source rectangle at the destination.
    cairo_matrix_t m;
    if (!source_mapping(origin, {ax.x / source.w, ax.y / source.w},
                        {ay.x / source.h, ay.y / source.h}, m))
        return;
    const CairoApi& c = *ctx.cairo;
    cairo_surface_t* surface =
        d.node == ctx.target_image ? snapshot(ctx, ctx.target) : image::drawing(d.node);
    if (!surface) return;
    if (d.node != ctx.target_image) c.surface_reference(surface);
    cairo_surface_t* part =
        c.surface_create_for_rectangle(surface, source.x, source.y, source.w, source.h);
    cairo_pattern_t* pattern = c.pattern_create_for_surface(part);
    // Padding keeps the edges hard where the image ends.
    c.pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    c.pattern_set_filter(pattern, CAIRO_FILTER_BEST);
    c.pattern_set_matrix(pattern, &m);
    c.set_source(ctx.cr, pattern);
    c.new_path(ctx.cr);
    c.move_to(ctx.cr, origin.x, origin.y);
    c.line_to(ctx.cr, origin.x + ax.x, origin.y + ax.y);
    c.line_to(ctx.cr, origin.x + ax.x + ay.x, origin.y + ax.y + ay.y);
    c.line_to(ctx.cr, origin.x + ay.x, origin.y + ay.y);
    c.close_path(ctx.cr);
    c.set_fill_rule(ctx.cr, CAIRO_FILL_RULE_WINDING);
    c.fill(ctx.cr);
    c.pattern_destroy(pattern);
    c.surface_destroy(part);
    c.surface_destroy(surface);
}

} // namespace kiv::gui::draw
