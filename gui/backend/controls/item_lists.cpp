// ListBox and ComboBox: items with values, the current item, the list's
// top and item height, a combo box's edit (CBS_DROPDOWN) or the selected
// item as its text (CBS_DROPDOWNLIST), and their notifications. The two
// share one model and answer their LB_* and CB_* messages alike.
#include "gui/backend/controls/control_state.h"
#include "runtime/text_index.h"

namespace kiv::gui {

using namespace controls;

namespace {

// The item messages of the two classes, by what they do.
enum class ItemOp {
    add,
    insert,
    remove,
    reset,
    set_current,
    get_current,
    get_text,
    get_text_length,
    count,
    find,
    find_exact,
    get_data,
    set_data,
};
struct ItemMessage {
    uint32_t list, combo;
    ItemOp op;
};
constexpr ItemMessage item_messages[] = {
    {LB_ADDSTRING, CB_ADDSTRING, ItemOp::add},
    {LB_INSERTSTRING, CB_INSERTSTRING, ItemOp::insert},
    {LB_DELETESTRING, CB_DELETESTRING, ItemOp::remove},
    {LB_RESETCONTENT, CB_RESETCONTENT, ItemOp::reset},
    {LB_SETCURSEL, CB_SETCURSEL, ItemOp::set_current},
    {LB_GETCURSEL, CB_GETCURSEL, ItemOp::get_current},
    {LB_GETTEXT, CB_GETLBTEXT, ItemOp::get_text},
    {LB_GETTEXTLEN, CB_GETLBTEXTLEN, ItemOp::get_text_length},
    {LB_GETCOUNT, CB_GETCOUNT, ItemOp::count},
    {LB_FINDSTRING, CB_FINDSTRING, ItemOp::find},
    {LB_FINDSTRINGEXACT, CB_FINDSTRINGEXACT, ItemOp::find_exact},
    {LB_GETITEMDATA, CB_GETITEMDATA, ItemOp::get_data},
    {LB_SETITEMDATA, CB_SETITEMDATA, ItemOp::set_data},
};

const ItemMessage* item_message(uint32_t message, bool combo) {
    for (auto& m : item_messages)
        if ((combo ? m.combo : m.list) == message) return &m;
    return nullptr;
}

bool is_combo(HWnd w) {
    return control_kind(w) == ControlKind::combo;
}

bool has_edit(HWnd w) {
    return is_combo(w) && (get_style(w) & 0x3) != CBS_DROPDOWNLIST;
}

bool sorted(HWnd w) {
    return get_style(w) & (is_combo(w) ? uint32_t(CBS_SORT) : uint32_t(LBS_SORT));
}

// A combo box's text: its edit's, or the selected item's.
void set_combo_text(HWnd w, const std::string& text) {
    if (get_window_text(w) == text) return;
    def_window_proc(w, WM_SETTEXT, 0, reinterpret_cast<int64_t>(text.c_str()));
    control_changed(w, ControlChange::text);
}

void set_current(HWnd w, ItemListModel& m, int32_t index) {
    bool changed = m.current != index;
    m.current = index;
    if (is_combo(w)) {
        set_combo_text(w, index >= 0 ? m.items[size_t(index)].text : "");
        int32_t length = int32_t(utf8::char_count(get_window_text(w)));
        m.edit_selection = {0, length};
    }
    if (changed) control_changed(w, ControlChange::current);
}

int64_t insert_item(HWnd w, ItemListModel& m, int64_t index, const std::string& text) {
    int64_t count = int64_t(m.items.size());
    if (index < 0) index = count;
    if (index > count) return LB_ERR;
    m.items.insert(m.items.begin() + index, ListItem{text, 0});
    if (m.current >= index) ++m.current;
    control_changed(w, ControlChange::items);
    return index;
}

int64_t remove_item(HWnd w, ItemListModel& m, int64_t index) {
    if (index < 0 || index >= int64_t(m.items.size())) return LB_ERR;
    m.items.erase(m.items.begin() + index);
    if (m.current == index) {
        m.current = -1;
        if (is_combo(w) && !has_edit(w)) set_combo_text(w, "");
    } else if (m.current > index) {
        --m.current;
    }
    m.top = std::min(m.top, std::max(0, int32_t(m.items.size()) - 1));
    control_changed(w, ControlChange::items);
    return int64_t(m.items.size());
}

int64_t item_op(HWnd w, ItemListModel& m, ItemOp op, uint64_t wparam, int64_t lparam) {
    int64_t index = int64_t(int32_t(wparam));
    bool in_range = index >= 0 && index < int64_t(m.items.size());
    switch (op) {
    case ItemOp::add: {
        std::string text = text_param(lparam);
        return insert_item(w, m, sorted(w) ? sorted_index(m.items, text) : -1, text);
    }
    case ItemOp::insert: return insert_item(w, m, index, text_param(lparam));
    case ItemOp::remove: return remove_item(w, m, index);
    case ItemOp::reset:
        m.items.clear();
        m.top = 0;
        control_changed(w, ControlChange::items);
        set_current(w, m, -1);
        return 0;
    case ItemOp::set_current:
        if (!in_range) {
            // A combo box clears its selection on any index out of range,
            // a list box only on -1; both answer an error.
            if (index == -1 || is_combo(w)) set_current(w, m, -1);
            return LB_ERR;
        }
        set_current(w, m, int32_t(index));
        return index;
    case ItemOp::get_current: return m.current;
    case ItemOp::get_text: return in_range ? copy_out(m.items[size_t(index)].text, lparam) : LB_ERR;
    case ItemOp::get_text_length:
        return in_range ? int64_t(m.items[size_t(index)].text.size()) : LB_ERR;
    case ItemOp::count: return int64_t(m.items.size());
    case ItemOp::find:
    case ItemOp::find_exact:
        return find_item(m.items, index, text_param(lparam), op == ItemOp::find_exact);
    case ItemOp::get_data: return in_range ? m.items[size_t(index)].data : LB_ERR;
    case ItemOp::set_data:
        if (!in_range) return LB_ERR;
        m.items[size_t(index)].data = lparam;
        return 1;
    }
    return 0;
}

// The item under a client point of a list box, and whether the point lies
// outside every item.
int64_t item_from_point(HWnd w, const ItemListModel& m, int x, int y) {
    int32_t count = int32_t(m.items.size());
    if (count == 0) return make_long(0, 1);
    // A native list knows its own rows; past them the last item is nearest.
    int32_t shown = -1;
    if (layer_running() && backend().list_item_at(w, {x, y}, shown))
        return shown >= 0 ? make_long(shown, 0) : make_long(count - 1, 1);
    Rect client = client_rect(w);
    int32_t row = y < 0 ? -1 : y / std::max(1, m.item_height);
    int32_t index = m.top + row;
    bool outside = y < 0 || x < 0 || x >= client.width() || y >= client.height() || index >= count;
    return make_long(std::clamp(index, 0, count - 1), outside ? 1 : 0);
}

int64_t list_input(HWnd w, ItemListModel& m, uint32_t message, uint64_t wparam, int64_t lparam) {
    int32_t count = int32_t(m.items.size());
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        take_focus(w);
        int64_t hit = item_from_point(w, m, point_param_x(lparam), point_param_y(lparam));
        if (high_word(hit) != 0) return 0;
        // The second press of a double click picks the item again, then
        // opens it.
        user_pick_item(w, low_word(hit));
        if (message == WM_LBUTTONDBLCLK) user_open_item(w, low_word(hit));
        return 0;
    }
    case WM_KEYDOWN: {
        if (count == 0) return 0;
        int32_t at = m.current;
        switch (wparam) {
        case VK_UP: at = std::max(0, at - 1); break;
        case VK_DOWN: at = std::min(count - 1, at + 1); break;
        case VK_HOME: at = 0; break;
        case VK_END: at = count - 1; break;
        default: return 0;
        }
        user_pick_item(w, at);
        return 0;
    }
    default: return 0;
    }
}

