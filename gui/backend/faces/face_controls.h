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

} // namespace kiv::gui::faces
