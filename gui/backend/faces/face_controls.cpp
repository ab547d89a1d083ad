#include "gui/backend/faces/face_controls.h"

#include "datatypes/block.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/control_models.h"
#include "gui/backend/conversions.h"
#include "gui/backend/faces/area_bars.h"
#include "gui/backend/faces/area_limit.h"
#include "gui/backend/faces/face_images.h"
#include "gui/backend/faces/face_items.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/types.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace kiv::gui::faces {

namespace {

bool is_fraction(const Cell& value) {
    uint32_t type = cell::type_of(value);
    return type == TYPE_FLOAT || type == TYPE_PERCENT;
}

// The range of sliders and progress bars: 0 .. the larger side, at least 1
// (so that a 0x0 slider never divides by 0).
int32_t range_of(const Cell& face) {
    double width = 0, height = 0;
    read_point(facet_value(face, f_size), width, height);
    return std::max(1, int32_t(std::max(width, height)));
}

bool upright(const Cell& face) {
    double width = 0, height = 0;
    read_point(facet_value(face, f_size), width, height);
    return width < height;
}

// A slider's or progress bar's position from its data.
void set_position(HWnd window, const Cell& face, FaceType type) {
    Cell data = facet(face, f_data);
    if (!is_fraction(data)) return;
    int32_t range = range_of(face);
    int32_t pos = int32_t(float_::get(data) * range);
    // A trackbar takes the position in lParam (wParam asks for a redraw),
    // a progress bar in wParam.
    if (type != FaceType::slider) {
        send_message(window, PBM_SETPOS, uint64_t(pos), 0);
        return;
    }
    if (upright(face)) pos = range - pos;
    send_message(window, TBM_SETPOS, 1, pos);
}

void set_range(HWnd window, const Cell& face, FaceType type) {
    int32_t range = range_of(face);
    if (type == FaceType::slider)
        send_message(window, TBM_SETRANGE, 1, int64_t(range) << 16);
    else
        send_message(window, PBM_SETRANGE, 0, int64_t(range) << 16);
    set_position(window, face, type);
}

// A button's check state from its data: none is indeterminate for a
// tri-state check and unchecked otherwise; a logic its value; anything
// else checked.
void set_check(HWnd window, const Cell& face, FaceType type) {
    Cell data = facet(face, f_data);
    uint32_t state = BST_CHECKED;
    if (cell::type_of(data) == TYPE_NONE)
        state = type == FaceType::check && (get_flags(facet_value(face, f_flags)) & flag_tri_state)
                    ? BST_INDETERMINATE
                    : BST_UNCHECKED;
    else if (cell::type_of(data) == TYPE_LOGIC)
        state = logic::get(data) ? BST_CHECKED : BST_UNCHECKED;
    send_message(window, BM_SETCHECK, state, 0);
}

// A fraction of an integer, float or percent clamped to 0 .. 1; -1 for
// other values.
double scroller_fraction(const Cell& value) {
    switch (cell::type_of(value)) {
    case TYPE_INTEGER: return std::clamp(double(integer::get(value)), 0.0, 1.0);
    case TYPE_FLOAT:
    case TYPE_PERCENT: return std::clamp(float_::get(value), 0.0, 1.0);
    default: return -1;
    }
}

void init_scroller(HWnd window, const Cell& face) {
    double fraction = scroller_fraction(facet_value(face, f_selected));
    if (fraction < 0) {
        fraction = 0.1;
        percent::make_at(facet(face, f_selected), fraction);
    }
    ScrollInfo info{SIF_RANGE | SIF_PAGE | SIF_POS, 0, 100, uint32_t(100 * fraction), 0, 0};
    set_scroll_info(window, SB_CTL, info, true);
    float_::make_at(facet(face, f_data), 0.0);
}

void scroller_data(HWnd window, const Cell& face) {
    Cell data = facet(face, f_data);
    if (cell::type_of(data) != TYPE_FLOAT) return;
    ScrollInfo info{SIF_RANGE | SIF_POS};
    get_scroll_info(window, SB_CTL, info);
    double fraction = std::clamp(float_::get(data), 0.0, 1.0);
    info.mask = SIF_POS;
    info.pos = info.min + int32_t((info.max - info.min) * fraction);
    set_scroll_info(window, SB_CTL, info, true);
}

void scroller_page(HWnd window, const Cell& face) {
    double fraction = scroller_fraction(facet_value(face, f_selected));
    if (fraction < 0) return;
    ScrollInfo info{SIF_RANGE | SIF_PAGE};
    get_scroll_info(window, SB_CTL, info);
    info.mask = SIF_PAGE;
    info.page = uint32_t(fraction * (info.max - info.min));
    set_scroll_info(window, SB_CTL, info, true);
}

// Calendar days: years kept within 1601 .. 9999.
SystemTime day_of(const Cell& date) {
    uint32_t packed = date.w1;
    SystemTime day;
    day.year = uint16_t(std::clamp(int32_t(packed >> 17), 1601, 9999));
    day.month = uint16_t((packed >> 12) & 0xF);
    day.day = uint16_t((packed >> 7) & 0x1F);
    return day;
}

} // namespace

