#!/usr/bin/env python3
"""Writes tests/cases/money-reference.txt: money arithmetic and rounding
checked against Python's decimal at 5 places (ROUND_DOWN for results, each
rounding mode for round). Run once; the output is committed."""
from decimal import Decimal, getcontext, ROUND_DOWN, ROUND_HALF_UP, ROUND_HALF_EVEN, ROUND_HALF_DOWN, ROUND_FLOOR, ROUND_CEILING
import random
getcontext().prec = 60
random.seed(151209)
Q = Decimal("0.00001")
def amount(maxdigits):
    whole = random.randint(0, 10**random.randint(0, maxdigits) - 1)
    frac = random.randint(0, 99999)
    d = Decimal(whole) + Decimal(frac) / 100000
    return -d if random.random() < 0.4 else d
def text(d):
    d = d.quantize(Q, rounding=ROUND_DOWN)
    neg = d < 0
    s = f"{abs(d):.5f}"
    return ("-" if neg and d != 0 else "") + "$" + s
lines = []
def case(src, result):
    lines.append(f">> {src}\n== {result}\n")
for op, sym in [("+", "+"), ("-", "-"), ("*", "*"), ("/", "/"), ("%", "%")]:
    for _ in range(24):
        a = amount(12 if op in "+-" else 7)
        b = amount(12 if op in "+-" else 6)
        if op == "*":
            # money times money is refused: the right operand is a number
            b = Decimal(random.randint(-99999, 99999)) / 100
        if op in "/%" and b == 0:
            b = Decimal("1.5")
        if op == "+": r = a + b
        elif op == "-": r = a - b
        elif op == "*": r = a * b
        elif op == "/": r = (a / b)
        else: r = a - b * (a / b).to_integral_value(rounding=ROUND_DOWN)
        rb = str(b) if op == "*" else text(b)
        if op == "*" and b == b.to_integral_value(): rb = str(int(b))
        if op == "/":
            # money / money gives a float: divide by a number instead
            b = Decimal(random.randint(1, 99999)) / 100 * (1 if random.random() < 0.6 else -1)
            rb = str(b)
            if b == b.to_integral_value(): rb = str(int(b))
            r = a / b
        case(f"mold/all {text(a)} {sym} {rb}", '"' + text(r) + '"')
modes = [("", ROUND_HALF_UP), ("/down", ROUND_DOWN), ("/even", ROUND_HALF_EVEN),
         ("/half-down", ROUND_HALF_DOWN), ("/floor", ROUND_FLOOR), ("/ceiling", ROUND_CEILING),
         ("/half-ceiling", None)]
values = [Decimal("2.5"), Decimal("-2.5"), Decimal("3.5"), Decimal("-3.5"), Decimal("1.23456"),
          Decimal("-1.23456"), Decimal("7"), Decimal("0.00005")]
for _ in range(6): values.append(amount(6))
scales = [None, Decimal("0.05"), Decimal("0.1"), Decimal("10")]
for v in values:
    for name, mode in modes:
        s = random.choice(scales)
        if s is None and random.random() < 0.5: s = Decimal("0.0001")
        unit = s if s is not None else Decimal(1)
        m = mode if mode is not None else (ROUND_HALF_UP if v >= 0 else ROUND_HALF_DOWN)
        r = (v / unit).quantize(Decimal(1), rounding=m) * unit
        src = f"mold/all round{name}{'/to' if s is not None else ''} {text(v)}" + (f" {text(s)}" if s is not None else "")
        case(src, '"' + text(r) + '"')
print("".join(lines), end="")
