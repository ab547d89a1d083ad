// The boot sources: the error catalog, then the boot program and the
// standard library in Kiv, as `.kiv` files of one library folder, then the
// GUI engine from gui/engine beside that folder, then the graphical
// console from console/.
#pragma once

#include <cstddef>
#include <string>

namespace kiv::boot {

// In evaluation order; the first is the error catalog, which is loaded,
// not evaluated (tell it by its position: two equal literals need not lie
// at one address).
inline constexpr const char* source_names[] = {
    "errors", "boot", "actions", "natives", "routines", "core", "predicates", "conversions",
    "series", "collect", "operators", "system", "paths", "loading", "math",
    // The console, beside the library folder.
    "../console/engine", "../console/input", "../console/shell", "../console/config",
    "preprocessor", "scripts", "json", "csv", "url", "thru", "help", "tools", "trace", "debug",
    "reactivity",
    // The GUI engine, beside the library folder.
    "../gui/engine/templates", "../gui/engine/view-object", "../gui/engine/platform",
    "../gui/engine/utilities", "../gui/engine/deep-change", "../gui/engine/view-api",
    "../gui/engine/view-utilities", "../gui/engine/event-functions", "../gui/engine/vid-object",
    "../gui/engine/vid-options", "../gui/engine/vid-layout", "../gui/engine/rich-text",
    // Last of the engine: it sets the field GUI-rules of the VID object,
    // which the VID sources make.
    "../gui/engine/gui-rules",
    // The graphical console, over the GUI engine: completion, highlighting,
    // its window, face, about box and settings, its context and terminal.
    "../console/complete", "../console/highlight", "../console/window", "../console/console-face",
    "../console/about", "../console/settings", "../console/gui-console", "../console/terminal"};

// The text of `library_dir`/NAME.kiv; false when it cannot be read.
bool read_source(const char* library_dir, const char* name, std::string& text);

} // namespace kiv::boot
