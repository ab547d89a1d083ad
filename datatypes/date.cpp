#include "datatypes/date.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/system_object.h"
#include "datatypes/time.h"
#include "datatypes/words.h"
#include "runtime/calendar.h"
#include "runtime/errors.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::date {

namespace {

using calendar::seconds_per_day;

[[noreturn]] void script_error(uint32_t id, const Cell* arg1 = nullptr,
                               const Cell* arg2 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2);
}

[[noreturn]] void type_limit() {
    Cell type = datatype::value(TYPE_DATE);
    script_error(err::script::type_limit, &type);
}

[[noreturn]] void bad_make(const Cell& value) {
    Cell type = datatype::value(TYPE_DATE);
    script_error(err::script::bad_to_arg, &type, &value);
}

[[noreturn]] void not_related(const char* action) {
    Cell word{TYPE_WORD, 0, symbol::intern(action), 0};
    Cell type = datatype::value(TYPE_DATE);
    script_error(err::script::not_related, &word, &type);
}

// A date taken apart: its day number (of the local day), the stored
// UTC-based time, the zone bits and the time flag.
struct Parts {
    int64_t day;
    double time;
    uint32_t zone;
    bool has_time;
};

Parts unpack(const Cell& c) {
    return {calendar::day_number(c.w1), cell::get_float(c), c.w1 & calendar::zone_mask,
            calendar::has_time(c.w1)};
}

// Carries whole days between the time and the day so that the local time
// lies in 0-24 hours, then packs the cell; a year beyond the date range
// raises type-limit.
Cell* store(Cell& c, Parts p) {
    if (!std::isfinite(p.time)) type_limit();
    double offset = calendar::zone_seconds(p.zone);
    double days = std::floor((p.time + offset) / seconds_per_day);
    if (std::fabs(days) > 1e8) type_limit();
    p.day += int64_t(days);
    p.time -= days * seconds_per_day;
    if (p.time + offset < 0) {
        p.time += seconds_per_day;
        --p.day;
    } else if (p.time + offset >= seconds_per_day) {
        p.time -= seconds_per_day;
        ++p.day;
    }
    int64_t year = calendar::civil(p.day).year;
    if (year < calendar::min_year || year > calendar::max_year) type_limit();
    c = Cell{TYPE_DATE, calendar::pack(p.day, p.zone, p.has_time), 0, 0};
    cell::put_float(c, p.has_time ? p.time : 0.0);
    return &c;
}

double local_time(const Cell& c) {
    return cell::get_float(c) + calendar::zone_seconds(c.w1);
}

// Zone bits of an offset in minutes; beyond 15:45 either way raises
// out-of-range naming the value that gave it.
uint32_t zone_from_minutes(int64_t minutes, const Cell& value) {
    if (minutes > calendar::max_zone_minutes || minutes < -calendar::max_zone_minutes)
        script_error(err::script::out_of_range, &value);
    return calendar::zone_bits(int32_t(minutes / 15 * 15));
}

// A zone value: integer! hours or a time!.
uint32_t zone_of(const Cell& value) {
    switch (cell::type_of(value)) {
    case TYPE_INTEGER: return zone_from_minutes(int64_t(integer::get(value)) * 60, value);
    case TYPE_TIME: {
        double minutes = std::trunc(cell::get_float(value) / 60.0);
        if (!(std::fabs(minutes) <= calendar::max_zone_minutes))
            script_error(err::script::out_of_range, &value);
        return zone_from_minutes(int64_t(minutes), value);
    }
    default: script_error(err::script::invalid_arg, &value);
    }
}

int32_t yearday_of(const Parts& p) {
    return int32_t(p.day - calendar::day_number(calendar::civil(p.day).year, 1, 1) + 1);
}

// Week of the year: weeks start on Sunday, week 1 holds 1 January.
int32_t week_of(const Parts& p) {
    int64_t first = calendar::day_number(calendar::civil(p.day).year, 1, 1);
    int32_t sunday_based = calendar::weekday(first) % 7;
    int32_t d = yearday_of(p);
    return d <= 7 - sunday_based ? 1 : (d + sunday_based - 1) / 7 + 1;
}

