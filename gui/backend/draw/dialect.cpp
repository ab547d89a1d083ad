#include "gui/backend/draw/dialect.h"

#include <cmath>

#include "datatypes/image.h"

#include "gui/backend/draw/reader.h"
#include "gui/backend/draw/shape_dialect.h"
#include "gui/backend/draw/text.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::draw {

namespace {

Sym s_off{"off"}, s_closed{"closed"}, s_pen{"pen"}, s_fill_pen{"fill-pen"}, s_miter{"miter"},
    s_bevel{"bevel"}, s_round{"round"}, s_miter_bevel{"miter-bevel"}, s_flat{"flat"},
    s_square{"square"}, s_replace{"replace"}, s_intersect{"intersect"}, s_union{"union"},
    s_xor{"xor"}, s_exclude{"exclude"};

Sym s_linear{"linear"}, s_radial{"radial"}, s_diamond{"diamond"};
Sym s_pad{"pad"}, s_repeat{"repeat"}, s_reflect{"reflect"};

// The colours of a gradient, each with an optional float offset after it;
// colours without one are spread evenly from the last offset given.
std::vector<Stop> read_stops(Reader& r) {
    int32_t first = r.pos;
    size_t count = 0;
    for (; r.is_color(); ++count) {
        r.color();
        if (r.type() == TYPE_FLOAT) r.number();
    }
    if (count < 2) r.fail();
    r.pos = first;
    std::vector<Stop> stops;
    double running = 0, step = 1.0 / double(count - 1);
    while (r.is_color()) {
        uint32_t color = r.color();
        if (r.type() == TYPE_FLOAT) {
            running = r.number();
            stops.push_back({running, color});
        } else {
            stops.push_back({running, color});
            running += step;
        }
    }
    return stops;
}

cairo_extend_t read_spread(Reader& r) {
    if (r.optional(s_repeat)) return CAIRO_EXTEND_REPEAT;
    if (r.optional(s_reflect)) return CAIRO_EXTEND_REFLECT;
    r.optional(s_pad);
    return CAIRO_EXTEND_PAD;
}

// The positional form: offset, start and stop, then angle and scales.
void positional_gradient(Reader& r, Gradient& g) {
    Point offset = r.point();
    if (r.type() != TYPE_INTEGER) r.fail();
    double start = r.number();
    if (r.type() != TYPE_INTEGER) r.fail();
    double stop = r.number();
    double extra[3] = {0, 1, 1};
    for (int i = 0; i < 3 && r.is_number(); ++i) extra[i] = r.number();
    g.stops = read_stops(r);
    g.fitted = false;
    g.extend = CAIRO_EXTEND_PAD;
    if (g.shape == GradientShape::linear) {
        g.p1 = {offset.x + start, offset.y};
        g.p2 = {offset.x + stop, offset.y};
    } else {
        g.p1 = offset;
        g.radius = stop - start;
    }
    if (extra[0] != 0) rotate(g.matrix, extra[0]);
    if (extra[1] != 1 || extra[2] != 1) {
        Matrix3x2 s;
        scale(s, extra[1], extra[2]);
        multiply(s, g.matrix, g.matrix);
    }
}

// The colour-first form: stops, then optional geometry, then the spread.
void colour_first_gradient(Reader& r, Gradient& g) {
    g.stops = read_stops(r);
    g.fitted = !r.is_point();
    if (!g.fitted) {
        g.p1 = r.point();
        if (g.shape == GradientShape::radial) {
            g.radius = r.number();
        } else {
            g.p2 = r.point();
        }
        if (g.shape != GradientShape::linear && r.is_point()) {
            g.focal = true;
            g.p2 = r.point();
        }
        // A diamond's radius is not given: it reaches its second point.
        if (g.shape == GradientShape::diamond) {
            g.radius = std::hypot(g.p2.x - g.p1.x, g.p2.y - g.p1.y);
            if (!g.focal) g.p2 = g.p1;
        }
    }
    g.extend = read_spread(r);
}

bool read_gradient(Reader& r, bool fill) {
    static Sym* shapes[] = {&s_linear, &s_radial, &s_diamond};
    for (int i = 0; i < 3; ++i) {
        if (!r.optional(*shapes[i])) continue;
        Gradient g{GradientShape(i), {}, CAIRO_EXTEND_PAD, true, {0, 0}, {0, 0}, 0, false, {}};
        r.is_point() ? positional_gradient(r, g) : colour_first_gradient(r, g);
        gradient(r.ctx, fill, g);
        return true;
    }
    return false;
}

Sym s_pattern{"pattern"}, s_bitmap{"bitmap"};
Sym tile_modes[] = {{"tile"}, {"flip-x"}, {"flip-y"}, {"flip-xy"}, {"clamp"}};

// The optional start and end points, then the optional mode word.
TileSource read_tile_source(Reader& r) {
    TileSource t{false, false, {0, 0}, {0, 0}, TileMode::tile};
    if ((t.has_start = r.is_point())) t.start = r.point();
    if ((t.has_end = t.has_start && r.is_point())) t.end = r.point();
    for (int i = 0; i < 5; ++i)
        if (r.optional(tile_modes[i])) {
            t.mode = TileMode(i);
            break;
        }
    return t;
}

bool read_tile_brush(Reader& r, bool fill) {
    if (r.optional(s_bitmap)) {
        Cell value = r.peek();
        if (cell::type_of(value) != TYPE_IMAGE) r.fail();
        ++r.pos;
        bitmap_brush(r.ctx, fill, value.w2, read_tile_source(r));
        return true;
    }
    if (!r.optional(s_pattern)) return false;
    Point size = r.point();
    TileSource source = read_tile_source(r);
    if (!r.is_block()) r.fail();
    Rooted<Cell> block(r.take());
    pattern_brush(r.ctx, fill, size, source, *block);
    return true;
}

// pen and fill-pen: off, a solid colour, a gradient or a tile.
void read_pen(Reader& r, bool fill) {
    if (r.optional(s_off)) return fill ? fill_off(r.ctx) : pen_off(r.ctx);
    if (read_gradient(r, fill) || read_tile_brush(r, fill)) return;
    uint32_t color = r.color();
    fill ? fill_color(r.ctx, color) : pen_color(r.ctx, color);
}

void pen(Reader& r) {
    read_pen(r, false);
}
void fill_pen(Reader& r) {
    read_pen(r, true);
}

void line_width_(Reader& r) {
    line_width(r.ctx, r.number());
}

// The index of the word in the table, 0 for any other word.
template <size_t N>
int32_t word_index(Reader& r, Sym (&table)[N]) {
    Cell c = r.peek();
    if (cell::type_of(c) != TYPE_WORD) r.fail();
    ++r.pos;
    for (size_t i = 0; i < N; ++i)
        if (canonical(c) == table[i].get()) return int32_t(i);
    return 0;
}

void line_join_(Reader& r) {
    static Sym joins[] = {s_miter, s_bevel, s_round, s_miter_bevel};
    line_join(r.ctx, LineJoin(word_index(r, joins)));
}

void line_cap_(Reader& r) {
    static Sym caps[] = {s_flat, s_square, s_round};
    line_cap(r.ctx, LineCap(word_index(r, caps)));
}

// A negative length would make an invalid stroke style.
void line_pattern_(Reader& r) {
    std::vector<float> dashes;
    while (r.type() == TYPE_INTEGER) {
        double d = r.number();
        if (d < 0) r.fail_at(r.pos - 1);
        dashes.push_back(float(d));
    }
    line_pattern(r.ctx, std::move(dashes));
}

void box_(Reader& r) {
    Point a = r.point(), b = r.point();
    double radius = r.is_number() ? r.number() : 0;
    box(r.ctx, a, b, radius);
}

void line_(Reader& r) {
    std::vector<Point> p = r.points();
    if (p.size() < 2) r.fail_at(p.empty() ? r.keyword : r.pos - 1);
    polyline(r.ctx, p);
}

void triangle_(Reader& r) {
    std::vector<Point> p{r.point(), r.point(), r.point()};
    polygon(r.ctx, p);
}

void polygon_(Reader& r) {
    std::vector<Point> p{r.point(), r.point(), r.point()};
    for (const Point& more : r.points()) p.push_back(more);
    polygon(r.ctx, p);
}

void circle_(Reader& r) {
    Point c = r.point();
    double rx = r.number();
    double ry = r.is_number() ? r.number() : rx;
    ellipse(r.ctx, c, rx, ry);
}

void ellipse_(Reader& r) {
    Point p = r.point(), s = r.point();
    ellipse(r.ctx, {p.x + s.x / 2, p.y + s.y / 2}, s.x / 2, s.y / 2);
}

void arc_(Reader& r) {
    Point c = r.point(), radii = r.point();
    double start = r.number(), sweep = r.number();
    arc(r.ctx, c, radii, start, sweep, r.optional(s_closed));
}

void curve_(Reader& r) {
    std::vector<Point> p{r.point(), r.point(), r.point()};
    if (r.is_point()) p.push_back(r.point());
    curve(r.ctx, p);
}

void spline_(Reader& r) {
    std::vector<Point> p = r.points();
    if (p.size() < 2) r.fail_at(p.empty() ? r.keyword : r.pos - 1);
    spline(r.ctx, p, r.optional(s_closed));
}

void anti_alias_(Reader& r) {
    if (r.type() != TYPE_WORD) r.fail_at(r.keyword);
    bool off = canonical(r.take()) == s_off.get();
    anti_alias(r.ctx, !off);
}

// Restores the saved state when a nested block ends, however it ends.
class StateGuard {
  public:
    explicit StateGuard(Context& ctx) : ctx_(ctx), saved_(save_state(ctx)) {}
    ~StateGuard() { restore_state(ctx_, std::move(saved_)); }
    StateGuard(const StateGuard&) = delete;
    StateGuard& operator=(const StateGuard&) = delete;

