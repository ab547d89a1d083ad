#include "datatypes/string.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/sort_keys.h"
#include "datatypes/symbol.h"
#include "runtime/case.h"
#include "runtime/errors.h"
#include "runtime/fatal.h"
#include "runtime/float_text.h"
#include "runtime/hash.h"
#include "runtime/interrupt.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"
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

// Appends each byte as one character: ASCII bytes into 1-byte units are
// copied at once, anything else goes a character at a time.
void append_each_byte(Cell& value, const uint8_t* bytes, uint32_t n) {
    if (n == 0) return;
    Buffer* b = buffer_of(value);
    if (b->unit() == 1 && std::all_of(bytes, bytes + n, [](uint8_t c) { return c < 0x80; })) {
        runtime::poll();
        std::memcpy(buffer::reserve_tail(b, n), bytes, n);
        return;
    }
    for (uint32_t i = 0; i < n; ++i) append_char(buffer_of(value), bytes[i]);
}

void append_text(Cell& output, const char* text) {
    append_each_byte(output, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)));
}

} // namespace

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

Cell& load_at(const uint8_t* bytes, size_t length, Cell& cell, Encoding encoding) {
    uint32_t units = memory::series_length(length);
    cell.header = cell::unset_header;
    cell.w1 = 0;
    cell.w2 = 0;
    cell.w3 = 0;
    switch (encoding) {
    case Encoding::utf8: cell.w2 = unicode::load_utf8_plain(bytes, units); break;
    case Encoding::utf16le: cell.w2 = unicode::load_utf16(bytes, units, nullptr, false); break;
    case Encoding::file_name: cell.w2 = unicode::load_name(bytes, units); break;
    }
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

void block_of_texts(const std::vector<std::string>& texts, uint32_t type, Cell& out,
                    Encoding encoding) {
    block::make_at(out, int32_t(texts.size()));
    for (const std::string& text : texts) {
        Cell& item = load_in(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()),
                             out, encoding);
        cell::set_type(item, type);
    }
}

