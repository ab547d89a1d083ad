#include "gui/backend/classes.h"

#include "gui/backend/event.h"
#include "gui/backend/menus_faces.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "gui/backend/window_proc.h"
#include "runtime/stdout.h"

#include <string>

namespace kiv::gui {

namespace {

// The built-in procedures behind the front procedures.
WindowProc combo_base = nullptr, static_base = nullptr, calendar_base = nullptr,
           edit_base = nullptr;

// A combo box's context menu: its commands go to the menu code.
int64_t combo_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (message == WM_COMMAND && menu_command(w, wparam, lparam)) return 0;
    if (message == WM_MENUSELECT) {
        keep_menu_select(wparam, lparam);
        return 0;
    }
    return call_window_proc(combo_base, w, message, wparam, lparam);
}

// Static text takes the mouse: it captures it while the button is down.
int64_t face_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    switch (message) {
    case WM_LBUTTONDOWN: set_capture(w); return 0;
    case WM_LBUTTONUP: release_capture(); return 0;
    case WM_NCHITTEST: return HTCLIENT;
    default: return call_window_proc(static_base, w, message, wparam, lparam);
    }
}

int64_t calendar_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (message == WM_LBUTTONDOWN) set_focus(w);
    return call_window_proc(calendar_base, w, message, wparam, lparam);
}

// Fields and areas: the selection follows keys and clicks; a single-line
// field never takes return or tab; Ctrl+A selects all of an area.
int64_t area_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    switch (message) {
    case WM_KEYUP:
    case WM_LBUTTONUP: {
        if (auto hook = class_hooks().sync_selection) hook(w);
        Msg msg{w, message, wparam, lparam, get_message_time(), get_message_pos(), 0};
        make_event(msg, 0, event::select);
        break;
    }
    case WM_CHAR: {
        bool multiline = get_style(w) & ES_MULTILINE;
        if (multiline && wparam == 1) {
            send_message(w, EM_SETSEL, 0, -1);
            return 1;
        }
        if (!multiline && (wparam == 13 || wparam == 9)) return 0;
        break;
    }
    case WM_PASTE:
        if (auto hook = class_hooks().before_paste) hook(w);
        break;
    default: break;
    }
    return call_window_proc(edit_base, w, message, wparam, lparam);
}

struct OwnClass {
    const char* name;
    WindowProc ClassHooks::*hook; // null: the window procedure of faces
};
constexpr OwnClass own_classes[] = {
    {"KivWindow", nullptr},
    {"KivPanel", nullptr},
    {"KivBase", &ClassHooks::base_proc},
    {"KivBaseInternal", &ClassHooks::base_internal_proc},
    {"KivCamera", &ClassHooks::camera_proc},
};

struct Superclass {
    const char* name;
    const char* base;
    WindowProc front;
    WindowProc* saved;
};
const Superclass superclasses[] = {
    {"KivButton", "BUTTON", nullptr, nullptr},
    {"KivListBox", "ListBox", nullptr, nullptr},
    {"KivProgress", "msctls_progress32", nullptr, nullptr},
    {"KivSlider", "msctls_trackbar32", nullptr, nullptr},
    {"KivScroller", "SCROLLBAR", nullptr, nullptr},
    {"KivTabpanel", "SysTabControl32", nullptr, nullptr},
    {"KivCombo", "ComboBox", combo_proc, &combo_base},
    {"KivFace", "STATIC", face_proc, &static_base},
    {"KivCalendar", "SysMonthCal32", calendar_proc, &calendar_base},
    {"KivArea", "EDIT", area_proc, &edit_base},
    {"KivField", "KivArea", nullptr, nullptr},
};

} // namespace

ClassHooks& class_hooks() {
    static ClassHooks hooks;
    return hooks;
}

WindowProc superclass_control(std::string_view name, std::string_view base, WindowProc front) {
    std::optional<WindowClass> info = class_info(base);
    if (!info) {
        stdout_::print_line("*** Error in GetClassInfoEx");
        return nullptr;
    }
    WindowProc own = info->proc;
    register_class({std::string(name), front ? front : own, info->style, info->background});
    return own;
}

void register_classes() {
    for (auto& c : own_classes) {
        WindowProc proc = c.hook ? class_hooks().*c.hook : window_proc;
        register_class({c.name, proc, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, 16});
    }
    for (auto& s : superclasses) {
        WindowProc own = superclass_control(s.name, s.base, s.front);
        if (s.saved) *s.saved = own;
    }
}

void unregister_classes() {
    for (auto& c : own_classes) unregister_class(c.name);
    for (auto& s : superclasses) unregister_class(s.name);
}

} // namespace kiv::gui
