#!/usr/bin/env python3
"""Writes runtime/case_tables.cpp: the simple case mapping pairs and the
character width ranges, taken from the Unicode Character Database.

    python3 tools/gen-case-tables.py > runtime/case_tables.cpp

The database comes from Debian's unicode-data package; another folder can be
given with --ucd DIR. The output depends only on the database files, so
running the script again reproduces the committed file byte for byte.
"""
import argparse
import re
import sys

BMP_END = 0x10000


def read_unicode_data(path):
    """Yields (code point, general category, simple upper, simple lower)."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            upper = int(fields[12], 16) if fields[12] else None
            lower = int(fields[13], 16) if fields[13] else None
            yield int(fields[0], 16), fields[2], upper, lower


def read_east_asian_width(path):
    """Returns the version text and a list of (first, last, width class)."""
    version = None
    ranges = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if version is None:
                m = re.match(r"#\s*EastAsianWidth-([\d.]+)\.txt", line)
                if m:
                    version = m.group(1)
            data = line.split("#", 1)[0].strip()
            if not data:
                continue
            span, width = (part.strip() for part in data.split(";"))
            first, _, last = span.partition("..")
            ranges.append((int(first, 16), int(last or first, 16), width))
    return version, ranges


def merge(points):
    """Turns a set of code points into sorted [first, last] ranges."""
    out = []
    for cp in sorted(points):
        if out and out[-1][1] + 1 == cp:
            out[-1][1] = cp
        else:
            out.append([cp, cp])
    return out


def emit_words(name, comment, words):
    lines = [f"// {comment}", f"const uint32_t {name}_words[] = {{"]
    for i in range(0, len(words), 8):
        chunk = ", ".join(f"0x{w:X}" for w in words[i:i + 8])
        lines.append(f"    {chunk},")
    lines.append("};")
    lines.append(f"const WordTable {name} = {{{name}_words, {len(words)}}};")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ucd", default="/usr/share/unicode")
    ucd = parser.parse_args().ucd

    upper, lower, zero = [], [], set()
    for cp, category, up, low in read_unicode_data(f"{ucd}/UnicodeData.txt"):
        if up is not None:
            upper.append((cp, up))
        if low is not None:
            lower.append((cp, low))
        # Combining and enclosing marks and format characters take no
        # column; the soft hyphen is shown.
        if category in ("Mn", "Me") or (category == "Cf" and cp != 0xAD):
            zero.add(cp)
    # Hangul medial vowels and final consonants join the preceding syllable.
    zero.update(range(0x1160, 0x1200))
    zero.add(0x200B)

    version, widths = read_east_asian_width(f"{ucd}/EastAsianWidth.txt")
    wide, ambiguous = set(), set()
    for first, last, width in widths:
        if width in ("W", "F"):
            wide.update(range(first, last + 1))
        elif width == "A":
            ambiguous.update(range(first, last + 1))
    # Zero width wins over the East Asian classes.
    wide -= zero
    ambiguous -= zero

    def pairs(table, bmp):
        words = []
        for source, target in sorted(table):
            if (source < BMP_END) == bmp:
                words += [source, target]
        return words

    def ranges(points):
        return [w for r in merge(points) for w in r]

    out = [
        f"// Generated from the Unicode {version} character database by",
        "//     python3 tools/gen-case-tables.py > runtime/case_tables.cpp",
        "// Do not edit: change the script and run it again.",
    "// clang-format off",
        "",
        '#include "runtime/case.h"',
        "",
        "namespace kiv::unicode {",
        "",
        emit_words("upper_bmp", "Simple upper-case mapping in the BMP: (from, to) pairs.",
                   pairs(upper, True)),
        emit_words("lower_bmp", "Simple lower-case mapping in the BMP: (from, to) pairs.",
                   pairs(lower, True)),
        emit_words("upper_astral", "Simple upper-case mapping above the BMP: (from, to) pairs.",
                   pairs(upper, False)),
        emit_words("lower_astral", "Simple lower-case mapping above the BMP: (from, to) pairs.",
                   pairs(lower, False)),
        "} // namespace kiv::unicode",
        "",
        "namespace kiv::wcwidth {",
        "",
        emit_words("zero_width", "Characters that take no column: [first, last] ranges.",
                   ranges(zero)),
        emit_words("wide", "East Asian wide and full-width characters: [first, last] ranges.",
                   ranges(wide)),
        emit_words("ambiguous", "East Asian ambiguous-width characters: [first, last] ranges.",
                   ranges(ambiguous)),
        "} // namespace kiv::wcwidth",
    ]
    sys.stdout.write("\n".join(out))


if __name__ == "__main__":
    main()