void read_calendar_date(HWnd window, const Cell& face) {
    SystemTime day;
    send_message(window, MCM_GETCURSEL, 0, reinterpret_cast<int64_t>(&day));
    date::make_at(facet(face, f_data), std::clamp(int32_t(day.year), 1601, 9999), day.month,
                  day.day, 0, 0, false);
}

namespace {

void calendar_data(HWnd window, const Cell& face) {
    Cell data = facet(face, f_data);
    if (cell::type_of(data) == TYPE_DATE) {
        SystemTime day = day_of(data);
        send_message(window, MCM_SETCURSEL, 0, reinterpret_cast<int64_t>(&day));
    } else {
        read_calendar_date(window, face);
    }
}

void calendar_color(HWnd window, const Cell& face) {
    Cell color = facet(face, f_color);
    if (cell::type_of(color) == TYPE_TUPLE)
        send_message(window, MCM_SETCOLOR, MCSC_BACKGROUND, to_color(color) & 0xFFFFFF);
    else if (cell::type_of(color) == TYPE_NONE)
        send_message(window, MCM_SETCOLOR, MCSC_BACKGROUND, system_metrics().panel);
}

// An area's text, with the room to type after it that a change of text
// gives too.
void set_area_text(HWnd window, const Cell& face) {
    Cell text = facet(face, f_text);
    std::string utf8 = cell::type_of(text) == TYPE_STRING ? url::utf8_text(text) : std::string();
    fit_area_limit(window, utf8);
    send_message(window, WM_SETTEXT, 0, reinterpret_cast<int64_t>(utf8.c_str()));
}

void field_options(HWnd window, const Cell& face, FaceType type) {
    Cell options = facet_value(face, f_options), value;
    if (type == FaceType::field && option_value(options, "hint", false, value) &&
        cell::type_of(value) == TYPE_STRING) {
        std::string hint = url::utf8_text(value);
        send_message(window, EM_SETCUEBANNER, 0, reinterpret_cast<int64_t>(hint.c_str()));
    }
    if (type == FaceType::area) {
        int32_t stop = 16;
        if (option_value(options, "tabs", false, value) && cell::type_of(value) == TYPE_INTEGER)
            stop = integer::get(value) * 4;
        send_message(window, EM_SETTABSTOPS, 1, reinterpret_cast<int64_t>(&stop));
        set_area_text(window, face);
        area_scroll_bars(window, face);
    }
    if (cell::type_of(facet(face, f_selected)) != TYPE_NONE) set_selection(window, face);
}

void radio_data(HWnd window, const Cell& face) {
    set_check(window, face, FaceType::radio);
    Cell data = facet(face, f_data);
    if (cell::type_of(data) == TYPE_LOGIC && logic::get(data)) return;
    send_message(get_parent(window), WM_COMMAND, 3u << 16 | get_control_id(window),
                 int64_t(window));
}

} // namespace

void set_selection(HWnd window, const Cell& face) {
    Cell selected = facet(face, f_selected);
    if (cell::type_of(selected) != TYPE_PAIR) {
        send_message(window, EM_SETSEL, 0, 0);
        return;
    }
    int32_t a = pair::x_of(selected), b = pair::y_of(selected);
    send_message(window, EM_SETSEL, uint64_t(std::min(a, b) - 1), std::max(a, b));
}

void get_selection(HWnd window, const Cell& face) {
    Selection s = edit_selection(window);
    if (s.start == s.end)
        none::make_at(facet(face, f_selected));
    else
        pair::make_at(facet(face, f_selected), std::min(s.start, s.end) + 1,
                      std::max(s.start, s.end));
}

