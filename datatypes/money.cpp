#include "datatypes/money.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/system_object.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/scan_number.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::money {

namespace {

using u128 = unsigned __int128;

constexpr uint32_t digit_count = 22;
constexpr uint32_t fraction_digits = 5;
constexpr uint64_t scale = 100000; // hundred-thousandths in a unit
// 10^22: every amount's count of hundred-thousandths lies below it.
constexpr u128 limit = u128(10000000000000000000ull) * 1000;

// Operation codes of the arithmetic core.
enum Op : int32_t { add, subtract, multiply, divide, remainder };

[[noreturn]] void script_error(uint32_t id, const Cell* arg1 = nullptr,
                               const Cell* arg2 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2);
}

[[noreturn]] void type_limit() {
    Cell type = datatype::value(TYPE_MONEY);
    script_error(err::script::type_limit, &type);
}

[[noreturn]] void invalid_type(uint32_t type) {
    Cell datatype = datatype::value(type);
    script_error(err::script::invalid_type, &datatype);
}

// A money value taken apart.
struct Amount {
    u128 units = 0; // hundred-thousandths
    bool negative = false;
    uint32_t currency = 0;
};

// The digits are read and written as two halves of 11 digits, each of
// which fits 64 bits, so that no digit needs a 128-bit division.
constexpr uint64_t half = 100000000000; // 10^11

// The packed byte of two digits 0-99, and the number of a packed byte.
constexpr auto packed_of = [] {
    std::array<uint8_t, 100> t{};
    for (uint32_t n = 0; n < 100; ++n) t[n] = uint8_t((n / 10) << 4 | n % 10);
    return t;
}();
constexpr auto number_of = [] {
    std::array<uint8_t, 256> t{};
    for (uint32_t b = 0; b < 256; ++b) t[b] = uint8_t((b >> 4) * 10 + (b & 15));
    return t;
}();

// The six digits of bytes 5-7, then the sixteen of bytes 8-15 (words 2
// and 3) folded in place: nibble pairs to bytes 0-99, byte pairs to
// 0-9999, and so on up to one 64-bit number.
Amount decode(const Cell& c) {
    uint64_t high = uint64_t(number_of[c.w1 >> 8 & 255]) * 10000 +
                    number_of[c.w1 >> 16 & 255] * 100 + number_of[c.w1 >> 24];
    uint64_t x = __builtin_bswap64(uint64_t(c.w3) << 32 | c.w2);
    x = (x & 0x0F0F0F0F0F0F0F0Full) + (x >> 4 & 0x0F0F0F0F0F0F0F0Full) * 10;
    x = (x & 0x00FF00FF00FF00FFull) + (x >> 8 & 0x00FF00FF00FF00FFull) * 100;
    x = (x & 0x0000FFFF0000FFFFull) + (x >> 16 & 0x0000FFFF0000FFFFull) * 10000;
    x = (x & 0xFFFFFFFFull) + (x >> 32) * 100000000;
    Amount a;
    a.units = u128(high) * 10000000000000000ull + x;
    a.negative = (c.header & sign_bit) != 0;
    a.currency = c.w1 & 255;
    return a;
}

// Writes a whole money cell; a zero amount has its sign cleared, an
// amount beyond 17 integer digits raises type-limit.
Cell* encode(Cell& c, const Amount& a) {
    if (a.units >= limit) type_limit();
    // units / 10^11 from a floating estimate corrected by one, which
    // spares a call of the 128-bit division.
    uint64_t high = uint64_t(double(a.units) / double(half));
    int64_t rest = int64_t(a.units - u128(high) * half);
    if (rest < 0) --high, rest += int64_t(half);
    if (rest >= int64_t(half)) ++high, rest -= int64_t(half);
    uint64_t low = uint64_t(rest);
    // Four groups of digits on byte boundaries (4, 6, 6 and 6 digits),
    // each turned into bytes apart, so that the divisions run side by side.
    uint64_t millions = high * 100000 + low / 1000000; // units / 10^6
    uint32_t g3 = uint32_t(low % 1000000), g2 = uint32_t(millions % 1000000);
    uint64_t g01 = millions / 1000000;
    uint32_t g1 = uint32_t(g01 % 1000000), g0 = uint32_t(g01 / 1000000);
    uint32_t b[16];
    auto six = [&](uint32_t g, uint32_t at) {
        b[at] = packed_of[g / 10000];
        b[at + 1] = packed_of[g / 100 % 100];
        b[at + 2] = packed_of[g % 100];
    };
    b[5] = packed_of[g0 / 100];
    b[6] = packed_of[g0 % 100];
    six(g1, 7);
    six(g2, 10);
    six(g3, 13);
    c.header = TYPE_MONEY | (a.negative && a.units ? sign_bit : 0);
    c.w1 = a.currency | b[5] << 8 | b[6] << 16 | b[7] << 24;
    c.w2 = b[8] | b[9] << 8 | b[10] << 16 | b[11] << 24;
    c.w3 = b[12] | b[13] << 8 | b[14] << 16 | b[15] << 24;
    return &c;
}

