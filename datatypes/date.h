// date!: a calendar date with an optional time of day and time zone,
// written 7-Dec-2026 or 7-Dec-2026/23:21:36+01:00.
//
// Cell: word 1 the packed date word (runtime/calendar.h), words 2-3 a
// double: the time in UTC counted from the start of the packed (local)
// day, that is local time minus the zone offset; 0 without a time. Every
// change renormalises the value so that the local time lies in 0-24
// hours. Seconds since 1970-01-01 UTC are (day number - epoch day) x 86400
// + time.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::date {

// Fields, as pick and paths number them.
enum Field : int32_t {
    date = 1,
    year,
    month,
    day,
    zone,
    time,
    hour,
    minute,
    second,
    weekday,
    yearday,
    timezone,
    week,
    isoweek,
};

// A date of valid fields, the time given as local time (ignored without
// `has_time`), the zone in minutes east of UTC (a multiple of 15).
Cell* make_at(Cell& cell, int32_t year, int32_t month, int32_t day, double local_time,
              int32_t zone_minutes, bool has_time);
// A date cell from a packed word and a stored time, at a block's tail or on
// the argument stack.
Cell* make_in(Cell& block, uint32_t packed, double time);
Cell* push(uint32_t packed, double time);
// A UTC date with time (file times).
Cell* from_systemtime(Cell& cell, int32_t year, int32_t month, int32_t day, int32_t hour,
                      int32_t minute, int32_t second, int32_t nanosecond);
// The date with time of an instant, `seconds` since 1970-01-01 UTC (the
// fraction apart), seen in a zone `offset` seconds east of UTC. The zone is
// rounded to quarter hours; the instant is kept exactly.
Cell* from_epoch(Cell& cell, int64_t seconds, double fraction, int32_t offset);

// Seconds since 1970-01-01 UTC, rounded to the nearest second (halves up).
double to_epoch(const Cell& date);
// One field of a date, as pick answers it.
Cell get_field(const Cell& date, int32_t field);

// The arithmetic that a number or time! on the left hands over: `n + date`
// adds; any other operation raises not-related naming it.
void number_left(int32_t op);
// `difference` of the dates in slots 0 and 1: a time! in slot 0.
void difference();

void init();

} // namespace kiv::date
