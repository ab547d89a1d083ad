// The value cell: every Kiv value is 16 bytes, a header word and three
// payload words. Handles (node ids, native numbers, registry indexes) stand
// wherever a machine address would; no cell ever holds a C++ pointer.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "runtime/types.h"

namespace kiv {

struct Cell {
    uint32_t header;
    uint32_t w1;
    uint32_t w2;
    uint32_t w3;
};
static_assert(sizeof(Cell) == 16, "a cell is exactly 16 bytes");

// Node ids name series buffers; 0 means none.
using NodeId = uint32_t;

namespace cell {

constexpr uint32_t type_mask = 0xFFu;
constexpr uint32_t new_line_flag = 0x40000000u;
constexpr uint32_t stack_values_flag = 0x00400000u;
constexpr uint32_t event_block_flag = 0x00001000u;
constexpr uint32_t unset_header = TYPE_UNSET;

inline uint32_t type_of(const Cell& c) {
    return c.header & type_mask;
}

// Replaces the type id and keeps the flags.
inline void set_type(Cell& c, uint32_t type) {
    c.header = (c.header & ~type_mask) | type;
}

inline void clear_bit_30(Cell& c) {
    c.header &= ~new_line_flag;
}

inline Cell& copy(const Cell& source, Cell& target) {
    if (&source != &target) target = source;
    return target;
}

// A double lives in words 2 and 3.
inline double get_float(const Cell& c) {
    uint64_t bits = uint64_t(c.w2) | (uint64_t(c.w3) << 32);
    return std::bit_cast<double>(bits);
}
inline void put_float(Cell& c, double value) {
    uint64_t bits = std::bit_cast<uint64_t>(value);
    c.w2 = uint32_t(bits);
    c.w3 = uint32_t(bits >> 32);
}

} // namespace cell
} // namespace kiv
