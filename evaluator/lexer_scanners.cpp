// The token finder: the syntax of every token kind. It dispatches on the
// first byte of a token, finds the token's extent and kind, and checks its
// syntax; a token that runs into a byte its kind does not allow comes out
// as an invalid token typed by that kind.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>

#include "evaluator/lexer.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::lexer {

namespace {

constexpr std::array<uint32_t, 256> make_class_table() {
    std::array<uint32_t, 256> t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = 37; // word letters
        if (b == 0)
            c = 39 | flag::nul;
        else if (b == '\t' || b == '\r' || b == ' ')
            c = 0;
        else if (b == '\n')
            c = 1;
        else if (b >= '1' && b <= '9')
            c = 2;
        else if (b == '0')
            c = 3;
        else if (b < 0x20)
            c = 35;
        else if (b == 0x7F || (b >= 0x80 && b <= 0xBF))
            c = 36;
        else if (b == 0xC0 || b == 0xC1 || b >= 0xF8)
            c = 38;
        else if (b >= 0xC2 && b <= 0xEF)
            c = 37 | flag::utf8_short;
        else if (b >= 0xF0)
            c = 37 | flag::utf8_long;
        else {
            switch (b) {
            case '[': c = 4; break;
            case ']': c = 5; break;
            case '(': c = 6; break;
            case ')': c = 7; break;
            case '{': c = 8; break;
            case '}': c = 9; break;
            case '"': c = 10; break;
            case '#': c = 11 | flag::hash; break;
            case '\'': c = 12 | flag::quote; break;
            case ':': c = 13 | flag::colon; break;
            case 'x':
            case 'X': c = 14; break;
            case 'T': c = 15; break;
            case 'h': c = 16; break;
            case 'e': c = 17 | flag::exponent; break;
            case 'E': c = 18 | flag::exponent; break;
            case 'a':
            case 'b':
            case 'c':
            case 'd':
            case 'f': c = 19; break;
            case 'A':
            case 'B':
            case 'C':
            case 'D':
            case 'F': c = 20; break;
            case '/': c = 21; break;
            case '\\': c = 22; break;
            case '<': c = 23 | flag::less; break;
            case '>': c = 24 | flag::greater; break;
            case '=': c = 25; break;
            case '%': c = 26 | flag::percent; break;
            case ',': c = 27 | flag::comma; break;
            case ';': c = 28; break;
            case '@': c = 29; break;
            case '.': c = 30 | flag::dot; break;
            case '$': c = 31; break;
            case '+': c = 32 | flag::sign; break;
            case '-': c = 33 | flag::sign; break;
            case '^': c = 34 | flag::caret; break;
            default: break;
            }
        }
        t[b] = c;
    }
    return t;
}

constexpr auto class_array = make_class_table();

using P = const uint8_t*;

// Decodes one UTF-8 character; returns its length, 0 when it is malformed.
uint32_t decode_utf8(P p, P end, uint32_t& code_point) {
    if (p < end && *p < 0x80) {
        code_point = *p;
        return 1;
    }
    int32_t cp;
    P next = utf8::decode_step(p, end, cp);
    if (cp < 0) return 0;
    code_point = uint32_t(cp);
    return uint32_t(next - p);
}

// Whether a byte-order mark (U+FEFF) starts at p. A name may not begin
// with one: text that begins with one is read without it, so the name
// would not load back.
bool byte_order_mark(P p, P limit) {
    return limit - p >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF;
}

