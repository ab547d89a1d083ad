// BUTTON: push buttons, check boxes (two and three states), radio buttons
// and group boxes; the check state clamped to what the type can show,
// automatic types advancing once per click, and the BN_* notifications.
#include "gui/backend/controls/control_state.h"

namespace kiv::gui {

using namespace controls;

namespace {

uint32_t button_type(HWnd w) {
    return get_style(w) & BS_TYPEMASK;
}

// The highest check state a type shows; push buttons and group boxes none.
uint32_t highest_check(uint32_t type) {
    switch (type) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: return BST_CHECKED;
    case BS_3STATE:
    case BS_AUTO3STATE: return BST_INDETERMINATE;
    default: return BST_UNCHECKED;
    }
}

void set_check(HWnd w, ButtonModel& m, uint32_t check) {
    check = std::min(check, highest_check(button_type(w)));
    if (m.check == check) return;
    m.check = check;
    control_changed(w, ControlChange::check);
}

bool notifies(HWnd w) {
    return get_style(w) & BS_NOTIFY;
}

int64_t button_input(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (button_type(w) == BS_GROUPBOX) return 0;
    bool radio = button_type(w) == BS_RADIOBUTTON || button_type(w) == BS_AUTORADIOBUTTON;
    switch (message) {
    case WM_LBUTTONDBLCLK:
        if (radio || notifies(w)) {
            notify_command(w, BN_DBLCLK);
            return 0;
        }
        [[fallthrough]];
    case WM_LBUTTONDOWN:
        take_focus(w);
        set_capture(w);
        user_press(w, true);
        return 0;
    case WM_LBUTTONUP: {
        if (get_capture() != w) return 0;
        release_capture();
        user_press(w, false);
        if (client_rect(w).contains({point_param_x(lparam), point_param_y(lparam)})) user_click(w);
        return 0;
    }
    case WM_KEYDOWN:
        if (wparam == VK_SPACE) user_press(w, true);
        return 0;
    case WM_KEYUP:
        if (wparam == VK_SPACE && control_model<ButtonModel>(w)->pushed) {
            user_press(w, false);
            user_click(w);
        }
        return 0;
    default: return 0;
    }
}

} // namespace

namespace controls {

int64_t button_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    ButtonModel* m = proc_model<ButtonModel>(w, message);
    if (!m) return def_window_proc(w, message, wparam, lparam);
    switch (message) {
    case BM_GETCHECK: return m->check;
    case BM_SETCHECK: set_check(w, *m, uint32_t(wparam)); return 0;
    case BM_GETSTATE:
        return m->check | (m->pushed ? uint32_t(BST_PUSHED) : 0u) |
               (get_focus() == w ? uint32_t(BST_FOCUS) : 0u);
    case BM_SETSTATE:
        if (m->pushed != (wparam != 0)) {
            m->pushed = wparam != 0;
            control_changed(w, ControlChange::check);
        }
        return 0;
    case BM_SETSTYLE:
        set_style(w, (get_style(w) & 0xFFFF0000) | uint32_t(wparam & 0xFFFF));
        control_changed(w, ControlChange::look);
        return 0;
    case BM_CLICK: user_click(w); return 0;
    case BM_SETIMAGE: {
        int64_t old = std::exchange(m->image, lparam);
        control_changed(w, ControlChange::look);
        return old;
    }
    case BM_GETIMAGE: return m->image;
    case BCM_SETIMAGELIST:
        m->image_list = lparam;
        control_changed(w, ControlChange::look);
        return 1;
    case BCM_GETIMAGELIST:
        if (!lparam) return 0;
        *reinterpret_cast<int64_t*>(lparam) = m->image_list;
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_KEYDOWN:
    case WM_KEYUP: {
        if (input_elsewhere(w, message, wparam, lparam)) return 0;
        return button_input(w, message, wparam, lparam);
    }
    default: {
        bool notify = notifies(w);
        return control_default(
            w, message, wparam, lparam,
            {notify ? int32_t(BN_SETFOCUS) : 0, notify ? int32_t(BN_KILLFOCUS) : 0});
    }
    }
}

} // namespace controls

void user_press(HWnd button, bool pushed) {
    ButtonModel* m = control_model<ButtonModel>(button);
    if (!m || m->pushed == pushed) return;
    m->pushed = pushed;
    control_changed(button, ControlChange::check);
    if (notifies(button)) notify_command(button, pushed ? BN_HILITE : BN_UNHILITE);
}

void user_click(HWnd button) {
    ButtonModel* m = control_model<ButtonModel>(button);
    if (!m) return;
    switch (button_type(button)) {
    case BS_AUTOCHECKBOX:
        set_check(button, *m, m->check == BST_CHECKED ? 0u : uint32_t(BST_CHECKED));
        break;
    case BS_AUTO3STATE: set_check(button, *m, (m->check + 1) % 3); break;
    case BS_AUTORADIOBUTTON:
        // The other automatic radio buttons of the parent go off.
        for (HWnd sibling : child_windows(get_parent(button)))
            if (ButtonModel* other = control_model<ButtonModel>(sibling);
                other && sibling != button && button_type(sibling) == BS_AUTORADIOBUTTON)
                set_check(sibling, *other, BST_UNCHECKED);
        set_check(button, *m, BST_CHECKED);
        break;
    case BS_GROUPBOX: return;
    default: break;
    }
    notify_command(button, BN_CLICKED);
}

} // namespace kiv::gui
