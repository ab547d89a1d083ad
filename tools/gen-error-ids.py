#!/usr/bin/env python3
"""Writes the C++ header of error id indexes from the error catalog.

The catalog (library/errors.kiv) is the one place where errors are
defined; the runtime raises them by (category index, field index), so the
indexes are generated from it at build time: categories in file order,
and within each category the field index of every id (0 `code`, 1 `type`,
then the ids in order).
"""
import re
import sys

from generated import write_if_changed

CPP_KEYWORDS = {"break", "continue", "return", "throw", "protected", "type", "delete",
                "not", "and", "or", "xor", "default", "switch", "case", "do", "new"}


def cpp_name(word):
    name = word.replace("-", "_").replace("?", "_q")
    return name + "_" if name in CPP_KEYWORDS else name


def parse(text):
    categories = []
    current = None
    for line in text.splitlines():
        m = re.match(r"^([a-z0-9-]+): object \[$", line)
        if m:
            current = (m.group(1), [])
            categories.append(current)
            continue
        if line.startswith("]"):
            current = None
            continue
        m = re.match(r"^    ([a-z0-9?-]+):", line)
        if current and m:
            current[1].append(m.group(1))
    return categories


def main(source, target):
    categories = parse(open(source, encoding="utf-8").read())
    out = ["// Generated from library/errors.kiv by tools/gen-error-ids.py; do not edit.",
           "#pragma once", "", "#include <cstdint>", "", "namespace kiv::err {", ""]
    for index, (category, fields) in enumerate(categories):
        out.append(f"namespace {cpp_name(category)} {{")
        out.append(f"constexpr uint32_t category = {index};")
        for field_index, field in enumerate(fields):
            if field in ("code", "type"):
                continue
            out.append(f"constexpr uint32_t {cpp_name(field)} = {field_index};")
        out.append(f"}} // namespace {cpp_name(category)}")
        out.append("")
    out.append("} // namespace kiv::err")
    content = "\n".join(out) + "\n"
    write_if_changed(target, content)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
