// What the face windows need of the font, menu, camera, control and
// drawing code, set by those modules; a null hook leaves its step out.
#pragma once

#include <cstdint>

#include "gui/backend/faces/face.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

struct FaceHooks {
    // The paragraph style bits of a face's para object for its type.
    uint32_t (*para_style)(const Cell& face, FaceType type) = nullptr;
    // Gives the window the face's font (the default font without one).
    void (*set_font)(HWnd window, const Cell& face) = nullptr;
    // Takes the face out of the users of its font or para object and frees
    // the native font when it was the last.
    void (*release_font_user)(const Cell& face, Facet which) = nullptr;
};
FaceHooks& hooks();

} // namespace kiv::gui::faces
