#!/usr/bin/env python3
"""Writes the ~50 MB mixed corpus of the codec benchmarks (deflate,
inflate, checksum) to bench/data/corpus.bin, and the zlib level-6 stream of
it to bench/data/corpus.zlib for the inflate benchmark.

The parts, in order: generated English-like text, the repository's
sources, the kiv executable, CSV-like rows of numbers, a raw RGB image,
runs of repeated bytes, and random bytes. Everything is generated from a
fixed seed; the sources and the executable are those of the checkout.
"""

import random
import sys
import zlib
from pathlib import Path

BENCH_DIR = Path(__file__).resolve().parent.parent
ROOT = BENCH_DIR.parent
MB = 1 << 20


def text(rng, size):
    words = ("the of and to in is that for it as was with be by on not he this are or "
             "his from at which but have an they you were her she there been one all "
             "would their we him more if has when will no who so can said about what "
             "compress stream value block series context function interpreter").split()
    out, n = [], 0
    while n < size:
        sentence = " ".join(rng.choice(words) for _ in range(rng.randint(4, 18)))
        line = sentence.capitalize() + (".\n" if rng.random() < 0.3 else ". ")
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]


def sources(size):
    files = sorted(p for d in ("runtime", "datatypes", "evaluator", "io", "library", "boot")
                   for p in (ROOT / d).rglob("*") if p.suffix in (".cpp", ".h", ".kiv"))
    data = b"".join(p.read_bytes() for p in files)
    return (data * (size // max(len(data), 1) + 1))[:size]


def executable(size):
    exe = ROOT / "build" / "kiv"
    data = exe.read_bytes() if exe.exists() else b""
    return data[:size]


def csv(rng, size):
    out, n = [], 0
    while n < size:
        row = "%d,%d,%.4f,%.2f,%s\n" % (rng.randint(1, 10 ** 6), rng.randint(1900, 2030),
                                         rng.gauss(0, 100), rng.random() * 1000,
                                         rng.choice(("ok", "late", "lost", "open")))
        out.append(row)
        n += len(row)
    return "".join(out).encode()[:size]


def image(rng, width, height):
    rows = []
    for y in range(height):
        row = bytearray(width * 3)
        for x in range(width):
            noise = rng.randint(-6, 6)
            row[3 * x] = (x + noise) & 0xFF
            row[3 * x + 1] = (y + noise) & 0xFF
            row[3 * x + 2] = ((x ^ y) >> 2) & 0xFF
        rows.append(bytes(row))
    return b"".join(rows)


def runs(rng, size):
    out, n = [], 0
    while n < size:
        k = rng.randint(1, 2000)
        out.append(bytes([rng.randint(0, 255)]) * k)
        n += k
    return b"".join(out)[:size]


def main():
    rng = random.Random(19650218)
    parts = [text(rng, 20 * MB), sources(8 * MB), executable(8 * MB), csv(rng, 8 * MB),
             image(rng, 1024, 2048), runs(rng, 2 * MB), rng.randbytes(2 * MB)]
    corpus = b"".join(parts)
    out = BENCH_DIR / "data"
    out.mkdir(exist_ok=True)
    (out / "corpus.bin").write_bytes(corpus)
    (out / "corpus.zlib").write_bytes(zlib.compress(corpus, 6))
    print("bench/data/corpus.bin: %d bytes" % len(corpus), file=sys.stderr)


if __name__ == "__main__":
    main()
