// The routines that give Kiv code the operating system's services:
// os-info, read-clipboard and write-clipboard.
#pragma once

namespace kiv::os_routines {

// Registers the bodies under their routine names.
void register_routines();

} // namespace kiv::os_routines
