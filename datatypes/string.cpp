#include "datatypes/string.h"

#include <algorithm>
#include <cstring>

#include "datatypes/types.h"
#include "evaluator/stack.h"
#include "runtime/case.h"
#include "runtime/fatal.h"
#include "runtime/float_text.h"
#include "runtime/roots.h"
#include "runtime/unicode.h"

namespace kiv::string {

namespace {

inline Buffer* buffer_of(const Cell& value) {
    return memory::buffer_of(value.w2);
}

// A unit size other than 1, 2 or 4 is an internal fault.
[[noreturn]] void bad_unit(int code = runtime::fatal::no_switch_matched) {
    runtime::quit_with_error(code, runtime::caller_address());
}

// Address of the unit at an index from the buffer's head.
inline uint8_t* unit_at(Buffer* b, uint32_t index) {
    return b->head + index * b->unit();
}

// Appends each byte as one character.
void append_each_byte(Cell& value, const uint8_t* bytes, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) append_char(buffer_of(value), bytes[i]);
}

void append_text(Cell& output, const char* text) {
    append_each_byte(output, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)));
}

} // namespace

uint32_t get_char(const uint8_t* p, uint32_t unit) {
    switch (unit) {
    case 1: return p[0];
    case 2: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case 4:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    default: bad_unit();
    }
}

void put_char(uint8_t* p, uint32_t unit, uint32_t cp) {
    switch (unit) {
    case 4:
        p[3] = uint8_t(cp >> 24);
        p[2] = uint8_t(cp >> 16);
        [[fallthrough]];
    case 2: p[1] = uint8_t(cp >> 8); [[fallthrough]];
    case 1: p[0] = uint8_t(cp); return;
    default: bad_unit();
    }
}

// ---------------------------------------------------------------- making

Cell& make_at(Cell& cell, uint32_t n) {
    cell.header = cell::unset_header;
    cell.w1 = 0;
    cell.w3 = 0;
    cell.w2 = memory::alloc_series(std::max(n, 1u), 1, 0);
    cell.header = TYPE_STRING;
    return cell;
}

Cell& make_at_unit(Cell& cell, uint32_t n, uint32_t unit) {
    NodeId node = memory::alloc_units(n, unit);
    cell.w1 = 0;
    cell.w2 = node;
    cell.w3 = 0;
    cell::set_type(cell, TYPE_STRING);
    return cell;
}

Cell& push(const Cell& value) {
    return *stack::push(value);
}

Cell& load_at(const uint8_t* bytes, uint32_t length, Cell& cell, Encoding encoding) {
    cell.header = cell::unset_header;
    cell.w1 = 0;
    cell.w2 = 0;
    cell.w3 = 0;
    cell.w2 = encoding == Encoding::utf8 ? unicode::load_utf8_plain(bytes, length)
                                         : unicode::load_utf16(bytes, length, nullptr, false);
    cell.header = TYPE_STRING;
    return cell;
}

Cell& load(const uint8_t* bytes, uint32_t length, Encoding encoding) {
    // The argument stack never moves, so the slot stays where it is.
    Cell* slot = stack::push_raw();
    return load_at(bytes, length, *slot, encoding);
}

Cell& load_in(const uint8_t* bytes, uint32_t length, const Cell& block, Encoding encoding) {
    // Built aside: the decoding allocates, which may move the block's buffer.
    Rooted<Cell> loaded;
    load_at(bytes, length, *loaded, encoding);
    Cell* slot = cell::alloc_tail(block);
    *slot = *loaded;
    return *slot;
}

// ------------------------------------------------------ lengths, reading

uint32_t length_whole(const Cell& value) {
    return buffer_of(value)->length();
}

uint32_t head_index(const Cell& value) {
    return std::min(value.w1, length_whole(value));
}

uint32_t length(const Cell& value) {
    return length_whole(value) - head_index(value);
}

uint8_t* head_ptr(Cell& value) {
    value.w1 = head_index(value);
    return unit_at(buffer_of(value), value.w1);
}

uint8_t* tail_ptr(const Cell& value) {
    return buffer_of(value)->tail;
}

bool at_tail(const Cell& value) {
    return value.w1 >= length_whole(value);
}

uint32_t char_at(const Cell& value, uint32_t index) {
    Buffer* b = buffer_of(value);
    return get_char(unit_at(b, index), b->unit());
}

int32_t find_char(const Cell& value, uint32_t cp) {
    Buffer* b = buffer_of(value);
    uint32_t head = head_index(value);
    uint32_t count = b->length();
    for (uint32_t i = head; i < count; ++i)
        if (get_char(unit_at(b, i), b->unit()) == cp) return int32_t(i - head);
    return -1;
}

