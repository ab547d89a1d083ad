// Native windows for faces: the class and styles of each face type, the
// window made from the facets, the slots tying it to its face, showing,
// redrawing, and the queries answered from faces (facet colours, text
// size).
#pragma once

#include <cstdint>

#include "gui/backend/faces/face.h"
#include "gui/backend/text/text_size.h"
#include "gui/backend/window_types.h"
#include "runtime/cell.h"

#include <string>

namespace kiv::gui::faces {

// Makes the face's window under `parent` at the parent's DPI (restored
// when an error leaves). Raises face-type for a value that is no face.
HWnd OS_make_view(const Cell& face, HWnd parent);
// Makes the window; 0, with a diagnostic line, when the layer refuses it.
HWnd create_face_window(const Cell& face, HWnd parent);
// Ties the window to the face (once): the face goes into the slot table
// and its handle into the window's face slot.
void link_face(HWnd window, const Cell& face);
void init_window_slots(HWnd window);
// The text a face's window is made with: the string `text` (none for an
// area, which is filled after).
std::string window_text(const Cell& face, FaceType type);
// Makes the face's window again (its styles read anew from the facets)
// at the same place among its siblings; the face's state block keeps the
// new window.
HWnd remake_face_window(HWnd window, const Cell& face);
// Shows a window, the first time with activation and the focus on the
// face its window face has selected.
void OS_show_window(HWnd window);
// The window of the face a window face's `selected` facet holds (0: none),
// which gets the keyboard focus when the window is shown or activated.
HWnd selected_window(HWnd window);
// Paints the whole window at once.
void OS_redraw(HWnd window);
void OS_refresh_window(HWnd window);
// A tuple facet as 0xBBGGRR; -1 for any other value.
int32_t facet_color(const Cell& face, Facet f);
// Whether a window is layered (painted into a bitmap and composed).
bool layered(HWnd window);

// A window face's offset is the top-left corner of its frame, the one the
// window manager draws (where it draws none, of its menu bar or client
// area), and its size that of its client area: the frame and the menu
// bar lie between them. The corner of a window face's window (screen,
// device pixels), and the rectangle for set_window_pos that puts the
// corner at `corner` around a client area of `width` x `height`.
Point frame_corner(HWnd window);
Rect window_at(HWnd window, Point corner, int width, int height);

// The size `text` (a string value) takes in the face, in logical pixels.
text::TextSize get_text_size(const Cell& face, const Cell& text);

// The timer of a face's rate facet; raises invalid-facet-type for a rate
// that is no positive integer or time.
void change_rate(HWnd window, const Cell& rate);

} // namespace kiv::gui::faces
