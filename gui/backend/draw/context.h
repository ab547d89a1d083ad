// The drawing context: what the draw dialect changes and draws through,
// from the opening of drawing on a target to its end. Drawing goes
// through Cairo; pens and fills are solid colours or off, the stroke
// keeps its width, join, cap and dashes (in line widths), and the
// transformation and clips are kept here so that a nested block can
// restore them (Cairo cannot pop a clip).
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "gui/backend/matrix.h"
#include "gui/backend/text/fonts.h"
#include "platform/cairo_api.h"
#include "runtime/cell.h"

namespace kiv::gui::draw {

struct Point {
    double x, y;
};

// What draws a stroke or a fill: off, a solid colour, a gradient placed
// in user space, a gradient fitted to the bounds of each shape, or a tile
// of pixels placed at the top-left of each shape's bounds.
enum class BrushKind : int32_t { off = 0, solid = 1, fixed = 2, fitted = 3, image = 4 };

enum class GradientShape : int32_t { linear, radial, diamond };

struct Stop {
    double offset;
    uint32_t color;
};

struct Brush {
    BrushKind kind;
    uint32_t color; // colour integer, transparency in the high byte
    // Gradients: the pattern (fixed), or what makes it for each shape
    // (fitted), and the brush's own transformation.
    std::shared_ptr<cairo_pattern_t> pattern;
    GradientShape shape = GradientShape::linear;
    std::vector<Stop> stops{};
    cairo_extend_t extend = CAIRO_EXTEND_PAD;
    Matrix3x2 matrix{};
    // Tile pixels per unit of the brush: below 1 for a pattern too large
    // to be drawn at full resolution.
    double tile_unit = 1;
};

enum class LineJoin : int32_t { miter = 0, bevel = 1, round = 2, miter_bevel = 3 };
enum class LineCap : int32_t { flat = 0, square = 1, round = 2 };

// A clip with the transformation it was given under: a rectangle, or a
// path (in that transformation's user space) filled by winding.
struct Clip {
    double x0, y0, x1, y1;
    Matrix3x2 matrix;
    bool drawable; // false when that transformation was singular
    std::shared_ptr<cairo_path_t> path;
};

// A shadow cast by boxes, circles and ellipses: offset, blur, spread (all
// in user units) and colour; `inset` is kept and draws no differently.
struct Shadow {
    Point offset;
    double blur, spread;
    uint32_t color;
    bool inset;
};

// The part of the context a nested block saves and restores.
struct State {
    Brush pen{BrushKind::solid, 0, nullptr};
    Brush fill{BrushKind::off, 0, nullptr};
    BrushKind saved_pen_kind = BrushKind::off; // the pen's kind while the width is 0
    uint32_t text_color = 0;
    bool text_color_fixed = false; // the font's own colour: pens no longer change it
    text::FontRef text_format;     // null until `font` (the default font then)
    float line_width = 1;
    LineJoin join = LineJoin::miter;
    LineCap cap = LineCap::flat;
    std::vector<float> dashes; // in line widths; empty: solid
    Matrix3x2 matrix;
    bool anti_alias = true;
    size_t clip_depth = 0;
    std::vector<Shadow> shadows; // empty: shadows off
};

// A rectangle of the target in device pixels.
struct DeviceRect {
    double x, y, width, height;
};

struct Context {
    const CairoApi* cairo = nullptr;
    cairo_t* cr = nullptr;
    State state;
    std::vector<Clip> clips;
    bool singular = false;   // the transformation cannot be given to Cairo
    NodeId target_image = 0; // the image drawn on
    cairo_surface_t* target = nullptr;
    // From the dialect's units to the target's pixels: a window is drawn
    // in device-independent pixels, scaled by its DPI.
    Matrix3x2 device;
    // The target's own clip (the part of a window being painted), kept
    // under every clip of the list; empty: the whole target.
    std::vector<DeviceRect> bounds;
    bool subpixel_text = false; // text anti-aliased by subpixels (opaque windows)
    // Whether `cr` is the context's own to destroy when it is replaced; a
    // window paint's context belongs to the paint.
    bool owns_cr = true;

    // The path of the shape sub-dialect being built.
    Point current{0, 0};
    Point last_control{0, 0};
    bool last_was_curve = false;
    bool path_finite = true; // no non-finite number went into it
};

// Whether primitives draw: not while the transformation is singular.
inline bool drawable(const Context& ctx) {
    return !ctx.singular;
}

// A transformation of the dialect followed by the device scale.
Matrix3x2 to_device(const Context& ctx, const Matrix3x2& m);
// Gives Cairo the context's transformation, or marks it singular.
void apply_matrix(Context& ctx);
// Makes the current path the rectangle of a clip, under the clip's own
// transformation (Cairo's is left changed).
void clip_rectangle_path(Context& ctx, const Clip& clip);
// Re-applies every clip of the list (after a pop, Cairo's clip is reset).
void apply_clips(Context& ctx);
// Cairo's errors are sticky: a primitive Cairo cannot draw (coordinates far
// beyond its fixed-point range) would stop all later drawing. A context
// in an error state is replaced by a new one on the same target with the
// drawing state applied again; the failed primitive draws nothing.
void recover(Context& ctx);

// Drawing open on an image: begins on construction (the image's
// premultiplied drawing cache as the target, the context at its defaults)
// and ends on destruction, however the block is left: Cairo's context is
// destroyed, the surface flushed and the image told its pixels are to be
// rebuilt from the cache. `image` stays rooted by the caller.
class ImageSession {
  public:
    ImageSession(Context& ctx, const Cell& image);
    ~ImageSession();
    ImageSession(const ImageSession&) = delete;
    ImageSession& operator=(const ImageSession&) = delete;
    bool open() const { return ctx_.cr != nullptr; }

  private:
    Context& ctx_;
    NodeId node_;
    cairo_surface_t* surface_ = nullptr;
};

} // namespace kiv::gui::draw
