#include "io/inflate.h"

#include <array>
#include <cstring>

#include "runtime/interrupt.h"

namespace kiv::inflate {
namespace {

using codec::Code;

constexpr unsigned max_bits = 15;
constexpr unsigned root_bits = 10; // codes up to this long decode by one lookup
constexpr unsigned root_size = 1u << root_bits;

// Least significant bit first, up to 63 bits buffered; past the input no
// bits appear, so a decoder that wants more than `count` refuses.
struct BitReader {
    const uint8_t* start;
    const uint8_t* p;
    const uint8_t* end;
    uint64_t buffer = 0;
    unsigned count = 0;

    explicit BitReader(codec::Bytes input)
        : start(input.data()), p(input.data()), end(input.data() + input.size()) {}

    void refill() {
        if (end - p >= 8) {
            // Bits above `count` already hold the next input bits, so
            // reloading them in place changes nothing.
            uint64_t word;
            std::memcpy(&word, p, 8);
            buffer |= word << count;
            p += (63 - count) >> 3;
            count |= 56;
        } else {
            while (count <= 56 && p < end) {
                buffer |= uint64_t(*p++) << count;
                count += 8;
            }
        }
    }
    bool has(unsigned bits) {
        if (count < bits) refill();
        return count >= bits;
    }
    // Takes bits that `has` has made sure of.
    uint32_t take(unsigned bits) {
        uint32_t v = uint32_t(buffer & ((uint64_t(1) << bits) - 1));
        buffer >>= bits;
        count -= bits;
        return v;
    }
    // Drops the bits up to the byte boundary and hands the whole bytes
    // still buffered back to the input.
    void to_byte_boundary() {
        p -= count / 8;
        buffer = 0;
        count = 0;
    }
    size_t consumed() const { return size_t(p - start) - count / 8; }
};

// A prefix code: a lookup table for the codes up to root_bits long
// (entry: symbol << 4 | length, 0 for none), and the canonical counts
// and symbols for the longer ones.
struct Huffman {
    std::array<uint16_t, max_bits + 1> per_length;
    std::array<uint16_t, 288> sorted; // symbols by length, then value
    unsigned used;                    // symbols with a code
    std::array<uint16_t, root_size> table;
};

enum class Kind { code_lengths, symbols };

// Builds a code from its lengths. A code-length code must be complete; a
// literal/length or distance code may be empty or hold one code of one
// bit, as RFC 1951 allows; any other incomplete or any over-subscribed
// code is refused.
bool build(Huffman& h, const uint8_t* lengths, unsigned count, Kind kind) {
    h.per_length.fill(0);
    for (unsigned s = 0; s < count; ++s) h.per_length[lengths[s]]++;
    int left = 1;
    for (unsigned l = 1; l <= max_bits; ++l) {
        left = (left << 1) - h.per_length[l];
        if (left < 0) return false;
    }
    const unsigned used = h.used = count - h.per_length[0];
    if (left > 0 && (kind == Kind::code_lengths || used > 1 || (used == 1 && h.per_length[1] != 1)))
        return false;

    std::array<uint16_t, max_bits + 2> offset{};
    std::array<uint16_t, max_bits + 1> next{};
    for (unsigned l = 1; l <= max_bits; ++l) offset[l + 1] = offset[l] + h.per_length[l];
    for (unsigned l = 2; l <= max_bits; ++l)
        next[l] = uint16_t((next[l - 1] + h.per_length[l - 1]) << 1);
    h.table.fill(0);
    for (unsigned s = 0; s < count; ++s) {
        unsigned l = lengths[s];
        if (!l) continue;
        h.sorted[offset[l]++] = uint16_t(s);
        uint32_t code = next[l]++;
        if (l > root_bits) continue;
        for (uint32_t i = codec::reverse_code(code, l); i < root_size; i += 1u << l)
            h.table[i] = uint16_t(s << 4 | l);
    }
    return true;
}

constexpr int unowned = -1;   // a bit pattern no code owns
constexpr int cut_short = -2; // a code cut off by the end of the input

// The next symbol, or unowned or cut_short.
int decode(BitReader& br, const Huffman& h) {
    if (br.count < max_bits) br.refill();
    uint16_t entry = h.table[br.buffer & (root_size - 1)];
    if (entry) {
        unsigned l = entry & 15;
        if (l > br.count) return cut_short;
        br.take(l);
        return entry >> 4;
    }
    // Longer codes: walk the canonical code one bit at a time.
    int code = 0, first = 0, index = 0;
    for (unsigned l = 1; l <= max_bits; ++l) {
        if (l > br.count) return cut_short;
        code |= int((br.buffer >> (l - 1)) & 1);
        int n = h.per_length[l];
        if (code - n < first) {
            br.take(l);
            return h.sorted[size_t(index + code - first)];
        }
        index += n;
        if (unsigned(index) == h.used) return unowned; // no longer codes
        first = (first + n) << 1;
        code <<= 1;
    }
    return unowned;
}

Code symbol_fault(int symbol) {
    return symbol == cut_short ? Code::past_input : Code::bad_data;
}

struct FixedCodes {
    Huffman literal, distance;
    FixedCodes() {
        std::array<uint8_t, 288> lengths{};
        for (unsigned s = 0; s < 288; ++s) lengths[s] = codec::fixed_length(s);
        build(literal, lengths.data(), 288, Kind::symbols);
        lengths.fill(5);
        build(distance, lengths.data(), 32, Kind::symbols);
    }
};

class Inflater {
  public:
    Inflater(codec::Bytes input, std::span<uint8_t> output)
        : br(input), out(output.data()), capacity(output.size()) {}

    Outcome run();