bool has_char(const Cell& value, uint32_t cp, uint32_t skip, bool case_sensitive) {
    Buffer* b = buffer_of(value);
    uint32_t count = b->length();
    if (!case_sensitive) cp = unicode::change_case_char(cp, unicode::case_mode::upper);
    for (uint32_t i = head_index(value); i < count; i += std::max(skip, 1u)) {
        uint32_t c = get_char(unit_at(b, i), b->unit());
        if (!case_sensitive) c = unicode::change_case_char(c, unicode::case_mode::upper);
        if (c == cp) return true;
    }
    return false;
}

bool match_c_string(const Cell& value, const char* text) {
    Buffer* b = buffer_of(value);
    uint32_t i = head_index(value);
    uint32_t count = b->length();
    for (; *text; ++text, ++i)
        if (i >= count || get_char(unit_at(b, i), b->unit()) != uint8_t(*text)) return false;
    return true;
}

// ---------------------------------------------------- writing characters

Buffer* append_char(Buffer* buffer, uint32_t cp) {
    uint32_t unit = buffer->unit();
    switch (unit) {
    case 1:
        // Appended text leaves 1-byte units at the first non-ASCII character.
        if (cp > 0x7F) return append_char(widen(buffer, 1, cp <= 0xFFFF ? 2 : 4), cp);
        break;
    case 2:
        if (cp > 0xFFFF) return append_char(widen(buffer, 2, 4), cp);
        break;
    case 4: break;
    default: bad_unit();
    }
    put_char(buffer::reserve_tail(buffer, unit), unit, cp);
    return buffer;
}

Buffer* poke_char(Buffer* buffer, uint8_t* address, uint32_t cp) {
    uint32_t unit = buffer->unit();
    if (unicode::unit_for(cp) > unit) {
        uint32_t index = uint32_t(address - buffer->head) / unit;
        buffer = unicode::widen_for(buffer, cp);
        address = unit_at(buffer, index);
    }
    put_char(address, buffer->unit(), cp);
    return buffer;
}

Buffer* poke_char_at(Buffer* buffer, uint32_t index, uint32_t cp) {
    buffer = unicode::widen_for(buffer, cp);
    uint32_t unit = buffer->unit();
    uint64_t need = uint64_t(index + 1) * unit;
    if (buffer->head + need > buffer->data_end())
        buffer = memory::expand_series(buffer, std::max<int64_t>(int64_t(buffer->size) * 2, need));
    put_char(unit_at(buffer, index), unit, cp);
    if (index >= buffer->length()) buffer->tail = unit_at(buffer, index + 1);
    return buffer;
}

Buffer* insert_char(Buffer* buffer, uint32_t index, uint32_t cp) {
    buffer = unicode::widen_for(buffer, cp);
    index = std::min(index, buffer->length());
    uint32_t unit = buffer->unit();
    if (buffer->tail + unit > buffer->data_end()) buffer = memory::expand_series(buffer, 0);
    uint8_t* at = unit_at(buffer, index);
    std::memmove(at + unit, at, size_t(buffer->tail - at));
    buffer->tail += unit;
    put_char(at, unit, cp);
    return buffer;
}

Cell& remove_part(Cell& value, uint32_t index, uint32_t n) {
    Buffer* b = buffer_of(value);
    uint32_t count = b->length();
    if (index >= count) return value;
    n = std::min(n, count - index);
    uint8_t* at = unit_at(b, index);
    uint8_t* after = unit_at(b, index + n);
    std::memmove(at, after, size_t(b->tail - after));
    b->tail -= n * b->unit();
    return value;
}

Buffer* truncate_buffer(Buffer* buffer, uint32_t n) {
    uint8_t* end = buffer->head + uint64_t(n) * buffer->unit();
    if (end <= buffer->data_end() && end < buffer->tail) buffer->tail = end;
    return buffer;
}

Cell& reset(Cell& value) {
    Buffer* b = buffer_of(value);
    b->flags = (b->flags & ~series_flag::unit_mask) | 1;
    b->tail = b->head;
    value.w1 = 0;
    return value;
}

Buffer* widen(Buffer* buffer, uint32_t from, uint32_t to) {
    switch (to) {
    case 2: return unicode::widen_1_2(buffer);
    case 4: return from == 1 ? unicode::widen_1_4(buffer) : unicode::widen_2_4(buffer);
    default: bad_unit();
    }
}