// The 22 digits of an amount, most significant first.
void digits_of(u128 units, char out[digit_count]) {
    for (uint32_t i = digit_count; i-- > 0;) {
        out[i] = char('0' + int(units % 10));
        units /= 10;
    }
}

// ------------------------------------------------------------ currencies

const Cell* currency_list() {
    const Cell* list = system_object::find({"locale", "currencies", "list"});
    return list && cell::type_of(*list) == TYPE_BLOCK ? list : nullptr;
}

// The 1-based position of a currency word in the list, 0 when absent; past
// the 255 positions a cell can hold raises bad-denom.
uint32_t currency_index(uint32_t symbol, const Cell& named) {
    const Cell* list = currency_list();
    if (!list) return 0;
    uint32_t canonical = symbol::resolve(symbol);
    const Cell* words = block::rs_head(*list);
    int32_t n = block::rs_length(*list);
    for (int32_t i = 0; i < n; ++i) {
        if (cell::type_of(words[i]) != TYPE_WORD || symbol::resolve(words[i].w2) != canonical)
            continue;
        if (i >= 255) script_error(err::script::bad_denom, &named);
        return uint32_t(i + 1);
    }
    return 0;
}

// The word of a currency index, or null when the list has no such entry.
const Cell* currency_word(uint32_t index) {
    const Cell* list = currency_list();
    if (!list || index == 0 || int32_t(index) > block::rs_length(*list)) return nullptr;
    return &block::rs_head(*list)[index - 1];
}

// ------------------------------------------------------------ text

// Integer and fraction digit texts into units; false beyond the range.
bool units_of(std::string_view whole, std::string_view fraction, u128& units) {
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    if (whole.size() > digit_count - fraction_digits || fraction.size() > fraction_digits)
        return false;
    units = 0;
    for (char c : whole) units = units * 10 + uint32_t(c - '0');
    for (uint32_t i = 0; i < fraction_digits; ++i)
        units = units * 10 + (i < fraction.size() ? uint32_t(fraction[i] - '0') : 0);
    return true;
}

int32_t money_digits() {
    const Cell* digits = system_object::find({"options", "money-digits"});
    if (!digits || cell::type_of(*digits) != TYPE_INTEGER) return 2;
    return std::clamp(integer::get(*digits), 0, int32_t(fraction_digits));
}

// [-][CCC]$digits[.fraction]: form groups the integer digits by three.
// The sign is written only when a digit written is not zero: an amount cut
// to zero (-$0.001 with two fraction digits) is written $0.00, which reads
// back as the zero it shows.
int32_t write(const Cell& value, Cell& buffer, int32_t part, bool group, int32_t fraction) {
    Amount a = decode(value);
    char d[digit_count];
    digits_of(a.units, d);
    char* written_end = d + digit_count - fraction_digits + fraction;
    bool shows_digit = std::any_of(d, written_end, [](char c) { return c != '0'; });
    std::string text;
    if (a.negative && shows_digit) text += '-';
    if (const Cell* code = currency_word(a.currency)) text += symbol::c_name(code->w2);
    text += '$';
    uint32_t first = 0;
    while (first < digit_count - fraction_digits - 1 && d[first] == '0') ++first;
    for (uint32_t i = first; i < digit_count - fraction_digits; ++i) {
        if (group && i > first && (digit_count - fraction_digits - i) % 3 == 0) text += '\'';
        text += d[i];
    }
    if (fraction > 0) {
        text += '.';
        text.append(d + digit_count - fraction_digits, size_t(fraction));
    }
    string::append_c_string(buffer, text.c_str());
    return part - int32_t(text.size());
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    return write(*value, *buffer, part, true, money_digits());
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part,
             int32_t) {
    return write(*value, *buffer, part, false, all ? int32_t(fraction_digits) : money_digits());
}

