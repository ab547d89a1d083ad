// Plain types shared by the window layer and its backends.
#pragma once

#include <cstdint>

namespace kiv::gui {

// A window handle: 32 bits, never 0 for a live window, never reused.
using HWnd = uint32_t;
// A monitor handle: stable for the monitor's life, never reused.
using HMonitor = uint32_t;

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

// A rectangle with an exclusive right and bottom edge.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool operator==(const Rect&) const = default;
};

// One queued or dispatched message. `text` is the character that the key
// of a key message types (0: none); the translation of key messages into
// character messages reads it.
struct Msg {
    HWnd window = 0;
    uint32_t message = 0;
    uint64_t wparam = 0;
    int64_t lparam = 0;
    uint32_t time = 0;
    Point pt;
    uint32_t text = 0;
};

using WindowProc = int64_t (*)(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);
using TimerProc = void (*)(HWnd window, uint32_t message, uint64_t id, uint32_t time);

struct Monitor {
    HMonitor handle = 0;
    Rect area;          // in device pixels, on the virtual screen
    Rect work;          // the part not taken by panels
    double scale = 1.0; // device pixels per logical pixel
    double dpi = 96.0;  // effective DPI
};

// System metrics for system/view/metrics: the DPI, the scroll bar's width
// and height, and the text, window and panel colours (colour integers).
struct Metrics {
    int dpi;
    int scroller_width, scroller_height;
    uint32_t text, window, panel;
};

// The room a control's native view takes around its text, in logical
// pixels, for the control type of system/view/metrics/paddings.
struct ControlPadding {
    const char* type;
    int left, right, top, bottom;
};

} // namespace kiv::gui
