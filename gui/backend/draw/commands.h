// The drawing commands the dialect calls once it has read their
// arguments: pens and line styles, shapes, transformations, clips and the
// saved state. Coordinates are user-space doubles; a command given a
// non-finite number, or run while the transformation is singular, draws
// nothing, so Cairo never enters an error state.
#pragma once

#include <cstddef>
#include <vector>

#include "gui/backend/draw/context.h"

namespace kiv::gui::draw {

// Pens and line styles.
void pen_color(Context& ctx, uint32_t color);
void pen_off(Context& ctx);
void fill_color(Context& ctx, uint32_t color);
void fill_off(Context& ctx);
// A gradient brush for the pen (or the fill). Without geometry it is
// fitted to each shape's bounds; with it, placed in user space: a linear
// one from p1 to p2, a radial or diamond one centred on p1 with the
// radius, its focus at p2 when `focal`.
struct Gradient {
    GradientShape shape;
    std::vector<Stop> stops;
    cairo_extend_t extend;
    bool fitted;
    Point p1, p2;
    double radius;
    bool focal;
    Matrix3x2 matrix;
};
void gradient(Context& ctx, bool fill, const Gradient& g);
// Tile brushes: the part from `start` to `end` of an image (or of a tile
// a draw block paints), repeated, mirrored or padded by the mode. A tile
// of no pixels turns the pen (or fill) off.
enum class TileMode { tile, flip_x, flip_y, flip_xy, clamp };
struct TileSource {
    bool has_start, has_end;
    Point start, end;
    TileMode mode;
};
void bitmap_brush(Context& ctx, bool fill, NodeId image, const TileSource& source);
// Draws the block on a transparent tile of the size, with the drawing
// state saved and the transformation at identity, then makes the tile the
// brush; when the block raises, the target and state come back and the
// brush stays as it was.
void pattern_brush(Context& ctx, bool fill, Point size, const TileSource& source,
                   const Cell& block);
void line_width(Context& ctx, double width);
void line_join(Context& ctx, LineJoin join);
void line_cap(Context& ctx, LineCap cap);
// Dashes in line widths; empty gives a solid line.
void line_pattern(Context& ctx, std::vector<float> dashes);

// Shadows: `shadow` with a point adds one (the list restarts when they
// were off); `off` removes them all.
void add_shadow(Context& ctx, const Shadow& shadow);
void shadows_off(Context& ctx);

// Shapes: each is filled with the fill, then stroked with the pen.
void box(Context& ctx, Point a, Point b, double radius);
// Two points: one segment, never filled; more: an open polyline.
void polyline(Context& ctx, const std::vector<Point>& points);
// A closed figure through the points (triangle, polygon).
void polygon(Context& ctx, const std::vector<Point>& points);
void ellipse(Context& ctx, Point centre, double rx, double ry);
// Angles in degrees, the sweep clockwise on screen when positive.
void arc(Context& ctx, Point centre, Point radii, double start, double sweep, bool closed);
// Three points: a quadratic curve; four: a cubic one. Hollow.
void curve(Context& ctx, const std::vector<Point>& points);
void spline(Context& ctx, const std::vector<Point>& points, bool closed);

// An image (its node and size) drawn at one point at its own size, or
// scaled into the rectangle of two points, or onto the parallelogram of
// three or four corners (upper-left, upper-right, lower-right,
// lower-left); with a crop, only that part of it (offset and size).
struct ImageDraw {
    NodeId node;
    double width, height;
    std::vector<Point> points;
    bool cropped;
    Point crop_offset, crop_size;
};
void image(Context& ctx, const ImageDraw& d);

// The path of the shape sub-dialect, on Cairo's current path. It begins
// at 0x0; the current point follows each command.
void path_begin(Context& ctx);
void path_move(Context& ctx, Point p);
void path_line(Context& ctx, Point p);
// An arc to the end point given by radii, rotation (degrees) and flags,
// clockwise on screen with `sweep`.
void path_arc(Context& ctx, Point end, double rx, double ry, double degrees, bool sweep,
              bool large);
void path_curve(Context& ctx, Point c1, Point c2, Point end);
void path_qcurve(Context& ctx, Point control, Point end);
void path_close(Context& ctx);
// Fills the path even-odd, then strokes it.
void path_draw(Context& ctx);

// Transformations of the drawing: the new matrix acts before the current
// one.
// The brush target: the drawing, or the pen's or fill's own
// transformation (which only gradients have).
enum class Target { drawing, pen, fill };
void compose(Context& ctx, Target target, const Matrix3x2& m);
void reset_matrix(Context& ctx, Target target);
void invert_matrix(Context& ctx, Target target);
void anti_alias(Context& ctx, bool on);

// Clips narrow the current clip until popped back to a depth.
void push_clip(Context& ctx, Point a, Point b);
// The path built as a clip, filled by winding.
void push_clip_path(Context& ctx);
void pop_clips(Context& ctx, size_t depth);

// The state a nested block restores (clips popped back to its depth).
State save_state(const Context& ctx);
void restore_state(Context& ctx, State saved);

} // namespace kiv::gui::draw