// ------------------------------------------------------------ operands

Amount amount_of(int32_t value) {
    Amount a;
    a.negative = value < 0;
    a.units = u128(value < 0 ? -int64_t(value) : int64_t(value)) * scale;
    return a;
}

// An operand of the arithmetic as an amount.
Amount operand(const Cell& value) {
    Cell converted;
    switch (cell::type_of(value)) {
    case TYPE_MONEY: return decode(value);
    case TYPE_INTEGER: return amount_of(integer::get(value));
    case TYPE_FLOAT:
    case TYPE_PERCENT: return decode(*from_float(converted, cell::get_float(value)));
    default: invalid_type(cell::type_of(value));
    }
}

// Signed sum of two amounts.
Amount sum(Amount a, Amount b) {
    if (a.negative == b.negative) {
        a.units += b.units;
        return a;
    }
    if (a.units >= b.units) {
        a.units -= b.units;
        return a;
    }
    b.units -= a.units;
    return b;
}

// -1, 0 or 1 by signed amount.
int32_t compare_amounts(const Amount& a, const Amount& b) {
    if (a.units == 0 && b.units == 0) return 0;
    if (a.negative != b.negative) return a.negative ? -1 : 1;
    int32_t by_magnitude = (a.units > b.units) - (a.units < b.units);
    return a.negative ? -by_magnitude : by_magnitude;
}

Amount compute(Amount a, Amount b, int32_t op) {
    switch (op) {
    case add: return sum(a, b);
    case subtract: b.negative = !b.negative; return sum(a, b);
    case multiply: {
        u128 product;
        if (__builtin_mul_overflow(a.units, b.units, &product)) type_limit();
        a.units = product / scale;
        a.negative = a.negative != b.negative;
        return a;
    }
    case divide:
        if (b.units == 0) runtime::fire_error(runtime::Category::math, err::math::zero_divide);
        // Only a true quotient past the range overflows.
        a.units = a.units * scale / b.units;
        a.negative = a.negative != b.negative;
        return a;
    case remainder:
        if (b.units == 0) runtime::fire_error(runtime::Category::math, err::math::zero_divide);
        a.units %= b.units;
        return a;
    default: invalid_type(TYPE_MONEY);
    }
}

} // namespace

// ------------------------------------------------------------ services

bool from_parts(const lexer::MoneyParts& parts, Cell& out) {
    Amount a;
    a.negative = parts.negative;
    if (parts.currency[0]) {
        uint32_t symbol = symbol::intern_bytes(reinterpret_cast<const uint8_t*>(parts.currency), 3);
        Cell named{TYPE_WORD, 0, symbol, 0};
        a.currency = currency_index(symbol, named);
        if (!a.currency) return false;
    }
    if (!units_of(parts.integer_digits, parts.fraction_digits, a.units)) return false;
    encode(out, a);
    return true;
}

Cell* from_integer(Cell& out, int32_t value) {
    return encode(out, amount_of(value));
}

// The shortest digits that read back as the same double, taken by
// position: digits past the fifth fraction digit are dropped.
Cell* from_float(Cell& out, double value) {
    char text[400];
    auto result = std::isfinite(value) ? std::to_chars(text, text + sizeof text, std::fabs(value),
                                                       std::chars_format::fixed)
                                       : std::to_chars_result{text, std::errc::value_too_large};
    std::string_view digits(text, size_t(result.ptr - text));
    size_t point = digits.find('.');
    std::string_view whole = digits.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : digits.substr(point + 1);
    if (fraction.size() > fraction_digits) fraction = fraction.substr(0, fraction_digits);
    Amount a;
    if (result.ec != std::errc{} || !units_of(whole, fraction, a.units)) {
        Cell type = datatype::value(TYPE_MONEY);
        Cell number;
        float_::make_at(number, value);
        script_error(err::script::bad_make_arg, &type, &number);
    }
    a.negative = value < 0;
    return encode(out, a);
}

