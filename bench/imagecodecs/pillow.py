"""The same operations as driver.cpp with Pillow: the median of several
runs, in seconds, on standard output. Run by run.py under the Debian
interpreter that python3-pil installs into.

Usage: pillow.py decode|encode-png|encode-jpeg FILE [runs]
"""
import io
import os
import sys

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from timing import median_seconds  # noqa: E402


def decoded(path):
    image = Image.open(path)
    image.load()
    return image


operation, path = sys.argv[1], sys.argv[2]
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
if operation == "decode":
    seconds = median_seconds(runs, lambda: decoded(path))
else:
    image = decoded(path)
    kind, options = ("PNG", {}) if operation == "encode-png" else ("JPEG", {"quality": 90})
    seconds = median_seconds(runs, lambda: image.save(io.BytesIO(), kind, **options))
print(f"{seconds:.4f}")
