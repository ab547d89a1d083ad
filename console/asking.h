// Asking for a line of input: the history of typed lines and the routine
// behind the global `ask`.
#pragma once

#include <string>
#include <vector>

#include "runtime/cell.h"

namespace kiv::console {

// The strings of a history block (newest first); other values are passed
// over.
std::vector<std::string> history_of(const Cell& block);

// Adds a typed line at the head of the history block unless it is empty or
// the same as the newest entry (case counts).
void remember(const Cell& block, const std::string& line);

// system/console/history, or null when the console object has none.
Cell* console_history();

// Registers the `ask` routine's body.
void register_ask_routines();

} // namespace kiv::console