int32_t to_integer(const Cell& money) {
    Amount a = decode(money);
    u128 whole = a.units / scale;
    if (whole > (a.negative ? 2147483648u : 2147483647u)) {
        Cell type = datatype::value(TYPE_INTEGER);
        script_error(err::script::type_limit, &type);
    }
    int64_t value = int64_t(whole);
    return int32_t(a.negative ? -value : value);
}

double to_float(const Cell& money) {
    Amount a = decode(money);
    char d[digit_count];
    digits_of(a.units, d);
    std::string text(d, digit_count - fraction_digits);
    text += '.';
    text.append(d + digit_count - fraction_digits, fraction_digits);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return a.negative ? -value : value;
}

int32_t sign(const Cell& money) {
    Amount a = decode(money);
    return a.units == 0 ? 0 : a.negative ? -1 : 1;
}

void do_math(int32_t op) {
    Cell* args = frame_args();
    uint32_t left = cell::type_of(args[0]), right = cell::type_of(args[1]);
    if (left == TYPE_MONEY && right == TYPE_MONEY && op == multiply) invalid_type(TYPE_MONEY);
    if (left != TYPE_MONEY && (op == divide || op == remainder)) invalid_type(TYPE_MONEY);
    if (op > remainder) invalid_type(TYPE_MONEY);
    Amount a = operand(args[0]), b = operand(args[1]);
    if (a.currency && b.currency && a.currency != b.currency)
        script_error(err::script::wrong_denom, &args[0], &args[1]);
    uint32_t currency = b.currency ? b.currency : a.currency;
    Amount result = compute(a, b, op);
    result.currency = currency;
    encode(args[0], result);
    if (op == divide && left == TYPE_MONEY && right == TYPE_MONEY)
        float_::make_at(args[0], to_float(args[0]));
}

namespace {

constexpr int32_t equal = 0, not_equal = 1, strict_equal = 2, lesser = 3, greater_equal = 6,
                  sort_first = 7, sort_second = 8, same = 9, find = 12;

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    uint32_t type = cell::type_of(*value2);
    bool exact = op == strict_equal || op == same || op == find;
    if (exact && type != TYPE_MONEY) return 1;
    Amount a = decode(*value1), b;
    Cell converted;
    switch (type) {
    case TYPE_MONEY: {
        b = decode(*value2);
        if (op == sort_first || op == sort_second) {
            if (a.currency != b.currency) {
                if (!a.currency || !b.currency) return a.currency ? 1 : -1;
                int32_t by_word = std::strcmp(symbol::c_name(currency_word(a.currency)->w2),
                                              symbol::c_name(currency_word(b.currency)->w2));
                return (by_word > 0) - (by_word < 0);
            }
        } else if (a.currency && b.currency && a.currency != b.currency) {
            if (op >= lesser && op <= greater_equal)
                script_error(err::script::wrong_denom, value1, value2);
            return 1;
        } else if (exact && a.currency != b.currency) {
            // Both ways alike, so that hash tables find a key whichever
            // side the probe compares from: USD$1 and $1 are two keys.
            return 1;
        }
        break;
    }
    case TYPE_INTEGER: b = decode(*from_integer(converted, integer::get(*value2))); break;
    case TYPE_FLOAT: {
        double f = cell::get_float(*value2);
        bool ordering = op != equal && op != not_equal;
        if (std::isnan(f)) return ordering ? -2 : 1;
        // Beyond the range, or too small to be a money amount but not zero:
        // never equal, ordered by the float's sign.
        if (std::fabs(f) >= 1e17 || (f != 0.0 && std::fabs(f) < 1e-5)) {
            if (!ordering) return 1;
            int32_t own = sign(*value1);
            if (std::fabs(f) >= 1e17 || own == 0) return f > 0 ? -1 : 1;
            return own;
        }
        b = decode(*from_float(converted, f));
        break;
    }
    default: return -2;
    }
    return compare_amounts(a, b);
}

