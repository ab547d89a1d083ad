#!/usr/bin/env python3
"""Checks load-csv and to-csv against Python's csv module, both ways.

Generated tables of text fields (quotes, delimiters, CR, LF, CRLF, spaces,
empty fields, non-ASCII text) are written by to-csv and read by csv.reader,
and written by csv.writer and read by load-csv, with the comma and with
another delimiter.

Each run writes its files into a temporary folder removed afterwards.

Usage: run.py KIV
"""
import csv
import io
import json
import random
import subprocess
import sys
import tempfile
from pathlib import Path


def random_field(rng, least=0):
    alphabet = ['a', 'b', ' ', '"', ',', ';', '\n', '\r', '\r\n', 'é', '😀', '编']
    return "".join(rng.choice(alphabet) for _ in range(rng.randrange(least, 6)))


def random_table(rng):
    # A lone empty field is an empty line, which Python's reader skips.
    width = rng.randrange(1, 5)
    least = 1 if width == 1 else 0
    return [[random_field(rng, least) for _ in range(width)] for _ in range(rng.randrange(1, 5))]


def run(kiv, folder, code):
    script = Path(folder) / "case.kiv"
    script.write_text("Kiv []\n" + code + "\n", encoding="utf-8")
    result = subprocess.run([kiv, str(script)], capture_output=True, timeout=1200)
    if result.returncode != 0:
        raise RuntimeError(result.stdout.decode() + result.stderr.decode())
    return result.stdout.decode("utf-8")


def main():
    kiv = sys.argv[1]
    rng = random.Random(24)
    tables = [random_table(rng) for _ in range(150)]
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for delimiter in (",", ";"):
            source = Path(folder) / "tables.json"
            source.write_text(json.dumps(tables), encoding="utf-8")
            written = []
            for table in tables:
                buffer = io.StringIO()
                # Its writer quotes a carriage return only when the line end holds one.
                csv.writer(buffer, delimiter=delimiter, lineterminator="\r\n").writerows(table)
                written.append(buffer.getvalue())
            texts = Path(folder) / "texts.json"
            texts.write_text(json.dumps(written), encoding="utf-8")
            out = run(kiv, folder, f"""
                foreach table load-json read %{source.as_posix()} [
                    print to-json to-csv/with table #"{delimiter}"
                ]
                foreach text load-json read %{texts.as_posix()} [
                    print to-json load-csv/with text #"{delimiter}"
                ]""").split("\n")[:-1]
            for table, line in zip(tables, out):
                read = list(csv.reader(io.StringIO(json.loads(line), newline=""),
                                       delimiter=delimiter))
                if read != table:
                    failures.append(f"to-csv {table!r} read by Python as {read!r}")
            for table, line in zip(tables, out[len(tables):]):
                if json.loads(line) != table:
                    failures.append(f"load-csv of Python's text for {table!r}: {line}")
            if len(out) != 2 * len(tables):
                failures.append(f"{len(out)} lines for {2 * len(tables)} tables")
    for failure in failures[:20]:
        print(failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
