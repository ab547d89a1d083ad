#include "gui/backend/faces/face_window.h"

#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/time.h"
#include "datatypes/tuple.h"
#include "datatypes/url.h"
#include "gui/backend/camera/camera.h"
#include "gui/backend/conversions.h"
#include "gui/backend/dpi.h"
#include "gui/backend/faces/base_face.h"
#include "gui/backend/faces/dpi_bracket.h"
#include "gui/backend/faces/face_controls.h"
#include "gui/backend/faces/face_free.h"
#include "gui/backend/faces/face_hooks.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/faces/group_frame.h"
#include "gui/backend/faces/tab_pages.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/menus_faces.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/slot_table.h"
#include "runtime/stdout.h"
#include "runtime/types.h"

#include <cmath>

namespace kiv::gui::faces {

namespace {

// The class and the styles a face type adds to every window's.
struct TypeClass {
    FaceType type;
    const char* class_name;
    uint32_t style;
};

constexpr TypeClass type_classes[] = {
    {FaceType::button, "KivButton", BS_MULTILINE},
    {FaceType::toggle, "KivButton", BS_PUSHLIKE | BS_AUTOCHECKBOX},
    {FaceType::check, "KivButton", WS_TABSTOP},
    {FaceType::radio, "KivButton", WS_TABSTOP | BS_RADIOBUTTON},
    {FaceType::panel, "KivPanel", WS_CLIPCHILDREN},
    {FaceType::group_box, "KivPanel", 0},
    {FaceType::tab_panel, "KivTabPanel", 0},
    {FaceType::field, "KivField", WS_TABSTOP | ES_AUTOHSCROLL},
    {FaceType::area, "KivArea", WS_VSCROLL | WS_TABSTOP | ES_AUTOVSCROLL | ES_MULTILINE},
    {FaceType::text, "KivFace", 0},
    {FaceType::text_list, "KivListBox",
     WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY},
    {FaceType::drop_down, "KivCombo", CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_HASSTRINGS},
    {FaceType::drop_list, "KivCombo", CBS_DROPDOWNLIST | CBS_HASSTRINGS},
    {FaceType::progress, "KivProgress", 0},
    {FaceType::slider, "KivSlider", 0},
    {FaceType::scroller, "KivScroller", 0},
    {FaceType::base, "KivBase", WS_CLIPCHILDREN},
    {FaceType::rich_text, "KivBase", WS_CLIPCHILDREN},
    {FaceType::camera, "KivCamera", 0},
    {FaceType::calendar, "KivCalendar", MCS_NOSELCHANGEONNAV | MCS_SHORTDAYSOFWEEK | MCS_NOTODAY},
    {FaceType::window, "KivWindow", 0},
};

const TypeClass* class_of(FaceType type) {
    for (const TypeClass& c : type_classes)
        if (c.type == type) return &c;
    return nullptr;
}

bool has_edit_edge(FaceType type) {
    return type == FaceType::field || type == FaceType::area || type == FaceType::text_list;
}

// Whether an options block holds `accelerated` followed by true.
bool accelerated(const Cell& face) {
    Cell value;
    return option_value(facet_value(face, f_options), "accelerated", false, value) &&
           cell::type_of(value) == TYPE_LOGIC && logic::get(value);
}

bool transparent_color(const Cell& color) {
    return cell::type_of(color) == TYPE_TUPLE && !opaque_color(color);
}

// What a window is made with.
struct Creation {
    const char* class_name = nullptr;
    uint32_t style = WS_CHILD | WS_CLIPSIBLINGS;
    uint32_t ex_style = 0;
    HWnd parent = 0;
    double x = 0, y = 0, width = 0, height = 0;
    bool pair_size = false;
};

// The styles of window faces from their flags.
void window_styles(const Cell& face, uint32_t flags, Creation& c) {
    c.style = WS_CAPTION | WS_CLIPCHILDREN;
    if (!(flags & flag_no_min)) c.style |= WS_MINIMIZEBOX;
    if (!(flags & flag_no_max)) c.style |= WS_MAXIMIZEBOX;
    if (!(flags & flag_no_buttons)) c.style |= WS_SYSMENU;
    if (flags & flag_popup) c.ex_style |= WS_EX_TOOLWINDOW;
    if (flags & flag_resize)
        c.style |= WS_THICKFRAME;
    else
        c.style &= ~WS_MAXIMIZEBOX;
    if (menu_bar_q(facet_value(face, f_menu), facet_value(face, f_type))) c.style |= WS_SYSMENU;
    if (flags & flag_no_title) c.style = WS_POPUP | WS_BORDER;
    if (flags & flag_no_border) {
        c.style = WS_POPUP;
        if (transparent_color(facet(face, f_color)) || accelerated(face))
            c.ex_style |= WS_EX_LAYERED;
    }
    if (c.width < 0) c.width = 200;
    if (c.height < 0) c.height = 200;
    if (flags & flag_modal) c.parent = get_active_window();
    double dpi = dpi_for_rect({int(c.x), int(c.y)}, c.width, c.height);
    if (dpi != current_dpi()) set_dpi(dpi);
}

// Base faces: layered inside a layered parent, when transparent, or when
// they ask for acceleration.
void base_styles(const Cell& face, Creation& c) {
    if (layered(c.parent) || !opaque_color(facet(face, f_color)) || accelerated(face))
        c.ex_style |= WS_EX_LAYERED;
}

void type_styles(const Cell& face, FaceType type, uint32_t flags, Creation& c) {
    bool para_object = cell::type_of(facet(face, f_para)) == TYPE_OBJECT;
    if (type == FaceType::check)
        c.style |= flags & flag_tri_state ? BS_AUTO3STATE : BS_AUTOCHECKBOX;
    if (type == FaceType::field) {
        if (flags & flag_password) c.style |= ES_PASSWORD;
        if (!para_object) c.style |= ES_NOHIDESEL;
    }
    if (type == FaceType::area && !para_object)
        c.style |= WS_HSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL;
    if (has_edit_edge(type) && !(flags & flag_no_border)) c.ex_style |= WS_EX_CLIENTEDGE;
    bool upright = c.width < c.height;
    if (upright && type == FaceType::progress) c.style |= PBS_VERTICAL;
    if (upright && type == FaceType::slider) c.style |= TBS_VERT | TBS_DOWNISLEFT;
    if (upright && type == FaceType::scroller) c.style |= SBS_VERT;
    if ((type == FaceType::panel || type == FaceType::group_box) && layered(c.parent))
        c.ex_style |= WS_EX_LAYERED;
    if (type == FaceType::base || type == FaceType::rich_text) base_styles(face, c);
    if (type == FaceType::window) window_styles(face, flags, c);
}

// Reads offset and size: a pair offset becomes a point2D in the face; a
// pair size marks the window so that sizes are written back as pairs.
void read_geometry(const Cell& face, Creation& c) {
    Cell& offset = facet(face, f_offset);
    if (cell::type_of(offset) == TYPE_PAIR) pair_to_point2D(offset);
    read_point(offset, c.x, c.y);
    Cell size = facet(face, f_size);
    c.pair_size = cell::type_of(size) == TYPE_PAIR;
    read_point(size, c.width, c.height);
}

[[noreturn]] void face_type_error(const Cell& face) {
    Cell type = is_face(face) ? facet(face, f_type) : face;
    runtime::fire_error(runtime::Category::script, err::script::face_type, &type);
}

// The steps after creation that depend on the face type.
void init_by_type(HWnd window, const Cell& face, FaceType type, HWnd parent) {
    bool is_layered = layered(window);
    switch (type) {
    case FaceType::base: init_base_face(window, parent, face, is_layered, 0); break;
    case FaceType::rich_text:
        init_base_face(window, parent, face, is_layered, wf_swap_chain | wf_ime);
        break;
    case FaceType::panel:
        if (is_layered) init_base_face(window, parent, face, true, 0);
        break;
    case FaceType::group_box: make_group_frame(window, face); break;
    case FaceType::camera: {
        Rooted<Cell> data(facet_value(face, f_data));
        camera::init(window, *data, facet_value(face, f_selected), nullptr);
        facet(face, f_data) = *data;
        break;
    }
    case FaceType::window: {
        init_window_slots(window);
        Rect created = window_rect(window);
        update_menu_bar(window, face);
        // The bar is added to the face's size, not taken from its client.
        if (window_rect(window).height() != client_rect(window).height())
            set_window_pos(window, window_at(window, {created.left, created.top}, created.width(),
                                             created.height()));
        if (is_layered) init_base_face(window, parent, face, true, 0);
        Rect r = window_rect(window);
        set_window_long(window, slot_last_position, r.top << 16 | (r.left & 0xFFFF));
        break;
    }
    default: break;
    }
    init_control(window, face, type);
}

} // namespace

bool layered(HWnd window) {
    return get_ex_style(window) & WS_EX_LAYERED;
}

Point frame_corner(HWnd window) {
    Rect outer = window_rect(window), frame = window_frame(window);
    return {outer.left - frame.left, outer.top - frame.top};
}

Rect window_at(HWnd window, Point corner, int width, int height) {
    Rect frame = window_frame(window);
    int bar = rect_in_parent(window).top - window_rect(window).top;
    Point outer{corner.x + frame.left, corner.y + frame.top};
    return {outer.x, outer.y, outer.x + width, outer.y + bar + height};
}

HWnd OS_make_view(const Cell& face, HWnd parent) {
    if (!is_face(face)) face_type_error(face);
    DpiBracket dpi(parent);
    return create_face_window(face, parent);
}

HWnd create_face_window(const Cell& face, HWnd parent) {
    FaceType type = face_type(face);
    const TypeClass* cls = class_of(type);
    if (!cls) face_type_error(face);
    uint32_t flags = get_flags(facet_value(face, f_flags));
    Creation c;
    c.class_name = cls->class_name;
    c.parent = parent;
    if ((type == FaceType::panel || type == FaceType::group_box) && !layered(parent))
        fit_tab_page(face, parent);
    read_geometry(face, c);
    Cell visible = facet(face, f_visible);
    if (type != FaceType::window && cell::type_of(visible) == TYPE_LOGIC && logic::get(visible))
        c.style |= WS_VISIBLE;
    if (auto para = hooks().para_style; para && cell::type_of(facet(face, f_para)) == TYPE_OBJECT)
        c.style |= para(face, type);
    Cell enabled = facet(face, f_enabled);
    if (cell::type_of(enabled) == TYPE_LOGIC && !logic::get(enabled)) c.style |= WS_DISABLED;
    if (flags & flag_scrollable) c.style |= WS_HSCROLL | WS_VSCROLL;
    c.style |= cls->style;
    type_styles(face, type, flags, c);
    if (!(c.ex_style & WS_EX_LAYERED)) c.parent = make_internal_window(c.parent);

    bool window_face = type == FaceType::window;
    Rect rect{dpi_scale(c.x), dpi_scale(c.y), 0, 0};
    rect.right = rect.left + dpi_scale(c.width);
    rect.bottom = rect.top + dpi_scale(c.height);
    HWnd window = create_window_ex(c.ex_style, c.class_name, window_text(face, type), c.style, rect,
                                   c.parent, 0);
    if (!window) {
        stdout_::print_line("*** View Error: CreateWindowEx failed!");
        return 0;
    }
    // Linked first: what the window asks its parent while it is set up
    // (its colours, at its font) reads the face.
    link_face(window, face);
    if (window_face) {
        double dpi = dpi_for_window(window);
        if (dpi != current_dpi()) {
            set_dpi(dpi);
            set_window_pos(window, {rect.left, rect.top, rect.left + dpi_scale(c.width),
                                    rect.top + dpi_scale(c.height)});
        }
    }
    set_window_long(window, slot_window_flags, c.pair_size ? wf_pair_size : 0);
    bring_window_to_top(window);
    if (auto font = hooks().set_font) font(window, face);
    set_cursor(window, facet_value(face, f_options));
    init_by_type(window, face, type, parent);
    if (!is_window(window)) return 0;
    if (cell::type_of(facet(face, f_rate)) != TYPE_NONE)
        change_rate(window, facet_value(face, f_rate));
    set_window_long(window, slot_flag_bits, int32_t(flags));
    return window;
}

void link_face(HWnd window, const Cell& face) {
    if (get_window_long(window, slot_face) == 0)
        set_window_long(window, slot_face, int32_t(slot_table::add(face)));
}

std::string window_text(const Cell& face, FaceType type) {
    Cell text = facet(face, f_text);
    if (cell::type_of(text) != TYPE_STRING || type == FaceType::area) return {};
    return url::utf8_text(text);
}

void init_window_slots(HWnd window) {
    for (int slot : {slot_extra, slot_parent, slot_caret_owner, slot_capture_count, slot_render})
        set_window_long(window, slot, 0);
}

void OS_show_window(HWnd window) {
    bool visible = get_style(window) & WS_VISIBLE;
    if (visible && !get_window_long(window, slot_first_show)) {
        update_window(window);
        return;
    }
    if (get_capture()) release_capture();
    end_base_capture();
    set_window_long(window, slot_first_show, 0);
    show_window(window, SW_SHOW);
    update_window(window);
    set_active_window(window);
    if (HWnd focus = selected_window(window)) set_focus(focus);
    set_dpi(dpi_for_window(window));
}

HWnd selected_window(HWnd window) {
    Cell face;
    if (!window_face(window, face)) return 0;
    Cell selected = facet(face, f_selected);
    return is_face(selected) ? face_window(selected) : 0;
}

void OS_redraw(HWnd window) {
    invalidate_rect(window, nullptr, false);
    update_window(window);
}

void OS_refresh_window(HWnd window) {
    update_window(window);
}

int32_t facet_color(const Cell& face, Facet f) {
    Cell color = facet(face, f);
    return cell::type_of(color) == TYPE_TUPLE ? int32_t(to_color(color) & 0xFFFFFF) : -1;
}

HWnd remake_face_window(HWnd window, const Cell& face) {
    HWnd below = previous_sibling(window);
    HWnd parent = get_parent(window);
    Rooted<Cell> kept(face), state(facet(face, f_state));
    free_faces(*kept, false);
    destroy_window(window);
    HWnd remade = OS_make_view(*kept, parent);
    if (cell::type_of(*state) == TYPE_BLOCK && block::rs_length(*state) > 0)
        handle::make_at(block::written_cell(*state, 0), remade, handle::window);
    facet(*kept, f_state) = *state;
    if (remade) place_above(remade, below);
    return remade;
}

text::TextSize get_text_size(const Cell& face, const Cell& text) {
    return text::face_text_size(face, text);
}

void change_rate(HWnd window, const Cell& rate) {
    auto invalid = [&] {
        runtime::fire_error(runtime::Category::script, err::script::invalid_facet_type, &rate);
    };
    uint32_t ms = 0;
    switch (cell::type_of(rate)) {
    case TYPE_NONE: kill_timer(window, 1); return;
    case TYPE_INTEGER:
        if (integer::get(rate) < 1) invalid();
        ms = uint32_t(1000 / integer::get(rate));
        break;
    case TYPE_TIME:
        if (!(float_::get(rate) > 0)) invalid();
        ms = uint32_t(std::min(1000.0 * float_::get(rate), 4294967295.0));
        break;
    default: invalid();
    }
    set_timer(window, 1, ms, timer_proc);
}

} // namespace kiv::gui::faces
