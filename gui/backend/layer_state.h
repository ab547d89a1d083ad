// The window layer's state, shared by its modules (windows, queue, timers,
// painting, input, monitors). Not for use outside the layer.
#pragma once

#include "gui/backend/menus.h"
#include "gui/backend/window_layer.h"

#include <array>
#include <deque>
#include <map>
#include <mutex>
#include <unordered_map>

namespace kiv::gui::detail {

struct Window {
    HWnd handle = 0;
    std::string class_name;
    WindowProc proc = nullptr;
    uint32_t class_style = 0;
    uint32_t style = 0;
    uint32_t ex_style = 0;
    HWnd parent = 0;
    HWnd owner = 0;             // top-levels made with a parent
    uint32_t control_id = 0;    // children only
    std::vector<HWnd> children; // bottom to top
    Rect rect;                  // in the parent's client coordinates
    std::string text;
    std::array<uint8_t, window_extra_bytes> extra{};
    cairo_region_t* invalid = nullptr;
    bool erase = false;
    cairo_surface_t* surface = nullptr;
    bool painted_clear = false; // painted, all clear: the surface was given back
    bool destroying = false;
    void* font = nullptr;             // the font given by WM_SETFONT, a reference held
    void* composition_font = nullptr; // the input method's, a reference held
    HMenu menu = 0;                   // top-levels: the menu bar
    int bar_height = 0;               // above the client area, in device pixels
    Rect frame;                       // top-levels: the window manager's, widths per side
};

struct MenuModel {
    bool popup = false;
    std::vector<MenuItemInfo> items;
};

struct Timer {
    HWnd window = 0;
    uint64_t id = 0;
    double interval = 0;
    double due = 0;
    TimerProc proc = nullptr;
};

struct MonitorEntry {
    std::string key;
    Monitor monitor;
};

struct State {
    std::unique_ptr<Backend> backend;
    std::vector<WindowClass> classes;
    std::map<HWnd, Window> windows; // handle order is creation order
    std::vector<HWnd> top_levels;   // bottom to top
    HWnd next_handle = 0x10000;

    std::mutex posted_lock; // guards `posted` and `quit`
    std::deque<Msg> posted;
    bool quit = false;
    int quit_code = 0;
    std::deque<Msg> input;
    std::vector<Timer> timers;
    uint64_t next_timer_id = 0x7F00;

    Point message_pos;
    uint32_t message_time = 0;

    std::array<uint8_t, 256> keys{};       // as of the last message retrieved
    std::array<uint8_t, 256> async_keys{}; // as of the last input received
    Point cursor;
    HWnd capture = 0;
    HWnd focus = 0;
    HWnd active = 0;
    HWnd tracked = 0; // asked for a leave notice
    HWnd last_down_window = 0;
    uint32_t last_down_message = 0;
    double last_down_time = -1e9;
    Point last_down_point;
    uint32_t high_surrogate = 0;

    std::vector<MonitorEntry> monitors;
    HMonitor next_monitor = 1;

    std::map<HMenu, MenuModel> menus;
    HMenu next_menu = 0x20000;
};

State& state();
// The live window of a handle, or null.
Window* find(HWnd window);
uint32_t now_ticks();
// The list a window is kept in: its parent's children or the top-levels,
// bottom to top.
std::vector<HWnd>& siblings_of(const Window& w);
// Whether a layered window's own pixel at a client point is clear, so
// that the pointer passes to what lies below.
bool clear_at(const Window& w, Point p);
// Forgets queued messages and timers of a window being destroyed.
void drop_queued(HWnd window);
void drop_paint_state(Window& window);
// The caret is taken off its owner's surface while the owner paints, and
// put back after; a destroyed owner takes it away.
void lift_caret(HWnd window);
void restore_caret(HWnd window);
void forget_caret(HWnd window);
void forget_input_window(HWnd window);
// Updates the retrieved key state from an input message.
void apply_key_state(const Msg& msg);
// The model of a live menu, or null.
MenuModel* find_menu(HMenu menu);
// Milliseconds until the next timer is due; negative when none is set.
double time_to_next_timer();

} // namespace kiv::gui::detail
