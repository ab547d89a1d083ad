// The routines behind the system object's change handlers: they carry the
// callback flags and the float-format flags into the runtime. No global
// word names them; the handlers hold them in their bodies.
#pragma once

namespace kiv::handler_routines {

// Registers the bodies under their routine names.
void register_routines();

} // namespace kiv::handler_routines
