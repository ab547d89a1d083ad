#include <algorithm>
#include <cmath>
#include <cstring>

#include "datatypes/image_layer.h"
#include "gui/backend/draw/commands.h"
#include "gui/backend/draw/geometry.h"

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
// quadrilateral that no affine mapping reaches (drawn projectively).
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

struct Box {
    double x0, y0, x1, y1;
};

// The rectangle, parallelogram or rectangle of the source mapped onto
// the destination through a pattern.
void draw_affine(Context& ctx, cairo_surface_t* surface, const Rect& source, Point origin, Point ax,
                 Point ay) {
    // The pattern maps user space to the source: the inverse of placing
    // the source rectangle at the destination.
    cairo_matrix_t m;
    if (!source_mapping(origin, {ax.x / source.w, ax.y / source.w},
                        {ay.x / source.h, ay.y / source.h}, m))
        return;
    const CairoApi& c = *ctx.cairo;
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
    Matrix3x2 placement{float(m.xx), float(m.yx), float(m.xy),
                        float(m.yy), float(m.x0), float(m.y0)};
    bool far = !invert(placement, placement) || beyond_fixed_point(ctx, placement, false);
    draw_grouped(ctx, far, [&] { c.fill(ctx.cr); });
    c.new_path(ctx.cr);
    c.pattern_destroy(pattern);
    c.surface_destroy(part);
}

// A 3x3 projective mapping: (x, y) = ((a u + b v + c), (d u + e v + f))
// / (g u + h v + 1), of the unit square onto a quadrilateral.
struct Projective {
    double m[9];
    Point map(double u, double v) const {
        double w = m[6] * u + m[7] * v + m[8];
        return {(m[0] * u + m[1] * v + m[2]) / w, (m[3] * u + m[4] * v + m[5]) / w};
    }
};

// The square's corners (0,0) (1,0) (1,1) (0,1) onto q[0..3].
bool square_to_quad(const Point q[4], Projective& out) {
    double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x, dx3 = q[0].x - q[1].x + q[2].x - q[3].x;
    double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y, dy3 = q[0].y - q[1].y + q[2].y - q[3].y;
    double det = dx1 * dy2 - dx2 * dy1;
    if (det == 0 || !std::isfinite(det)) return false;
    double g = (dx3 * dy2 - dx2 * dy3) / det, h = (dx1 * dy3 - dx3 * dy1) / det;
    out = {{q[1].x - q[0].x + g * q[1].x, q[3].x - q[0].x + h * q[3].x, q[0].x,
            q[1].y - q[0].y + g * q[1].y, q[3].y - q[0].y + h * q[3].y, q[0].y, g, h, 1}};
    return true;
}

