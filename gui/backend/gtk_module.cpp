#include "gui/backend/gtk_module.h"

#include "platform/pango_api.h"
#include "runtime/stdout.h"

#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace kiv::gui {

namespace {

// The module's path: kiv-gtk.so in the folder of the running executable.
std::string module_path() {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path = n > 0 ? std::string(exe, size_t(n)) : std::string();
    size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/kiv-gtk.so";
}

using Entry = Backend* (*)();

// Opened once: GTK cannot be unloaded, so later starts reuse it. Its
// libraries join the program's global symbols: GtkBuilder finds a type
// named in a template that is not registered yet by looking its
// `*_get_type` function up there (the font chooser's list names Pango's
// font family and face types), and fails where it cannot see them.
Entry module_entry() {
    static const Entry entry = [] {
        std::string path = module_path();
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
        auto found = module ? reinterpret_cast<Entry>(dlsym(module, gtk_module_entry)) : nullptr;
        if (!found) stdout_::print_line("*** GUI: cannot load ", dlerror(), "; running headless");
        return found;
    }();
    return entry;
}

} // namespace

std::unique_ptr<Backend> open_gtk_backend() {
    Entry entry = module_entry();
    if (!entry) return nullptr;
    // GTK's font map and ours then find fontconfig ready.
    if (const PangoApi* pango = pango_api()) load_font_config(*pango);
    std::unique_ptr<Backend> backend(entry());
    if (!backend) stdout_::print_line("*** GUI: cannot open the display; running headless");
    return backend;
}

} // namespace kiv::gui
