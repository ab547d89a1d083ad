"""What the console's test runners share: checks that collect failures,
and a main that runs each test with a folder of its own for the run."""
import os
import shutil
import sys
import tempfile
import time

# A guard against a hung run, sized for the slowest honest one: under the
# collector's stress mode on a heavily loaded machine.
TIMEOUT = 1200
FAILED = []
KIV = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else None


def check(name, condition, detail=""):
    if not condition:
        FAILED.append(name)
        print(f"FAIL {name}: {detail}")


def wait_until(condition):
    """Whether `condition()` comes to hold within the time, polled."""
    end = time.monotonic() + TIMEOUT
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


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
