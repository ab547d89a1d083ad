#!/usr/bin/env python3
"""Makes the inputs of the jsonload, jsonwrite and csvload benchmarks.

bench/data/doc.json: about 20 MB of JSON, an array of records made with a
fixed seed: strings with escapes and non-ASCII text, 32-bit integers,
floats, booleans, nulls and nested arrays and objects. The floats are
multiples of 1/4 below a million and the only escapes are the short ones,
so that Kiv and Python write them alike.
bench/data/table.csv: about 5 MB of CSV, 20 columns, with quoted fields
holding delimiters, quotes and line breaks.
"""
import csv
import json
import random
from pathlib import Path

DATA = Path(__file__).resolve().parent.parent / "data"
WORDS = ["alpha", "beta", "gamma", "δέλτα", "épsilon", "日本語", "tab\there", 'quote"d',
         "back\\slash", "line\nbreak", "plain", "mixed ✓ text", "emoji 😀"]


def text(rng):
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 6)))


def record(rng, i):
    return {
        "id": i,
        "name": text(rng),
        "score": rng.randint(-4_000_000, 4_000_000) / 4,
        "count": rng.randint(-2**31, 2**31 - 1),
        "ok": rng.random() < 0.5,
        "missing": None,
        "tags": [text(rng) for _ in range(rng.randint(0, 4))],
        "nested": {"values": [rng.randint(0, 1000) for _ in range(rng.randint(0, 8))],
                   "inner": {"label": text(rng), "flag": rng.random() < 0.3}},
    }


def make_json(rng, size):
    records, length = [], 0
    while length < size:
        r = record(rng, len(records) + 1)
        records.append(r)
        length += len(json.dumps(r, ensure_ascii=False)) + 1
    (DATA / "doc.json").write_text(json.dumps(records, ensure_ascii=False, indent=1),
                                   encoding="utf-8")


def make_csv(rng, size):
    with open(DATA / "table.csv", "w", encoding="utf-8", newline="") as f:
        writer = csv.writer(f, lineterminator="\n")
        writer.writerow([f"col{i}" for i in range(20)])
        while f.tell() < size:
            writer.writerow([text(rng) if c % 3 == 0 else str(rng.randint(0, 99999))
                             for c in range(20)])


def main():
    DATA.mkdir(exist_ok=True)
    rng = random.Random(2026)
    make_json(rng, 20_000_000)
    make_csv(rng, 5_000_000)


if __name__ == "__main__":
    main()
