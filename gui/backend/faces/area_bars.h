// The scroll bars of an `area` face: shown when its text does not fit its
// client area (the horizontal one only when the text does not wrap).
#pragma once

#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// Shows or hides the area's bars for its `text` (both hidden when it is
// no string).
void area_scroll_bars(HWnd window, const Cell& face);

} // namespace kiv::gui::faces
