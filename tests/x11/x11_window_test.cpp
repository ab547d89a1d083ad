// Windows on the X server: geometry, painting, closing, the mirrored
// button, focus, dark mode.
#include "x11_fixture.h"

#include "gui/backend/gui_init.h"
#include "gui/backend/text/fonts.h"

#include <gtk/gtk.h>

namespace kiv::testing {
namespace {

using namespace gui;

// The desktop's font setting changing reaches the settings listener (the
// default font's, which is set aside for the test).
TEST_F(X11Test, AFontSettingChangeIsHeard) {
    static int heard = 0;
    heard = 0;
    set_settings_listener([] { ++heard; });
    GtkSettings* settings = gtk_settings_get_default();
    gchar* was = nullptr;
    g_object_get(settings, "gtk-font-name", &was, nullptr);
    g_object_set(settings, "gtk-font-name", "Sans 21", nullptr);
    EXPECT_TRUE(pump_until([] { return heard > 0; }));
    EXPECT_EQ(backend().font_name(), "Sans 21");
    g_object_set(settings, "gtk-font-name", was, nullptr);
    g_free(was);
    set_settings_listener(text::refresh_default_font);
}

TEST_F(X11Test, GeometryMatchesTheServer) {
    HWnd w = make_window("geometry", {100, 120, 300, 270});
    settle();
    EXPECT_EQ(xwininfo_rect("geometry"), (Rect{100, 120, 300, 270}));
    forget();
    set_window_pos(w, {340, 200, 600, 380});
    ASSERT_TRUE(pump_until([&] { return xwininfo_rect("geometry") == Rect{340, 200, 600, 380}; }));
    settle();
    EXPECT_EQ(window_rect(w), (Rect{340, 200, 600, 380}));
    // GTK's way there (moved first, then sized) is not taken for a change.
    for (const Recorded& size : recorded({WM_SIZE})) {
        EXPECT_EQ(point_param_x(size.lparam), 260);
        EXPECT_EQ(point_param_y(size.lparam), 180);
    }
    // Moved and sized from outside, as a window manager would: followed.
    XMoveResizeWindow(display, find_by_title("geometry"), 400, 300, 220, 160);
    XSync(display, False);
    ASSERT_TRUE(pump_until([&] { return window_rect(w) == Rect{400, 300, 620, 460}; }));
    EXPECT_TRUE(got(w, WM_MOVE));
}

TEST_F(X11Test, PaintReachesOnlyTheInvalidArea) {
    HWnd w = make_window("paint", {50, 60, 250, 210});
    paint_color() = 0xFFFFFF;
    settle();
    ASSERT_TRUE(pump_until([&] { return pixel(150, 100) == 0xFFFFFF; }));
    paint_color() = 0x0000FF;
    Rect area{10, 10, 40, 30};
    invalidate_rect(w, &area, false);
    ASSERT_TRUE(pump_until([&] { return pixel(50 + 20, 60 + 20) == 0x0000FF; }));
    settle();
    EXPECT_EQ(pixel(50 + 10, 60 + 10), 0x0000FFu); // the area's corner
    EXPECT_EQ(pixel(50 + 40, 60 + 20), 0xFFFFFFu); // just right of it
    EXPECT_EQ(pixel(50 + 20, 60 + 30), 0xFFFFFFu); // just below it
    EXPECT_EQ(pixel(150, 100), 0xFFFFFFu);
}

TEST_F(X11Test, ChildrenDrawInsideTheirParent) {
    HWnd top = make_window("children", {100, 100, 300, 300});
    paint_color() = 0x00FF00;
    make_window("", {20, 30, 80, 70}, top);
    settle();
    ASSERT_TRUE(pump_until([&] { return pixel(100 + 50, 100 + 50) == 0x00FF00; }));
}

TEST_F(X11Test, DeleteWindowAsksForClose) {
    HWnd w = make_window("closing", {10, 10, 110, 110});
    settle();
    Window x = find_by_title("closing");
    ASSERT_NE(x, 0u);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = x;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, x, False, NoEventMask, &e);
    XSync(display, False);
    ASSERT_TRUE(pump_until([&] { return got(w, WM_CLOSE); }));
    settle();
    EXPECT_TRUE(is_window(w)); // the window procedure decides; GTK destroys nothing
    EXPECT_NE(find_by_title("closing"), 0u);
}

TEST_F(X11Test, ButtonClickTellsTheParent) {
    HWnd top = make_window("buttons", {200, 200, 400, 360});
    HWnd button = make_window("Press", {20, 20, 120, 60}, top, "BUTTON", 1042);
    settle();
    focus(top, "buttons");
    move_pointer(200 + 70, 200 + 40);
    click(1, true);
    click(1, false);
    ASSERT_TRUE(pump_until([&] { return got(top, WM_COMMAND); }));
    auto commands = recorded({WM_COMMAND});
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wparam, 1042u); // BN_CLICKED (0) and the button's id
    EXPECT_EQ(commands[0].lparam, int64_t(button));
}

TEST_F(X11Test, FocusMovesBetweenWindows) {
    HWnd a = make_window("first", {10, 10, 210, 110});
    HWnd b = make_window("second", {300, 10, 500, 110});
    settle();
    focus(a, "first");
    forget();
    focus(b, "second");
    auto activations = recorded({WM_ACTIVATE});
    ASSERT_EQ(activations.size(), 2u);
    EXPECT_EQ(activations[0].window, a);
    EXPECT_EQ(activations[0].wparam, uint64_t(WA_INACTIVE));
    EXPECT_EQ(activations[1].window, b);
    EXPECT_EQ(activations[1].wparam, uint64_t(WA_ACTIVE));
}

TEST_F(X11Test, DarkModeIsSetOnTheWindow) {
    ASSERT_TRUE(support_dark_mode());
    HWnd w = make_window("dark", {10, 10, 110, 110});
    settle();
    set_dark_mode(w, true, true);
    settle();
    EXPECT_NE(run("xprop -name dark _GTK_THEME_VARIANT").find("\"dark\""), std::string::npos);
}

TEST_F(X11Test, ThemeAndDesktopAnswers) {
    Metrics m = system_metrics();
    EXPECT_GT(m.scroller_width, 0);
    EXPECT_GT(m.scroller_height, 0);
    EXPECT_NE(m.text, m.window); // Adwaita: dark text on a light base
    EXPECT_FALSE(composited());  // Xvfb has no compositor
    EXPECT_NE(caret_blink_ms(), 0);
}

} // namespace
} // namespace kiv::testing
