// Text buffers: the series behind string! and its kin keep one code point
// per unit of 1, 2 or 4 bytes, little-endian. These are the reads, writes
// and widening of units, and the head and length of a text value, that the
// runtime's own text code (UTF-8 and UTF-16 conversion, the console's
// output, symbol names) needs below the string! datatype, which builds on
// them.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace kiv::text_buffer {

// A unit size other than 1, 2 or 4 is an internal fault.
[[noreturn]] void bad_unit();

// In line, as every scan of a text runs through them once a character.
inline uint32_t get_char(const uint8_t* p, uint32_t unit) {
    switch (unit) {
    case 1: return p[0];
    case 2: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case 4:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    default: bad_unit();
    }
}

inline void put_char(uint8_t* p, uint32_t unit, uint32_t cp) {
    switch (unit) {
    case 4:
        p[3] = uint8_t(cp >> 24);
        p[2] = uint8_t(cp >> 16);
        [[fallthrough]];
    case 2: p[1] = uint8_t(cp >> 8); [[fallthrough]];
    case 1: p[0] = uint8_t(cp); return;
    default: bad_unit();
    }
}

// Lengths and positions of a text value. A head index beyond the tail
// (another value shortened the buffer) counts as the tail.
uint32_t length_whole(const Cell& value);
uint32_t head_index(const Cell& value);
uint32_t length(const Cell& value);

// Re-encodes the buffer's units from `from` to the wider `to` bytes; the
// buffer behind the node may be replaced, so the one returned is the one
// to use.
Buffer* widen(Buffer* buffer, uint32_t from, uint32_t to);

} // namespace kiv::text_buffer
