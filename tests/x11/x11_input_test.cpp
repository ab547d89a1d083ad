// Input from the X server through XTest, end to end: keys and characters,
// a dead key, buttons, double clicks, the wheel, leaving into a child.
#include "x11_fixture.h"

#include <X11/keysym.h>
#include <gdk/gdk.h>

namespace kiv::testing {
namespace {

using namespace gui;

class X11InputTest : public X11Test {
  protected:
    void SetUp() override {
        X11Test::SetUp();
        window = make_window("input", {100, 100, 400, 300});
        settle();
        focus(window, "input");
        forget();
    }
    // Waits for the key-up of the last key tapped.
    void wait_keys(unsigned count) {
        ASSERT_TRUE(pump_until([&] { return recorded({WM_KEYUP, WM_SYSKEYUP}).size() >= count; }));
        pump_until([] { return false; }, 50); // the characters that follow
    }
    std::vector<uint64_t> chars() const {
        std::vector<uint64_t> out;
        for (auto& r : recorded({WM_CHAR})) out.push_back(r.wparam);
        return out;
    }
    HWnd window = 0;
};

struct KeyCase {
    const char* name;
    std::vector<unsigned long> keys;
    uint32_t vk;                // the last key's virtual key
    std::vector<uint64_t> text; // the characters it makes
};

TEST_F(X11InputTest, KeysMakeTheirCharacters) {
    const KeyCase cases[] = {
        {"a", {XK_a}, 'A', {'a'}},
        {"Shift+a", {XK_Shift_L, XK_a}, 'A', {'A'}},
        {"Ctrl+A", {XK_Control_L, XK_a}, 'A', {1}},
        {"Ctrl+Shift+Z", {XK_Control_L, XK_Shift_L, XK_z}, 'Z', {26}},
        {"Ctrl+Backspace", {XK_Control_L, XK_BackSpace}, VK_BACK, {127}},
        {"Ctrl+Return", {XK_Control_L, XK_Return}, VK_RETURN, {10}},
        {"Backspace", {XK_BackSpace}, VK_BACK, {8}},
        {"Tab", {XK_Tab}, VK_TAB, {9}},
        {"Escape", {XK_Escape}, VK_ESCAPE, {27}},
        {"Shift+1", {XK_Shift_L, XK_1}, '1', {'!'}},
        {"F5", {XK_F5}, VK_F5, {}},
        {"Ctrl+F5", {XK_Control_L, XK_F5}, VK_F5, {}},
        {"Alt+x", {XK_Alt_L, XK_x}, 'X', {}},
        {"Left", {XK_Left}, VK_LEFT, {}},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        forget();
        for (unsigned long k : c.keys) key(k, true);
        for (auto it = c.keys.rbegin(); it != c.keys.rend(); ++it) key(*it, false);
        wait_keys(unsigned(c.keys.size()));
        auto downs = recorded({WM_KEYDOWN, WM_SYSKEYDOWN});
        ASSERT_EQ(downs.size(), c.keys.size());
        EXPECT_EQ(downs.back().wparam, c.vk);
        EXPECT_EQ(chars(), c.text);
    }
}

// Left and right modifiers: the scan code tells the Shift keys apart,
// the extended bit the right Control.
TEST_F(X11InputTest, ModifierSides) {
    struct Side {
        unsigned long keysym;
        uint32_t vk, scan;
        bool extended;
        uint32_t side;
    } sides[] = {
        {XK_Shift_L, VK_SHIFT, 0x2A, false, VK_LSHIFT},
        {XK_Shift_R, VK_SHIFT, 0x36, false, VK_RSHIFT},
        {XK_Control_L, VK_CONTROL, 0x1D, false, VK_LCONTROL},
        {XK_Control_R, VK_CONTROL, 0x1D, true, VK_RCONTROL},
    };
    for (const Side& s : sides) {
        SCOPED_TRACE(s.keysym);
        forget();
        key(s.keysym, true);
        bool held = false;
        ASSERT_TRUE(pump_until([&] {
            if (recorded({WM_KEYDOWN}).empty()) return false;
            held = get_key_state(s.side) < 0;
            return true;
        }));
        key(s.keysym, false);
        wait_keys(1);
        Recorded down = recorded({WM_KEYDOWN}).at(0);
        EXPECT_EQ(down.wparam, s.vk);
        EXPECT_EQ((down.lparam >> 16) & 0xFF, int64_t(s.scan));
        EXPECT_EQ((down.lparam & KF_EXTENDED) != 0, s.extended);
        EXPECT_TRUE(held);
    }
}

TEST_F(X11InputTest, DeadKeyComposes) {
    ASSERT_EQ(std::system("setxkbmap us -variant intl"), 0);
    // GDK reads the new key map when the server's notice of it comes.
    ASSERT_TRUE(pump_until([] {
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        bool mapped = gdk_keymap_get_entries_for_keyval(
            gdk_keymap_get_for_display(gdk_display_get_default()), GDK_KEY_dead_acute, &keys, &count);
        g_free(keys);
        return mapped;
    }));
    tap({XK_dead_acute});
    tap({XK_e});
    bool composed = pump_until([&] { return chars() == std::vector<uint64_t>{0xE9}; });
    std::system("setxkbmap us");
    ASSERT_TRUE(composed);
    auto downs = recorded({WM_KEYDOWN});
    ASSERT_FALSE(downs.empty());
    EXPECT_EQ(downs.front().wparam, uint64_t(VK_PROCESSKEY));
}

TEST_F(X11InputTest, ButtonsDoubleClicksAndWheel) {
    move_pointer(100 + 50, 100 + 40);
    for (int i = 0; i < 2; ++i) {
        click(1, true);
        click(1, false);
    }
    click(3, true);
    click(3, false);
    click(4, true); // wheel up
    click(4, false);
    click(5, true); // wheel down
    click(5, false);
    const std::vector<uint32_t> mouse = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                                         WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEWHEEL};
    ASSERT_TRUE(pump_until([&] { return recorded(mouse).size() >= 8; }));
    auto got_messages = recorded(mouse);
    std::vector<uint32_t> order;
    for (auto& r : got_messages) order.push_back(r.message);
    EXPECT_EQ(order,
              (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP,
                                     WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEWHEEL, WM_MOUSEWHEEL}));
    EXPECT_EQ(point_param_x(got_messages[0].lparam), 50);
    EXPECT_EQ(point_param_y(got_messages[0].lparam), 40);
    EXPECT_EQ(int16_t(got_messages[6].wparam >> 16), 120);
    EXPECT_EQ(int16_t(got_messages[7].wparam >> 16), -120);
}

