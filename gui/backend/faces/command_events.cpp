#include "gui/backend/faces/command_events.h"

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/control_models.h"
#include "gui/backend/conversions.h"
#include "gui/backend/event.h"
#include "gui/backend/faces/area_bars.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_captions.h"
#include "gui/backend/faces/face_controls.h"
#include "gui/backend/faces/face_items.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/types.h"

#include <algorithm>

namespace kiv::gui::faces {

namespace {

using namespace event;

// The message of a control's notification, as the events read it.
Msg control_message(HWnd control, uint32_t message, uint64_t wparam, int64_t lparam) {
    Msg msg{control, message, wparam, lparam, get_message_time(), get_message_pos(), 0};
    return msg;
}

int fire(HWnd control, uint32_t type, uint32_t flags = 0) {
    return make_event(control_message(control, WM_COMMAND, 0, int64_t(control)), flags, type);
}

// Sets the selected facet of the face of `window` to `face`.
void select_in(HWnd window, const Cell& face) {
    Cell owner;
    if (window_face(window, owner)) facet(owner, f_selected) = face;
}

bool selected_is(const Cell& face, int32_t value) {
    Cell selected = facet(face, f_selected);
    return cell::type_of(selected) == TYPE_INTEGER && integer::get(selected) == value;
}

void clicked(HWnd control, const Cell& face, FaceType type) {
    select_in(get_root(control), face);
    switch (type) {
    case FaceType::button: fire(control, click); break;
    case FaceType::toggle:
    case FaceType::check:
        // The control has advanced its state once (a tri-state check
        // unchecked, checked, indeterminate): the data follows it.
        read_check(control, face);
        fire(control, change);
        break;
    case FaceType::radio:
        read_check(control, face);
        fire(control, click);
        break;
    default: break;
    }
}

// A list or combo pick: `select` unless the item is already the selected
// one, then `change` when the handler let the selection stand.
void picked(HWnd control, const Cell& face, FaceType type) {
    int64_t index =
        send_message(control, type == FaceType::text_list ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
    if (index < 0 || selected_is(face, int32_t(index) + 1)) return;
    int answer = fire(control, select, uint32_t(index));
    Cell live;
    if (!window_face(control, live) || selected_is(live, int32_t(index) + 1)) return;
    integer::make_at(facet(live, f_selected), int32_t(index) + 1);
    if (answer == 1) fire(control, change, uint32_t(index) + 1);
}

bool is_combo(FaceType type) {
    return type == FaceType::drop_down || type == FaceType::drop_list;
}

} // namespace

void process_command_event(HWnd, uint64_t wparam, int64_t lparam) {
    HWnd control = HWnd(lparam);
    Cell found;
    if (!control || !window_face(control, found)) return;
    Rooted<Cell> face(found);
    FaceType type = face_type(*face);
    uint32_t code = uint32_t(wparam >> 16);
    switch (code) {
    case BN_CLICKED: clicked(control, *face, type); break;
    case 3: // a radio set off by code; for combo boxes CBN_SETFOCUS
        if (type == FaceType::radio) {
            if (send_message(control, BM_GETCHECK, 0, 0) == BST_UNCHECKED) fire(control, change);
            break;
        }
        select_in(get_parent(control), *face);
        fire(control, focus);
        break;
    case EN_SETFOCUS:
    case CBN_KILLFOCUS:
        if (type == FaceType::field || type == FaceType::area) get_selection(control, *face);
        select_in(get_parent(control), *face);
        fire(control, is_combo(type) ? unfocus : focus);
        break;
    case EN_KILLFOCUS: fire(control, unfocus); break;
    case EN_CHANGE:
        if (!loop_state().current) break;
        fire(control, change, 0xFFFFFFFF);
        if (type == FaceType::area && window_face(control, found)) area_scroll_bars(control, found);
        break;
    case LBN_SELCHANGE: picked(control, *face, type); break;
    case LBN_KILLFOCUS:
        if (type == FaceType::text_list)
            fire(control, unfocus);
        else if (type != FaceType::radio)
            fire(control, change, 0xFFFFFFFF);
        break;
    default: break;
    }
}

int64_t process_notify(HWnd, int64_t lparam, bool& handled) {
    auto* header = reinterpret_cast<NotifyHeader*>(lparam);
    Cell found;
    if (!header || !window_face(header->from, found)) return 0;
    Rooted<Cell> face(found);
    HWnd control = header->from;
    switch (header->code) {
    case TCN_SELCHANGING: {
        handled = true;
        int64_t index = send_message(control, TCM_GETCURSEL, 0, 0);
        return fire(control, select, uint32_t(index)) == 0;
    }
    case TCN_SELCHANGE: {
        handled = true;
        int32_t index = int32_t(send_message(control, TCM_GETCURSEL, 0, 0));
        show_tab_page(*face, index);
        fire(control, change, uint32_t(index) + 1);
        Cell live;
        if (window_face(control, live)) integer::make_at(facet(live, f_selected), index + 1);
        return 0;
    }
    case NM_CUSTOMDRAW:
        handled = true;
        return draw_caption(control, *face, *reinterpret_cast<CustomDraw*>(lparam));
    case MCN_SELECT:
        handled = true;
        read_calendar_date(control, *face);
        fire(control, change);
        return 0;
    default: return 0;
    }
}

void process_scroll(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    HWnd control = HWnd(lparam);
    Cell found;
    if (!control) {
        Msg msg = control_message(window, message, wparam, lparam);
        make_event(msg, 0, scroll);
        return;
    }
    if (!window_face(control, found)) return;
    Rooted<Cell> face(found);
    // A slider reports each move once: the requests that close a move (the
    // thumb let go where it was dragged, the end of the track) change
    // nothing and make no event.
    if (face_type(*face) == FaceType::slider) {
        if (read_slider(control, *face)) fire(control, change);
        return;
    }
    uint32_t request = uint32_t(wparam & 0xFFFF);
    if (request == SB_ENDSCROLL) return;
    ScrollInfo info{SIF_ALL};
    get_scroll_info(control, SB_CTL, info);
    int32_t range = std::max(1, info.max - info.min);
    int32_t line = std::max(1, range / 20), page = std::max<int32_t>(1, int32_t(info.page));
    int32_t pos = info.pos;
    switch (request) {
    case SB_LINEUP: pos -= line; break;
    case SB_LINEDOWN: pos += line; break;
    case SB_PAGEUP: pos -= page; break;
    case SB_PAGEDOWN: pos += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = int32_t(int16_t(wparam >> 16)); break;
    case SB_TOP: pos = info.min; break;
    case SB_BOTTOM: pos = info.max; break;
    default: break;
    }
    // Every request stays within the bar, and the data is what the bar took.
    ScrollInfo moved{SIF_POS};
    moved.pos = std::clamp(pos, info.min, scroll_limit(info));
    set_scroll_info(control, SB_CTL, moved, true);
    get_scroll_info(control, SB_CTL, info);
    float_::make_at(facet(*face, f_data), double(info.pos - info.min) / range);
    fire(control, change);
}

void read_back_text(HWnd window, uint32_t type) {
    Cell found;
    if (!window_face(window, found)) return;
    Rooted<Cell> face(found);
    FaceType face_kind = face_type(*face);
    if (type == change &&
        (face_kind == FaceType::field || face_kind == FaceType::area || is_combo(face_kind)))
        get_text_alt(window, *face, -1);
    if (type == select && is_combo(face_kind))
        get_text_alt(window, *face, int32_t(send_message(window, CB_GETCURSEL, 0, 0)));
}

int32_t list_item_at(HWnd window, Point screen) {
    if (control_kind(window) != ControlKind::list) return 0;
    Point p = screen_to_client(window, screen);
    int64_t answer = send_message(window, LB_ITEMFROMPOINT, 0, make_point_param(p.x, p.y));
    return answer < 0 || (answer >> 16) ? 0 : int32_t(answer & 0xFFFF) + 1;
}

int32_t scroll_position(HWnd window, bool vertical) {
    ScrollInfo info{SIF_POS};
    get_scroll_info(window, vertical ? SB_VERT : SB_HORZ, info);
    return info.pos;
}

} // namespace kiv::gui::faces
