#!/usr/bin/env python3
"""The console engine over standard input and output: how typed lines are
gathered into one input (the continuation cue after each line), how
results are printed, how the command line names a script and its
arguments, and the exit status of each way a run ends.

Usage: engine.py KIV
"""
import os
import shutil
import subprocess
import sys
import tempfile

KIV = None
FAILED = []
TIMEOUT = 600 if os.environ.get("KIV_GC_STRESS") else 60
BANNER = "--== Kiv 0.6.6 ==-- \nType HELP for starting information. \n\n"


def check(name, condition, detail=""):
    if not condition:
        FAILED.append(name)
        print(f"FAIL {name}: {detail}")


def run(args, stdin="", cwd=None):
    return subprocess.run([KIV] + args, input=stdin, capture_output=True, text=True,
                          timeout=TIMEOUT, cwd=cwd)


# Lines typed one after the other, and the prompt shown before each of
# them and after the last: ">> " for a new input, else the cue of what is
# left open. The last line's input is complete (or dropped).
DELIMITERS = [
    (["[", "1 2", "]"], [">> ", "[    ", "[    ", ">> "]),
    (["(1 +", "2)"], [">> ", "(    ", ">> "]),
    (["#[a 1", "b 2]"], [">> ", "[    ", ">> "]),
    (["(1, ", "2)"], [">> ", ">> ", ">> "]),  # a point does not continue
    (["a: [1] a/(1", ")"], [">> ", "(    ", ">> "]),
    (["{abc", "d}"], [">> ", "{    ", ">> "]),
    (["%{a}b", "c}%"], [">> ", "{    ", ">> "]),
    (["%%{a}%", "}%%"], [">> ", "{    ", ">> "]),
    (["<a", 'b="1">'], [">> ", "<    ", ">> "]),
    (["[<a", 'b="1">]'], [">> ", "<    ", ">> "]),
    (["#{01", "02}"], [">> ", "{    ", ">> "]),
    (['["]" #"["', "]"], [">> ", "[    ", ">> "]),
    (["[{]} ; ]", "]"], [">> ", "[    ", ">> "]),
    (["[", "; ] ) }", "]"], [">> ", "[    ", "[    ", ">> "]),
    (["[{a {b", "c}", "d} e", "x]"], [">> ", "{    ", "{    ", "[    ", ">> "]),
    (["1 ]"], [">> ", ">> "]),  # an error no line can mend
    (["(1 ]"], [">> ", ">> "]),
    (["[1 (2", "3 ]"], [">> ", "(    ", ">> "]),
    (['"a'], [">> ", ">> "]),
    (["[a", "b\x1b"], [">> ", "[    ", ">> "]),  # escape drops the input
    (["", "", "1"], [">> ", ">> ", ">> ", ">> "]),
    (["[", "", "3]"], [">> ", "[    ", "[    ", ">> "]),
]


def prompts_of(output):
    """The prompts in a piped run's output, in order: each line of output
    up to the first prompt is dropped."""
    found = []
    text = output[len(BANNER):] if output.startswith(BANNER) else output
    for piece in text.split("\n"):
        while True:
            for prompt in (">> ", "[    ", "(    ", "{    ", "<    "):
                if piece.startswith(prompt):
                    found.append(prompt)
                    piece = piece[len(prompt):]
                    break
            else:
                break
    return found


def delimiters():
    for lines, expected in DELIMITERS:
        out = run([], "\n".join(lines) + "\n").stdout
        got = prompts_of(out)
        # The last prompt is the one the end of input meets.
        check("cues " + repr(lines), got == expected, f"{got} {out!r}")


# Scripts by name: their text, the arguments after the script's name,
# what standard input holds, the exit status and what the run prints.
SCRIPTS = [
    ("ok", "Kiv [] print 1", [], "", 0, "1\n"),
    ("error", "Kiv [] print 1 / 0", [], "", 1, None),
    ("headerless", "print 1", [], "", 1, "*** Error: Kiv header not found!\n"),
    ("system", "Kiv/System [] 1", [], "", 1,
     "*** Error: contains Kiv/System code which requires compilation!\n"),
    ("halt", "Kiv [] print 1 halt print 2", [], "", 0, "1\n(halted)\n"),
    ("quit", "Kiv [] quit/return 3", [], "", 3, ""),
    ("catch", "Kiv [] print 1", ["--catch"], "1 + 1\n", 0, "1\n>> == 2\n>> \n"),
    ("error-caught", "Kiv [] 1 / 0", ["--catch"], "", 0, None),
]


def exit_codes(folder):
    for name, text, options, stdin, status, output in SCRIPTS:
        path = os.path.join(folder, name + ".kiv")
        with open(path, "w") as f:
            f.write(text)
        result = run(options + [path], stdin)
        check("status " + name, result.returncode == status, f"{result.returncode} {result.stdout!r}")
        if output is not None:
            check("output " + name, result.stdout == output, repr(result.stdout))
    # A missing script: the read error, status 1, and the folder unchanged
    # (the loop does not start on standard input).
    missing = os.path.join(folder, "sub", "none.kiv")
    result = run([missing], "print what-dir\n", cwd=folder)
    check("status missing", result.returncode == 1, str(result.returncode))
    check("missing names the file", "none.kiv" in result.stdout and "what-dir" not in result.stdout,
          repr(result.stdout))


# The arguments given, and what the script sees: system/options/args and
# system/script/args.
ARGUMENTS = [
    ([], "[]", '""'),
    (["a", "b c"], '["a" "b c"]', '{a "b c"}'),
    # After the script an option is one of its arguments.
    (["--catch"], '["--catch"]', '"--catch"'),
    (["--", "x"], '["x"]', '"x"'),
    (['q"x', ""], '[{q"x} ""]', '{q"x ""}'),
]


def arguments(folder):
    for name in ["args.kiv", "with space.kiv", "quote'd.kiv"]:
        os.makedirs(os.path.join(folder, "in dir"), exist_ok=True)
        path = os.path.join(folder, "in dir", name)
        with open(path, "w") as f:
            f.write("Kiv [] print [mold system/options/args mold system/script/args]"
                    " print last split-path what-dir")
        for given, args, line in ARGUMENTS:
            options = ["--other"] + (["--"] if given[:1] == ["--"] else [])
            rest = given[1:] if given[:1] == ["--"] else given
            result = run(options + [path] + rest, "", cwd=folder)
            check(f"arguments {name} {given}",
                  result.stdout == f"{args} {line}\nin dir/\n", repr(result.stdout))


def main():
    global KIV
    KIV = os.path.abspath(sys.argv[1])
    delimiters()
    folder = tempfile.mkdtemp()
    try:
        exit_codes(folder)
        arguments(folder)
    finally:
        shutil.rmtree(folder)
    print("failed: " + ", ".join(FAILED) if FAILED else "all passed")
    sys.exit(1 if FAILED else 0)


if __name__ == "__main__":
    main()
