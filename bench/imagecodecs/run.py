#!/usr/bin/env python3
"""Compares the image layer's codecs with Pillow on the 4000x3000 PNG and
JPEG of bench/data (made by bench/setup): decoding each file, and encoding
the decoded picture as PNG and as JPEG. Each operation runs in a process
of its own, which gives its peak resident memory.

Without Pillow, pngtopnm and djpeg (netpbm, libjpeg-turbo-progs) stand in
for the decoding, timed as whole processes.

Usage: bench/imagecodecs/run.py [--runs N] [--driver PATH]
"""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
sys.path.insert(0, os.path.join(ROOT, "bench"))
import inputs  # noqa: E402
import peers  # noqa: E402

DATA = str(inputs.DATA)


def measured(command):
    """The seconds a command prints (or its wall time when it prints
    none) and its peak resident memory in MiB."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    output = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        return None, None
    text = output.decode(errors="replace").strip()
    try:
        seconds = float(text.splitlines()[-1]) if text else wall
    except ValueError:
        seconds = wall
    return seconds, usage.ru_maxrss / 1024


def has_pillow():
    return subprocess.run([peers.python(), "-c", "import PIL"],
                          stderr=subprocess.DEVNULL).returncode == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--driver", default=os.path.join(ROOT, "build", "kiv_image_bench"))
    args = parser.parse_args()
    inputs.require(["photo.png", "photo.jpg"])
    png, jpeg = os.path.join(DATA, "photo.png"), os.path.join(DATA, "photo.jpg")
    if not os.path.exists(args.driver):
        sys.exit(f"missing {args.driver}: build the kiv_image_bench target")
    pillow = has_pillow()
    print(peers.describe("python"))
    pixels_mib = 4000 * 3000 * 4 / 2**20
    print(f"{'operation':<22} {'kiv s':>8} {'other s':>8} {'ratio':>6} {'kiv MiB':>8} "
          f"{'other MiB':>9} {'limit MiB':>9}")
    for name, operation, path, stand_in in [
            ("decode png", "decode", png, ["pngtopnm", png]),
            ("decode jpeg", "decode", jpeg, ["djpeg", "-pnm", jpeg]),
            ("encode png", "encode-png", png, None),
            ("encode jpeg", "encode-jpeg", jpeg, None)]:
        ours, our_memory = measured([args.driver, operation, path, str(args.runs)])
        if pillow:
            other, other_memory = measured([peers.python(), os.path.join(HERE, "pillow.py"),
                                            operation, path, str(args.runs)])
        elif stand_in:
            other, other_memory = measured(["sh", "-c", " ".join(stand_in) + " >/dev/null"])
        else:
            other, other_memory = None, None
        limit = 2 * pixels_mib + os.path.getsize(path) / 2**20
        ratio = f"{ours / other:6.2f}" if ours and other else "     -"
        show = lambda v, f: format(v, f) if v is not None else "-".rjust(len(format(0.0, f)))
        print(f"{name:<22} {show(ours, '8.3f')} {show(other, '8.3f')} {ratio} "
              f"{show(our_memory, '8.0f')} {show(other_memory, '9.0f')} {limit:9.0f}")
    print("other: " + ("Pillow" if pillow else "pngtopnm and djpeg (no Pillow)"))


if __name__ == "__main__":
    main()
