// The base 2, 16, 58 and 64 text codecs of binary!.
#include <algorithm>
#include <array>
#include <cstring>

#include "datatypes/binary.h"
#include "datatypes/string.h"

namespace kiv::binary {

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";
constexpr char base64_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char base58_alphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";

// Decoding tables over 7-bit characters: a digit value, or one of these.
constexpr uint8_t invalid = 255;
constexpr uint8_t space = 254;

constexpr auto make_table(const char* alphabet, bool spaces) {
    std::array<uint8_t, 128> t{};
    t.fill(invalid);
    for (uint8_t i = 0; alphabet[i]; ++i) t[uint8_t(alphabet[i])] = i;
    if (spaces)
        for (uint8_t c : {'\b', '\t', '\n', '\f', '\r', ' ', '\''}) t[c] = space;
    return t;
}
constexpr auto base64_table = make_table(base64_alphabet, true);
constexpr auto base58_table = make_table(base58_alphabet, true);
constexpr auto hex_table = [] {
    auto t = make_table(hex_digits, false);
    for (uint8_t c = 'a'; c <= 'f'; ++c) t[c] = uint8_t(c - 'a' + 10);
    return t;
}();

// ---- encoders

char* encode_2(char* out, const uint8_t* in, size_t n) {
    for (size_t i = 0; i < n; ++i)
        for (int bit = 7; bit >= 0; --bit) *out++ = char('0' + ((in[i] >> bit) & 1));
    return out;
}

char* encode_16(char* out, const uint8_t* in, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        *out++ = hex_digits[in[i] >> 4];
        *out++ = hex_digits[in[i] & 15];
    }
    return out;
}

char* encode_64(char* out, const uint8_t* in, size_t n) {
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t v = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        out[0] = base64_alphabet[v >> 18];
        out[1] = base64_alphabet[(v >> 12) & 63];
        out[2] = base64_alphabet[(v >> 6) & 63];
        out[3] = base64_alphabet[v & 63];
        out += 4;
    }
    if (i < n) {
        uint32_t v = uint32_t(in[i]) << 16 | (i + 1 < n ? uint32_t(in[i + 1]) << 8 : 0);
        out[0] = base64_alphabet[v >> 18];
        out[1] = base64_alphabet[(v >> 12) & 63];
        out[2] = i + 1 < n ? base64_alphabet[(v >> 6) & 63] : '=';
        out[3] = '=';
        out += 4;
    }
    return out;
}

// Divides the number whose digits in base `radix` (most significant first)
// run from `start` by `divisor`, in place, and returns the remainder;
// `start` moves past the leading zero digits of the quotient.
uint32_t divide(std::vector<uint8_t>& digits, size_t& start, uint32_t radix, uint32_t divisor) {
    uint32_t remainder = 0;
    for (size_t i = start; i < digits.size(); ++i) {
        uint32_t v = remainder * radix + digits[i];
        digits[i] = uint8_t(v / divisor);
        remainder = v % divisor;
    }
    while (start < digits.size() && digits[start] == 0) ++start;
    return remainder;
}

// Repeated division of the big-endian number by 58 gives the digits from
// the last one.
char* encode_58(char* out, const uint8_t* in, size_t n) {
    size_t zeros = 0;
    while (zeros < n && in[zeros] == 0) ++zeros;
    std::vector<uint8_t> number(in + zeros, in + n);
    std::vector<char> digits;
    digits.reserve(2 * n);
    for (size_t start = 0; start < number.size();)
        digits.push_back(base58_alphabet[divide(number, start, 256, 58)]);
    out = std::fill_n(out, zeros, '1');
    return std::copy(digits.rbegin(), digits.rend(), out);
}

// ---- decoders

