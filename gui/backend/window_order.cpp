// Parents, owners, z-order and extended styles of the layer's windows.
#include "gui/backend/layer_state.h"
#include "gui/backend/messages.h"

#include <algorithm>

namespace kiv::gui {

using detail::siblings_of;
using detail::state;
using detail::Window;

namespace {

void remove_from(std::vector<HWnd>& list, HWnd h) {
    list.erase(std::remove(list.begin(), list.end(), h), list.end());
}

bool is_ancestor(HWnd ancestor, HWnd window) {
    for (Window* w = detail::find(window); w; w = detail::find(w->parent))
        if (w->handle == ancestor) return true;
    return false;
}

} // namespace

uint32_t get_ex_style(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->ex_style : 0;
}

void set_ex_style(HWnd window, uint32_t ex_style) {
    if (Window* w = detail::find(window)) w->ex_style = ex_style;
}

HWnd get_owner(HWnd window) {
    Window* w = detail::find(window);
    return w && detail::find(w->owner) ? w->owner : 0;
}

bool set_parent(HWnd window, HWnd parent) {
    Window* w = detail::find(window);
    if (!w || (parent && (!detail::find(parent) || is_ancestor(window, parent)))) return false;
    if (w->parent == parent) return bring_window_to_top(window);
    remove_from(siblings_of(*w), window);
    w->parent = parent;
    siblings_of(*w).push_back(window);
    state().backend->window_reparented(window);
    invalidate_rect(window, nullptr, true);
    return true;
}

bool bring_window_to_top(HWnd window) {
    Window* w = detail::find(window);
    return w && place_above(window, siblings_of(*w).back());
}

bool place_above(HWnd window, HWnd below) {
    Window* w = detail::find(window);
    if (!w || below == window) return w != nullptr;
    auto& list = siblings_of(*w);
    remove_from(list, window);
    auto at = below ? std::find(list.begin(), list.end(), below) : list.end();
    list.insert(at == list.end() ? (below ? list.end() : list.begin()) : at + 1, window);
    state().backend->window_restacked(window);
    return true;
}

HWnd previous_sibling(HWnd window) {
    Window* w = detail::find(window);
    if (!w) return 0;
    auto& list = siblings_of(*w);
    auto at = std::find(list.begin(), list.end(), window);
    return at == list.begin() || at == list.end() ? 0 : *(at - 1);
}

void update_window(HWnd window) {
    Rect bounds;
    if (detail::find(window) && get_update_rect(window, bounds))
        send_message(window, WM_PAINT, 0, 0);
}

} // namespace kiv::gui
