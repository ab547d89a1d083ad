#include "datatypes/time.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::time_ {

namespace {

Cell word_cell(const char* name) {
    return Cell{TYPE_WORD, 0, symbol::intern(name), 0};
}

[[noreturn]] void script_error(uint32_t id, const Cell* arg1, const Cell* arg2 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2);
}

// script `not-related`: the action cannot take a `type` operand here.
[[noreturn]] void not_related(const char* action, uint32_t type) {
    Cell word = word_cell(action);
    Cell datatype = datatype::value(type);
    script_error(err::script::not_related, &word, &datatype);
}

bool is_word(const Cell& c) {
    uint32_t type = cell::type_of(c);
    return type >= TYPE_WORD && type <= TYPE_GET_WORD;
}

// The number of an integer! or float! cell.
double number_of(const Cell& c) {
    return cell::type_of(c) == TYPE_INTEGER ? double(integer::get(c)) : cell::get_float(c);
}

} // namespace

Cell* make_at(double seconds, Cell& c) {
    cell::set_type(c, TYPE_TIME);
    cell::put_float(c, seconds);
    return &c;
}

Cell* push(double seconds) {
    return float_::make_typed_at(*stack::push_raw(), TYPE_TIME, seconds);
}

Cell* make_in(Cell& block, double seconds) {
    return float_::make_typed_at(*cell::alloc_tail(block), TYPE_TIME, seconds);
}

double in_range(double seconds) {
    if (!(std::fabs(seconds) < seconds_limit))
        runtime::fire_error(runtime::Category::math, err::math::overflow);
    return seconds;
}

int32_t hours(double seconds) {
    double whole = std::trunc(seconds / seconds_per_hour);
    if (!(whole >= -2147483648.0 && whole <= 2147483647.0))
        runtime::fire_error(runtime::Category::math, err::math::overflow);
    return int32_t(whole);
}

int32_t minutes(double seconds) {
    double m = std::floor(std::fmod(std::fabs(seconds), seconds_per_hour) / seconds_per_minute);
    return std::isnan(m) ? 0 : int32_t(m);
}

Cell* get_component(const Cell& time, int32_t index) {
    double x = cell::get_float(time);
    switch (index) {
    case hour: return integer::push(hours(x));
    case minute: return integer::push(minutes(x));
    default: return float_::push(std::fmod(x, seconds_per_minute));
    }
}

int32_t component_index(const Cell& word, const Cell* parent) {
    static constexpr const char* names[] = {"hour", "minute", "second"};
    uint32_t canonical = symbol::resolve(word.w2);
    for (int32_t i = 0; i < 3; ++i)
        if (symbol::resolve(symbol::intern(names[i])) == canonical) return i + 1;
    if (parent && cell::type_of(*parent) == TYPE_TIME)
        script_error(err::script::cannot_use, &word, parent);
    return -1;
}

int32_t form_into(double x, Cell& output, int32_t limit) {
    // Hours may run to hundreds of digits; the seconds text is short.
    char text[400];
    char* out = text;
    char* const end = text + sizeof text;
    if (!std::isfinite(x)) {
        const char* special = float_::form_float(x, float_::Mode::time_seconds);
        out = std::strcpy(text, special) + std::strlen(special);
    } else {
        // A time shorter than the microsecond the text shows is written
        // as zero, without its sign, so that the text reads back as it shows.
        if (x < 0.0) {
            if (-x >= microsecond) *out++ = '-';
            x = -x;
        }
        // Seconds that the text rounds up to 60 carry into the minute.
        double s = std::fmod(x, seconds_per_minute);
        const char* seconds = "00";
        if (s >= microsecond) {
            seconds = float_::form_float(s, float_::Mode::time_seconds);
            if (std::strcmp(seconds, "60") == 0) {
                x = x - s + seconds_per_minute;
                seconds = "00";
            }
        }
        // Hours as the exact integer of the double, never through a 32-bit
        // integer, so that huge times write all their digits. The whole
        // hours are taken off exactly (a division could round up into the
        // next hour), so that the text reads back as the same seconds.
        double whole_hours = (x - std::fmod(x, seconds_per_hour)) / seconds_per_hour;
        out = std::to_chars(out, end, whole_hours, std::chars_format::fixed).ptr;
        *out++ = ':';
        int32_t m = minutes(x);
        if (m < 10) *out++ = '0';
        out = std::to_chars(out, end, m).ptr;
        *out++ = ':';
        if (seconds[1] == '\0' || seconds[1] == '.') *out++ = '0';
        size_t n = std::strlen(seconds);
        std::memcpy(out, seconds, n);
        out += n;
    }
    uint32_t written = uint32_t(out - text);
    string::append_bytes(output, reinterpret_cast<const uint8_t*>(text), written);
    return limit - int32_t(written);
}

void bad_make(const Cell& value) {
    Cell type = datatype::value(TYPE_TIME);
    script_error(err::script::bad_to_arg, &type, &value);
}

