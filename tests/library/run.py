#!/usr/bin/env python3
"""Checks the standard library against Python and by subprocess.

- exit statuses of `quit` wherever it is called from, with the output
  printed before it;
- `mod` and `modulo` over number pairs of every sign against Python's
  `a % abs(b)`;
- `split` and `replace/all` over generated texts against `str.split` and
  `str.replace`;
- every library function's spec opens with a doc string, and a value
  outside each typed argument's types raises expect-arg naming the
  function, the datatype and the argument.

Each run writes its script into a temporary folder removed afterwards.

Usage: run.py KIV LIBRARY-FOLDER
"""
import random
import re
import subprocess
import sys
import tempfile
from pathlib import Path

QUIT_CASES = [
    # (code, expected output, expected status)
    ('print "a" quit print "b"', "a\n", 0),
    ('print "a" quit/return 3', "a\n", 3),
    # Linux keeps 8 bits of a status: 256 must not read as success.
    ("quit/return 256", "", 255),
    ("quit/return -1", "", 255),
    ('prin "x" try/all [quit/return 4] print "no"', "x", 4),
    ('print "y" attempt/safer [quit/return 5] print "no"', "y\n", 5),
    ("sort/compare [3 1 2] func [a b] [quit/return 6] print 'no", "", 6),
    ("o: make object! [x: 1 on-change*: func [w o n] [quit/return 7]] o/x: 2 print 'no", "", 7),
    ('parse "ab" [skip (quit/return 8)] print "no"', "", 8),
    # halt stops the script, which then ends normally.
    ("halt print 'no", "(halted)\n", 0),
]


def run_script(kiv, folder, code):
    script = Path(folder) / "case.kiv"
    script.write_text("Kiv []\n" + code + "\n", encoding="utf-8")
    return subprocess.run([kiv, str(script)], capture_output=True, text=True, timeout=1200)


def check_quit(kiv, folder):
    failures = []
    for code, output, status in QUIT_CASES:
        result = run_script(kiv, folder, code)
        if (result.stdout, result.returncode) != (output, status):
            failures.append(f"{code!r}: {result.stdout!r} status {result.returncode}, "
                            f"expected {output!r} status {status}")
    return failures


def lines_of(kiv, folder, code):
    result = run_script(kiv, folder, code)
    if result.returncode != 0:
        return None, result.stdout + result.stderr
    return result.stdout.splitlines(), ""


def check_mod(kiv, folder):
    pairs = [(a, b) for a in range(-9, 10) for b in range(-4, 5) if b != 0]
    pairs += [(2147483000, 7), (-2147483000, 13), (-1, -3), (7, -3)]
    code = "foreach [a b] [%s] [print [mod a b modulo a b]]" % " ".join(
        f"{a} {b}" for a, b in pairs)
    lines, error = lines_of(kiv, folder, code)
    if lines is None:
        return [f"mod run failed: {error}"]
    failures = []
    for (a, b), line in zip(pairs, lines):
        expected = f"{a % abs(b)} {a % abs(b)}"
        if line != expected:
            failures.append(f"mod/modulo {a} {b}: {line!r}, expected {expected!r}")
    # Floats: a remainder that vanishes next to the operands is 0 for
    # modulo, and the plain remainder for mod.
    float_cases = [("0.3 0.1", "0"), ("1.0 0.1", "0"), ("5.5 2", "1.5"), ("-5.5 2", "0.5")]
    code = "\n".join(f"print modulo {args}" for args, _ in float_cases)
    lines, error = lines_of(kiv, folder, code)
    if lines is None:
        return failures + [f"modulo run failed: {error}"]
    for (args, expected), line in zip(float_cases, lines):
        if line != expected:
            failures.append(f"modulo {args}: {line!r}, expected {expected!r}")
    return failures


def kiv_string(text):
    return '"' + text.replace("^", "^^").replace('"', '^"') + '"'


def check_texts(kiv, folder):
    rng = random.Random(20)
    texts = ["", ",", ",,", "a", "a,", ",a"]
    for _ in range(60):
        texts.append("".join(rng.choice("ab,xy") for _ in range(rng.randrange(1, 30))))
    delimiters = [",", "ab", "xy,"]
    code = []
    cases = []
    for text in texts:
        for dlm in delimiters:
            cases.append(("split", text, dlm, "|".join(text.split(dlm))))
            code.append(f"d: split {kiv_string(text)} {kiv_string(dlm)} "
                        "s: copy {} forall d [append s d/1 unless last? d [append s {|}]] "
                        "print mold s")
            cases.append(("replace", text, dlm, text.replace(dlm, "<>")))
            code.append(f"print mold replace/all {kiv_string(text)} {kiv_string(dlm)} {{<>}}")
    code.insert(0, "last?: func [s] [tail? next s]")
    lines, error = lines_of(kiv, folder, "\n".join(code))
    if lines is None:
        return [f"split/replace run failed: {error}"]
    failures = []
    for (name, text, dlm, expected), line in zip(cases, lines):
        if line != kiv_molded(expected):
            failures.append(f"{name} {text!r} {dlm!r}: {line}, expected {expected!r}")
    return failures