void init_control(HWnd window, const Cell& face, FaceType type) {
    switch (type) {
    case FaceType::text_list: init_text_list(window, face); break;
    case FaceType::tab_panel: set_tabs(window, face); break;
    case FaceType::button: make_image_list(window, face); break;
    case FaceType::toggle:
        make_image_list(window, face);
        set_check(window, face, type);
        break;
    case FaceType::check:
    case FaceType::radio: set_check(window, face, type); break;
    case FaceType::slider:
    case FaceType::progress: set_range(window, face, type); break;
    case FaceType::scroller: init_scroller(window, face); break;
    case FaceType::drop_down:
    case FaceType::drop_list: init_combo(window, face, type); break;
    case FaceType::field:
    case FaceType::area: field_options(window, face, type); break;
    case FaceType::calendar:
        calendar_data(window, face);
        calendar_color(window, face);
        break;
    default: break;
    }
}

bool control_facet_changed(HWnd window, const Cell& face, FaceType type, Facet f) {
    switch (f) {
    case f_size:
        if (type == FaceType::slider || type == FaceType::progress) set_range(window, face, type);
        if (type == FaceType::area) area_scroll_bars(window, face);
        return true;
    case f_text:
        if (type != FaceType::area) return false;
        area_scroll_bars(window, face);
        return true;
    case f_data:
        switch (type) {
        case FaceType::slider:
        case FaceType::progress: set_position(window, face, type); return true;
        case FaceType::scroller: scroller_data(window, face); return true;
        case FaceType::check:
        case FaceType::toggle: set_check(window, face, type); return true;
        case FaceType::radio: radio_data(window, face); return true;
        case FaceType::tab_panel: set_tabs(window, face); return true;
        case FaceType::calendar:
            if (cell::type_of(facet(face, f_data)) == TYPE_DATE) calendar_data(window, face);
            return true;
        case FaceType::text_list:
            if (cell::type_of(facet(face, f_data)) == TYPE_BLOCK) init_text_list(window, face);
            return true;
        case FaceType::drop_down:
        case FaceType::drop_list: init_combo(window, face, type); return true;
        default: return false;
        }
    case f_selected:
        switch (type) {
        case FaceType::scroller: scroller_page(window, face); return true;
        case FaceType::text_list:
        case FaceType::drop_down:
        case FaceType::drop_list: select_item(window, face, type); return true;
        case FaceType::field:
        case FaceType::area: set_selection(window, face); return true;
        case FaceType::tab_panel: select_tab(window, face); return true;
        default: return false;
        }
    case f_flags:
        if (type != FaceType::field) return false;
        send_message(window, EM_SETPASSWORDCHAR,
                     get_flags(facet_value(face, f_flags)) & flag_password ? 0x25CF : 0, 0);
        set_focus(window);
        return true;
    case f_image:
        if (type != FaceType::button && type != FaceType::toggle) return false;
        make_image_list(window, face);
        return true;
    case f_color:
        if (type != FaceType::calendar) return false;
        calendar_color(window, face);
        return true;
    case f_visible:
        if (type == FaceType::tab_panel) show_selected_page(face);
        return true;
    default: return false;
    }
}

void read_check(HWnd window, const Cell& face) {
    int64_t state = send_message(window, BM_GETCHECK, 0, 0);
    if (state == BST_INDETERMINATE)
        none::make_at(facet(face, f_data));
    else
        logic::make_at(facet(face, f_data), state == BST_CHECKED);
}

bool read_slider(HWnd window, const Cell& face) {
    Cell data = facet(face, f_data);
    bool was_fraction = is_fraction(data);
    if (!was_fraction) percent::make_at(facet(face, f_data), 0.0);
    int32_t range = range_of(face);
    int32_t pos = int32_t(send_message(window, TBM_GETPOS, 0, 0));
    if (upright(face)) pos = range - pos;
    Cell& target = facet(face, f_data);
    double fraction = double(pos) / range;
    bool changed = !was_fraction || float_::get(data) != fraction;
    if (cell::type_of(target) == TYPE_PERCENT)
        percent::make_at(target, fraction);
    else
        float_::make_at(target, fraction);
    return changed;
}

} // namespace kiv::gui::faces
