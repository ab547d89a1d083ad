// time!: a signed duration or time of day, held as seconds in a double
// (words 2 and 3, the float! layout). It inherits float!'s arithmetic,
// comparison and random, and adds its construction, its hh:mm:ss text,
// access to hours, minutes and seconds, and the rules that keep time
// arithmetic meaningful. date! writes the time part of a date with
// form_into.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::time_ {

constexpr double seconds_per_hour = 3600.0;
constexpr double seconds_per_minute = 60.0;
// Seconds below one microsecond are written as "00"; also the nudge that
// even? and odd? give a time before truncating its seconds.
constexpr double microsecond = 1e-06;

// Seconds from 2^53 on are not held to the second, and their text would
// not load back (the lexer refuses it): arithmetic and construction that
// lead a time there raise math `overflow` (the seconds are returned when
// they are in range).
constexpr double seconds_limit = 9007199254740992.0;
double in_range(double seconds);

// Component indexes, as in paths and pick.
enum Component : int32_t { hour = 1, minute = 2, second = 3 };

// Sets the type byte to time! (flags kept) and stores the seconds.
Cell* make_at(double seconds, Cell& cell);
// A new time! on the argument stack.
Cell* push(double seconds);
// Appends a time! at the block's tail.
Cell* make_in(Cell& block, double seconds);

// Whole hours, truncated toward zero (negative for negative times); an
// hour count outside the integer range raises math `overflow`.
int32_t hours(double seconds);
// Whole minutes of the hour, 0-59, whatever the sign; 0 for a time that
// is not finite.
int32_t minutes(double seconds);

// Pushes a component on the argument stack: integer! hours or minutes,
// float! seconds (signed like the time).
Cell* get_component(const Cell& time, int32_t index);

// 1, 2 or 3 for the words hour, minute and second in any case, else -1;
// when `parent` is a time! any other word raises script `cannot-use`.
int32_t component_index(const Cell& word, const Cell* parent);

// Appends the text of the seconds ([-]h:mm:ss[.fraction]) and returns the
// limit minus the characters written.
int32_t form_into(double seconds, Cell& output, int32_t limit);

// Raises script `bad-to-arg` naming time! and the value.
[[noreturn]] void bad_make(const Cell& value);

// Registers time! under float!; inherited slots take float!'s entries, so
// float! registers first.
void init();

} // namespace kiv::time_