Cell& change_case(Cell& value, const Cell* part, int mode) {
    if (cell::type_of(value) == TYPE_CHAR) {
        value.w2 = unicode::change_case_char(value.w2, mode);
        return value;
    }
    value.w1 = head_index(value);
    int64_t count = length(value);
    if (part) {
        if (cell::type_of(*part) == TYPE_INTEGER) {
            count = std::min<int64_t>(count, int32_t(part->w2));
        } else if (cell::type_of(*part) == cell::type_of(value) && part->w2 == value.w2) {
            count = std::min<int64_t>(count, int64_t(head_index(*part)) - value.w1);
        } else {
            // The refinement word goes in the first argument once words exist.
            runtime::fire_error(runtime::Category::script, err::script::invalid_refine_arg, nullptr,
                                part);
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t index = value.w1 + i;
        uint32_t cp = char_at(value, index);
        poke_char_at(memory::buffer_of(value.w2), index, unicode::change_case_char(cp, mode));
    }
    return value;
}

// ------------------------------------------------------ lengths, reading

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
    // Every mold and form writes through here: a huge value's text stops
    // at an interrupt.
    runtime::poll();
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
    // A lone surrogate has no UTF-8 form: written as an escape, it loads
    // back as itself.
    bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (cp == 0x1E || (cp >= 0x80 && cp <= 0x9F) || surrogate || (all && cp > 0x7F)) {
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

uint32_t first_unclosed_brace(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    // A brace matches as in a left-to-right walk with a stack of open
    // braces; only the bottom of the stack matters: when the walk ends with
    // braces open, the bottom one is the first that never closes.
    uint32_t depth = 0, bottom = 0, i = 0;
    for (; start < end; start += unit, ++i) {
        uint32_t cp = get_char(start, unit);
        if (cp == '{') {
            if (depth++ == 0) bottom = i;
        } else if (cp == '}' && depth > 0) {
            --depth;
        }
    }
    return depth > 0 ? bottom : i;
}

int32_t form(const Cell& value, Cell& output, const Cell* part, int32_t limit) {
    Rooted<Cell> source(value);
    concatenate(output, *source, part_count(part), true);
    return limit - int32_t(length(*source));
}

int32_t mold(const Cell& value, Cell& output, bool all, const Cell* part, int32_t limit,
             bool quoted) {
    Rooted<Cell> source(value);
    const Cell& v = *source;
    uint32_t head = head_index(v);
    uint32_t whole = length(v);
    uint32_t count = whole;
    if (part && part_count(part) != 0) count = limit < 0 ? 0 : std::min(whole, uint32_t(limit));

    // Source addresses are good until the first append (appending
    // allocates): the loop below re-reads the buffer for every character.
    Buffer* b = buffer_of(v);
    uint32_t unit = b->unit();
    const uint8_t* start = unit_at(b, head);
    const uint8_t* end = unit_at(b, head + count);
    int32_t quotes = 0, lines = 0;
    count_quotes_lines(start, end, unit, quotes, lines);
    bool braces = !quoted && (lines >= 3 || quotes > 0 || whole >= 50);

    // Braces from the first one that never closes on are escaped.
    uint32_t unclosed = braces ? first_unclosed_brace(start, end, unit) : count;

    put(output, braces ? '{' : '"');
    int32_t depth = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t cp = get_char(unit_at(buffer_of(v), head + i), unit);
        if (!braces) {
            append_escaped_char(output, cp, all);
        } else if (cp == '{') {
            bool balanced = i < unclosed;
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

// ---------------------------------------------------------------- actions

namespace kiv::string {

namespace {

using ownership::Word;
using Text = std::vector<uint32_t>;

bool is_equality(int32_t op) {
    return op == 0 || op == 1 || op == 2 || op == 12;
}

uint32_t fold(uint32_t cp) {
    if (cp < 0x80) return cp >= 'a' && cp <= 'z' ? cp - ('a' - 'A') : cp;
    return unicode::change_case_char(cp, unicode::case_mode::upper);
}

// The characters of a text value from its head, at most `part` when
// 0 <= part.
Text chars_of(const Cell& value, int64_t part = -1) {
    Buffer* b = buffer_of(value);
    uint32_t from = head_index(value);
    uint32_t n = b->length() - from;
    if (part >= 0 && part < n) n = uint32_t(part);
    Text out(n);
    for (uint32_t i = 0; i < n; ++i) out[i] = get_char(unit_at(b, from + i), b->unit());
    return out;
}

// A piece of text to add, with the unit it needs.
struct Piece {
    Text chars;
    uint32_t unit = 1;
};

uint32_t append_unit(uint32_t cp) {
    return cp <= 0x7F ? 1 : cp <= 0xFFFF ? 2 : 4;
}

// Forms a value into a fresh buffer and reads it back.
Piece formed(const Cell& value, int64_t part) {
    Rooted<Cell> buffer;
    make_at(*buffer, 16);
    Rooted<Cell> source(value);
    dispatch::form(*source, *buffer, nullptr, 0);
    return {chars_of(*buffer, part), buffer_of(*buffer)->unit()};
}

// The text that append, insert and change write for a value.
Piece piece_of(const Cell& value, int64_t part) {
    uint32_t type = cell::type_of(value);
    if (type == TYPE_CHAR) return {{value.w2}, append_unit(value.w2)};
    if (type == TYPE_TAG) {
        Piece p{chars_of(value), buffer_of(value)->unit()};
        p.chars.insert(p.chars.begin(), '<');
        p.chars.push_back('>');
        return p;
    }
    if (series::is_text_type(type)) return {chars_of(value, part), buffer_of(value)->unit()};
    if (type == TYPE_INTEGER) {
        // An integer's digits, without forming them into a series first.
        const char* digits = integer::form_signed(integer::get(value));
        Text chars(digits, digits + std::strlen(digits));
        if (part >= 0 && uint64_t(part) < chars.size()) chars.resize(size_t(part));
        return {std::move(chars), 1};
    }
    if (type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH) {
        Piece p;
        Rooted<Cell> block(value);
        int64_t n = std::max<int64_t>(int64_t(buffer_of(*block)->length()) - block->w1, 0);
        if (part >= 0) n = std::min(n, part);
        for (int64_t i = 0; i < n; ++i) {
            Cell element = buffer_of(*block)->head_cell()[block->w1 + i];
            Piece e =
                series::is_text_type(cell::type_of(element)) || cell::type_of(element) == TYPE_CHAR
                    ? piece_of(element, -1)
                    : formed(element, -1);
            p.chars.insert(p.chars.end(), e.chars.begin(), e.chars.end());
            p.unit = std::max(p.unit, e.unit);
        }
        return p;
    }
    return formed(value, part);
}

// Replaces `removed` units at the index by `dup` copies of the piece,
// widening and growing the buffer in one step when needed.
// Replaces `removed` units at the index by room for `added` units of at
// least `piece_unit` bytes, widening and growing the buffer in one step when
// needed; gives the buffer, whose unit the room takes.
Buffer* make_room(Cell& series, uint32_t at, uint32_t removed, uint64_t added,
                  uint32_t piece_unit) {
    Buffer* b = buffer_of(series);
    uint32_t length = b->length();
    uint32_t unit = std::max(b->unit(), piece_unit);
    uint64_t need = (uint64_t(length) - removed + added) * unit;
    if (need > 0x7FFFFFF0u)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    if (unit > b->unit()) {
        b = copy_widened(b, nullptr, uint32_t(need), unit, 0, 0, length, false);
    } else if (b->head + need > b->data_end()) {
        uint64_t used = uint64_t(b->tail - b->head);
        b = memory::expand_series(b, need < 2 * used ? 0 : int64_t(need));
    }
    uint8_t* from = unit_at(b, at + removed);
    uint8_t* to = unit_at(b, uint32_t(at + added));
    if (from != b->tail) std::memmove(to, from, size_t(b->tail - from));
    b->tail = b->tail + (int64_t(added) - int64_t(removed)) * unit;
    return b;
}

// Closes the part of the room made at the index for `added` units that
// was not written: the units after `kept` move back to follow it.
void close_room(Buffer* b, uint32_t at, uint64_t added, uint64_t kept) {
    uint8_t* from = unit_at(b, uint32_t(at + added));
    std::memmove(unit_at(b, uint32_t(at + kept)), from, size_t(b->tail - from));
    b->tail -= (added - kept) * b->unit();
}

void splice(Cell& series, uint32_t at, uint32_t removed, const Piece& piece, int32_t dup) {
    uint64_t size = piece.chars.size(), copies = uint64_t(std::max(dup, 1));
    uint64_t added = size * copies;
    Buffer* b = make_room(series, at, removed, added, piece.unit);
    uint32_t unit = b->unit();
    runtime::write_copies(
        copies, size * unit,
        [&](uint64_t first, uint64_t count) {
            uint8_t* out = unit_at(b, uint32_t(at + first * size));
            for (uint64_t d = 0; d < count; ++d)
                for (uint32_t cp : piece.chars) {
                    put_char(out, unit, cp);
                    out += unit;
                }
        },
        [&](uint64_t done) { close_room(b, at, added, done * size); });
}

// ---- search

struct Match {
    int64_t at = -1;
    int64_t k = 0;
};

// A value that no byte equals.
constexpr uint32_t no_byte = 0x100;

// What a number or a text is in a binary! series: a number is one byte
// (compared numerically), a text its UTF-8 bytes. False for other values.
bool byte_pattern(const Cell& value, Text& out) {
    uint32_t type = cell::type_of(value);
    if (type == TYPE_INTEGER || type == TYPE_FLOAT) {
        double v = type == TYPE_INTEGER ? integer::get(value) : cell::get_float(value);
        out = {v >= 0 && v <= 255 && v == std::floor(v) ? uint32_t(v) : no_byte};
        return true;
    }
    if (!series::is_text_type(type) || type == TYPE_TAG) return false;
    out.clear();
    for (uint32_t cp : chars_of(value)) {
        uint8_t encoded[4];
        uint32_t n = utf8::encode_char(cp, encoded);
        out.insert(out.end(), encoded, encoded + n);
    }
    return true;
}

Text pattern_of(const Cell& series, const Cell& value) {
    uint32_t type = cell::type_of(value);
    if (type == TYPE_CHAR) return {value.w2};
    Text bytes;
    if (cell::type_of(series) == TYPE_BINARY && byte_pattern(value, bytes)) return bytes;
    if (type == TYPE_BINARY && cell::type_of(series) != TYPE_BINARY)
        series::raise(err::script::invalid_arg, &value);
    if (series::is_text_type(type) && type != TYPE_TAG) return chars_of(value);
    if (type == TYPE_BINARY) return chars_of(value);
    if (type >= TYPE_WORD && type <= TYPE_GET_WORD) {
        // A copy: making the string may collect and move the symbol's name.
        std::string name = symbol::c_name(value.w2);
        Rooted<Cell> text;
        load_at(reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()), *text,
                Encoding::utf8);
        return chars_of(*text);
    }
    return formed(value, -1).chars;
}

// Each Latin-1 character as a search compares it: itself when exact, else
// its folded form. Both tables are made once, on first use.
const std::array<uint32_t, 256>& latin1_table(bool exact) {
    auto make = [](bool as_is) {
        std::array<uint32_t, 256> table;
        for (uint32_t c = 0; c < 256; ++c) table[c] = as_is ? c : fold(c);
        return table;
    };
    static const std::array<uint32_t, 256> same = make(true);
    static const std::array<uint32_t, 256> folded = make(false);
    return exact ? same : folded;
}

Match search(const Cell& series, const Cell& value, const Cell* part, bool case_, bool same,
             bool any, const Cell* with, const Cell* skip, bool last, bool reverse, bool match) {
    Match m;
    Buffer* b = buffer_of(series);
    int64_t length = b->length();
    int64_t head = int32_t(series.w1);
    if (length == 0 || (!reverse && head >= length)) return m;
    if (any || with) runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    head = std::clamp<int64_t>(head, 0, length);
    int64_t step = 1;
    if (skip) {
        if (cell::type_of(*skip) != TYPE_INTEGER) series::invalid_refine("skip", *skip);
        step = integer::get(*skip);
        if (step < 1) series::raise(err::script::out_of_range, skip);
    }
    int64_t end = length;
    if (part) {
        int64_t n = series::part_count(series, *part);
        if (n < 1) return m;
        end = std::min(length, head + n);
    }
    // A bitset matches one character that is a member.
    bool charset = cell::type_of(value) == TYPE_BITSET;
    Text pattern = charset ? Text{0} : pattern_of(series, value);
    int64_t k = int64_t(pattern.size());
    if (k == 0) return m;
    bool exact = case_ || same || cell::type_of(series) == TYPE_BINARY;
    if (!exact)
        for (uint32_t& c : pattern) c = fold(c);
    auto at = [&](int64_t i) {
        if (i < 0 || i + k > length) return false;
        runtime::poll();
        Buffer* buf = buffer_of(series);
        if (charset) return bitset::has(value, get_char(unit_at(buf, uint32_t(i)), buf->unit()));
        for (int64_t j = 0; j < k; ++j) {
            uint32_t c = get_char(unit_at(buf, uint32_t(i + j)), buf->unit());
            if ((exact ? c : fold(c)) != pattern[size_t(j)]) return false;
        }
        return true;
    };
    m.k = k;
    if (last || reverse) {
        if (reverse && match) return m;
        int64_t start = last ? end - k : head - 1;
        for (int64_t i = start; i >= 0; i -= step) {
            if (at(i)) {
                m.at = i;
                return m;
            }
        }
        return m;
    }
    Buffer* buf = buffer_of(series);
    if (step == 1 && !match && buf->unit() == 1 && !charset) {
        // Latin-1 text: the form of every byte comes from a table, and the
        // scan skips to the bytes that can start a match.
        const std::array<uint32_t, 256>& folded = latin1_table(exact);
        const uint8_t* text = buf->head;
        for (int64_t i = head; i + k <= end; ++i) {
            if (folded[text[i]] != pattern[0]) continue;
            int64_t j = 1;
            while (j < k && folded[text[i + j]] == pattern[size_t(j)]) ++j;
            runtime::poll();
            if (j == k) {
                m.at = i;
                return m;
            }
        }
        return m;
    }
    for (int64_t i = head; i + k <= end; i += step) {
        if (at(i)) {
            m.at = i;
            return m;
        }
        if (match) break;
    }
    return m;
}

// ---- sort

uint32_t sort_fold(uint32_t cp, uint32_t unit) {
    if (unit == 1) return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    return fold(cp);
}

int text_order(const void* a, const void* b, intptr_t word, intptr_t) {
    const series::SortRun& run = *reinterpret_cast<const series::SortRun*>(word);
    const series::SortSpec& spec = *run.spec;
    uint32_t unit = run.buffer->unit();
    auto x = static_cast<const uint8_t*>(a);
    auto y = static_cast<const uint8_t*>(b);
    uint32_t from = spec.offset, to = spec.all ? spec.size : spec.offset + 1;
    int r = 0;
    for (uint32_t i = from; i < to && r == 0; ++i) {
        uint32_t p = get_char(x + i * unit, unit), q = get_char(y + i * unit, unit);
        if (!spec.case_) {
            p = sort_fold(p, unit);
            q = sort_fold(q, unit);
        }
        r = p < q ? -1 : p > q ? 1 : 0;
    }
    return spec.reverse ? -r : r;
}

// Sorts the characters (or bytes) of a text on one unit per record, in the
// order text_order gives them.
bool char_keyed_sort(const series::SortRun& run, uint8_t* base, bool stable) {
    uint32_t unit = run.buffer->unit();
    bool exact = run.spec->case_;
    auto read = [unit, exact](const uint8_t* at, uint32_t& key) {
        key = get_char(at, unit);
        if (!exact) key = sort_fold(key, unit);
        return true;
    };
    auto order = [](uint32_t p, uint32_t q) { return p < q ? -1 : p > q ? 1 : 0; };
    return series::sort_by_keys<uint32_t>(run, base, stable, read, order);
}

// ---- trim

void write_back(Cell& series, uint32_t from, const Text& kept) {
    Buffer* b = buffer_of(series);
    uint8_t* out = unit_at(b, from);
    for (uint32_t cp : kept) {
        put_char(out, b->unit(), cp);
        out += b->unit();
    }
    b->tail = out;
}

bool in_set(uint32_t cp, const Text& set) {
    return std::find(set.begin(), set.end(), cp) != set.end();
}

Text trim_lines(const Text& in) {
    Text out;
    bool space = false;
    for (uint32_t c : in) {
        if (is_space(c)) {
            space = !out.empty();
            continue;
        }
        if (space) out.push_back(' ');
        space = false;
        out.push_back(c);
    }
    return out;
}

Text trim_ends(const Text& in, bool head, bool tail) {
    size_t first = 0, end = in.size();
    if (!(tail && !head))
        while (first < end && is_space(in[first])) ++first;
    bool line_feed = false;
    if (!(head && !tail))
        while (end > first && is_space(in[end - 1])) line_feed |= in[--end] == '\n';
    Text out(in.begin() + long(first), in.begin() + long(end));
    if (head || tail) return out;
    // Within the text: the spaces that start a line or end one go.
    Text inner;
    bool line_start = false;
    for (size_t i = 0; i < out.size(); ++i) {
        uint32_t c = out[i];
        if (c == '\n') {
            while (!inner.empty() && is_line_space(inner.back())) inner.pop_back();
            inner.push_back(c);
            line_start = true;
            continue;
        }
        if (line_start && is_line_space(c)) continue;
        line_start = false;
        inner.push_back(c);
    }
    if (line_feed) inner.push_back('\n');
    return inner;
}

int32_t form_action(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    return form(*value, *buffer, arg, part);
}

int32_t mold_action(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* arg,
                    int32_t part, int32_t) {
    return mold(*value, *buffer, all, arg, part);
}

} // namespace

bool is_space(uint32_t cp) {
    return (cp >= 1 && cp <= 32) || cp == 0x85 || cp == 0xA0 || cp == 0x1680 || cp == 0x180E ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
           cp == 0x205F || cp == 0x3000;
}

bool is_line_space(uint32_t cp) {
    return cp == ' ' || cp == '\t' || (cp > 32 && is_space(cp));
}

int32_t compare(const Cell* a, const Cell* b, int32_t op) {
    if (cell::type_of(*a) != cell::type_of(*b) &&
        (!series::is_text_type(cell::type_of(*b)) || (op != 0 && op != 1)))
        return -2;
    return compare_values(*a, *b, op, false);
}

namespace {

// The index of the first byte from `from` on at which two runs of `n`
// bytes differ, or n: eight bytes are compared at a time while eight
// remain.
inline int64_t first_difference(const uint8_t* a, const uint8_t* b, int64_t from, int64_t n) {
    int64_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n; i += 8) {
            uint64_t x, y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x != y) return i + std::countr_zero(x ^ y) / 8;
        }
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

} // namespace

// The comparison a sort of strings runs once per pair, without the general
// set-up.
int32_t order_bytes(const uint8_t* pa, int64_t la, const uint8_t* pb, int64_t lb, bool exact) {
    int64_t n = std::min(la, lb);
    for (int64_t i = first_difference(pa, pb, 0, n); i < n;
         i = first_difference(pa, pb, i + 1, n)) {
        uint32_t p = pa[i], q = pb[i];
        if (!exact) {
            p = fold(p);
            q = fold(q);
        }
        if (p != q) return p < q ? -1 : 1;
    }
    return (la > lb) - (la < lb);
}

bool narrow_text(const Cell& text, const uint8_t*& data, int64_t& length) {
    Buffer* b = buffer_of(text);
    if (b->unit() != 1) return false;
    int64_t tail = b->tail - b->head, head = std::min<int64_t>(text.w1, tail);
    data = b->head + head;
    length = tail - head;
    return true;
}

int32_t order(const Cell& a, const Cell& b, bool exact) {
    const uint8_t *pa, *pb;
    int64_t la, lb;
    if (cell::type_of(b) != hashtable::string_range_type && narrow_text(b, pb, lb) &&
        narrow_text(a, pa, la))
        return order_bytes(pa, la, pb, lb, exact);
    return compare_values(a, b, exact ? 8 : 7, false);
}

int32_t compare_values(const Cell& a, const Cell& b, int32_t op, bool prefix) {
    // Two texts of 1-byte units order without the general set-up.
    if ((op == 7 || op == 8) && !prefix && cell::type_of(b) != hashtable::string_range_type &&
        buffer_of(a)->unit() == 1 && buffer_of(b)->unit() == 1)
        return order(a, b, op == 8);
    bool same = a.w2 == b.w2 && a.w1 == b.w1;
    if (op == 9) return same ? 0 : -1;
    if (same && is_equality(op)) return 0;
    Buffer* ba = buffer_of(a);
    Buffer* bb = buffer_of(b);
    uint32_t ha = std::min(a.w1, ba->length()), hb = std::min(b.w1, bb->length());
    int64_t la = ba->length() - ha;
    int64_t lb =
        cell::type_of(b) == hashtable::string_range_type ? int64_t(b.w3) : bb->length() - hb;
    if (prefix) {
        if (lb == 0) return op == 12 ? 1 : 0;
        if (la < lb) return 1;
    } else {
        if ((la != lb && is_equality(op)) || (lb == 0 && la > 0)) return 1;
        if (la == 0 && lb == 0) return 0;
    }
    int64_t n = prefix ? lb : std::min(la, lb);
    bool exact = op == 2 || op == 8;
    uint32_t ua = ba->unit(), ub = bb->unit();
    const uint8_t* pa = unit_at(ba, ha);
    const uint8_t* pb = unit_at(bb, hb);
    uint32_t p = 0, q = 0;
    // The first characters that differ, folded unless exact; equal
    // characters fold alike, so only a difference needs folding.
    auto scan = [&](auto char_a, auto char_b) {
        for (int64_t i = 0; i < n; ++i) {
            p = char_a(i);
            q = char_b(i);
            if (p == q) continue;
            if (!exact) {
                p = fold(p);
                q = fold(q);
            }
            if (p != q) return;
        }
    };
    if (ua == 1 && ub == 1)
        for (int64_t i = first_difference(pa, pb, 0, n); i < n;
             i = first_difference(pa, pb, i + 1, n)) {
            p = pa[i];
            q = pb[i];
            if (!exact) {
                p = fold(p);
                q = fold(q);
            }
            if (p != q) break;
        }
    else
        scan([pa, ua](int64_t i) { return get_char(pa + i * ua, ua); },
             [pb, ub](int64_t i) { return get_char(pb + i * ub, ub); });
    if (p == q && !prefix) return (la > lb) - (la < lb);
    return p < q ? -1 : p > q ? 1 : 0;
}

Cell* find(Cell* series, const Cell* value, const Cell* part, bool, bool case_, bool same, bool any,
           const Cell* with, const Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Match m = search(*series, *value, part, case_, same, any, with, skip, last, reverse, match);
    if (m.at < 0)
        *series = none::value;
    else
        series->w1 = uint32_t(tail ? m.at + m.k : m.at);
    return series;
}

Cell* select(Cell* series, const Cell* value, const Cell* part, bool, bool case_, bool same,
             bool any, const Cell* with, const Cell* skip, bool last, bool reverse) {
    Match m = search(*series, *value, part, case_, same, any, with, skip, last, reverse, false);
    if (m.at < 0 || m.at + m.k >= int64_t(length_whole(*series)))
        *series = none::value;
    else
        *series = series::unit_value(*series, uint32_t(m.at + m.k));
    return series;
}

namespace {

// Appends the characters of a text of the same width once, when the
// buffer has room for them: the common `append s "abc"`, with no widening,
// growing or moving. False when the general path must run.
bool append_text_in_room(Cell& series, const Cell& value, int32_t part) {
    Buffer* b = buffer_of(series);
    Buffer* source = buffer_of(value);
    uint32_t unit = b->unit();
    if (source->unit() != unit) return false;
    uint32_t length = source->length();
    uint32_t n = length - std::min(value.w1, length);
    if (part >= 0 && uint32_t(part) < n) n = uint32_t(part);
    size_t bytes = size_t(n) * unit;
    if (b->tail + bytes > b->data_end()) return false;
    std::memcpy(b->tail, unit_at(source, std::min(value.w1, length)), bytes);
    b->tail += bytes;
    series.w1 = 0;
    return true;
}

// Inserts `dup` copies of the characters of a text value held in another
// buffer straight from that buffer. Only for a series no owner watches: an
// owner's handler runs Kiv code that could change the source meanwhile.
Cell* insert_text(Cell* series, const Cell* value, int32_t part, int32_t dup, bool append) {
    uint32_t whole = buffer_of(*series)->length();
    uint32_t head = std::min(series->w1, whole);
    uint32_t at = append ? whole : head;
    Buffer* source = buffer_of(*value);
    uint32_t from_head = std::min(value->w1, source->length());
    uint32_t n = source->length() - from_head;
    if (part >= 0 && uint32_t(part) < n) n = uint32_t(part);
    series::Change change(*series, append ? Word::append : Word::insert, value, int32_t(at - head),
                          int32_t(n));
    uint64_t added = uint64_t(n) * uint32_t(dup);
    Buffer* b = make_room(*series, at, 0, added, source->unit());
    source = buffer_of(*value); // re-read: making room allocates
    uint32_t unit = b->unit(), from_unit = source->unit();
    const uint8_t* from = unit_at(source, from_head);
    runtime::write_copies(
        uint32_t(dup), uint64_t(n) * unit,
        [&](uint64_t first, uint64_t count) {
            uint8_t* out = unit_at(b, uint32_t(at + first * n));
            for (uint64_t d = 0; d < count; ++d) {
                if (unit == from_unit) {
                    std::memcpy(out, from, size_t(n) * unit);
                    out += size_t(n) * unit;
                    continue;
                }
                for (uint32_t i = 0; i < n; ++i, out += unit)
                    put_char(out, unit, get_char(from + i * from_unit, from_unit));
            }
        },
        [&](uint64_t done) { close_room(b, at, added, done * n); });
    change.done(append ? Word::appended : Word::inserted);
    series->w1 = append ? 0 : uint32_t(at + added);
    return series;
}

// Whether the value's characters can be copied straight from its buffer
// into the series: a text other than a tag, in another buffer, and a
// series no owner watches.
bool copied_from_buffer(const Cell& series, const Cell& value) {
    uint32_t type = cell::type_of(value);
    return series::is_text_type(type) && type != TYPE_TAG && value.w2 != series.w2 &&
           !(buffer_of(series)->flags & ownership::owned_flag);
}

// Inserts or appends the text of any value: out of line, so that the
// common append of a text pays for none of its set-up.
[[gnu::noinline]] Cell* insert_piece(Cell* series, const Cell* value, int32_t part, int32_t dup,
                                     bool append) {
    if (copied_from_buffer(*series, *value)) return insert_text(series, value, part, dup, append);
    Piece piece = piece_of(*value, part);
    uint32_t head = head_index(*series);
    uint32_t at = append ? length_whole(*series) : head;
    series::Change change(*series, append ? Word::append : Word::insert, value, int32_t(at - head),
                          int32_t(piece.chars.size()));
    splice(*series, at, 0, piece, dup);
    change.done(append ? Word::appended : Word::inserted);
    series->w1 = append ? 0 : uint32_t(at + piece.chars.size() * uint32_t(dup));
    return series;
}

} // namespace

Cell* insert(Cell* series, const Cell* value, int32_t part, bool, int32_t dup, bool append) {
    if (dup < 1) return series;
    if (append && dup == 1 && copied_from_buffer(*series, *value) &&
        append_text_in_room(*series, *value, part))
        return series;
    return insert_piece(series, value, part, dup, append);
}

Cell* change(Cell* series, const Cell* value, int32_t part, bool, int32_t dup) {
    dup = std::max(dup, 1);
    uint32_t head = head_index(*series);
    series->w1 = head;
    Piece piece = piece_of(*value, -1);
    uint64_t written = uint64_t(piece.chars.size()) * uint32_t(dup);
    uint64_t avail = length(*series);
    uint32_t removed = uint32_t(std::min<uint64_t>(avail, part >= 0 ? uint64_t(part) : written));
    series::Change announce(*series, Word::change, value, 0, int32_t(removed));
    splice(*series, head, removed, piece, dup);
    announce.done(Word::changed);
    series->w1 = uint32_t(head + written);
    return series;
}

Cell* sort(Cell* series, bool case_, const Cell* skip, const Cell* compare, const Cell* part,
           bool all, bool reverse, bool stable) {
    // Bytes order as numbers: a binary! sorts without case folding.
    bool exact = case_ || cell::type_of(*series) == TYPE_BINARY;
    return series::sort(series, exact, skip, compare, part, all, reverse, stable, text_order,
                        char_keyed_sort);
}

Cell* swap(Cell* series, Cell* other) {
    uint32_t t = cell::type_of(*other);
    if (!series::is_text_type(t) && t != TYPE_BINARY)
        series::raise(err::script::invalid_arg, other);
    if (at_tail(*series) || at_tail(*other)) return series;
    series::Change change1(*series, Word::swap, other, 0, 1);
    series::Change change2(*other, Word::swap, series, 0, 1);
    uint32_t i = head_index(*series), j = head_index(*other);
    uint32_t a = char_at(*series, i), b = char_at(*other, j);
    poke_char(buffer_of(*series), unit_at(buffer_of(*series), i), b);
    poke_char(buffer_of(*other), unit_at(buffer_of(*other), j), a);
    change1.done(Word::swaped);
    change2.done(Word::swaped);
    return series;
}

Cell* take(Cell* series, const Cell* part, bool deep, bool last) {
    series::take(series, part, deep, last);
    if (!part && cell::type_of(*series) != TYPE_NONE && length_whole(*series) == 1)
        *series = series::unit_value(*series, 0);
    return series;
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with) {
    if (auto_) runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    Text set{'\t', '\n', '\r', ' '};
    if (with) {
        uint32_t t = cell::type_of(*with);
        if (series::is_text_type(t) || t == TYPE_BINARY)
            set = chars_of(*with);
        else if (t == TYPE_CHAR || t == TYPE_INTEGER)
            set = {with->w2};
        else
            series::raise(err::script::invalid_arg, with);
    }
    uint32_t from = head_index(*series);
    series->w1 = from;
    Text in = chars_of(*series);
    series::Change change(*series, Word::trim, nullptr, 0, int32_t(in.size()));
    Text out;
    if (all || with) {
        for (uint32_t c : in)
            if (!in_set(c, set)) out.push_back(c);
    } else if (lines) {
        out = trim_lines(in);
    } else {
        out = trim_ends(in, head, tail);
    }
    write_back(*series, from, out);
    change.done(Word::trimmed);
    return series;
}

Cell& from_utf8(const uint8_t* bytes, uint32_t length, Cell& out) {
    const uint8_t* end = bytes + length;
    for (const uint8_t* p = bytes; p < end;) {
        int32_t cp;
        const uint8_t* next = utf8::decode_step(p, end, cp);
        if (cp < 0) {
            // The bytes from the invalid sequence to the end.
            Rooted<Cell> rest(Cell{TYPE_BINARY, 0, memory::alloc_bytes(uint32_t(end - p)), 0});
            Buffer* r = buffer_of(*rest);
            std::memcpy(r->head, p, size_t(end - p));
            r->tail = r->head + (end - p);
            runtime::fire_error(runtime::Category::access, err::access::invalid_utf8, &*rest);
        }
        p = next;
    }
    return load_at(bytes, length, out, Encoding::utf8);
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    uint32_t t = cell::type_of(*spec);
    if (t != TYPE_INTEGER && t != TYPE_FLOAT) {
        if (type == TYPE_BINARY && t == TYPE_MONEY) {
            Cell named{};
            datatype::make_at(named, type);
            series::raise(err::script::bad_make_arg, &named, spec);
        }
        return datatype::get<Slot::to>(type)(proto, spec, type);
    }
    int32_t n = block::room_of(*spec);
    if (n < 0) series::raise(err::script::out_of_range, spec);
    make_at(*proto, uint32_t(n));
    cell::set_type(*proto, type);
    return proto;
}

Cell* to(Cell* proto, const Cell* spec, uint32_t type) {
    uint32_t t = cell::type_of(*spec);
    Rooted<Cell> out;
    if (t == TYPE_NONE) {
        Cell named{};
        datatype::make_at(named, type);
        series::raise(err::script::bad_to_arg, &named, spec);
    }
    if (series::is_text_type(t)) {
        Rooted<Cell> source(*spec);
        series::copy(&*source, &*out, nullptr, false, nullptr);
    } else if (t == TYPE_BINARY) {
        Buffer* b = buffer_of(*spec);
        uint32_t from = std::min(spec->w1, b->length());
        std::vector<uint8_t> bytes(b->head + from, b->tail);
        from_utf8(bytes.data(), uint32_t(bytes.size()), *out);
    } else if (t == TYPE_REFINEMENT && type != TYPE_STRING) {
        make_at(*out, 16);
        Rooted<Cell> source(*spec);
        dispatch::mold(*source, *out, false, false, false, nullptr, 0, 0);
    } else {
        make_at(*out, 16);
        splice(*out, 0, 0, piece_of(*spec, -1), 1);
    }
    *proto = *out;
    proto->w1 = 0;
    cell::set_type(*proto, type);
    return proto;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t,
                bool case_, bool, bool, bool) {
    uint32_t t = cell::type_of(*element);
    if (t == TYPE_INTEGER) {
        if (value) return series::poke(parent, integer::get(*element), value, element);
        return series::pick(stack::push(*parent), integer::get(*element), element);
    }
    if (t == TYPE_WORD) series::raise(err::script::invalid_path, path, element);
    if (!value)
        return select(stack::push(*parent), element, nullptr, false, case_, false, false, nullptr,
                      nullptr, false, false);
    Match m = search(*parent, *element, nullptr, case_, false, false, nullptr, nullptr, false,
                     false, false);
    if (m.at < 0) series::raise(err::script::bad_path_set, path, element);
    Cell at = *parent;
    at.w1 = uint32_t(m.at);
    return series::poke(&at, 1, value, nullptr);
}

Cell* do_set_op(bool case_, const Cell* skip, int32_t op) {
    Cell* args = frame_args();
    uint32_t step = 1;
    if (skip) {
        if (cell::type_of(*skip) != TYPE_INTEGER || integer::get(*skip) < 1)
            series::invalid_refine("skip", *skip);
        step = uint32_t(integer::get(*skip));
    }
    args[0].w1 = head_index(args[0]);
    if (op != 8) args[1].w1 = head_index(args[1]);
    uint32_t room = length(args[0]) + (op == 9 ? length(args[1]) : 0);
    Rooted<Cell> result;
    make_at(*result, room);
    auto pass = [&](const Cell& from, const Cell* other) {
        uint32_t n = length(from);
        uint32_t head = head_index(from);
        for (uint32_t i = 0; i < n; i += step) {
            uint32_t c = char_at(from, head + i);
            if (other && has_char(*other, c, step, case_) != (op == 10)) continue;
            if (has_char(*result, c, step, case_)) continue;
            for (uint32_t j = 0; j < step && i + j < n; ++j)
                append_char(buffer_of(*result), char_at(from, head + i + j));
        }
    };
    bool member = op == 10 || op == 11 || op == 12;
    pass(args[0], member ? &args[1] : nullptr);
    if (op == 9) pass(args[1], nullptr);
    if (op == 12) pass(args[1], &args[0]);
    Cell out = *result;
    cell::set_type(out, cell::type_of(args[0]));
    args[0] = out;
    return args;
}

void init() {
    datatype::register_type(TYPE_STRING, TYPE_SERIES, "string!",
                            {{Slot::make, make},
                             {Slot::to, to},
                             {Slot::form, form_action},
                             {Slot::mold, mold_action},
                             {Slot::eval_path, eval_path},
                             {Slot::compare, compare},
                             {Slot::append, insert},
                             {Slot::change, change},
                             {Slot::find, find},
                             {Slot::insert, insert},
                             {Slot::select, select},
                             {Slot::sort, sort},
                             {Slot::swap, swap},
                             {Slot::take, take},
                             {Slot::trim, trim}});
}

} // namespace kiv::string