// The field of a path word, in field order; julian names the yearday.
int32_t field_of_word(const Cell& word) {
    const uint32_t names[] = {
        words::sym<"date">(),    words::sym<"year">(),    words::sym<"month">(),
        words::sym<"day">(),     words::sym<"zone">(),    words::sym<"time">(),
        words::sym<"hour">(),    words::sym<"minute">(),  words::sym<"second">(),
        words::sym<"weekday">(), words::sym<"yearday">(), words::sym<"timezone">(),
        words::sym<"week">(),    words::sym<"isoweek">(), words::sym<"julian">(),
    };
    uint32_t canonical = symbol::resolve(word.w2);
    for (int32_t i = 0; i < int32_t(std::size(names)); ++i)
        if (symbol::resolve(names[i]) == canonical) return i == 14 ? yearday : i + 1;
    return -1;
}

bool is_word(const Cell& c) {
    uint32_t type = cell::type_of(c);
    return type >= TYPE_WORD && type <= TYPE_GET_WORD;
}

int32_t integer_value(const Cell& value) {
    if (cell::type_of(value) != TYPE_INTEGER) script_error(err::script::invalid_arg, &value);
    return integer::get(value);
}

// Replaces one component of the local time of day.
double set_clock(double local, int32_t field, const Cell& value) {
    double hours = std::floor(local / time_::seconds_per_hour);
    double minutes = std::floor(std::fmod(local, time_::seconds_per_hour) / 60.0);
    double seconds = std::fmod(local, 60.0);
    if (field == second && cell::type_of(value) == TYPE_FLOAT)
        seconds = cell::get_float(value);
    else if (field == hour)
        hours = integer_value(value);
    else if (field == minute)
        minutes = integer_value(value);
    else
        seconds = integer_value(value);
    return hours * time_::seconds_per_hour + minutes * 60.0 + seconds;
}

// Sets one field (the table of the path setters); the cell is renormalised.
void set_field(Cell& c, int32_t field, const Cell& value) {
    Parts p = unpack(c);
    calendar::Civil civil = calendar::civil(p.day);
    double offset = calendar::zone_seconds(p.zone);
    switch (field) {
    case date: {
        if (cell::type_of(value) != TYPE_DATE) script_error(err::script::invalid_arg, &value);
        p.day = calendar::day_number(value.w1);
        p.has_time = calendar::has_time(value.w1);
        break;
    }
    case year: p.day = calendar::day_number(integer_value(value), civil.month, civil.day); break;
    case month: {
        int64_t n = int64_t(integer_value(value)) - 1;
        p.day = calendar::day_number(civil.year + calendar::floor_div(n, 12),
                                     int32_t(calendar::floor_mod(n, 12)) + 1, civil.day);
        break;
    }
    case day:
        p.day = calendar::day_number(civil.year, civil.month, 1) - 1 + integer_value(value);
        break;
    case zone:
    case timezone: {
        uint32_t new_zone = zone_of(value);
        double local = p.time + offset;
        p.zone = new_zone;
        // zone keeps the local time; timezone keeps the instant.
        if (field == zone) p.time = local - calendar::zone_seconds(new_zone);
        p.has_time = true;
        break;
    }
    case time:
        if (cell::type_of(value) == TYPE_NONE) {
            p.has_time = false;
            p.time = 0;
        } else if (cell::type_of(value) == TYPE_TIME) {
            p.time = cell::get_float(value) - offset;
            p.has_time = true;
        } else {
            script_error(err::script::invalid_arg, &value);
        }
        break;
    case hour:
    case minute:
    case second:
        if (cell::type_of(value) != TYPE_INTEGER &&
            !(field == second && cell::type_of(value) == TYPE_FLOAT))
            script_error(err::script::invalid_arg, &value);
        p.time = set_clock(p.has_time ? p.time + offset : 0.0, field, value) - offset;
        p.has_time = true;
        break;
    case weekday: p.day += integer_value(value) - calendar::weekday(p.day); break;
    case yearday: p.day = calendar::day_number(civil.year, 1, 1) + integer_value(value) - 1; break;
    case week: {
        int32_t n = integer_value(value);
        int64_t first = calendar::day_number(civil.year, 1, 1);
        p.day = n > 1 ? first + (7 - calendar::weekday(first) % 7) + 7 * int64_t(n - 2) : first;
        break;
    }
    case isoweek:
        p.day = calendar::isoweek_start(civil.year) + 7 * (int64_t(integer_value(value)) - 1);
        break;
    }
    store(c, p);
}

