// The comparison natives behind the operators =, <>, ==, <, >, <=, >=,
// identity (same?), not and type?.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::natives {

void equal_q(bool check, const int32_t* refinements);
void not_equal_q(bool check, const int32_t* refinements);
void strict_equal_q(bool check, const int32_t* refinements);
void lesser_q(bool check, const int32_t* refinements);
void greater_q(bool check, const int32_t* refinements);
void lesser_or_equal_q(bool check, const int32_t* refinements);
void greater_or_equal_q(bool check, const int32_t* refinements);
void same_q(bool check, const int32_t* refinements);
void not_(bool check, const int32_t* refinements);
void type_q(bool check, const int32_t* refinements);

// Identity: the same type and, by type, the same payload (series: the same
// buffer at the same position; floats bitwise; tuples and money by
// content).
bool same_value_q(const Cell& a, const Cell& b);

// Binds them to their native numbers.
void register_comparison();

} // namespace kiv::natives
