// What face windows ask of fonts and paragraph styles: the para bits of a
// face, the font a window shows, and a face leaving its font's and para's
// users when it is freed.
#pragma once

namespace kiv::gui::text {

// Sets the face windows' hooks to this module's functions.
void install_face_hooks();

} // namespace kiv::gui::text
