// What pair!, point2D!, point3D! and tuple! share: values of a few numeric
// components held in the cell itself. Their arithmetic takes a number on
// either side (integer! and float! hand such operations over here), their
// paths and `pick` name components by number or by the words x, y and z,
// and their conversions report errors alike.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::compound {

bool is_compound(uint32_t type);

// Arithmetic with a number (integer!, float!, percent!, time!) in slot 0
// and a compound value in slot 1: refuses what the number cannot be
// combined with, then runs the compound's own arithmetic, whose result
// replaces slot 0. The number stays the left operand.
void number_left(int32_t op);

// One component of integer arithmetic in 64 bits, on 32-bit operands
// (no overflow possible); division truncates, division and remainder by 0
// raise math `zero-divide`.
int64_t integer_op(int64_t a, int64_t b, int32_t op);

// The 1-based component that a path element or pick index names: an
// integer! as it is, the words x, y and z (the first `count` of them) by
// their canonical symbol; 0 for any other word, -1 for another type.
int32_t component_index(const Cell& element, int32_t count);

// The index `pick` reads: a component word by its position, any other
// index as the pick entry read it.
int32_t pick_index(int32_t index, const Cell* index_cell, int32_t count);

// The word `add`, `subtract`, ... of an arithmetic operation code.
Cell action_word(int32_t op);
// The word the current function was called by (for errors).
Cell caller_word();

// Errors the compound types raise alike.
[[noreturn]] void invalid_type(const Cell& value);
[[noreturn]] void invalid_arg(const Cell& value);
[[noreturn]] void not_related(const Cell& word, uint32_t type);
[[noreturn]] void bad_to_arg(uint32_t type, const Cell& spec);
[[noreturn]] void malconstruct(const Cell& spec);
[[noreturn]] void invalid_path(const Cell* path, const Cell& element);
[[noreturn]] void out_of_range(const Cell& index);
[[noreturn]] void type_limit(uint32_t type);
// pick with a component word the value lacks, or an index out of range.
[[noreturn]] void bad_pick(const Cell& value, int32_t index, const Cell* index_cell);

// make/to from text: the one value the text holds, which must be of
// `type`; anything else raises `bad-to-arg`.
void from_text(const Cell& text, uint32_t type, Cell& out);

// A money! scale of `round` on a number, pair or point raises `not-related`
// naming the calling function's word and money!.
void refuse_money_scale(const Cell* scale);

} // namespace kiv::compound