int64_t combo_input(HWnd w, ItemListModel& m, uint32_t message, uint64_t wparam) {
    int32_t count = int32_t(m.items.size());
    switch (message) {
    case WM_LBUTTONDOWN:
        take_focus(w);
        user_drop(w, !m.dropped);
        return 0;
    case WM_KEYDOWN:
        if (wparam == VK_F4) {
            user_drop(w, !m.dropped);
        } else if ((wparam == VK_UP || wparam == VK_DOWN) && count > 0) {
            int32_t at = m.current < 0 ? 0 : m.current + (wparam == VK_UP ? -1 : 1);
            user_pick_item(w, std::clamp(at, 0, count - 1));
        } else if (has_edit(w)) {
            std::string text = get_window_text(w);
            Selection sel = m.edit_selection;
            bool edited = false;
            if (key_in_text(uint32_t(wparam), get_key_state(VK_SHIFT) < 0, text, sel, edited))
                edited ? user_edit(w, text, sel) : user_select_text(w, sel);
        }
        return 0;
    case WM_CHAR: {
        if (wparam == 13 && m.dropped) {
            user_drop(w, false);
            return 0;
        }
        if (!has_edit(w)) {
            // A drop-down list goes to the next item starting with the key.
            std::string key = utf8::of_char(uint32_t(wparam));
            int32_t at = find_item(m.items, m.current, key, false);
            if (at >= 0) user_pick_item(w, at);
            return 0;
        }
        std::string text = get_window_text(w);
        Selection sel = m.edit_selection;
        if (typed_text(ES_AUTOHSCROLL, text, sel, uint32_t(wparam))) user_edit(w, text, sel);
        return 0;
    }
    default: return 0;
    }
}

