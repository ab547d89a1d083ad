#include "gui/backend/faces/face_free.h"

#include "datatypes/block.h"
#include "datatypes/image_layer.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "gui/backend/camera/camera.h"
#include "gui/backend/conversions.h"
#include "gui/backend/faces/base_face.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_hooks.h"
#include "gui/backend/faces/face_images.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_window.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "platform/cairo_api.h"
#include "runtime/roots.h"
#include "runtime/slot_table.h"
#include "runtime/types.h"

#include <unordered_set>

namespace kiv::gui::faces {

namespace {

void free_one(const Cell& face, bool top, std::unordered_set<NodeId>& seen) {
    if (!seen.insert(face.w1).second) return;
    HWnd window = face_window(face);
    if (!window) return;
    Rooted<Cell> kept(face);
    FaceType type = face_type(face);
    if (type == FaceType::window) show_window(window, SW_HIDE);
    if (cell::type_of(facet(*kept, f_rate)) != TYPE_NONE) kill_timer(window, 1);
    if (auto release = hooks().release_font_user) {
        release(*kept, f_font);
        release(*kept, f_para);
    }
    Rooted<Cell> pane(facet(*kept, f_pane));
    if (cell::type_of(*pane) == TYPE_BLOCK)
        for (int32_t i = 0; i < block::rs_length(*pane); ++i) {
            Cell child = block::rs_head(*pane)[i];
            if (is_face(child)) free_one(child, false, seen);
        }
    if (type == FaceType::camera) camera::stop(window);
    if (type == FaceType::button || type == FaceType::toggle) free_image_list(window);
    if (type == FaceType::window) {
        none::make_at(facet(*kept, f_selected));
        set_window_long(window, slot_extra, -1);
    }
    release_cursor(window);
    slot_table::remove(uint32_t(get_window_long(window, slot_face)));
    set_window_long(window, slot_face, 0);
    none::make_at(facet(*kept, f_state));
    if (type == FaceType::panel || type == FaceType::group_box) destroy_window(window);
    if (top && is_window(window)) post_message(window, WM_CLOSE, 0, 0);
}

// Draws a window and its visible children, bottom to top, each over its
// face's colour (the panel colour for a face without one), at `x`, `y`; a
// control as the backend shows it, where it shows one.
void compose(const CairoApi& api, cairo_t* cr, HWnd window, int x, int y) {
    Rect client = client_rect(window);
    Cell face;
    bool has_face = window_face(window, face);
    const Cell* color = has_face ? &facet(face, f_color) : nullptr;
    bool transparent = layered(window);
    if (!transparent) {
        Rgba c =
            color_to_rgba(color && cell::type_of(*color) == TYPE_TUPLE ? to_color(*color)
                                                                       : system_metrics().panel);
        api.set_source_rgba(cr, c.r, c.g, c.b, 1.0);
        api.rectangle(cr, x, y, client.width(), client.height());
        api.fill(cr);
    }
    cairo_surface_t* surface = nullptr;
    if (!backend().draw_control(window, cr, {x, y}) && (surface = held_surface(window))) {
        api.set_source_surface(cr, surface, x, y);
        api.rectangle(cr, x, y, client.width(), client.height());
        api.fill(cr);
    }
    for (HWnd child : child_windows(window)) {
        if (!(get_style(child) & WS_VISIBLE)) continue;
        Rect r = rect_in_parent(child);
        api.save(cr);
        api.rectangle(cr, x, y, client.width(), client.height());
        api.clip(cr);
        compose(api, cr, child, x + r.left, y + r.top);
        api.restore(cr);
    }
}

// Paints what is invalid in a window and its children, so that composing
// them runs no handler.
void paint_pending(HWnd window) {
    update_window(window);
    for (HWnd child : child_windows(window)) paint_pending(child);
}

// A new image of the size with `draw` run on it (which runs no code of the
// language, so the image's drawing cache stays).
template <class Draw>
bool make_image(int width, int height, Cell& out, Draw&& draw) {
    const CairoApi* api = cairo_api();
    if (!api || width <= 0 || height <= 0) return false;
    uint32_t clear = 0;
    NodeId node = image::create(uint32_t(width), uint32_t(height), &clear, nullptr, 0, nullptr, 0);
    image::make_at(out, node);
    cairo_surface_t* surface = image::drawing(node);
    if (!surface) return false;
    cairo_t* cr = api->create(surface);
    draw(*api, cr);
    api->destroy(cr);
    api->surface_flush(surface);
    image::invalidate_drawing(node);
    return true;
}

// The picture of a face with a window; false when there is none.
bool picture(const Cell& face, Cell& out) {
    if (face_type(face) == FaceType::screen) {
        double width = 0, height = 0;
        read_point(facet(face, f_size), width, height);
        for (HWnd top : top_level_windows()) paint_pending(top);
        return make_image(int(width), int(height), out, [](const CairoApi& api, cairo_t* cr) {
            for (HWnd top : top_level_windows())
                if (get_style(top) & WS_VISIBLE) {
                    Rect r = window_rect(top);
                    compose(api, cr, top, r.left, r.top);
                }
        });
    }
    HWnd window = face_window(face);
    if (!window) return false;
    if (face_type(face) == FaceType::camera) {
        camera::snapshot(window, out);
        return cell::type_of(out) == TYPE_IMAGE;
    }
    paint_pending(window);
    Rect client = client_rect(window);
    return make_image(client.width(), client.height(), out,
                      [&](const CairoApi& api, cairo_t* cr) { compose(api, cr, window, 0, 0); });
}

} // namespace

void free_faces(const Cell& face, bool top) {
    std::unordered_set<NodeId> seen;
    free_one(face, top, seen);
}

void OS_destroy_view(const Cell& face, bool empty) {
    free_faces(face, true);
    if (empty) end_loop_level();
}

bool to_image(const Cell& face, Cell& out) {
    if (!is_face(face)) return false;
    if (!picture(face, out)) none::make_at(out);
    return true;
}

} // namespace kiv::gui::faces