Buffer* copy_widened(Buffer* source, Buffer* target, uint32_t size, uint32_t unit,
                     uint32_t source_start, uint32_t target_start, uint32_t source_end,
                     bool keep_tail) {
    uint32_t from = source->unit();
    if (!((from == 1 && (unit == 2 || unit == 4)) || (from == 2 && unit == 4)))
        bad_unit(runtime::fatal::no_case_matched);
    uint32_t count = source_end > source_start ? source_end - source_start : 0;
    if (!target) {
        // The source's own bytes move to a buffer of the new size first,
        // then are spread to the wider unit below. The size is raised to
        // what the move and the widened range need.
        uint64_t need = std::max<uint64_t>({size, 16, uint64_t(source->data_end() - source->head),
                                            uint64_t(target_start + count) * unit});
        source = memory::expand_series(source, int64_t(need));
        target = source;
    }
    const uint8_t* in = source->head + source_start * from;
    uint8_t* out = target->head + target_start * unit;
    if (out >= in) {
        // Last unit first, so that a shared buffer is read before written.
        for (uint32_t i = count; i-- > 0;)
            put_char(out + i * unit, unit, get_char(in + i * from, from));
    } else {
        for (uint32_t i = 0; i < count; ++i)
            put_char(out + i * unit, unit, get_char(in + i * from, from));
    }
    if (!keep_tail) {
        target->tail = out + count * unit;
        target->flags = (target->flags & ~series_flag::unit_mask) | unit;
    }
    return target;
}

void move_part(Cell& source, Cell& target, uint32_t bytes) {
    uint32_t n = std::min(bytes / buffer_of(source)->unit(), length(source));
    uint32_t from = head_index(source);
    uint32_t to = head_index(target);
    for (uint32_t i = 0; i < n; ++i) {
        // Read afresh: the insertion may widen or move either buffer.
        uint32_t cp = char_at(source, from + i);
        insert_char(buffer_of(target), to + i, cp);
        if (target.w2 == source.w2 && to <= from) ++from; // the source text moved up
    }
    remove_part(source, from, n);
}

// ------------------------------------------------------- appending text

Buffer* concatenate(Cell& target, Cell& source, int32_t part, bool keep_unit) {
    Buffer* t = buffer_of(target);
    Buffer* s = buffer_of(source);
    uint32_t from = head_index(source);
    uint32_t count = length(source);
    if (part >= 0 && uint32_t(part) < count) count = uint32_t(part);
    uint32_t tu = t->unit();
    uint32_t su = s->unit();
    if (tu < su) {
        t = widen(t, tu, su);
        tu = su;
    } else if (su < tu && !keep_unit) {
        widen(s, su, tu);
        su = tu;
    }
    t = buffer_of(target);
    uint64_t bytes = uint64_t(tu) * count;
    if (bytes == 0) return t;
    uint64_t used = uint64_t(t->tail - t->head);
    if (uint64_t(t->data_end() - t->head) < used + bytes)
        t = memory::expand_series(t, int64_t(2 * (used + bytes)));
    s = buffer_of(source); // follows the target when they share the buffer
    if (tu != su) {
        for (uint32_t i = 0; i < count; ++i) t = append_char(t, get_char(unit_at(s, from + i), su));
    } else {
        std::memmove(t->tail, unit_at(s, from), size_t(bytes));
        t->tail += bytes;
    }
    return t;
}

void append_c_string(Cell& value, const char* text) {
    append_text(value, text);
}

void append_bytes(Cell& value, const uint8_t* bytes, uint32_t n) {
    append_each_byte(value, bytes, n);
}

// ---------------------------------------------------------- text helpers

namespace {
constexpr char hex_digits[] = "0123456789ABCDEF";
}

const char* byte_to_hex(uint8_t byte) {
    static char text[3];
    text[0] = hex_digits[byte >> 4];
    text[1] = hex_digits[byte & 15];
    return text;
}

const char* int_to_hex(int32_t value, bool short_form) {
    static char text[9] = "00000000";
    bool negative = value < 0;
    int pos = 8;
    do {
        text[--pos] = hex_digits[value & 15];
        value >>= 4; // arithmetic: a negative value ends at -1
    } while (pos > 0 && value != 0 && value != -1);
    if (short_form) {
        if (pos == 7 && text[7] == '0') text[--pos] = '0'; // zero reads "00"
        return text + pos;
    }
    while (pos > 0) text[--pos] = negative ? 'F' : '0';
    return text;
}

double to_float(const char* text, uint32_t length) {
    return dtoa::string_to_float(text, text + length, 0, nullptr);
}

void exchange_regions(uint8_t* a, uint32_t length_a, uint8_t* b, uint32_t length_b, uint32_t gap) {
    // b gap a: bring b to the front, then a behind the gap.
    std::rotate(a, b, b + length_b);
    std::rotate(a + length_b, a + length_b + length_a, a + length_b + length_a + gap);
}

