// The load entries: each builds the value of one token kind at the tail of
// the value buffer, from the token's text as the token finder delimited and
// checked it. Also the series maker that turns the cells of a closed block,
// paren or path into a series, and `load`, the entry the runtime reads
// source text with.
//
// Loaders write straight into their buffer slot: the slot lies inside the
// running scan's marked range, so a collection during the allocation of a
// string or a word keeps whatever the slot already holds.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/context.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "evaluator/lexer.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/scan_number.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::lexer {

namespace {

using P = const uint8_t*;

uint32_t hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return uint32_t(c - '0');
    c |= 0x20;
    return c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10) : 16;
}

// The code points of a token's text, gathered before anything allocates.
struct Text {
    std::vector<uint32_t> points;
    uint32_t widest = 0;
    void add(uint32_t cp) {
        points.push_back(cp);
        widest = std::max(widest, cp);
    }
};

// Decodes UTF-8, a byte that starts no valid sequence standing for itself
// (in a file! for its escaped code point, so that the name's bytes come
// back); with `carets`, caret escapes are decoded and a bad one fails the
// token as an invalid value of `type`.
Text decode(State& st, P s, P e, bool carets, uint32_t type) {
    const uint32_t stray_base = type == TYPE_FILE ? unicode::escaped_byte_base : 0;
    Text text;
    text.points.reserve(size_t(e - s));
    while (s < e) {
        uint32_t cp;
        if (carets && *s == '^') {
            uint32_t n = decode_escape(s + 1, e, cp);
            if (!n) throw_error(st, s, int32_t(type));
            s += n + 1;
        } else if (*s < 0x80) {
            cp = *s++;
        } else {
            int32_t c;
            P next = utf8::decode_step(s, e, c);
            cp = c < 0 ? stray_base + *s : uint32_t(c);
            s = c < 0 ? s + 1 : next;
        }
        text.add(cp);
    }
    return text;
}

// Writes a string-like value of the text into the slot, in the narrowest
// unit that holds its widest character.
void make_text(Cell& slot, const Text& text, uint32_t type) {
    uint32_t unit = unicode::unit_for(text.widest);
    uint32_t n = uint32_t(text.points.size());
    slot = Cell{cell::unset_header, 0, 0, 0};
    string::make_at_unit(slot, n, unit);
    Buffer* b = memory::buffer_of(slot.w2);
    uint8_t* p = b->head;
    for (uint32_t cp : text.points) {
        string::put_char(p, unit, cp);
        p += unit;
    }
    b->tail = p;
    slot.header = type;
}

void load_text(State& st, P s, P e, bool carets, uint32_t type) {
    Text text = decode(st, s, e, carets, type);
    make_text(grow_buffer(st), text, type);
}

// file! and url! keep their text decoded: each %XX escape becomes its byte
// (the bytes then read as UTF-8); a `%` without two hexadecimal digits
// stands for itself.
void load_percent_decoded(State& st, P s, P e, bool carets, uint32_t type) {
    std::string bytes;
    bytes.reserve(size_t(e - s));
    for (P q = s; q < e;) {
        if (*q == '%' && e - q >= 3 && hex_value(q[1]) < 16 && hex_value(q[2]) < 16) {
            bytes += char(hex_value(q[1]) * 16 + hex_value(q[2]));
            q += 3;
        } else if (carets && *q == '^') {
            uint32_t cp;
            uint32_t n = decode_escape(q + 1, e, cp);
            if (!n) throw_error(st, q, int32_t(type));
            uint8_t encoded[4];
            bytes.append(reinterpret_cast<char*>(encoded), utf8::encode_char(cp, encoded));
            q += n + 1;
        } else {
            bytes += char(*q++);
        }
    }
    P b = reinterpret_cast<P>(bytes.data());
    load_text(st, b, b + bytes.size(), false, type);
}

double read_float(State& st, P s, P e, uint32_t type) {
    int32_t error;
    double value = scan_float(s, int32_t(e - s), 1, error);
    if (error != scan_ok) throw_error(st, s, int32_t(type));
    // A negative number too small for a float reads as zero, as -0.0 does:
    // a negative zero would mold as -0.0 and read back as another value.
    return value == 0 ? 0.0 : value;
}

// "text", {text} (nested braces kept) and %%{text}%%.
void load_string_token(State& st, P s, P e, uint32_t, bool load) {
    if (load) load_text(st, s + 1, e - 1, true, TYPE_STRING);
}

void load_raw_string(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    size_t percents = size_t(std::find(s, e, uint8_t('{')) - s);
    load_text(st, s + percents + 1, e - percents - 1, false, TYPE_STRING);
}

