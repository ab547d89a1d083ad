#include "gui/backend/menus.h"

#include "gui/backend/layer_state.h"
#include "gui/backend/messages.h"

#include <algorithm>
#include <utility>

namespace kiv::gui {

using detail::MenuModel;
using detail::state;

namespace detail {

MenuModel* find_menu(HMenu menu) {
    auto& menus = state().menus;
    auto it = menus.find(menu);
    return it == menus.end() ? nullptr : &it->second;
}

} // namespace detail

namespace {

HMenu make_menu(bool popup) {
    auto& s = state();
    if (!s.backend) return 0;
    HMenu handle = s.next_menu++;
    s.menus[handle].popup = popup;
    return handle;
}

} // namespace

HMenu create_menu() {
    return make_menu(false);
}

HMenu create_popup_menu() {
    return make_menu(true);
}

bool is_menu(HMenu menu) {
    return detail::find_menu(menu) != nullptr;
}

bool insert_menu_item(HMenu menu, uint32_t position, const MenuItemInfo& given) {
    MenuModel* m = detail::find_menu(menu);
    if (!m) return false;
    MenuItemInfo item;
    item.mask = given.mask;
    if (given.mask & MIIM_FTYPE) item.type = given.type;
    if (given.mask & MIIM_ID) item.id = given.id;
    if (given.mask & MIIM_SUBMENU) item.submenu = given.submenu;
    if (given.mask & MIIM_DATA) item.data = given.data;
    if (given.mask & MIIM_STRING) item.text = given.text;
    auto at = m->items.begin() + std::min<size_t>(position, m->items.size());
    m->items.insert(at, std::move(item));
    return true;
}

bool get_menu_item_info(HMenu menu, uint32_t position, MenuItemInfo& out) {
    MenuModel* m = detail::find_menu(menu);
    if (!m || position >= m->items.size()) return false;
    const MenuItemInfo& item = m->items[position];
    if (out.mask & MIIM_FTYPE) out.type = item.type;
    if (out.mask & MIIM_ID) out.id = item.id;
    if (out.mask & MIIM_SUBMENU) out.submenu = item.submenu;
    if (out.mask & MIIM_DATA) out.data = item.data;
    if (out.mask & MIIM_STRING) out.text = item.text;
    return true;
}

int get_menu_item_count(HMenu menu) {
    MenuModel* m = detail::find_menu(menu);
    return m ? int(m->items.size()) : -1;
}

bool destroy_menu(HMenu menu) {
    auto& menus = state().menus;
    auto node = menus.extract(menu);
    if (node.empty()) return false;
    // Taken out first: a submenu listed twice, or the menu inside itself,
    // is destroyed once.
    for (const MenuItemInfo& item : node.mapped().items)
        if (item.submenu) destroy_menu(item.submenu);
    return true;
}

size_t menu_count() {
    return state().menus.size();
}

std::vector<MenuItemInfo> menu_items(HMenu menu) {
    MenuModel* m = detail::find_menu(menu);
    return m ? m->items : std::vector<MenuItemInfo>{};
}

bool set_menu(HWnd window, HMenu menu) {
    detail::Window* w = detail::find(window);
    if (!w || w->parent || (menu && !is_menu(menu))) return false;
    Rect outer = window_rect(window);
    w->menu = menu;
    state().backend->menu_bar_changed(window);
    if (!(w = detail::find(window))) return false;
    w->bar_height = menu ? std::max(0, state().backend->menu_bar_height(window)) : 0;
    // Moves the client area under the bar, keeping the outer rectangle.
    set_window_pos(window, outer);
    return true;
}

HMenu get_menu(HWnd window) {
    detail::Window* w = detail::find(window);
    return w && is_menu(w->menu) ? w->menu : 0;
}

Rect adjust_window_rect(Rect client, bool has_menu) {
    if (has_menu && state().backend) client.top -= state().backend->menu_bar_height(0);
    return client;
}

void menu_loop_entered(HWnd owner, bool popup) {
    send_message(owner, WM_ENTERMENULOOP, popup, 0);
}

void menu_item_selected(HWnd owner, HMenu menu, uint32_t position) {
    MenuItemInfo item;
    item.mask = MIIM_SUBMENU;
    if (!get_menu_item_info(menu, position, item)) return;
    uint64_t flags = item.submenu ? MF_POPUP : 0;
    post_message(owner, WM_MENUSELECT, flags << 16 | (position & 0xFFFF), menu);
}

void menu_item_chosen(HWnd owner, HMenu menu, uint32_t position) {
    MenuItemInfo item;
    item.mask = MIIM_ID;
    if (!get_menu_item_info(menu, position, item)) return;
    menu_item_selected(owner, menu, position);
    post_message(owner, WM_COMMAND, item.id & 0xFFFF, 0);
}

void menu_loop_left(HWnd owner, bool popup) {
    send_message(owner, WM_MENUSELECT, menu_closed, 0);
    send_message(owner, WM_EXITMENULOOP, popup, 0);
}

bool track_popup_menu(HMenu menu, Point screen, HWnd owner) {
    if (!is_menu(menu) || !is_window(owner)) return false;
    menu_loop_entered(owner, true);
    std::optional<MenuChoice> choice = state().backend->track_popup(menu, screen, owner);
    menu_loop_left(owner, true);
    if (!choice) return false;
    menu_item_chosen(owner, choice->menu, choice->position);
    return true;
}

std::string caption_text(const std::string& caption) {
    std::string shown;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        shown += caption[i];
    }
    return shown;
}

std::string menu_label_text(const std::string& label) {
    return caption_text(label.substr(0, label.find('\t')));
}

UnderscoreLabel underscore_label(const std::string& label) {
    UnderscoreLabel out;
    size_t tab = label.find('\t');
    if (tab != std::string::npos) out.hint = label.substr(tab + 1);
    for (size_t i = 0; i < std::min(tab, label.size()); ++i) {
        char c = label[i];
        if (c == '_') {
            out.text += "__";
        } else if (c == '&' && i + 1 < std::min(tab, label.size())) {
            ++i;
            out.text += label[i] == '&'   ? "&"
                        : label[i] == '_' ? "__"
                                          : "_" + std::string(1, label[i]);
        } else {
            out.text += c;
        }
    }
    return out;
}

std::optional<MenuChoice> find_menu_path(HMenu menu, const std::vector<std::string>& labels) {
    std::optional<MenuChoice> found;
    for (const std::string& label : labels) {
        MenuModel* m = detail::find_menu(menu);
        if (!m) return std::nullopt;
        auto it = std::find_if(m->items.begin(), m->items.end(), [&](const MenuItemInfo& item) {
            return item.type != MFT_SEPARATOR && menu_label_text(item.text) == label;
        });
        if (it == m->items.end()) return std::nullopt;
        found = MenuChoice{menu, uint32_t(it - m->items.begin())};
        menu = it->submenu;
    }
    return found;
}

} // namespace kiv::gui
