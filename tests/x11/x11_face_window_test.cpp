// Face windows on the X server: what their styles ask of the window
// manager, and a transparent top-level flattened over the panel colour
// when no compositor runs.
#include "x11_fixture.h"

#include "gui/backend/faces/face_styles.h"

#include <cairo.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::testing;

namespace {

// Paints its client area half-transparent red.
int64_t glass_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (message != WM_PAINT) return def_window_proc(w, message, wparam, lparam);
    PaintStruct ps;
    cairo_t* cr = begin_paint(w, ps);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 1, 0, 0, 0.5);
    cairo_paint(cr);
    end_paint(w, ps);
    return 0;
}

// Starts xcompmgr on the display; -1 when it cannot run.
pid_t start_compositor() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char name[] = "xcompmgr";
    char* argv[] = {name, nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, name, &actions, nullptr, argv, environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace

TEST_F(X11Test, WindowStylesReachTheWindowManager) {
    HWnd bare = create_window_ex(0, probe_class, "bare", WS_VISIBLE | faces::WS_POPUP,
                                 {10, 10, 110, 60}, 0, 0);
    HWnd tool = create_window_ex(faces::WS_EX_TOOLWINDOW, probe_class, "tool",
                                 WS_VISIBLE | faces::WS_CAPTION | faces::WS_SYSMENU,
                                 {200, 10, 300, 60}, 0, 0);
    ASSERT_TRUE(bare && tool);
    settle();
    std::string hints =
        run("xprop -id " + std::to_string(find_by_title("bare")) + " _MOTIF_WM_HINTS");
    // Moving only (no frame, buttons or menu), and no decorations.
    EXPECT_NE(hints.find("= 0x3, 0x4, 0x0,"), std::string::npos) << hints;
    std::string type =
        run("xprop -id " + std::to_string(find_by_title("tool")) + " _NET_WM_WINDOW_TYPE");
    EXPECT_NE(type.find("_NET_WM_WINDOW_TYPE_UTILITY"), std::string::npos) << type;
}

TEST_F(X11Test, ATransparentTopLevelIsFlattenedWithoutACompositor) {
    register_class({"Glass", glass_proc, 0, 0});
    HWnd w = create_window_ex(WS_EX_LAYERED, "Glass", "glass", WS_VISIBLE | faces::WS_POPUP,
                              {300, 300, 400, 400}, 0, 0);
    ASSERT_NE(w, 0u);
    settle();
    uint32_t c = pixel(350, 350);
    int red = int(c >> 16), green = int((c >> 8) & 0xFF), blue = int(c & 0xFF);
    // Half red over the light panel colour, not the unblended 128,0,0.
    EXPECT_GT(red, 240) << std::hex << c;
    EXPECT_NEAR(green, blue, 8) << std::hex << c;
    EXPECT_GT(green, 100) << std::hex << c;
    EXPECT_LT(green, 135) << std::hex << c;
}

TEST_F(X11Test, ATransparentTopLevelBlendsUnderACompositor) {
    if (run("command -v xcompmgr").empty()) GTEST_SKIP() << "xcompmgr is not installed";
    paint_color() = 0x0000FF;
    make_window("under", {300, 300, 400, 400});
    settle();
    pid_t compositor = start_compositor();
    ASSERT_GT(compositor, 0);
    bool composited = pump_until([] { return backend().composited(); });
    register_class({"Glass", glass_proc, 0, 0});
    HWnd w = create_window_ex(WS_EX_LAYERED, "Glass", "glass", WS_VISIBLE | faces::WS_POPUP,
                              {300, 300, 400, 400}, 0, 0);
    settle();
    // Half red over the blue window below: 128, 0, 127.
    bool blended = pump_until([&] {
        uint32_t c = pixel(350, 350);
        return std::abs(int(c >> 16) - 128) <= 3 && int(c >> 8 & 0xFF) <= 3 &&
               std::abs(int(c & 0xFF) - 127) <= 3;
    });
    uint32_t seen = pixel(350, 350);
    destroy_window(w);
    kill(compositor, SIGTERM);
    waitpid(compositor, nullptr, 0);
    EXPECT_TRUE(composited);
    EXPECT_TRUE(blended) << std::hex << seen;
}
