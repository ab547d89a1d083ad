#include <cmath>

#include "datatypes/image_layer.h"
#include "gui/backend/draw/commands.h"
#include "gui/backend/draw/dialect.h"
#include "gui/backend/draw/geometry.h"
#include "runtime/roots.h"

namespace kiv::gui::draw {

namespace {

// Cairo's limit on an image surface's side.
constexpr double max_side = 32767;
// A pattern's tile may be as large as Cairo allows, 4 GB of pixels drawn
// and then copied, for many seconds, though a target rarely shows more
// than a few million of them: larger tiles (than this or the target) are
// drawn at a lower resolution, 64 MB at most.
constexpr double max_pattern_pixels = 4096.0 * 4096.0;

struct Rect {
    double x, y, w, h;
};

// The source rectangle inside a picture of the size: from the start
// (default 0x0) to the end (default and at most the size).
bool source_rect(const TileSource& s, double width, double height, Rect& out) {
    Point start = s.has_start ? s.start : Point{0, 0};
    Point end = s.has_end ? Point{std::fmin(s.end.x, width), std::fmin(s.end.y, height)}
                          : Point{width, height};
    out = {start.x, start.y, end.x - start.x, end.y - start.y};
    for (double v : {out.x, out.y, out.w, out.h})
        if (!std::isfinite(v)) return false;
    return out.w >= 1 && out.h >= 1 && out.w <= max_side && out.h <= max_side;
}

// Copies the source rectangle into a tile; the flip-x and flip-y modes
// make it twice as wide (high), with its mirror image beside it, since
// Cairo's extend acts on both axes at once.
cairo_surface_t* make_tile(Context& ctx, cairo_surface_t* picture, const Rect& r, TileMode mode) {
    const CairoApi& c = *ctx.cairo;
    int w = int(std::ceil(r.w)), h = int(std::ceil(r.h));
    int copies_x = mode == TileMode::flip_x ? 2 : 1, copies_y = mode == TileMode::flip_y ? 2 : 1;
    cairo_surface_t* tile = c.image_surface_create(CAIRO_FORMAT_ARGB32, w * copies_x, h * copies_y);
    cairo_t* cr = c.create(tile);
    for (int i = 0; i < copies_x; ++i) {
        for (int k = 0; k < copies_y; ++k) {
            cairo_matrix_t m{i ? -1.0 : 1.0,   0, 0, k ? -1.0 : 1.0, i ? 2.0 * w : 0.0,
                             k ? 2.0 * h : 0.0};
            c.set_matrix(cr, &m);
            c.set_source_surface(cr, picture, -r.x, -r.y);
            c.rectangle(cr, 0, 0, w, h);
            c.fill(cr);
        }
    }
    c.destroy(cr);
    return tile;
}

// Makes the source part of the picture (of the size in brush units, at
// `unit` pixels per unit) the pen's or fill's tile.
void use_tile(Context& ctx, bool fill, cairo_surface_t* picture, const TileSource& source,
              double width, double height, double unit = 1) {
    Rect r;
    if (!picture || !source_rect(source, width, height, r)) {
        set_brush(ctx, fill, Brush{BrushKind::off, 0, nullptr});
        return;
    }
    r = {r.x * unit, r.y * unit, r.w * unit, r.h * unit};
    static constexpr cairo_extend_t extends[] = {CAIRO_EXTEND_REPEAT, CAIRO_EXTEND_REPEAT,
                                                 CAIRO_EXTEND_REPEAT, CAIRO_EXTEND_REFLECT,
                                                 CAIRO_EXTEND_PAD};
    const CairoApi& c = *ctx.cairo;
    cairo_surface_t* tile = make_tile(ctx, picture, r, source.mode);
    Brush b{BrushKind::image, 0, {c.pattern_create_for_surface(tile), c.pattern_destroy}};
    c.surface_destroy(tile);
    c.pattern_set_extend(b.pattern.get(), extends[int(source.mode)]);
    c.pattern_set_filter(b.pattern.get(), CAIRO_FILTER_BILINEAR);
    b.tile_unit = unit;
    set_brush(ctx, fill, std::move(b));
}

// Draws on the tile instead of the target until it ends, whatever way.
class TileTarget {
  public:
    TileTarget(Context& ctx, cairo_surface_t* tile, double unit)
        : ctx_(ctx), cr_(ctx.cr), target_(ctx.target), image_(ctx.target_image),
          device_(ctx.device), bounds_(std::move(ctx.bounds)), subpixel_(ctx.subpixel_text),
          owns_(ctx.owns_cr), clips_(std::move(ctx.clips)), state_(ctx.state) {
        ctx.cr = ctx.cairo->create(tile);
        ctx.owns_cr = true;
        ctx.target = tile;
        ctx.target_image = 0;
        // The tile is an image of its own, `unit` pixels to the unit.
        ctx.device = Matrix3x2{};
        scale(ctx.device, unit, unit);
        ctx.bounds.clear();
        ctx.subpixel_text = false;
        ctx.clips.clear();
        ctx.state.clip_depth = 0;
        ctx.state.matrix = Matrix3x2{};
        apply_matrix(ctx);
    }
    ~TileTarget() {
        ctx_.cairo->destroy(ctx_.cr);
        ctx_.cr = cr_;
        ctx_.owns_cr = owns_;
        ctx_.target = target_;
        ctx_.target_image = image_;
        ctx_.device = device_;
        ctx_.bounds = std::move(bounds_);
        ctx_.subpixel_text = subpixel_;
        ctx_.clips = std::move(clips_);
        ctx_.state = std::move(state_);
        apply_matrix(ctx_);
    }
    TileTarget(const TileTarget&) = delete;
    TileTarget& operator=(const TileTarget&) = delete;