// word, 'lit-word, :get-word, set-word: and #issue.
void load_word(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    uint32_t type = TYPE_WORD;
    if (*s == '#') {
        uint32_t symbol = symbol::intern_bytes(s + 1, uint32_t(e - s - 1));
        grow_buffer(st) = Cell{TYPE_ISSUE, context::global, symbol, uint32_t(-1)};
        return;
    }
    if (e - s > 1) {
        if (*s == '\'')
            type = TYPE_LIT_WORD, ++s;
        else if (*s == ':')
            type = TYPE_GET_WORD, ++s;
        else if (e[-1] == ':')
            type = TYPE_SET_WORD, --e;
    }
    uint32_t symbol = symbol::intern_bytes(s, uint32_t(e - s));
    Cell& slot = grow_buffer(st);
    word::make_at(symbol, slot);
    cell::set_type(slot, type);
}

void load_refinement(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    uint32_t symbol = symbol::intern_bytes(s + 1, uint32_t(e - s - 1));
    Cell& slot = grow_buffer(st);
    word::make_at(symbol, slot);
    cell::set_type(slot, TYPE_REFINEMENT);
}

// Ten digits at most fit an integer!; more digits, or a value past the
// 32-bit range, make a float! of the same text.
void load_integer(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    uint32_t digits = uint32_t(std::count_if(s, e, [](uint8_t c) { return c >= '0' && c <= '9'; }));
    int32_t error = scan_overflow;
    int32_t value = digits > 10 ? 0 : scan_integer(s, int32_t(e - s), 1, error);
    if (error == scan_overflow) {
        double d = read_float(st, s, e, TYPE_INTEGER);
        float_::make_typed_at(grow_buffer(st), TYPE_FLOAT, d);
        st.type = TYPE_FLOAT;
        return;
    }
    if (error != scan_ok) throw_error(st, s, TYPE_INTEGER);
    integer::make_at(grow_buffer(st), value);
}

// 0FFh: up to eight significant hexadecimal digits, read as the 32 bits of
// an integer!.
void load_hex_integer(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    P digits = s;
    while (digits < e - 1 && *digits == '0') ++digits;
    if (e - 1 - digits > 8) throw_error(st, s, TYPE_INTEGER);
    uint32_t value = 0;
    for (P q = digits; q < e - 1; ++q) value = value * 16 + hex_value(*q);
    Cell& slot = grow_buffer(st);
    integer::make_at(slot, int32_t(value));
}

void load_float(State& st, P s, P e, uint32_t, bool load) {
    if (load) float_::make_typed_at(grow_buffer(st), TYPE_FLOAT, read_float(st, s, e, TYPE_FLOAT));
}

// 12.5% holds the fraction 0.125.
void load_percent(State& st, P s, P e, uint32_t, bool load) {
    if (load)
        float_::make_typed_at(grow_buffer(st), TYPE_PERCENT,
                              read_float(st, s, e - 1, TYPE_PERCENT) / 100);
}

// [sign]hours:minutes[:seconds[.fraction]] as seconds. A time of 2^53
// seconds or more is refused: its seconds are not held exactly, and its
// text would not read back as the same time.
void load_time(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    P text = s;
    bool negative = *s == '-';
    if (*s == '-' || *s == '+') ++s;
    double seconds = 0;
    double scale = 3600;
    for (P part = s; part < e; scale /= 60) {
        P colon = std::find(part, e, uint8_t(':'));
        seconds += read_float(st, part, colon, TYPE_TIME) * scale;
        part = colon + (colon < e);
    }
    if (!(seconds < 9007199254740992.0)) throw_error(st, text, TYPE_TIME);
    float_::make_typed_at(grow_buffer(st), TYPE_TIME, negative ? -seconds : seconds);
}

// 3x4: two 32-bit integers. A fraction, an exponent or a coordinate beyond
// the range is refused rather than truncated or wrapped.
void load_pair(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    P cross = std::find_if(s, e, [](uint8_t c) { return c == 'x' || c == 'X'; });
    int32_t coordinates[2];
    P parts[3] = {s, cross, e};
    for (int i = 0; i < 2; ++i) {
        P from = parts[i] + i; // past the x
        int32_t error;
        coordinates[i] = scan_integer(from, int32_t(parts[i + 1] - from), 1, error);
        if (error != scan_ok) throw_error(st, s, TYPE_PAIR);
    }
    Cell& slot = grow_buffer(st);
    slot = Cell{};
    pair::make_at(slot, coordinates[0], coordinates[1]);
}

// (x, y) or (x, y, z): each number rounded to a 32-bit float.
void load_point(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    double coordinates[3];
    uint32_t n = 0;
    for (P from = s + 1; from < e && n < 3; ++n) {
        P to = std::find_if(from, e - 1, [](uint8_t c) { return c == ','; });
        P a = from, b = to;
        while (a < b && (*a == ' ' || *a == '\t')) ++a;
        while (b > a && (b[-1] == ' ' || b[-1] == '\t')) --b;
        coordinates[n] = read_float(st, a, b, TYPE_POINT2D);
        from = to + 1;
    }
    point::make_at(grow_buffer(st), n, coordinates);
}

