#include "runtime/unicode.h"

#include <algorithm>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/text_buffer.h"
#include "runtime/types.h"

namespace kiv {

namespace utf8 {

namespace {

// Raises access invalid-utf8 with the (at most 4) bytes at the malformed
// sequence as a binary!, never reading past the input.
[[noreturn]] void invalid_utf8(const uint8_t* bytes, uint32_t remaining) {
    uint32_t n = std::min(remaining, 4u);
    Rooted<Cell> arg(Cell{TYPE_BINARY, 0, memory::alloc_bytes(n), 0});
    Buffer* b = memory::buffer_of(arg->w2);
    std::memcpy(b->head, bytes, n);
    b->tail = b->head + n;
    runtime::fire_error(runtime::Category::access, err::access::invalid_utf8, &*arg);
}

// The table-driven UTF-8 decoder: 256 byte classes, then the transitions
// indexed by state + class. States are multiples of 12: 0 accept, 12
// reject, the others inside a sequence. It accepts exactly the well-formed
// UTF-8 of the Unicode standard.
constexpr uint8_t accept = 0;
constexpr uint8_t reject = 12;

constexpr auto make_dfa() {
    struct Table {
        uint8_t v[364];
    } t{};
    struct Span {
        int first, last;
        uint8_t cls;
    };
    constexpr Span classes[] = {{0x00, 0x7F, 0}, {0x80, 0x8F, 1}, {0x90, 0x9F, 9},  {0xA0, 0xBF, 7},
                                {0xC0, 0xC1, 8}, {0xC2, 0xDF, 2}, {0xE0, 0xE0, 10}, {0xE1, 0xEC, 3},
                                {0xED, 0xED, 4}, {0xEE, 0xEF, 3}, {0xF0, 0xF0, 11}, {0xF1, 0xF3, 6},
                                {0xF4, 0xF4, 5}, {0xF5, 0xFF, 8}};
    for (const Span& s : classes)
        for (int b = s.first; b <= s.last; ++b) t.v[b] = s.cls;
    constexpr uint8_t transitions[9][12] = {
        {0, 12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72},
        {12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
        {12, 0, 12, 12, 12, 12, 12, 0, 12, 0, 12, 12},
        {12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12},
        {12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12},
        {12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12},
        {12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12},
        {12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12},
        {12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    };
    for (int row = 0; row < 9; ++row)
        for (int cls = 0; cls < 12; ++cls) t.v[256 + row * 12 + cls] = transitions[row][cls];
    return t;
}
constexpr auto dfa = make_dfa();

// Feeds one byte to the decoder.
inline uint32_t feed(uint32_t state, uint8_t byte, uint32_t& cp) {
    uint8_t cls = dfa.v[byte];
    cp = state == accept ? byte & (0xFFu >> cls) : (cp << 6) | (byte & 0x3Fu);
    return dfa.v[256 + state + cls];
}

} // namespace

const uint8_t* decode_step(const uint8_t* p, const uint8_t* end, int32_t& cp) {
    uint32_t state = accept;
    uint32_t value = 0;
    do {
        if (p >= end) {
            cp = -1;
            return end;
        }
        state = feed(state, *p++, value);
    } while (state != accept && state != reject);
    cp = state == accept ? int32_t(value) : -1;
    return p;
}

// ASCII bytes stand for themselves: the scans below step over them
// without running the decoder.

bool valid(const uint8_t* start, const uint8_t* end) {
    int32_t cp = 0;
    while (start < end && cp >= 0) {
        if (*start < 0x80) {
            ++start;
            continue;
        }
        start = decode_step(start, end, cp);
    }
    return cp >= 0;
}

int32_t count_chars(const uint8_t* start, const uint8_t* end) {
    int32_t n = 0;
    int32_t cp;
    while (start < end) {
        if (*start < 0x80)
            ++start;
        else
            start = decode_step(start, end, cp);
        ++n;
    }
    return n;
}

const uint8_t* skip_chars(const uint8_t* start, const uint8_t* end, int32_t n) {
    int32_t cp;
    for (; n > 1 && start < end; --n) start = decode_step(start, end, cp);
    return start;
}

int seq_length(uint8_t lead) {
    if ((lead & 0xF0) == 0xF0) return 4;
    if ((lead & 0xE0) == 0xE0) return 3;
    if ((lead & 0xC0) == 0xC0) return 2;
    return 0;
}

int32_t decode_char(const uint8_t* bytes, uint32_t& remaining) {
    uint32_t state = accept;
    uint32_t cp = 0;
    uint32_t used = 0;
    do {
        if (used == remaining) return -1; // well formed so far, cut by the end
        state = feed(state, bytes[used++], cp);
    } while (state != accept && state != reject);
    if (state == reject) invalid_utf8(bytes, remaining);
    remaining = used;
    return int32_t(cp);
}

uint32_t char_length(uint32_t cp) {
    if (cp <= 0x7F) return 1;
    if (cp <= 0x7FF) return 2;
    if (cp <= 0xFFFF) return 3;
    if (cp <= 0x10FFFF) return 4;
    Cell arg{TYPE_INTEGER, 0, cp, 0};
    runtime::fire_error(runtime::Category::script, err::script::invalid_char, &arg);
}

uint32_t encode_char(uint32_t cp, uint8_t* dest) {
    return encode_char_bounded(cp, dest, 4);
}

uint32_t encode_char_bounded(uint32_t cp, uint8_t* dest, uint32_t room) {
    // A lone surrogate has no UTF-8 form: it is written as U+FFFD, the
    // replacement character, which takes as many bytes.
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    uint32_t n = char_length(cp);
    uint8_t bytes[4];
    static constexpr uint8_t lead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (uint32_t i = n - 1; i > 0; --i, cp >>= 6) bytes[i] = uint8_t(0x80 | (cp & 0x3F));
    bytes[0] = uint8_t(lead[n] | cp);
    n = std::min(n, room);
    std::memcpy(dest, bytes, n);
    return n;
}

uint32_t encoded_length(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    uint32_t n = 0;
    for (; start < end; start += unit) n += char_length(text_buffer::get_char(start, unit));
    return n;
}

namespace {

// The characters of a string from its head: at most `length` of them, all
// for a negative length.
uint32_t chars_to_convert(const Cell& str, int32_t length) {
    uint32_t have = text_buffer::length(str);
    return length < 0 ? have : std::min(have, uint32_t(length));
}

} // namespace

namespace {

// Encodes `count` characters from the string's head within `room` bytes.
uint32_t encode_chars(const Cell& str, uint8_t* dest, uint32_t room, uint32_t count,
                      bool terminate) {
    Buffer* b = memory::buffer_of(str.w2);
    uint32_t unit = b->unit();
    const uint8_t* p = b->head + text_buffer::head_index(str) * unit;
    uint32_t written = 0;
    for (uint32_t i = 0; i < count && room > 0;) {
        if (unit == 1) {
            // A run of ASCII bytes is already UTF-8.
            uint32_t run = 0, limit = std::min(count - i, room);
            while (run < limit && p[run] < 0x80) ++run;
            std::memcpy(dest + written, p, run);
            written += run;
            room -= run;
            i += run;
            p += run;
            if (i == count || room == 0) break;
        }
        uint32_t cp = text_buffer::get_char(p, unit);
        uint32_t n = 1;
        if (cp < 0x80)
            dest[written] = uint8_t(cp);
        else
            n = encode_char_bounded(cp, dest + written, room);
        written += n;
        room -= n;
        ++i;
        p += unit;
    }
    if (terminate) dest[written] = 0;
    return written;
}

} // namespace

uint32_t encode_string_part(const Cell& str, uint8_t* dest, int32_t length, bool terminate) {
    return encode_chars(str, dest, UINT32_MAX, chars_to_convert(str, length), terminate);
}

uint32_t encode_string_into(const Cell& str, uint8_t* dest, uint32_t room, int32_t length,
                            bool terminate) {
    return encode_chars(str, dest, room, chars_to_convert(str, length <= 0 ? -1 : length),
                        terminate);
}

NodeId from_string_core(Cell& str, int32_t& length, bool lf) {
    uint32_t count = chars_to_convert(str, length);
    uint32_t unit = memory::buffer_of(str.w2)->unit();
    uint32_t per_char = unit == 4 ? 4 : unit + 1;
    uint8_t* out = unicode::cache_buffer(str, per_char * (count + 1));
    Buffer* b = memory::buffer_of(str.w2);
    const uint8_t* p = b->head + text_buffer::head_index(str) * unit;
    uint32_t written = 0;
    for (uint32_t i = 0; i < count; ++i, p += unit) {
        uint32_t cp = text_buffer::get_char(p, unit);
        // CR LF takes 2 bytes of the 2 or more each character is given.
        if (lf && cp == '\n') out[written++] = '\r';
        written += encode_char(cp, out + written);
    }
    out[written] = 0;
    length = int32_t(written);
    return str.w3;
}

uint8_t* from_string(Cell& str, int32_t& length) {
    return from_string_data(str, length, false);
}

uint8_t* from_string_data(Cell& str, int32_t& length, bool lf) {
    return memory::buffer_of(from_string_core(str, length, lf))->head;
}

} // namespace utf8

namespace unicode {

namespace {

// Marks a buffer whose text was decoded from UTF-16LE.
constexpr uint32_t utf16_loaded_flag = 0x40000;

// Re-encodes every unit from the head to the data end with the wider unit
// `to`. The expansion copies the bytes to the new buffer's start; they are
// then spread out from the last unit down, so that no unit is overwritten
// before it is read.
Buffer* widen_units(Buffer* buffer, uint32_t to) {
    uint32_t from = buffer->unit();
    uint32_t count = buffer->length();
    int64_t size = std::max<int64_t>(int64_t(buffer->data_end() - buffer->head) * (to / from), 16);
    buffer = memory::expand_series(buffer, size);
    uint8_t* p = buffer->head;
    for (uint32_t i = count; i-- > 0;)
        text_buffer::put_char(p + i * to, to, text_buffer::get_char(p + i * from, from));
    buffer->flags = (buffer->flags & ~series_flag::unit_mask) | to;
    buffer->tail = buffer->head + count * to;
    return buffer;
}

// Appends one code point, widening to the smallest unit that holds it.
Buffer* store(Buffer* buffer, uint32_t cp) {
    buffer = widen_for(buffer, cp);
    uint32_t unit = buffer->unit();
    text_buffer::put_char(buffer::reserve_tail(buffer, unit), unit, cp);
    return buffer;
}

// The length of the stretch of ASCII bytes at the start of `bytes`, which
// ends early at a CR when CRs are to be turned into line feeds.
uint32_t ascii_run(const uint8_t* bytes, uint32_t length, bool cr) {
    uint32_t n = 0;
    while (n < length && bytes[n] < 0x80 && !(cr && bytes[n] == '\r')) ++n;
    return n;
}

// Appends ASCII bytes, one code point each, in the buffer's unit: copied
// whole into 1-byte units, spread out into wider ones.
Buffer* store_ascii(Buffer* buffer, const uint8_t* bytes, uint32_t n) {
    uint32_t unit = buffer->unit();
    uint8_t* out = buffer::reserve_tail(buffer, n * unit);
    if (unit == 1) {
        std::memcpy(out, bytes, n);
        return buffer;
    }
    for (uint32_t i = 0; i < n; ++i) text_buffer::put_char(out + i * unit, unit, bytes[i]);
    return buffer;
}

// Makes the buffer of `node` (or a new one of unit 1 when node is 0) ready
// to receive `units` units of its unit (or of `unit` when given), emptied.
Buffer* prepare(NodeId& node, uint32_t units, uint32_t unit) {
    if (!node) {
        node = memory::alloc_series(std::max(units, 1u), unit ? unit : 1, 0);
        return memory::buffer_of(node);
    }
    Buffer* b = memory::buffer_of(node);
    if (unit) b->flags = (b->flags & ~series_flag::unit_mask) | unit;
    uint64_t need = uint64_t(std::max(units, 1u)) * b->unit();
    b->tail = b->head;
    if (uint64_t(b->data_end() - b->head) < need) b = memory::expand_series(b, int64_t(need));
    b->tail = b->head;
    return b;
}

inline uint32_t utf16_unit(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
inline bool is_high_surrogate(uint32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
inline bool is_low_surrogate(uint32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

} // namespace

uint8_t* cache_buffer(Cell& str, uint32_t bytes) {
    if (str.w3) {
        Buffer* b = memory::buffer_of(str.w3);
        if (uint32_t(b->data_end() - b->head) < bytes) b = memory::expand_series(b, bytes);
        return b->head;
    }
    NodeId node = memory::alloc_bytes(bytes);
    str.w3 = node;
    return memory::buffer_of(node)->head;
}

Buffer* widen_for(Buffer* buffer, uint32_t cp) {
    uint32_t need = unit_for(cp);
    return need > buffer->unit() ? text_buffer::widen(buffer, buffer->unit(), need) : buffer;
}

Buffer* widen_1_2(Buffer* buffer) {
    return widen_units(buffer, 2);
}
Buffer* widen_1_4(Buffer* buffer) {
    return widen_units(buffer, 4);
}
Buffer* widen_2_4(Buffer* buffer) {
    return widen_units(buffer, 4);
}

NodeId load_utf8(const uint8_t* bytes, uint32_t length, NodeId node, uint32_t* remaining, bool cr) {
    Buffer* b = prepare(node, length, 0);
    // A new buffer is referred to by nothing else yet: it must survive the
    // collections that widening runs.
    RootedNode kept(node);
    uint32_t pos = length > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    if (remaining) *remaining = 0;
    while (pos < length) {
        uint32_t run = ascii_run(bytes + pos, length - pos, cr);
        if (run > 0) {
            b = store_ascii(b, bytes + pos, run);
            pos += run;
            continue;
        }
        uint32_t used = length - pos;
        int32_t cp = utf8::decode_char(bytes + pos, used);
        if (cp < 0) {
            if (remaining) *remaining = length - pos;
            break;
        }
        pos += used;
        if (cr && cp == '\r') {
            if (pos < length && bytes[pos] == '\n') continue;
            cp = '\n';
        }
        b = store(b, uint32_t(cp));
    }
    return node;
}

NodeId load_utf8_from(const uint8_t* bytes, uint32_t length, Cell& str, uint32_t* remaining) {
    return load_utf8(bytes, length, str.w2, remaining, false);
}

NodeId load_utf8_plain(const uint8_t* bytes, uint32_t length) {
    return load_utf8(bytes, length, 0, nullptr, false);
}

NodeId load_name(const uint8_t* bytes, uint32_t length) {
    NodeId node = 0;
    Buffer* b = prepare(node, length, 0);
    RootedNode kept(node);
    for (const uint8_t *p = bytes, *end = bytes + length; p < end;) {
        int32_t cp;
        const uint8_t* next = utf8::decode_step(p, end, cp);
        // A byte that starts no valid sequence is kept alone; the bytes
        // after it are read afresh.
        b = store(b, cp < 0 ? escaped_byte_base + *p : uint32_t(cp));
        p = cp < 0 ? p + 1 : next;
    }
    return node;
}

uint32_t check_utf16(const uint8_t* bytes, uint32_t count) {
    uint32_t unit = 1;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t high = bytes[2 * i + 1];
        if (high >= 0xD8 && high <= 0xDF) return 4;
        if (high) unit = 2;
    }
    return unit;
}

NodeId load_utf16(const uint8_t* bytes, uint32_t count, Cell* str, bool cr) {
    uint32_t unit = check_utf16(bytes, count);
    NodeId node = str ? str->w2 : 0;
    Buffer* b = prepare(node, count, unit);
    b->flags |= utf16_loaded_flag;
    uint8_t* out = b->head;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t u = utf16_unit(bytes + 2 * i);
        if (is_high_surrogate(u) && i + 1 < count &&
            is_low_surrogate(utf16_unit(bytes + 2 * i + 2))) {
            u = (((u & 0x3FF) << 10) | (utf16_unit(bytes + 2 * i + 2) & 0x3FF)) + 0x10000;
            ++i;
        } else if (is_high_surrogate(u) || is_low_surrogate(u)) {
            u = 0xFFFD; // an unpaired half of a pair
        } else if (cr && u == '\r') {
            if (i + 1 < count && utf16_unit(bytes + 2 * i + 2) == '\n') continue;
            u = '\n';
        }
        text_buffer::put_char(out, unit, u);
        out += unit;
    }
    b->tail = out;
    return node;
}

const uint16_t* to_utf16_part(Cell& str, int32_t& length, bool lf) {
    uint32_t count = utf8::chars_to_convert(str, length);
    Buffer* b = memory::buffer_of(str.w2);
    uint32_t unit = b->unit();
    const uint8_t* start = b->head + text_buffer::head_index(str) * unit;
    const uint8_t* end = start + count * unit;
    for (const uint8_t* p = start; p < end; p += unit)
        if (text_buffer::get_char(p, unit) > 0x10FFFF) return nullptr;
    // Counts line feeds even when they stay single: a little spare room.
    uint32_t extra = count_extra_units(start, end, unit);
    auto* out = reinterpret_cast<uint16_t*>(cache_buffer(str, 2 * count + 2 + extra));
    b = memory::buffer_of(str.w2); // the cache allocation may have moved it
    const uint8_t* p = b->head + text_buffer::head_index(str) * unit;
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i, p += unit) {
        uint32_t cp = text_buffer::get_char(p, unit);
        if (cp > 0xFFFF) {
            out[n++] = uint16_t(0xD800 | ((cp - 0x10000) >> 10));
            out[n++] = uint16_t(0xDC00 | ((cp - 0x10000) & 0x3FF));
            continue;
        }
        if (lf && cp == '\n') out[n++] = '\r';
        out[n++] = uint16_t(cp);
    }
    out[n] = 0;
    length = int32_t(n);
    return out;
}

const uint16_t* to_utf16(Cell& str) {
    int32_t length = -1;
    return to_utf16_part(str, length, true);
}

uint32_t count_extra_units(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    uint32_t extra = 0;
    for (; start < end; start += unit) {
        uint32_t cp = text_buffer::get_char(start, unit);
        if (cp == '\n' || cp > 0xFFFF) extra += 2;
    }
    return extra;
}

void ascii_to_utf16(const char* text, uint16_t* dest) {
    while (*text) *dest++ = uint8_t(*text++);
    *dest = 0;
}

} // namespace unicode
} // namespace kiv
