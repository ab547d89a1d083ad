// EDIT: single- and multi-line text with a selection counted in characters
// of the LF text, typing, pasting, caret keys, a text limit on what the
// user puts in, a hint, tab stops, and the EN_* notifications.
#include "gui/backend/controls/control_state.h"
#include "gui/backend/message_loop.h"
#include "runtime/text_index.h"

#include <algorithm>
#include <cctype>

namespace kiv::gui {

using namespace controls;

namespace controls {

namespace {

Selection normalised(Selection s) {
    return {std::min(s.start, s.end), std::max(s.start, s.end)};
}

int32_t char_length(const std::string& text) {
    return int32_t(utf8::char_count(text));
}

// Replaces the selected characters of `text` with `insert`; the caret
// goes after it.
void replace(std::string& text, Selection& sel, const std::string& insert) {
    sel = normalised(sel);
    size_t from = utf8::byte_offset(text, size_t(sel.start));
    size_t to = utf8::byte_offset(text, size_t(sel.end));
    text.replace(from, to - from, insert);
    sel.start = sel.end = sel.start + char_length(insert);
}

bool is_edit_style_allowed(uint32_t style, uint32_t c) {
    if (style & ES_NUMBER) return c >= '0' && c <= '9';
    return true;
}

uint32_t cased(uint32_t style, uint32_t c) {
    if (c >= 0x80) return c;
    if (style & ES_UPPERCASE) return uint32_t(std::toupper(int(c)));
    if (style & ES_LOWERCASE) return uint32_t(std::tolower(int(c)));
    return c;
}

// Where a caret key takes the caret (-1: not a caret key).
int32_t caret_target(uint32_t vk, const std::string& text, int32_t caret) {
    int32_t length = char_length(text);
    switch (vk) {
    case VK_LEFT: return std::max(0, caret - 1);
    case VK_RIGHT: return std::min(length, caret + 1);
    case VK_HOME: return 0;
    case VK_END: return length;
    default: return -1;
    }
}

bool continues_char(std::string_view text, size_t at) {
    return at < text.size() && (uint8_t(text[at]) & 0xC0) == 0x80;
}

// An edit turns `before` into `after` by keeping `head` bytes at the start
// and `tail` bytes at the end (whole characters) and putting new ones
// between them.
struct Splice {
    size_t head, tail;
};

Splice splice_of(std::string_view before, std::string_view after) {
    size_t shorter = std::min(before.size(), after.size());
    size_t head = 0;
    while (head < shorter && before[head] == after[head]) ++head;
    while (continues_char(before, head) || continues_char(after, head)) --head;
    size_t tail = 0;
    while (tail < shorter - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    while (tail > 0 && continues_char(after, after.size() - tail)) --tail;
    return {head, tail};
}

} // namespace

bool fit_to_limit(std::string_view before, std::string& after, Selection& sel, uint32_t limit) {
    size_t length = utf8::char_count(after), was = utf8::char_count(before);
    if (length <= limit || length <= was) return true;
    Splice s = splice_of(before, after);
    std::string_view put = std::string_view(after).substr(s.head, after.size() - s.tail - s.head);
    size_t removed = utf8::char_count(before.substr(s.head, before.size() - s.tail - s.head));
    size_t kept = was - removed;
    size_t room = limit > kept ? limit - kept : 0;
    std::string_view fits = put.substr(0, utf8::byte_offset(put, room));
    if (fits.empty() && removed == 0) return false;
    std::string text(before.substr(0, s.head));
    text += fits;
    text += before.substr(before.size() - s.tail);
    int32_t caret = int32_t(utf8::char_count(before.substr(0, s.head)) + utf8::char_count(fits));
    after = std::move(text);
    sel = {caret, caret};
    return true;
}

bool typed_text(uint32_t style, std::string& text, Selection& sel, uint32_t c) {
    if (style & ES_READONLY) return false;
    if (c == 8) {
        sel = normalised(sel);
        if (sel.start == sel.end) {
            if (sel.start == 0) return false;
            sel.start -= 1;
        }
        replace(text, sel, "");
        return true;
    }
    if (c == 13 && (style & ES_MULTILINE)) {
        replace(text, sel, "\n");
        return true;
    }
    if (c < 0x20 || c == 0x7F || !is_edit_style_allowed(style, c)) return false;
    replace(text, sel, utf8::of_char(cased(style, c)));
    return true;
}

bool key_in_text(uint32_t vk, bool shift, std::string& text, Selection& sel, bool& edited) {
    edited = false;
    if (vk == VK_DELETE) {
        sel = normalised(sel);
        if (sel.start == sel.end) {
            if (sel.end >= char_length(text)) return false;
            sel.end += 1;
        }
        replace(text, sel, "");
        edited = true;
        return true;
    }
    int32_t target = caret_target(vk, text, sel.end);
    if (target < 0) return false;
    sel = {shift ? sel.start : target, target};
    return true;
}

Selection clamped_selection(const std::string& text, int64_t start, int64_t end) {
    int32_t length = char_length(text);
    auto clamp = [&](int64_t i) { return i < 0 || i > length ? length : int32_t(i); };
    return {clamp(start), clamp(end)};
}

uint32_t join_surrogates(uint32_t& high, uint32_t c) {
    if (c >= 0xD800 && c <= 0xDBFF) {
        high = c;
        return 0;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        if (!high) return 0;
        c = (((high & 0x3FF) << 10) | (c & 0x3FF)) + 0x10000;
    }
    high = 0;
    return c;
}

} // namespace controls

namespace {

void set_selection(HWnd w, EditModel& m, Selection sel) {
    Selection wanted = normalised(sel);
    if (wanted == m.selection) return;
    m.selection = wanted;
    control_changed(w, ControlChange::selection);
}

int64_t get_selection(const EditModel& m, uint64_t wparam, int64_t lparam) {
    if (wparam) *reinterpret_cast<uint32_t*>(wparam) = uint32_t(m.selection.start);
    if (lparam) *reinterpret_cast<uint32_t*>(lparam) = uint32_t(m.selection.end);
    return make_long(m.selection.start, m.selection.end);
}

// Ctrl+V and Shift+Insert paste, as WM_PASTE sent to the control itself.
bool is_paste_key(uint32_t message, uint64_t wparam) {
    if (message == WM_CHAR) return wparam == 22;
    return message == WM_KEYDOWN && wparam == VK_INSERT && get_key_state(VK_SHIFT) < 0 &&
           get_key_state(VK_CONTROL) >= 0;
}

// The clipboard's text put in place of the selection, as the user's edit
// (a single line stops at the first line break).
void paste(HWnd w, const EditModel& m) {
    uint32_t style = get_style(w);
    ClipData clip;
    if ((style & ES_READONLY) || !layer_running() || !backend().clipboard_read(clip) ||
        clip.kind != ClipData::Kind::text)
        return;
    std::string put = clip.text;
    if (!(style & ES_MULTILINE)) put = put.substr(0, put.find_first_of("\r\n"));
    std::string text = get_window_text(w);
    Selection sel = m.selection;
    replace(text, sel, put);
    user_edit(w, text, sel);
}

int64_t edit_input(HWnd w, EditModel& m, uint32_t message, uint64_t wparam) {
    uint32_t style = get_style(w);
    std::string text = get_window_text(w);
    Selection sel = m.selection;
    if (message == WM_LBUTTONDOWN) {
        take_focus(w);
        return 0;
    }
    if (message == WM_CHAR) {
        uint32_t c = join_surrogates(m.high_surrogate, uint32_t(wparam));
        if (c == 1 && !(style & ES_MULTILINE)) {
            user_select_text(w, {0, char_length(text)});
            return 0;
        }
        if (c && typed_text(style, text, sel, c)) user_edit(w, text, sel);
        return 0;
    }
    bool shift = get_key_state(VK_SHIFT) < 0;
    bool edited = false;
    if (message == WM_KEYDOWN && key_in_text(uint32_t(wparam), shift, text, sel, edited)) {
        if (edited && !(style & ES_READONLY))
            user_edit(w, text, sel);
        else if (!edited)
            user_select_text(w, sel);
    }
    return 0;
}

} // namespace

namespace controls {

int64_t edit_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    EditModel* m = proc_model<EditModel>(w, message);
    if (!m) return def_window_proc(w, message, wparam, lparam);
    bool multiline = get_style(w) & ES_MULTILINE;
    switch (message) {
    case EM_SETSEL:
        if (int64_t(int32_t(wparam)) == -1)
            set_selection(w, *m, {m->selection.end, m->selection.end});
        else
            set_selection(w, *m,
                          clamped_selection(get_window_text(w), int32_t(wparam), int32_t(lparam)));
        return 0;
    case EM_GETSEL: return get_selection(*m, wparam, lparam);
    case EM_GETMODIFY: return m->modified;
    case EM_SETMODIFY: m->modified = wparam != 0; return 0;
    case EM_GETLINECOUNT: {
        std::string text = get_window_text(w);
        return multiline ? 1 + std::count(text.begin(), text.end(), '\n') : 1;
    }
    case EM_SETLIMITTEXT:
        m->limit = wparam ? uint32_t(wparam) : multiline ? 0xFFFFFFFF : 0x7FFFFFFE;
        return 0;
    case EM_GETLIMITTEXT: return int64_t(m->limit);
    case EM_SETCUEBANNER:
        m->cue = text_param(lparam);
        control_changed(w, ControlChange::look);
        return 1;
    case EM_GETCUEBANNER:
        if (!wparam || lparam <= 0) return 0;
        copy_out(m->cue.substr(0, size_t(lparam - 1)), int64_t(wparam));
        return 1;
    case EM_SETTABSTOPS: {
        const int32_t* stops = reinterpret_cast<const int32_t*>(lparam);
        m->tab_stops.assign(stops, stops ? stops + wparam : stops);
        control_changed(w, ControlChange::look);
        return 1;
    }
    case EM_SETPASSWORDCHAR:
        m->password_char = uint32_t(wparam);
        control_changed(w, ControlChange::look);
        return 1;
    case EM_GETPASSWORDCHAR: return m->password_char;
    case EM_SETREADONLY:
        set_style(w, wparam ? get_style(w) | ES_READONLY : get_style(w) & ~uint32_t(ES_READONLY));
        control_changed(w, ControlChange::look);
        return 1;
    case WM_SETTEXT: {
        int64_t result = control_default(w, message, wparam, lparam, {});
        m = control_model<EditModel>(w);
        if (!m) return result;
        m->selection = {0, 0};
        m->modified = false;
        control_changed(w, ControlChange::selection);
        // A single-line edit tells its parent of every change of text.
        if (!multiline) notify_command(w, EN_CHANGE);
        return result;
    }
    case WM_PASTE: paste(w, *m); return 0;
    case WM_CHAR:
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN: {
        if (is_paste_key(message, wparam) && is_enabled(w)) {
            send_message(w, WM_PASTE, 0, 0);
            return 0;
        }
        if (input_elsewhere(w, message, wparam, lparam)) return 0;
        return edit_input(w, *m, message, wparam);
    }
    default:
        return control_default(w, message, wparam, lparam,
                               {int32_t(EN_SETFOCUS), int32_t(EN_KILLFOCUS)});
    }
}

} // namespace controls

Selection edit_selection(HWnd edit) {
    if (EditModel* m = control_model<EditModel>(edit)) return m->selection;
    if (ItemListModel* m = control_model<ItemListModel>(edit)) return m->edit_selection;
    return {};
}

void user_select_text(HWnd edit, Selection selection) {
    std::string text = get_window_text(edit);
    Selection sel = clamped_selection(text, selection.start, selection.end);
    if (EditModel* m = control_model<EditModel>(edit)) set_selection(edit, *m, sel);
    if (ItemListModel* m = control_model<ItemListModel>(edit)) {
        m->edit_selection = normalised(sel);
        control_changed(edit, ControlChange::selection);
    }
}

void user_edit(HWnd edit, std::string_view text, Selection selection) {
    if (!is_window(edit)) return;
    std::string now(text);
    EditModel* limited = control_model<EditModel>(edit);
    if (limited && !fit_to_limit(get_window_text(edit), now, selection, limited->limit)) {
        // Refused: a view that shows the edit already goes back.
        control_changed(edit, ControlChange::text);
        control_changed(edit, ControlChange::selection);
        return;
    }
    def_window_proc(edit, WM_SETTEXT, 0, reinterpret_cast<int64_t>(now.c_str()));
    control_changed(edit, ControlChange::text);
    Selection sel = normalised(clamped_selection(now, selection.start, selection.end));
    if (EditModel* m = control_model<EditModel>(edit)) {
        m->selection = sel;
        m->modified = true;
        control_changed(edit, ControlChange::selection);
        // The user's edit is input, also when a backend reports it after
        // the key's dispatch: its notice goes out as during a dispatch,
        // which tells it from text set by code.
        Msg typed{edit, WM_CHAR, 0, 0, get_message_time(), get_message_pos(), 0};
        struct Restore {
            const Msg*& current;
            const Msg* outer;
            ~Restore() { current = outer; }
        } restore{loop_state().current, loop_state().current};
        if (!restore.outer) restore.current = &typed;
        notify_command(edit, EN_CHANGE);
    } else if (ItemListModel* m = control_model<ItemListModel>(edit)) {
        m->edit_selection = sel;
        m->current = -1;
        control_changed(edit, ControlChange::current);
        notify_command(edit, CBN_EDITCHANGE);
    }
}

} // namespace kiv::gui