bool invert3(const Projective& p, Projective& out) {
    const double* m = p.m;
    double a = m[4] * m[8] - m[5] * m[7], b = m[5] * m[6] - m[3] * m[8],
           c = m[3] * m[7] - m[4] * m[6];
    double det = m[0] * a + m[1] * b + m[2] * c;
    if (det == 0 || !std::isfinite(det)) return false;
    out = {{a / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det, b / det,
            (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det, c / det,
            (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det}};
    return true;
}

// A premultiplied pixel of the source part, bilinear, edges padded.
uint32_t sample(const uint8_t* data, int stride, const Rect& r, double x, double y) {
    // Where the mapping overflows there is no source pixel: transparent.
    if (!std::isfinite(x) || !std::isfinite(y)) return 0;
    x = std::clamp(x - 0.5, 0.0, r.w - 1) + r.x;
    y = std::clamp(y - 0.5, 0.0, r.h - 1) + r.y;
    int x0 = int(x), y0 = int(y);
    int x1 = std::min(x0 + 1, int(r.x + r.w) - 1), y1 = std::min(y0 + 1, int(r.y + r.h) - 1);
    double fx = x - x0, fy = y - y0;
    auto at = [&](int px, int py) {
        uint32_t v;
        std::memcpy(&v, data + size_t(py) * stride + size_t(px) * 4, 4);
        return v;
    };
    uint32_t p00 = at(x0, y0), p10 = at(x1, y0), p01 = at(x0, y1), p11 = at(x1, y1), out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        auto ch = [&](uint32_t p) { return double((p >> shift) & 0xFF); };
        double v = (ch(p00) * (1 - fx) + ch(p10) * fx) * (1 - fy) +
                   (ch(p01) * (1 - fx) + ch(p11) * fx) * fy;
        out |= uint32_t(std::lround(v)) << shift;
    }
    return out;
}

// Cairo has no projective transformation: the visible bounds of the
// quadrilateral (in device space) are filled pixel by pixel through the
// inverse mapping, then the quadrilateral is filled with that picture.
void draw_projective(Context& ctx, cairo_surface_t* surface, const Rect& source,
                     const std::vector<Point>& p) {
    Point q[4] = {p[0], p[1], p[2], p.size() == 4 ? p[3] : Point{p[0].x, p[2].y}};
    Box bounds{INFINITY, INFINITY, -INFINITY, -INFINITY};
    Matrix3x2 to_pixels = to_device(ctx, ctx.state.matrix);
    for (Point& corner : q) {
        Point2 dev = transform(to_pixels, {corner.x, corner.y});
        corner = {dev.x, dev.y};
        bounds = {std::fmin(bounds.x0, dev.x), std::fmin(bounds.y0, dev.y),
                  std::fmax(bounds.x1, dev.x), std::fmax(bounds.y1, dev.y)};
    }
    Projective forward, inverse;
    if (!square_to_quad(q, forward) || !invert3(forward, inverse)) return;
    const CairoApi& c = *ctx.cairo;
    // Cut to the target before becoming integers: a quadrilateral lying
    // far beyond the target has bounds no int holds.
    double left = std::fmax(std::floor(bounds.x0), 0), top = std::fmax(std::floor(bounds.y0), 0);
    double right = std::fmin(std::ceil(bounds.x1), c.image_surface_get_width(ctx.target));
    double bottom = std::fmin(std::ceil(bounds.y1), c.image_surface_get_height(ctx.target));
    if (!(right > left && bottom > top)) return;
    int x0 = int(left), y0 = int(top), x1 = int(right), y1 = int(bottom);
    cairo_surface_t* picture = c.image_surface_create(CAIRO_FORMAT_ARGB32, x1 - x0, y1 - y0);
    c.surface_flush(surface);
    c.surface_flush(picture);
    const uint8_t* data = c.image_surface_get_data(surface);
    int stride = c.image_surface_get_stride(surface);
    uint8_t* out = c.image_surface_get_data(picture);
    int out_stride = c.image_surface_get_stride(picture);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            Point uv = inverse.map(x + 0.5, y + 0.5);
            uint32_t v = sample(data, stride, source, uv.x * source.w, uv.y * source.h);
            std::memcpy(out + size_t(y - y0) * out_stride + size_t(x - x0) * 4, &v, 4);
        }
    }
    c.surface_mark_dirty(picture);
    c.identity_matrix(ctx.cr);
    c.set_source_surface(ctx.cr, picture, x0, y0);
    c.new_path(ctx.cr);
    c.move_to(ctx.cr, q[0].x, q[0].y);
    for (int i = 1; i < 4; ++i) c.line_to(ctx.cr, q[i].x, q[i].y);
    c.close_path(ctx.cr);
    c.set_fill_rule(ctx.cr, CAIRO_FILL_RULE_WINDING);
    c.fill(ctx.cr);
    c.surface_destroy(picture);
    apply_matrix(ctx);
}

} // namespace

void image(Context& ctx, const ImageDraw& d) {
    if (!drawable(ctx) || !d.node || d.width <= 0 || d.height <= 0) return;
    for (const Point& p : d.points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    Rect source{0, 0, d.width, d.height};
    Point shift{0, 0};
    if (d.cropped && !crop_source(d, source, shift)) return;
    const CairoApi& c = *ctx.cairo;
    cairo_surface_t* surface =
        d.node == ctx.target_image ? snapshot(ctx, ctx.target) : image::drawing(d.node);
    if (!surface) return;
    if (d.node != ctx.target_image) c.surface_reference(surface);
    Point origin, ax, ay;
    if (destination(d, source, shift, origin, ax, ay))
        draw_affine(ctx, surface, source, origin, ax, ay);
    else
        draw_projective(ctx, surface, source, d.points);
    c.surface_destroy(surface);
}

} // namespace kiv::gui::draw