bool blank(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool digit(uint8_t c) {
    return c >= '0' && c <= '9';
}
bool alpha(uint8_t c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}
bool hex_digit(uint8_t c) {
    return digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}
bool one_of(uint8_t c, const char* set) {
    return c && std::strchr(set, c);
}

Token make(uint32_t final, P start, P text_end, P end) {
    Token t;
    t.final = final;
    t.start = start;
    t.text_end = text_end;
    t.end = end;
    return t;
}
Token value(uint32_t final, P start, P end) {
    return make(final, start, end, end);
}
Token fail(int32_t type, P start, P at) {
    Token t = make(invalid, start, at, at);
    t.error_type = type;
    return t;
}

// A small cursor for checking number forms.
struct Cursor {
    P p, e;
    bool at_end() const { return p >= e; }
    bool peek(char c) const { return p < e && *p == uint8_t(c); }
    bool eat(char c) {
        if (!peek(c)) return false;
        ++p;
        return true;
    }
    bool eat_sign() { return eat('+') || eat('-'); }
    // Digits with `'` separators between digits; returns how many digits.
    uint32_t digits(bool separators = true) {
        uint32_t n = 0;
        while (p < e) {
            if (digit(*p))
                ++p, ++n;
            else if (separators && n && *p == '\'' && p + 1 < e && digit(p[1]))
                ++p;
            else
                break;
        }
        return n;
    }
};

// sign? digits [. digits] [e sign? digits], at least one digit.
bool decimal(Cursor& c) {
    c.eat_sign();
    uint32_t n = c.digits();
    if (c.eat('.')) n += c.digits();
    if (!n) return false;
    if (c.eat('e') || c.eat('E')) {
        c.eat_sign();
        if (!c.digits(false)) return false;
    }
    return true;
}
bool whole(P s, P e, bool (*form)(Cursor&)) {
    Cursor c{s, e};
    return form(c) && c.at_end();
}
bool integer_form(Cursor& c) {
    c.eat_sign();
    return c.digits() > 0;
}
bool special_form(Cursor& c) {
    c.eat_sign();
    if (!c.digits() || !c.eat('.') || !c.eat('#')) return false;
    uint32_t n = 0;
    while (!c.at_end() && alpha(*c.p)) ++c.p, ++n;
    return n > 0;
}
bool number_form(Cursor& c) {
    Cursor probe = c;
    if (special_form(probe)) {
        c = probe;
        return true;
    }
    return decimal(c);
}

bool time_form(Cursor& c) {
    c.eat_sign();
    if (!c.digits(false) || !c.eat(':') || !c.digits(false)) return false;
    if (c.eat(':') && !c.digits(false)) return false;
    if (c.eat('.') && !c.digits(false)) return false;
    return true;
}

bool month_name(Cursor& c) {
    static constexpr const char* months[] = {"january",   "february", "march",    "april",
                                             "may",       "june",     "july",     "august",
                                             "september", "october",  "november", "december"};
    P s = c.p;
    while (!c.at_end() && alpha(*c.p)) ++c.p;
    size_t n = size_t(c.p - s);
    if (n < 3 || n > 9) return false;
    for (const char* m : months) {
        if (std::strlen(m) < n) continue;
        size_t i = 0;
        while (i < n && (s[i] | 0x20) == uint8_t(m[i])) ++i;
        if (i == n) return true;
    }
    return false;
}

// day-month-year, year-month-day, year-Wweek[-day], year-day; then an
// optional `/` or `T` time and a `Z` or signed zone.
bool date_form(Cursor& c) {
    uint32_t first = c.digits(false);
    if (!first) return false;
    uint8_t sep = c.p < c.e ? *c.p : 0;
    if (sep != '-' && sep != '/') return false;
    ++c.p;
    if (first >= 3) {
        if (sep == '-' && c.eat('W')) {
            if (c.digits(false) != 2) return false;
            if (c.eat('-') && c.digits(false) != 1) return false;
        } else {
            uint32_t second = c.digits(false);
            if (second == 3 && sep == '-' && !c.peek('-')) {
                // year-day
            } else if (!second || second > 2 || !c.eat(char(sep)) || !c.digits(false)) {
                return false;
            }
        }
    } else {
        if (!(c.digits(false) || month_name(c)) || !c.eat(char(sep))) return false;
        // mold writes a negative year with "/" separators: 1/Jan/-0010.
        if (sep == '/') c.eat('-');
        uint32_t year = c.digits(false);
        if (!year || year > 4) return false;
    }
    if (c.at_end()) return true;
    if (!(c.eat('/') || c.eat('T'))) return false;
    if (!time_form(c)) return false;
    if (c.eat('Z')) return true;
    if (c.eat_sign()) {
        uint32_t n = c.digits(false);
        if (n == 4) return true;
        if (!n || n > 2) return false;
        if (c.eat(':') && c.digits(false) != 2) return false;
    }
    return true;
}

bool money_form(Cursor& c) {
    c.eat_sign();
    if (!c.peek('$')) {
        for (int i = 0; i < 3; ++i)
            if (c.at_end() || !alpha(*c.p++)) return false;
    }
    if (!c.eat('$') || !c.digits()) return false;
    if (c.eat('.') && !c.digits()) return false;
    return true;
}

bool tuple_form(Cursor& c) {
    uint32_t parts = 0;
    do {
        P s = c.p;
        if (!c.digits(false) || c.p - s > 3) return false;
        uint32_t v = 0;
        for (P q = s; q < c.p; ++q) v = v * 10 + uint32_t(*q - '0');
        if (v > 255) return false;
        ++parts;
    } while (c.eat('.'));
    return parts >= 3 && parts <= 12;
}

bool pair_form(Cursor& c) {
    return decimal(c) && (c.eat('x') || c.eat('X')) && decimal(c);
}
bool percent_form(Cursor& c) {
    return decimal(c) && c.eat('%');
}

bool hex_integer_text(P s, P e) {
    if (e - s < 2 || !digit(*s) || e[-1] != 'h') return false;
    for (P q = s; q < e - 1; ++q)
        if (!digit(*q) && !(*q >= 'A' && *q <= 'F')) return false;
    return true;
}

Token scan_email(P start, P host, P limit) {
    P q = host;
    for (; !delimiter(q, limit) && *q != '/'; ++q)
        if (one_of(*q, "#':>=,@$^")) return fail(TYPE_EMAIL, start, q);
    return value(email, start, q);
}

Token scan_url(P start, P rest, P limit) {
    P q = rest;
    for (; !delimiter(q, limit) && *q != '\\' && *q != '<'; ++q)
        if (*q == '>' || *q == '^') return fail(TYPE_URL, start, q);
    return value(url, start, q);
}

Token scan_binary(P start, P body, P limit, P base_start, P base_end) {
    uint32_t base = 16;
    if (base_start != base_end) {
        std::string text(base_start, base_end);
        if (text == "2")
            base = 2;
        else if (text == "64")
            base = 64;
        else if (text != "16")
            return fail(TYPE_BINARY, start, base_end);
    }
    for (P q = body; q < limit; ++q) {
        uint8_t c = *q;
        if (c == '}') return value(binary, start, q + 1);
        if (c == ';') {
            while (q + 1 < limit && q[1] != '\n') ++q;
            continue;
        }
        bool ok = blank(c) || c == '\n' || class_of(c) == 35 ||
                  (base == 2    ? c == '0' || c == '1'
                   : base == 16 ? hex_digit(c)
                                : digit(c) || alpha(c) || c == '+' || c == '/' || c == '=');
        if (!ok) return fail(TYPE_BINARY, start, q);
    }
    return fail(TYPE_BINARY, start, limit);
}

// The numbers family: integer, float, percent, pair, tuple, time, date,
// money, hexadecimal integer and numbers that start an email.
Token scan_number(P start, P limit, bool in_path) {
    P q = start;
    while (q < limit && digit(*q)) ++q;
    if (q + 1 < limit && q[0] == '#' && q[1] == '{')
        return scan_binary(start, q + 2, limit, start, q);
    q = start;
    while (!delimiter(q, limit) && *q != ',' && *q != '<' && !(in_path && *q == '/')) ++q;
    P e = q;
    auto has = [&](uint8_t c) { return std::memchr(start, c, size_t(e - start)) != nullptr; };
    auto check = [&](bool (*form)(Cursor&), uint32_t final, int32_t type) {
        Token t = whole(start, e, form) ? value(final, start, e) : fail(type, start, e);
        if (in_path && t.final != invalid && e < limit && *e == '/') {
            t.element = t.final;
            t.final = path_start;
            t.end = e + 1;
        }
        return t;
    };
    // The last element of a set-path: a/2:
    if (in_path && e - start >= 2 && e[-1] == ':' && std::all_of(start, e - 1, digit))
        return value(integer, start, e);
    if (has('$')) return check(money_form, money, TYPE_MONEY);
    if (hex_integer_text(start, e)) return value(hex_integer, start, e);
    for (P s = start; s + 1 < e; ++s)
        if (s[0] == '.' && s[1] == '#') return check(special_form, float_special, TYPE_FLOAT);
    if (const void* at = std::memchr(start, '@', size_t(e - start)))
        return scan_email(start, static_cast<P>(at) + 1, limit);
    bool date_dash = false;
    for (P s = start + 1; s < e; ++s)
        if (*s == '-' && s[-1] != 'e' && s[-1] != 'E') date_dash = true;
    if (has('x') || has('X')) return check(pair_form, pair, TYPE_PAIR);
    if (has('/') || date_dash) return check(date_form, date, TYPE_DATE);
    if (has(':')) return check(time_form, time, TYPE_TIME);
    if (e[-1] == '%') return check(percent_form, percent, TYPE_PERCENT);
    uint32_t dots = 0;
    for (P s = start; s < e; ++s) dots += *s == '.';
    if (dots >= 2) return check(tuple_form, tuple, TYPE_TUPLE);
    if (dots || has('e') || has('E')) return check(decimal, float_number, TYPE_FLOAT);
    return check(integer_form, integer, TYPE_INTEGER);
}

// Bytes that may follow the first character of a word.
bool word_byte(uint8_t c) {
    switch (class_of(c)) {
    case 2:
    case 3:
    case 12:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 19:
    case 20:
    case 24:
    case 25:
    case 30:
    case 31:
    case 32:
    case 33:
    case 37: return true;
    default: return false;
    }
}
bool word_start(uint8_t c) {
    return word_byte(c) && !digit(c) && c != '\'' && c != '$';
}

// A word after an optional `'` or `:` prefix: word, set-word, path start,
// url, email or money with a currency code.
Token scan_word(P start, P text, P limit) {
    int32_t type = *start == '\'' ? TYPE_LIT_WORD : *start == ':' ? TYPE_GET_WORD : TYPE_WORD;
    bool prefixed = text != start;
    if (byte_order_mark(text, limit)) return fail(type, start, text);
    P q = text;
    while (!delimiter(q, limit) && *q != ',' && *q != '<') {
        uint8_t c = *q;
        if (c == '/') {
            Token t = make(path_start, start, q, q + 1);
            t.element = word;
            return t;
        }
        if (c == ':') {
            if (prefixed) return fail(type, start, q);
            if (delimiter(q + 1, limit) || q[1] == '<') return value(word, start, q + 1);
            return scan_url(start, q + 1, limit);
        }
        if (c == '@') return prefixed ? fail(type, start, q) : scan_email(start, q + 1, limit);
        P code = text + (*text == '+' || *text == '-');
        if (c == '$' && q - code == 3 && alpha(code[0]) && alpha(code[1]) && alpha(code[2])) {
            // A name that reads as money ('USD$1, :EUR$2) is no word's, as
            // one that reads as a number is not: as a set-word it would
            // mold to money followed by a colon.
            if (prefixed) return fail(type, start, q);
            Token t = scan_number(start, limit, false);
            if (t.final == invalid) t.error_type = TYPE_MONEY;
            return t;
        }
        if (c >= 0x80) {
            uint32_t cp;
            uint32_t n = decode_utf8(q, limit, cp);
            if (!n) return fail(TYPE_WORD, start, q);
            if (is_unicode_space(cp)) break;
            q += n;
            continue;
        }
        if (!word_byte(c)) return fail(type, start, q);
        ++q;
    }
    // A name cut short at once (a Unicode space after `:`, `'` or a path's
    // `/`) would leave a word with no name, which molds as nothing.
    if (q == text) return fail(type, start, q);
    return value(word, start, q);
}

Token scan_quoted(P start, P body, P limit, uint32_t final, int32_t type) {
    for (P q = body; q < limit;) {
        uint8_t c = *q;
        if (c == '"') return value(final, start, q + 1);
        if (c == '\n' || c == 0) return fail(type, start, q);
        uint32_t cp;
        uint32_t n = c == '^' ? decode_escape(q + 1, limit, cp) : decode_utf8(q, limit, cp);
        if (!n) return fail(type, start, q);
        q += n + (c == '^');
    }
    return fail(type, start, limit);
}

Token scan_char(P start, P limit) {
    P q = start + 2;
    uint32_t cp;
    uint32_t n = 0;
    if (q < limit && *q == '^') {
        n = decode_escape(q + 1, limit, cp);
        if (n) ++n;
    } else if (q < limit && *q != '"' && *q != '\n') {
        n = decode_utf8(q, limit, cp);
    }
    if (!n || q + n >= limit || q[n] != '"') return fail(TYPE_CHAR, start, q);
    return value(character, start, q + n + 1);
}

Token scan_raw_string(P start, P brace, P limit) {
    size_t opened = size_t(brace - start);
    for (P q = brace + 1; q < limit; ++q) {
        if (*q != '}') continue;
        P r = q + 1;
        while (r < limit && *r == '%') ++r;
        size_t closed = size_t(r - q - 1);
        if (closed == opened) return value(raw_string, start, r);
        if (closed > opened) return fail(TYPE_STRING, start, r);
    }
    return fail(TYPE_STRING, start, limit);
}

Token scan_percent_sign(P start, P limit) {
    P q = start;
    while (q < limit && *q == '%') ++q;
    if (q < limit && *q == '{') return scan_raw_string(start, q, limit);
    if (start + 1 < limit && start[1] == '"')
        return scan_quoted(start, start + 2, limit, file, TYPE_FILE);
    if (delimiter(start + 1, limit)) return value(word, start, start + 1);
    // The word % has a set-word, %: (a file cannot be named ":").
    if (start[1] == ':' && delimiter(start + 2, limit)) return value(word, start, start + 2);
    q = start + 1;
    while (!delimiter(q, limit)) ++q;
    return value(file, start, q);
}

Token scan_hash(P start, P limit) {
    uint8_t next = start + 1 < limit ? start[1] : 0;
    switch (next) {
    case '"': return scan_char(start, limit);
    case '{': return scan_binary(start, start + 2, limit, start, start);
    case '[': return value(map_open, start, start + 2);
    case '(': {
        P q = start + 2;
        while (q < limit && *q != ')') ++q;
        if (q == limit) return fail(-2, start, q);
        return value(construct, start, q + 1);
    }
    default: break;
    }
    P q = start + 1;
    if (byte_order_mark(q, limit)) return fail(TYPE_ISSUE, start, q);
    // Its text is valid UTF-8, as a word's is.
    for (uint32_t cp, n; !delimiter(q, limit); q += n) {
        n = *q < 0x80 ? 1 : decode_utf8(q, limit, cp);
        if (!n || one_of(*q, "\\^@:,")) return fail(TYPE_ISSUE, start, q);
    }
    if (q == start + 1) return fail(TYPE_ISSUE, start, q);
    return value(issue, start, q);
}

Token scan_tag_or_less(P start, P limit) {
    P q = start + 1;
    if (delimiter(q, limit) || one_of(*q, "<>=-:")) {
        while (q < limit && one_of(*q, "<>=-")) ++q;
        if (q < limit && *q == ':' && delimiter(q + 1, limit)) ++q;
        if (!delimiter(q, limit)) return fail(TYPE_WORD, start, q);
        return value(word, start, q);
    }
    // A NUL ends the text when it is read again, so a tag never runs past
    // one: a tag holding it would mold to text that leaves it open.
    if (const void* nul = std::memchr(q, 0, size_t(limit - q))) limit = static_cast<P>(nul);
    for (; q < limit; ++q) {
        if (*q == '>') return value(tag, start, q + 1);
        if (*q == '"' || *q == '\'') {
            // A quote never closed is refused: what follows a tag would
            // decide where it ends, so its mold would not load back.
            const void* close = std::memchr(q + 1, *q, size_t(limit - q - 1));
            if (!close) return fail(TYPE_TAG, start, limit);
            q = static_cast<P>(close);
        }
    }
    return fail(TYPE_TAG, start, limit);
}

Token scan_slash(P start, P limit) {
    P q = start + 1;
    bool set_word = q + 1 <= limit && q < limit && *q == ':' && delimiter(q + 1, limit);
    if (delimiter(q, limit) || *q == '/' || set_word) {
        // The words made of slashes: / and //, and their set-words /: //:
        while (q < limit && *q == '/') ++q;
        if (q < limit && *q == ':' && delimiter(q + 1, limit)) ++q;
        if (!delimiter(q, limit)) return fail(TYPE_WORD, start, q);
        return value(word, start, q);
    }
    // Its text is checked as a word's is: valid UTF-8, ended by a space.
    if (byte_order_mark(q, limit)) return fail(TYPE_REFINEMENT, start, q);
    while (!delimiter(q, limit) && *q != '/' && *q != ',' && *q != '<') {
        if (*q >= 0x80) {
            uint32_t cp;
            uint32_t n = decode_utf8(q, limit, cp);
            if (!n) return fail(TYPE_REFINEMENT, start, q);
            if (is_unicode_space(cp)) break;
            q += n;
            continue;
        }
        if (one_of(*q, "\\^@:#%") || class_of(*q) == 36 || class_of(*q) == 38)
            return fail(TYPE_REFINEMENT, start, q);
        ++q;
    }
    // A refinement cut short at once (`/<`, `/,`) would have no name: it
    // would mold as the word `/`.
    if (q == start + 1) return fail(TYPE_REFINEMENT, start, q);
    return value(refinement, start, q);
}

Token scan_ref(P start, P limit) {
    P q = start + 1;
    for (; !delimiter(q, limit) && *q != '<'; ++q)
        if (one_of(*q, "#'\\>=,@$^")) return fail(TYPE_REF, start, q);
    return value(ref, start, q);
}

// A `(` starts a point literal when at least three bytes follow it and the
// bytes after it, up to the first that cannot be part of a number or a
// blank, stop at a comma or at the end of the input.
bool starts_point(P start, P limit) {
    P q = start + 1;
    if (limit - q < 3) return false;
    while (q < limit && (one_of(*q, "\t #+-.AEFINaefin") || digit(*q))) ++q;
    return q == limit || *q == ',';
}

Token scan_point(P start, P limit) {
    P q = start + 1;
    uint32_t count = 0;
    for (;;) {
        while (q < limit && blank(*q)) ++q;
        P s = q;
        while (q < limit && (digit(*q) || alpha(*q) || one_of(*q, "+-.#'"))) ++q;
        if (!whole(s, q, number_form)) return fail(TYPE_POINT2D, start, q);
        ++count;
        while (q < limit && blank(*q)) ++q;
        if (q < limit && *q == ',') {
            ++q;
            continue;
        }
        if (q < limit && *q == ')' && (count == 2 || count == 3)) return value(point, start, q + 1);
        return fail(TYPE_POINT2D, start, q);
    }
}

Token braced_string_piece(P from, P limit) {
    for (P q = from; q < limit; ++q) {
        if (*q == '^') {
            if (q + 1 < limit) ++q;
        } else if (*q == '{') {
            return make(brace_open, from, q + 1, q + 1);
        } else if (*q == '}') {
            return make(brace_close, from, q + 1, q + 1);
        }
    }
    return make(end_of_input, from, limit, limit);
}

bool number_start(P p, P limit) {
    uint8_t c = *p;
    uint8_t n = p + 1 < limit ? p[1] : 0;
    if (digit(c) || c == '$') return true;
    if (c == '.') return digit(n);
    if (c == '+' || c == '-')
        return digit(n) || n == '$' || (n == '.' && p + 2 < limit && digit(p[2]));
    return false;
}

Token value_token(P p, P limit, bool in_path) {
    uint8_t c = *p;
    switch (c) {
    case '[': return value(block_open, p, p + 1);
    case ']': return value(block_close, p, p + 1);
    case '(': return starts_point(p, limit) ? scan_point(p, limit) : value(paren_open, p, p + 1);
    case ')': return value(paren_close, p, p + 1);
    case '{': return value(brace_open, p, p + 1);
    case '"': return scan_quoted(p, p + 1, limit, string, TYPE_STRING);
    case ';': {
        P q = p;
        while (q < limit && *q != '\n') ++q;
        return value(comment, p, q);
    }
    case ',': return value(comma, p, p + 1);
    case '#': return scan_hash(p, limit);
    case '%': return scan_percent_sign(p, limit);
    case '@': return scan_ref(p, limit);
    case '<': return scan_tag_or_less(p, limit);
    case '/': return scan_slash(p, limit);
    case '\'':
    case ':':
        // A name that would read as a number (:.5, '+1) is no word's.
        if (p + 1 < limit && word_start(p[1]) && !number_start(p + 1, limit)) {
            Token t = scan_word(p, p + 1, limit);
            // A get-word ending a set-path: a/:i: value
            if (in_path && c == ':' && t.final == invalid && t.text_end < limit &&
                *t.text_end == ':' && delimiter(t.text_end + 1, limit))
                return value(word, p, t.text_end + 1);
            return t;
        }
        return fail(c == ':' ? TYPE_GET_WORD : TYPE_LIT_WORD, p, p + 1);
    default: break;
    }
    if (number_start(p, limit)) return scan_number(p, limit, in_path);
    if (word_start(c)) return scan_word(p, p, limit);
    return fail(-1, p, p + 1);
}

} // namespace

