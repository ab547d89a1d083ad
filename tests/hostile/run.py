#!/usr/bin/env python3
"""Hostile input at the console: whatever is typed, the session goes on.

Each case is typed into one kiv session, followed by `1 + 1`; the session
must show the case's outcome (an error, or a value), then answer `== 2`,
and end with status 0 at the end of input. The memory cases run in a
child whose address space is limited (RLIMIT_AS). Each session runs in a
temporary folder, so that nothing a case writes stays behind.

Usage: run.py KIV
"""
import os
import resource
import subprocess
import sys
import tempfile

# (what is typed, the start of what the console must print for its last line)
CASES = [
    # Errors whose arguments or `near` hold unusual values are still shown.
    (b"o/@a", b"*** Script Error: o is unset in path o/@a"),
    # A typed byte that is not UTF-8 is read as U+FFFD.
    (b"x /a\xf0bc /\xff", b"*** Script Error: x has no value\n*** Where: ???\n"
     b"*** Near : x /a\xef\xbf\xbdbc /\xef\xbf\xbd"),
    (b"[@a]", b"== [@a]"),
    (b"[a/@b]", b"== [a/@b]"),
    # An error raised while a function's argument types are resolved.
    (b"make: make action! [[type [foo!] spec [any-type!]] 1]\nmake action! [[value] 2]",
     b"*** Script Error: foo! has no value"),
    # Very many conditions, and the argument stack or the frames overflowing.
    (b"all append/dup copy [] 1 30000", b"== 1"),
    (b"any append/dup copy [] false 30000", b"== none"),
    (b"case/all append/dup copy [] [true [1]] 30000", b"== 1"),
    (b"f: func [n] [f n + 1] f 1", b"*** Internal Error: stack overflow"),
    (b"f: func [] [all append/dup copy [] 1 19990 f] f", b"*** Internal Error: stack overflow"),
    (b"f: func [] [f] try [f]", b"== make error!"),
    # Deep walks over blocks that contain themselves, or nest too deeply.
    (b"b: [1] append/only b b compose/deep b", b"*** Internal Error: circular reference"),
    (b"b: [1] c: [2] append/only b c append/only c b compose/deep b",
     b"*** Internal Error: circular reference"),
    (b"b: [(1 + 1)] loop 2000 [b: reduce [b]] compose/deep b", b"*** Internal Error: block or"),
    # A NUL would end the file name early and name another file.
    (b'write to file! "nul^(0)name" "x"', b"*** Script Error: invalid argument: %\"nul%00name\""),
    (b'read to file! "nul^(0)name"', b"*** Script Error: invalid argument"),
    # Text is written as UTF-8 (a lone surrogate as U+FFFD); text read that
    # is not UTF-8 is an error naming the file.
    (b'write %s.txt "a^(D800)b" read %s.txt', b'== "a\xef\xbf\xbdb"'),
    (b"write/binary %b.txt #{C3} read %b.txt",
     b"*** Access Error: invalid UTF-8 encoding: %b.txt"),
]

# (address-space limit in MiB, what is typed, the start of what is printed)
NO_MEMORY = b"*** Internal Error: not enough memory"
MEMORY_CASES = [
    (1000, b"b: copy [] while [true] [append/only b copy [1 2 3 4 5 6 7 8]]", NO_MEMORY),
    (1000, b"s: copy {} while [true] [append s {abcdefghijkl}]", NO_MEMORY),
    (1000, b"b: [1] loop 40 [append b b]", NO_MEMORY),
    (1000, b"read %/dev/zero", NO_MEMORY),
    (1000, b"append/dup copy [] 1 2000000000", NO_MEMORY),
]

CHECK = b"1 + 1\n"


def session(kiv, typed, limit_mib=None):
    def limit():
        size = limit_mib * 1024 * 1024
        resource.setrlimit(resource.RLIMIT_AS, (size, size))
    # Each session runs in a folder of its own, removed afterwards.
    with tempfile.TemporaryDirectory(prefix="kiv-hostile-") as folder:
        return subprocess.run([kiv], input=typed, capture_output=True, timeout=1200, cwd=folder,
                              preexec_fn=limit if limit_mib else None)


def check(kiv, typed, expected, limit_mib=None):
    result = session(kiv, typed + b"\n" + CHECK, limit_mib)
    out = result.stdout
    answers = out.split(b">> ")
    ok = (result.returncode == 0 and len(answers) >= 3 and answers[-3].startswith(expected)
          and answers[-2].startswith(b"== 2"))
    if not ok:
        print(f"FAIL {typed!r} (exit {result.returncode}, limit {limit_mib})")
        print("  stdout:", out[:600])
        print("  stderr:", result.stderr[:600])
    return ok


def main():
    kiv = os.path.abspath(sys.argv[1])
    failed = [c for c in CASES if not check(kiv, *c)]
    # Filling memory while the collector runs at every allocation would
    # take hours, and a sanitizer cannot reserve its shadow memory under an
    # address-space limit: the memory cases run in the normal build only.
    memory_cases = ([] if os.environ.get("KIV_GC_STRESS") or os.environ.get("KIV_SANITIZED")
                    else MEMORY_CASES)
    failed += [c for c in memory_cases if not check(kiv, c[1], c[2], c[0])]
    total = len(CASES) + len(memory_cases)
    print(f"{total - len(failed)} passed, {len(failed)} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
