// The built-in control classes: registration, the models' tables, what
// every control does alike (font, focus notifications) and how controls
// tell their parent.
#include "gui/backend/controls/control_state.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace kiv::gui {

using namespace controls;

namespace controls {

Models& models() {
    static Models m;
    return m;
}

int64_t control_default(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam,
                        FocusCodes focus_codes) {
    switch (message) {
    case WM_SETFONT:
        control_common(w).font = int64_t(wparam);
        def_window_proc(w, message, wparam, lparam); // the window's reference to the font
        control_changed(w, ControlChange::look);
        return 0;
    case WM_GETFONT: return control_common(w).font;
    case WM_STYLECHANGED: control_changed(w, ControlChange::look); return 0;
    case WM_ENABLE: control_changed(w, ControlChange::look); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        int32_t code = message == WM_SETFOCUS ? focus_codes.set : focus_codes.kill;
        if (code < 0) {
            NotifyHeader header;
            notify_parent(w, header, code);
        } else if (code > 0) {
            notify_command(w, uint32_t(code));
        }
        return 0;
    }
    case WM_SETTEXT: {
        int64_t result = def_window_proc(w, message, wparam, lparam);
        control_changed(w, ControlChange::text);
        return result;
    }
    default:
        // Input the control's own procedure leaves still reaches a native
        // view (keys and clicks of a GTK widget).
        if (is_input_message(message)) {
            if (input_elsewhere(w, message, wparam, lparam)) return 0;
        }
        return def_window_proc(w, message, wparam, lparam);
    }
}

bool input_elsewhere(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    Msg msg{w, message, wparam, lparam, get_message_time(), get_message_pos(), 0};
    if (layer_running() && backend().deliver_control_input(msg)) return true;
    return !is_enabled(w);
}

void take_focus(HWnd w) {
    if (is_enabled(w)) set_focus(w);
}

int64_t copy_out(const std::string& text, int64_t lparam) {
    if (!lparam) return LB_ERR;
    std::memcpy(reinterpret_cast<char*>(lparam), text.c_str(), text.size() + 1);
    return int64_t(text.size());
}

int32_t find_item(const std::vector<ListItem>& items, int64_t after, const std::string& text,
                  bool exact) {
    int32_t count = int32_t(items.size());
    int32_t first = after < 0 || after >= count ? 0 : int32_t(after) + 1;
    for (int32_t n = 0; n < count; ++n) {
        int32_t i = (first + n) % count;
        const std::string& item = items[size_t(i)].text;
        bool match = exact ? strcasecmp(item.c_str(), text.c_str()) == 0
                           : strncasecmp(item.c_str(), text.c_str(), text.size()) == 0;
        if (match) return i;
    }
    return -1;
}

int32_t sorted_index(const std::vector<ListItem>& items, const std::string& text) {
    auto at = std::upper_bound(items.begin(), items.end(), text,
                               [](const std::string& t, const ListItem& item) {
                                   return strcasecmp(t.c_str(), item.text.c_str()) < 0;
                               });
    return int32_t(at - items.begin());
}

} // namespace controls

namespace {

template <class Model>
Model* find_in(std::unordered_map<HWnd, Model>& table, HWnd window) {
    auto it = table.find(window);
    return it == table.end() ? nullptr : &it->second;
}

// The built-in classes and, for control_kind, the superclasses made of
// them (the kind follows the class a window was created with).
struct ControlClass {
    const char* name;
    WindowProc proc;
    ControlKind kind;
};
constexpr ControlClass control_classes[] = {
    {"BUTTON", button_proc, ControlKind::button},
    {"EDIT", edit_proc, ControlKind::edit},
    {"STATIC", static_proc, ControlKind::static_text},
    {"ListBox", list_proc, ControlKind::list},
    {"ComboBox", combo_proc, ControlKind::combo},
    {"SCROLLBAR", scroll_bar_proc, ControlKind::scroll_bar},
    {"msctls_progress32", progress_proc, ControlKind::progress},
    {"msctls_trackbar32", trackbar_proc, ControlKind::trackbar},
    {"SysTabControl32", tabs_proc, ControlKind::tabs},
    {"SysMonthCal32", calendar_proc, ControlKind::calendar},
};

struct KindByName {
    const char* name;
    ControlKind kind;
};
constexpr KindByName superclass_kinds[] = {
    {"KivButton", ControlKind::button},       {"KivArea", ControlKind::edit},
    {"KivField", ControlKind::edit},          {"KivFace", ControlKind::static_text},
    {"KivListBox", ControlKind::list},        {"KivCombo", ControlKind::combo},
    {"KivScroller", ControlKind::scroll_bar}, {"KivProgress", ControlKind::progress},
    {"KivSlider", ControlKind::trackbar},     {"KivTabpanel", ControlKind::tabs},
    {"KivCalendar", ControlKind::calendar},   {"KivPanel", ControlKind::panel},
};

} // namespace

