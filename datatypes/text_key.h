// A string's sort key, read once for a sort that compares it many times:
// its narrow units, and up to 8 of its first units packed big-endian as
// the sort order sees them (folded unless exact), so that most pairs order
// on one 64-bit comparison. Units that fold outside a byte (non-ASCII ones
// when folding) end the packed part; a pair that differs only past the
// packed part of either goes to string::order_bytes.
#pragma once

#include <bit>
#include <cstdint>

#include "datatypes/string.h"

namespace kiv::string {

struct TextKey {
    uint64_t packed; // the first `known` units, big-endian, zero after them
    const uint8_t* data;
    int64_t length;
    uint32_t known;
};

// Reads the key of a text; false when its units are wider than a byte.
inline bool text_key(const Cell& text, bool exact, TextKey& key) {
    if (!narrow_text(text, key.data, key.length)) return false;
    key.packed = 0;
    key.known = 0;
    for (; key.known < 8 && key.known < key.length; ++key.known) {
        uint32_t c = key.data[key.known];
        if (!exact) {
            if (c >= 0x80) break;
            if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
        }
        key.packed |= uint64_t(c) << (56 - 8 * key.known);
    }
    return true;
}

// The order of two texts, as string::order gives it.
inline int32_t order_keys(const TextKey& a, const TextKey& b, bool exact) {
    uint64_t differ = a.packed ^ b.packed;
    uint32_t known = a.known < b.known ? a.known : b.known;
    if (differ) {
        if (uint32_t(std::countl_zero(differ) / 8) < known) return a.packed < b.packed ? -1 : 1;
    } else if (a.known == a.length && b.known == b.length) {
        // Both wholly packed and alike: the shorter comes first.
        return (a.length > b.length) - (a.length < b.length);
    }
    return order_bytes(a.data, a.length, b.data, b.length, exact);
}

} // namespace kiv::string
