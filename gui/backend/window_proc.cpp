#include "gui/backend/window_proc.h"

#include "gui/backend/event.h"
#include "gui/backend/gestures.h"
#include "gui/backend/live_event.h"
#include "gui/backend/menus_faces.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <iterator>

namespace kiv::gui {

using namespace event;

WindowProcHooks& window_proc_hooks() {
    static WindowProcHooks hooks;
    return hooks;
}

namespace {

// The message being dispatched, or one made for this window at the last
// message's point.
Msg current_message(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (const Msg* m = loop_state().current) return *m;
    return Msg{window, message, wparam, lparam, get_message_time(), get_message_pos(), 0};
}

bool is_window_face(HWnd window) {
    return get_parent(window) == 0;
}

int64_t geometry_changed(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (!is_window_face(window) || wparam == SIZE_MINIMIZED) return 0;
    if (message == WM_MOVE && point_param_x(lparam) < -9999) return 0;
    if (auto hook = window_proc_hooks().store_geometry) hook(window, message, lparam);
    Msg msg = current_message(window, message, wparam, lparam);
    msg.window = window;
    msg.lparam = lparam;
    make_event(msg, 0, message == WM_MOVE ? move : resize);
    return 0;
}

// WM_USER + 2: minimise, maximise, or bring the window back and forward.
void activate(HWnd window, uint64_t request) {
    if (request == minimize) {
        show_window(window, SW_SHOWMINIMIZED);
        return;
    }
    if (request == maximize) {
        show_window(window, SW_SHOWMAXIMIZED);
        return;
    }
    if (get_style(window) & (WS_MINIMIZE | WS_MAXIMIZE)) show_window(window, SW_SHOWNORMAL);
    set_active_window(window);
}

// A gesture step becomes an event of the face window under the gesture's
// point (the message's window); a gesture's begin and end start the zoom
// ratios afresh.
void gesture(HWnd window, uint64_t id, int64_t lparam) {
    static constexpr uint32_t types[] = {0, 0, 0, zoom, pan, rotate, two_tap, press_tap};
    if (id == GID_BEGIN || id == GID_END) {
        live::state().zoom_distance = -1;
        return;
    }
    if (id >= std::size(types) || !types[id]) return;
    Msg msg = current_message(window, WM_GESTURE, id, lparam);
    msg.window = window;
    msg.lparam = lparam;
    make_event(msg, 0, types[id]);
}

} // namespace

int64_t window_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (get_window_long(window, wc_offset) == 0)
        return def_window_proc(window, message, wparam, lparam);
    if (auto hook = window_proc_hooks().face_message) {
        bool handled = false;
        int64_t result = hook(window, message, wparam, lparam, handled);
        if (handled) return result;
    }
    switch (message) {
    case WM_MOVE:
    case WM_SIZE: return geometry_changed(window, message, wparam, lparam);
    case WM_ACTIVATE: {
        if (!is_window_face(window)) break;
        bool active = (wparam & 0xFFFF) != WA_INACTIVE;
        make_event(current_message(window, message, wparam, lparam), 0, active ? focus : unfocus);
        if (!active) break;
        // The keys go to the selected face again, also when the window
        // comes back after another one was active.
        if (auto hook = window_proc_hooks().selected_window)
            if (HWnd selected = hook(window); selected && is_window(selected)) set_focus(selected);
        return 0;
    }
    case WM_CLOSE: {
        if (get_window_long(window, slot_widget_extra) == -1) {
            loop_state().current = nullptr;
            break;
        }
        if (!is_window_face(window)) break;
        set_focus(window);
        Msg msg = current_message(window, message, wparam, lparam);
        msg.window = window;
        if (make_event(msg, 0, close) == 0) {
            loop_state().current = nullptr;
            post_quit_message(0);
        }
        return 0;
    }
    case WM_LBUTTONDOWN: set_capture(window); return 0;
    case WM_LBUTTONUP: release_capture(); return 0;
    case WM_DISPLAYCHANGE:
        if (auto hook = window_proc_hooks().refresh_screens) hook();
        invalidate_rect(window, nullptr, true);
        return 0;
    case WM_USER + 2: activate(window, wparam); return 0;
    case WM_GESTURE: gesture(window, wparam, lparam); break;
    case WM_MENUSELECT: keep_menu_select(wparam, lparam); return 0;
    case WM_ENTERMENULOOP:
        if (wparam == 0) clear_pending_menu();
        break;
    case WM_COMMAND:
        if (menu_command(window, wparam, lparam)) return 0;
        break;
    default: break;
    }
    return def_window_proc(window, message, wparam, lparam);
}

} // namespace kiv::gui
