#include "x11_fixture.h"

#include "gui/backend/gui_init.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdk.h>

#include <cairo.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>

namespace kiv::testing {

using namespace gui;

namespace {

int64_t probe_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    X11Test::log().push_back({window, message, wparam, lparam});
    switch (message) {
    case WM_CLOSE: return 0;
    case WM_PAINT: {
        PaintStruct ps;
        cairo_t* cr = begin_paint(window, ps);
        uint32_t c = X11Test::paint_color();
        cairo_set_source_rgb(cr, (c >> 16 & 0xFF) / 255.0, (c >> 8 & 0xFF) / 255.0,
                             (c & 0xFF) / 255.0);
        cairo_paint(cr);
        end_paint(window, ps);
        return 0;
    }
    default: return def_window_proc(window, message, wparam, lparam);
    }
}

Window find_in(Display* display, Window window, const std::string& title) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        bool same = title == name;
        XFree(name);
        if (same) return window;
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) found = find_in(display, children[i], title);
    if (children) XFree(children);
    return found;
}

// Saves the whole screen as a PPM file in the run's temporary folder.
void save_screenshot(Display* display, const std::string& test) {
    Window root = DefaultRootWindow(display);
    XWindowAttributes a;
    XGetWindowAttributes(display, root, &a);
    XImage* image = XGetImage(display, root, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    if (!image) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp ? tmp : "/tmp") + "/kiv-x11-" + test + ".ppm";
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << a.width << " " << a.height << "\n255\n";
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            unsigned long p = XGetPixel(image, x, y);
            char rgb[3] = {char(p >> 16), char(p >> 8), char(p)};
            out.write(rgb, 3);
        }
    XDestroyImage(image);
    std::printf("screenshot: %s\n", path.c_str());
}

} // namespace

std::vector<Recorded>& X11Test::log() {
    static std::vector<Recorded> messages;
    return messages;
}

uint32_t& X11Test::paint_color() {
    static uint32_t color = 0xFFFFFF;
    return color;
}

void X11Test::SetUp() {
    setenv("KIV_GUI", "gtk", 1);
    gui::init();
    ASSERT_STREQ(backend().name(), "gtk");
    register_class({probe_class, probe_proc, CS_DBLCLKS, 0});
    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    // Each test starts as on a fresh server: the keyboard focus follows the
    // pointer, and the pointer rests in a corner no test window covers. A
    // pointer left over where a new window appears would give that window
    // the focus before the test asks for it, and the explicit focus that
    // follows would take it away and give it back (out, then in).
    XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
    move_pointer(DisplayWidth(display, DefaultScreen(display)) - 1,
                 DisplayHeight(display, DefaultScreen(display)) - 1);
    log().clear();
    paint_color() = 0xFFFFFF;
}

void X11Test::TearDown() {
    if (HasFailure() && display)
        save_screenshot(display, ::testing::UnitTest::GetInstance()->current_test_info()->name());
    gui::cleanup();
    if (display) XCloseDisplay(display);
}

HWnd X11Test::make_window(const std::string& title, Rect rect, HWnd parent, const char* cls,
                          uint32_t control_id) {
    uint32_t style = WS_VISIBLE | (parent ? uint32_t(WS_CHILD) : 0u);
    return create_window(cls, title, style, rect, parent, 0, control_id);
}

bool X11Test::pump_until(const std::function<bool()>& done, double timeout_ms) {
    double end = backend().now_ms() + timeout_ms;
    Msg m;
    while (!done()) {
        double left = end - backend().now_ms();
        if (left <= 0) return false;
        while (peek_message(m)) {
            translate_message(m);
            dispatch_message(m);
        }
        if (done()) break;
        backend().wait(std::min(left, 20.0));
    }
    return true;
}

void X11Test::settle() {
    XSync(display, False);
    Rect r;
    pump_until([&] {
        for (HWnd top : top_level_windows())
            if (get_update_rect(top, r)) return false;
        return true;
    });
    // Two round trips through the loop: GTK draws on its frame clock.
    for (int i = 0; i < 3; ++i) {
        backend().wait(30);
        backend().pump();
        XSync(display, False);
    }
}

std::vector<Recorded> X11Test::recorded(std::vector<uint32_t> codes) const {
    std::vector<Recorded> out;
    for (const Recorded& r : log())
        if (codes.empty() || std::find(codes.begin(), codes.end(), r.message) != codes.end())
            out.push_back(r);
    return out;
}

bool X11Test::got(HWnd window, uint32_t message) const {
    for (const Recorded& r : log())
        if (r.window == window && r.message == message) return true;
    return false;
}

gui::Rect X11Test::xwininfo_rect(const std::string& title) {
    std::string info = run("xwininfo -name '" + title + "'");
    auto field = [&](const char* name) {
        std::smatch m;
        std::regex pattern(std::string(name) + ":\\s+(-?\\d+)");
        return std::regex_search(info, m, pattern) ? std::stoi(m[1]) : -1;
    };
    int x = field("Absolute upper-left X"), y = field("Absolute upper-left Y");
    return {x, y, x + field("Width"), y + field("Height")};
}

Window X11Test::find_by_title(const std::string& title) const {
    return find_in(display, DefaultRootWindow(display), title);
}

void X11Test::focus(HWnd window, const std::string& title) {
    Window x = 0;
    ASSERT_TRUE(pump_until([&] { return (x = find_by_title(title)) != 0; }));
    ASSERT_TRUE(pump_until([&] {
        XWindowAttributes a;
        return XGetWindowAttributes(display, x, &a) && a.map_state == IsViewable;
    }));
    XSetInputFocus(display, x, RevertToParent, CurrentTime);
    XSync(display, False);
    // GTK's connection has the focus events once a round trip of its own
    // returns: every one of them is handled before the test goes on, so a
    // late one cannot move the focus the test gives next.
    gdk_display_sync(gdk_display_get_default());
    backend().pump();
    ASSERT_TRUE(pump_until([&] { return get_active_window() == window; }));
}

void X11Test::move_pointer(int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
}

void X11Test::click(unsigned button, bool down) {
    XTestFakeButtonEvent(display, button, down, CurrentTime);
    XSync(display, False);
}

void X11Test::key(unsigned long keysym, bool down) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), down, CurrentTime);
    XSync(display, False);
}

void X11Test::tap(std::initializer_list<unsigned long> keysyms) {
    for (unsigned long k : keysyms) key(k, true);
    for (auto it = std::rbegin(keysyms); it != std::rend(keysyms); ++it) key(*it, false);
}

uint32_t X11Test::pixel(int x, int y) const {
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xFFFFFFFF;
    uint32_t p = uint32_t(XGetPixel(image, 0, 0)) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
}

std::string X11Test::run(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return out;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
    return out;
}

} // namespace kiv::testing
