// What the KIVBIN reader and writers share: header bytes and bits, the
// record header as read, and the datatype checks of both directions.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/cell.h"
#include "runtime/types.h"

namespace kiv::kivbin::format {

inline constexpr char magic[] = "KIVBIN";
constexpr uint8_t version = 2;
constexpr uint32_t header_size = 8;

// Compact prefixes and one-byte records.
constexpr uint8_t prefix_new_line = 0xC0;
constexpr uint8_t prefix_shared = 0xC1;
constexpr uint8_t prefix_define = 0xC4;
constexpr uint8_t small_integer = 0x80;
constexpr uint8_t logic_true = 0xC2;
constexpr uint8_t logic_false = 0xC3;
constexpr uint8_t reference = 0xFF;
constexpr uint8_t f_flag = 0x40;
constexpr uint8_t long_type = 0x3F;

// Compact context byte.
constexpr uint8_t compact_on_stack = 0x04;
constexpr uint8_t compact_self = 0x08;
constexpr uint8_t compact_values = 0x10;
constexpr uint8_t compact_kind = 0x03;

// Regular header word bits.
constexpr uint32_t regular_new_line = 0x80000000u;
constexpr uint32_t regular_shared = 0x80000u;
constexpr uint32_t regular_global = 0x2000000u; // a definition in boot images
constexpr uint32_t regular_handlers = 0x1000000u;
constexpr uint32_t regular_negated = 0x800000u;
constexpr uint32_t regular_money_sign = 0x400000u;
constexpr uint32_t regular_reference = 0xFF;
constexpr uint32_t regular_self = 0x10000000u;
constexpr uint32_t regular_on_stack = 0x20000000u;
constexpr uint32_t regular_values = 0x40000000u;
constexpr uint32_t context_kind_shift = 26;

// Boot images: the regular context reference of a word bound to the
// global context, and the index of a word looked up by symbol.
constexpr int32_t global_context = -1;
constexpr int32_t by_symbol = -1;

// Payload bits of cells that the records carry.
constexpr uint32_t date_has_time = 0x10000u;
constexpr uint32_t bitset_complemented = 0x80000u;

// A record header as read: compact prefixes and type byte, or the
// regular header word.
struct Record {
    const uint8_t* at = nullptr; // the record's first byte, for errors
    uint32_t type = 0;
    uint32_t word = 0; // the regular header word
    uint8_t byte = 0;  // the compact header byte
    uint8_t flag = 0;  // the compact F flag
    bool new_line = false;
    bool shared = false;
    bool define = false; // boot images: the word record defines the word
};

// Types whose values no record carries.
inline bool refused_type(uint32_t type) {
    return type == TYPE_ROUTINE || type == TYPE_TRIPLE || type == TYPE_HANDLE ||
           type == TYPE_PORT || type == TYPE_EVENT;
}

// The type ids a datatype! value may name: symbol! and series! are
// internal, and nothing lies past event!.
inline bool storable_type(uint32_t type) {
    return type >= 1 && type <= type_count && type != TYPE_SYMBOL && type != TYPE_SERIES;
}

// The element types and widths a vector! may have.
inline bool vector_element(uint32_t type, uint32_t unit) {
    if (type == TYPE_CHAR || type == TYPE_INTEGER) return unit == 1 || unit == 2 || unit == 4;
    if (type == TYPE_FLOAT || type == TYPE_PERCENT) return unit == 4 || unit == 8;
    return false;
}

// Compact string unit codes: 0, 1, 2 for 1, 2, 4-byte units; 3 is none.
inline uint32_t unit_of_code(uint32_t code) {
    return code < 3 ? 1u << code : 0;
}
inline uint32_t code_of_unit(uint32_t unit) {
    return unit == 4 ? 2 : unit - 1;
}

// Appends an unsigned LEB128 varint.
inline void put_varint(std::vector<uint8_t>& out, uint32_t value) {
    while (value >= 0x80) {
        out.push_back(uint8_t(value | 0x80));
        value >>= 7;
    }
    out.push_back(uint8_t(value));
}

// Raises access no-codec naming the value.
[[noreturn]] void refuse(const Cell& value);

} // namespace kiv::kivbin::format
