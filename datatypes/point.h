// point2D! and point3D!: two or three 32-bit floats in words 1 to 3, the
// floating-point counterparts of pair!. Every computation runs on doubles
// and rounds each coordinate to a 32-bit float when it is stored. The two
// types share one implementation over the count of coordinates; their
// files hold the constructors and the action rows.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/cell.h"
#include "runtime/types.h"

namespace kiv::point {

template <uint32_t N>
constexpr uint32_t type_id = N == 2 ? TYPE_POINT2D : TYPE_POINT3D;

// Coordinate i (from 0) of a point.
inline float get(const Cell& c, uint32_t i) {
    float f;
    std::memcpy(&f, &(&c.w1)[i], sizeof f);
    return f;
}
inline void set(Cell& c, uint32_t i, double value) {
    float f = float(value);
    std::memcpy(&(&c.w1)[i], &f, sizeof f);
}

// Writes a point of `n` coordinates (header word and payload).
Cell* make_at(Cell& cell, uint32_t n, const double coordinates[]);

// The value an operand gives each of `n` coordinates: a point of that
// size its coordinates, a pair! (n = 2) its x and y, an integer! its
// value for all; false for any other type (floats are the caller's).
bool component_values(const Cell& value, uint32_t n, double out[3]);

// Slot 0 of the current frame becomes the point of a op b, coordinate by
// coordinate, under float!'s rules; `op` must be one of add to remainder
// (another raises `cannot-use`).
void combine(uint32_t n, const double a[], const double b[], int32_t op);

// Arithmetic on the current frame's arguments, a point of N coordinates
// on either side.
template <uint32_t N>
void do_math(int32_t op);

// Whether every coordinate is 0.
bool zero(const Cell& value);

// Registers the action row of the point type of N coordinates.
template <uint32_t N>
void register_type();

} // namespace kiv::point

namespace kiv::point2D {

Cell* make_at(Cell& cell, double x, double y);
Cell* make_in(Cell& block, double x, double y);
Cell* push(double x, double y);
// An integer!'s value or a float!'s double, as a 32-bit float.
float coordinate_of(const Cell& value);
void init();

} // namespace kiv::point2D

namespace kiv::point3D {

Cell* make_at(Cell& cell, double x, double y, double z);
Cell* make_in(Cell& block, double x, double y, double z);
Cell* push(double x, double y, double z);
void init();

} // namespace kiv::point3D
