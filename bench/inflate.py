import zlib
from pathlib import Path

packed = (Path(__file__).resolve().parent / "data" / "corpus.zlib").read_bytes()
data = zlib.decompress(packed)
print("decompressed", len(packed), "bytes to", len(data))