int64_t items_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam, bool combo) {
    ItemListModel* m = proc_model<ItemListModel>(w, message);
    if (!m) return def_window_proc(w, message, wparam, lparam);
    if (const ItemMessage* item = item_message(message, combo))
        return item_op(w, *m, item->op, wparam, lparam);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_KEYDOWN:
    case WM_CHAR: {
        if (input_elsewhere(w, message, wparam, lparam)) return 0;
        return combo ? combo_input(w, *m, message, wparam)
                     : list_input(w, *m, message, wparam, lparam);
    }
    default: break;
    }
    FocusCodes focus =
        combo ? FocusCodes{CBN_SETFOCUS, CBN_KILLFOCUS} : FocusCodes{LBN_SETFOCUS, LBN_KILLFOCUS};
    return control_default(w, message, wparam, lparam, focus);
}

} // namespace

namespace controls {

int64_t list_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    ItemListModel* m = control_model<ItemListModel>(w);
    switch (message) {
    case LB_GETTOPINDEX: return m ? m->top : 0;
    case LB_SETTOPINDEX:
        if (!m || int64_t(wparam) >= int64_t(m->items.size())) return LB_ERR;
        m->top = int32_t(wparam);
        control_changed(w, ControlChange::current);
        return 0;
    case LB_GETHORIZONTALEXTENT: return m ? m->extent : 0;
    case LB_SETHORIZONTALEXTENT:
        if (m) m->extent = int32_t(wparam);
        control_changed(w, ControlChange::look);
        return 0;
    case LB_GETITEMHEIGHT: return m ? m->item_height : LB_ERR;
    case LB_SETITEMHEIGHT:
        if (!m || lparam < 1 || lparam > 255) return LB_ERR;
        m->item_height = int32_t(lparam);
        control_changed(w, ControlChange::look);
        return 0;
    case LB_ITEMFROMPOINT:
        return m ? item_from_point(w, *m, point_param_x(lparam), point_param_y(lparam)) : LB_ERR;
    default: return items_proc(w, message, wparam, lparam, false);
    }
}

int64_t combo_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    ItemListModel* m = control_model<ItemListModel>(w);
    switch (message) {
    case CB_SELECTSTRING: {
        if (!m) return CB_ERR;
        int32_t at = find_item(m->items, int32_t(wparam), text_param(lparam), false);
        if (at >= 0) set_current(w, *m, at);
        return at;
    }
    case CB_SHOWDROPDOWN:
        if (m && m->dropped != (wparam != 0)) {
            m->dropped = wparam != 0;
            control_changed(w, ControlChange::dropped);
        }
        return 1;
    case CB_GETDROPPEDSTATE: return m && m->dropped;
    case CB_GETEDITSEL: {
        if (!m || !has_edit(w)) return CB_ERR;
        if (wparam) *reinterpret_cast<uint32_t*>(wparam) = uint32_t(m->edit_selection.start);
        if (lparam) *reinterpret_cast<uint32_t*>(lparam) = uint32_t(m->edit_selection.end);
        return make_long(m->edit_selection.start, m->edit_selection.end);
    }
    case CB_SETEDITSEL: {
        if (!m || !has_edit(w)) return CB_ERR;
        std::string text = get_window_text(w);
        int32_t start = low_word(lparam), end = high_word(lparam);
        m->edit_selection = start == -1 ? Selection{m->edit_selection.end, m->edit_selection.end}
                                        : clamped_selection(text, start, end);
        if (m->edit_selection.start > m->edit_selection.end)
            std::swap(m->edit_selection.start, m->edit_selection.end);
        control_changed(w, ControlChange::selection);
        return 1;
    }
    case CB_LIMITTEXT: return has_edit(w) ? 1 : CB_ERR;
    case WM_SETTEXT: {
        if (!m) break;
        std::string text = text_param(lparam);
        if (!has_edit(w)) {
            // The text of a drop-down list is always one of its items.
            int32_t at = find_item(m->items, -1, text, true);
            if (at < 0) return CB_ERR;
            set_current(w, *m, at);
            return 1;
        }
        set_combo_text(w, text);
        m->edit_selection = {0, 0};
        control_changed(w, ControlChange::selection);
        return 1;
    }
    default: break;
    }
    return items_proc(w, message, wparam, lparam, true);
}

} // namespace controls

void user_pick_item(HWnd list, int32_t index) {
    ItemListModel* m = control_model<ItemListModel>(list);
    if (!m || index < 0 || index >= int32_t(m->items.size())) return;
    set_current(list, *m, index);
    if (!is_combo(list)) {
        if (get_style(list) & LBS_NOTIFY) notify_command(list, LBN_SELCHANGE);
        return;
    }
    notify_command(list, CBN_SELCHANGE);
    if (m->dropped) user_drop(list, false);
}

void user_open_item(HWnd list, int32_t index) {
    ItemListModel* m = control_model<ItemListModel>(list);
    if (!m || index < 0 || index >= int32_t(m->items.size())) return;
    if (!is_combo(list) && (get_style(list) & LBS_NOTIFY)) notify_command(list, LBN_DBLCLK);
}

void user_drop(HWnd combo, bool open) {
    ItemListModel* m = control_model<ItemListModel>(combo);
    if (!m || !is_combo(combo) || m->dropped == open) return;
    m->dropped = open;
    control_changed(combo, ControlChange::dropped);
    notify_command(combo, open ? CBN_DROPDOWN : CBN_CLOSEUP);
}

} // namespace kiv::gui
