#include "datatypes/binary.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/url.h"
#include "runtime/errors.h"
#include "runtime/interrupt.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::binary {

namespace {

using ownership::Word;
using Bytes = std::vector<uint8_t>;

Buffer* buffer_of(const Cell& value) {
    return memory::buffer_of(value.w2);
}

uint32_t head_of(const Cell& value) {
    return series::head_of(value);
}

[[noreturn]] void invalid_arg(const Cell& value) {
    runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &value);
}

[[noreturn]] void no_memory() {
    runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
}

bool is_equality(int32_t op) {
    return op == 0 || op == 1 || op == 2 || op == 12;
}

bool is_block_like(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH;
}

// The largest binary! a series holds.
constexpr uint64_t max_bytes = memory::max_series_length;

// Replaces `removed` bytes at the index by a gap of `added` bytes and
// returns the gap's address. The buffer grows to the new size, or to
// twice its size when that is larger.
uint8_t* open_gap(Cell& series, uint32_t at, uint32_t removed, uint64_t added) {
    Buffer* b = buffer_of(series);
    uint64_t length = b->length();
    uint64_t need = length - removed + added;
    if (need > max_bytes) no_memory();
    if (b->head + need > b->data_end()) {
        uint64_t doubled = 2 * uint64_t(b->size);
        b = memory::expand_series(b, int64_t(std::min(std::max(need, doubled), max_bytes)));
    }
    uint8_t* gap = b->head + at;
    uint8_t* rest = gap + removed;
    if (rest != b->tail) std::memmove(gap + added, rest, size_t(b->tail - rest));
    b->tail = b->head + need;
    return gap;
}

// Writes `dup` copies of the bytes into the gap just opened in the series.
// No bytes may come with no buffer at all (an empty vector), which memcpy
// must not be given. An interrupt closes the gap after the copies made.
void fill_gap(Cell& series, uint8_t* gap, const uint8_t* bytes, size_t n, int32_t dup) {
    if (n == 0) return;
    if (dup == 1) { // one copy: nothing to poll between
        if (n == 1)
            *gap = *bytes;
        else
            std::memcpy(gap, bytes, n);
        return;
    }
    runtime::write_copies(
        uint32_t(dup), n,
        [&](uint64_t first, uint64_t count) {
            for (uint8_t* out = gap + first * n; count--; out += n) std::memcpy(out, bytes, n);
        },
        [&](uint64_t done) {
            Buffer* b = buffer_of(series);
            uint8_t* rest = gap + uint64_t(dup) * n;
            std::memmove(gap + done * n, rest, size_t(b->tail - rest));
            b->tail -= (uint64_t(dup) - done) * n;
        });
}

void append_utf8(Bytes& out, uint32_t cp) {
    uint8_t encoded[4];
    uint32_t n = utf8::encode_char(cp, encoded);
    out.insert(out.end(), encoded, encoded + n);
}

void append_text(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

// The UTF-8 of a text value from its head, at most `limit` characters
// when 0 <= limit.
std::string utf8_of(const Cell& value, int64_t limit = -1) {
    std::string text = url::utf8_text(value);
    if (limit < 0) return text;
    const uint8_t* start = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = utf8::skip_chars(start, start + text.size(), int32_t(limit) + 1);
    return text.substr(0, size_t(end - start));
}

std::string formed(const Cell& value) {
    Rooted<Cell> buffer;
    string::make_at(*buffer, 16);
    Rooted<Cell> source(value);
    dispatch::form(*source, *buffer, nullptr, 0);
    return url::utf8_text(*buffer);
}

// The bytes of a tuple!: as many as its size (header bits 19-22), kept in
// address order in words 1 to 3.
void append_tuple(Bytes& out, const Cell& tuple) {
    uint32_t size = (tuple.header >> 19) & 0xF;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&tuple.w1);
    out.insert(out.end(), bytes, bytes + std::min(size, 12u));
}

