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
        if (clip.drawable) {
            cairo_matrix_t m;
            to_cairo(to_device(ctx, clip.matrix), m);
            c.set_matrix(ctx.cr, &m);
            if (clip.path)
                c.append_path(ctx.cr, clip.path.get());
            else
                c.rectangle(ctx.cr, clip.x0, clip.y0, clip.x1 - clip.x0, clip.y1 - clip.y0);
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
