#include "io/deflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "runtime/interrupt.h"

namespace kiv::deflate {
namespace {

using codec::Code;

constexpr unsigned window_mask = 0x7FFF;
constexpr unsigned max_distance = 32767;
constexpr unsigned min_match = 3;
constexpr unsigned max_match = 258;
constexpr unsigned lazy_limit = 16;     // no lazy search once a match is this long
constexpr unsigned good_length = 8;     // a match this long quarters the chain budget
constexpr unsigned nice_length = 128;   // a match this long ends the search
constexpr unsigned max_chain = 128;     // candidates tried per search
constexpr unsigned far_distance = 4096; // a 3-byte match further away is not worth it
constexpr size_t block_symbols = 16384;
constexpr size_t max_piece = 65535; // bytes in one stored piece

// The three alphabets sit back to back in the frequency and code tables.
constexpr unsigned literal_count = 286; // literal/length symbols with codes
constexpr unsigned distance_count = 30;
constexpr unsigned code_length_count = 19;
constexpr unsigned distance_at = 288;
constexpr unsigned code_length_at = 320;
constexpr unsigned table_size = code_length_at + code_length_count;

// The working block: one zero-filled allocation per call.
struct Work {
    std::array<uint32_t, 32768> head;  // hash value -> latest position (1-based)
    std::array<uint32_t, 32768> chain; // position AND 0x7FFF -> previous position
    std::array<uint32_t, block_symbols> symbols;
    std::array<uint32_t, table_size> freq;
    std::array<uint16_t, table_size> code; // dynamic codes, bit-reversed
    std::array<uint8_t, table_size> length;
    std::array<uint16_t, code_length_at> fixed_code;
    std::array<uint8_t, code_length_at> fixed_length;
    std::array<uint32_t, 288> sorted_freq; // the code-length builder's work area
    std::array<uint16_t, 288> sorted_symbol;
};

// Length class of l = length - 3 (0-255), and distance class of
// d = distance - 1, from the highest set bit.
unsigned length_class(unsigned l) {
    if (l < 8) return l;
    if (l == 255) return 28;
    unsigned b = unsigned(31 - __builtin_clz(l)) - 2;
    return (l >> b) + 4 * b;
}

unsigned distance_class(unsigned d) {
    if (d < 4) return d;
    unsigned b = unsigned(31 - __builtin_clz(d)) - 1;
    return (d >> b) + 2 * b;
}

// Least significant bit first; whole bytes leave as they fill. Nothing is
// stored at or past `end`, but the position keeps counting.
struct BitWriter {
    uint8_t* out;
    size_t end;
    size_t pos = 0;
    uint64_t buffer = 0;
    unsigned count = 0;

    void put(uint32_t value, unsigned bits) {
        buffer |= uint64_t(value) << count;
        count += bits;
        if (count >= 32) emit(4);
    }
    // Moves `bytes` whole bytes from the buffer to the output.
    void emit(unsigned bytes) {
        if (pos + 8 <= end) {
            std::memcpy(out + pos, &buffer, 8); // little-endian; the rest is rewritten later
        } else {
            for (unsigned i = 0; i < bytes; ++i)
                if (pos + i < end) out[pos + i] = uint8_t(buffer >> (8 * i));
        }
        pos += bytes;
        buffer = bytes == 8 ? 0 : buffer >> (8 * bytes);
        count -= 8 * bytes;
    }
    // Pads to the byte boundary with zero bits and empties the buffer.
    void align() {
        count = (count + 7) & ~7u;
        emit(count / 8);
    }
};

class Compressor {
  public:
    Compressor(codec::Bytes input, std::span<uint8_t> output)
        : in(input.data()), n(input.size()), bits{output.data(), output.size()},
          work(std::make_unique<Work>()) {
        for (unsigned s = 0; s < 288; ++s) work->fixed_length[s] = codec::fixed_length(s);
        for (unsigned s = 0; s < 32; ++s) work->fixed_length[distance_at + s] = 5;
        canonical_codes(&work->fixed_length[0], &work->fixed_code[0], 288);
        canonical_codes(&work->fixed_length[distance_at], &work->fixed_code[distance_at], 32);
    }

    size_t run();

  private:
    const uint8_t* in;
    size_t n;
    BitWriter bits;
    std::unique_ptr<Work> work;
    size_t symbol_count = 0;

