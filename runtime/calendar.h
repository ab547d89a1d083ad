// Calendar arithmetic for date!: day numbers, the packed date word and
// time zones. Pure functions of numbers, shared by the date! datatype, the
// lexer's date loader, the clock and the hashing of dates.
//
// Day numbers count days from 1 March of year 0 (day 0, a Wednesday) in
// the proleptic Gregorian calendar, with floor division throughout, so
// that every year, negative ones included, converts both ways.
//
// Packed date word (word 1 of a date! cell):
//   bits 17-31 year, signed (-16384 to 16383)
//   bit  16    the date has a time of day
//   bits 12-15 month 1-12
//   bits 7-11  day 1-31
//   bit  6     zone sign (west of UTC)
//   bits 2-5   zone hours 0-15
//   bits 0-1   zone quarter hours
#pragma once

#include <cstdint>

namespace kiv::calendar {

constexpr int32_t min_year = -16384;
constexpr int32_t max_year = 16383;
constexpr uint32_t time_flag = 1u << 16;
constexpr uint32_t zone_mask = 0x7Fu;
constexpr double seconds_per_day = 86400.0;
// The largest zone offset a date holds: 15:45.
constexpr int32_t max_zone_minutes = 15 * 60 + 45;

inline int32_t year_of(uint32_t packed) {
    return int32_t(packed) >> 17;
}
inline int32_t month_of(uint32_t packed) {
    return int32_t(packed >> 12 & 15);
}
inline int32_t day_of(uint32_t packed) {
    return int32_t(packed >> 7 & 31);
}
inline bool has_time(uint32_t packed) {
    return (packed & time_flag) != 0;
}

// Zone bits for an offset east of UTC in minutes (a multiple of 15 within
// 15:45), and the offset of zone bits in seconds.
uint32_t zone_bits(int32_t offset_minutes);
int32_t zone_seconds(uint32_t packed);

inline int64_t floor_div(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
inline int64_t floor_mod(int64_t a, int64_t b) {
    return a - floor_div(a, b) * b;
}

bool leap_year(int64_t year);
int32_t month_length(int64_t year, int32_t month);

// The day number of a date; days past the month's end (or 0 and below)
// run into the neighbouring months.
int64_t day_number(int64_t year, int32_t month, int32_t day);
struct Civil {
    int64_t year;
    int32_t month;
    int32_t day;
};
Civil civil(int64_t day_number);
// 1 (Monday) to 7 (Sunday).
int32_t weekday(int64_t day_number);
// The Monday that starts ISO week 1 of a year (the week holding its first
// Thursday), and the ISO week number of a day.
int64_t isoweek_start(int64_t year);
int32_t isoweek(int64_t day_number);
// Day number of 1 January 1970.
constexpr int64_t epoch_day = 719468;

// The packed word of a day number; the year must lie in range.
uint32_t pack(int64_t day_number, uint32_t zone_bits, bool time);
int64_t day_number(uint32_t packed);

// The instant of a stored date: its UTC day number and the UTC time within
// that day (0 to 86400 seconds), from the packed word and the stored time.
struct Instant {
    int64_t day;
    double time;
};
Instant instant(uint32_t packed, double time);

} // namespace kiv::calendar