TEST_F(X11InputTest, LeavingIntoAChildAndCapture) {
    HWnd child = make_window("", {100, 100, 200, 180}, window);
    settle();
    move_pointer(100 + 20, 100 + 20);
    ASSERT_TRUE(pump_until([&] { return got(window, WM_MOUSEMOVE); }));
    track_mouse_event(window);
    move_pointer(100 + 150, 100 + 150);
    ASSERT_TRUE(pump_until([&] { return got(window, WM_MOUSELEAVE); }));
    ASSERT_TRUE(pump_until([&] { return got(child, WM_MOUSEMOVE); }));

    // Captured, the pointer's messages go to the window even outside it.
    set_capture(window);
    forget();
    move_pointer(600, 500);
    ASSERT_TRUE(pump_until([&] {
        auto moves = recorded({WM_MOUSEMOVE});
        return !moves.empty() && point_param_x(moves.back().lparam) == 500;
    }));
    for (const Recorded& move : recorded({WM_MOUSEMOVE})) EXPECT_EQ(move.window, window);
    EXPECT_EQ(point_param_y(recorded({WM_MOUSEMOVE}).back().lparam), 400);

    // Capture passing to another window of the same top-level, or taken
    // again after a release, still holds the pointer outside the window.
    struct Step {
        bool release_first;
        int x, y;
    };
    for (const Step& step : {Step{false, 620, 520}, Step{true, 640, 540}}) {
        if (step.release_first) release_capture();
        set_capture(child);
        forget();
        move_pointer(step.x, step.y);
        int child_x = step.x - 200;
        ASSERT_TRUE(pump_until([&] {
            auto moves = recorded({WM_MOUSEMOVE});
            return !moves.empty() && point_param_x(moves.back().lparam) == child_x;
        })) << "capture taken at "
            << step.x;
        for (const Recorded& move : recorded({WM_MOUSEMOVE})) EXPECT_EQ(move.window, child);
    }
    release_capture();
}

} // namespace
} // namespace kiv::testing
