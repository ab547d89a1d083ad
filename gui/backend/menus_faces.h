// Menus of faces: a face's `menu` facet is a block describing a menu bar
// (window faces) or a context menu (any face, and window faces whose block
// begins with `popup`). This module builds native menus from such blocks,
// shows context menus, keeps the item the user highlights and turns a
// chosen item into a `menu` event whose `picked` is the item's word.
//
// The block is read value by value: a string is a label, taking the block
// after it as its submenu or the word after it as its identifier; the word
// `---` is a separator; anything else is skipped.
#pragma once

#include "gui/backend/menus.h"
#include "runtime/cell.h"

namespace kiv::gui {

// The item data of a label without a word.
constexpr uint32_t no_menu_word = 0xFFFFFFFF;

// Whether a face's menu facet makes a menu bar: a non-empty block, not
// starting with the word `popup`, of a face whose type is `window`.
bool menu_bar_q(const Cell& menu, const Cell& type);
// Builds the block's items into `menu`; the menu, or 0 when `block` is no
// block. A block found inside itself is not entered again: its item gets
// no submenu and a diagnostic line is printed.
HMenu build_menu(const Cell& block, HMenu menu);
// Gives a window face the menu bar its facet describes (none when it
// describes none); the new bar is set before the old one is destroyed.
void update_menu_bar(HWnd window, const Cell& face);

// Shows the context menu of the face of the message's window at a screen
// point; false when the face has none. A menu closed without a choice is
// destroyed at once; a chosen one when its command is handled.
bool show_context_menu(const Msg& msg, Point screen);
// The `menu` event of the item kept from the last WM_MENUSELECT, on the
// window of the context menu shown, else on `window` (a menu bar); no
// event when no item is kept.
void do_menu(HWnd window);

// WM_MENUSELECT: keeps the highlighted item unless the menu closes.
void keep_menu_select(uint64_t wparam, int64_t lparam);
// Forgets the kept item (a left click, a menu bar opening).
void clear_pending_menu();
// WM_COMMAND: a menu command (lParam 0, an id below 1000) while an item is
// kept goes to do_menu; true when it did.
bool menu_command(HWnd window, uint64_t wparam, int64_t lparam);

} // namespace kiv::gui
