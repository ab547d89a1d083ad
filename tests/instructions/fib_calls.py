#!/usr/bin/env python3
"""Counts the machine instructions one Kiv function call costs, and fails
above a ceiling.

Runs `fib 25` and `fib 1` (the same definition) under callgrind; the
difference between the two counts is what the extra calls cost, start-up
and loading subtracted. The figure printed is that difference divided by
the number of extra calls. Instruction counts do not depend on the load of
the machine, so the check is exact where a timing would be noise.

Exits 77 (a skip) when valgrind is not installed.

Usage: fib_calls.py KIV CEILING
"""
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
DEFINITION = "fib: func [n] [either n < 2 [n] [(fib n - 1) + (fib n - 2)]]"
# The code under measurement is the default one: the switches that select
# another evaluator or a checking mode are not passed on.
DROPPED = ("KIV_CORE", "KIV_PLAN_VERIFY", "KIV_GC_STRESS")


def calls(n):
    """How many calls `fib n` makes: 1, plus those of n - 1 and n - 2."""
    counts = [1, 1]
    for _ in range(2, n + 1):
        counts.append(1 + counts[-1] + counts[-2])
    return counts[n]


def instructions(kiv, work, n):
    script = os.path.join(work, f"fib-{n}.kiv")
    with open(script, "w", encoding="utf-8") as f:
        f.write(f"Kiv []\n{DEFINITION}\nprint fib {n}\n")
    out = os.path.join(work, f"callgrind-{n}.out")
    environment = {k: v for k, v in os.environ.items() if k not in DROPPED}
    environment["KIV_GUI"] = "headless"
    result = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", kiv, script],
                            capture_output=True, text=True, env=environment, timeout=1800)
    if result.returncode != 0:
        sys.exit(f"valgrind failed on fib {n} (exit {result.returncode}):\n{result.stderr}")
    with open(out, encoding="utf-8") as f:
        for line in f:
            if line.startswith("summary:") or line.startswith("totals:"):
                return int(line.split()[1]), result.stdout
    sys.exit(f"no instruction total in callgrind's output for fib {n}")


def main():
    kiv, ceiling = sys.argv[1], float(sys.argv[2])
    if not shutil.which("valgrind"):
        print("valgrind is not installed: skipped")
        return SKIP
    work = tempfile.mkdtemp(prefix="kiv-instructions-")
    try:
        many, printed = instructions(kiv, work, 25)
        few, _ = instructions(kiv, work, 1)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if printed != "75025\n":
        sys.exit(f"fib 25 printed {printed!r}")
    per_call = (many - few) / (calls(25) - calls(1))
    print(f"{per_call:.1f} instructions per fib call (ceiling {ceiling:g})")
    if per_call > ceiling:
        print("FAIL: a function call costs more instructions than the ceiling allows")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
