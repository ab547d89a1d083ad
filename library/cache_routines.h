// The routines the disk cache of remote files stands on: making its
// private folders and replacing a cached file at once.
#pragma once

namespace kiv::cache_routines {

// Registers the bodies under their routine names.
void register_routines();

} // namespace kiv::cache_routines
