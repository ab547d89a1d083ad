#include "gui/backend/faces/base_face.h"

#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/image.h"
#include "datatypes/image_layer.h"
#include "datatypes/word.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/dpi.h"
#include "gui/backend/event.h"
#include "gui/backend/faces/caret_face.h"
#include "gui/backend/faces/command_events.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_free.h"
#include "gui/backend/faces/face_paint.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/faces/face_window.h"
#include "gui/backend/live_event.h"
#include "gui/backend/menus_faces.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "platform/cairo_api.h"
#include "runtime/roots.h"
#include "runtime/types.h"

#include <map>

namespace kiv::gui::faces {

namespace {

// The timer that carries a postponed layered repaint.
constexpr uint64_t layered_paint_timer = 0x4C50;
constexpr uint32_t cursor_over_client = 0x80000000u;

struct BaseState {
    std::map<HWnd, double> last_paint; // layered faces: backend time of the last repaint
    std::map<HWnd, cairo_surface_t*> cursor_images;
    bool painting = false;
};

BaseState& base_state() {
    static BaseState s;
    return s;
}

bool is_base_window(HWnd window) {
    return get_window_proc(window) == base_proc;
}

void paint_now(HWnd window) {
    base_state().last_paint[window] = backend().now_ms();
    invalidate_rect(window, nullptr, false);
    update_window(window);
}

void postponed_paint(HWnd window, uint32_t, uint64_t id, uint32_t) {
    kill_timer(window, id);
    paint_now(window);
}

// Repaints a layered window unless it was repainted within the frame time;
// then the repaint waits for the rest of the frame.
void paint_layered(HWnd window) {
    auto& last = base_state().last_paint;
    auto at = last.find(window);
    double since = at == last.end() ? frame_ms : backend().now_ms() - at->second;
    if (since >= frame_ms) {
        paint_now(window);
        return;
    }
    validate_rect(window, nullptr);
    set_timer(window, layered_paint_timer, uint32_t(frame_ms - since) + 1, postponed_paint);
}

struct NamedCursor {
    const char* word;
    CursorKind kind;
};
constexpr NamedCursor named_cursors[] = {
    {"I-beam", cursor_ibeam},        {"hand", cursor_hand},
    {"cross", cursor_cross},         {"resize-ns", cursor_resize_ns},
    {"resize-ew", cursor_resize_ew}, {"resize-we", cursor_resize_ew},
};

CursorKind cursor_of_word(const Cell& word) {
    for (const NamedCursor& n : named_cursors)
        if (is_word(word, n.word)) return n.kind;
    return cursor_arrow;
}

// Whether a face that is not layered has to be: a transparent base or
// rich-text face, or a borderless window face with a transparent colour.
bool should_be_layered(const Cell& face) {
    Cell color = facet(face, f_color);
    bool transparent = cell::type_of(color) == TYPE_TUPLE && !opaque_color(color);
    switch (face_type(face)) {
    case FaceType::base:
    case FaceType::rich_text: return !opaque_color(color);
    case FaceType::window: return transparent && (get_style(face_window(face)) & WS_POPUP);
    default: return false;
    }
}

int64_t button_down(HWnd window) {
    int32_t count = get_window_long(window, slot_capture_count) + 1;
    set_window_long(window, slot_capture_count, count);
    if (count == 1) set_capture(window);
    return 0;
}

// The capture is held until as many ups as downs came.
int64_t button_up(HWnd window) {
    int32_t count = get_window_long(window, slot_capture_count);
    if (count <= 0) return 0;
    set_window_long(window, slot_capture_count, count - 1);
    if (count == 1 && get_capture() == window) release_capture();
    return 0;
}

int64_t paint(HWnd window) {
    auto& s = base_state();
    if (s.painting) {
        validate_rect(window, nullptr);
        return 0;
    }
    Cell face;
    if (!window_face(window, face)) return def_window_proc(window, WM_PAINT, 0, 0);
    Rooted<Cell> kept(face);
    PaintStruct ps;
    if (!begin_paint(window, ps)) return 0;
    s.painting = true;
    try {
        paint_face(window, *kept, ps.cr, layered(window));
    } catch (...) {
        s.painting = false;
        end_paint(window, ps);
        throw;
    }
    s.painting = false;
    end_paint(window, ps);
    return 0;
}

int64_t hit_test(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    int64_t answer = def_window_proc(window, message, wparam, lparam);
    uint32_t cursor = uint32_t(get_window_long(window, slot_cursor));
    if (cursor) {
        cursor = answer == HTCLIENT ? cursor | cursor_over_client : cursor & ~cursor_over_client;
        set_window_long(window, slot_cursor, int32_t(cursor));
    }
    return answer;
}

// The `caret` option names the face that owns the caret this face shows;
// one without a window is skipped.
void init_caret_face(HWnd window, const Cell& face) {
    Cell caret;
    if (!option_value(facet_value(face, f_options), "caret", true, caret)) return;
    HWnd caret_window = is_face(caret) ? face_window(caret) : 0;
    if (!caret_window) return;
    set_window_long(window, slot_window_flags,
                    get_window_long(window, slot_window_flags) | wf_caret_face);
    set_window_long(window, slot_caret_owner, int32_t(caret_window));
    create_caret_of(window, face);
}

} // namespace

void init_base_face(HWnd window, HWnd parent, const Cell& face, bool is_layered, uint32_t flags) {
    set_window_long(window, slot_extra, 0);
    set_window_long(window, slot_window_flags,
                    int32_t(flags | (get_window_long(window, slot_window_flags) & wf_pair_size)));
    set_window_long(window, slot_parent, int32_t(parent));
    for (int slot : {slot_internal, slot_caret_owner, slot_capture_count, slot_render})
        set_window_long(window, slot, 0);
    double x = 0, y = 0;
    read_point(facet(face, f_offset), x, y);
    set_window_long(window, slot_last_position, dpi_scale(y) << 16 | (dpi_scale(x) & 0xFFFF));
    if (is_layered) paint_layered(window);
    init_caret_face(window, face);
}

void release_cursor(HWnd window) {
    auto& images = base_state().cursor_images;
    auto at = images.find(window);
    if (at == images.end()) return;
    cairo_api()->surface_destroy(at->second);
    images.erase(at);
}

HWnd make_internal_window(HWnd parent) {
    return parent;
}

void update_layered_window(HWnd window, const Cell& face) {
    if (!layered(window)) {
        if (!should_be_layered(face)) {
            invalidate_rect(window, nullptr, true);
            return;
        }
        window = remake_face_window(window, face);
        if (!window) return;
    }
    paint_layered(window);
}

void set_cursor(HWnd window, const Cell& options) {
    release_cursor(window);
    set_window_long(window, slot_cursor_icon, 0);
    set_window_long(window, slot_cursor, 0);
    CursorKind kind = cursor_none;
    cairo_surface_t* image = nullptr;
    Cell value;
    if (option_value(options, "cursor", true, value)) {
        if (cell::type_of(value) == TYPE_IMAGE && (image = image::drawing(value.w2))) {
            kind = cursor_image;
            base_state().cursor_images[window] = cairo_api()->surface_reference(image);
            set_window_long(window, slot_cursor_icon, 1);
        } else {
            kind = word::any_word(cell::type_of(value)) ? cursor_of_word(value) : cursor_arrow;
        }
    }
    set_window_long(window, slot_cursor, kind);
    if (kind != cursor_none) backend().window_cursor(window, kind, image);
}

void end_base_capture() {
    HWnd captured = get_capture();
    if (!captured) return;
    if (is_base_window(captured))
        button_up(captured);
    else
        release_capture();
}

bool paint_base(HWnd window, cairo_t* cr, const Cell& face) {
    return paint_image(window, cr, facet(face, f_image));
}

namespace {

// An input method composing in a face that takes text (a rich text): keys
// count as characters meanwhile, and the pre-edit text shows in the face's
// font.
int64_t composition(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (!(uint32_t(get_window_long(window, slot_window_flags)) & wf_ime))
        return def_window_proc(window, message, wparam, lparam);
    bool start = message == WM_IME_STARTCOMPOSITION;
    live::state().ime_composing = start;
    if (start) set_composition_font(window, uint64_t(send_message(window, WM_GETFONT, 0, 0)));
    return 0;
}

} // namespace

int64_t base_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    switch (message) {
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION: return composition(window, message, wparam, lparam);
    case WM_LBUTTONDOWN: return button_down(window);
    case WM_LBUTTONUP: return button_up(window);
    case WM_CAPTURECHANGED:
        if (HWnd(lparam) != window) set_window_long(window, slot_capture_count, 0);
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SIZE:
        if (layered(window))
            paint_layered(window);
        else
            invalidate_rect(window, nullptr, true);
        return 0;
    case WM_PAINT: return paint(window);
    case WM_DISPLAYCHANGE: invalidate_rect(window, nullptr, false); return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lparam == 0) {
            Msg msg{window, message, wparam, lparam, get_message_time(), get_message_pos(), 0};
            if (const Msg* current = loop_state().current) msg = *current;
            make_event(msg, 0, event::scroll);
        }
        return 0;
    case WM_NCHITTEST: return hit_test(window, message, wparam, lparam);
    case WM_MENUSELECT: keep_menu_select(wparam, lparam); return 0;
    case WM_COMMAND:
        if (!menu_command(window, wparam, lparam)) process_command_event(window, wparam, lparam);
        return 0;
    case WM_SETCURSOR: return get_window_long(window, slot_cursor) < 0 ? 1 : 0;
    case WM_DESTROY:
        if (has_caret_face(window)) drop_caret_of(window);
        release_cursor(window);
        base_state().last_paint.erase(window);
        return 0;
    default: return def_window_proc(window, message, wparam, lparam);
    }
}

int64_t base_internal_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (message == WM_NCHITTEST) return HTTRANSPARENT;
    return def_window_proc(window, message, wparam, lparam);
}

} // namespace kiv::gui::faces
