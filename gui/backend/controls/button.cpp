// BUTTON: push buttons, check boxes (two and three states), radio buttons
// and group boxes; the check state clamped to what the type can show,
// automatic types advancing once per click, and the BN_* notifications.
#include "gui/backend/controls/control_state.h"
#include "platform/cairo_api.h"

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

// The parent may draw the caption (NM_CUSTOMDRAW at the pre-paint
// stage, into the cleared client area); the view then shows that drawing
// in place of its own caption.
int64_t paint_caption(HWnd w, ButtonModel& m) {
    PaintStruct ps;
    if (!begin_paint(w, ps)) return 0;
    const CairoApi& c = *cairo_api();
    c.set_operator(ps.cr, CAIRO_OPERATOR_CLEAR);
    c.paint(ps.cr);
    c.set_operator(ps.cr, CAIRO_OPERATOR_OVER);
    CustomDraw draw;
    draw.stage = CDDS_PREPAINT;
    draw.cr = ps.cr;
    draw.rect = client_rect(w);
    bool own = notify_parent(w, draw.header, NM_CUSTOMDRAW) & CDRF_SKIPDEFAULT;
    if (!own) {
        c.set_operator(ps.cr, CAIRO_OPERATOR_CLEAR);
        c.paint(ps.cr);
    }
    end_paint(w, ps);
    if (own != m.own_caption) {
        m.own_caption = own;
        control_changed(w, ControlChange::look);
    }
    return 0;
}

// What changes how the caption looks has it drawn again.
bool changes_caption(uint32_t message) {
    return message == WM_SETTEXT || message == WM_SETFONT || message == WM_STYLECHANGED ||
           message == WM_SIZE || message == WM_ENABLE;
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
        if (!lparam) return 0;
        m->images = *reinterpret_cast<const ButtonImageList*>(lparam);
        control_changed(w, ControlChange::look);
        return 1;
    case BCM_GETIMAGELIST:
        if (!lparam) return 0;
        *reinterpret_cast<ButtonImageList*>(lparam) = m->images;
        return 1;
    case WM_PAINT: return paint_caption(w, *m);
    case WM_NCHITTEST:
        return button_type(w) == BS_GROUPBOX ? HTTRANSPARENT
                                             : def_window_proc(w, message, wparam, lparam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_KEYDOWN:
    case WM_KEYUP: {
        if (input_elsewhere(w, message, wparam, lparam)) return 0;
        return button_input(w, message, wparam, lparam);
    }
    default: {
        if (changes_caption(message)) invalidate_rect(w, nullptr, true);
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
