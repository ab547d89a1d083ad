// The models of the built-in controls and the procedures of their classes,
// shared by the control modules. Not for use outside them.
#pragma once

#include "gui/backend/control_actions.h"
#include "gui/backend/control_models.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace kiv::gui::controls {

template <class Model>
using ModelTable = std::unordered_map<HWnd, Model>;

// The models of the control windows, a table per model type.
struct Models {
    std::tuple<ModelTable<ButtonModel>, ModelTable<EditModel>, ModelTable<ItemListModel>,
               ModelTable<ScrollModel>, ModelTable<TrackbarModel>, ModelTable<ProgressModel>,
               ModelTable<TabModel>, ModelTable<CalendarModel>>
        tables;
    ModelTable<ControlCommon> common;

    template <class Model>
    ModelTable<Model>& of() {
        return std::get<ModelTable<Model>>(tables);
    }
};
Models& models();

// The first step of a control's procedure: the window's model, made at
// WM_NCCREATE (and then set up by `init`, when given); null for a window
// without one, whose messages go to the default procedure.
template <class Model>
Model* proc_model(HWnd w, uint32_t message, void (*init)(Model&) = nullptr) {
    if (message == WM_NCCREATE) {
        Model& fresh = models().of<Model>()[w];
        if (init) init(fresh);
        return &fresh;
    }
    return control_model<Model>(w);
}

// The procedures of the built-in classes.
int64_t button_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t edit_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t static_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t list_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t combo_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t scroll_bar_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t progress_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t trackbar_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t tabs_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t calendar_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);

// What every control does with the messages its own procedure leaves:
// font, focus notifications (`focus_codes`: set and kill, 0 for none;
// negative codes go as WM_NOTIFY), then the default procedure.
struct FocusCodes {
    int32_t set = 0, kill = 0;
};
int64_t control_default(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam,
                        FocusCodes focus_codes);

// Whether an input message is not the model's to interpret: the running
// backend shows the control natively and hands it the input itself, or the
// control is disabled (it takes no input).
bool input_elsewhere(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam);
// Input gives an enabled control the focus.
void take_focus(HWnd w);

// Text helpers for the UTF-8 strings of messages.
inline std::string text_param(int64_t lparam) {
    return lparam ? reinterpret_cast<const char*>(lparam) : "";
}
// Copies `text` into the caller's buffer (assumed large enough, as the
// messages that fill one require); answers the bytes copied.
int64_t copy_out(const std::string& text, int64_t lparam);
// Case-insensitive search for an item starting with (or equal to, when
// `exact`) `text`, after `after` and wrapping around; -1 for none.
int32_t find_item(const std::vector<ListItem>& items, int64_t after, const std::string& text,
                  bool exact);
// The index a sorted list inserts `text` at.
int32_t sorted_index(const std::vector<ListItem>& items, const std::string& text);

inline int16_t low_word(int64_t v) {
    return int16_t(uint16_t(v & 0xFFFF));
}
inline int16_t high_word(int64_t v) {
    return int16_t(uint16_t((v >> 16) & 0xFFFF));
}
inline int64_t make_long(int32_t low, int32_t high) {
    return int64_t(uint32_t(uint16_t(low)) | uint32_t(uint16_t(high)) << 16);
}

} // namespace kiv::gui::controls

namespace kiv::gui::controls {

// Typing shared by edits and the edit of a combo box: character `c`
// applied to `text` and its selection as the control's style allows;
// false when it changes nothing.
bool typed_text(uint32_t style, std::string& text, Selection& sel, uint32_t c);
// A caret key (arrows, Home, End, with Shift extending) or Delete; false
// when the key is neither. `edited` tells whether the text changed.
bool key_in_text(uint32_t vk, bool shift, std::string& text, Selection& sel, bool& edited);
// The user's edit of `before` into `after` held to the text limit (in
// characters): what it puts in is cut to the room the limit leaves, the
// caret after it. False when nothing of the edit is left. An edit that
// does not lengthen the text is taken whole, also of a text that code set
// past the limit.
bool fit_to_limit(std::string_view before, std::string& after, Selection& sel, uint32_t limit);
// A selection from message arguments: an index below 0 or past the text
// is its end.
Selection clamped_selection(const std::string& text, int64_t start, int64_t end);
// Joins a UTF-16 surrogate pair typed as two characters; 0 while the
// first half waits.
uint32_t join_surrogates(uint32_t& high, uint32_t c);

} // namespace kiv::gui::controls
