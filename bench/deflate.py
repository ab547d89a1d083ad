import zlib
from pathlib import Path

data = (Path(__file__).resolve().parent / "data" / "corpus.bin").read_bytes()
packed = zlib.compress(data, 6)
print("compressed", len(data), "bytes to", len(packed))
