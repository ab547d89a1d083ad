// What the DEFLATE compressor, inflate and the gzip and zlib containers
// share: their result codes and the RFC 1951 tables.
//
// All of them work on whole buffers in memory: they read an input span and
// write into an output span whose size is the capacity, and report through
// `size` the bytes produced or, when the capacity was too small, the bytes
// needed (they go on counting past the capacity without storing).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kiv::codec {

using Bytes = std::span<const uint8_t>;

enum class Code : uint8_t {
    done,
    too_small,       // the output did not fit; size holds the bytes needed
    bad_data,        // an invalid stream, container or checksum
    past_input,      // the stream ends before its final block does
    bad_block_type,  // block type 3
    distance_too_far // a match reaches before the start of the output
};

// Length classes 0-28 (literal/length symbols 257-285) and distance
// classes 0-29: base values and extra-bit counts.
constexpr std::array<uint16_t, 29> length_base = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                  15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                  67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> length_extra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint16_t, 30> distance_base = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, 30> distance_extra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                    4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                    9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The order in which a dynamic block sends the code-length code lengths.
constexpr std::array<uint8_t, 19> code_length_order = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

// The RFC 1951 fixed literal/length code lengths (288 symbols); every
// fixed distance code is 5 bits long.
constexpr uint8_t fixed_length(unsigned symbol) {
    return symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
}

namespace detail {
constexpr std::array<uint8_t, 256> make_byte_reversal() {
    std::array<uint8_t, 256> t{};
    for (unsigned n = 0; n < 256; ++n) {
        unsigned r = 0;
        for (int b = 0; b < 8; ++b) r |= ((n >> b) & 1) << (7 - b);
        t[n] = uint8_t(r);
    }
    return t;
}
constexpr std::array<uint8_t, 256> byte_reversal = make_byte_reversal();
} // namespace detail

// The low `bits` bits of a canonical code, reversed, so that its first bit
// is bit 0: the form in which codes travel least significant bit first.
constexpr uint32_t reverse_code(uint32_t code, unsigned bits) {
    uint32_t r16 = uint32_t(detail::byte_reversal[code & 0xFF]) << 8 |
                   detail::byte_reversal[(code >> 8) & 0xFF];
    return r16 >> (16 - bits);
}

} // namespace kiv::codec
