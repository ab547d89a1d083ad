#include "gui/backend/controls.h"

#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/text_index.h"

#include <algorithm>
#include <map>
#include <string>

namespace kiv::gui {

namespace {

std::map<HWnd, Selection>& selections() {
    static std::map<HWnd, Selection> s;
    return s;
}

Selection clamped(HWnd edit, Selection sel) {
    int32_t length = int32_t(utf8::char_count(get_window_text(edit)));
    auto clamp = [&](int32_t i) { return i < 0 ? length : std::min(i, length); };
    return {clamp(sel.start), clamp(sel.end)};
}

// Replaces the selection with `text` and puts the caret after it.
void replace_selection(HWnd edit, const std::string& text) {
    Selection sel = edit_selection(edit);
    std::string whole = get_window_text(edit);
    size_t from = utf8::byte_offset(whole, std::min(sel.start, sel.end));
    size_t to = utf8::byte_offset(whole, std::max(sel.start, sel.end));
    whole.replace(from, to - from, text);
    def_window_proc(edit, WM_SETTEXT, 0, reinterpret_cast<int64_t>(whole.c_str()));
    int32_t caret = std::min(sel.start, sel.end) + int32_t(utf8::char_count(text));
    selections()[edit] = {caret, caret};
}

int64_t edit_proc(HWnd edit, uint32_t message, uint64_t wparam, int64_t lparam) {
    switch (message) {
    case EM_SETSEL:
        selections()[edit] = clamped(edit, {int32_t(wparam), int32_t(lparam)});
        return 0;
    case EM_GETSEL: {
        Selection sel = edit_selection(edit);
        return int64_t(uint32_t(sel.start) & 0xFFFF) | int64_t(uint32_t(sel.end) & 0xFFFF) << 16;
    }
    case WM_SETTEXT: selections()[edit] = {0, 0}; break;
    case WM_CHAR: {
        static uint32_t high_surrogate = 0;
        uint32_t c = uint32_t(wparam);
        if (c >= 0xD800 && c <= 0xDBFF) {
            high_surrogate = c;
            return 0;
        }
        if (c >= 0xDC00 && c <= 0xDFFF) {
            if (!high_surrogate) return 0;
            c = (((high_surrogate & 0x3FF) << 10) | (c & 0x3FF)) + 0x10000;
        }
        high_surrogate = 0;
        bool multiline = get_style(edit) & ES_MULTILINE;
        if (c == 13 && multiline)
            replace_selection(edit, "\n");
        else if (c >= 0x20 && c != 0x7F)
            replace_selection(edit, utf8::of_char(c));
        return 0;
    }
    case WM_DESTROY: selections().erase(edit); break;
    default: break;
    }
    return def_window_proc(edit, message, wparam, lparam);
}

constexpr const char* plain_controls[] = {
    "BUTTON",
    "STATIC",
    "ListBox",
    "ComboBox",
    "SCROLLBAR",
    "msctls_progress32",
    "msctls_trackbar32",
    "SysTabControl32",
    "SysMonthCal32",
};

} // namespace

void register_system_controls() {
    for (const char* name : plain_controls) register_class({name, nullptr, 0, 0});
    register_class({"EDIT", edit_proc, 0, 0});
}

Selection edit_selection(HWnd edit) {
    auto& all = selections();
    auto it = all.find(edit);
    return it == all.end() ? Selection{0, 0} : clamped(edit, it->second);
}

} // namespace kiv::gui
