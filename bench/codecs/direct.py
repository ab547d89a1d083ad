#!/usr/bin/env python3
"""The Python side of bench/codecs/direct.cpp: zlib level 6, zlib.decompress of
the same level-6 stream, zlib.crc32 and adler32 and hashlib digests over the
benchmark corpus, the median of several runs of each. It runs itself under
the interpreter peers.py chooses and names it first."""

import hashlib
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
import inputs  # noqa: E402
import peers  # noqa: E402
from timing import median_seconds  # noqa: E402

DATA = inputs.DATA


def main():
    peers.exec_under_python()
    inputs.require(["corpus.bin", "corpus.zlib"])
    print(peers.describe("python"))
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    corpus = (DATA / "corpus.bin").read_bytes()
    packed = (DATA / "corpus.zlib").read_bytes()
    print("deflate  %.3f s" % median_seconds(runs, lambda: zlib.compress(corpus, 6)))
    print("inflate  %.3f s" % median_seconds(runs, lambda: zlib.decompress(packed)))
    print("crc32    %.3f s" % median_seconds(runs, lambda: zlib.crc32(corpus)))
    print("adler32  %.3f s" % median_seconds(runs, lambda: zlib.adler32(corpus)))
    for name in ("md5", "sha1", "sha256"):
        print("%-8s %.3f s" % (name, median_seconds(runs, lambda: hashlib.new(name, corpus).digest())))


if __name__ == "__main__":
    main()
