// The load entries of date! and money! tokens. The token finder has checked
// the layout of the text; these read the numbers, check their ranges and
// build the value.
#include <charconv>
#include <cstring>

#include "datatypes/date.h"
#include "datatypes/money.h"
#include "evaluator/lexer.h"
#include "runtime/calendar.h"
#include "runtime/scan_number.h"
#include "runtime/types.h"

namespace kiv::lexer {

namespace {

using P = const uint8_t*;

bool digit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// Reads the digits at p (no separators) into value; returns their count.
uint32_t read_digits(P& p, P e, int64_t& value) {
    value = 0;
    uint32_t n = 0;
    for (; p < e && digit(*p); ++p, ++n)
        if (n < 12) value = value * 10 + (*p - '0');
    return n;
}

// The month of the first 3 to 9 letters of an English month name, or 0.
int32_t month_of_name(P& p, P e) {
    static constexpr const char* names[] = {"january",   "february", "march",    "april",
                                            "may",       "june",     "july",     "august",
                                            "september", "october",  "november", "december"};
    P s = p;
    while (p < e && ((*p | 0x20) >= 'a' && (*p | 0x20) <= 'z')) ++p;
    size_t n = size_t(p - s);
    for (int32_t m = 0; m < 12; ++m) {
        if (n < 3 || n > std::strlen(names[m])) continue;
        size_t i = 0;
        while (i < n && (s[i] | 0x20) == names[m][i]) ++i;
        if (i == n) return m + 1;
    }
    return 0;
}

// A year of exactly two digits is taken in 1950-2049.
int64_t two_digit_year(int64_t year) {
    return year < 50 ? 2000 + year : 1900 + year;
}

struct DateText {
    int64_t day_number = 0;
    bool has_time = false;
    double time = 0;  // local
    int32_t zone = 0; // minutes east of UTC
};

// Parses the date part; false when a number is out of range.
bool read_day(P& p, P e, DateText& out) {
    int64_t first;
    uint32_t first_digits = read_digits(p, e, first);
    uint8_t sep = *p++;
    int64_t year, day;
    int32_t month;
    if (first_digits >= 3) {
        year = first;
        if (*p == 'W') {
            // year-Www[-d]: ISO week and weekday.
            ++p;
            int64_t week, weekday = 1;
            read_digits(p, e, week);
            if (p < e && *p == '-') ++p, read_digits(p, e, weekday);
            int64_t start = calendar::isoweek_start(year);
            if (week < 1 || weekday < 1 || weekday > 7 ||
                start + 7 * (week - 1) >= calendar::isoweek_start(year + 1))
                return false;
            out.day_number = start + 7 * (week - 1) + weekday - 1;
            return year <= 9999;
        }
        int64_t second;
        uint32_t second_digits = read_digits(p, e, second);
        if (second_digits == 3 && (p >= e || *p != sep)) {
            // year-ddd: the day of the year.
            if (second < 1 || second > (calendar::leap_year(year) ? 366 : 365) || year > 9999)
                return false;
            out.day_number = calendar::day_number(year, 1, 1) + second - 1;
            return true;
        }
        month = int32_t(second);
        ++p;
        read_digits(p, e, day);
    } else {
        day = first;
        if (digit(*p)) {
            int64_t m;
            read_digits(p, e, m);
            month = m > 12 ? 0 : int32_t(m);
        } else {
            month = month_of_name(p, e);
        }
        ++p;
        bool negative = *p == '-';
        if (negative) ++p;
        uint32_t year_digits = read_digits(p, e, year);
        if (year_digits == 2 && !negative) year = two_digit_year(year);
        if (negative) year = -year;
    }
    if (year < -9999 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > calendar::month_length(year, month))
        return false;
    out.day_number = calendar::day_number(year, month, int32_t(day));
    return true;
}

// hh:mm[:ss[.fraction]] then Z, +hh[:mm], +hhmm or nothing.
bool read_time(P& p, P e, DateText& out) {
    int64_t hours, minutes;
    if (!read_digits(p, e, hours) || p >= e || *p++ != ':' || !read_digits(p, e, minutes))
        return false;
    double seconds = 0;
    if (p < e && *p == ':') {
        P s = ++p;
        while (p < e && (digit(*p) || *p == '.')) ++p;
        std::from_chars(reinterpret_cast<const char*>(s), reinterpret_cast<const char*>(p),
                        seconds);
    }
    if (hours > 23 || minutes > 59 || !(seconds < 60)) return false;
    out.has_time = true;
    out.time = double(hours) * 3600 + double(minutes) * 60 + seconds;
    if (p < e && *p == 'Z') ++p;
    if (p < e && (*p == '+' || *p == '-')) {
        bool west = *p++ == '-';
        int64_t zone_hours, zone_minutes = 0;
        uint32_t n = read_digits(p, e, zone_hours);
        if (n == 4) {
            zone_minutes = zone_hours % 100;
            zone_hours /= 100;
        } else if (p < e && *p == ':') {
            ++p;
            read_digits(p, e, zone_minutes);
        }
        if (zone_hours > 15 || zone_minutes % 15 != 0 || zone_minutes > 45) return false;
        out.zone = int32_t(zone_hours * 60 + zone_minutes) * (west ? -1 : 1);
    }
    return true;
}

void load_date(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    DateText d;
    P p = s;
    if (!read_day(p, e, d)) throw_error(st, s, TYPE_DATE);
    if (p < e && (*p == '/' || *p == 'T')) {
        ++p;
        if (!read_time(p, e, d)) throw_error(st, s, TYPE_DATE);
    }
    calendar::Civil c = calendar::civil(d.day_number);
    date::make_at(grow_buffer(st), int32_t(c.year), c.month, c.day, d.time, d.zone, d.has_time);
}

// [sign][CCC]$digits[.digits]: an unknown currency or more digits than
// the money range holds is an invalid money! token.
void load_money(State& st, P s, P e, uint32_t, bool load) {
    if (!load) return;
    MoneyParts parts;
    int32_t error;
    scan_money(s, int32_t(e - s), 1, parts, error);
    Cell value;
    if (error != scan_ok || !money::from_parts(parts, value)) throw_error(st, s, TYPE_MONEY);
    grow_buffer(st) = value;
}

} // namespace

void install_date_and_money_loaders() {
    set_load_entry(date, &load_date);
    set_load_entry(money, &load_money);
}

} // namespace kiv::lexer
