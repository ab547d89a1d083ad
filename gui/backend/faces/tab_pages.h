// The page panels of tab panels: each fitted into the tab control's page
// area (TCM_ADJUSTRECT of its client area), and moved or resized with it.
#pragma once

#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// Sets the panel's offset and size to the page area of `tabs` when the
// panel's parent is a tab-panel face; false otherwise.
bool fit_tab_page(const Cell& panel, HWnd tabs);

// What happened to a tab panel: its pages follow.
enum class TabPanelChange { moved, resized };
void tab_panel_pages(HWnd tabs, TabPanelChange change);

} // namespace kiv::gui::faces
