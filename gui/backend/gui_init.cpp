#include "gui/backend/gui_init.h"

#include "gui/backend/classes.h"
#include "gui/backend/control_models.h"
#include "gui/backend/dpi.h"
#include "gui/backend/faces/faces.h"
#include "gui/backend/gtk_module.h"
#include "gui/backend/headless.h"
#include "gui/backend/resources.h"
#include "gui/backend/text/face_text.h"
#include "gui/backend/ticks.h"
#include "gui/backend/window_layer.h"
#include "platform/os_info.h"

#include <cstdlib>
#include <string_view>
#include <sys/utsname.h>

namespace kiv::gui {

namespace {

bool running = false;
OsVersion version;

OsVersion read_version() {
    OsVersion v;
    utsname name;
    if (uname(&name) != 0) return v;
    auto parts = os::kernel_version(name.release);
    v.major = parts[0];
    v.minor = parts[1];
    v.build = parts[2];
    return v;
}

void set_dpi_from_cursor() {
    if (auto m = monitor_info(current_screen())) set_dpi(m->dpi);
}

// GTK when a display is set, unless KIV_GUI names the backend.
bool wants_gtk() {
    const char* forced = std::getenv("KIV_GUI");
    if (forced && std::string_view(forced) == "headless") return false;
    if (forced && std::string_view(forced) == "gtk") return true;
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

void start_backend() {
    if (wants_gtk()) {
        if (auto gtk = open_gtk_backend()) {
            layer_start(std::move(gtk));
            // The monitors and the pointer, as GTK reported them at start.
            backend().pump();
            return;
        }
    }
    start_headless();
    // Without a display the engine still has a screen: one virtual
    // monitor (tests may configure others).
    set_monitors({{"virtual", {0, 0, 1280, 1024}, {0, 0, 1280, 1024}, 1.0, 96}});
}

// The headless backend's metrics, fixed: 16-pixel scroll bars, black text
// on a white window, a light grey panel.
constexpr Metrics headless_metrics = {96, 16, 16, 0x000000, 0xFFFFFF, 0xF0F0F0};

} // namespace

void init() {
    if (running) return;
    version = read_version();
    start_backend();
    start_ticks();
    set_dpi_from_cursor();
    register_system_controls();
    faces::init();
    text::install_face_hooks();
    register_classes();
    register_resource_kinds();
    running = true;
}

void cleanup() {
    if (!running) return;
    unregister_classes();
    layer_stop();
    running = false;
}

bool initialised() {
    return running;
}

bool on_display() {
    return running && layer_running() && std::string_view(backend().name()) != "headless";
}

const OsVersion& os_version() {
    return version;
}

Metrics system_metrics() {
    Metrics m = headless_metrics;
    if (layer_running()) backend().theme_metrics(m);
    m.dpi = int(current_dpi());
    return m;
}

std::vector<ControlPadding> control_paddings(const std::string& font_css) {
    return layer_running() ? backend().control_paddings(font_css) : std::vector<ControlPadding>{};
}

bool composited() {
    return layer_running() && backend().composited();
}

int caret_blink_ms() {
    return layer_running() ? backend().caret_blink_ms() : 600;
}

bool support_dark_mode() {
    return layer_running() && backend().support_dark_mode();
}

void set_dark_mode(HWnd window, bool dark, bool window_face) {
    if (layer_running()) backend().set_dark_mode(window, dark, window_face);
}

std::vector<Screen> fetch_all_screens() {
    std::vector<Screen> screens;
    for (const Monitor& m : monitors())
        screens.push_back(
            {{m.area.left, m.area.top}, {m.area.width(), m.area.height()}, m.dpi / 96.0, m.handle});
    return screens;
}

HMonitor current_screen() {
    return monitor_from_point(get_cursor_pos());
}

double dpi_for_window(HWnd window) {
    auto m = monitor_info(monitor_from_window(window));
    return m ? m->dpi : current_dpi();
}

double dpi_for_rect(Point position, double width, double height) {
    for (int round = 0; round < 4; ++round) {
        double before = current_dpi();
        Rect r{dpi_scale(position.x), dpi_scale(position.y), dpi_scale(position.x + width),
               dpi_scale(position.y + height)};
        if (auto m = monitor_info(monitor_from_rect(r))) set_dpi(m->dpi);
        if (current_dpi() == before) return before;
    }
    set_dpi_from_cursor();
    return current_dpi();
}

} // namespace kiv::gui
