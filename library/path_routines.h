// The routine under clean-path: the walk that drops `.` and `..` segments
// and doubled slashes from a file name, url or text in one pass.
#pragma once

namespace kiv::path_routines {

// Registers the bodies under their routine names.
void register_routines();

} // namespace kiv::path_routines