# clock prints the time of one run cut to three significant characters,
# then the rest of the integer part: 123.456 as 123, 1.23456 as 1.23,
# 12345.6 as 12345. The times vary, so each line is checked for the shape.
CLOCK_LINE = re.compile(r"^(\S+) (ms|μs)\t(.*)$")


def clock_cut_ok(number):
    if not re.fullmatch(r"\d+(\.\d+)?", number):
        return False
    whole, _, fraction = number.partition(".")
    return not fraction or len(whole) + len(fraction) <= 3


def check_clock(kiv, folder):
    code = """
b: copy []
r: clock/times [append b 1 length? b] 0
print [r length? b]
clock/times [loop 20000 [1 + 1]] 2
clock [loop 300000 [1 + 1]]
clock [wait 0.02]
e: try [clock [1 / 0]] print e/id
"""
    lines, error = lines_of(kiv, folder, code)
    if lines is None:
        return [f"clock run failed: {error}"]
    failures = []
    if lines[1] != "1 1":
        failures.append(f"clock/times 0 ran {lines[1]!r} times, expected once")
    for line in lines[:1] + lines[2:5]:
        match = CLOCK_LINE.match(line)
        if not match or not clock_cut_ok(match.group(1)):
            failures.append(f"clock line {line!r}")
    if lines[0].split("\t")[-1] != "[append b 1 length? b]":
        failures.append(f"clock text {lines[0]!r}")
    # 20 ms of waiting is shown in milliseconds.
    if CLOCK_LINE.match(lines[4]) and CLOCK_LINE.match(lines[4]).group(2) != "ms":
        failures.append(f"clock unit {lines[4]!r}")
    # An error goes through, and nothing is printed.
    if lines[5:] != ["zero-divide"]:
        failures.append(f"clock error {lines[5:]!r}")
    return failures


def kiv_molded(text):
    return '"' + text + '"'


# The library functions, read from the sources: set-words at the start of a
# line, `set 'name` definitions, and the names the generating loops make.
def library_names(folder):
    names = []
    for name in ["routines", "core", "series", "collect", "paths", "loading", "math"]:
        source = (Path(folder) / f"{name}.kiv").read_text(encoding="utf-8")
        names += re.findall(r"^([^\s;:\[\]]+): (?:func|make routine!|:)", source, re.M)
        names += re.findall(r"set '(\S+) func", source)
    predicates = (Path(folder) / "predicates.kiv").read_text(encoding="utf-8")
    for block in re.findall(r"foreach name \[(.*?)\]", predicates, re.S):
        names += block.split()
    conversions = (Path(folder) / "conversions.kiv").read_text(encoding="utf-8")
    block = re.search(r"foreach type \[(.*?)\]", conversions, re.S).group(1)
    names += ["to-" + t[:-1] for t in block.split()] + ["context", "object"]
    return names


SPEC_CHECK = """
samples: reduce [
    1 "s" [] %f 1.5 #"c" none true 1x2 1.2.3 #{00} make map! [] charset "a"
    1:00 1-Jan-2000 $1 <t> a@b http://x make object! [] #iss 5% (1.5, 2) 'w
    make event! [type: 'down] make image! 1x1
]
bad: copy []
foreach name names [
    f: get name
    spec: spec-of :f
    ; An attributes block may come ahead of the doc string.
    if block? first spec [spec: next spec]
    unless string? first spec [append bad reduce [name "no doc string"]]
    args: copy []
    forall spec [
        if refinement? spec/1 [break]
        if find [word! lit-word! get-word!] type?/word spec/1 [
            append args to word! spec/1
            append args either block? spec/2 [make typeset! spec/2] [none]
        ]
    ]
    foreach [arg types] args [
        outside: none
        if types [foreach v samples [if all [not outside not find types type? :v] [outside: v]]]
        if outside [
            code: reduce [name]
            foreach [other other-types] args [
                append/only code either other = arg [outside] [
                    fits: 1
                    if other-types [
                        fits: none
                        foreach v samples [if all [not fits find other-types type? :v] [fits: v]]
                    ]
                    ; A word goes in as a lit-word, which evaluates to it.
                    either word? fits [to lit-word! fits] [fits]
                ]
            ]
            e: try [do code]
            unless all [
                error? e e/id = 'expect-arg e/arg1 = name e/arg2 = type? outside e/arg3 = arg
            ] [append bad reduce [name arg]]
        ]
    ]
]
print mold bad
"""


def check_specs(kiv, folder, library):
    names = library_names(library)
    code = "names: [" + " ".join(names) + "]\n" + SPEC_CHECK
    lines, error = lines_of(kiv, folder, code)
    if lines is None:
        return [f"spec check run failed: {error}"]
    if len(names) < 150:
        return [f"only {len(names)} library functions found"]
    return [] if lines == ["[]"] else [f"spec check: {lines}"]


def main():
    kiv, library = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for check in (check_quit, check_mod, check_texts, check_clock):
            failures += check(kiv, folder)
        failures += check_specs(kiv, folder, library)
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(failures)} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
