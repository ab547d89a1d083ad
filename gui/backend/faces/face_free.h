// Destroying faces: their native resources freed depth first (each face
// once, even one inside its own pane), their ties to windows cut, and the
// top window closed; and faces turned into images.
#pragma once

#include "runtime/cell.h"

namespace kiv::gui::faces {

void free_faces(const Cell& face, bool top);
// Frees the face tree; `empty` tells that the last window of the loop
// goes, which ends that loop.
void OS_destroy_view(const Cell& face, bool empty);
// The face as an image: the window's client area with everything drawn
// in it, none for a face without a window; false for a value that is no
// face.
bool to_image(const Cell& face, Cell& out);

} // namespace kiv::gui::faces
