// What a user does to a built-in control, as the control itself sees it:
// each action changes the model as the control would and tells the parent
// with the notifications the control sends. Programmatic messages never
// notify (but for EN_CHANGE after WM_SETTEXT of a single-line edit), so
// these are the only source of notifications. The headless models call
// them from the input messages they interpret; the GTK views from the
// widgets' signals.
#pragma once

#include "gui/backend/control_models.h"

#include <string_view>

namespace kiv::gui {

// A button pressed and released over it: an automatic check box or radio
// button changes state, then BN_CLICKED.
void user_click(HWnd button);
// A button's look while the pointer holds it (BN_HILITE / BN_UNHILITE
// with BS_NOTIFY).
void user_press(HWnd button, bool pushed);
// An edit control's (or a combo box's edit's) text became `text` with
// `selection` by typing or pasting; EN_CHANGE (CBN_EDITCHANGE).
void user_edit(HWnd edit, std::string_view text, Selection selection);
// The user moved the caret or the selection.
void user_select_text(HWnd edit, Selection selection);
// A list box or combo box item picked (LBN_SELCHANGE; CBN_SELCHANGE and,
// with the list open, the list closing).
void user_pick_item(HWnd list, int32_t index);
// A double click on a list item (LBN_DBLCLK).
void user_open_item(HWnd list, int32_t index);
// A combo box's list opened or closed by the user.
void user_drop(HWnd combo, bool open);
// A scroll request from a bar (SB_HORZ or SB_VERT of a window, or a scroll
// bar control with SB_CTL): WM_HSCROLL or WM_VSCROLL to the window that
// owns the bar; a drag's position becomes the bar's track position. The
// bar itself moves only when the owner sets it.
void user_scroll(HWnd window, uint32_t bar, uint32_t request, int32_t track);
// A trackbar moved by the user: the position changes (clamped), then the
// request goes to the parent (TB_THUMBTRACK and TB_THUMBPOSITION carry
// the position).
void user_slide(HWnd trackbar, uint32_t request, int32_t pos);
// A tab chosen: TCN_SELCHANGING (a non-zero answer keeps the tab), the
// switch, TCN_SELCHANGE. False when the tab was kept or is out of range.
bool user_select_tab(HWnd tabs, int32_t index);
// A day picked in a calendar: MCN_SELCHANGE, then MCN_SELECT.
void user_pick_day(HWnd calendar, SystemTime day);
// The calendar shows another month: neither the date nor a notification
// changes.
void user_show_month(HWnd calendar, int32_t year, int32_t month);

} // namespace kiv::gui
