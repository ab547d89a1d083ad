#include "gui/backend/draw/commands.h"

namespace kiv::gui::draw {

void pen_color(Context& ctx, uint32_t color) {
    State& s = ctx.state;
    s.text_color = color;
    s.pen = {BrushKind::solid, color};
    // A hidden pen (width 0) keeps its new colour for when it shows again.
    if (s.line_width == 0) {
        s.saved_pen_kind = s.pen.kind;
        s.pen.kind = BrushKind::off;
    }
}

void pen_off(Context& ctx) {
    ctx.state.pen.kind = BrushKind::off;
    ctx.state.saved_pen_kind = BrushKind::off;
}

void fill_color(Context& ctx, uint32_t color) {
    ctx.state.fill = {BrushKind::solid, color};
}

void fill_off(Context& ctx) {
    ctx.state.fill.kind = BrushKind::off;
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
