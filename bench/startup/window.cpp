// Kiv's start with one window: the language boots from its image, the GUI
// starts (GTK when a display is set), one window is shown and painted
// until the X server maps it, then closed. Built on request only (target
// kiv_window_bench); bench/startup/run times it.
#include "boot/startup.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/faults.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

namespace {

using namespace kiv::gui;

bool painted = false;

int64_t window_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    if (message != WM_PAINT) return def_window_proc(window, message, wparam, lparam);
    PaintStruct ps;
    begin_paint(window, ps);
    end_paint(window, ps);
    painted = true;
    return 0;
}

// Whether the server shows a top-level of that title.
bool mapped(Display* display, const char* title) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(display, children[i], &name) && name) {
            found = std::strcmp(name, title) == 0 &&
                    XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable;
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

} // namespace

int main() {
    kiv::runtime::install_fault_handlers();
    kiv::boot::start();
    init();
    register_class({"BenchWindow", window_proc, 0, 0});
    HWnd w = create_window("BenchWindow", "start-up", WS_VISIBLE, {100, 100, 500, 400}, 0, 0);
    Msg m;
    while (!painted && get_message(m) > 0) dispatch_message(m);
    Display* display = XOpenDisplay(nullptr);
    while (display && !mapped(display, "start-up")) backend().wait(5);
    destroy_window(w);
    cleanup();
    std::printf("%s\n", painted ? "painted" : "not painted");
    return painted ? 0 : 1;
}
