// Menus of the window layer: menu bars and popup menus as models the
// backends show. Handles are 32 bits, never 0 for a live menu and never
// reused. A backend reports what the user does through the menu_* calls
// below, so both backends send the same messages: WM_ENTERMENULOOP,
// WM_MENUSELECT while items are highlighted, a chosen item as WM_MENUSELECT
// then WM_COMMAND (its id, code 0, lParam 0), and WM_EXITMENULOOP.
#pragma once

#include "gui/backend/window_types.h"

#include <optional>
#include <string>
#include <vector>

namespace kiv::gui {

using HMenu = uint32_t;

// Which fields of a MenuItemInfo are given or asked for.
enum MenuItemMask : uint32_t {
    MIIM_STATE = 0x1,
    MIIM_ID = 0x2,
    MIIM_SUBMENU = 0x4,
    MIIM_DATA = 0x20,
    MIIM_STRING = 0x40,
    MIIM_FTYPE = 0x100,
};
constexpr uint32_t MFT_SEPARATOR = 0x800;
// WM_MENUSELECT: the high word of wParam for an item that opens a submenu,
// and the whole wParam when the menu closes.
constexpr uint32_t MF_POPUP = 0x10;
constexpr uint64_t menu_closed = 0xFFFF0000;

struct MenuItemInfo {
    uint32_t mask = 0;
    uint32_t type = 0; // 0 or MFT_SEPARATOR
    uint32_t id = 0;
    HMenu submenu = 0;
    uint32_t data = 0;
    // A label: "&x" makes x the mnemonic, "&&" is an "&"; the text after a
    // tab is the hint of a shortcut key.
    std::string text;
};

HMenu create_menu();
HMenu create_popup_menu();
bool is_menu(HMenu menu);
// Inserts before the item at `position`; past the end it appends.
bool insert_menu_item(HMenu menu, uint32_t position, const MenuItemInfo& item);
// The fields of `item.mask` of the item at `position`.
bool get_menu_item_info(HMenu menu, uint32_t position, MenuItemInfo& item);
int get_menu_item_count(HMenu menu);
// Destroys the menu and, depth first, every submenu it holds.
bool destroy_menu(HMenu menu);
// The live menus, for checking that none is left behind.
size_t menu_count();

// The menu bar of a top-level window. The window keeps its outer size: its
// client area starts below the bar and shrinks by its height (WM_SIZE).
bool set_menu(HWnd window, HMenu menu);
HMenu get_menu(HWnd window);
// The outer rectangle of a top-level whose client area is `client`.
Rect adjust_window_rect(Rect client, bool has_menu);

// Shows a popup menu at a screen point for `owner` and returns once it is
// closed; a chosen item is posted to the owner afterwards. True when an
// item was chosen.
bool track_popup_menu(HMenu menu, Point screen, HWnd owner);

// What a backend reports while a menu is open.
void menu_loop_entered(HWnd owner, bool popup);
void menu_item_selected(HWnd owner, HMenu menu, uint32_t position);
void menu_item_chosen(HWnd owner, HMenu menu, uint32_t position);
void menu_loop_left(HWnd owner, bool popup);

// The chosen item of a popup as a backend answers it: the menu that holds
// the item and its position.
struct MenuChoice {
    HMenu menu = 0;
    uint32_t position = 0;
};

// A menu's items as the backends read them to show it.
std::vector<MenuItemInfo> menu_items(HMenu menu);
// The item of a label path (each label with its "&" marks and hint
// removed), the menu that holds it and its position; empty when the path
// names none. Used by the headless backend's scripted choices.
std::optional<MenuChoice> find_menu_path(HMenu menu, const std::vector<std::string>& labels);
// A caption as shown, a menu item's or a button's: "&x" marks dropped,
// "&&" as "&".
std::string caption_text(const std::string& caption);
// A menu label as shown: its caption text without the hint.
std::string menu_label_text(const std::string& label);
// A label in the underscore form of toolkits: "&x" as "_x", "&&" as "&",
// "_" as "__"; and the shortcut hint after a tab, apart.
struct UnderscoreLabel {
    std::string text;
    std::string hint;
};
UnderscoreLabel underscore_label(const std::string& label);

} // namespace kiv::gui