// 1.2.3: dot-separated bytes, as the token finder checked them.
void load_tuple(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    uint8_t bytes[tuple::max_size] = {};
    uint32_t size = 0;
    for (P q = s; q < e && size < tuple::max_size; ++q) {
        if (*q == '.')
            ++size;
        else
            bytes[size] = uint8_t(bytes[size] * 10 + (*q - '0'));
    }
    Cell& slot = grow_buffer(st);
    slot = Cell{};
    tuple::make_at(slot, bytes, size + 1);
}

// #"c": the one character or escape between the quotes.
void load_char(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    Text text = decode(st, s + 2, e - 1, true, TYPE_CHAR);
    char_::make_at(grow_buffer(st), text.points.at(0));
}

// %name or %"name with spaces".
void load_file(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    if (e - s >= 2 && s[1] == '"')
        load_percent_decoded(st, s + 2, e - 1, true, TYPE_FILE);
    else
        load_percent_decoded(st, s + 1, e, true, TYPE_FILE);
}

void load_url(State& st, P s, P e, uint32_t, bool load) {
    if (load) load_percent_decoded(st, s, e, false, TYPE_URL);
}

void load_email(State& st, P s, P e, uint32_t, bool load) {
    if (load) load_text(st, s, e, false, TYPE_EMAIL);
}

// <tag>: the text between the angle brackets.
void load_tag(State& st, P s, P e, uint32_t, bool load) {
    if (load) load_text(st, s + 1, e - 1, false, TYPE_TAG);
}

// @ref: the text after the at sign.
void load_ref(State& st, P s, P e, uint32_t, bool load) {
    if (load) load_text(st, s + 1, e, false, TYPE_REF);
}

// #{...}, 2#{...}, 16#{...} and 64#{...}: the bytes of the text (the
// scanner checked the base and the characters). Text that does not decode
// completely is an invalid binary!, never cut short.
void load_binary(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    P brace = std::find(s, e, uint8_t('{'));
    uint32_t base = 16;
    if (brace - s > 1) base = uint32_t(std::stoul(std::string(s, brace - 1)));
    std::vector<uint8_t> bytes;
    if (!binary::decode(base, brace + 1, size_t(e - 1 - (brace + 1)), 1, bytes, true))
        throw_error(st, s, TYPE_BINARY);
    binary::load_at(grow_buffer(st), bytes.data(), uint32_t(bytes.size()));
}

// Blocks, parens and paths become a series of the cells; a map! is made
// from the block of its keys and values.
void make_series(Cell& out, const Cell* first, uint32_t count, uint32_t type, Cell* into) {
    if (type == TYPE_MAP) {
        Rooted<Cell> pairs;
        make_series(*pairs, first, count, TYPE_BLOCK, nullptr);
        map::make_at(out, &*pairs, 0);
        return;
    }
    if (into) {
        for (uint32_t i = 0; i < count; ++i) *cell::alloc_tail(*into) = first[i];
        out = *into;
        return;
    }
    block::make_at(out, int32_t(count));
    Buffer* b = memory::buffer_of(out.w2);
    std::memcpy(b->head, first, size_t(count) * sizeof(Cell));
    b->tail = b->head + size_t(count) * sizeof(Cell);
    out.header = type;
}

// The one value of a text, for the word module's conversions; false when
// the text holds no value.
bool scan_one_value(const Cell& text, Cell& out) {
    Options options;
    options.one_value = true;
    return load_string(out, text, -1, options) > 0;
}

struct Loader {
    uint32_t final;
    Entry entry;
};
constexpr Loader loaders[] = {
    {string, &load_string_token},
    {word, &load_word},
    {issue, &load_word},
    {integer, &load_integer},
    {refinement, &load_refinement},
    {character, &load_char},
    {file, &load_file},
    {percent, &load_percent},
    {float_number, &load_float},
    {float_special, &load_float},
    {time, &load_time},
    {tag, &load_tag},
    {url, &load_url},
    {email, &load_email},
    {hex_integer, &load_hex_integer},
    {raw_string, &load_raw_string},
    {ref, &load_ref},
    {pair, &load_pair},
    {point, &load_point},
    {tuple, &load_tuple},
    {binary, &load_binary},
};

} // namespace

void install_loaders() {
    for (const Loader& l : loaders) set_load_entry(l.final, l.entry);
    install_date_and_money_loaders();
    set_series_maker(&make_series);
    word::scan_value = &scan_one_value;
}

void load(Cell& out, const uint8_t* text, uint32_t length) {
    static constexpr uint8_t bom[] = {0xEF, 0xBB, 0xBF};
    if (length >= 3 && std::memcmp(text, bom, 3) == 0) text += 3, length -= 3;
    scan(out, text, length, Options{});
}

void load(Cell& out, const Cell& text) {
    load_string(out, text, -1, Options{});
}

} // namespace kiv::lexer
