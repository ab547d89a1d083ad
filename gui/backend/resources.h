// Native objects that values own through the externals table: fonts (the
// backend's font descriptions) and reference-counted toolkit objects. Both
// kinds release through the running backend, so no toolkit library is
// loaded before the GUI starts.
#pragma once

#include <cstdint>

namespace kiv::gui {

// Registers the kinds "font" and "com-object" with the externals table,
// once per table (a kind already there is found again).
void register_resource_kinds();

// The kind numbers given by the last registration (0 before it).
uint32_t font_kind();
uint32_t com_object_kind();

} // namespace kiv::gui
