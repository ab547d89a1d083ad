#include "gui/backend/menus_faces.h"

#include "datatypes/block.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "gui/backend/event.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/stdout.h"
#include "runtime/types.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace kiv::gui {

namespace {

// The context menu being shown or waiting for its command, the face
// window it belongs to, and the item last highlighted.
struct MenuState {
    HMenu popup = 0;
    HWnd popup_window = 0;
    HMenu selected_menu = 0;
    int32_t selected_position = -1;
};
MenuState& menu_state() {
    static MenuState s;
    return s;
}

bool is_word_named(const Cell& value, const char* name) {
    return cell::type_of(value) == TYPE_WORD &&
           symbol::resolve(value.w2) == symbol::resolve(symbol::intern(name));
}

const Cell& facet(const Cell& face, const char* name) {
    return *object::find_word(face, series::word_cell(name));
}

struct MenuBuilder {
    std::vector<NodeId> open; // the blocks being built, outermost first
    uint32_t separator = symbol::resolve(symbol::intern("---"));

    void build(Cell block, HMenu menu) {
        open.push_back(block.w2);
        uint32_t position = 0;
        for (int32_t i = 0, n = block::rs_length(block); i < n; ++i) {
            Cell value = block::rs_head(block)[i];
            uint32_t type = cell::type_of(value);
            if (type == TYPE_WORD && symbol::resolve(value.w2) == separator) {
                MenuItemInfo item{
                    MIIM_FTYPE | MIIM_DATA | MIIM_ID, MFT_SEPARATOR, position, 0, no_menu_word, {}};
                insert_menu_item(menu, position++, item);
                continue;
            }
            if (type != TYPE_STRING) continue;
            MenuItemInfo item{MIIM_STRING | MIIM_ID | MIIM_DATA,
                              0,
                              position,
                              0,
                              no_menu_word,
                              url::utf8_text(value)};
            Cell next = i + 1 < n ? block::rs_head(block)[i + 1] : Cell{};
            if (cell::type_of(next) == TYPE_BLOCK) {
                ++i;
                item.mask |= MIIM_SUBMENU;
                item.submenu = submenu(next);
            } else if (cell::type_of(next) == TYPE_WORD) {
                ++i;
                item.data = next.w2;
            }
            insert_menu_item(menu, position++, item);
        }
        open.pop_back();
    }

    HMenu submenu(const Cell& block) {
        if (std::find(open.begin(), open.end(), block.w2) != open.end()) {
            stdout_::print_line("*** GUI: a menu block contains itself; its item has no submenu");
            return 0;
        }
        HMenu sub = create_popup_menu();
        build(block, sub);
        return sub;
    }
};

void forget_popup() {
    auto& s = menu_state();
    if (s.popup) destroy_menu(s.popup);
    s.popup = 0;
    s.popup_window = 0;
}

} // namespace

bool menu_bar_q(const Cell& menu, const Cell& type) {
    if (cell::type_of(menu) != TYPE_BLOCK || block::rs_length(menu) <= 0) return false;
    return is_word_named(type, "window") && !is_word_named(*block::rs_head(menu), "popup");
}

HMenu build_menu(const Cell& block, HMenu menu) {
    if (cell::type_of(block) != TYPE_BLOCK) return 0;
    MenuBuilder builder;
    builder.build(block, menu);
    return menu;
}

void update_menu_bar(HWnd window, const Cell& face) {
    Cell menu = facet(face, "menu");
    HMenu bar = menu_bar_q(menu, facet(face, "type")) ? build_menu(menu, create_menu()) : 0;
    HMenu old = get_menu(window);
    set_menu(window, bar);
    if (old) destroy_menu(old);
}

bool show_context_menu(const Msg& msg, Point screen) {
    auto& s = menu_state();
    forget_popup();
    clear_pending_menu();
    auto face_of = live::hooks().face_of_window;
    Rooted<Cell> face;
    if (!face_of || !face_of(msg.window, *face)) return false;
    Cell menu = facet(*face, "menu");
    if (cell::type_of(menu) != TYPE_BLOCK || menu_bar_q(menu, facet(*face, "type"))) return false;
    HWnd owner = get_parent(msg.window);
    if (!owner) owner = msg.window;
    s.popup = build_menu(menu, create_popup_menu());
    s.popup_window = msg.window;
    if (!track_popup_menu(s.popup, screen, owner)) forget_popup();
    return true;
}

void do_menu(HWnd window) {
    auto& s = menu_state();
    MenuItemInfo item;
    item.mask = MIIM_DATA;
    bool known = s.selected_position >= 0 &&
                 get_menu_item_info(s.selected_menu, uint32_t(s.selected_position), item);
    HWnd target = s.popup ? s.popup_window : window;
    clear_pending_menu();
    if (known && is_window(target)) {
        const Msg* current = loop_state().current;
        Msg msg = current ? *current : Msg{target, WM_COMMAND, 0, 0, 0, get_message_pos(), 0};
        msg.window = target;
        make_event(msg, item.data, event::menu);
    }
    forget_popup();
}

void keep_menu_select(uint64_t wparam, int64_t lparam) {
    if (wparam == menu_closed) return;
    menu_state().selected_position = int32_t(wparam & 0xFFFF);
    menu_state().selected_menu = HMenu(lparam);
}

void clear_pending_menu() {
    menu_state().selected_position = -1;
    menu_state().selected_menu = 0;
}

bool menu_command(HWnd window, uint64_t wparam, int64_t lparam) {
    if (lparam != 0 || (wparam & 0xFFFF) >= 1000 || menu_state().selected_position < 0)
        return false;
    do_menu(window);
    return true;
}

} // namespace kiv::gui
