// The platform routines of the common dialogs: `request-file`,
// `request-dir` and `request-font`. Their arguments are checked and
// converted before any dialog opens; a cancel answers none.
#pragma once

#include "runtime/cell.h"

namespace kiv::gui::platform {

// (title, name, filter, save?, multi?) -> file!, block of file! or none.
void request_file(Cell* args);
// (title, dir, filter, keep?, multi?) -> file! ending in "/", or none.
void request_dir(Cell* args);
// (font, selected, mono?) -> the font object filled in, or none.
void request_font(Cell* args);

} // namespace kiv::gui::platform
