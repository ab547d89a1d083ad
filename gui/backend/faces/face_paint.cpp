#include "gui/backend/faces/face_paint.h"

#include "datatypes/block.h"
#include "datatypes/image_layer.h"
#include "datatypes/types.h"
#include "evaluator/stack.h"
#include "gui/backend/conversions.h"
#include "gui/backend/draw/context.h"
#include "gui/backend/draw/dialect.h"
#include "gui/backend/event.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/text/layouts.h"
#include "gui/backend/text/shared_context.h"
#include "gui/backend/window_layer.h"
#include "platform/cairo_api.h"
#include "runtime/roots.h"
#include "runtime/throw.h"
#include "runtime/words.h"

namespace kiv::gui::faces {

namespace {

// The drawing context of the window being painted, for draw-face.
draw::Context* paint_context = nullptr;

void fill(cairo_t* cr, Rgba c, cairo_operator_t op) {
    const CairoApi& api = *cairo_api();
    api.save(cr);
    api.set_operator(cr, op);
    api.set_source_rgba(cr, c.r, c.g, c.b, c.a);
    api.paint(cr);
    api.restore(cr);
}

void fill_background(cairo_t* cr, const Cell& color, bool transparent) {
    if (cell::type_of(color) == TYPE_TUPLE)
        fill(cr, color_to_rgba(to_color(color)), CAIRO_OPERATOR_SOURCE);
    else if (transparent)
        fill(cr, {0, 0, 0, 0}, CAIRO_OPERATOR_SOURCE);
    else
        fill(cr, color_to_rgba(system_metrics().panel), CAIRO_OPERATOR_SOURCE);
}

// Runs part of a paint; an error or exit out of it is dropped with the
// stacks as they were.
template <class Body>
void dropping_errors(Body&& body) {
    Cell* base = stack::state.base;
    Cell* top = stack::state.top;
    stack::Frame* ctop = stack::state.ctop;
    // A frame that takes errors and every exit, so that none leaves.
    stack::mark_try_all(words::word<"<body>">());
    try {
        body();
    } catch (const runtime::Throw&) {
        runtime::record.code = 0;
    }
    stack::state.base = base;
    stack::state.top = top;
    stack::state.ctop = ctop;
}

// Runs a draw block on the context, dropping its errors.
void run_dropping_errors(draw::Context& ctx, const Cell& commands) {
    dropping_errors([&] { draw::parse_draw(ctx, commands); });
}

// Opens a drawing context on `cr` for the paint; closes it however it
// ends.
class PaintSession {
  public:
    PaintSession(HWnd window, cairo_t* cr) : window_(window), outer_(paint_context) {
        ctx_.cairo = cairo_api();
        ctx_.cr = cr;
        ctx_.target = window_surface(window);
        ctx_.cairo->save(cr);
        ctx_.cairo->set_miter_limit(cr, 10.0);
        paint_context = &ctx_;
        set_window_long(window, slot_paint_context, 1);
    }
    ~PaintSession() {
        ctx_.cairo->restore(ctx_.cr);
        paint_context = outer_;
        set_window_long(window_, slot_paint_context, 0);
    }
    PaintSession(const PaintSession&) = delete;
    PaintSession& operator=(const PaintSession&) = delete;
    draw::Context& context() { return ctx_; }

  private:
    HWnd window_;
    draw::Context* outer_;
    draw::Context ctx_;
};

// The text of a face that is no window, laid out as a text face (font,
// para, style runs) over its background and image: in its font's colour,
// else in the desktop's text colour.
void paint_text(cairo_t* cr, const Cell& face) {
    if (face_type(face) == FaceType::window || cell::type_of(facet(face, f_text)) != TYPE_STRING)
        return;
    PangoLayout* layout = text::text_box_layout(face);
    if (!layout) return;
    text::Offset at = text::layout_offset(face, layout);
    text::paint_backdrops(cr, layout, at.x, at.y);
    const CairoApi& api = *cairo_api();
    Rgba ink = color_to_rgba(system_metrics().text);
    api.save(cr);
    api.set_source_rgba(cr, ink.r, ink.g, ink.b, ink.a);
    api.move_to(cr, at.x, at.y);
    text::pango().show_layout(cr, layout);
    api.new_path(cr);
    api.restore(cr);
    text::pango().object_unref(layout);
}

bool draws_itself(const Cell& face) {
    FaceType type = face_type(face);
    return type == FaceType::base || type == FaceType::rich_text;
}

} // namespace

void paint_face(HWnd window, const Cell& face, cairo_t* cr, bool transparent) {
    Rooted<Cell> kept(face);
    fill_background(cr, facet(*kept, f_color), transparent);
    paint_image(window, cr, facet(*kept, f_image));
    dropping_errors([&] { paint_text(cr, *kept); }); // a bad style run
    PaintSession session(window, cr);
    Cell commands = facet(*kept, f_draw);
    if (cell::type_of(commands) == TYPE_BLOCK) {
        Rooted<Cell> block(commands);
        run_dropping_errors(session.context(), *block);
    } else if (draws_itself(*kept)) {
        Msg msg{window, WM_PAINT, 0, 0, get_message_time(), get_message_pos(), 0};
        make_event(msg, 0, event::drawing);
    }
}

bool paint_image(HWnd window, cairo_t* cr, const Cell& image) {
    if (cell::type_of(image) != TYPE_IMAGE || !image.w2) return false;
    cairo_surface_t* pixels = image::drawing(image.w2);
    const CairoApi& api = *cairo_api();
    if (!pixels) return false;
    int width = api.image_surface_get_width(pixels), height = api.image_surface_get_height(pixels);
    Rect client = client_rect(window);
    if (width <= 0 || height <= 0 || client.empty()) return false;
    cairo_pattern_t* pattern = api.pattern_create_for_surface(pixels);
    cairo_matrix_t m{double(width) / client.width(), 0, 0, double(height) / client.height(), 0, 0};
    api.pattern_set_matrix(pattern, &m);
    api.pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
    api.pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    api.save(cr);
    api.set_source(cr, pattern);
    api.rectangle(cr, 0, 0, client.width(), client.height());
    api.fill(cr);
    api.restore(cr);
    api.pattern_destroy(pattern);
    return true;
}

void OS_draw_face(HWnd window, const Cell& commands) {
    if (!paint_context || !get_window_long(window, slot_paint_context)) return;
    Rooted<Cell> block(commands);
    run_dropping_errors(*paint_context, *block);
}

} // namespace kiv::gui::faces
