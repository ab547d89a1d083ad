// The window table of the layer: start and stop, classes, creation and
// destruction, extra memory, geometry, visibility and the default
// procedure.
#include "gui/backend/control_messages.h"
#include "gui/backend/control_models.h"
#include "gui/backend/layer_state.h"
#include "gui/backend/messages.h"
#include "gui/backend/text/fonts.h"
#include "platform/cairo_api.h"
#include "runtime/stdout.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kiv::gui {

using detail::siblings_of;
using detail::state;
using detail::Window;

namespace detail {

State& state() {
    static State s;
    return s;
}

Window* find(HWnd window) {
    auto& windows = state().windows;
    auto it = windows.find(window);
    return it == windows.end() || it->second.destroying ? nullptr : &it->second;
}

uint32_t now_ticks() {
    return uint32_t(int64_t(state().backend->now_ms()));
}

} // namespace detail

namespace {

bool same_name(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

WindowClass* find_class(std::string_view name) {
    for (auto& cls : state().classes)
        if (same_name(cls.name, name)) return &cls;
    return nullptr;
}

} // namespace

std::vector<HWnd>& detail::siblings_of(const Window& w) {
    return w.parent ? detail::find(w.parent)->children : state().top_levels;
}

namespace {

void remove_handle(std::vector<HWnd>& list, HWnd h) {
    list.erase(std::remove(list.begin(), list.end(), h), list.end());
}

// Destroys the subtree under `w`: WM_DESTROY before the children's.
void destroy_tree(HWnd handle) {
    Window* w = detail::find(handle);
    if (!w) return;
    send_message(handle, WM_DESTROY, 0, 0);
    w = detail::find(handle);
    if (!w) return;
    for (HWnd child : std::vector<HWnd>(w->children)) destroy_tree(child);
    w = detail::find(handle);
    if (!w) return;
    send_message(handle, WM_NCDESTROY, 0, 0);
}

} // namespace

bool layer_start(std::unique_ptr<Backend> b) {
    layer_stop();
    if (!cairo_api()) {
        stdout_::print_line("*** GUI: cannot load libcairo.so.2; no windows can be made");
        return false;
    }
    state().backend = std::move(b);
    return true;
}

void layer_stop() {
    auto& s = state();
    if (!s.backend) return;
    for (HWnd top : std::vector<HWnd>(s.top_levels)) destroy_window(top);
    s.classes.clear();
    s.timers.clear();
    s.input.clear();
    {
        std::lock_guard lock(s.posted_lock);
        s.posted.clear();
        s.quit = false;
    }
    s.keys = {};
    s.async_keys = {};
    s.capture = s.focus = s.active = s.tracked = s.last_down_window = 0;
    s.high_surrogate = 0;
    s.monitors.clear();
    s.menus.clear();
    s.backend.reset();
}

bool layer_running() {
    return state().backend != nullptr;
}

Backend& backend() {
    return *state().backend;
}

bool register_class(const WindowClass& cls) {
    if (cls.name.empty() || find_class(cls.name)) return false;
    state().classes.push_back(cls);
    return true;
}

bool unregister_class(std::string_view name) {
    auto& classes = state().classes;
    for (auto& [h, w] : state().windows)
        if (!w.destroying && same_name(w.class_name, name)) return false;
    auto it = std::find_if(classes.begin(), classes.end(),
                           [&](const WindowClass& c) { return same_name(c.name, name); });
    if (it == classes.end()) return false;
    classes.erase(it);
    return true;
}

std::optional<WindowClass> class_info(std::string_view name) {
    if (WindowClass* cls = find_class(name)) return *cls;
    return std::nullopt;
}

HWnd create_window(std::string_view class_name, std::string_view text, uint32_t style, Rect rect,
                   HWnd parent, int64_t create_param, uint32_t control_id) {
    return create_window_ex(0, class_name, text, style, rect, parent, create_param, control_id);
}

HWnd create_window_ex(uint32_t ex_style, std::string_view class_name, std::string_view text,
                      uint32_t style, Rect rect, HWnd parent, int64_t create_param,
                      uint32_t control_id) {
    auto& s = state();
    WindowClass* cls = find_class(class_name);
    if (!cls || (parent && !detail::find(parent))) return 0;
    HWnd handle = s.next_handle++;
    Window& w = s.windows[handle];
    w.handle = handle;
    w.class_name = cls->name;
    w.proc = cls->proc;
    w.class_style = cls->style;
    w.style = style & ~WS_VISIBLE;
    w.ex_style = ex_style;
    w.parent = (style & WS_CHILD) ? parent : 0;
    w.owner = (style & WS_CHILD) ? 0 : parent;
    w.control_id = w.parent ? control_id : 0;
    w.rect = rect;
    w.text = text;
    siblings_of(w).push_back(handle);
    s.backend->window_created(handle);
    if (!send_message(handle, WM_NCCREATE, 0, create_param) ||
        send_message(handle, WM_CREATE, 0, create_param) == -1) {
        destroy_window(handle);
        return 0;
    }
    if (style & WS_VISIBLE) show_window(handle, SW_SHOW);
    return handle;
}

bool destroy_window(HWnd handle) {
    auto& s = state();
    Window* w = detail::find(handle);
    if (!w) return false;
    if (w->parent == 0 && s.active == handle) s.active = 0;
    destroy_tree(handle);
    // Collect the subtree, then forget it.
    std::vector<HWnd> doomed{handle};
    for (size_t i = 0; i < doomed.size(); ++i)
        if (Window* d = detail::find(doomed[i]))
            doomed.insert(doomed.end(), d->children.begin(), d->children.end());
    if (Window* top = detail::find(handle)) remove_handle(siblings_of(*top), handle);
    for (HWnd h : doomed) {
        Window* d = detail::find(h);
        if (!d) continue;
        d->destroying = true;
        if (d->menu) destroy_menu(std::exchange(d->menu, 0));
        detail::drop_queued(h);
        detail::forget_input_window(h);
        forget_controls(h);
        detail::forget_caret(h);
        detail::drop_paint_state(*d);
        text::release_font(static_cast<text::Font*>(std::exchange(d->font, nullptr)));
        text::release_font(static_cast<text::Font*>(std::exchange(d->composition_font, nullptr)));
        s.backend->window_destroyed(h);
    }
    for (HWnd h : doomed) s.windows.erase(h);
    return true;
}

bool is_window(HWnd window) {
    return detail::find(window) != nullptr;
}

HWnd get_parent(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->parent : 0;
}

uint32_t get_control_id(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->control_id : 0;
}

HWnd get_root(HWnd window) {
    Window* w = detail::find(window);
    while (w && w->parent) {
        window = w->parent;
        w = detail::find(window);
    }
    return w ? window : 0;
}

std::vector<HWnd> child_windows(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->children : std::vector<HWnd>{};
}

std::vector<HWnd> top_level_windows() {
    return state().top_levels;
}

std::string_view class_name(HWnd window) {
    Window* w = detail::find(window);
    return w ? std::string_view(w->class_name) : std::string_view();
}

uint32_t get_style(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->style : 0;
}

void set_style(HWnd window, uint32_t style) {
    if (Window* w = detail::find(window)) w->style = style;
}

WindowProc get_window_proc(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->proc : nullptr;
}

WindowProc set_window_proc(HWnd window, WindowProc proc) {
    Window* w = detail::find(window);
    if (!w) return nullptr;
    return std::exchange(w->proc, proc);
}

std::string get_window_text(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->text : std::string();
}

int32_t get_window_long(HWnd window, int byte_index) {
    Window* w = detail::find(window);
    int32_t value = 0;
    if (w && byte_index >= 0 && byte_index + 4 <= window_extra_bytes)
        std::memcpy(&value, w->extra.data() + byte_index, 4);
    return value;
}

int32_t set_window_long(HWnd window, int byte_index, int32_t value) {
    Window* w = detail::find(window);
    if (!w || byte_index < 0 || byte_index + 4 > window_extra_bytes) return 0;
    int32_t old;
    std::memcpy(&old, w->extra.data() + byte_index, 4);
    std::memcpy(w->extra.data() + byte_index, &value, 4);
    return old;
}

Point client_to_screen(HWnd window, Point p) {
    for (Window* w = detail::find(window); w; w = detail::find(w->parent)) {
        p.x += w->rect.left;
        p.y += w->rect.top;
    }
    return p;
}

Point screen_to_client(HWnd window, Point p) {
    Point origin = client_to_screen(window, {});
    return {p.x - origin.x, p.y - origin.y};
}

Rect window_rect(HWnd window) {
    Window* w = detail::find(window);
    if (!w) return {};
    Point origin = client_to_screen(window, {});
    return {origin.x, origin.y - w->bar_height, origin.x + w->rect.width(),
            origin.y + w->rect.height()};
}

Rect client_rect(HWnd window) {
    Window* w = detail::find(window);
    if (!w) return {};
    // A window's own scroll bars lie at its right and bottom edges.
    Point bars = scroll_bar_insets(window);
    return {0, 0, std::max(0, w->rect.width() - bars.x), std::max(0, w->rect.height() - bars.y)};
}

Rect window_frame(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->frame : Rect{};
}

bool set_window_frame(HWnd window, Rect widths) {
    Window* w = detail::find(window);
    if (!w || w->parent || w->frame == widths) return false;
    w->frame = widths;
    return true;
}

Rect rect_in_parent(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->rect : Rect{};
}

bool set_window_pos(HWnd window, Rect rect) {
    Window* w = detail::find(window);
    if (!w) return false;
    Rect old = w->rect;
    // A menu bar takes the top of the outer rectangle.
    rect.top = std::min(rect.top + w->bar_height, rect.bottom);
    w->rect = rect;
    bool moved = old.left != rect.left || old.top != rect.top;
    bool sized = old.width() != rect.width() || old.height() != rect.height();
    if (!moved && !sized) return true;
    state().backend->window_geometry_changed(window);
    if (sized && (w->class_style & (CS_HREDRAW | CS_VREDRAW)))
        invalidate_rect(window, nullptr, true);
    if (moved) send_message(window, WM_MOVE, 0, make_point_param(rect.left, rect.top));
    if (sized && is_window(window))
        send_message(window, WM_SIZE, SIZE_RESTORED, make_point_param(rect.width(), rect.height()));
    return true;
}

bool show_window(HWnd window, uint32_t command) {
    Window* w = detail::find(window);
    if (!w) return false;
    bool was_visible = w->style & WS_VISIBLE;
    bool visible = command != SW_HIDE;
    w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
    if (command == SW_SHOWMINIMIZED) w->style |= WS_MINIMIZE;
    if (command == SW_SHOWMAXIMIZED) w->style |= WS_MAXIMIZE;
    if (visible == was_visible) return was_visible;
    send_message(window, WM_SHOWWINDOW, visible, 0);
    if (!(w = detail::find(window))) return was_visible;
    w->style = visible ? (w->style | WS_VISIBLE) : (w->style & ~WS_VISIBLE);
    state().backend->window_visibility_changed(window);
    if (visible) {
        invalidate_rect(window, nullptr, true);
        for (HWnd child : w->children) invalidate_rect(child, nullptr, true);
    }
    return was_visible;
}

bool is_visible(HWnd window) {
    for (Window* w = detail::find(window); w; w = detail::find(w->parent)) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!w->parent) return true;
    }
    return false;
}

