// Start-up of the GUI backend (gui/init, at the first GUI need) and what it
// answers about the system: version, metrics, monitors and their DPI, dark
// mode, the caret's blink time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/backend/window_types.h"

namespace kiv::gui {

// The system version as the platform object holds it: the kernel's major
// and minor numbers, its third number as the build, product 1.
struct OsVersion {
    uint32_t major = 0, minor = 0, build = 0, product = 1;
};

// Chooses the backend: GTK (the kiv-gtk.so module beside the executable)
// when a display is set, else the headless backend with one virtual
// monitor of 1280x1024 at scale 1; KIV_GUI=headless or KIV_GUI=gtk overrides the choice. A GTK
// module that is missing or cannot start leaves one diagnostic line and
// the headless backend. Idempotent while running.
void init();
void cleanup();
bool initialised();
// Whether windows reach a display (GTK runs), not only the models of the
// headless backend.
bool on_display();
const OsVersion& os_version();

Metrics system_metrics();
// What the native views of text controls take around a text in the font
// `font_css` gives; none headless, where the layout's own figures hold.
std::vector<ControlPadding> control_paddings(const std::string& font_css);
// Whether desktop composition runs.
bool composited();
// Half the caret blink cycle in ms; negative when the caret does not blink.
int caret_blink_ms();

bool support_dark_mode();
void set_dark_mode(HWnd window, bool dark, bool window_face);

// One monitor as fetch-all-screens gives it: offset and size (device
// pixels), scale = DPI / 96, and the monitor's handle.
struct Screen {
    Point offset, size;
    double scale;
    HMonitor handle;
};
std::vector<Screen> fetch_all_screens();
// The monitor under the pointer, else the nearest; 0 without monitors.
HMonitor current_screen();
// The DPI of the monitor holding most of a window's root, else the
// current DPI.
double dpi_for_window(HWnd window);
// Up to four rounds of: scale the logical rectangle with the current DPI,
// take the DPI of the monitor holding most of it; when it keeps changing,
// the DPI of the monitor under the pointer.
double dpi_for_rect(Point position, double width, double height);

} // namespace kiv::gui
