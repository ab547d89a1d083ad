#include "gui/backend/faces/face_items.h"

#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/faces/face_controls.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_window.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/text_index.h"
#include "runtime/types.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kiv::gui::faces {

namespace {

// The texts of the item values of a data block (none for other values).
std::vector<std::string> items_of(const Cell& data) {
    std::vector<std::string> items;
    uint32_t type = cell::type_of(data);
    if (type != TYPE_BLOCK && type != TYPE_HASH) return items;
    for (int32_t i = 0; i < block::rs_length(data); ++i) {
        Cell value = block::rs_head(data)[i];
        if (is_item(value)) items.push_back(url::utf8_text(value));
    }
    return items;
}

// The width of the widest item of the face's data in its font.
double widest_item(const Cell& face) {
    Rooted<Cell> f(face), data(facet(face, f_data));
    double widest = 0;
    if (cell::type_of(*data) != TYPE_BLOCK && cell::type_of(*data) != TYPE_HASH) return 0;
    for (int32_t i = 0; i < block::rs_length(*data); ++i) {
        Cell value = block::rs_head(*data)[i];
        if (is_item(value)) widest = std::max(widest, get_text_size(*f, value).width);
    }
    return widest;
}

void add_items(HWnd window, uint32_t message, const std::vector<std::string>& items) {
    for (const std::string& item : items)
        send_message(window, message, 0, reinterpret_cast<int64_t>(item.c_str()));
}

int32_t selected_index(const Cell& face) {
    Cell selected = facet(face, f_selected);
    if (cell::type_of(selected) != TYPE_INTEGER) return -2;
    return std::max(integer::get(selected) - 1, -1);
}

void show_page(const Cell& page, bool show) {
    HWnd window = face_window(page);
    if (!window) return;
    logic::make_at(facet(page, f_visible), show);
    show_window(window, show ? SW_SHOW : SW_HIDE);
    if (show) bring_window_to_top(window);
}

Cell pane_face(const Cell& face, int32_t index) {
    Cell pane = facet(face, f_pane);
    if (cell::type_of(pane) != TYPE_BLOCK || index < 0 || index >= block::rs_length(pane))
        return Cell{TYPE_NONE, 0, 0, 0};
    return block::rs_head(pane)[index];
}

} // namespace

bool is_item(const Cell& value) {
    return is_text_type(cell::type_of(value));
}

void init_text_list(HWnd window, const Cell& face) {
    send_message(window, LB_RESETCONTENT, 0, 0);
    std::vector<std::string> items = items_of(facet(face, f_data));
    add_items(window, LB_ADDSTRING, items);
    size_t longest = 0;
    for (const std::string& item : items) longest = std::max(longest, utf8::char_count(item));
    set_window_long(window, slot_extra, int32_t(longest));
    send_message(window, LB_SETHORIZONTALEXTENT, uint64_t(widest_item(face) + 4), 0);
    int32_t index = selected_index(face);
    if (index == -2)
        integer::make_at(facet(face, f_selected), -1);
    else
        send_message(window, LB_SETCURSEL, uint64_t(int64_t(index)), 0);
}

void init_combo(HWnd window, const Cell& face, FaceType type) {
    Cell data = facet(face, f_data);
    if (cell::type_of(data) == TYPE_BLOCK || cell::type_of(data) == TYPE_HASH) {
        send_message(window, CB_RESETCONTENT, 0, 0);
        add_items(window, CB_ADDSTRING, items_of(data));
    }
    bool has_text = cell::type_of(facet(face, f_text)) == TYPE_STRING;
    if (!has_text || type == FaceType::drop_list) {
        int32_t index = selected_index(face);
        if (index != -2) send_message(window, CB_SETCURSEL, uint64_t(int64_t(index)), 0);
        return;
    }
    std::string text = url::utf8_text(facet(face, f_text));
    send_message(window, WM_SETTEXT, 0, reinterpret_cast<int64_t>(text.c_str()));
}

void select_item(HWnd window, const Cell& face, FaceType type) {
    int32_t index = selected_index(face);
    if (index == -2) return;
    send_message(window, type == FaceType::text_list ? LB_SETCURSEL : CB_SETCURSEL,
                 uint64_t(int64_t(index)), 0);
}

void set_tabs(HWnd window, const Cell& face) {
    send_message(window, TCM_DELETEALLITEMS, 0, 0);
    Cell data = facet(face, f_data);
    int32_t count = 0;
    if (cell::type_of(data) == TYPE_BLOCK)
        for (int32_t i = 0; i < block::rs_length(data); ++i) {
            Cell value = block::rs_head(data)[i];
            if (cell::type_of(value) != TYPE_STRING) continue;
            std::string text = url::utf8_text(value);
            TabItem tab{TCIF_TEXT, text.c_str()};
            send_message(window, TCM_INSERTITEM, uint64_t(count++),
                         reinterpret_cast<int64_t>(&tab));
        }
    Cell selected = facet(face, f_selected);
    if (cell::type_of(selected) == TYPE_INTEGER && count > 0) {
        int32_t index = std::clamp(integer::get(selected), 1, count);
        integer::make_at(facet(face, f_selected), index);
        send_message(window, TCM_SETCURSEL, uint64_t(index - 1), 0);
    } else {
        integer::make_at(facet(face, f_selected), 1);
    }
}

void select_tab(HWnd window, const Cell& face) {
    int32_t index = selected_index(face);
    if (index < 0) return;
    int32_t previous = int32_t(send_message(window, TCM_GETCURSEL, 0, 0));
    send_message(window, TCM_SETCURSEL, uint64_t(index), 0);
    Rooted<Cell> kept(face);
    show_page(pane_face(*kept, index), true);
    if (previous >= 0 && previous != index) show_page(pane_face(*kept, previous), false);
}

void show_tab_page(const Cell& face, int32_t index) {
    Rooted<Cell> kept(face);
    int32_t previous = selected_index(*kept);
    show_page(pane_face(*kept, index), true);
    if (previous >= 0 && previous != index) show_page(pane_face(*kept, previous), false);
}

void show_selected_page(const Cell& face) {
    int32_t index = selected_index(face);
    if (index >= 0) show_page(pane_face(face, index), true);
}

void get_text_alt(HWnd window, const Cell& face, int32_t index) {
    std::string text;
    if (index < 0) {
        text = get_window_text(window);
    } else {
        int64_t length = send_message(window, CB_GETLBTEXTLEN, uint64_t(index), 0);
        if (length < 0) return;
        text.resize(size_t(length) + 1);
        send_message(window, CB_GETLBTEXT, uint64_t(index), reinterpret_cast<int64_t>(text.data()));
        text.resize(size_t(length));
    }
    Rooted<Cell> kept(face), value;
    string::load_at(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), *value,
                    string::Encoding::utf8);
    facet(*kept, f_text) = *value;
}

bool update_items(const Cell& face, const Cell&, const Cell&, const Cell*, int32_t, int32_t part) {
    HWnd window = face_window(face);
    switch (face_type(face)) {
    case FaceType::text_list: init_text_list(window, face); return true;
    case FaceType::drop_down:
    case FaceType::drop_list:
        if (part != 0) init_combo(window, face, face_type(face));
        return true;
    case FaceType::tab_panel: set_tabs(window, face); return true;
    default: return false;
    }
}

} // namespace kiv::gui::faces
