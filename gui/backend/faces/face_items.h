// The items of list boxes, combo boxes and tab panels made from their
// faces' data: every item value (string, file, url, tag, email, ref) in
// order, other values skipped. A change inside the data makes the
// control again, so that it always equals the data.
#pragma once

#include "gui/backend/faces/face.h"
#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

bool is_item(const Cell& value);
void init_text_list(HWnd window, const Cell& face);
void init_combo(HWnd window, const Cell& face, FaceType type);
// The selected facet (1-based) chosen in a list or combo box.
void select_item(HWnd window, const Cell& face, FaceType type);
void set_tabs(HWnd window, const Cell& face);
// The tab of the selected facet chosen, and its page shown.
void select_tab(HWnd window, const Cell& face);
// Shows the page face at the 0-based index and hides the page shown
// before.
void show_tab_page(const Cell& face, int32_t index);
void show_selected_page(const Cell& face);
// Reads a control's text (index -1) or a combo item's text into the
// face's text facet.
void get_text_alt(HWnd window, const Cell& face, int32_t index);

} // namespace kiv::gui::faces