void append_big_endian(Bytes& out, uint64_t value, int n) {
    for (int shift = 8 * (n - 1); shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

} // namespace

// ---------------------------------------------------------------- making

Cell& make_at(Cell& cell, uint32_t capacity) {
    cell.header = cell::unset_header;
    cell.w1 = 0;
    cell.w3 = 0;
    cell.w2 = memory::alloc_bytes(capacity);
    cell.header = TYPE_BINARY;
    return cell;
}

Cell& load_at(Cell& cell, const uint8_t* bytes, size_t count) {
    make_at(cell, memory::series_length(count));
    Buffer* b = buffer_of(cell);
    if (count) std::memcpy(b->head, bytes, count);
    b->tail = b->head + count;
    return cell;
}

Cell& load(const uint8_t* bytes, uint32_t count) {
    // The argument stack never moves, so the slot stays where it is.
    return load_at(*stack::push_raw(), bytes, count);
}

Cell& load_in(Cell& block, const uint8_t* bytes, uint32_t count) {
    Rooted<Cell> loaded;
    load_at(*loaded, bytes, count);
    Cell* slot = cell::alloc_tail(block);
    *slot = *loaded;
    return *slot;
}

uint32_t length(const Cell& value) {
    return buffer_of(value)->length() - head_of(value);
}

uint8_t* head_ptr(const Cell& value) {
    return buffer_of(value)->head + head_of(value);
}

void append_bytes(Cell& value, const uint8_t* bytes, size_t n) {
    uint8_t* gap = open_gap(value, buffer_of(value)->length(), 0, n);
    if (n) std::memcpy(gap, bytes, n);
}

uint8_t byte_of(const Cell& value) {
    uint32_t type = cell::type_of(value);
    if (type == TYPE_INTEGER) {
        int32_t n = integer::get(value);
        if (n >= -128 && n <= 255) return uint8_t(n);
    } else if (type == TYPE_CHAR && value.w2 <= 255) {
        return uint8_t(value.w2);
    }
    invalid_arg(value);
}

void bytes_of(const Cell& value, Bytes& out, int64_t limit, bool form_others) {
    uint32_t type = cell::type_of(value);
    if (type == TYPE_CHAR) {
        append_utf8(out, value.w2);
    } else if (type == TYPE_INTEGER) {
        out.push_back(byte_of(value));
    } else if (type == TYPE_BINARY) {
        uint32_t n = length(value);
        if (limit >= 0 && limit < n) n = uint32_t(limit);
        const uint8_t* from = head_ptr(value);
        out.insert(out.end(), from, from + n);
    } else if (type == TYPE_TUPLE) {
        append_tuple(out, value);
    } else if (series::is_text_type(type)) {
        append_text(out, utf8_of(value, limit));
    } else if (is_block_like(type)) {
        Rooted<Cell> block(value);
        int64_t n = std::max<int64_t>(int64_t(buffer_of(*block)->length()) - block->w1, 0);
        if (limit >= 0) n = std::min(n, limit);
        for (int64_t i = 0; i < n; ++i) {
            // A copy: forming an element allocates, which may move the block.
            Cell element = buffer_of(*block)->head_cell()[block->w1 + i];
            bytes_of(element, out, -1, form_others);
        }
    } else if (form_others) {
        append_text(out, formed(value));
    } else {
        Cell named{};
        datatype::make_at(named, TYPE_BINARY);
        runtime::fire_error(runtime::Category::script, err::script::bad_to_arg, &named, &value);
    }
}

int32_t compare_to(const Cell& a, const Cell& b, int32_t op, bool match) {
    uint32_t type_b = cell::type_of(b);
    bool text = series::is_text_type(type_b);
    if (type_b != TYPE_BINARY && !text) return -2;
    bool same = a.w2 == b.w2 && a.w1 == b.w1;
    if (op == 9) return same ? 0 : 1;
    if (same && is_equality(op)) return 0;
    std::string utf8 = text ? utf8_of(b) : std::string();
    const uint8_t* pa = head_ptr(a);
    const uint8_t* pb = text ? reinterpret_cast<const uint8_t*>(utf8.data()) : head_ptr(b);
    int64_t la = length(a), lb = text ? int64_t(utf8.size()) : length(b);
    if (match) {
        if (lb == 0) return 0;
        if (la < lb) return 1;
        la = lb;
    } else if (la != lb && is_equality(op)) {
        return 1;
    }
    int c = std::memcmp(pa, pb, size_t(std::min(la, lb)));
    if (c) return c < 0 ? -1 : 1;
    return (la > lb) - (la < lb);
}

// ---------------------------------------------------------------- actions

namespace {

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    uint32_t type = cell::type_of(*spec);
    Bytes bytes;
    switch (type) {
    case TYPE_INTEGER: append_big_endian(bytes, uint32_t(integer::get(*spec)), 4); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
        append_big_endian(bytes, std::bit_cast<uint64_t>(cell::get_float(*spec)), 8);
        break;
    case TYPE_ISSUE: {
        const char* name = symbol::c_name(spec->w2);
        if (!decode(16, reinterpret_cast<const uint8_t*>(name), std::strlen(name), 1, bytes, true))
            runtime::fire_error(runtime::Category::script, err::script::invalid_data, spec);
        break;
    }
    case TYPE_BITSET: {
        Buffer* b = buffer_of(*spec);
        bytes.assign(b->head, b->tail);
        break;
    }
    default: bytes_of(*spec, bytes, -1, false);
    }
    load_at(*proto, bytes.data(), uint32_t(bytes.size()));
    return proto;
}

// The text of form and mold: "#{" and "}" unless `only`, and line breaks
// around bytes past the 30th, after every 32nd, unless `flat`.
int32_t mold_bytes(const Cell& value, Cell& buffer, bool only, bool flat, const Cell* arg,
                   int32_t part, int32_t indent) {
    uint32_t n = length(value);
    std::string out;
    bool broken = n > 30 && !flat;
    auto new_line = [&](int32_t level) {
        out += '\n';
        out.append(size_t(std::max(level, 0)) * 4, ' ');
    };
    if (!only) out += "#{";
    if (broken) new_line(indent + 1);
    const uint8_t* bytes = head_ptr(value);
    uint32_t written = 0;
    for (; written < n; ++written) {
        if (arg && part - int32_t(out.size()) <= 0) break;
        runtime::poll();
        out += string::byte_to_hex(bytes[written]);
        if (!flat && (written + 1) % 32 == 0 && written + 1 < n) new_line(indent + 1);
    }
    if (broken) new_line(indent);
    if (!only) out += '}';
    string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(out.data()),
                         uint32_t(out.size()));
    return part - int32_t(out.size());
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    return mold_bytes(*value, *buffer, false, false, arg, part, 0);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    return mold_bytes(*value, *buffer, only, flat, arg, part, indent);
}