namespace {

// The controls inside a window whose enabled state changed take their
// look again (a top-level's do not: a window behind a modal one only
// refuses input).
void held_controls_changed(HWnd window) {
    for (HWnd child : child_windows(window)) {
        control_changed(child, ControlChange::look);
        held_controls_changed(child);
    }
}

} // namespace

bool enable_window(HWnd window, bool enable) {
    Window* w = detail::find(window);
    if (!w) return false;
    bool was_disabled = w->style & WS_DISABLED;
    w->style = enable ? (w->style & ~WS_DISABLED) : (w->style | WS_DISABLED);
    if (was_disabled != enable) return was_disabled;
    send_message(window, WM_ENABLE, enable, 0);
    if (is_window(window) && get_parent(window)) held_controls_changed(window);
    return was_disabled;
}

bool is_enabled(HWnd window) {
    Window* w = detail::find(window);
    return w && !(w->style & WS_DISABLED);
}

bool takes_input(HWnd window) {
    Window* w = detail::find(window);
    if (!w) return false;
    for (; w; w = detail::find(w->parent))
        if (w->style & WS_DISABLED) return false;
    return true;
}

namespace {

// The deepest visible child of `handle` containing `p` (client coordinates
// of `handle`), or `handle` itself; 0 where `handle` is layered and clear
// and no child takes the point.
// A child that answers WM_NCHITTEST with HTTRANSPARENT (a group box's
// frame) lets the pointer pass to its siblings and parent.
HWnd deepest_at(HWnd handle, Point p) {
    Window* w = detail::find(handle);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        Window* child = detail::find(*it);
        if (!(child->style & WS_VISIBLE) || (child->style & WS_DISABLED) ||
            !child->rect.contains(p))
            continue;
        if (send_message(*it, WM_NCHITTEST, 0, 0) == HTTRANSPARENT) continue;
        if (HWnd hit = deepest_at(*it, {p.x - child->rect.left, p.y - child->rect.top})) return hit;
    }
    return detail::clear_at(*w, p) ? 0 : handle;
}

} // namespace

