// 3x2 matrices of 2-D transformations (m11 m12 / m21 m22 / dx dy, a point
// as a row vector on the left) and the 4x4 product. Angles in degrees;
// rotate, scale and skew keep their centre fixed.
#pragma once

#include <cairo.h>

namespace kiv::gui {

struct Matrix3x2 {
    float m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    bool operator==(const Matrix3x2&) const = default;
};

struct Point2 {
    double x, y;
};

// out = a x b (b x a with `swap`): a point goes through a, then b. `out`
// may be `a` or `b`.
void multiply(const Matrix3x2& a, const Matrix3x2& b, Matrix3x2& out, bool swap = false);
void translate(Matrix3x2& m, double x, double y);
void scale(Matrix3x2& m, double sx, double sy, double cx = 0, double cy = 0);
void rotate(Matrix3x2& m, double degrees, double cx = 0, double cy = 0);
void skew(Matrix3x2& m, double x_degrees, double y_degrees, double cx = 0, double cy = 0);
// The inverse into `out` (which may be `m`); false, `out` unchanged, when
// `m` is singular.
bool invert(const Matrix3x2& m, Matrix3x2& out);
Point2 transform(const Matrix3x2& m, Point2 p);
void to_cairo(const Matrix3x2& m, cairo_matrix_t& out);

// Sixteen floats, row-major; out = a x b, row by column. `out` may be `a`
// or `b`.
struct Matrix4x4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};
void multiply(const Matrix4x4& a, const Matrix4x4& b, Matrix4x4& out);

} // namespace kiv::gui