// ------------------------------------------------------------ text

constexpr const char* english_months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Up to three characters of the month's name in system/locale/months.
void append_locale_month(Cell& buffer, int32_t month) {
    const Cell* months = system_object::find({"locale", "months"});
    if (!months || cell::type_of(*months) != TYPE_BLOCK || block::rs_length(*months) < month)
        script_error(err::script::invalid_months);
    Cell name = block::rs_head(*months)[month - 1];
    if (cell::type_of(name) != TYPE_STRING) script_error(err::script::invalid_months);
    uint32_t head = string::head_index(name);
    uint32_t end = std::min(head + 3, head + string::length(name));
    for (uint32_t i = head; i < end; ++i)
        string::append_char(memory::buffer_of(buffer.w2), string::char_at(name, i));
}

// day, month name and year; "/" separators for a negative year, which is
// written with its sign; years below 100 in four digits.
int32_t write(const Cell& value, Cell& buffer, int32_t part, bool english) {
    uint32_t before = string::length_whole(buffer);
    uint32_t w = value.w1;
    int32_t y = calendar::year_of(w);
    char sep = y < 0 ? '/' : '-';
    char text[64];
    char* out = std::to_chars(text, text + 8, calendar::day_of(w)).ptr;
    *out++ = sep;
    if (english) {
        std::memcpy(out, english_months[calendar::month_of(w) - 1], 3);
        out += 3;
        *out = '\0';
        string::append_c_string(buffer, text);
    } else {
        *out = '\0';
        string::append_c_string(buffer, text);
        append_locale_month(buffer, calendar::month_of(w));
    }
    out = text;
    *out++ = sep;
    if (y < 0) *out++ = '-';
    int32_t magnitude = y < 0 ? -y : y;
    for (int32_t pad = 1000; pad > 1 && magnitude < pad && magnitude < 100; pad /= 10) *out++ = '0';
    out = std::to_chars(out, text + sizeof text, magnitude).ptr;
    if (calendar::has_time(w)) *out++ = '/';
    *out = '\0';
    string::append_c_string(buffer, text);
    if (calendar::has_time(w)) {
        time_::form_into(local_time(value), buffer, 0);
        int32_t zone = calendar::zone_seconds(w);
        if (zone != 0) {
            int32_t minutes = (zone < 0 ? -zone : zone) / 60;
            out = text;
            *out++ = zone < 0 ? '-' : '+';
            *out++ = char('0' + minutes / 600);
            *out++ = char('0' + minutes / 60 % 10);
            *out++ = ':';
            *out++ = char('0' + minutes % 60 / 10);
            *out++ = char('0' + minutes % 10);
            *out = '\0';
            string::append_c_string(buffer, text);
        }
    }
    return part - int32_t(string::length_whole(buffer) - before);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    return write(*value, *buffer, part, false);
}

// Molds always write English month names, so that they load back.
int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part,
             int32_t) {
    return write(*value, *buffer, part, true);
}

// ------------------------------------------------------------ make and to

