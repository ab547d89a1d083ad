// Helpers shared by the codec tests: byte corpora, our codecs on vectors,
// zlib's raw inflate as the reference, and a bit writer for hand-built
// DEFLATE streams.
#pragma once

#include <zlib.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "io/codec.h"

namespace codec_test {

using Bytes = std::vector<uint8_t>;
using Code = kiv::codec::Code;

inline Bytes text_of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes random_bytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes v(n);
    for (auto& b : v) b = uint8_t(gen());
    return v;
}

// Words from a small vocabulary with spaces and line breaks.
inline Bytes text_like(size_t n, unsigned seed) {
    static const char* words[] = {
        "the",   "quick", "brown",  "fox",     "jumps", "over", "lazy", "dog", "compress", "stream",
        "block", "value", "series", "context", "of",    "and",  "a",    "to",  "in",       "is"};
    std::mt19937 gen(seed);
    Bytes v;
    while (v.size() < n) {
        const char* w = words[gen() % 20];
        v.insert(v.end(), w, w + std::char_traits<char>::length(w));
        v.push_back(gen() % 12 == 0 ? '\n' : ' ');
    }
    v.resize(n);
    return v;
}

// Runs of random length of random bytes.
inline Bytes runs(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes v;
    while (v.size() < n) v.insert(v.end(), 1 + gen() % 300, uint8_t(gen()));
    v.resize(n);
    return v;
}

// Every byte value in turn, over and over.
inline Bytes every_byte(size_t n) {
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i);
    return v;
}

// One of our codecs over a vector: the code, and the output at its real
// length (its first `capacity` bytes when too small).
struct Coded {
    Code code;
    size_t size;
    Bytes out;
};

template <class Codec>
Coded run_codec(Codec codec, const Bytes& input, size_t capacity) {
    Coded r{Code::done, 0, Bytes(capacity)};
    r.code = codec(kiv::codec::Bytes(input), std::span<uint8_t>(r.out), r.size);
    if (r.size < capacity) r.out.resize(r.size);
    return r;
}

// zlib's verdict on a raw DEFLATE stream: the bytes when it ends properly.
inline std::optional<Bytes> zlib_inflate_raw(const Bytes& input) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return std::nullopt;
    Bytes out;
    std::vector<uint8_t> chunk(65536);
    z.next_in = const_cast<uint8_t*>(input.data());
    z.avail_in = uInt(input.size());
    int rc;
    do {
        z.next_out = chunk.data();
        z.avail_out = uInt(chunk.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk.data(), z.next_out);
    } while (rc == Z_OK);
    inflateEnd(&z);
    if (rc != Z_STREAM_END) return std::nullopt;
    return out;
}

// Writes a stream least significant bit first; Huffman codes are given
// most significant bit first, as RFC 1951 writes them.
class BitStream {
  public:
    BitStream& bits(uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) put((value >> i) & 1);
        return *this;
    }
    BitStream& code(uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;) put((value >> i) & 1);
        return *this;
    }
    BitStream& align() {
        while (count % 8) put(0);
        return *this;
    }
    BitStream& byte(uint8_t b) { return bits(b, 8); }
    // A literal/length symbol of the fixed code.
    BitStream& fixed(unsigned symbol) {
        if (symbol < 144) return code(0x30 + symbol, 8);
        if (symbol < 256) return code(0x190 + symbol - 144, 9);
        if (symbol < 280) return code(symbol - 256, 7);
        return code(0xC0 + symbol - 280, 8);
    }
    Bytes done() {
        align();
        return out;
    }

  private:
    Bytes out;
    size_t count = 0;
    void put(unsigned bit) {
        if (count % 8 == 0) out.push_back(0);
        out.back() |= uint8_t(bit << (count % 8));
        ++count;
    }
};

// Canonical codes (most significant bit first) of a set of code lengths.
inline std::vector<uint32_t> canonical(const std::vector<uint8_t>& lengths) {
    uint32_t count[16] = {}, next[16] = {};
    for (uint8_t l : lengths)
        if (l) count[l]++;
    for (int l = 2; l < 16; ++l) next[l] = (next[l - 1] + count[l - 1]) << 1;
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

} // namespace codec_test
