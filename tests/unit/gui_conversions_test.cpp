// Colours, face flags, saturating conversions, DPI scaling, the key table,
// the tick counter and the matrices of the GUI backend.
#include "datatype_fixture.h"

#include "datatypes/block.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/tuple.h"
#include "gui/backend/conversions.h"
#include "gui/backend/dpi.h"
#include "gui/backend/key_table.h"
#include "gui/backend/matrix.h"
#include "gui/backend/ticks.h"

#include <chrono>
#include <climits>
#include <cmath>

using namespace kiv;
using namespace kiv::testing;
using namespace kiv::gui;

namespace {

class GuiConversionsTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        pair::init();
        tuple::init();
        point2D::init();
        series::init();
        block::init();
    }
    static Cell color(std::initializer_list<uint8_t> bytes) {
        Cell c{};
        tuple::make_at(c, std::data(bytes), uint32_t(bytes.size()));
        return c;
    }
    static Cell words(std::initializer_list<const char*> names) {
        Cell b{};
        block::make_at(b, 4);
        Cell& kept = test::held.emplace_back(b);
        for (const char* n : names) {
            Cell w = series::word_cell(n);
            block::append_value(kept, w);
        }
        return kept;
    }
};

void expect_matrix(const Matrix3x2& m, std::initializer_list<float> want) {
    const float got[] = {m.m11, m.m12, m.m21, m.m22, m.dx, m.dy};
    int i = 0;
    for (float w : want) EXPECT_NEAR(got[i++], w, 1e-5) << "component " << i - 1;
}

} // namespace

TEST_F(GuiConversionsTest, Colours) {
    EXPECT_EQ(to_color(color({255, 0, 0})), 0x0000FFu);
    EXPECT_EQ(to_color(color({255, 0, 0, 128})), 0x800000FFu);
    EXPECT_EQ(to_color(color({1, 2, 3, 4, 5})), 0x04030201u); // bytes past four ignored
    EXPECT_EQ(color_to_argb(0x00332211, false), 0xFF112233u);
    EXPECT_EQ(color_to_argb(0x00332211, true), 0xFE112233u);
    EXPECT_EQ(color_to_argb(0xFF000000, true), 0x00000000u);
    Rgba c = color_to_rgba(0xFF0000FF);
    EXPECT_EQ(c.r, 1.0);
    EXPECT_EQ(c.b, 0.0);
    EXPECT_EQ(c.a, 0.0); // fully transparent
    EXPECT_EQ(color_to_rgba(0x000000FF).a, 1.0);
}

TEST_F(GuiConversionsTest, FaceFlags) {
    EXPECT_EQ(get_flags(series::word_cell("modal")), 0x2000000u);
    EXPECT_EQ(get_flags(series::word_cell("No-Min")), 0x20000000u); // without regard to case
    EXPECT_EQ(get_flags(words({"resize", "no-min"})), 0x24000000u);
    EXPECT_EQ(get_flags(words({"all-over", "no-border", "focusable"})), 0x80000003u);
    EXPECT_EQ(get_flags(int_cell(5)), 0u);
    EXPECT_EQ(error_of([] { get_flags(series::word_cell("wobbly")); }),
              script(err::script::invalid_arg));
    EXPECT_EQ(error_of([&] {
                  get_flags(words({"modal", "wobbly"}));
              }),
              script(err::script::invalid_arg));
}

TEST_F(GuiConversionsTest, FloatToIntegerSaturatesAndRoundsAwayFromZero) {
    struct Case {
        double x;
        int32_t truncated, rounded;
    } cases[] = {
        {2.5, 2, 3},
        {-2.5, -2, -3},
        {-0.4, 0, 0},
        {1e12, INT_MAX, INT_MAX},
        {-1e12, INT_MIN, INT_MIN},
        {NAN, 0, 0},
        {INFINITY, INT_MAX, INT_MAX},
    };
    for (auto& c : cases) {
        EXPECT_EQ(truncate_to_int(c.x), c.truncated) << c.x;
        EXPECT_EQ(round_to_int(c.x), c.rounded) << c.x;
    }
}

