// The console's configuration file on disk: written whole or not at all.
#pragma once

namespace kiv::console {

// Registers the routines behind the configuration's saving: the atomic
// replace of a file and a line on standard error.
void register_config_routines();

} // namespace kiv::console
