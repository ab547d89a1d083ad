#include <cmath>

#include "gui/backend/draw/commands.h"

namespace kiv::gui::draw {

namespace {

// The transformation a target changes: the drawing's, or a gradient
// brush's (null for a brush without one).
Matrix3x2* target_matrix(Context& ctx, Target target) {
    if (target == Target::drawing) return &ctx.state.matrix;
    Brush& b = target == Target::pen ? ctx.state.pen : ctx.state.fill;
    return b.kind >= BrushKind::fixed ? &b.matrix : nullptr;
}

void changed(Context& ctx, Target target) {
    if (target == Target::drawing) apply_matrix(ctx);
}

} // namespace

void compose(Context& ctx, Target target, const Matrix3x2& m) {
    if (Matrix3x2* t = target_matrix(ctx, target)) multiply(m, *t, *t);
    changed(ctx, target);
}

void reset_matrix(Context& ctx, Target target) {
    if (Matrix3x2* t = target_matrix(ctx, target)) *t = Matrix3x2{};
    changed(ctx, target);
}

// A singular matrix has no inverse and stays as it is.
void invert_matrix(Context& ctx, Target target) {
    if (Matrix3x2* t = target_matrix(ctx, target)) invert(*t, *t);
    changed(ctx, target);
}

void anti_alias(Context& ctx, bool on) {
    ctx.state.anti_alias = on;
    ctx.cairo->set_antialias(ctx.cr, on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void push_clip(Context& ctx, Point a, Point b) {
    bool usable = drawable(ctx) && std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(b.x) &&
                  std::isfinite(b.y);
    Clip clip{std::fmin(a.x, b.x),
              std::fmin(a.y, b.y),
              std::fmax(a.x, b.x),
              std::fmax(a.y, b.y),
              ctx.state.matrix,
              usable,
              nullptr};
    ctx.clips.push_back(clip);
    ctx.state.clip_depth = ctx.clips.size();
    // Cairo's clip only narrows: a new clip intersects with it directly.
    const CairoApi& c = *ctx.cairo;
    c.new_path(ctx.cr);
    if (usable) clip_rectangle_path(ctx, clip);
    c.clip(ctx.cr);
    if (usable) apply_matrix(ctx);
}

void push_clip_path(Context& ctx) {
    const CairoApi& c = *ctx.cairo;
    bool usable = drawable(ctx) && ctx.path_finite;
    std::shared_ptr<cairo_path_t> path;
    if (usable) path.reset(c.copy_path(ctx.cr), c.path_destroy);
    ctx.clips.push_back(Clip{0, 0, 0, 0, ctx.state.matrix, usable, path});
    ctx.state.clip_depth = ctx.clips.size();
    if (!usable) c.new_path(ctx.cr);
    c.set_fill_rule(ctx.cr, CAIRO_FILL_RULE_WINDING);
    c.clip(ctx.cr);
}

void pop_clips(Context& ctx, size_t depth) {
    if (ctx.clips.size() <= depth) return;
    ctx.clips.resize(depth);
    ctx.state.clip_depth = depth;
    apply_clips(ctx);
}

State save_state(const Context& ctx) {
    return ctx.state;
}

void restore_state(Context& ctx, State saved) {
    pop_clips(ctx, saved.clip_depth);
    ctx.state = std::move(saved);
    apply_matrix(ctx);
    ctx.cairo->set_antialias(ctx.cr,
                             ctx.state.anti_alias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

} // namespace kiv::gui::draw
