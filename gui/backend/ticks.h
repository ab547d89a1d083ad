// The GUI's tick counter: milliseconds as a float, from CLOCK_MONOTONIC,
// since the counter was started (gui/init starts it).
#pragma once

namespace kiv::gui {

void start_ticks();
// Starts the counter on first use.
double ticks_ms();

} // namespace kiv::gui