// What a block element fills, and the state machine over the element
// types (integer!, time!, float!) that reads a date block.
enum Slot_ : uint8_t {
    none_,
    s_day,
    s_month,
    s_year,
    s_hour,
    s_minute,
    s_second,
    s_time,
    s_zone_hours,
    s_zone_minutes,
    s_zone_time,
    s_end,
};
struct Step {
    Slot_ slot;
    uint8_t next;
};
constexpr Step end_step{s_end, 0};
// Per state: integer!, time!, float!.
constexpr Step steps[14][3] = {
    {{s_day, 1}, {}, {}},
    {{s_month, 2}, {}, {}},
    {{s_year, 3}, {}, {}},
    {{s_hour, 8}, {s_time, 4}, {}},
    {{s_zone_hours, 6}, {s_zone_time, 5}, {}},
    {end_step, end_step, end_step},
    {{s_zone_minutes, 7}, {}, {}},
    {end_step, end_step, end_step},
    {{s_minute, 9}, {}, {}},
    {{s_second, 10}, {}, {s_second, 10}},
    {{s_zone_hours, 12}, {s_zone_time, 11}, {}},
    {end_step, end_step, end_step},
    {{s_zone_minutes, 13}, {}, {}},
    {end_step, end_step, end_step},
};

Cell* from_block(Cell& out, const Cell& block, bool strict) {
    int32_t count = block::rs_length(block);
    const Cell* items = block::rs_head(block);
    double v[s_end] = {};
    bool given[s_end] = {};
    uint32_t state = 0;
    int32_t used = 0;
    for (; used < count; ++used) {
        uint32_t type = cell::type_of(items[used]);
        int column = type == TYPE_INTEGER ? 0 : type == TYPE_TIME ? 1 : type == TYPE_FLOAT ? 2 : -1;
        if (column < 0) bad_make(block);
        Step step = steps[state][column];
        if (step.slot == s_end) break;
        if (step.slot == none_) bad_make(block);
        v[step.slot] =
            type == TYPE_INTEGER ? integer::get(items[used]) : cell::get_float(items[used]);
        given[step.slot] = true;
        state = step.next;
    }
    if (used < 3) bad_make(block);
    if (v[s_day] > 99 && v[s_day] > v[s_year]) std::swap(v[s_day], v[s_year]);
    double zone_minutes =
        v[s_zone_hours] * 60 + (v[s_zone_hours] < 0 ? -v[s_zone_minutes] : v[s_zone_minutes]);
    if (given[s_zone_time]) zone_minutes = std::trunc(v[s_zone_time] / 60.0);
    double local = given[s_time] ? v[s_time] : v[s_hour] * 3600 + v[s_minute] * 60 + v[s_second];
    if (std::fabs(v[s_year]) > calendar::max_year + 1 ||
        std::fabs(zone_minutes) > calendar::max_zone_minutes || std::fabs(v[s_month]) > 1e6 ||
        std::fabs(v[s_day]) > 1e8)
        bad_make(block);
    int64_t n = int64_t(v[s_month]) - 1;
    int64_t year = int64_t(v[s_year]) + calendar::floor_div(n, 12);
    int32_t month = int32_t(calendar::floor_mod(n, 12)) + 1;
    int64_t day = calendar::day_number(year, month, 1) - 1 + int64_t(v[s_day]);
    if (strict) {
        calendar::Civil c = calendar::civil(day);
        bool hour_ok = !given[s_hour] || (v[s_hour] >= 0 && v[s_hour] <= 23);
        bool minute_ok = !given[s_minute] || (v[s_minute] >= 0 && v[s_minute] <= 59);
        if (c.year != int64_t(v[s_year]) || c.month != int32_t(v[s_month]) ||
            c.day != int32_t(v[s_day]) || !hour_ok || !minute_ok)
            bad_make(block);
    }
    uint32_t zone = calendar::zone_bits(int32_t(zone_minutes) / 15 * 15);
    bool has_time = used > 3;
    return store(out, {day, has_time ? local - calendar::zone_seconds(zone) : 0.0, zone, has_time});
}

Cell* from_integer(Cell& out, int32_t seconds) {
    return from_epoch(out, seconds, 0.0, 0);
}

