// The routines the system object is built with: the error catalog, what
// this build is, the cache directory and the command line.
#pragma once

namespace kiv::system_routines {

// Registers the bodies under their routine names.
void register_routines();

} // namespace kiv::system_routines
