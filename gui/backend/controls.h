// The built-in control classes of the window layer (BUTTON, EDIT, STATIC,
// ListBox, ComboBox, SCROLLBAR, msctls_progress32, msctls_trackbar32,
// SysTabControl32, SysMonthCal32) with minimal models: every control keeps
// its text; EDIT keeps a selection, types characters into it and, with
// ES_MULTILINE, takes line breaks.
#pragma once

#include <cstdint>

#include "gui/backend/window_types.h"

namespace kiv::gui {

// Registers the built-in control classes with the running layer.
void register_system_controls();

// An EDIT control's selection, start and end as character indexes.
struct Selection {
    int32_t start, end;
};
Selection edit_selection(HWnd edit);

} // namespace kiv::gui