Cell* convert(Cell* proto, const Cell* spec, bool strict) {
    switch (cell::type_of(*spec)) {
    case TYPE_DATE: *proto = *spec; return proto;
    case TYPE_INTEGER: return from_integer(*proto, integer::get(*spec));
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: {
        Cell block = *spec;
        return from_block(*proto, block, strict);
    }
    default: bad_make(*spec);
    }
}

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    return convert(proto, spec, true);
}

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    return convert(proto, spec, false);
}

// ------------------------------------------------------------ paths

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool, bool) {
    int32_t field = -1;
    if (cell::type_of(*element) == TYPE_INTEGER)
        field = integer::get(*element);
    else if (is_word(*element))
        field = field_of_word(*element);
    if (field < date || field > isoweek) script_error(err::script::invalid_path, path, element);
    if (value) {
        set_field(*parent, field, *value);
        return value;
    }
    Cell result = get_field(*parent, field);
    Cell* pushed = stack::push_raw();
    *pushed = result;
    return pushed;
}

Cell* pick(Cell* value, int32_t index, const Cell* index_cell) {
    if (index_cell && is_word(*index_cell)) index = field_of_word(*index_cell);
    if (index < date || index > isoweek) {
        Cell position{TYPE_INTEGER, 0, uint32_t(index), 0};
        script_error(err::script::out_of_range, index_cell ? index_cell : &position);
    }
    *value = get_field(*value, index);
    return value;
}

// ------------------------------------------------------------ compare

// By instant: the UTC day, then the UTC time (almost-equal); same? needs
// identical cells.
int32_t compare(const Cell* a, const Cell* b, int32_t op) {
    constexpr int32_t same = 9;
    if (cell::type_of(*b) != TYPE_DATE) return -2;
    if (op == same) return a->w1 == b->w1 && a->w2 == b->w2 && a->w3 == b->w3 ? 0 : 1;
    calendar::Instant x = calendar::instant(a->w1, cell::get_float(*a));
    calendar::Instant y = calendar::instant(b->w1, cell::get_float(*b));
    if (x.day != y.day) return x.day < y.day ? -1 : 1;
    if (float_::almost_equal(x.time, y.time)) return 0;
    return x.time < y.time ? -1 : 1;
}

// ------------------------------------------------------------ arithmetic

void do_math(bool subtract) {
    Cell* args = frame_args();
    Parts p = unpack(args[0]);
    const Cell& other = args[1];
    double sign = subtract ? -1.0 : 1.0;
    switch (cell::type_of(other)) {
    case TYPE_INTEGER: p.day += int64_t(sign * integer::get(other)); break;
    case TYPE_TIME:
        p.time += sign * cell::get_float(other);
        p.has_time = true;
        break;
    case TYPE_DATE: {
        if (!subtract) not_related("add");
        // Whole days between the two instants, rounded down.
        double seconds = double(p.day - calendar::day_number(other.w1)) * seconds_per_day +
                         (p.time - cell::get_float(other));
        double days = std::floor(seconds / seconds_per_day + 1e-9);
        integer::make_at(args[0], int32_t(days));
        return;
    }
    default: {
        Cell type = datatype::value(cell::type_of(other));
        script_error(err::script::invalid_type, &type);
    }
    }
    store(args[0], p);
}

void add() {
    do_math(false);
}
void subtract() {
    do_math(true);
}

// ------------------------------------------------------------ random

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->w1 + uint32_t(int64_t(cell::get_float(*value)))));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    Parts p = unpack(*value);
    int64_t limit = p.day;
    p.day = limit > 0 ? random::int_(secure, int32_t(limit)) : 0;
    if (p.has_time) {
        p.zone = uint32_t(random::int_(secure, 128));
        double local = random::int_(secure, 3600) * 24.0;
        if ((p.zone & 0x3F) == 0) p.zone = 0;
        p.time = local - calendar::zone_seconds(p.zone);
    }
    return store(*value, p);
}

} // namespace

// ------------------------------------------------------------ services

Cell* make_at(Cell& c, int32_t year, int32_t month, int32_t day, double local, int32_t zone_minutes,
              bool has_time) {
    uint32_t zone = calendar::zone_bits(zone_minutes);
    c = Cell{TYPE_DATE, calendar::pack(calendar::day_number(year, month, day), zone, has_time), 0,
             0};
    cell::put_float(c, has_time ? local - calendar::zone_seconds(zone) : 0.0);
    return &c;
}