TEST_F(GuiConversionsTest, PairsAndPointsRewriteInPlace) {
    Cell c{};
    point2D::make_at(c, -2.75, 3.5);
    point2D_to_pair(c);
    EXPECT_EQ(cell::type_of(c), uint32_t(TYPE_PAIR));
    EXPECT_EQ(pair::x_of(c), -2);
    EXPECT_EQ(pair::y_of(c), 3);
    pair_to_point2D(c);
    EXPECT_EQ(cell::type_of(c), uint32_t(TYPE_POINT2D));
    EXPECT_EQ(point::get(c, 0), -2.0f);
}

TEST_F(GuiConversionsTest, DpiScaling) {
    set_dpi(144);
    EXPECT_EQ(dpi_scale(10), 15);
    EXPECT_EQ(dpi_scale(-10), -15);
    EXPECT_EQ(dpi_scale(3), 5); // 4.5 rounds away from zero
    EXPECT_EQ(dpi_scale(-3), -5);
    EXPECT_EQ(dpi_unscale(15), 10.0);
    double before = dpi_push(96);
    EXPECT_EQ(dpi_depth(), 1);
    EXPECT_EQ(dpi_scale(10), 10);
    dpi_pop(before);
    EXPECT_EQ(dpi_depth(), 0);
    EXPECT_EQ(current_dpi(), 144);
    set_dpi(96);
}

TEST_F(GuiConversionsTest, KeyTableIgnoresAddsPastItsSize) {
    KeyTable table;
    static int values[KeyTable::capacity + 1];
    for (int i = 0; i <= KeyTable::capacity; ++i) table.add(i * 7, &values[i]);
    EXPECT_EQ(table.size(), KeyTable::capacity);
    EXPECT_EQ(table.find(63 * 7), &values[63]);
    EXPECT_EQ(table.find(64 * 7), nullptr);
    EXPECT_EQ(table.find(-1), nullptr);
}

TEST_F(GuiConversionsTest, TicksCountMillisecondsFromTheStart) {
    // The clock of the test bounds the ticks from above: a busy machine may
    // pause the test anywhere, but never makes the ticks run ahead.
    auto before = std::chrono::steady_clock::now();
    start_ticks();
    double a = ticks_ms();
    timespec pause{0, 20'000'000};
    nanosleep(&pause, nullptr);
    double b = ticks_ms();
    double elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before)
            .count();
    EXPECT_GE(a, 0.0);
    EXPECT_GE(b - a, 19.0);
    EXPECT_LE(b, elapsed + 1.0);
}

TEST_F(GuiConversionsTest, RotationAboutACentre) {
    Matrix3x2 m;
    rotate(m, 90, 10, 10);
    expect_matrix(m, {0, 1, -1, 0, 20, 0});
    Point2 p = transform(m, {20, 10});
    EXPECT_NEAR(p.x, 10, 1e-6);
    EXPECT_NEAR(p.y, 20, 1e-6);
    p = transform(m, {10, 10}); // the centre stays
    EXPECT_NEAR(p.x, 10, 1e-6);
    EXPECT_NEAR(p.y, 10, 1e-6);
    Matrix3x2 full;
    rotate(full, 450); // a whole turn more than 90
    expect_matrix(full, {0, 1, -1, 0, 0, 0});
}