    unsigned longest_match(size_t pos, uint32_t candidate, unsigned prev_length, unsigned limit,
                           unsigned& distance);
    void literal(uint8_t byte) {
        work->symbols[symbol_count++] = byte;
        work->freq[byte]++;
    }
    void match(unsigned length, unsigned distance) {
        work->symbols[symbol_count++] = distance << 8 | (length - min_match);
        work->freq[257 + length_class(length - min_match)]++;
        work->freq[distance_at + distance_class(distance - 1)]++;
    }
    void write_block(size_t start, size_t end, bool final);
    void write_stored(size_t start, size_t end, bool final);
    void write_data(const uint16_t* code, const uint8_t* length);
    // Counts the code-length symbols of a sequence and, with `write`,
    // writes them.
    void run_lengths(const uint8_t* lengths, unsigned count, bool write);
    void build_lengths(const uint32_t* freq, uint8_t* length, unsigned count, unsigned limit);
    static void canonical_codes(const uint8_t* length, uint16_t* code, unsigned count);
};

size_t Compressor::run() {
    unsigned hash_bits = 8;
    while (hash_bits < 15 && (size_t(1) << hash_bits) < n) ++hash_bits;
    const uint32_t mask = (1u << hash_bits) - 1;
    uint32_t hash = n >= 3 ? uint32_t(in[0]) << 5 ^ in[1] : 0;

    auto& head = work->head;
    auto& chain = work->chain;
    unsigned prev_length = min_match - 1, prev_distance = 0, distance = 0;
    bool match_available = false;
    unsigned skip = 0;
    size_t block_start = 0, covered = 0;

    // pos is 1-based, so that 0 marks an empty hash head or chain end.
    for (size_t pos = 1; pos <= n; ++pos) {
        const size_t at = pos - 1, left = n - at;
        uint32_t candidate = 0;
        if (left >= min_match) {
            hash = ((hash << 5) ^ in[at + 2]) & mask;
            candidate = head[hash];
            head[hash] = uint32_t(pos);
            chain[pos & window_mask] = candidate;
        }
        if (skip) {
            --skip;
            continue;
        }
        unsigned match_length = min_match - 1;
        if (candidate && pos - candidate <= max_distance && prev_length < lazy_limit) {
            unsigned limit = unsigned(std::min<size_t>(max_match, left));
            match_length = longest_match(pos, candidate, prev_length, limit, distance);
            if (match_length == min_match && distance > far_distance) match_length = min_match - 1;
        }
        if (prev_length >= min_match && match_length <= prev_length) {
            match(prev_length, prev_distance);
            covered = at - 1 + prev_length;
            skip = prev_length - 2;
            prev_length = min_match - 1;
            match_available = false;
        } else {
            if (match_available) {
                literal(in[at - 1]);
                covered = at;
            }
            match_available = true;
            prev_length = match_length;
            prev_distance = distance;
        }
        if (symbol_count == block_symbols) {
            write_block(block_start, covered, false);
            block_start = covered;
        }
    }
    if (match_available) literal(in[n - 1]);
    write_block(block_start, n, true);
    bits.align();
    return bits.pos;
}

unsigned Compressor::longest_match(size_t pos, uint32_t candidate, unsigned prev_length,
                                   unsigned limit, unsigned& distance) {
    if (prev_length >= limit) return prev_length;
    unsigned budget = prev_length >= good_length ? max_chain / 4 : max_chain;
    const unsigned nice = std::min(nice_length, limit);
    const size_t oldest = pos > max_distance + 1 ? pos - (max_distance + 1) : 0;
    const uint8_t* scan = in + pos - 1;
    unsigned best = prev_length;
    do {
        const uint8_t* m = in + candidate - 1;
        if (m[best] == scan[best] && m[best - 1] == scan[best - 1] && m[0] == scan[0] &&
            m[1] == scan[1]) {
            unsigned length = 2;
            while (length + 8 <= limit) {
                uint64_t a, b;
                std::memcpy(&a, m + length, 8);
                std::memcpy(&b, scan + length, 8);
                if (a != b) {
                    length += unsigned(__builtin_ctzll(a ^ b)) / 8;
                    goto measured;
                }
                length += 8;
            }
            while (length < limit && m[length] == scan[length]) ++length;
        measured:
            if (length > best) {
                best = length;
                distance = unsigned(pos - candidate);
                if (length >= nice) break;
            }
        }
        candidate = work->chain[candidate & window_mask];
    } while (candidate > oldest && --budget != 0);
    return best;
}

void Compressor::write_block(size_t start, size_t end, bool final) {
    runtime::poll(); // compressing a huge input stops at an interrupt
    Work& w = *work;
    w.freq[256] = 1;
    build_lengths(&w.freq[0], &w.length[0], literal_count, 15);
    build_lengths(&w.freq[distance_at], &w.length[distance_at], distance_count, 15);
    unsigned hlit = literal_count, hdist = distance_count;
    while (w.length[hlit - 1] == 0) --hlit;
    while (w.length[distance_at + hdist - 1] == 0) --hdist;

    run_lengths(&w.length[0], hlit, false);
    run_lengths(&w.length[distance_at], hdist, false);
    build_lengths(&w.freq[code_length_at], &w.length[code_length_at], code_length_count, 7);
    unsigned hclen = code_length_count;
    while (hclen > 4 && w.length[code_length_at + codec::code_length_order[hclen - 1]] == 0)
        --hclen;

    uint64_t extra = 0, dynamic_data = 0, fixed_data = 0;
    for (unsigned c = 0; c < 29; ++c) extra += uint64_t(w.freq[257 + c]) * codec::length_extra[c];
    for (unsigned c = 0; c < distance_count; ++c)
        extra += uint64_t(w.freq[distance_at + c]) * codec::distance_extra[c];
    for (unsigned s = 0; s < code_length_at; ++s) {
        dynamic_data += uint64_t(w.freq[s]) * w.length[s];
        fixed_data += uint64_t(w.freq[s]) * w.fixed_length[s];
    }
    uint64_t header = 17 + 3 * hclen + 2 * uint64_t(w.freq[code_length_at + 16]) +
                      3 * uint64_t(w.freq[code_length_at + 17]) +
                      7 * uint64_t(w.freq[code_length_at + 18]);
    for (unsigned s = 0; s < code_length_count; ++s)
        header += uint64_t(w.freq[code_length_at + s]) * w.length[code_length_at + s];
    const uint64_t dynamic_size = header + dynamic_data + extra;
    const uint64_t fixed_size = 3 + fixed_data + extra;
    const size_t bytes = end - start;
    const size_t pieces = std::max<size_t>(1, (bytes + max_piece - 1) / max_piece);
    const uint64_t stored_size = ((bits.count + 3 + 7) & ~7u) - bits.count + 32 +
                                 40 * uint64_t(pieces - 1) + 8 * uint64_t(bytes);

    if (stored_size <= fixed_size && stored_size <= dynamic_size) {
        write_stored(start, end, final);
    } else if (dynamic_size < fixed_size) {
        bits.put(final | 2u << 1, 3);
        bits.put(hlit - 257, 5);
        bits.put(hdist - 1, 5);
        bits.put(hclen - 4, 4);
        canonical_codes(&w.length[code_length_at], &w.code[code_length_at], code_length_count);
        for (unsigned i = 0; i < hclen; ++i)
            bits.put(w.length[code_length_at + codec::code_length_order[i]], 3);
        canonical_codes(&w.length[0], &w.code[0], 288);
        canonical_codes(&w.length[distance_at], &w.code[distance_at], 32);
        run_lengths(&w.length[0], hlit, true);
        run_lengths(&w.length[distance_at], hdist, true);
        write_data(&w.code[0], &w.length[0]);
    } else {
        bits.put(final | 1u << 1, 3);
        write_data(&w.fixed_code[0], &w.fixed_length[0]);
    }
    w.freq.fill(0);
    symbol_count = 0;
}

void Compressor::write_stored(size_t start, size_t end, bool final) {
    size_t at = start;
    do {
        size_t length = std::min(max_piece, end - at);
        bool last = at + length == end;
        bits.put(final && last ? 1 : 0, 3);
        bits.align();
        bits.put(uint32_t(length), 16);
        bits.put(uint32_t(length) ^ 0xFFFF, 16);
        bits.align();
        if (bits.pos + length <= bits.end) std::memcpy(bits.out + bits.pos, in + at, length);
        bits.pos += length;
        at += length;
    } while (at < end);
}

void Compressor::write_data(const uint16_t* code, const uint8_t* length) {
    for (size_t i = 0; i < symbol_count; ++i) {
        uint32_t entry = work->symbols[i];
        if (entry < 256) {
            bits.put(code[entry], length[entry]);
            continue;
        }
        unsigned l = entry & 0xFF, distance = entry >> 8;
        unsigned lc = length_class(l);
        bits.put(code[257 + lc], length[257 + lc]);
        if (codec::length_extra[lc])
            bits.put(l + 3 - codec::length_base[lc], codec::length_extra[lc]);
        unsigned dc = distance_class(distance - 1);
        bits.put(code[distance_at + dc], length[distance_at + dc]);
        if (codec::distance_extra[dc])
            bits.put(distance - codec::distance_base[dc], codec::distance_extra[dc]);
    }
    bits.put(code[256], length[256]);
}

void Compressor::run_lengths(const uint8_t* lengths, unsigned count, bool write) {
    deflate::run_lengths(lengths, count, [&](unsigned symbol, unsigned extra, unsigned extra_bits) {
        work->freq[code_length_at + symbol]++;
        if (!write) return;
        bits.put(work->code[code_length_at + symbol], work->length[code_length_at + symbol]);
        if (extra_bits) bits.put(extra, extra_bits);
    });
}

// Length-limited code lengths from frequencies: optimal lengths by the
// in-place method of Moffat and Katajainen, then moved under the limit
// while the Kraft sum is too large, then handed out shortest first to the
// most frequent symbols.
void Compressor::build_lengths(const uint32_t* freq, uint8_t* length, unsigned count,
                               unsigned limit) {
    std::fill(length, length + count, 0);
    auto& a = work->sorted_freq;
    auto& symbol = work->sorted_symbol;
    int used = 0;
    for (unsigned s = 0; s < count; ++s) {
        if (!freq[s]) continue;
        // Stable insertion: equal frequencies keep symbol order.
        int k = used++;
        while (k > 0 && a[size_t(k - 1)] > freq[s]) {
            a[size_t(k)] = a[size_t(k - 1)];
            symbol[size_t(k)] = symbol[size_t(k - 1)];
            --k;
        }
        a[size_t(k)] = freq[s];
        symbol[size_t(k)] = uint16_t(s);
    }
    if (used < 2) {
        length[0] = length[1] = 1;
        if (used == 1 && symbol[0] >= 2) {
            length[1] = 0;
            length[symbol[0]] = 1;
        }
        return;
    }

    // Pass 1: the tree, parents stored in place.
    a[0] += a[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < used - 1; ++next) {
        if (leaf >= used || a[size_t(root)] < a[size_t(leaf)]) {
            a[size_t(next)] = a[size_t(root)];
            a[size_t(root++)] = uint32_t(next);
        } else {
            a[size_t(next)] = a[size_t(leaf++)];
        }
        if (leaf >= used || (root < next && a[size_t(root)] < a[size_t(leaf)])) {
            a[size_t(next)] += a[size_t(root)];
            a[size_t(root++)] = uint32_t(next);
        } else {
            a[size_t(next)] += a[size_t(leaf++)];
        }
    }
    // Pass 2: parents to depths of the internal nodes.
    a[size_t(used - 2)] = 0;
    for (int next = used - 3; next >= 0; --next) a[size_t(next)] = a[a[size_t(next)]] + 1;
    // Pass 3: depths of the leaves, deepest first.
    int available = 1, depth_used = 0, next = used - 1;
    uint32_t depth = 0;
    root = used - 2;
    while (available > 0) {
        while (root >= 0 && a[size_t(root)] == depth) {
            ++depth_used;
            --root;
        }
        while (available > depth_used) {
            a[size_t(next--)] = depth;
            --available;
        }
        available = 2 * depth_used;
        ++depth;
        depth_used = 0;
    }

    std::array<uint32_t, 16> per_length{};
    for (int k = 0; k < used; ++k) per_length[std::min<uint32_t>(a[size_t(k)], limit)]++;
    uint32_t kraft = 0;
    for (unsigned l = 1; l <= limit; ++l) kraft += per_length[l] << (limit - l);
    while (kraft > (1u << limit)) {
        per_length[limit]--;
        unsigned j = limit - 1;
        while (per_length[j] == 0) --j;
        per_length[j]--;
        per_length[j + 1] += 2;
        --kraft;
    }
    int k = used - 1;
    for (unsigned l = 1; l <= limit; ++l)
        for (uint32_t c = per_length[l]; c; --c) length[symbol[size_t(k--)]] = uint8_t(l);
}

void Compressor::canonical_codes(const uint8_t* length, uint16_t* code, unsigned count) {
    std::array<uint16_t, 16> per_length{}, next{};
    for (unsigned s = 0; s < count; ++s)
        if (length[s]) per_length[length[s]]++;
    for (unsigned l = 2; l < 16; ++l) next[l] = uint16_t((next[l - 1] + per_length[l - 1]) << 1);
    for (unsigned s = 0; s < count; ++s)
        code[s] = length[s] ? uint16_t(codec::reverse_code(next[length[s]]++, length[s])) : 0;
}

} // namespace

Code compress(codec::Bytes input, std::span<uint8_t> output, size_t& size) {
    size = Compressor(input, output).run();
    return size <= output.size() ? Code::done : Code::too_small;
}

size_t bound(size_t length) {
    // Every block costs at most its stored form: 5 bytes of header per
    // piece of 65,535 bytes, and each block of 16,384 symbols starts a
    // piece of its own; one byte more for the final padding.
    size_t blocks = length / block_symbols + 1;
    return length + 5 * (blocks + length / max_piece + 1) + 1;
}

} // namespace kiv::deflate
