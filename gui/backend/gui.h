// The service of the GUI backend that the runtime needs before any window
// exists: the error message box.
// Without a display backend the message box is written to standard error.
#pragma once

#include <string_view>

namespace kiv::gui {

// Shows `text` under `caption` and returns once the user has seen it; here:
// the caption line, then the text, on standard error. Async-signal-safe, so
// that the fault handler may report through it.
void alert(std::string_view caption, std::string_view text);

} // namespace kiv::gui