int32_t compare(const Cell* a, const Cell* b, int32_t op) {
    if (cell::type_of(*b) != TYPE_BINARY) return -2;
    return compare_to(*a, *b, op, false);
}

// and~ or~ xor~: a new binary! as long as the longer operand.
template <int32_t Op>
void bitwise() {
    Cell* args = frame_args();
    if (cell::type_of(args[1]) != TYPE_BINARY) invalid_arg(args[1]);
    uint32_t la = length(args[0]), lb = length(args[1]);
    Rooted<Cell> result;
    make_at(*result, std::max(la, lb));
    const uint8_t* a = head_ptr(args[0]);
    const uint8_t* b = head_ptr(args[1]);
    uint8_t* out = buffer_of(*result)->head;
    uint32_t shorter = std::min(la, lb), longer = std::max(la, lb);
    const uint8_t* rest = la > lb ? a : b;
    for (uint32_t i = 0; i < longer; ++i) {
        if (i >= shorter) {
            out[i] = Op == integer::and_ ? 0 : rest[i];
            continue;
        }
        out[i] = Op == integer::and_ ? a[i] & b[i] : Op == integer::or_ ? a[i] | b[i] : a[i] ^ b[i];
    }
    buffer_of(*result)->tail = out + longer;
    args[0] = *result;
}

Cell* complement(Cell* value) {
    uint8_t* p = head_ptr(*value);
    for (uint32_t i = 0, n = length(*value); i < n; ++i) p[i] = uint8_t(~p[i]);
    return value;
}

// append (the series at its head) and insert (the series just past what
// was inserted).
Cell* insert(Cell* series, const Cell* value, int32_t part, bool, int32_t dup, bool append) {
    if (dup < 1) return series;
    uint32_t whole = buffer_of(*series)->length();
    uint32_t head = head_of(*series);
    uint32_t at = append ? whole : head;
    std::array<uint8_t, 4> one;
    Bytes many;
    const uint8_t* bytes = one.data();
    size_t n = 1;
    uint32_t type = cell::type_of(*value);
    if (type == TYPE_INTEGER) {
        one[0] = byte_of(*value);
    } else if (type == TYPE_CHAR) {
        n = utf8::encode_char(value->w2, one.data());
    } else {
        bytes_of(*value, many, part, false);
        bytes = many.data();
        n = many.size();
    }
    uint64_t total = uint64_t(n) * uint32_t(dup);
    if (total > max_bytes) no_memory();
    series::Change change(*series, append ? Word::append : Word::insert, value, int32_t(at - head),
                          int32_t(total));
    fill_gap(*series, open_gap(*series, at, 0, total), bytes, n, dup);
    change.done(append ? Word::appended : Word::inserted);
    series->w1 = append ? 0 : uint32_t(at + total);
    return series;
}

