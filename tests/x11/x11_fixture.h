// The X11 tests' fixture: the GTK backend started on the X server the test
// runs under (Xvfb, started by with_xvfb), a probe window class that records its messages,
// a loop pump that waits for a condition (never a fixed sleep), input
// through XTest, pixels and window properties read from the server, and a
// screenshot saved when a test fails.
#pragma once

#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

// gtest before Xlib, whose macros (None, Bool) would clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

namespace kiv::testing {

// The probe class: every message its windows get is recorded; WM_PAINT
// fills the invalid region with the window's paint colour; WM_CLOSE is
// only recorded, so the window stays.
inline constexpr const char* probe_class = "X11Probe";

struct Recorded {
    gui::HWnd window;
    uint32_t message;
    uint64_t wparam;
    int64_t lparam;
};

class X11Test : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A visible probe window; a top-level when `parent` is 0.
    gui::HWnd make_window(const std::string& title, gui::Rect rect, gui::HWnd parent = 0,
                          const char* cls = probe_class, uint32_t control_id = 0);
    // Runs the layer's loop (translating keys) until `done` holds or the
    // time runs out; answers `done()`. The time by default is long enough
    // for the slowest honest case on a heavily loaded machine.
    bool pump_until(const std::function<bool()>& done, double timeout_ms = 60000);
    // Runs the loop until every window is drawn and the server has seen it.
    void settle();
    // The messages recorded so far with one of `codes` (all when empty).
    std::vector<Recorded> recorded(std::vector<uint32_t> codes = {}) const;
    bool got(gui::HWnd window, uint32_t message) const;
    void forget() { log().clear(); }

    // The rectangle of a top-level found by its title, as xwininfo reports it.
    static gui::Rect xwininfo_rect(const std::string& title);
    // The X window of a top-level found by its title (0: none).
    Window find_by_title(const std::string& title) const;
    // Gives a top-level the keyboard focus and waits until the layer has
    // made it the active window.
    void focus(gui::HWnd window, const std::string& title);
    // XTest input.
    void move_pointer(int x, int y);
    void click(unsigned button, bool down);
    void key(unsigned long keysym, bool down);
    void tap(std::initializer_list<unsigned long> keysyms);
    // The colour (0xRRGGBB) of a screen pixel.
    uint32_t pixel(int x, int y) const;
    Display* display = nullptr;

  public:
    // The output of a command, run through the shell.
    static std::string run(const std::string& command);
    // What the probe windows got, and the colour they paint with.
    static std::vector<Recorded>& log();
    static uint32_t& paint_color();
};

} // namespace kiv::testing
