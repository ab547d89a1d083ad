#include <gtest/gtest.h>

#include "datatypes/date.h"
#include "date_reference.h"
#include "runtime/calendar.h"

namespace kiv::testing {
namespace {

// Python's datetime answers for random days of years 1-9999.
TEST(Calendar, FieldsMatchTheReferenceTable) {
    for (const DateReference& r : date_reference) {
        Cell d;
        date::make_at(d, r.year, r.month, r.day, 0, 0, false);
        int64_t n = calendar::day_number(d.w1);
        EXPECT_EQ(n - calendar::epoch_day, r.epoch_days) << r.year << "-" << r.month;
        EXPECT_EQ(calendar::weekday(n), r.weekday) << r.year << "-" << r.month << "-" << r.day;
        EXPECT_EQ(date::get_field(d, date::yearday).w2, uint32_t(r.yearday));
        EXPECT_EQ(date::get_field(d, date::isoweek).w2, uint32_t(r.iso_week))
            << r.year << "-" << r.month << "-" << r.day;
        EXPECT_EQ(date::to_epoch(d), double(r.epoch_days) * 86400.0);
    }
}

// Every day of the date range converts to fields and back, and the fields
// of consecutive days follow each other, across leap days and year 0.
TEST(Calendar, EveryDayOfTheRangeRoundTrips) {
    int64_t first = calendar::day_number(calendar::min_year, 1, 1);
    int64_t last = calendar::day_number(calendar::max_year, 12, 31);
    calendar::Civil previous = calendar::civil(first - 1);
    EXPECT_EQ(previous.year, calendar::min_year - 1);
    for (int64_t n = first; n <= last; ++n) {
        calendar::Civil c = calendar::civil(n);
        bool next_day =
            c.year == previous.year && c.month == previous.month && c.day == previous.day + 1;
        bool next_month = c.day == 1 &&
                          previous.day == calendar::month_length(previous.year, previous.month) &&
                          (c.month == previous.month + 1 ||
                           (c.month == 1 && previous.month == 12 && c.year == previous.year + 1));
        ASSERT_TRUE(next_day || next_month) << n;
        ASSERT_EQ(calendar::day_number(c.year, c.month, c.day), n);
        uint32_t packed = calendar::pack(n, 0, false);
        ASSERT_EQ(calendar::year_of(packed), c.year);
        ASSERT_EQ(calendar::day_number(packed), n);
        previous = c;
    }
    EXPECT_EQ(calendar::weekday(0), 3); // 1 March of year 0 was a Wednesday
    EXPECT_TRUE(calendar::leap_year(0));
    EXPECT_TRUE(calendar::leap_year(-4));
    EXPECT_FALSE(calendar::leap_year(-100));
}

TEST(Calendar, ZoneBitsAreSignAndMagnitude) {
    struct Case {
        int32_t minutes;
        uint32_t bits;
    };
    const Case cases[] = {
        {0, 0},           {330, 0b0010110}, {-210, 0b1001110}, {-195, 0b1001101}, {-30, 0b1000010},
        {-60, 0b1000100}, {345, 0b0010111}, {840, 0b0111000},  {-720, 0b1110000}, {945, 0b0111111},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(calendar::zone_bits(c.minutes), c.bits) << c.minutes;
        EXPECT_EQ(calendar::zone_seconds(c.bits), c.minutes * 60) << c.minutes;
    }
}

// The instant of a date counts from its UTC day: a time below zero or
// past a day moves the day.
TEST(Calendar, InstantsFoldTheTimeIntoTheDay) {
    uint32_t packed = calendar::pack(100, calendar::zone_bits(60), true);
    calendar::Instant before = calendar::instant(packed, -1800.0);
    EXPECT_EQ(before.day, 99);
    EXPECT_DOUBLE_EQ(before.time, 84600.0);
    calendar::Instant after = calendar::instant(packed, 86400.0);
    EXPECT_EQ(after.day, 101);
    EXPECT_DOUBLE_EQ(after.time, 0.0);
}

TEST(Calendar, EpochInstantsInAZone) {
    Cell d;
    // 2001-09-09 01:46:40 UTC seen from Kathmandu (+05:45).
    date::from_epoch(d, 1000000000, 0.25, 5 * 3600 + 45 * 60);
    EXPECT_EQ(date::get_field(d, date::day).w2, 9u);
    EXPECT_EQ(date::get_field(d, date::hour).w2, 7u);
    EXPECT_EQ(date::get_field(d, date::minute).w2, 31u);
    EXPECT_EQ(date::to_epoch(d), 1000000000.0);
    // An offset of no whole quarter: the zone is rounded, the instant kept.
    date::from_epoch(d, 1000000000, 0, 5 * 3600 + 53 * 60);
    EXPECT_EQ(calendar::zone_seconds(d.w1), 6 * 3600);
    EXPECT_EQ(date::to_epoch(d), 1000000000.0);
}

} // namespace
} // namespace kiv::testing
