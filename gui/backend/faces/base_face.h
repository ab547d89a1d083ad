// Faces the program draws itself (base and rich-text faces, and layered
// window and panel faces): their set-up, their window procedures, the
// transparent ones composed over what lies below them, mouse capture,
// cursors and the caret face.
#pragma once

#include <cairo.h>
#include <cstdint>

#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

void init_base_face(HWnd window, HWnd parent, const Cell& face, bool layered, uint32_t flags);
// The window children of `parent` are made under. Transparent faces are
// composed with their children drawn over them, so that is the parent.
HWnd make_internal_window(HWnd parent);
// Repaints a layered face now, or when the last repaint is too recent at
// the next frame (a repaint is never dropped). A face that has to be
// layered and is not yet gets its window made again first.
void update_layered_window(HWnd window, const Cell& face);
// The cursor of `options` (`cursor:` and a word or an image) for the
// window; the arrow for any other options.
void set_cursor(HWnd window, const Cell& options);
// Frees the image cursor a window holds.
void release_cursor(HWnd window);
// Ends one level of a base face's mouse capture (any other capture ends).
void end_base_capture();
// Draws the face's image stretched over the client area; true when it
// drew.
bool paint_base(HWnd window, cairo_t* cr, const Cell& face);

int64_t base_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);
int64_t base_internal_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);

// Named cursors (the cursor slot), or the image cursor.
enum CursorKind : int32_t {
    cursor_none,
    cursor_arrow,
    cursor_ibeam,
    cursor_hand,
    cursor_cross,
    cursor_resize_ns,
    cursor_resize_ew,
    cursor_image,
};

// Frame time of layered repaints, in ms.
inline constexpr double frame_ms = 16.6;

} // namespace kiv::gui::faces