bool tag_brackets(const Cell& value, const Cell& tag) {
    uint32_t head = head_index(value);
    uint32_t close = head + length(tag) + 1;
    return close < length_whole(value) && char_at(value, head) == '<' &&
           char_at(value, close) == '>';
}

// ------------------------------------------------------- form and mold

namespace {

// Caret letters of the code points 0x00-0x5E; 0 means none.
constexpr auto make_escapes() {
    struct Table {
        char v[0x5F];
    } t{};
    t.v[0x00] = '@';
    for (int cp = 0x01; cp <= 0x1A; ++cp) t.v[cp] = char('A' + cp - 1);
    t.v[0x09] = '-';
    t.v[0x0A] = '/';
    t.v[0x1B] = '[';
    t.v[0x1C] = '\\';
    t.v[0x1D] = ']';
    t.v[0x1E] = '^';
    t.v[0x1F] = '_';
    t.v[0x22] = '"';
    t.v[0x5E] = '^';
    return t;
}
constexpr auto escapes = make_escapes();

inline int32_t part_count(const Cell* part) {
    return part ? int32_t(part->w2) : -1;
}

void put(Cell& output, uint32_t cp) {
    append_char(buffer_of(output), cp);
}

} // namespace

void append_escaped_char(Cell& output, uint32_t cp, bool all) {
    if (cp == 0x1E || (cp >= 0x80 && cp <= 0x9F) || (all && cp > 0x7F)) {
        append_text(output, "^(");
        append_text(output, int_to_hex(int32_t(cp), true));
        put(output, ')');
    } else if (cp < 0x5F && escapes.v[cp]) {
        put(output, '^');
        put(output, uint8_t(escapes.v[cp]));
    } else if (cp == 0x7F) {
        append_text(output, "^~");
    } else {
        put(output, cp);
    }
}

void count_quotes_lines(const uint8_t* start, const uint8_t* end, uint32_t unit, int32_t& quotes,
                        int32_t& lines) {
    for (; start < end; start += unit) {
        uint32_t cp = get_char(start, unit);
        quotes += cp == '"';
        lines += cp == '\n';
    }
}

bool brace_closes(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    int32_t depth = 0;
    for (; start < end; start += unit) {
        uint32_t cp = get_char(start, unit);
        if (cp == '{')
            ++depth;
        else if (cp == '}') {
            if (depth == 1) return true;
            --depth;
        }
    }
    return false;
}

int32_t form(const Cell& value, Cell& output, const Cell* part, int32_t limit) {
    Rooted<Cell> source(value);
    concatenate(output, *source, part_count(part), true);
    return limit - int32_t(length(*source));
}

int32_t mold(const Cell& value, Cell& output, bool all, const Cell* part, int32_t limit) {
    Rooted<Cell> source(value);
    const Cell& v = *source;
    uint32_t head = head_index(v);
    uint32_t whole = length(v);
    uint32_t count = whole;
    if (part && part_count(part) != 0) count = limit < 0 ? 0 : std::min(whole, uint32_t(limit));

    // Source addresses are re-read after every append: appending allocates.
    auto range = [&](uint32_t from, const uint8_t*& start, const uint8_t*& end) {
        Buffer* b = buffer_of(v);
        start = unit_at(b, head + from);
        end = unit_at(b, head + count);
        return b->unit();
    };
    const uint8_t *start, *end;
    uint32_t unit = range(0, start, end);
    int32_t quotes = 0, lines = 0;
    count_quotes_lines(start, end, unit, quotes, lines);
    bool braces = lines >= 3 || quotes > 0 || whole >= 50;

    put(output, braces ? '{' : '"');
    bool balanced = true;
    int32_t depth = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t cp = get_char(unit_at(buffer_of(v), head + i), unit);
        if (!braces) {
            append_escaped_char(output, cp, all);
        } else if (cp == '{') {
            if (balanced) {
                range(i, start, end);
                balanced = brace_closes(start, end, unit);
            }
            if (balanced) ++depth;
            append_text(output, balanced ? "{" : "^{");
        } else if (cp == '}') {
            append_text(output, depth > 0 ? "}" : "^}");
            if (depth > 0) --depth;
        } else if (cp == '"') {
            put(output, cp);
        } else if (cp == '^') {
            append_text(output, "^^");
        } else {
            append_escaped_char(output, cp, all);
        }
    }
    put(output, braces ? '}' : '"');
    return limit - int32_t(count) - 2;
}

} // namespace kiv::string
