// money!: an exact decimal amount with an optional currency, written
// $12.50, -$0.01 or EUR$1234.56789.
//
// Cell bytes: 0-3 the header (bit 14 the sign, set for negative amounts
// only: a zero amount never carries it), 4 the currency (0 none, else the
// 1-based position of its word in system/locale/currencies/list), 5-15
// twenty-two binary-coded decimal digits, most significant first and the
// high nibble of each byte first: 17 integer digits and 5 fraction digits.
// Arithmetic converts the digits to an unsigned 128-bit count of
// hundred-thousandths and back.
#pragma once

#include "runtime/cell.h"
#include "runtime/scan_number.h"
#include <cstdint>

namespace kiv::money {

constexpr uint32_t sign_bit = 1u << 14;

// Builds a money value from the parts of a money literal; false when the
// currency is unknown or the digits do not fit (17 integer digits, 5
// fraction digits).
bool from_parts(const lexer::MoneyParts& parts, Cell& out);

// The amount of an integer, exactly; of a float through its shortest
// decimal digits (script bad-make-arg beyond the money range).
Cell* from_integer(Cell& out, int32_t value);
Cell* from_float(Cell& out, double value);
// The integer part (script type-limit naming integer! when it does not
// fit), and the amount as a double.
int32_t to_integer(const Cell& money);
double to_float(const Cell& money);
// -1, 0 or 1.
int32_t sign(const Cell& money);

// Arithmetic with a money! operand in slot 0 or slot 1 (the other an
// integer!, float!, percent! or money!): the result into slot 0.
void do_math(int32_t op);
// A number on the left compared with a money! value, from the number's side.
int32_t compare_number(const Cell& number, const Cell& money, int32_t op);
// as-money: the amount (integer! or float!) in the currency of a word
// (script bad-denom when it is none), into `out`.
Cell* as_money(Cell& out, const Cell& currency, const Cell& amount);

void init();

} // namespace kiv::money