  private:
    BitReader br;
    uint8_t* out;
    size_t capacity;
    size_t produced = 0;
    Huffman literal, distance;

    Code stored();
    Code dynamic_codes();
    Code data(const Huffman& literal, const Huffman& distance);
    void copy_match(size_t length, size_t back);
};

Outcome Inflater::run() {
    static const FixedCodes fixed;
    for (;;) {
        runtime::poll();
        if (!br.has(3)) return {Code::past_input, produced, br.consumed()};
        bool final = br.take(1);
        Code code;
        switch (br.take(2)) {
        case 0: code = stored(); break;
        case 1: code = data(fixed.literal, fixed.distance); break;
        case 2:
            code = dynamic_codes();
            if (code == Code::done) code = data(literal, distance);
            break;
        default: code = Code::bad_block_type;
        }
        if (code != Code::done) return {code, produced, br.consumed()};
        if (final) break;
    }
    return {produced > capacity ? Code::too_small : Code::done, produced, br.consumed()};
}

Code Inflater::stored() {
    br.take(br.count % 8);
    if (!br.has(32)) return Code::past_input;
    uint32_t length = br.take(16), complement = br.take(16);
    if (length != (complement ^ 0xFFFF)) return Code::bad_data;
    br.to_byte_boundary();
    if (size_t(br.end - br.p) < length) return Code::past_input;
    if (produced < capacity)
        std::memcpy(out + produced, br.p, std::min<size_t>(length, capacity - produced));
    produced += length;
    br.p += length;
    return Code::done;
}

Code Inflater::dynamic_codes() {
    if (!br.has(14)) return Code::past_input;
    unsigned hlit = br.take(5) + 257, hdist = br.take(5) + 1, hclen = br.take(4) + 4;
    if (hlit > 286 || hdist > 30) return Code::bad_data;
    std::array<uint8_t, 19> code_lengths{};
    for (unsigned i = 0; i < hclen; ++i) {
        if (!br.has(3)) return Code::past_input;
        code_lengths[codec::code_length_order[i]] = uint8_t(br.take(3));
    }
    Huffman& lengths_code = literal; // free until the literal code is built
    if (!build(lengths_code, code_lengths.data(), 19, Kind::code_lengths)) return Code::bad_data;

    std::array<uint8_t, 320> lengths{};
    const unsigned total = hlit + hdist;
    for (unsigned i = 0; i < total;) {
        int symbol = decode(br, lengths_code);
        if (symbol < 0) return symbol_fault(symbol);
        if (symbol < 16) {
            lengths[i++] = uint8_t(symbol);
            continue;
        }
        static constexpr uint8_t extra_bits[3] = {2, 3, 7}, base[3] = {3, 3, 11};
        unsigned k = unsigned(symbol) - 16;
        if (!br.has(extra_bits[k])) return Code::past_input;
        unsigned repeat = base[k] + br.take(extra_bits[k]);
        if (k == 0 && i == 0) return Code::bad_data; // nothing to repeat
        if (i + repeat > total) return Code::bad_data;
        uint8_t value = k == 0 ? lengths[i - 1] : 0;
        std::memset(&lengths[i], value, repeat);
        i += repeat;
    }
    if (lengths[256] == 0) return Code::bad_data; // no end of block
    if (!build(literal, lengths.data(), hlit, Kind::symbols) ||
        !build(distance, lengths.data() + hlit, hdist, Kind::symbols))
        return Code::bad_data;
    return Code::done;
}

void Inflater::copy_match(size_t length, size_t back) {
    runtime::poll(); // a bomb of long matches stops at an interrupt
    if (produced + length + 8 <= capacity) {
        uint8_t* to = out + produced;
        const uint8_t* from = to - back;
        if (back >= 8) {
            // 8 bytes at a time: each load is of bytes already written.
            for (size_t i = 0; i < length; i += 8) std::memcpy(to + i, from + i, 8);
        } else if (back == 1) {
            std::memset(to, *from, length);
        } else {
            for (size_t i = 0; i < length; ++i) to[i] = from[i];
        }
    } else {
        // Near or past the capacity: only bytes inside it are stored, and
        // their sources are inside it too.
        for (size_t i = 0; i < length && produced + i < capacity; ++i)
            out[produced + i] = out[produced + i - back];
    }
    produced += length;
}

Code Inflater::data(const Huffman& lit, const Huffman& dist) {
    for (;;) {
        int symbol = decode(br, lit);
        if (symbol < 0) return symbol_fault(symbol);
        if (symbol < 256) {
            if (produced < capacity) out[produced] = uint8_t(symbol);
            ++produced;
            continue;
        }
        if (symbol == 256) return Code::done;
        unsigned lc = unsigned(symbol) - 257;
        if (lc >= 29) return Code::bad_data;
        if (!br.has(codec::length_extra[lc])) return Code::past_input;
        size_t length = codec::length_base[lc] + br.take(codec::length_extra[lc]);
        int dc = decode(br, dist);
        if (dc < 0) return symbol_fault(dc);
        if (dc >= 30) return Code::bad_data;
        if (!br.has(codec::distance_extra[size_t(dc)])) return Code::past_input;
        size_t back = codec::distance_base[size_t(dc)] + br.take(codec::distance_extra[size_t(dc)]);
        if (back > produced) return Code::distance_too_far;
        copy_match(length, back);
    }
}

} // namespace

Outcome run(codec::Bytes input, std::span<uint8_t> output) {
    return Inflater(input, output).run();
}

Code decompress(codec::Bytes input, std::span<uint8_t> output, size_t& size) {
    Outcome o = run(input, output);
    size = o.produced;
    return o.code;
}

} // namespace kiv::inflate
