// float!: the 64-bit IEEE 754 number. Its cell holds the double in words 2
// and 3; percent! and time! share the layout and the arithmetic core,
// comparison, rounding and conversions below. The text formatter lives in
// runtime/float_text.h (same namespace).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/float_text.h"

namespace kiv::float_ {

// Constructors: each writes a whole header word (flags cleared) with the
// given type (float!, percent! or time!).
Cell* make_typed_at(Cell& cell, uint32_t type, double value);
Cell* make_at(Cell& cell, double value);
// A new float! on the argument stack.
Cell* push(double value);
// The same from the two halves of a double.
Cell* push64(uint32_t low, uint32_t high);
// Writes a float! into the current frame's result slot.
Cell* box(double value);
// Appends a value of the type at the tail of a block.
Cell* make_in(Cell& block, uint32_t type, uint32_t low, uint32_t high);
inline double get(const Cell& cell) {
    return cell::get_float(cell);
}

// Tolerant equality: exact, within 2^-52, or at most ten units in the last
// place apart. NaN never equals anything.
bool almost_equal(double a, double b);
// The same on 32-bit floats (point coordinates).
bool almost_equal32(float a, float b);

// One operation of the arithmetic core (integer! codes: add, subtract,
// multiply, divide, remainder) on two doubles; IEEE results, no errors.
double math_op(double a, double b, int32_t op);
// Runs the operation on the current frame's arguments: slot 0 (an
// integer!, float!, percent! or time!) receives the result.
Cell* do_math(int32_t op);

// The actions integer! hands its float cases to.
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
void power();
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling);

// A random number between 0 and v.
double random_value(double v, bool secure);

void init();

} // namespace kiv::float_