template <class Model>
Model* control_model(HWnd window) {
    return find_in(models().of<Model>(), window);
}
template ButtonModel* control_model(HWnd);
template EditModel* control_model(HWnd);
template ItemListModel* control_model(HWnd);
template ScrollModel* control_model(HWnd);
template TrackbarModel* control_model(HWnd);
template ProgressModel* control_model(HWnd);
template TabModel* control_model(HWnd);
template CalendarModel* control_model(HWnd);

ControlCommon& control_common(HWnd window) {
    return models().common[window];
}

ControlKind control_kind(HWnd window) {
    std::string_view name = class_name(window);
    auto same = [&](const char* n) {
        return name.size() == std::strlen(n) && strncasecmp(name.data(), n, name.size()) == 0;
    };
    for (auto& c : control_classes)
        if (same(c.name)) return c.kind;
    for (auto& c : superclass_kinds)
        if (same(c.name)) return c.kind;
    return ControlKind::none;
}

void register_system_controls() {
    for (auto& c : control_classes) register_class({c.name, c.proc, CS_DBLCLKS, 0});
}

void forget_controls(HWnd window) {
    auto& m = models();
    std::apply([&](auto&... table) { (table.erase(window), ...); }, m.tables);
    m.common.erase(window);
}

namespace {

// The colour message a control sends its parent: by kind, but read-only
// edits, and the buttons drawn on their parent's background (check boxes,
// radio buttons, group boxes; not those pushed like a button), ask as
// static text does. 0 for a control that asks nothing.
uint32_t color_message(HWnd control) {
    struct Ask {
        ControlKind kind;
        uint32_t message;
    };
    static constexpr Ask asks[] = {
        {ControlKind::button, WM_CTLCOLORBTN},
        {ControlKind::edit, WM_CTLCOLOREDIT},
        {ControlKind::static_text, WM_CTLCOLORSTATIC},
        {ControlKind::list, WM_CTLCOLORLISTBOX},
        {ControlKind::combo, WM_CTLCOLOREDIT},
        {ControlKind::scroll_bar, WM_CTLCOLORSCROLLBAR},
        {ControlKind::trackbar, WM_CTLCOLORSTATIC},
    };
    ControlKind kind = control_kind(control);
    uint32_t style = get_style(control);
    if (kind == ControlKind::edit && (style & ES_READONLY)) return WM_CTLCOLORSTATIC;
    if (kind == ControlKind::button && (style & BS_TYPEMASK) != BS_PUSHBUTTON &&
        (style & BS_TYPEMASK) != BS_DEFPUSHBUTTON && !(style & BS_PUSHLIKE))
        return WM_CTLCOLORSTATIC;
    for (const Ask& ask : asks)
        if (ask.kind == kind) return ask.message;
    return 0;
}

} // namespace

ControlColors control_colors(HWnd control) {
    ControlColors colors;
    HWnd parent = get_parent(control);
    uint32_t message = color_message(control);
    if (parent && message &&
        !send_message(parent, message, reinterpret_cast<uint64_t>(&colors), control))
        colors = {};
    return colors;
}

FontCssHook& font_css_hook() {
    static FontCssHook hook = nullptr;
    return hook;
}

std::string control_font_css(HWnd control) {
    int64_t font = control_common(control).font;
    return font && font_css_hook() ? font_css_hook()(font) : std::string();
}

void notify_command(HWnd control, uint32_t code) {
    HWnd parent = get_parent(control);
    if (!parent) return;
    send_message(parent, WM_COMMAND, uint64_t(code) << 16 | (get_control_id(control) & 0xFFFF),
                 control);
}

int64_t notify_parent(HWnd control, NotifyHeader& header, int32_t code) {
    HWnd parent = get_parent(control);
    if (!parent) return 0;
    header.from = control;
    header.id = get_control_id(control);
    header.code = code;
    return send_message(parent, WM_NOTIFY, header.id, reinterpret_cast<int64_t>(&header));
}

void control_changed(HWnd control, ControlChange what) {
    if (layer_running()) backend().control_changed(control, what);
}

} // namespace kiv::gui
