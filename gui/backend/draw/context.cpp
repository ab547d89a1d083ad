#include "gui/backend/draw/context.h"

#include <cmath>

#include "datatypes/image_layer.h"

namespace kiv::gui::draw {

Matrix3x2 to_device(const Context& ctx, const Matrix3x2& m) {
    Matrix3x2 out;
    multiply(m, ctx.device, out);
    return out;
}

void apply_matrix(Context& ctx) {
    Matrix3x2 m0 = to_device(ctx, ctx.state.matrix), inverse;
    ctx.singular = !std::isfinite(m0.dx) || !std::isfinite(m0.dy) || !invert(m0, inverse) ||
                   !std::isfinite(inverse.dx) || !std::isfinite(inverse.dy);
    if (ctx.singular) return;
    cairo_matrix_t m;
    to_cairo(m0, m);
    ctx.cairo->set_matrix(ctx.cr, &m);
}

namespace {

// Cairo keeps coordinates in 24.8 fixed point: a clip rectangle reaching
// past that range wraps around into a box that is not one, and stroking
// under it can crash Cairo. Only the part of a clip over the target
// matters, so a rectangle reaching this far from the origin, in device
// pixels (far beyond the largest target), is cut to a square of this
// reach.
constexpr double clip_reach = 1 << 22;

// The convex polygon cut to where `sign` times its x (its y when not
// `vertical`) is at most the reach.
std::vector<Point2> cut(const std::vector<Point2>& polygon, bool vertical, double sign) {
    auto coordinate = [&](Point2 p) { return sign * (vertical ? p.x : p.y); };
    std::vector<Point2> out;
    for (size_t i = 0; i < polygon.size(); ++i) {
        Point2 from = polygon[(i + polygon.size() - 1) % polygon.size()], to = polygon[i];
        bool from_in = coordinate(from) <= clip_reach, to_in = coordinate(to) <= clip_reach;
        if (from_in != to_in) {
            // Measured from the end inside, so that an end far outside
            // does not swamp the crossing in rounding.
            Point2 in = from_in ? from : to, out_end = from_in ? to : from;
            double t = (clip_reach - coordinate(in)) / (coordinate(out_end) - coordinate(in));
            Point2 crossing{in.x + t * (out_end.x - in.x), in.y + t * (out_end.y - in.y)};
            (vertical ? crossing.x : crossing.y) = sign * clip_reach;
            out.push_back(crossing);
        }
        if (to_in) out.push_back(to);
    }
    return out;
}

} // namespace

void clip_rectangle_path(Context& ctx, const Clip& clip) {
    const CairoApi& c = *ctx.cairo;
    Matrix3x2 m = to_device(ctx, clip.matrix);
    std::vector<Point2> corners;
    bool within = true;
    for (Point2 p : {Point2{clip.x0, clip.y0}, Point2{clip.x1, clip.y0}, Point2{clip.x1, clip.y1},
                     Point2{clip.x0, clip.y1}}) {
        corners.push_back(transform(m, p));
        within = within && std::fabs(corners.back().x) <= clip_reach &&
                 std::fabs(corners.back().y) <= clip_reach;
    }
    if (within) {
        cairo_matrix_t cm;
        to_cairo(m, cm);
        c.set_matrix(ctx.cr, &cm);
        c.rectangle(ctx.cr, clip.x0, clip.y0, clip.x1 - clip.x0, clip.y1 - clip.y0);
        return;
    }
    // A corner past what a double holds leaves nothing to cut: the clip
    // then covers nothing.
    for (const Point2& p : corners)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    for (bool vertical : {true, false})
        for (double sign : {1.0, -1.0}) corners = cut(corners, vertical, sign);
    if (corners.empty()) return;
    c.identity_matrix(ctx.cr);
    c.move_to(ctx.cr, corners[0].x, corners[0].y);
    for (size_t i = 1; i < corners.size(); ++i) c.line_to(ctx.cr, corners[i].x, corners[i].y);
    c.close_path(ctx.cr);
}

void apply_clips(Context& ctx) {
    const CairoApi& c = *ctx.cairo;
    c.reset_clip(ctx.cr);
    c.new_path(ctx.cr);
    if (!ctx.bounds.empty()) {
        c.identity_matrix(ctx.cr);
        for (const DeviceRect& r : ctx.bounds) c.rectangle(ctx.cr, r.x, r.y, r.width, r.height);
        c.clip(ctx.cr);
    }
    for (const Clip& clip : ctx.clips) {
        if (clip.drawable && clip.path) {
            cairo_matrix_t m;
            to_cairo(to_device(ctx, clip.matrix), m);
            c.set_matrix(ctx.cr, &m);
            c.append_path(ctx.cr, clip.path.get());
        } else if (clip.drawable) {
            clip_rectangle_path(ctx, clip);
        }
        c.set_fill_rule(ctx.cr, CAIRO_FILL_RULE_WINDING);
        // A clip given under a singular transformation covers nothing: an
        // empty path clips everything away.
        c.clip(ctx.cr);
    }
    apply_matrix(ctx);
}

void recover(Context& ctx) {
    const CairoApi& c = *ctx.cairo;
    if (c.status(ctx.cr) == CAIRO_STATUS_SUCCESS) return;
    if (ctx.owns_cr) c.destroy(ctx.cr);
    ctx.cr = c.create(ctx.target);
    ctx.owns_cr = true;
    c.set_miter_limit(ctx.cr, 10.0);
    c.set_antialias(ctx.cr, ctx.state.anti_alias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    apply_clips(ctx);
}

ImageSession::ImageSession(Context& ctx, const Cell& image) : ctx_(ctx), node_(image.w2) {
    ctx_ = Context{};
    ctx_.cairo = cairo_api();
    if (!ctx_.cairo || !node_) return;
    surface_ = image::drawing(node_);
    if (!surface_) return;
    ctx_.cr = ctx_.cairo->create(surface_);
    ctx_.target_image = node_;
    ctx_.target = surface_;
    ctx_.cairo->set_miter_limit(ctx_.cr, 10.0);
}

ImageSession::~ImageSession() {
    if (!ctx_.cr) return;
    const CairoApi& c = *ctx_.cairo;
    // Our reference keeps the surface alive; when the collector released
    // the image's cache meanwhile, the picture is copied into the new one.
    c.surface_reference(surface_);
    c.destroy(ctx_.cr);
    ctx_.cr = nullptr;
    c.surface_flush(surface_);
    cairo_surface_t* cache = image::drawing(node_);
    if (cache && cache != surface_) {
        cairo_t* copy = c.create(cache);
        c.set_operator(copy, CAIRO_OPERATOR_SOURCE);
        c.set_source_surface(copy, surface_, 0, 0);
        c.paint(copy);
        c.destroy(copy);
        c.surface_flush(cache);
    }
    c.surface_destroy(surface_);
    image::invalidate_drawing(node_);
}

} // namespace kiv::gui::draw