const uint32_t class_table[256] = {
#define ROW(i) class_array[i], class_array[i + 1], class_array[i + 2], class_array[i + 3]
#define ROW16(i) ROW(i), ROW(i + 4), ROW(i + 8), ROW(i + 12)
    ROW16(0),   ROW16(16),  ROW16(32),  ROW16(48),  ROW16(64),  ROW16(80),  ROW16(96),  ROW16(112),
    ROW16(128), ROW16(144), ROW16(160), ROW16(176), ROW16(192), ROW16(208), ROW16(224), ROW16(240),
#undef ROW16
#undef ROW
};

uint32_t decode_escape(const uint8_t* p, const uint8_t* end, uint32_t& code_point) {
    if (p >= end) return 0;
    uint8_t c = *p;
    static constexpr struct {
        char escape;
        uint8_t code;
    } simple[] = {{'/', 10}, {'-', 9},   {'@', 0},  {'"', 34},  {'{', 123}, {'}', 125},
                  {'^', 94}, {'~', 127}, {'[', 27}, {'\\', 28}, {']', 29},  {'_', 31}};
    for (auto s : simple)
        if (c == uint8_t(s.escape)) {
            code_point = s.code;
            return 1;
        }
    if (alpha(c)) {
        code_point = uint32_t((c | 0x20) - 'a' + 1);
        return 1;
    }
    // Any other character stands for itself; a control byte is no escape.
    if (c < 0x20) return 0;
    if (c != '(') return decode_utf8(p, end, code_point);
    const void* close = std::memchr(p, ')', size_t(end - p));
    if (!close) return 0;
    P body = p + 1;
    P stop = static_cast<P>(close);
    size_t n = size_t(stop - body);
    static constexpr struct {
        const char* name;
        uint8_t code;
    } names[] = {{"null", 0},  {"back", 8}, {"tab", 9},  {"line", 10},
                 {"page", 12}, {"esc", 27}, {"del", 127}};
    for (auto nm : names) {
        if (std::strlen(nm.name) != n) continue;
        size_t i = 0;
        while (i < n && (body[i] | 0x20) == uint8_t(nm.name[i])) ++i;
        if (i == n) {
            code_point = nm.code;
            return uint32_t(n + 2);
        }
    }
    if (n < 1 || n > 6) return 0;
    uint32_t cp = 0;
    for (P q = body; q < stop; ++q) {
        if (!hex_digit(*q)) return 0;
        cp = cp * 16 + uint32_t(digit(*q) ? *q - '0' : (*q | 0x20) - 'a' + 10);
    }
    if (cp > 0x10FFFF) return 0;
    code_point = cp;
    return uint32_t(n + 2);
}

Token next_token(const State& state, const uint8_t* from) {
    P limit = state.input_end;
    if (state.entry_state == entry::braced_string) return braced_string_piece(from, limit);
    P p = from;
    if (state.entry_state == entry::path) {
        if (p >= limit || *p == '/' || *p == ',' ||
            (*p != '(' && *p != '"' && delimiter(p, limit))) {
            Token t = fail(TYPE_PATH, p, p);
            t.error_at_opener = true;
            return t;
        }
        // A quoted string or a character is an element too, and a `/`
        // after it goes on with the path.
        Token t = value_token(p, limit, true);
        if (t.final >= string && t.text_end == t.end && t.end < limit && *t.end == '/') {
            t.element = t.final;
            t.final = path_start;
            t.end += 1;
        }
        return t;
    }
    for (;;) {
        while (p < limit && (class_of(*p) <= 1 || class_of(*p) == 35)) ++p;
        uint32_t cp;
        uint32_t n = p < limit && *p >= 0xC2 ? decode_utf8(p, limit, cp) : 0;
        if (!n || !is_unicode_space(cp)) break;
        p += n;
    }
    if (p >= limit || *p == 0) return make(end_of_input, p, p, limit);
    return value_token(p, limit, false);
}

} // namespace kiv::lexer
