#!/usr/bin/env python3
"""Runs one fuzz target for a bounded number of inputs.

The seed corpus is made afresh in a temporary folder: every input typed in
the console transcripts (tests/cases/*.txt), and every Kiv source of
library/ and tests/scripts/; targets of binary formats add seeds of their
own made from these (KIV_FUZZ_SEEDS names the folder). The target runs in
that folder, so that what it writes stays there, and the folder is removed
afterwards. A crash is shown with the input that caused it.

Usage: run.py TARGET [--runs N] [-- LIBFUZZER-OPTIONS...]
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
PROMPTS = (">> ", "[    ", "(    ", "{    ", "<    ")


def transcript_inputs(path):
    """The inputs typed in a transcript, continuation lines joined."""
    inputs = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith(">> "):
                inputs.append(line[3:])
            elif line.startswith(PROMPTS[1:]) and inputs:
                inputs[-1] += line[5:]
    return [i for i in inputs if i.strip()]


def write_seeds(corpus):
    seeds = []
    for path in sorted(glob.glob(os.path.join(ROOT, "tests", "cases", "*.txt"))):
        seeds += transcript_inputs(path)
    for pattern in ("library/*.kiv", "tests/scripts/*.kiv"):
        for path in sorted(glob.glob(os.path.join(ROOT, pattern))):
            with open(path, encoding="utf-8") as f:
                seeds.append(f.read())
    for n, seed in enumerate(seeds):
        with open(os.path.join(corpus, f"seed-{n}"), "w", encoding="utf-8") as f:
            f.write(seed)
    return len(seeds)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("target")
    parser.add_argument("--runs", type=int, default=20000)
    # A fixed seed makes the bounded runs of the test suite repeatable: a
    # finding there shows again on the next run. Long runs pass -seed=0 for
    # a fresh one.
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("options", nargs="*")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="kiv-fuzz-")
    try:
        corpus = os.path.join(work, "corpus")
        os.mkdir(corpus)
        write_seeds(corpus)
        command = [os.path.abspath(args.target), f"-runs={args.runs}", f"-seed={args.seed}", "-timeout=60",
                   "-rss_limit_mb=4096", f"-artifact_prefix={work}/"] + args.options + [corpus]
        # Targets of binary formats add seeds of their own made from these.
        environment = dict(os.environ, KIV_FUZZ_SEEDS=corpus)
        result = subprocess.run(command, cwd=work, env=environment)
        for artifact in glob.glob(os.path.join(work, "*-*")):
            if os.path.isfile(artifact):
                with open(artifact, "rb") as f:
                    print(f"{os.path.basename(artifact)}: {f.read()!r}")
        sys.exit(result.returncode)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