namespace {

// [hours], [hours minutes] or [hours minutes seconds]: only the hours may
// be negative, and a negative hour count makes the whole time negative.
double from_block(const Cell& block) {
    int32_t count = block::rs_length(block);
    if (count > 3) bad_make(block);
    const Cell* values = block::rs_head(block);
    double parts[3] = {0, 0, 0};
    for (int32_t i = 0; i < count; ++i) {
        uint32_t type = cell::type_of(values[i]);
        if (type != TYPE_INTEGER && !(i == 2 && type == TYPE_FLOAT)) bad_make(block);
        parts[i] = number_of(values[i]);
        if (i > 0 && parts[i] < 0) bad_make(block);
    }
    bool negative = parts[0] < 0;
    double total =
        std::fabs(parts[0]) * seconds_per_hour + parts[1] * seconds_per_minute + parts[2];
    return negative ? -total : total;
}

// Text is read as one value, which must be a time!.
double from_text(const Cell& text) {
    Rooted<Cell> value;
    block::hooks.load_text(*value, text, true);
    if (cell::type_of(*value) != TYPE_TIME) bad_make(text);
    return cell::get_float(*value);
}

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    double seconds;
    switch (cell::type_of(*spec)) {
    case TYPE_TIME:
    case TYPE_FLOAT:
    case TYPE_PERCENT: seconds = cell::get_float(*spec); break;
    case TYPE_INTEGER: seconds = integer::get(*spec); break;
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: seconds = from_block(*spec); break;
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: seconds = from_text(*spec); break;
    default: bad_make(*spec);
    }
    return make_at(in_range(seconds), *proto);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    return form_into(cell::get_float(*value), *buffer, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

// The component a path element or pick index names.
int32_t index_of(const Cell& element, const Cell& parent) {
    if (cell::type_of(element) == TYPE_INTEGER) return integer::get(element);
    if (is_word(element)) return component_index(element, &parent);
    return -1;
}

// Writes one component. A negative time keeps its sign: minutes and
// seconds replace the components of its magnitude (the seconds by their
// magnitude, as they read signed), and the hours carry their own sign,
// as they read.
double set_component(double x, int32_t index, const Cell& value) {
    uint32_t type = cell::type_of(value);
    if (type != TYPE_INTEGER && !(index == second && type == TYPE_FLOAT))
        script_error(err::script::invalid_arg, &value);
    double v = number_of(value);
    bool negative = x < 0.0;
    double m = std::fabs(x);
    double result;
    switch (index) {
    case hour: {
        double rest = std::fmod(m, seconds_per_hour);
        negative = v < 0.0 || (v == 0.0 && negative);
        result = std::fabs(v) * seconds_per_hour + rest;
        break;
    }
    case minute:
        result = m + (v - std::floor(std::fmod(m, seconds_per_hour) / seconds_per_minute)) *
                         seconds_per_minute;
        break;
    default:
        if (negative) v = std::fabs(v);
        result = m + (v - std::fmod(m, seconds_per_minute));
        break;
    }
    return negative ? -result : result;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool, bool) {
    int32_t index = index_of(*element, *parent);
    if (index < hour || index > second) script_error(err::script::invalid_path, path, element);
    if (value) make_at(set_component(cell::get_float(*parent), index, *value), *parent);
    return get_component(*parent, index);
}

Cell* pick(Cell* value, int32_t index, const Cell* index_cell) {
    if (index_cell && is_word(*index_cell)) index = component_index(*index_cell, value);
    if (index < hour || index > second) {
        Cell position{TYPE_INTEGER, 0, uint32_t(index), 0};
        script_error(err::script::out_of_range, index_cell ? index_cell : &position);
    }
    return get_component(*value, index);
}

// Arithmetic runs in float!'s core; time! adds the cases below.
void add() {
    Cell* args = frame_args();
    // time + date: the date adds the time. Until date! registers, float!'s
    // arithmetic refuses the date operand.
    auto date_add = datatype::get<Slot::add>(TYPE_DATE);
    if (cell::type_of(args[1]) == TYPE_DATE && date_add) {
        std::swap(args[0], args[1]);
        date_add();
        return;
    }
    float_::do_math(integer::add);
}

void subtract() {
    if (cell::type_of(frame_args()[1]) == TYPE_DATE) not_related("subtract", TYPE_TIME);
    float_::do_math(integer::subtract);
}

void multiply() {
    if (cell::type_of(frame_args()[1]) == TYPE_TIME) not_related("multiply", TYPE_TIME);
    float_::do_math(integer::multiply);
}

// time / time is the float! ratio; time / number stays a time!.
void divide() {
    Cell* args = frame_args();
    bool ratio = cell::type_of(args[1]) == TYPE_TIME;
    float_::do_math(integer::divide);
    if (ratio) cell::set_type(args[0], TYPE_FLOAT);
}

// float!'s rounding with every refinement, the result kept a time!. An
// integer! scale is passed as the equal float so that the rounded seconds
// never go through the 32-bit integer range.
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
    if (scale && cell::type_of(*scale) == TYPE_MONEY) not_related("round", TYPE_MONEY);
    Cell float_scale;
    if (scale && cell::type_of(*scale) == TYPE_INTEGER)
        scale = float_::make_at(float_scale, number_of(*scale));
    float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
    cell::set_type(*value, TYPE_TIME);
    in_range(cell::get_float(*value));
    return value;
}

// The parity of the whole seconds of the minute (0 even, 1 odd, NaN for
// a time that is not finite, which is neither), after a nudge away from
// zero that carries values a hair below a whole second up to it.
double seconds_parity(const Cell* value) {
    double x = cell::get_float(*value);
    x = x >= 0.0 ? x + microsecond : x - microsecond;
    return std::fabs(std::fmod(std::trunc(std::fmod(x, seconds_per_minute)), 2.0));
}

bool even(const Cell* value) {
    return seconds_parity(value) == 0.0;
}
bool odd(const Cell* value) {
    return seconds_parity(value) == 1.0;
}

} // namespace

void init() {
    using namespace action;
    datatype::register_type(TYPE_TIME, TYPE_FLOAT, "time!",
                            {{Slot::make, make},
                             {Slot::to, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::add, add},
                             {Slot::divide, divide},
                             {Slot::multiply, multiply},
                             {Slot::power, no},
                             {Slot::round, round},
                             {Slot::subtract, subtract},
                             {Slot::even_q, even},
                             {Slot::odd_q, odd},
                             {Slot::pick, pick}});
}

} // namespace kiv::time_
