#include "gui/backend/faces/face_paint.h"

#include "datatypes/block.h"
#include "datatypes/image_layer.h"
#include "gui/backend/conversions.h"
#include "gui/backend/draw/context.h"
#include "gui/backend/draw/reporting.h"
#include "gui/backend/draw/text.h"
#include "gui/backend/event.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "platform/cairo_api.h"
#include "runtime/roots.h"
#include "runtime/types.h"

#include <algorithm>
#include <cmath>

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

// The part of the window being painted (the clip of the paint, in device
// pixels) stays the limit of every clip the dialect pushes and pops.
void keep_bounds(draw::Context& ctx) {
    const CairoApi& c = *ctx.cairo;
    cairo_rectangle_list_t* list = c.copy_clip_rectangle_list(ctx.cr);
    if (list->status == CAIRO_STATUS_SUCCESS)
        for (int i = 0; i < list->num_rectangles; ++i) {
            const cairo_rectangle_t& r = list->rectangles[i];
            ctx.bounds.push_back({r.x, r.y, r.width, r.height});
        }
    c.rectangle_list_destroy(list);
}

// Opens a drawing context on `cr` for the paint; closes it however it
// ends. The dialect draws in device-independent pixels, scaled by the
// window's DPI; text on an opaque window is anti-aliased by subpixels.
class PaintSession {
  public:
    PaintSession(HWnd window, cairo_t* cr, bool transparent)
        : window_(window), outer_(paint_context) {
        ctx_.cairo = cairo_api();
        ctx_.cr = cr;
        ctx_.owns_cr = false;
        ctx_.target = window_surface(window);
        ctx_.cairo->save(cr);
        ctx_.cairo->set_miter_limit(cr, 10.0);
        keep_bounds(ctx_);
        float scale = float(dpi_for_window(window) / 96.0);
        ctx_.device = Matrix3x2{scale, 0, 0, scale, 0, 0};
        ctx_.subpixel_text = !transparent;
        draw::apply_matrix(ctx_);
        paint_context = &ctx_;
        set_window_long(window, slot_paint_context, 1);
    }
    ~PaintSession() {
        // A context that replaced the paint's own is ours to end.
        if (ctx_.owns_cr)
            ctx_.cairo->destroy(ctx_.cr);
        else
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

bool draws_itself(const Cell& face) {
    FaceType type = face_type(face);
    return type == FaceType::base || type == FaceType::rich_text;
}

// Every painted face but a window shows its string `text`.
bool shows_text(const Cell& face) {
    return face_type(face) != FaceType::window && cell::type_of(facet(face, f_text)) == TYPE_STRING;
}

} // namespace

void paint_face(HWnd window, const Cell& face, cairo_t* cr, bool transparent) {
    Rooted<Cell> kept(face);
    fill_background(cr, facet(*kept, f_color), transparent);
    paint_image(window, cr, facet(*kept, f_image));
    PaintSession session(window, cr, transparent);
    draw::Context& ctx = session.context();
    if (shows_text(*kept))
        draw::report_errors(draw::Errors::print,
                            [&] { draw::face_text(ctx, *kept, system_metrics().text); });
    Cell commands = facet(*kept, f_draw);
    if (cell::type_of(commands) == TYPE_BLOCK)
        draw::run_draw(ctx, commands, draw::Errors::print);
    else if (draws_itself(*kept)) {
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
    draw::run_draw(*paint_context, commands, draw::Errors::print);
}

bool OS_scroll_face(HWnd window, int dx, int dy) {
    if (!is_window(window)) return false;
    double scale = dpi_for_window(window) / 96.0;
    double x = dx * scale, y = dy * scale;
    Point distance{int(std::lround(x)), int(std::lround(y))};
    if (distance.x != x || distance.y != y)
        invalidate_rect(window, nullptr, false);
    else
        scroll_window(window, distance, nullptr);
    update_window(window);
    return true;
}

bool OS_paint_area(HWnd window, Rect& area) {
    if (!paint_context || !get_window_long(window, slot_paint_context)) return false;
    const std::vector<draw::DeviceRect>& bounds = paint_context->bounds;
    if (bounds.empty()) return false;
    double left = bounds[0].x, top = bounds[0].y, right = left + bounds[0].width,
           bottom = top + bounds[0].height;
    for (const draw::DeviceRect& r : bounds) {
        left = std::min(left, r.x);
        top = std::min(top, r.y);
        right = std::max(right, r.x + r.width);
        bottom = std::max(bottom, r.y + r.height);
    }
    double scale = dpi_for_window(window) / 96.0;
    area = {int(std::floor(left / scale)), int(std::floor(top / scale)),
            int(std::ceil(right / scale)), int(std::ceil(bottom / scale))};
    return true;
}

} // namespace kiv::gui::faces
