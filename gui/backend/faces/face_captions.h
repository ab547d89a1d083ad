// Captions of button faces drawn by the face code (NM_CUSTOMDRAW): a face
// whose font is an object shows its text in that font and its colour,
// placed by its para (centred both ways without one), right of the box of
// a check box or radio button.
#pragma once

#include "gui/backend/control_messages.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// CDRF_SKIPDEFAULT when it drew the caption, else CDRF_DODEFAULT.
int64_t draw_caption(HWnd control, const Cell& face, const CustomDraw& draw);

} // namespace kiv::gui::faces
