#include "gui/backend/draw/text.h"

#include <cmath>

#include "datatypes/none.h"
#include "datatypes/string.h"
#include "gui/backend/draw/geometry.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/layouts.h"
#include "gui/backend/text/shared_context.h"
#include "gui/backend/text/text_format.h"

namespace kiv::gui::draw {

namespace {

// The face's background: its colour over its size, from the point.
void fill_face(Context& ctx, const Cell& face, Point p) {
    Cell color = text::facet(face, text::FaceFacet::color);
    Cell size = text::facet(face, text::FaceFacet::size);
    uint32_t st = cell::type_of(size);
    if (cell::type_of(color) != TYPE_TUPLE || (st != TYPE_PAIR && st != TYPE_POINT2D)) return;
    double w = st == TYPE_PAIR ? pair::x_of(size) : point::get(size, 0);
    double h = st == TYPE_PAIR ? pair::y_of(size) : point::get(size, 1);
    Rgba rgba = color_to_rgba(to_color(color));
    const CairoApi& c = *ctx.cairo;
    c.set_source_rgba(ctx.cr, rgba.r, rgba.g, rgba.b, rgba.a);
    c.rectangle(ctx.cr, p.x, p.y, w, h);
    c.fill(ctx.cr);
}

// Text is drawn with the pen's brush, or in the text colour as a solid
// colour: when the pen is a colour or off (text still shows in the last
// pen colour), and when the font's own colour differs from a gradient or
// image pen.
void set_text_source(Context& ctx, PangoLayout* layout, Point at) {
    const State& s = ctx.state;
    BrushKind kind = s.line_width == 0 ? s.saved_pen_kind : s.pen.kind;
    bool brush = kind != BrushKind::off && kind != BrushKind::solid && !s.text_color_fixed;
    const CairoApi& c = *ctx.cairo;
    if (brush) {
        // A fitted brush spans the text's box.
        PangoRectangle logical;
        text::pango().layout_get_extents(layout, nullptr, &logical);
        c.rectangle(ctx.cr, at.x + double(logical.x) / PANGO_SCALE,
                    at.y + double(logical.y) / PANGO_SCALE, double(logical.width) / PANGO_SCALE,
                    double(logical.height) / PANGO_SCALE);
        bool usable = use_brush(ctx, s.pen, false);
        c.new_path(ctx.cr);
        if (usable) return;
    }
    Rgba rgba = color_to_rgba(s.text_color);
    c.set_source_rgba(ctx.cr, rgba.r, rgba.g, rgba.b, rgba.a);
}

// Where a face's layout is drawn from the point, its run backdrops
// painted there first.
Point place_face_text(Context& ctx, const Cell& face, PangoLayout* layout, Point at) {
    text::Offset o = text::layout_offset(face, layout);
    at = {at.x + o.x, at.y + o.y};
    text::paint_backdrops(ctx.cr, layout, at.x, at.y);
    return at;
}

// Glyphs are rendered as images up to Cairo's surface limit; text whose
// lines would be taller on the target is filled as outlines instead.
constexpr double max_glyph_pixels = 4096;

// The layout's outlines: taken at the layout's own size (where the font
// engine works) and only then placed by the transformation.
void fill_outlines(Context& ctx, PangoLayout* layout, Point at) {
    const CairoApi& c = *ctx.cairo;
    c.identity_matrix(ctx.cr);
    c.new_path(ctx.cr);
    c.move_to(ctx.cr, at.x, at.y);
    text::pango().layout_path(ctx.cr, layout);
    cairo_path_t* outlines = c.copy_path(ctx.cr);
    c.new_path(ctx.cr);
    apply_matrix(ctx);
    c.append_path(ctx.cr, outlines);
    c.path_destroy(outlines);
    c.fill(ctx.cr);
}

// Draws the layout at the point with the source set, and releases it.
void show(Context& ctx, PangoLayout* layout, Point at) {
    PangoRectangle logical;
    text::pango().layout_get_extents(layout, nullptr, &logical);
    double tallest =
        double(logical.height) / PANGO_SCALE * largest_scale(to_device(ctx, ctx.state.matrix));
    if (tallest > max_glyph_pixels) {
        fill_outlines(ctx, layout, at);
    } else {
        ctx.cairo->move_to(ctx.cr, at.x, at.y);
        text::pango().show_layout(ctx.cr, layout);
    }
    ctx.cairo->new_path(ctx.cr);
    text::pango().object_unref(layout);
}

} // namespace

void font_(Reader& r) {
    Cell font = r.peek();
    if (!text::is_font(font)) r.fail();
    ++r.pos;
    State& s = r.ctx.state;
    s.text_format = text::FontRef(text::text_format(font));
    Cell color = text::facet(font, text::FontFacet::color);
    s.text_color_fixed = cell::type_of(color) == TYPE_TUPLE && tuple::size_of(color) >= 3;
    if (s.text_color_fixed)
        s.text_color = to_color(color);
    else if (s.pen.kind == BrushKind::solid)
        s.text_color = s.pen.color;
}

void text_(Reader& r) {
    Point at = r.point();
    Cell value = r.peek();
    bool is_string = cell::type_of(value) == TYPE_STRING;
    if (!is_string && !text::is_face(value)) r.fail();
    ++r.pos;
    Context& ctx = r.ctx;
    if (!drawable(ctx) || !std::isfinite(at.x) || !std::isfinite(at.y)) return;
    Rooted<Cell> kept(value);
    PangoLayout* layout;
    if (is_string) {
        text::Font* format = ctx.state.text_format.get();
        if (!format) format = text::text_format(none::value);
        layout = format ? text::string_layout(*format, *kept, ctx.subpixel_text) : nullptr;
    } else {
        layout = text::text_box_layout(*kept, ctx.subpixel_text);
    }
    if (!layout) return;
    if (!is_string) {
        fill_face(ctx, *kept, at);
        at = place_face_text(ctx, *kept, layout, at);
    }
    set_text_source(ctx, layout, at);
    show(ctx, layout, at);
}

void face_text(Context& ctx, const Cell& face, uint32_t color) {
    Rooted<Cell> kept(face);
    PangoLayout* layout = text::text_box_layout(*kept, ctx.subpixel_text);
    if (!layout) return;
    Point at = place_face_text(ctx, *kept, layout, {0, 0});
    Rgba rgba = color_to_rgba(color);
    ctx.cairo->set_source_rgba(ctx.cr, rgba.r, rgba.g, rgba.b, rgba.a);
    show(ctx, layout, at);
}

} // namespace kiv::gui::draw
