#include "runtime/calendar.h"

#include <cmath>
#include <cstdlib>

namespace kiv::calendar {

uint32_t zone_bits(int32_t offset_minutes) {
    uint32_t sign = offset_minutes < 0 ? 0x40u : 0u;
    uint32_t magnitude = uint32_t(std::abs(offset_minutes));
    return sign | (magnitude / 60 & 15) << 2 | (magnitude % 60) / 15;
}

int32_t zone_seconds(uint32_t packed) {
    int32_t seconds = int32_t(packed >> 2 & 15) * 3600 + int32_t(packed & 3) * 900;
    return packed & 0x40 ? -seconds : seconds;
}

bool leap_year(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int32_t month_length(int64_t year, int32_t month) {
    static constexpr int32_t lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap_year(year) ? 29 : lengths[month - 1];
}

// Years counted from March, so that a leap day ends its year; 400-year
// eras of 146097 days.
int64_t day_number(int64_t year, int32_t month, int32_t day) {
    int64_t march_month = (month + 9) % 12;
    int64_t y = year - march_month / 10;
    int64_t era = floor_div(y, 400);
    int64_t year_of_era = y - era * 400;
    int64_t day_of_year = (153 * march_month + 2) / 5 + day - 1;
    int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era;
}

Civil civil(int64_t n) {
    int64_t era = floor_div(n, 146097);
    int64_t day_of_era = n - era * 146097;
    int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    int64_t march_month = (5 * day_of_year + 2) / 153;
    int32_t day = int32_t(day_of_year - (153 * march_month + 2) / 5 + 1);
    int32_t month = int32_t(march_month < 10 ? march_month + 3 : march_month - 9);
    return {year_of_era + era * 400 + (month <= 2), month, day};
}

int32_t weekday(int64_t n) {
    return int32_t(floor_mod(n + 2, 7)) + 1;
}

int64_t isoweek_start(int64_t year) {
    int64_t first = day_number(year, 1, 1);
    int32_t w = weekday(first);
    return first - (w - 1) + (w > 4 ? 7 : 0);
}

int32_t isoweek(int64_t n) {
    int64_t year = civil(n).year;
    int64_t start = isoweek_start(year);
    if (n < start)
        start = isoweek_start(year - 1);
    else if (n >= isoweek_start(year + 1))
        return 1;
    return int32_t((n - start) / 7 + 1);
}

uint32_t pack(int64_t n, uint32_t zone, bool time) {
    Civil c = civil(n);
    return uint32_t(int32_t(c.year)) << 17 | (time ? time_flag : 0) | uint32_t(c.month) << 12 |
           uint32_t(c.day) << 7 | (zone & zone_mask);
}

int64_t day_number(uint32_t packed) {
    return day_number(year_of(packed), month_of(packed), day_of(packed));
}

Instant instant(uint32_t packed, double time) {
    int64_t day = day_number(packed);
    double whole_days = std::floor(time / seconds_per_day);
    return {day + int64_t(whole_days), time - whole_days * seconds_per_day};
}

} // namespace kiv::calendar
