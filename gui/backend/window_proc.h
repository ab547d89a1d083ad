// The window procedure of window and panel faces: capture, close,
// activation, moves and sizes as events, the activation request, display
// changes. What needs the face code of later layers (drawing, facets,
// controls, menus, scrolling, DPI changes) goes through its hooks.
#pragma once

#include <cstdint>

#include "gui/backend/window_types.h"

namespace kiv::gui {

// Byte indexes of the face slots in a window's extra memory.
enum FaceSlot : int {
    wc_offset = 60,                    // the face's slot-table handle; 0: no face
    slot_widget_extra = wc_offset - 4, // -1 while the engine closes the window
    slot_flags = wc_offset - 12,
    slot_face_flags = wc_offset + 16,
};

struct WindowProcHooks {
    // Answers a message the face code handles; leaves `handled` false to
    // let the procedure go on.
    int64_t (*face_message)(HWnd, uint32_t, uint64_t, int64_t, bool& handled) = nullptr;
    // Writes a window face's offset (WM_MOVE) or size (WM_SIZE) facet.
    void (*store_geometry)(HWnd, uint32_t message, int64_t lparam) = nullptr;
    // The window of the face a window face's `selected` facet holds (0:
    // none).
    HWnd (*selected_window)(HWnd) = nullptr;
    // Refreshes the screens of the engine after a display change.
    void (*refresh_screens)() = nullptr;
};
WindowProcHooks& window_proc_hooks();

int64_t window_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);

} // namespace kiv::gui
