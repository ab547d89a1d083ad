// SysTabControl32: tabs with texts, images and values, the current tab
// (the first tab inserted becomes it), the page area within the control,
// and a user's switch asked of the parent first (TCN_SELCHANGING) and told
// after (TCN_SELCHANGE).
#include "gui/backend/controls/control_state.h"
#include "runtime/text_index.h"

namespace kiv::gui {

using namespace controls;

namespace {

// The tab row's height and the frame around the page area (device pixels).
constexpr int tab_row_height = 24;
constexpr int page_frame = 2;

Rect tab_rect(const TabModel& m, size_t index) {
    int left = page_frame;
    for (size_t i = 0; i < index; ++i) left += 12 + 7 * int(utf8::char_count(m.tabs[i].text));
    int width = 12 + 7 * int(utf8::char_count(m.tabs[index].text));
    return {left, page_frame, left + width, tab_row_height};
}

void fill_tab(Tab& tab, const TabItem& item) {
    if (item.mask & TCIF_TEXT) tab.text = item.text ? item.text : "";
    if (item.mask & TCIF_IMAGE) tab.image = item.image;
    if (item.mask & TCIF_PARAM) tab.param = item.param;
}

void read_tab(const Tab& tab, TabItem& item) {
    if ((item.mask & TCIF_TEXT) && item.buffer && item.buffer_size > 0)
        copy_out(tab.text.substr(0, size_t(item.buffer_size - 1)), int64_t(item.buffer));
    if (item.mask & TCIF_IMAGE) item.image = tab.image;
    if (item.mask & TCIF_PARAM) item.param = tab.param;
}

int64_t insert_tab(HWnd w, TabModel& m, int64_t index, const TabItem* item) {
    if (!item || index < 0) return -1;
    index = std::min<int64_t>(index, int64_t(m.tabs.size()));
    Tab tab;
    fill_tab(tab, *item);
    m.tabs.insert(m.tabs.begin() + index, tab);
    if (m.tabs.size() == 1)
        m.current = 0;
    else if (m.current >= index)
        ++m.current;
    control_changed(w, ControlChange::items);
    return index;
}

int64_t delete_tab(HWnd w, TabModel& m, int64_t index) {
    if (index < 0 || index >= int64_t(m.tabs.size())) return 0;
    m.tabs.erase(m.tabs.begin() + index);
    if (m.current == index)
        m.current = -1;
    else if (m.current > index)
        --m.current;
    control_changed(w, ControlChange::items);
    return 1;
}

// Converts between the control's rectangle and its page area: the
// backend's layout where it has one, else a frame around the page and the
// tab row above it.
void adjust_rect(HWnd w, bool to_window, Rect& r) {
    Rect insets{page_frame, tab_row_height + page_frame, page_frame, page_frame};
    if (layer_running()) backend().tab_page_insets(w, insets);
    int sign = to_window ? -1 : 1;
    r.left += sign * insets.left;
    r.top += sign * insets.top;
    r.right -= sign * insets.right;
    r.bottom -= sign * insets.bottom;
}

} // namespace

bool tab_area_from_backend(HWnd tabs) {
    Rect insets;
    return layer_running() && backend().tab_page_insets(tabs, insets);
}

namespace {

int64_t tabs_input(HWnd w, TabModel& m, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (message == WM_LBUTTONDOWN) {
        take_focus(w);
        Point p{point_param_x(lparam), point_param_y(lparam)};
        for (size_t i = 0; i < m.tabs.size(); ++i)
            if (tab_rect(m, i).contains(p)) user_select_tab(w, int32_t(i));
        return 0;
    }
    if (message == WM_KEYDOWN && (wparam == VK_LEFT || wparam == VK_RIGHT))
        user_select_tab(w, m.current + (wparam == VK_LEFT ? -1 : 1));
    return 0;
}

} // namespace

namespace controls {

int64_t tabs_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    TabModel* m = proc_model<TabModel>(w, message);
    if (!m) return def_window_proc(w, message, wparam, lparam);
    int64_t index = int64_t(int32_t(wparam));
    bool in_range = index >= 0 && index < int64_t(m->tabs.size());
    switch (message) {
    case TCM_GETITEMCOUNT: return int64_t(m->tabs.size());
    case TCM_INSERTITEM: return insert_tab(w, *m, index, reinterpret_cast<const TabItem*>(lparam));
    case TCM_DELETEITEM: return delete_tab(w, *m, index);
    case TCM_DELETEALLITEMS:
        m->tabs.clear();
        m->current = -1;
        control_changed(w, ControlChange::items);
        return 1;
    case TCM_GETITEM:
        if (!in_range || !lparam) return 0;
        read_tab(m->tabs[size_t(index)], *reinterpret_cast<TabItem*>(lparam));
        return 1;
    case TCM_SETITEM:
        if (!in_range || !lparam) return 0;
        fill_tab(m->tabs[size_t(index)], *reinterpret_cast<const TabItem*>(lparam));
        control_changed(w, ControlChange::items);
        return 1;
    case TCM_GETCURSEL: return m->current;
    case TCM_SETCURSEL: {
        if (!in_range) return -1;
        int32_t old = std::exchange(m->current, int32_t(index));
        if (old != index) control_changed(w, ControlChange::current);
        return old;
    }
    case TCM_GETITEMRECT:
        if (!in_range || !lparam) return 0;
        *reinterpret_cast<Rect*>(lparam) = tab_rect(*m, size_t(index));
        return 1;
    case TCM_ADJUSTRECT:
        if (lparam) adjust_rect(w, wparam != 0, *reinterpret_cast<Rect*>(lparam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_KEYDOWN: {
        if (input_elsewhere(w, message, wparam, lparam)) return 0;
        return tabs_input(w, *m, message, wparam, lparam);
    }
    default: return control_default(w, message, wparam, lparam, {});
    }
}

} // namespace controls

bool user_select_tab(HWnd tabs, int32_t index) {
    TabModel* m = control_model<TabModel>(tabs);
    if (!m || index < 0 || index >= int32_t(m->tabs.size()) || index == m->current) return false;
    NotifyHeader header;
    if (notify_parent(tabs, header, TCN_SELCHANGING) != 0) return false;
    m = control_model<TabModel>(tabs);
    if (!m || index >= int32_t(m->tabs.size())) return false;
    m->current = index;
    control_changed(tabs, ControlChange::current);
    notify_parent(tabs, header, TCN_SELCHANGE);
    return true;
}

} // namespace kiv::gui
