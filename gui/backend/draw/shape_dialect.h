// The shape sub-dialect: a block of path commands (move, line, hline,
// vline, arc, curve, curv, qcurve, qcurv, close), each taking absolute
// points, or points relative to the current point when written as a
// lit-word. The path is drawn, or becomes a clip.
#pragma once

#include "gui/backend/draw/context.h"
#include "runtime/cell.h"

namespace kiv::gui::draw {

// Builds the block's path and fills and strokes it.
void draw_shape(Context& ctx, const Cell& block);
// Builds the block's path and clips to it.
void clip_shape(Context& ctx, const Cell& block);

} // namespace kiv::gui::draw