Cell* make_from(Cell* proto, const Cell* spec, bool make) {
    Cell type = datatype::value(TYPE_MONEY);
    switch (cell::type_of(*spec)) {
    case TYPE_MONEY: *proto = *spec; return proto;
    case TYPE_INTEGER: return from_integer(*proto, integer::get(*spec));
    case TYPE_FLOAT: return from_float(*proto, cell::get_float(*spec));
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: {
        // The whole text must be one money literal.
        Buffer* b = memory::buffer_of(spec->w2);
        uint32_t head = string::head_index(*spec);
        lexer::MoneyParts parts;
        int32_t error;
        lexer::scan_money(b->head + size_t(head) * b->unit(), int32_t(string::length(*spec)),
                          int32_t(b->unit()), parts, error);
        Cell result;
        if (error != lexer::scan_ok || !from_parts(parts, result))
            script_error(err::script::bad_to_arg, &type, spec);
        *proto = result;
        return proto;
    }
    case TYPE_WORD:
        if (!make) break;
        {
            Amount a;
            a.currency = currency_index(spec->w2, *spec);
            if (!a.currency) script_error(err::script::bad_make_arg, &type, spec);
            return encode(*proto, a);
        }
    case TYPE_BLOCK: {
        if (!make) break;
        // [currency] amount [hundred-thousandths]
        const Cell* items = block::rs_head(*spec);
        int32_t n = block::rs_length(*spec);
        int32_t i = 0;
        uint32_t currency = 0;
        if (n > 0 && cell::type_of(items[0]) == TYPE_WORD) {
            currency = currency_index(items[0].w2, items[0]);
            if (!currency) script_error(err::script::bad_make_arg, &type, spec);
            ++i;
        }
        if (i >= n || n - i > 2) script_error(err::script::bad_make_arg, &type, spec);
        uint32_t amount_type = cell::type_of(items[i]);
        if (amount_type != TYPE_INTEGER && amount_type != TYPE_FLOAT)
            script_error(err::script::bad_make_arg, &type, spec);
        Cell amount_cell;
        Amount a = decode(amount_type == TYPE_INTEGER
                              ? *from_integer(amount_cell, integer::get(items[i]))
                              : *from_float(amount_cell, cell::get_float(items[i])));
        if (i + 1 < n) {
            const Cell& extra = items[i + 1];
            if (cell::type_of(extra) != TYPE_INTEGER || integer::get(extra) < 0 ||
                integer::get(extra) >= int32_t(scale))
                script_error(err::script::bad_make_arg, &type, spec);
            a = sum(a, Amount{u128(integer::get(extra)), false, 0});
        }
        a.currency = currency;
        return encode(*proto, a);
    }
    default: break;
    }
    script_error(err::script::bad_to_arg, &type, spec);
}

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    return make_from(proto, spec, true);
}

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    return make_from(proto, spec, false);
}

// ------------------------------------------------------------ paths

// code (1): the currency word or none; amount (2): the value without it.
Cell field(const Cell& value, int32_t index) {
    if (index == 1) {
        const Cell* code = currency_word(decode(value).currency);
        return code ? *code : Cell{TYPE_NONE, 0, 0, 0};
    }
    Amount a = decode(value);
    a.currency = 0;
    Cell out;
    encode(out, a);
    return out;
}

int32_t field_of_word(const Cell& word) {
    uint32_t canonical = symbol::resolve(word.w2);
    if (canonical == symbol::resolve(words::sym<"code">())) return 1;
    if (canonical == symbol::resolve(words::sym<"amount">())) return 2;
    return -1;
}

bool is_word(const Cell& c) {
    uint32_t type = cell::type_of(c);
    return type >= TYPE_WORD && type <= TYPE_GET_WORD;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool, bool) {
    int32_t index = -1;
    if (is_word(*element)) {
        index = field_of_word(*element);
        if (index < 0) script_error(err::script::invalid_path, path, element);
    } else if (cell::type_of(*element) == TYPE_INTEGER) {
        index = integer::get(*element);
        if (index < 1 || index > 2) script_error(err::script::out_of_range, element);
    } else {
        script_error(err::script::invalid_path, path, element);
    }
    if (value) script_error(err::script::bad_path_set, path, element);
    Cell* pushed = stack::push_raw();
    *pushed = field(*parent, index);
    return pushed;
}

Cell* pick(Cell* value, int32_t index, const Cell* index_cell) {
    if (index_cell && is_word(*index_cell)) index = field_of_word(*index_cell);
    if (index < 1 || index > 2) {
        Cell position{TYPE_INTEGER, 0, uint32_t(index), 0};
        script_error(err::script::out_of_range, index_cell ? index_cell : &position);
    }
    *value = field(*value, index);
    return value;
}

