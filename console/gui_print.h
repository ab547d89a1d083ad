// The graphical console's print hooks: what print and prin hand over, and
// what the runtime writes as C text, goes to the terminal's vprint.
#pragma once

namespace kiv::console {

// Registers the routine add-gui-print.
void register_gui_print_routines();

} // namespace kiv::console
