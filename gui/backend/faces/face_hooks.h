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
    // The camera of a camera face: started with its data and selection,
    // stopped, fitted to a new size, its current frame as an image.
    void (*camera_start)(HWnd window, const Cell& face) = nullptr;
    void (*camera_stop)(HWnd window) = nullptr;
    void (*camera_fit)(HWnd window) = nullptr;
    bool (*camera_snapshot)(HWnd window, Cell& image) = nullptr;
    // Sets a face's change of camera (none stops, an integer picks a device).
    void (*camera_select)(HWnd window, const Cell& face) = nullptr;
};
FaceHooks& hooks();

} // namespace kiv::gui::faces
