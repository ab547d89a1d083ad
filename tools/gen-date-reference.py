#!/usr/bin/env python3
"""Writes tests/unit/date_reference.h: weekday, ISO week, day of the year and
days since 1970 of random dates of years 1-9999 (and a few edges), from
Python's datetime and calendar modules. Run once; the output is committed."""
import calendar
import datetime
import random

random.seed(20261209)
days = []
for _ in range(400):
    y = random.randint(1, 9999)
    m = random.randint(1, 12)
    days.append((y, m, random.randint(1, calendar.monthrange(y, m)[1])))
days += [(1, 1, 1), (9999, 12, 31), (1970, 1, 1), (2000, 2, 29), (1900, 3, 1), (2021, 1, 1),
         (2022, 1, 1), (2017, 1, 1), (2020, 12, 31), (2004, 12, 27)]
rows = []
for y, m, d in days:
    dt = datetime.date(y, m, d)
    iso = dt.isocalendar()
    rows.append((y, m, d, dt.isoweekday(), iso[0], iso[1], dt.timetuple().tm_yday,
                 calendar.timegm(dt.timetuple()) // 86400))
out = ["// Generated once with Python's datetime and calendar modules (random",
       "// dates of years 1-9999 and a few edges): year, month, day, ISO weekday,",
       "// ISO year and week, day of the year, and days since 1970-01-01",
       "// (calendar.timegm / 86400), by tools/gen-date-reference.py.",
       "#pragma once", "", "#include <cstdint>", "", "namespace kiv::testing {", "",
       "struct DateReference {",
       "    int32_t year, month, day, weekday, iso_year, iso_week, yearday;",
       "    int64_t epoch_days;", "};", "",
       "inline constexpr DateReference date_reference[] = {"]
out += ["    {%d, %d, %d, %d, %d, %d, %d, %d}," % r for r in rows]
out += ["};", "", "} // namespace kiv::testing", ""]
print("\n".join(out), end="")
