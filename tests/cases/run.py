#!/usr/bin/env python3
"""Runs a console transcript through kiv and compares what it prints.

A transcript is what a session at the console shows after its banner:
prompt lines (">> "
or a continuation cue such as "[    ") followed by what the user typed, and
the lines the console printed. The typed text is fed to kiv's standard
input; kiv does not echo it, so the expected output is the transcript with
the typed text (and its line end) removed after each prompt.

Usage: run.py KIV TRANSCRIPT...
"""
import difflib
import os
import subprocess
import sys

PROMPTS = (">> ", "[    ", "(    ", "{    ", "<    ", "kiv> ")

# What the console prints first, before its first prompt.
BANNER = "--== Kiv 0.6.6 ==-- \nType HELP for starting information. \n\n"


def split(transcript):
    typed, expected = [], [BANNER]
    for line in transcript.splitlines(keepends=True):
        prompt = next((p for p in PROMPTS if line.startswith(p)), None)
        if prompt is None:
            expected.append(line)
        else:
            typed.append(line[len(prompt):].rstrip("\n"))
            expected.append(prompt)
    # The end of input prints a last prompt and a line feed.
    expected.append(">> \n")
    return "\n".join(typed) + "\n", "".join(expected)


# A guard against a hung run, sized for the slowest honest one: under the
# collector's stress mode, which collects at every allocation, on a
# heavily loaded machine a transcript runs hundreds of times slower (the
# longest took over 20 minutes).
TIMEOUT = 3600 if os.environ.get("KIV_GC_STRESS") else 1200


def run(kiv, path):
    with open(path, encoding="utf-8") as f:
        typed, expected = split(f.read())
    result = subprocess.run([kiv], input=typed, capture_output=True, text=True, timeout=TIMEOUT)
    return check(path, expected, result)


def check(path, expected, result):
    """True when the run printed what the transcript expects and ended
    well; otherwise prints the difference."""
    actual = result.stdout
    if actual == expected and result.returncode == 0:
        return True
    print(f"FAIL {path} (exit {result.returncode})")
    sys.stdout.writelines(difflib.unified_diff(
        expected.splitlines(keepends=True), actual.splitlines(keepends=True),
        "expected", "actual"))
    if result.stderr:
        print("stderr:", result.stderr)
    return False


def main():
    kiv, paths = sys.argv[1], sys.argv[2:]
    failed = [p for p in paths if not run(kiv, p)]
    print(f"{len(paths) - len(failed)} passed, {len(failed)} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
