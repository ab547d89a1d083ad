// The routines that give Kiv code direct access to the runtime: exiting
// with a status, quiet setters, bit shifts, the output state, the current
// directory and files, tuple construction, the argument stack and call
// frames, tracing, standard output and collector statistics.
#pragma once

namespace kiv::core_routines {

// Registers the bodies under their routine names.
void register_routines();

} // namespace kiv::core_routines
