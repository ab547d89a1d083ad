// The draw dialect: a block of keywords and their arguments walked on an
// open drawing context. Errors are draw-invalid (positioned at the
// offending value) and draw-infinite (a block that contains itself).
#pragma once

#include "gui/backend/draw/context.h"
#include "runtime/cell.h"

namespace kiv::gui::draw {

// Draws the block from its head; nested blocks draw on the same context.
void parse_draw(Context& ctx, const Cell& block);

} // namespace kiv::gui::draw
