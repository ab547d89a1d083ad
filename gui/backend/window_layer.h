// The window layer: windows, classes, message queues, timers, painting and
// input state with the behaviour that the window procedures and the event
// translation expect, kept in our own code over one Backend. All calls but
// post_message come from the GUI thread.
#pragma once

#include "gui/backend/backend.h"
#include "gui/backend/window_types.h"

#include <cairo.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiv::gui {

// Bytes of extra memory of every window, read and written as 32-bit slots
// by byte index.
inline constexpr int window_extra_bytes = 80;

// Starts the layer over `backend` (a running layer is stopped first);
// false, with a diagnostic line, when Cairo cannot be loaded. Stop
// destroys every window, forgets classes, timers and queues.
bool layer_start(std::unique_ptr<Backend> backend);
void layer_stop();
bool layer_running();
Backend& backend();

// ---- Classes (names compare without regard to ASCII case)

struct WindowClass {
    std::string name;
    WindowProc proc = nullptr;
    uint32_t style = 0;
    uint32_t background = 0;
};
bool register_class(const WindowClass& cls);
bool unregister_class(std::string_view name);
std::optional<WindowClass> class_info(std::string_view name);

// ---- Windows

// Creates a window of a registered class; `rect` is in the parent's client
// coordinates (screen coordinates for a top-level). Sends WM_NCCREATE
// (lParam: the creation parameter) then WM_CREATE; 0 when the class is
// unknown or WM_NCCREATE answers 0. A child keeps `control_id`, the
// number its controls' notifications name it by.
HWnd create_window(std::string_view class_name, std::string_view text, uint32_t style, Rect rect,
                   HWnd parent, int64_t create_param, uint32_t control_id = 0);
// The same with extended styles (WS_EX_*), which the backend sees from the
// start.
HWnd create_window_ex(uint32_t ex_style, std::string_view class_name, std::string_view text,
                      uint32_t style, Rect rect, HWnd parent, int64_t create_param,
                      uint32_t control_id = 0);
// Sends WM_DESTROY to the window, then to its children (parents first);
// the windows lose their queued messages, timers, capture and focus.
bool destroy_window(HWnd window);
bool is_window(HWnd window);
HWnd get_parent(HWnd window);
// The control id given at creation; 0 for a top-level or an unknown window.
uint32_t get_control_id(HWnd window);
HWnd get_root(HWnd window);
std::vector<HWnd> child_windows(HWnd window);
std::vector<HWnd> top_level_windows();
std::string_view class_name(HWnd window);
uint32_t get_style(HWnd window);
void set_style(HWnd window, uint32_t style);
WindowProc get_window_proc(HWnd window);
WindowProc set_window_proc(HWnd window, WindowProc proc);
std::string get_window_text(HWnd window);
// 32-bit slots of the extra memory; an index outside it reads 0 and writes
// nothing.
int32_t get_window_long(HWnd window, int byte_index);
int32_t set_window_long(HWnd window, int byte_index, int32_t value);

// Extended styles, kept for the backends and the face code. A layered
// window is composed with its alpha over what lies below it, and the
// pointer passes through where its pixels are clear.
inline constexpr uint32_t WS_EX_LAYERED = 0x80000;
uint32_t get_ex_style(HWnd window);
void set_ex_style(HWnd window, uint32_t ex_style);
// The window a top-level made with a parent belongs to; 0 for none.
HWnd get_owner(HWnd window);
// Moves a window under another parent (0: it becomes a top-level), on top
// of its new siblings, keeping its position in the new parent's client
// coordinates.
bool set_parent(HWnd window, HWnd parent);
// Puts a window on top of its siblings.
bool bring_window_to_top(HWnd window);
// Puts a window just above `below` among their siblings (0: at the
// bottom).
bool place_above(HWnd window, HWnd below);
// The sibling just under a window; 0 at the bottom.
HWnd previous_sibling(HWnd window);
// Sends WM_PAINT at once when the window has an invalid region.
void update_window(HWnd window);

