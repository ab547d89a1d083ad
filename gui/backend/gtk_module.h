// The GTK backend lives in a module of its own (kiv-gtk.so, built beside
// the executable) opened with dlopen when the GUI starts with a display:
// a run that makes no window loads none of GTK's libraries.
#pragma once

#include "gui/backend/backend.h"

#include <memory>

namespace kiv::gui {

// The name of the module's entry point: `Backend* entry()`, null when GTK
// cannot open the display.
inline constexpr const char* gtk_module_entry = "kiv_gtk_backend_create";

// Opens the module and starts GTK; null, with one diagnostic line, when the
// module is missing or the display cannot be opened.
std::unique_ptr<Backend> open_gtk_backend();

} // namespace kiv::gui
