// Geometry the shape commands share: the brushes' source colour, the
// painting of a path and elliptical arcs as Bezier curves.
#pragma once

#include <numbers>

#include "gui/backend/draw/context.h"

namespace kiv::gui::draw {

constexpr double pi = std::numbers::pi;

// Appends the arc of the ellipse (centre c, radii rx and ry, its axes
// turned by phi radians) from parameter t through `sweep` radians as cubic
// Beziers of at most a quarter turn each, in user space, so that a zero
// radius gives a flat arc instead of a singular scale.
void append_arc(Context& ctx, Point c, double rx, double ry, double phi, double t, double sweep);

// Paints the shadows of the current path (fill and stroke alike), each
// blurred and offset, under the shape; the path is kept.
void cast_shadows(Context& ctx);

// Gives the pen (or fill) the brush; a hidden pen keeps it for when its
// width comes back.
void set_brush(Context& ctx, bool fill, Brush brush);

// Makes the brush Cairo's source for a fill or a stroke of the current
// path (a fitted gradient is fitted to the path's bounds); false when it
// draws nothing.
bool use_brush(Context& ctx, const Brush& brush, bool stroke);
// Fills (when `filled` and the fill is on) then strokes the current path,
// which is then cleared. Paths fill even-odd.
void paint(Context& ctx, bool filled);

} // namespace kiv::gui::draw
