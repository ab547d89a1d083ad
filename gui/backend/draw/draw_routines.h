// The drawing routines bound in every run, display or not: draw-image
// draws a block into an image.
#pragma once

#include "runtime/cell.h"

namespace kiv::gui::draw {

// args: image, commands; the image is the result.
void draw_image(Cell* args);

void register_routines();

} // namespace kiv::gui::draw
