// The service of the GUI backend that the runtime needs before any window
// exists: the error message box.
#pragma once

#include <string_view>

namespace kiv::gui {

// Shows `text` under `caption` and returns once the user has seen it: the
// caption line, then the text, on standard error always; then, when the
// backend has message boxes (GTK) and the caller is not the fault handler,
// a modal box. Async-signal-safe when called from the fault handler.
void alert(std::string_view caption, std::string_view text);

} // namespace kiv::gui
