// Geometry the shape commands share: the brushes' source colour, the
// painting of a path and elliptical arcs as Bezier curves.
#pragma once

#include <functional>
#include <numbers>

#include "gui/backend/draw/context.h"

namespace kiv::gui::draw {

constexpr double pi = std::numbers::pi;

// How much the transformation enlarges at most (an upper bound, within a
// factor of the square root of 2).
double largest_scale(const Matrix3x2& m);

// The width a pen of the width strokes with under the transformation to
// the target: at most what Cairo's fixed-point range holds.
double drawn_width(double width, const Matrix3x2& to_device);

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

// Where the brush's own space lies in user space: its transformation,
// after its tile's pixels are taken to brush units.
Matrix3x2 brush_placement(const Brush& brush);
// Makes the brush Cairo's source for a fill or a stroke of the current
// path (a fitted gradient is fitted to the path's bounds); false when it
// draws nothing.
bool use_brush(Context& ctx, const Brush& brush, bool stroke);
// The bounds, in user space, of what a fill (or stroke) of the current
// path covers.
void ink_extents(const Context& ctx, bool stroke, double& x0, double& y0, double& x1, double& y1);
// Cairo gives gradients and images to pixman in 16.16 fixed point: under a
// transformation that moves or scales by more than that holds, or over a
// shape reaching that far, drawing with them can fail and put the target
// itself in an error state, which no new context undoes. Whether that may
// happen to a fill (or stroke) of the current path with a source placed
// by `placement` (from its own space to user space).
bool beyond_fixed_point(const Context& ctx, const Matrix3x2& placement, bool stroke);
// Runs `draw` (a fill or stroke with the source set); `grouped`, through a
// group, so that a failure stays in the group and the context recovers.
void draw_grouped(Context& ctx, bool grouped, const std::function<void()>& draw);
// Fills (when `filled` and the fill is on) then strokes the current path,
// which is then cleared. Paths fill even-odd.
void paint(Context& ctx, bool filled);

} // namespace kiv::gui::draw
