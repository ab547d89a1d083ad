"""What the console's test runners share: checks that collect failures,
and a main that runs each test with a folder of its own for the run."""
import os
import shutil
import sys
import tempfile

TIMEOUT = 600 if os.environ.get("KIV_GC_STRESS") else 60
FAILED = []
KIV = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else None


def check(name, condition, detail=""):
    if not condition:
        FAILED.append(name)
        print(f"FAIL {name}: {detail}")


def main(tests):
    """Runs each test with the run's folder (removed afterwards); the exit
    status tells whether every check held."""
    folder = tempfile.mkdtemp()
    try:
        for test in tests:
            test(folder)
    finally:
        shutil.rmtree(folder)
    print("failed: " + ", ".join(FAILED) if FAILED else "all passed")
    sys.exit(1 if FAILED else 0)
