// Native objects that values own through the externals table: fonts
// (reference-counted font records) and Pango's reference-counted objects
// (text layouts). Neither needs the GUI started: text is measured and
// drawn into images without it.
#pragma once

#include <cstdint>

namespace kiv::gui {

// Registers the kinds "font" and "com-object" with the externals table,
// once per table (a kind already there is found again): at start-up, and
// by the text code before it stores a resource.
void register_resource_kinds();

// The kind numbers given by the last registration (0 before it).
uint32_t font_kind();
uint32_t com_object_kind();

} // namespace kiv::gui