// Replaces bytes from the head by the value's bytes (its formed text for
// types without a byte form). The bytes are taken before the gap moves, so
// a value of the same buffer gives what it held.
Cell* change(Cell* series, const Cell* value, int32_t part, bool, int32_t dup) {
    dup = std::max(dup, 1);
    uint32_t head = head_of(*series);
    series->w1 = head;
    Bytes bytes;
    bytes_of(*value, bytes, -1, true);
    uint64_t written = uint64_t(bytes.size()) * uint32_t(dup);
    if (written > max_bytes) no_memory();
    uint64_t available = length(*series);
    uint32_t removed =
        uint32_t(std::min<uint64_t>(available, part >= 0 ? uint64_t(part) : written));
    series::Change announce(*series, Word::change, value, 0, int32_t(removed));
    fill_gap(*series, open_gap(*series, head, removed, written), bytes.data(), bytes.size(), dup);
    announce.done(Word::changed);
    series->w1 = uint32_t(head + written);
    return series;
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with) {
    if (auto_ || lines) runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    std::array<bool, 256> drop{};
    if (with) {
        uint32_t type = cell::type_of(*with);
        if (type == TYPE_BINARY) {
            for (uint32_t i = 0, n = length(*with); i < n; ++i) drop[head_ptr(*with)[i]] = true;
        } else if (series::is_text_type(type)) {
            for (uint8_t c : utf8_of(*with)) drop[c] = true;
        } else if (type == TYPE_CHAR || type == TYPE_INTEGER) {
            drop[byte_of(*with)] = true;
        } else {
            invalid_arg(*with);
        }
    } else {
        drop[0] = true;
    }
    uint32_t from = head_of(*series);
    series->w1 = from;
    uint32_t n = length(*series);
    series::Change change(*series, Word::trim, nullptr, 0, int32_t(n));
    uint8_t* p = head_ptr(*series);
    uint8_t* end = p + n;
    uint8_t* out = p;
    if (all || with) {
        for (uint8_t* q = p; q < end; ++q)
            if (!drop[*q]) *out++ = *q;
    } else {
        bool only_head = head && !tail, only_tail = tail && !head;
        uint8_t* first = p;
        uint8_t* last = end;
        if (!only_tail)
            while (first < last && drop[*first]) ++first;
        if (!only_head)
            while (last > first && drop[last[-1]]) --last;
        std::memmove(p, first, size_t(last - first));
        out = p + (last - first);
    }
    buffer_of(*series)->tail = out;
    change.done(Word::trimmed);
    return series;
}

} // namespace

void init() {
    datatype::register_type(TYPE_BINARY, TYPE_STRING, "binary!",
                            {{Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, compare},
                             {Slot::and_, bitwise<integer::and_>},
                             {Slot::complement, complement},
                             {Slot::or_, bitwise<integer::or_>},
                             {Slot::xor_, bitwise<integer::xor_>},
                             {Slot::append, insert},
                             {Slot::change, change},
                             {Slot::insert, insert},
                             {Slot::trim, trim}});
}

// ---------------------------------------------------------------- codecs

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

// The two base-64 digits of each 12-bit value: a group of three bytes is
// written as two pairs.
constexpr auto base64_pairs = [] {
    std::array<char, 2 * 4096> t{};
    for (size_t v = 0; v < 4096; ++v) {
        t[2 * v] = base64_alphabet[v >> 6];
        t[2 * v + 1] = base64_alphabet[v & 63];
    }
    return t;
}();

char* encode_64(char* out, const uint8_t* in, size_t n) {
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t v = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        std::memcpy(out, &base64_pairs[2 * (v >> 12)], 2);
        std::memcpy(out + 2, &base64_pairs[2 * (v & 0xFFF)], 2);
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

    // With units of one byte, decodes whole base-64 groups of four digits
    // straight into `out` while nothing else comes (no space, comment or
    // padding), and stops before the first group that holds anything
    // else: the character loop takes over there.
    void base64_groups(std::vector<uint8_t>& out);

  private:
    const uint8_t* p_;
    const uint8_t* end_;
    uint32_t unit_;
};

// The base-64 digit values over all byte values; anything else has one of
// its two high bits set.
constexpr auto base64_bytes = [] {
    std::array<uint8_t, 256> t{};
    t.fill(invalid);
    for (size_t c = 0; c < base64_table.size(); ++c) t[c] = base64_table[c];
    return t;
}();

void Reader::base64_groups(std::vector<uint8_t>& out) {
    if (unit_ != 1) return;
    // A stretch of groups at a time through a small buffer: `out` grows by
    // what was decoded, never by room filled first and cut back after.
    std::array<uint8_t, 3 * 256> bytes;
    for (;;) {
        uint8_t* o = bytes.data();
        size_t groups = std::min<size_t>(size_t(end_ - p_) / 4, bytes.size() / 3);
        for (; groups; --groups, p_ += 4, o += 3) {
            uint32_t a = base64_bytes[p_[0]], b = base64_bytes[p_[1]], c = base64_bytes[p_[2]],
                     d = base64_bytes[p_[3]];
            if ((a | b | c | d) & 0xC0) break;
            uint32_t group = a << 18 | b << 12 | c << 6 | d;
            o[0] = uint8_t(group >> 16);
            o[1] = uint8_t(group >> 8);
            o[2] = uint8_t(group);
        }
        out.insert(out.end(), bytes.data(), o);
        if (o != bytes.data() + bytes.size()) return;
    }
}

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
    for (;;) {
        if (pending == 0) in.base64_groups(out);
        if (!in.next(c)) break;
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