Rect window_rect(HWnd window); // screen coordinates
Rect client_rect(HWnd window); // 0, 0, width, height
// The widths of the frame a window manager draws around a top-level
// (left, top, right and bottom, device pixels; none where it draws none),
// as the backend last found them; it sets them as it learns them (true
// when they changed). They lie outside the window's rectangle.
Rect window_frame(HWnd window);
bool set_window_frame(HWnd window, Rect widths);
Rect rect_in_parent(HWnd window);
// Moves and sizes a window (parent's client coordinates); sends WM_MOVE
// and WM_SIZE for what changed.
bool set_window_pos(HWnd window, Rect rect);
bool show_window(HWnd window, uint32_t command);
bool is_visible(HWnd window); // the window and all its ancestors
// Enables or disables a window. A disabled window takes no input and
// neither do the windows it holds, whose controls then look disabled too.
bool enable_window(HWnd window, bool enable);
bool is_enabled(HWnd window);
// Whether the window and every window holding it are enabled: input meant
// for it is dropped otherwise (a window behind a modal one, a face in a
// disabled panel).
bool takes_input(HWnd window);
Point client_to_screen(HWnd window, Point p);
Point screen_to_client(HWnd window, Point p);
// The deepest visible window under a screen point, 0 for none; the point
// passes over a disabled child to its parent.
HWnd window_from_point(Point screen);
// The visible child of `window` at a client point, else the window itself.
HWnd child_window_from_point(HWnd window, Point client);

// ---- Messages

int64_t send_message(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t call_window_proc(WindowProc proc, HWnd window, uint32_t message, uint64_t wparam,
                         int64_t lparam);
int64_t def_window_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);
// Thread-safe.
bool post_message(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);
void post_quit_message(int code);
// 1 for a message, 0 for WM_QUIT, -1 when the wait could never end (a
// diagnostic line is printed).
int get_message(Msg& msg);
bool peek_message(Msg& msg);
// The character a key-down message types with the keys held now, or 0:
// Control with a letter gives the letter's control code, Control with
// Backspace 127 and with Return 10; the editing keys their codes; an Alt
// chord and any other message none.
uint32_t typed_char(const Msg& key);
// Posts the character messages of a character typed by a key-down (two
// surrogates beyond the basic plane).
void post_char(const Msg& key, uint32_t code_point);
// Makes the character messages of a key-down message; true when it did.
bool translate_message(const Msg& msg);
int64_t dispatch_message(const Msg& msg);
// The point and time of the last message retrieved.
Point get_message_pos();
uint32_t get_message_time();

// ---- Timers on the layer clock (interval clamped to 10 ms .. 2^31 - 1 ms)

uint64_t set_timer(HWnd window, uint64_t id, uint32_t ms, TimerProc proc);
bool kill_timer(HWnd window, uint64_t id);

// ---- Painting

void invalidate_rect(HWnd window, const Rect* area, bool erase);
void validate_rect(HWnd window, const Rect* area);
// The bounds of the invalid region; false when it is empty.
bool get_update_rect(HWnd window, Rect& bounds);
struct PaintStruct {
    cairo_t* cr = nullptr;
    Rect paint;
    bool erase = false;
    bool fresh = false; // the surface was made clear for this paint
};
// A Cairo context on the window's backing surface clipped to the invalid
// region, which becomes valid; WM_ERASEBKGND (wParam: the context) is sent
// first when an erase was asked.
cairo_t* begin_paint(HWnd window, PaintStruct& ps);
// Ends the paint. A paint that leaves the whole surface clear (a control
// whose look the toolkit draws, a window that draws nothing) gives the
// surface back: most child windows never hold one.
void end_paint(HWnd window, PaintStruct& ps);
// The window's backing surface (device pixels, ARGB32), made on demand.
cairo_surface_t* window_surface(HWnd window);
// The backing surface the window holds now, or null when it has none
// (never painted, or all clear): for readers, which make none.
cairo_surface_t* held_surface(HWnd window);
// Moves the pixels of the window's backing surface inside `area` (client
// coordinates, device pixels; the whole client area when null) by
// `distance`, as a view scrolled by whole pixels shows them: what was
// invalid there moves along, the part of the area they uncover becomes
// invalid for the next paint, and the backend hears that the area changed.
// False for an unknown window or an area outside the client area.
bool scroll_window(HWnd window, Point distance, const Rect* area);

