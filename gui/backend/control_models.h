// The state of the built-in controls, kept in the layer so that both
// backends answer every control message alike. The GTK backend mirrors a
// model in one widget and reads it through the accessors here; what a user
// does to a widget comes back through the user actions (control_actions.h).
#pragma once

#include "gui/backend/backend.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/image_lists.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace kiv::gui {

// An edit control's selection, start and end as character indexes of its
// text (line breaks are one character, LF).
struct Selection {
    int32_t start = 0, end = 0;
    bool operator==(const Selection&) const = default;
};

struct ButtonModel {
    uint32_t check = BST_UNCHECKED;
    bool pushed = false;
    int64_t image = 0; // BM_SETIMAGE
    ButtonImageList images;
    bool own_caption = false; // the parent draws the caption (NM_CUSTOMDRAW)
};

struct EditModel {
    Selection selection;
    uint32_t limit = 30000;
    std::string cue; // the hint shown while empty
    std::vector<int32_t> tab_stops;
    uint32_t password_char = 0;
    bool modified = false;
    uint32_t high_surrogate = 0; // the first half of a character being typed
};

struct ListItem {
    std::string text;
    int64_t data = 0;
};

// A list box, or the list of a combo box (with its edit's selection).
struct ItemListModel {
    std::vector<ListItem> items;
    int32_t current = -1;
    int32_t top = 0;
    int32_t item_height = 16;
    int32_t extent = 0;
    bool dropped = false;
    Selection edit_selection;
};

// The bars of a window (SB_HORZ, SB_VERT) or of a scroll bar control
// (SB_CTL, kept at index SB_CTL).
struct ScrollModel {
    ScrollInfo bars[3];
    bool shown[2] = {false, false};
    bool disabled[3] = {false, false, false};
};

struct TrackbarModel {
    int32_t min = 0, max = 100, pos = 0;
    int32_t page = 20, line = 1, tic_frequency = 1;
};

struct ProgressModel {
    int32_t min = 0, max = 100, pos = 0, step = 10;
    uint32_t bar_color = 0xFF000000, back_color = 0xFF000000; // CLR_DEFAULT
};

struct Tab {
    std::string text;
    int32_t image = -1;
    int64_t param = 0;
};

struct TabModel {
    std::vector<Tab> tabs;
    int32_t current = -1;
};

struct CalendarModel {
    SystemTime selected, today;
    int32_t shown_year = 0, shown_month = 0; // the month on show
    uint32_t colors[6] = {};
    bool color_set[6] = {};
    int32_t first_day = 6; // Sunday (0 is Monday)
};

// Common to every control: its font and whether it has the focus.
struct ControlCommon {
    int64_t font = 0;
};

// The model of a control; null when the window has none (another class).
// ItemListModel serves ListBox and ComboBox, ScrollModel any window with
// bars.
template <class Model>
Model* control_model(HWnd window);
ControlCommon& control_common(HWnd window);

// The family a window's class belongs to, through superclasses.
enum class ControlKind {
    none,
    button,
    edit,
    static_text,
    list,
    combo,
    scroll_bar,
    progress,
    trackbar,
    tabs,
    calendar,
    panel,
};
ControlKind control_kind(HWnd window);

// Registers the built-in control classes with the running layer.
void register_system_controls();
// Forgets every model of a window being destroyed.
void forget_controls(HWnd window);

// An edit control's selection (also a combo box's edit), clamped to its text.
Selection edit_selection(HWnd edit);

// Scroll bars of windows (SB_HORZ, SB_VERT) and of scroll bar controls
// (SB_CTL): the fields of `info` its mask names are set and clamped as
// Windows does (page within 0 .. max - min + 1, position within min ..
// max - page + 1); answers the position.
int32_t set_scroll_info(HWnd window, uint32_t bar, const ScrollInfo& info, bool redraw);
bool get_scroll_info(HWnd window, uint32_t bar, ScrollInfo& info);
bool show_scroll_bar(HWnd window, uint32_t bar, bool show);
// How much of a window's client area its shown bars take: the width of
// the vertical bar (x) and the height of the horizontal one (y).
Point scroll_bar_insets(HWnd window);
// The largest position the bar can take: max - page + 1 (or max).
int32_t scroll_limit(const ScrollInfo& info);

// The colours a control's parent gives it: the control asks with its
// WM_CTLCOLOR* message (wParam points at the record, lParam is the
// control); the parent fills what it sets. Colours are 0xAARRGGBB.
struct ControlColors {
    uint32_t text = 0, back = 0;
    bool has_text = false, has_back = false;
};
ControlColors control_colors(HWnd control);
// The CSS declarations of a control's font (WM_SETFONT), made by the hook
// the text code sets; empty (the default font) without one.
using FontCssHook = std::string (*)(int64_t font);
FontCssHook& font_css_hook();
std::string control_font_css(HWnd control);

// Whether a tab control's page area comes from the backend's own layout
// of the control (a toolkit's notebook), not from the frame the layer
// assumes around the page.
bool tab_area_from_backend(HWnd tabs);

// Sends a control's WM_COMMAND notification to its parent.
void notify_command(HWnd control, uint32_t code);
// Sends a WM_NOTIFY with a header filled for `control`; answers the
// parent's result.
int64_t notify_parent(HWnd control, NotifyHeader& header, int32_t code);

// Tells the backend's mirror of a control what changed.
void control_changed(HWnd control, ControlChange what);

} // namespace kiv::gui