Cell* make_in(Cell& block, uint32_t packed, double time) {
    Cell& c = *cell::alloc_tail(block);
    c = Cell{TYPE_DATE, packed, 0, 0};
    cell::put_float(c, time);
    return &c;
}

Cell* push(uint32_t packed, double time) {
    Cell& c = *stack::push_raw();
    c = Cell{TYPE_DATE, packed, 0, 0};
    cell::put_float(c, time);
    return &c;
}

Cell* from_systemtime(Cell& c, int32_t year, int32_t month, int32_t day, int32_t hour,
                      int32_t minute, int32_t second, int32_t nanosecond) {
    double time = hour * time_::seconds_per_hour + minute * 60.0 + second + nanosecond * 1e-9;
    return make_at(c, year, month, day, time, 0, true);
}

Cell* from_epoch(Cell& c, int64_t seconds, double fraction, int32_t offset) {
    int64_t day = calendar::floor_div(seconds, 86400);
    double time = double(seconds - day * 86400) + fraction;
    int32_t quarters = int32_t(std::lround(offset / 900.0));
    uint32_t zone = calendar::zone_bits(
        std::clamp(quarters * 15, -calendar::max_zone_minutes, calendar::max_zone_minutes));
    return store(c, {day + calendar::epoch_day, time, zone, true});
}

double to_epoch(const Cell& d) {
    double seconds = double(calendar::day_number(d.w1) - calendar::epoch_day) * seconds_per_day +
                     cell::get_float(d);
    return std::floor(seconds + 0.5);
}

Cell get_field(const Cell& d, int32_t field) {
    Parts p = unpack(d);
    calendar::Civil civil = calendar::civil(p.day);
    double local = local_time(d);
    Cell out{TYPE_NONE, 0, 0, 0};
    switch (field) {
    case date:
        out = Cell{TYPE_DATE, d.w1 & ~(calendar::time_flag | calendar::zone_mask), 0, 0};
        break;
    case year: integer::make_at(out, int32_t(civil.year)); break;
    case month: integer::make_at(out, civil.month); break;
    case day: integer::make_at(out, civil.day); break;
    case zone:
    case timezone:
        if (p.has_time) time_::make_at(calendar::zone_seconds(p.zone), out);
        break;
    case time:
        if (p.has_time) time_::make_at(local, out);
        break;
    case hour: integer::make_at(out, int32_t(std::floor(local / time_::seconds_per_hour))); break;
    case minute: integer::make_at(out, time_::minutes(local)); break;
    case second: float_::make_at(out, std::fmod(local, 60.0)); break;
    case weekday: integer::make_at(out, calendar::weekday(p.day)); break;
    case yearday: integer::make_at(out, yearday_of(p)); break;
    case week: integer::make_at(out, week_of(p)); break;
    case isoweek: integer::make_at(out, calendar::isoweek(p.day)); break;
    }
    return out;
}

void number_left(int32_t op) {
    static constexpr const char* names[] = {"add",       "subtract", "multiply", "divide",
                                            "remainder", "or~",      "and~",     "xor~"};
    if (op != integer::add) not_related(names[op]);
    Cell* args = frame_args();
    std::swap(args[0], args[1]);
    add();
}

void difference() {
    Cell* args = frame_args();
    double seconds = double(calendar::day_number(args[0].w1) - calendar::day_number(args[1].w1)) *
                         seconds_per_day +
                     (cell::get_float(args[0]) - cell::get_float(args[1]));
    time_::make_at(seconds, args[0]);
}

void init() {
    datatype::register_type(TYPE_DATE, 0, "date!",
                            {{Slot::make, make},
                             {Slot::random, random},
                             {Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::compare, compare},
                             {Slot::add, add},
                             {Slot::subtract, subtract},
                             {Slot::pick, pick}});
}

} // namespace kiv::date
