// Controls filled from their faces' facets: items of lists and combos,
// tabs, button states, ranges and positions, dates, hints and selections;
// and the control's part of a facet change.
#pragma once

#include "gui/backend/faces/face.h"
#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// Fills a new control from its facets.
void init_control(HWnd window, const Cell& face, FaceType type);
// The control's part of a change of one facet (size, image, data,
// selected, flags, color); false when the type has none.
bool control_facet_changed(HWnd window, const Cell& face, FaceType type, Facet f);

// A change inside the data block of a list, combo or tab panel (or inside
// one of its item strings) applied to the control; false when the face
// has no such control.
bool update_items(const Cell& face, const Cell& series, const Cell& action, const Cell* new_value,
                  int32_t index, int32_t part);

// Edit selections: the selected facet (a pair of 1-based first and last
// characters) set on the control, and read back (none when empty).
void set_selection(HWnd window, const Cell& face);
void get_selection(HWnd window, const Cell& face);
// Read-backs of a control's state into its face's data; a slider's
// answers whether its data changed.
void read_check(HWnd window, const Cell& face);
bool read_slider(HWnd window, const Cell& face);
void read_calendar_date(HWnd window, const Cell& face);

} // namespace kiv::gui::faces
