#!/usr/bin/env python3
"""Makes the input files the benchmarks read from bench/data/: the codec
corpus, the JSON and CSV documents, the pictures of the image codecs and
the GTK program of the view benchmark. None of them is committed; each is
made by a script of this folder with a fixed seed, when it is missing or
older than its source.

The runners ask for the files they need (ensure, require); run alone, it
makes them all, as bench/setup does.
"""

import subprocess
import sys
from pathlib import Path

import peers

BENCH_DIR = Path(__file__).resolve().parent
DATA = BENCH_DIR / "data"


class Input:
    """Files of bench/data made together by one command."""

    def __init__(self, files, command, sources=()):
        self.files = files
        self.command = command  # a function: its arguments are found late
        self.sources = [BENCH_DIR / s for s in sources]

    def stale(self):
        for name in self.files:
            made = DATA / name
            if not made.exists():
                return True
            if any(s.stat().st_mtime > made.stat().st_mtime for s in self.sources):
                return True
        return False

    def make(self):
        """None once the files are there, else why they are not."""
        command = [str(a) for a in self.command()]
        shown = " ".join(command)
        print("making bench/data/%s: %s" % (", ".join(self.files), shown), file=sys.stderr)
        DATA.mkdir(exist_ok=True)
        try:
            done = subprocess.run(command, stdin=subprocess.DEVNULL)
        except OSError as e:
            return "%s could not start (%s): run bench/setup" % (shown, e.strerror)
        if done.returncode != 0 or self.stale():
            return "%s failed: run bench/setup" % shown
        return None


INPUTS = [
    Input(["corpus.bin", "corpus.zlib"],
          lambda: [peers.python(), BENCH_DIR / "codecs" / "make-corpus.py"]),
    Input(["doc.json", "table.csv"],
          lambda: [peers.python(), BENCH_DIR / "formats" / "make-data.py"]),
    Input(["photo.png", "photo.jpg"], lambda: [BENCH_DIR / "imagecodecs" / "make-images.sh"]),
    Input(["view-gtk"],
          lambda: ["sh", "-c", 'cc -O2 -o "%s" "%s" $(pkg-config --cflags --libs gtk+-3.0) -lm'
                   % (DATA / "view-gtk", BENCH_DIR / "view.c")],
          sources=["view.c"]),
]


def ensure(files):
    """Makes those of FILES (names in bench/data) that are missing or
    stale; returns the problems of those that could not be made."""
    problems = []
    for made in INPUTS:
        if set(made.files) & set(files) and made.stale():
            problem = made.make()
            if problem:
                problems.append(problem)
    unknown = [f for f in files if not any(f in made.files for made in INPUTS)]
    problems += ["no script makes bench/data/" + f for f in unknown]
    return problems


def require(files):
    """Makes FILES as ensure does; exits with the problems when some could
    not be made."""
    problems = ensure(files)
    if problems:
        sys.exit("\n".join(problems))


if __name__ == "__main__":
    require([f for made in INPUTS for f in made.files])
