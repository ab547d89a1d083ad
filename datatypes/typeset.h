// typeset!: a set of datatypes held as a 96-bit map inside the cell. Every
// typed argument of every function is checked against one.
//
// Words 1 to 3 hold the map as 12 bytes in address order (word 1 bytes
// 0-3, little-endian); type id t is the bit 0x80 >> (t mod 8) of byte
// t div 8. Set operations work on all 96 bits; enumeration (form, mold,
// to-block, count) covers the registered type ids only.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "runtime/cell.h"

namespace kiv::typeset {

constexpr uint32_t bit_count = 96;

// Where type id t's bit lies in a typeset cell: the byte offset of its
// map word within the cell, and its mask in that word. Every id past the
// map has a zero mask (read from the header), so a test needs no range
// check.
struct BitPlace {
    uint32_t offset;
    uint32_t mask;
};
inline constexpr auto bit_places = [] {
    std::array<BitPlace, 256> places{};
    for (uint32_t t = 0; t < bit_count; ++t)
        places[t] = {4 * (1 + t / 32), (0x80u >> (t % 8)) << (8 * ((t / 8) % 4))};
    return places;
}();

// The test of argument checks: one load of the place, one of the map
// word; false for t >= 96.
inline bool has(const Cell& typeset, uint32_t type) {
    BitPlace place = bit_places[type < bit_places.size() ? type : 0xFF];
    uint32_t word;
    std::memcpy(&word, reinterpret_cast<const char*>(&typeset) + place.offset, sizeof word);
    return (word & place.mask) != 0;
}
void set_bit(Cell& typeset, uint32_t type);
// Turns the cell into an empty typeset.
Cell* clear(Cell& cell);

// Appends a typeset with the three map words at the block's tail.
Cell* make_in(Cell& block, uint32_t w1, uint32_t w2, uint32_t w3);
// Appends the typeset of an argument with no type block: every bit but
// that of unset!.
Cell* make_in_default(Cell& block);
// Appends the typeset of a function spec's type block: a word stands for
// its value; datatypes set their bit, typesets are or-ed in, a word (a
// word whose value is a word) adds object!, blocks are skipped; other
// elements raise script/invalid-type-spec.
Cell* make_in_from_block(Cell& block, const Cell& spec);
Cell* push(const Cell& typeset);

// A block of the type-name words of the members in type id order, made in
// `result`.
Cell* to_block(const Cell& typeset, Cell& result);
int32_t count(const Cell& typeset);
// Adds a datatype or the members of a typeset, given as such or as a word
// holding one; other values raise script/invalid-arg.
void add_type(Cell& typeset, const Cell& value);

// The set operation `op` (5 or~, 6 and~, 7 xor~, 8 unique, 9 union,
// 10 intersect, 11 exclude, 12 difference) on the current frame's first
// two arguments; the result becomes the frame result.
void do_bitwise(int32_t op);

void init();

} // namespace kiv::typeset