// ---- The caret: one for the whole layer, owned by a window. It is drawn
// by inverting the pixels under it in the owner's backing surface (drawn
// twice it is gone), blinks on the layer clock at the backend's rate, and
// is off the surface while the owner paints. Made hidden: show_caret
// shows it (as many shows as hides); the backend hears where it is, so an
// input method's candidates follow it.

bool create_caret(HWnd owner, int width, int height);
bool destroy_caret();
HWnd caret_owner();
// Client coordinates of the owner, device pixels.
bool set_caret_pos(Point client);
Point get_caret_pos();
bool show_caret(HWnd owner);
bool hide_caret(HWnd owner);

// ---- Input-method composition: the font a window's pre-edit text shows
// in (a font handle as WM_SETFONT takes, a reference held while the window
// lives; 0: the window's own). The backend reads it when it shows a
// composition.

void set_composition_font(HWnd window, uint64_t font);
uint64_t get_composition_font(HWnd window);

// ---- Input state

// High bit: held; low bit: toggled. As of the last input message retrieved.
int16_t get_key_state(uint32_t vk);
// As of the last input received.
int16_t get_async_key_state(uint32_t vk);
HWnd set_capture(HWnd window);
bool release_capture();
HWnd get_capture();
HWnd set_focus(HWnd window);
HWnd get_focus();
HWnd set_active_window(HWnd window);
HWnd get_active_window();
// Asks for one WM_MOUSELEAVE when the pointer leaves `window`.
bool track_mouse_event(HWnd window);
Point get_cursor_pos();

// ---- Input from the backend (screen coordinates, device pixels)

enum class Button { left, right, middle, x1, x2 };
void input_pointer_move(Point screen);
// The pointer left every window of the layer.
void input_pointer_gone();
void input_button(Button button, bool down, Point screen);
void input_wheel(int delta, Point screen);
// A key: its virtual key, scan code, extended bit and the character it
// types (0: none).
void input_key(uint32_t vk, uint32_t scan, bool extended, bool down, uint32_t text);
// A character committed by an input method.
void input_char(uint32_t code_point);
// An input method's composition starts or ends (its preedit text appears
// or goes).
void input_composition(bool start);
// Any other input message for `window` (a gesture), queued in order with
// the rest of the input.
void input_message(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);

// ---- Monitors

struct MonitorDesc {
    std::string key; // identifies the monitor across changes
    Rect area, work;
    double scale = 1.0, dpi = 96.0;
};
// Replaces the monitors; a monitor with the same key keeps its handle.
// Sends WM_DISPLAYCHANGE to every top-level when anything changed, and
// tells the settings listener when a known monitor's DPI changed.
void set_monitors(const std::vector<MonitorDesc>& monitors);
// What has to follow the DPI and the desktop's font setting (the default
// font) listens here; the backend calls settings_changed when the font
// setting changes.
void set_settings_listener(void (*listener)());
void settings_changed();
std::vector<Monitor> monitors();
std::optional<Monitor> monitor_info(HMonitor monitor);
// The monitor holding the point, else the nearest (0 when there is none).
HMonitor monitor_from_point(Point screen);
// The monitor with the largest overlap, else the nearest.
HMonitor monitor_from_rect(Rect screen);
HMonitor monitor_from_window(HWnd window);

} // namespace kiv::gui
