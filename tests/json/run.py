#!/usr/bin/env python3
"""Checks load-json and to-json against the JSON grammar and Python's json.

- a table of texts the grammar accepts and rejects: each accepted text
  loads to a value whose to-json Python reads back as the text's own value,
  each rejected one gives the error value;
- generated values (nested arrays and objects, strings with escapes and
  non-ASCII text, integers, floats, booleans, nulls) written by Python's
  json.dumps, with and without ensure_ascii, load in kiv and come back
  through to-json (and to-json/ascii) as the same value in Python.

Each run writes its files into a temporary folder removed afterwards.

Usage: run.py KIV
"""
import json
import random
import subprocess
import sys
import tempfile
from pathlib import Path

ACCEPTED = [
    "0", "-0", "1", "-1", "2147483647", "-2147483648", "1.5", "-0.0", "1e5", "1E+5", "1e-5",
    "0.5e10", "123456789012", '""', '"a"', '"\\u00e9"', '"\\uD83D\\uDE00"', '"\\"\\\\\\/\\b\\f\\n\\r\\t"',
    "true", "false", "null", "[]", "{}", " [ ] ", "\t\r\n1\n", "[1,[2,[3]]]",
    '{"a":{"b":[]}}', '{"":1}', '{"a":1,"a":2}', '"\u00e9\U0001F600"', "[\n1\n,\n2\n]",
]
REJECTED = [
    "", " ", "01", "+1", ".5", "1.", "1.e5", "1e", "1e+", "-", "--1", "0x10", "NaN", "Infinity",
    "1e400", "True", "nul", "[", "]", "[1,]", "[,1]", "[1 2]", "{", "{1:2}", "{\"a\"}",
    '{"a":1,}', "{'a':1}", '"abc', '"\\x"', '"\\u12"', '"\\uZZZZ"', '"\t"', '"\n"',
    '"\\ud800"', '"\\udc00"', '"\\ud800\\u0041"', "1 2", "[1]]", "\u00a01", "[1]x",
]


def run(kiv, folder, code):
    script = Path(folder) / "case.kiv"
    script.write_text("Kiv []\n" + code + "\n", encoding="utf-8")
    result = subprocess.run([kiv, str(script)], capture_output=True, timeout=1200)
    if result.returncode != 0:
        raise RuntimeError(result.stdout.decode() + result.stderr.decode())
    return result.stdout.decode("utf-8")


def check_grammar(kiv, folder):
    cases = ACCEPTED + REJECTED
    texts = Path(folder) / "texts.json"
    texts.write_text(json.dumps(cases), encoding="utf-8")
    # The list of cases is itself read by load-json.
    out = run(kiv, folder, f"""
        foreach text load-json read %{texts.as_posix()} [
            value: load-json text
            print either error? value ["rejected"] [to-json/ascii value]
        ]""").split("\n")[:-1]
    failures = []
    for text, line in zip(cases, out):
        if text in ACCEPTED:
            if line == "rejected" or json.loads(line) != json.loads(text):
                failures.append(f"{text!r}: {line}")
        elif line != "rejected":
            failures.append(f"{text!r} accepted: {line}")
    if len(out) != len(cases):
        failures.append(f"{len(out)} lines for {len(cases)} cases")
    return failures


def random_text(rng):
    alphabet = "ab \"\\/\n\t\r\x01\x1f\u00e9\u20ac\U0001F600\u7f16"
    return "".join(rng.choice(alphabet) for _ in range(rng.randrange(8)))


def random_value(rng, depth=0):
    kind = rng.randrange(9 if depth < 4 else 6)
    if kind == 0:
        return rng.randrange(-2**31, 2**31)
    if kind == 1:
        return rng.choice([0.1, 1.5, -2.25e-20, 1e300, 0.30000000000000004, 123456.789])
    if kind == 2:
        return rng.choice([True, False, None])
    if kind in (3, 4, 5):
        return random_text(rng)
    if kind in (6, 7):
        return [random_value(rng, depth + 1) for _ in range(rng.randrange(4))]
    return {random_text(rng) + rng.choice(["", "k"]): random_value(rng, depth + 1)
            for _ in range(rng.randrange(4))}


def check_oracle(kiv, folder):
    rng = random.Random(24)
    values = [random_value(rng) for _ in range(300)]
    failures = []
    for ascii_in in (False, True):
        lines = "\n".join(json.dumps(v, ensure_ascii=ascii_in) for v in values)
        source = Path(folder) / "values.txt"
        source.write_text(lines + "\n", encoding="utf-8")
        out = run(kiv, folder, f"""
            foreach line read/lines %{source.as_posix()} [
                value: load-json line
                print to-json :value
                print to-json/ascii :value
            ]""").split("\n")[:-1]
        for i, value in enumerate(values):
            plain, ascii_out = out[2 * i], out[2 * i + 1]
            if not all(c < "\x80" for c in ascii_out):
                failures.append(f"non-ASCII in /ascii output: {ascii_out!r}")
            for text in (plain, ascii_out):
                if json.loads(text) != value:
                    failures.append(f"{value!r} came back as {text!r}")
    return failures


def main():
    kiv = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        failures = check_grammar(kiv, folder) + check_oracle(kiv, folder)
    for failure in failures[:20]:
        print(failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
