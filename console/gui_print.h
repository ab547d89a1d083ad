// The graphical console's print hooks: what print and prin hand over, and
// what the runtime writes as C text, goes to the terminal's vprint.
#pragma once

#include <string>

namespace kiv::console {

// Keeps what is printed or written from now on (up to 64 KiB) until
// add-gui-print registers the terminal's hooks, which show it first.
void keep_early_output();

// Answers the text kept so far and forgets it: for a start that failed
// before the terminal took the output.
std::string take_early_output();

// Registers the routine add-gui-print.
void register_gui_print_routines();

} // namespace kiv::console
