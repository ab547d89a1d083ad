#!/usr/bin/env python3
"""A Ctrl-C during `call/wait` at the console ends the child with all it
started: nothing is left running that holds the console's output open, so
a reader of that output (`kiv | tee log`) sees its end.

Usage: call_halt.py KIV
"""
import os
import select
import signal
import subprocess
import time

from harness import KIV, TIMEOUT, check, main


def wait_for(condition, deadline):
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)
    return True


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    # A zombie has ended too.
    with open(f"/proc/{pid}/stat") as f:
        return f.read().rsplit(")", 1)[1].split()[0] != "Z"


def read_to_end(stream, deadline):
    """What the stream gives until its end, or None when the deadline
    passes first."""
    out = b""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([stream], [], [], 0.1)
        if ready:
            piece = os.read(stream.fileno(), 65536)
            if not piece:
                return out
            out += piece
    return None


def halted_wait(folder):
    """The child is a shell that starts a sleep of its own and waits for
    it; both hold the console's output."""
    marker = os.path.join(folder, "sleep.pid")
    p = subprocess.Popen([KIV], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, cwd=folder)
    sleeper = None
    try:
        p.stdin.write(f'call/wait/shell "sleep 300 & echo $! > {marker}; wait"\n'.encode())
        p.stdin.flush()
        deadline = time.monotonic() + TIMEOUT
        check("the child started", wait_for(
            lambda: os.path.exists(marker) and open(marker).read().strip(), deadline))
        sleeper = int(open(marker).read())
        p.send_signal(signal.SIGINT)
        p.stdin.write(b"1 + 1\n")
        p.stdin.close()
        out = read_to_end(p.stdout, deadline)
        check("the output ends", out is not None)
        check("halted, then the next line", out is not None and b"(halted)" in out
              and out.endswith(b">> == 2\n>> \n"), repr(out))
        check("the console ends with status 0", p.wait(TIMEOUT) == 0)
        check("the started sleep has ended", wait_for(lambda: not alive(sleeper), deadline))
    finally:
        p.kill()
        p.wait()
        if sleeper and alive(sleeper):
            os.kill(sleeper, signal.SIGKILL)


if __name__ == "__main__":
    main([halted_wait])