// ------------------------------------------------------------ actions

void add_() {
    do_math(add);
}
void subtract_() {
    do_math(subtract);
}
void multiply_() {
    do_math(multiply);
}
void divide_() {
    do_math(divide);
}
void remainder_() {
    do_math(remainder);
}

void absolute() {
    Cell* args = frame_args();
    args[0].header &= ~sign_bit;
}

Cell* negate(Cell* value) {
    Amount a = decode(*value);
    a.negative = !a.negative;
    return encode(*value, a);
}

// By the last integer digit.
bool even(const Cell* value) {
    return (decode(*value).units / scale) % 2 == 0;
}
bool odd(const Cell* value) {
    return !even(value);
}

Cell* round(Cell* value, const Cell* scale_cell, bool even_, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
    Amount a = decode(*value);
    Amount s{scale, false, 0};
    if (scale_cell) {
        uint32_t type = cell::type_of(*scale_cell);
        if (type != TYPE_MONEY && type != TYPE_INTEGER && type != TYPE_FLOAT) {
            Cell word = word::load("round");
            Cell datatype = datatype::value(type);
            script_error(err::script::not_related, &word, &datatype);
        }
        s = operand(*scale_cell);
    }
    if (s.units == 0 || a.units == 0) return value;
    u128 r = a.units % s.units;
    if (r == 0) return value;
    u128 toward = a.units - r, away = a.units + (s.units - r);
    bool positive = !a.negative;
    bool half = r * 2 == s.units;
    bool up;
    if (down)
        up = false;
    else if (floor)
        up = !positive;
    else if (ceiling)
        up = positive;
    else if (half && even_)
        up = (toward / s.units) % 2 == 1;
    else if (half && half_down)
        up = false;
    else if (half && half_ceiling)
        up = positive;
    else
        up = r * 2 >= s.units;
    a.units = up ? away : toward;
    return encode(*value, a);
}

// Draws digits below the value's own, from its first significant digit:
// while the drawn digits equal the original ones each next digit is drawn
// up to the original digit (an equal draw kept only when two further draws
// agree), and once one came out below, the rest are free.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->w1 ^ value->w2 ^ value->w3 ^ (value->header & sign_bit)));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    Amount a = decode(*value);
    char d[digit_count];
    digits_of(a.units, d);
    uint32_t i = 0;
    while (i < digit_count && d[i] == '0') ++i;
    bool below = false;
    u128 drawn = 0;
    for (; i < digit_count; ++i) {
        int32_t original = d[i] - '0', g;
        if (below) {
            g = random::int_(secure, 10);
        } else {
            for (;;) {
                g = random::int_(secure, original + 1);
                if (g < original) {
                    below = true;
                    break;
                }
                if (random::int_(secure, 1000) == random::int_(secure, 1000)) break;
            }
        }
        drawn = drawn * 10 + uint32_t(g);
    }
    a.units = drawn;
    return encode(*value, a);
}

} // namespace

int32_t compare_number(const Cell& number, const Cell& money, int32_t op) {
    // The money side answers from its own side: mirror the order.
    constexpr int32_t mirrored[] = {0, 1, 2, 5, 6, 3, 4, 8, 7, 9, 10, 11, 12};
    int32_t result = compare(&money, &number, op >= 0 && op <= 12 ? mirrored[op] : op);
    return result == -2 ? -2 : -result;
}

Cell* as_money(Cell& out, const Cell& currency, const Cell& amount) {
    uint32_t index = currency_index(currency.w2, currency);
    if (!index) script_error(err::script::bad_denom, &currency);
    Amount a = operand(amount);
    a.currency = index;
    return encode(out, a);
}

void init() {
    datatype::register_type(TYPE_MONEY, 0, "money!",
                            {{Slot::make, make},
                             {Slot::random, random},
                             {Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::compare, compare},
                             {Slot::absolute, absolute},
                             {Slot::add, add_},
                             {Slot::divide, divide_},
                             {Slot::multiply, multiply_},
                             {Slot::negate, negate},
                             {Slot::remainder, remainder_},
                             {Slot::round, round},
                             {Slot::subtract, subtract_},
                             {Slot::even_q, even},
                             {Slot::odd_q, odd},
                             {Slot::pick, pick}});
}

} // namespace kiv::money