TEST_F(GuiConversionsTest, TranslateThenScaleAndSkew) {
    Matrix3x2 m;
    translate(m, 5, 0);
    scale(m, 2, 3);
    Point2 p = transform(m, {1, 1});
    EXPECT_NEAR(p.x, 12, 1e-6); // (1 + 5) * 2
    EXPECT_NEAR(p.y, 3, 1e-6);
    Matrix3x2 s;
    scale(s, 2, 2, 10, 10);
    p = transform(s, {10, 10});
    EXPECT_NEAR(p.x, 10, 1e-6);
    Matrix3x2 k;
    skew(k, 45, 0, 0, 10);
    p = transform(k, {0, 20});
    EXPECT_NEAR(p.x, 10, 1e-5); // x moves by (y - 10) * tan 45
    EXPECT_NEAR(p.y, 20, 1e-5);
}

TEST_F(GuiConversionsTest, MultiplyOrderSwapAndAliasing) {
    Matrix3x2 move{1, 0, 0, 1, 5, 0}, twice{2, 0, 0, 2, 0, 0};
    Matrix3x2 out;
    multiply(move, twice, out);
    expect_matrix(out, {2, 0, 0, 2, 10, 0});
    multiply(move, twice, out, true);
    expect_matrix(out, {2, 0, 0, 2, 5, 0});
    Matrix3x2 a = move;
    multiply(a, twice, a); // the output is an input
    expect_matrix(a, {2, 0, 0, 2, 10, 0});
    Matrix3x2 b = twice;
    multiply(move, b, b);
    expect_matrix(b, {2, 0, 0, 2, 10, 0});
}

TEST_F(GuiConversionsTest, InvertRoundTripAndSingular) {
    Matrix3x2 m;
    rotate(m, 30, 4, 7);
    scale(m, 2, 0.5);
    translate(m, -3, 8);
    Matrix3x2 inverse;
    ASSERT_TRUE(invert(m, inverse));
    Matrix3x2 product;
    multiply(m, inverse, product);
    expect_matrix(product, {1, 0, 0, 1, 0, 0});
    Matrix3x2 in_place = m;
    ASSERT_TRUE(invert(in_place, in_place));
    EXPECT_EQ(in_place, inverse);
    Matrix3x2 singular{1, 2, 2, 4, 3, 3}, untouched{9, 9, 9, 9, 9, 9};
    EXPECT_FALSE(invert(singular, untouched));
    EXPECT_EQ(untouched, (Matrix3x2{9, 9, 9, 9, 9, 9}));
    EXPECT_FALSE(invert(singular, singular));
    EXPECT_EQ(singular, (Matrix3x2{1, 2, 2, 4, 3, 3}));
}

TEST_F(GuiConversionsTest, CairoTakesTheSameSixNumbers) {
    Matrix3x2 m{1, 2, 3, 4, 5, 6};
    cairo_matrix_t c;
    to_cairo(m, c);
    EXPECT_EQ(c.xx, 1); // x' = xx x + xy y + x0
    EXPECT_EQ(c.yx, 2);
    EXPECT_EQ(c.xy, 3);
    EXPECT_EQ(c.yy, 4);
    EXPECT_EQ(c.x0, 5);
    EXPECT_EQ(c.y0, 6);
    double x = 1, y = 1;
    cairo_matrix_transform_point(&c, &x, &y);
    Point2 p = transform(m, {1, 1});
    EXPECT_EQ(x, p.x);
    EXPECT_EQ(y, p.y);
}

TEST_F(GuiConversionsTest, FourByFourProduct) {
    Matrix4x4 a, b, out;
    for (int i = 0; i < 16; ++i) a.m[i] = float(i + 1), b.m[i] = float(16 - i);
    multiply(a, b, out);
    // Row 0 of a (1 2 3 4) by column 0 of b (16 12 8 4).
    EXPECT_EQ(out.m[0], 1 * 16 + 2 * 12 + 3 * 8 + 4 * 4);
    // Row 3 of a (13 14 15 16) by column 3 of b (13 9 5 1).
    EXPECT_EQ(out.m[15], 13 * 13 + 14 * 9 + 15 * 5 + 16 * 1);
    Matrix4x4 identity, same = a;
    multiply(same, identity, same);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(same.m[i], a.m[i]);
}
