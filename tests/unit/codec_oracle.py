#!/usr/bin/env python3
"""Python's zlib and gzip as the reference for the codec tests.

For each NAME.raw in the folder given: checks that NAME.deflate, NAME.zlib
and NAME.gzip (made by our codecs) decompress to it with Python's zlib and
gzip, printing one line per failure; then writes what zlib makes of it at
levels 0, 1, 6 and 9, with the fixed, Huffman-only and run-length
strategies and with window bits 9 to 15 (NAME.KIND.zlib), and a gzip file
that records a file name (NAME.named.gz), for our readers to decode.
Exits 1 when a check failed.
"""

import gzip
import io
import sys
import zlib
from pathlib import Path


def variants(raw):
    for level in (0, 1, 6, 9):
        yield "L%d" % level, zlib.compress(raw, level)
    for name, strategy in (("fixed", zlib.Z_FIXED), ("huffman", zlib.Z_HUFFMAN_ONLY),
                           ("rle", zlib.Z_RLE)):
        c = zlib.compressobj(6, zlib.DEFLATED, 15, 8, strategy)
        yield name, c.compress(raw) + c.flush()
    for wbits in range(9, 16):
        c = zlib.compressobj(9, zlib.DEFLATED, wbits)
        yield "w%d" % wbits, c.compress(raw) + c.flush()


def main():
    folder = Path(sys.argv[1])
    failed = False
    for path in sorted(folder.glob("*.raw")):
        raw = path.read_bytes()
        stem = path.with_suffix("")
        checks = (("deflate", lambda b: zlib.decompress(b, -15)), ("zlib", zlib.decompress),
                  ("gzip", gzip.decompress))
        for suffix, decode in checks:
            ours = stem.with_suffix("." + suffix)
            try:
                ok = decode(ours.read_bytes()) == raw
            except Exception as e:  # a refused stream is a failure like any other
                ok = False
                print("%s: %s" % (ours.name, e))
            if not ok:
                failed = True
                print("%s does not decompress to %s" % (ours.name, path.name))
        for kind, data in variants(raw):
            Path("%s.%s.zlib" % (stem, kind)).write_bytes(data)
        buffer = io.BytesIO()
        with gzip.GzipFile(filename=stem.name + ".txt", mode="wb", fileobj=buffer, mtime=0) as f:
            f.write(raw)
        Path("%s.named.gz" % stem).write_bytes(buffer.getvalue())
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