HWnd window_from_point(Point screen) {
    auto& tops = state().top_levels;
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        Window* w = detail::find(*it);
        if (!(w->style & WS_VISIBLE) || !w->rect.contains(screen)) continue;
        if (HWnd hit = deepest_at(*it, {screen.x - w->rect.left, screen.y - w->rect.top}))
            return hit;
    }
    return 0;
}

HWnd child_window_from_point(HWnd window, Point client) {
    Window* w = detail::find(window);
    if (!w) return 0;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        Window* child = detail::find(*it);
        if ((child->style & WS_VISIBLE) && child->rect.contains(client)) return *it;
    }
    return window;
}

int64_t send_message(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    Window* w = detail::find(window);
    if (!w) return 0;
    return call_window_proc(w->proc, window, message, wparam, lparam);
}

int64_t call_window_proc(WindowProc proc, HWnd window, uint32_t message, uint64_t wparam,
                         int64_t lparam) {
    return proc ? proc(window, message, wparam, lparam)
                : def_window_proc(window, message, wparam, lparam);
}

int64_t def_window_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    Window* w = detail::find(window);
    if (!w) return 0;
    switch (message) {
    case WM_NCCREATE: return 1;
    case WM_CLOSE: destroy_window(window); return 0;
    case WM_PAINT: {
        PaintStruct ps;
        begin_paint(window, ps);
        end_paint(window, ps);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_NCHITTEST: return HTCLIENT;
    case WM_ACTIVATE: {
        HWnd focus = get_focus();
        bool inside = false;
        for (HWnd f = focus; f && !inside; f = get_parent(f)) inside = f == window;
        if ((wparam & 0xFFFF) != WA_INACTIVE && !inside) set_focus(window);
        return 0;
    }
    case WM_SETTEXT:
        w->text = lparam ? reinterpret_cast<const char*>(lparam) : "";
        state().backend->window_text_changed(window);
        return 1;
    case WM_SETFONT: {
        // The window holds a reference: freeing the font's object or a new
        // default font leaves the font this window draws with alive.
        auto* font = text::retain_font(reinterpret_cast<text::Font*>(wparam));
        text::release_font(static_cast<text::Font*>(std::exchange(w->font, font)));
        return 0;
    }
    case WM_GETFONT: return int64_t(reinterpret_cast<intptr_t>(w->font));
    case WM_GETTEXTLENGTH: return int64_t(w->text.size());
    case WM_GETTEXT: {
        if (wparam == 0 || !lparam) return 0;
        size_t n = std::min<size_t>(w->text.size(), wparam - 1);
        std::memcpy(reinterpret_cast<char*>(lparam), w->text.data(), n);
        reinterpret_cast<char*>(lparam)[n] = 0;
        return int64_t(n);
    }
    default: return 0;
    }
}

} // namespace kiv::gui
