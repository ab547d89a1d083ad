// The image list of a button or toggle face, made from its `image`: one
// image, a block of images (normal, hot, pressed, disabled, defaulted,
// stylus-hot; the first stands in for those missing), or a block of an
// image and the pair size it is shown at.
#pragma once

#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// Replaces the button's image list (destroying the old one); no list
// without images.
void make_image_list(HWnd window, const Cell& face);
// Destroys the button's image list.
void free_image_list(HWnd window);

} // namespace kiv::gui::faces