  private:
    Context& ctx_;
    cairo_t* cr_;
    cairo_surface_t* target_;
    NodeId image_;
    Matrix3x2 device_;
    std::vector<DeviceRect> bounds_;
    bool subpixel_;
    bool owns_;
    std::vector<Clip> clips_;
    State state_;
};

} // namespace

void bitmap_brush(Context& ctx, bool fill, NodeId image, const TileSource& source) {
    if (!image) return use_tile(ctx, fill, nullptr, source, 0, 0);
    cairo_surface_t* picture = image == ctx.target_image ? ctx.target : image::drawing(image);
    if (picture) ctx.cairo->surface_flush(picture);
    use_tile(ctx, fill, picture, source, double(image::width(image)), double(image::height(image)));
}

void pattern_brush(Context& ctx, bool fill, Point size, const TileSource& source,
                   const Cell& block) {
    const CairoApi& c = *ctx.cairo;
    Rooted<Cell> commands(block);
    bool usable = std::isfinite(size.x) && std::isfinite(size.y) && size.x >= 1 && size.y >= 1 &&
                  size.x <= max_side && size.y <= max_side;
    if (!usable) return use_tile(ctx, fill, nullptr, source, 0, 0);
    // A tile of more pixels than the target and the bound below is drawn
    // at the resolution that fits them.
    double w = std::ceil(size.x), h = std::ceil(size.y);
    double most = std::fmax(max_pattern_pixels, double(c.image_surface_get_width(ctx.target)) *
                                                    c.image_surface_get_height(ctx.target));
    double unit = std::fmin(1, std::sqrt(most / (w * h)));
    cairo_surface_t* tile = c.image_surface_create(CAIRO_FORMAT_ARGB32, int(std::ceil(w * unit)),
                                                   int(std::ceil(h * unit)));
    struct Release {
        const CairoApi& c;
        cairo_surface_t* s;
        ~Release() { c.surface_destroy(s); }
    } release{c, tile};
    {
        TileTarget on_tile(ctx, tile, unit);
        parse_draw(ctx, *commands);
    }
    c.surface_flush(tile);
    use_tile(ctx, fill, tile, source, size.x, size.y, unit);
}

} // namespace kiv::gui::draw
