#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gui/backend/conversions.h"
#include "gui/backend/draw/commands.h"
#include "gui/backend/draw/geometry.h"

namespace kiv::gui::draw {

namespace {

struct Box {
    double x0, y0, x1, y1;
};

// One pass of a box blur of radius r along rows (or columns) of an A8
// mask, into `out`. The sum starts over the part of the first window
// inside the line, so a radius far wider than the mask costs no more.
void box_pass(const std::vector<float>& in, std::vector<float>& out, int w, int h, int64_t r,
              bool rows) {
    int n = rows ? w : h, lines = rows ? h : w;
    float scale = float(1.0 / double(2 * r + 1));
    for (int line = 0; line < lines; ++line) {
        auto at = [&](int64_t i) -> size_t {
            return rows ? size_t(line) * w + size_t(i) : size_t(i) * w + line;
        };
        float sum = 0;
        for (int64_t i = 0; i <= std::min<int64_t>(r, n - 1); ++i) sum += in[at(i)];
        for (int i = 0; i < n; ++i) {
            out[at(i)] = sum * scale;
            if (i - r >= 0) sum -= in[at(i - r)];
            if (i + r + 1 < n) sum += in[at(i + r + 1)];
        }
    }
}

// Three box blurs in each direction approximate a Gaussian of the
// deviation; their radius from the variance of three boxes. Past 2^30
// (any mask is far narrower) the radius only dims a wash already
// invisible, and stays an integer.
void blur(std::vector<float>& mask, int w, int h, double sigma) {
    double radius = std::fmin((std::sqrt(4 * sigma * sigma + 1) - 1) / 2, double(1 << 30));
    int64_t r = std::llround(radius);
    if (r <= 0) return;
    std::vector<float> tmp(mask.size());
    for (int pass = 0; pass < 3; ++pass) {
        box_pass(mask, tmp, w, h, r, true);
        box_pass(tmp, mask, w, h, r, false);
    }
}

// The device bounds of the user-space box under the transformation.
Box device_box(const Matrix3x2& m, const Box& b) {
    Box out{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (Point p : {Point{b.x0, b.y0}, Point{b.x1, b.y0}, Point{b.x0, b.y1}, Point{b.x1, b.y1}}) {
        Point2 d = transform(m, {p.x, p.y});
        out = {std::fmin(out.x0, d.x), std::fmin(out.y0, d.y), std::fmax(out.x1, d.x),
               std::fmax(out.y1, d.y)};
    }
    return out;
}

void cast(Context& ctx, cairo_path_t* path, const Box& shape, const Shadow& s) {
    const CairoApi& c = *ctx.cairo;
    Matrix3x2 m = to_device(ctx, ctx.state.matrix);
    double w = shape.x1 - shape.x0, h = shape.y1 - shape.y0;
    double grown_w = w + 2 * s.spread, grown_h = h + 2 * s.spread;
    if (!(w > 0 && h > 0 && grown_w > 0 && grown_h > 0) || !std::isfinite(s.blur)) return;
    // The shadow's shape: the shape grown by the spread on each side,
    // about its centre, then moved by the offset.
    double sx = grown_w / w, sy = grown_h / h;
    double cx = (shape.x0 + shape.x1) / 2, cy = (shape.y0 + shape.y1) / 2;
    Matrix3x2 place;
    scale(place, sx, sy, cx, cy);
    translate(place, s.offset.x, s.offset.y);
    multiply(place, m, place);
    // The blur is in the dialect's units, as on an image.
    double sigma = std::fabs(s.blur) / 1.88 * std::hypot(ctx.device.m11, ctx.device.m12);
    double margin = std::ceil(3 * sigma) + 2;
    // A blur wider than the target spreads the shadow into a faint wash
    // that reaches everywhere: what lies farther than the target's size
    // outside it is left out, so that the mask stays within three times
    // the target on each axis.
    double tw = c.image_surface_get_width(ctx.target), th = c.image_surface_get_height(ctx.target);
    margin = std::fmin(margin, std::fmax(tw, th) + 2);
    Box d = device_box(place, shape);
    // Only the visible part plus the blur's reach is made.
    Box area{std::fmax(std::floor(d.x0 - margin), -margin),
             std::fmax(std::floor(d.y0 - margin), -margin),
             std::fmin(std::ceil(d.x1 + margin), tw + margin),
             std::fmin(std::ceil(d.y1 + margin), th + margin)};
    if (!(area.x1 > area.x0 && area.y1 > area.y0)) return;
    int mw = int(area.x1 - area.x0), mh = int(area.y1 - area.y0);
    cairo_surface_t* mask = c.image_surface_create(CAIRO_FORMAT_A8, mw, mh);
    cairo_t* cr = c.create(mask);
    Matrix3x2 to_mask = place;
    translate(to_mask, -area.x0, -area.y0);
    cairo_matrix_t cm;
    to_cairo(to_mask, cm);
    c.set_matrix(cr, &cm);
    c.append_path(cr, path);
    c.set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    c.fill_preserve(cr);
    if (ctx.state.pen.kind != BrushKind::off && ctx.state.line_width > 0) {
        c.set_line_width(cr, drawn_width(ctx.state.line_width, to_mask));
        c.stroke(cr);
    }
    c.destroy(cr);
    c.surface_flush(mask);
    if (sigma > 0) {
        unsigned char* data = c.image_surface_get_data(mask);
        int stride = c.image_surface_get_stride(mask);
        std::vector<float> values(size_t(mw) * mh);
        for (int y = 0; y < mh; ++y)
            for (int x = 0; x < mw; ++x) values[size_t(y) * mw + x] = data[y * stride + x];
        blur(values, mw, mh, sigma);
        for (int y = 0; y < mh; ++y)
            for (int x = 0; x < mw; ++x)
                data[y * stride + x] =
                    (unsigned char)std::clamp(std::lround(values[size_t(y) * mw + x]), 0L, 255L);
        c.surface_mark_dirty(mask);
    }
    Rgba rgba = color_to_rgba(s.color);
    c.identity_matrix(ctx.cr);
    c.set_source_rgba(ctx.cr, rgba.r, rgba.g, rgba.b, rgba.a);
    c.mask_surface(ctx.cr, mask, area.x0, area.y0);
    c.surface_destroy(mask);
    apply_matrix(ctx);
}

} // namespace

void add_shadow(Context& ctx, const Shadow& shadow) {
    ctx.state.shadows.push_back(shadow);
}

void shadows_off(Context& ctx) {
    ctx.state.shadows.clear();
}

void cast_shadows(Context& ctx) {
    if (ctx.state.shadows.empty()) return;
    const CairoApi& c = *ctx.cairo;
    double x0, y0, x1, y1;
    ink_extents(ctx, false, x0, y0, x1, y1);
    cairo_path_t* path = c.copy_path(ctx.cr);
    // Masking leaves the shape's path in place.
    for (const Shadow& s : ctx.state.shadows) cast(ctx, path, {x0, y0, x1, y1}, s);
    c.path_destroy(path);
}

} // namespace kiv::gui::draw
