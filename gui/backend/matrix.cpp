#include "gui/backend/matrix.h"

#include <cmath>

namespace kiv::gui {

namespace {

// Sine and cosine of an angle in degrees, exact at multiples of 90.
void sin_cos(double degrees, double& s, double& c) {
    double turn = std::fmod(degrees, 360.0);
    if (turn < 0) turn += 360.0;
    if (std::fmod(turn, 90.0) == 0) {
        static constexpr double quarter_sin[] = {0, 1, 0, -1}, quarter_cos[] = {1, 0, -1, 0};
        int q = int(turn / 90.0);
        s = quarter_sin[q];
        c = quarter_cos[q];
        return;
    }
    double radians = degrees * M_PI / 180.0;
    s = std::sin(radians);
    c = std::cos(radians);
}

// m composed with `t`, around the centre: translation by -centre, t, then
// back.
void compose_about(Matrix3x2& m, const Matrix3x2& t, double cx, double cy) {
    if (cx != 0 || cy != 0) translate(m, -cx, -cy);
    multiply(m, t, m);
    if (cx != 0 || cy != 0) translate(m, cx, cy);
}

} // namespace

void multiply(const Matrix3x2& a0, const Matrix3x2& b0, Matrix3x2& out, bool swap) {
    const Matrix3x2 a = swap ? b0 : a0, b = swap ? a0 : b0;
    out.m11 = float(double(a.m11) * b.m11 + double(a.m12) * b.m21);
    out.m12 = float(double(a.m11) * b.m12 + double(a.m12) * b.m22);
    out.m21 = float(double(a.m21) * b.m11 + double(a.m22) * b.m21);
    out.m22 = float(double(a.m21) * b.m12 + double(a.m22) * b.m22);
    out.dx = float(double(a.dx) * b.m11 + double(a.dy) * b.m21 + b.dx);
    out.dy = float(double(a.dx) * b.m12 + double(a.dy) * b.m22 + b.dy);
}

void translate(Matrix3x2& m, double x, double y) {
    multiply(m, Matrix3x2{1, 0, 0, 1, float(x), float(y)}, m);
}

void scale(Matrix3x2& m, double sx, double sy, double cx, double cy) {
    compose_about(m, Matrix3x2{float(sx), 0, 0, float(sy), 0, 0}, cx, cy);
}

void rotate(Matrix3x2& m, double degrees, double cx, double cy) {
    double s, c;
    sin_cos(degrees, s, c);
    compose_about(m, Matrix3x2{float(c), float(s), float(-s), float(c), 0, 0}, cx, cy);
}

void skew(Matrix3x2& m, double x_degrees, double y_degrees, double cx, double cy) {
    double sx, cx_, sy, cy_;
    sin_cos(x_degrees, sx, cx_);
    sin_cos(y_degrees, sy, cy_);
    compose_about(m, Matrix3x2{1, float(sy / cy_), float(sx / cx_), 1, 0, 0}, cx, cy);
}

bool invert(const Matrix3x2& m, Matrix3x2& out) {
    double det = double(m.m11) * m.m22 - double(m.m12) * m.m21;
    if (det == 0 || !std::isfinite(det)) return false;
    Matrix3x2 r;
    r.m11 = float(m.m22 / det);
    r.m12 = float(-m.m12 / det);
    r.m21 = float(-m.m21 / det);
    r.m22 = float(m.m11 / det);
    r.dx = float((double(m.m21) * m.dy - double(m.m22) * m.dx) / det);
    r.dy = float((double(m.m12) * m.dx - double(m.m11) * m.dy) / det);
    out = r;
    return true;
}

Point2 transform(const Matrix3x2& m, Point2 p) {
    return {p.x * m.m11 + p.y * m.m21 + m.dx, p.x * m.m12 + p.y * m.m22 + m.dy};
}

void to_cairo(const Matrix3x2& m, cairo_matrix_t& out) {
    out = {m.m11, m.m12, m.m21, m.m22, m.dx, m.dy}; // xx yx xy yy x0 y0
}

void multiply(const Matrix4x4& a0, const Matrix4x4& b0, Matrix4x4& out) {
    const Matrix4x4 a = a0, b = b0;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += double(a.m[row * 4 + k]) * b.m[k * 4 + col];
            out.m[row * 4 + col] = float(sum);
        }
}

} // namespace kiv::gui