// Reads the characters of a text one by one at its unit size, skipping
// ";" comments to the end of their line.
class Reader {
  public:
    Reader(const uint8_t* text, size_t length, uint32_t unit)
        : p_(text), end_(text + length * unit), unit_(unit) {}
    // The next character, or false at the end of the text.
    bool next(uint32_t& c) {
        for (;;) {
            if (p_ >= end_) return false;
            c = unit_ == 1 ? *p_ : string::get_char(p_, unit_);
            p_ += unit_;
            if (c != ';') return true;
            while (p_ < end_ && (unit_ == 1 ? *p_ : string::get_char(p_, unit_)) != '\n')
                p_ += unit_;
            if (p_ >= end_) return false;
            p_ += unit_; // the line feed
        }
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
    uint32_t unit_;
};

bool decode_2(Reader& in, std::vector<uint8_t>& out, bool) {
    uint32_t c, byte = 0, bits = 0;
    while (in.next(c)) {
        if (c <= ' ') continue;
        if (c != '0' && c != '1') return false;
        byte = byte << 1 | (c - '0');
        if (++bits == 8) {
            out.push_back(uint8_t(byte));
            byte = bits = 0;
        }
    }
    return bits == 0;
}

bool decode_16(Reader& in, std::vector<uint8_t>& out, bool strict) {
    uint32_t c, high = 0;
    bool pending = false;
    while (in.next(c)) {
        if (c <= ' ') continue;
        uint8_t v = c < 128 ? hex_table[c] : invalid;
        if (v > 15) return false;
        if (pending) out.push_back(uint8_t(high << 4 | v));
        high = v;
        pending = !pending;
    }
    return !(pending && strict);
}

bool decode_64(Reader& in, std::vector<uint8_t>& out, bool strict) {
    uint32_t c, group = 0, pending = 0;
    while (in.next(c)) {
        if (c == '=') {
            if (pending < 2) return false;
            group <<= 6 * (4 - pending);
            out.push_back(uint8_t(group >> 16));
            if (pending == 3) out.push_back(uint8_t(group >> 8));
            if (!strict) return true;
            // A literal's padding must complete the group, and nothing but
            // whitespace may follow it.
            uint32_t padding = 1;
            while (in.next(c)) {
                if (c == '=' && pending + padding < 4)
                    ++padding;
                else if (c >= 128 || base64_table[c] != space)
                    return false;
            }
            return pending + padding == 4;
        }
        uint8_t v = c < 128 ? base64_table[c] : invalid;
        if (v == space) continue;
        if (v == invalid) return false;
        group = group << 6 | v;
        if (++pending == 4) {
            out.push_back(uint8_t(group >> 16));
            out.push_back(uint8_t(group >> 8));
            out.push_back(uint8_t(group));
            group = pending = 0;
        }
    }
    return !(strict && pending);
}

bool decode_58(Reader& in, std::vector<uint8_t>& out, bool) {
    std::vector<uint8_t> digits;
    uint32_t c;
    while (in.next(c)) {
        uint8_t v = c < 128 ? base58_table[c] : invalid;
        if (v == space) continue;
        if (v == invalid) return false;
        digits.push_back(v);
    }
    size_t zeros = 0;
    while (zeros < digits.size() && digits[zeros] == 0) ++zeros;
    // Repeated division by 256 of the base-58 number; bytes from the end.
    std::vector<uint8_t> bytes;
    for (size_t start = zeros; start < digits.size();)
        bytes.push_back(uint8_t(divide(digits, start, 58, 256)));
    out.insert(out.end(), zeros, 0);
    out.insert(out.end(), bytes.rbegin(), bytes.rend());
    return true;
}

} // namespace

size_t encoded_size(uint32_t base, size_t n) {
    switch (base) {
    case 2: return 8 * n;
    case 16: return 2 * n;
    case 58: return 2 * n;
    default: return (n + 2) / 3 * 4;
    }
}

char* encode(uint32_t base, char* out, const uint8_t* bytes, size_t n) {
    switch (base) {
    case 2: return encode_2(out, bytes, n);
    case 16: return encode_16(out, bytes, n);
    case 58: return encode_58(out, bytes, n);
    default: return encode_64(out, bytes, n);
    }
}

bool decode(uint32_t base, const uint8_t* text, size_t length, uint32_t unit,
            std::vector<uint8_t>& out, bool strict) {
    using Decoder = bool (*)(Reader&, std::vector<uint8_t>&, bool);
    Decoder decoder = base == 2    ? decode_2
                      : base == 16 ? decode_16
                      : base == 58 ? decode_58
                                   : decode_64;
    out.clear();
    out.reserve(base == 2 ? length / 8 : base == 16 ? length / 2 : (length * 3 + 9) / 4);
    Reader in(text, length, unit);
    return decoder(in, out, strict);
}

} // namespace kiv::binary