  private:
    Context& ctx_;
    State saved_;
};

// Runs the command; with a block after it, under a saved state for the
// length of that block only.
template <class Apply>
void maybe_nested(Reader& r, Apply apply) {
    if (!r.is_block()) return apply();
    Rooted<Cell> inner(r.take());
    StateGuard guard(r.ctx);
    apply();
    parse_draw(r.ctx, *inner);
}

void push_(Reader& r) {
    if (!r.is_block()) r.fail();
    maybe_nested(r, [] {});
}

// A rectangle, or the path of a shape block; the mode word is read and
// has no effect (every clip narrows the current one).
void clip_(Reader& r) {
    Rooted<Cell> shape;
    Point a{0, 0}, b{0, 0};
    if (r.is_block()) {
        *shape = r.take();
    } else {
        a = r.point();
        b = r.point();
    }
    static Sym modes[] = {s_replace, s_intersect, s_union, s_xor, s_exclude};
    for (Sym& m : modes)
        if (r.optional(m)) break;
    maybe_nested(r, [&] {
        if (cell::type_of(*shape) == TYPE_BLOCK)
            clip_shape(r.ctx, *shape);
        else
            push_clip(r.ctx, a, b);
    });
}

void shape_(Reader& r) {
    if (!r.is_block()) r.fail();
    Rooted<Cell> shape(r.take());
    draw_shape(r.ctx, *shape);
}

// The optional 'pen or 'fill-pen before a transformation: the brush's
// own transformation, which only gradients have (for a solid brush the
// command reads its arguments and changes nothing).
Target brush_target(Reader& r) {
    Cell c = r.peek();
    if (cell::type_of(c) != TYPE_LIT_WORD) return Target::drawing;
    Target t = canonical(c) == s_pen.get()        ? Target::pen
               : canonical(c) == s_fill_pen.get() ? Target::fill
                                                  : Target::drawing;
    if (t != Target::drawing) ++r.pos;
    return t;
}

void transformation(Reader& r, Target target, const Matrix3x2& m) {
    maybe_nested(r, [&] { compose(r.ctx, target, m); });
}

Point optional_point(Reader& r) {
    return r.is_point() ? r.point() : Point{0, 0};
}

void rotate_(Reader& r) {
    Target target = brush_target(r);
    double angle = r.number();
    Point c = optional_point(r);
    Matrix3x2 m;
    rotate(m, angle, c.x, c.y);
    transformation(r, target, m);
}

void scale_(Reader& r) {
    Target target = brush_target(r);
    double sx = r.factor(), sy = r.factor();
    Point c = optional_point(r);
    Matrix3x2 m;
    scale(m, sx, sy, c.x, c.y);
    transformation(r, target, m);
}

void translate_(Reader& r) {
    Target target = brush_target(r);
    Point p = r.point();
    Matrix3x2 m;
    translate(m, p.x, p.y);
    transformation(r, target, m);
}

// One angle skews along x only.
void skew_(Reader& r) {
    Target target = brush_target(r);
    double ax = r.number();
    double ay = r.is_number() ? r.number() : 0;
    Point c = optional_point(r);
    Matrix3x2 m;
    skew(m, ax, ay, c.x, c.y);
    transformation(r, target, m);
}

// Rotation, then scale, then translation, each acting before the last.
void transform_(Reader& r) {
    Target target = brush_target(r);
    Point c = optional_point(r);
    double angle = r.number(), sx = r.factor(), sy = r.factor();
    Point t = r.point();
    Matrix3x2 rm, sm, tm, m;
    rotate(rm, angle, c.x, c.y);
    scale(sm, sx, sy, c.x, c.y);
    translate(tm, t.x, t.y);
    multiply(sm, rm, m);
    multiply(tm, m, m);
    transformation(r, target, m);
}

void matrix_(Reader& r) {
    Target target = brush_target(r);
    int32_t before = r.pos - 1;
    if (!r.is_block()) r.fail();
    Cell b = r.take();
    if (block::rs_length(b) != 6) r.fail_at(before);
    double v[6];
    const Cell* cells = block::rs_head(b);
    for (int i = 0; i < 6; ++i) {
        uint32_t t = cell::type_of(cells[i]);
        if (t != TYPE_INTEGER && t != TYPE_FLOAT) r.fail_at(before);
        v[i] = t == TYPE_INTEGER ? double(integer::get(cells[i])) : float_::get(cells[i]);
    }
    Matrix3x2 m{float(v[0]), float(v[1]), float(v[2]), float(v[3]), float(v[4]), float(v[5])};
    compose(r.ctx, target, m);
}

void reset_matrix_(Reader& r) {
    reset_matrix(r.ctx, brush_target(r));
}

void invert_matrix_(Reader& r) {
    invert_matrix(r.ctx, brush_target(r));
}

Sym s_inset{"inset"};

// off, or an offset pair, up to two integers (blur, spread), a colour and
// `inset`.
void shadow_(Reader& r) {
    uint32_t type = cell::type_of(r.peek());
    if (type == TYPE_WORD) {
        if (!r.optional(s_off)) r.fail();
        return shadows_off(r.ctx);
    }
    if (type != TYPE_PAIR) r.fail();
    Shadow s{r.point(), 0, 0, 0, false};
    if (r.type() == TYPE_INTEGER) {
        s.blur = r.number();
        if (r.type() == TYPE_INTEGER) s.spread = r.number();
    }
    if (r.is_color()) s.color = r.color();
    s.inset = r.optional(s_inset);
    add_shadow(r.ctx, s);
}

Sym s_border{"border"}, s_crop{"crop"};

// The image, up to four points, a colour key and `border` (both unused),
// or a crop's offset and size.
void image_(Reader& r) {
    Cell value = r.peek();
    if (cell::type_of(value) != TYPE_IMAGE) r.fail();
    ++r.pos;
    ImageDraw d{value.w2,
                double(image::width_of(value)),
                double(image::height_of(value)),
                {},
                false,
                {0, 0},
                {0, 0}};
    while (r.is_point()) {
        if (d.points.size() == 4) r.fail();
        d.points.push_back(r.point());
    }
    if (r.is_color()) r.color();
    if (!r.optional(s_border) && r.optional(s_crop)) {
        d.cropped = true;
        d.crop_offset = r.point();
        d.crop_size = r.point();
    }
    image(r.ctx, d);
}

struct Keyword {
    Sym name;
    Handler handler;
};

Keyword keywords[] = {
    {{"pen"}, pen},
    {{"fill-pen"}, fill_pen},
    {{"line-width"}, line_width_},
    {{"line-join"}, line_join_},
    {{"line-cap"}, line_cap_},
    {{"line-pattern"}, line_pattern_},
    {{"box"}, box_},
    {{"line"}, line_},
    {{"triangle"}, triangle_},
    {{"polygon"}, polygon_},
    {{"circle"}, circle_},
    {{"ellipse"}, ellipse_},
    {{"arc"}, arc_},
    {{"curve"}, curve_},
    {{"spline"}, spline_},
    {{"shape"}, shape_},
    {{"shadow"}, shadow_},
    {{"anti-alias"}, anti_alias_},
    {{"font"}, font_},
    {{"text"}, text_},
    {{"image"}, image_},
    {{"clip"}, clip_},
    {{"rotate"}, rotate_},
    {{"scale"}, scale_},
    {{"translate"}, translate_},
    {{"skew"}, skew_},
    {{"transform"}, transform_},
    {{"matrix"}, matrix_},
    {{"reset-matrix"}, reset_matrix_},
    {{"invert-matrix"}, invert_matrix_},
    {{"push"}, push_},
};

Handler find_keyword(const Cell& word) {
    if (cell::type_of(word) != TYPE_WORD) return nullptr;
    uint32_t id = canonical(word);
    for (Keyword& k : keywords)
        if (k.name.get() == id) return k.handler;
    return nullptr;
}

} // namespace

void parse_draw(Context& ctx, const Cell& block) {
    walk(ctx, block, find_keyword);
}

} // namespace kiv::gui::draw
