// The two services of the GUI backend that the runtime needs before any
// window exists: the error message box and one pass of the event loop.
// Without a display backend the message box is written to standard error.
#pragma once

#include <string_view>

namespace kiv::gui {

// Shows `text` under `caption` and returns once the user has seen it; here:
// the caption line, then the text, on standard error. Async-signal-safe, so
// that the fault handler may report through it.
void alert(std::string_view caption, std::string_view text);

// Handles at most one pending window message when `no_wait` is set; returns
// 1 when a message was handled, else 0. There are no windows yet: returns 0.
int do_events(bool no_wait);

} // namespace kiv::gui
