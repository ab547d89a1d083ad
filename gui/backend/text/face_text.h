// What face windows and controls ask of fonts and paragraph styles: the
// para bits of a face, the font a window shows, a face leaving its font's
// and para's users when it is freed, and a control's font as CSS.
#pragma once

namespace kiv::gui::text {

// Sets the face windows' and controls' hooks to this module's functions,
// and has the default font follow DPI and font-setting changes.
void install_face_hooks();

} // namespace kiv::gui::text
