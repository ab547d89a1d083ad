// Whether GTK's accessibility bridge and GSettings can reach a bus at
// start. The bridge takes the accessibility bus from AT_SPI_BUS_ADDRESS,
// then from the root window's AT_SPI_BUS property, then asks the session
// bus for it; libdbus and GDBus find that bus in DBUS_SESSION_BUS_ADDRESS,
// at $XDG_RUNTIME_DIR/bus, or by starting dbus-launch (from /usr/bin, else
// along the PATH).
#define G_SETTINGS_ENABLE_BACKEND
#include "gui/backend/gtk/gtk_backend.h"

#include <gio/gsettingsbackend.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

namespace kiv::gui::gtk {

namespace {

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

bool is_socket(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// dbus-launch where libdbus looks for it: its own directory, then the
// PATH (the C library's default one when none is set).
bool dbus_launch_found() {
    if (access("/usr/bin/dbus-launch", X_OK) == 0) return true;
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/bin:/usr/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (access(((dir.empty() ? "." : dir) + "/dbus-launch").c_str(), X_OK) == 0) return true;
    return false;
}

} // namespace

bool session_bus_reachable() {
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    return set("DBUS_SESSION_BUS_ADDRESS") ||
           (runtime_dir && *runtime_dir && is_socket(std::string(runtime_dir) + "/bus")) ||
           dbus_launch_found();
}

void keep_settings_without_bus() {
    if (std::getenv("GSETTINGS_BACKEND") || session_bus_reachable()) return;
    setenv("GSETTINGS_BACKEND", "memory", 1);
    g_object_unref(g_settings_backend_get_default());
    unsetenv("GSETTINGS_BACKEND");
}

// The accessibility bus published on the display's root window is read on
// a connection of the probe's own, as GTK's is not open yet; it stays open
// until GTK has its own, since an X server with no client left resets, and
// GTK's connection would meet the reset.
AccessibilityBus::AccessibilityBus() {
    // The user's own NO_AT_BRIDGE decides without a look.
    if (std::getenv("NO_AT_BRIDGE")) return;
    bool reachable = set("AT_SPI_BUS_ADDRESS") || session_bus_reachable();
    leave_out_ = !reachable;
    if (reachable || !(display_ = XOpenDisplay(nullptr))) return;
    if (Atom name = XInternAtom(display_, "AT_SPI_BUS", True); name != None) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, DefaultRootWindow(display_), name, 0, 1024, False,
                               XA_STRING, &type, &format, &count, &after, &data) == Success)
            leave_out_ = count == 0;
        if (data) XFree(data);
    }
}

AccessibilityBus::~AccessibilityBus() {
    if (display_) XCloseDisplay(display_);
}

} // namespace kiv::gui::gtk
