#!/usr/bin/env python3
"""Drives the console in a pseudo-terminal as a user at a keyboard does:
Ctrl-C halting what runs, Ctrl-C and Ctrl-D at the prompt, the line
editor's keys, the history and hidden input.

Usage: run.py KIV
"""
import fcntl
import os
import pty
import random
import select
import shutil
import signal
import socket
import struct
import sys
import tempfile
import termios
import time

KIV = sys.argv[1]
failures = []
# How long a wait for kiv's output or exit lasts: long enough for the
# slowest honest case on a heavily loaded machine (the wait ends as soon
# as the event comes).
PATIENCE = 60


class Session:
    """A kiv started on a new pseudo-terminal."""

    def __init__(self, args=()):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(KIV, [KIV, *args], dict(os.environ, TERM="xterm"))
        self.out = b""
        self.status = None
        self.expect(b">> " if not args else b"")

    def read(self, seconds):
        end = time.time() + seconds
        while time.time() < end:
            ready, _, _ = select.select([self.fd], [], [], 0.02)
            if ready:
                try:
                    data = os.read(self.fd, 4096)
                except OSError:
                    return
                if not data:
                    return
                self.out += data

    def expect(self, text, seconds=PATIENCE):
        """Reads until the output ends with `text` (or the time is up)."""
        end = time.time() + seconds
        while time.time() < end and not self.out.endswith(text):
            self.read(0.05)
            if self.exited():
                break
        return self.out.endswith(text)

    def type(self, keys, then=b">> "):
        self.out = b""
        os.write(self.fd, keys)
        if then:
            self.expect(then)
        return self.out.decode("utf-8", "replace")

    def exited(self, seconds=0.0):
        end = time.time() + seconds
        while self.status is None:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = status
            elif time.time() >= end:
                break
            else:
                time.sleep(0.02)
        return self.status is not None

    def await_cooked(self, seconds=PATIENCE):
        """Waits until the editor has given the terminal back (signals on):
        a Ctrl-C typed earlier would reach the editor as a key."""
        end = time.time() + seconds
        while time.time() < end and not termios.tcgetattr(self.fd)[3] & termios.ISIG:
            self.read(0.02)

    def echo_on(self):
        return bool(termios.tcgetattr(self.fd)[3] & termios.ECHO)

    def close(self):
        if not self.exited():
            os.kill(self.pid, 9)
            self.exited(PATIENCE)
        os.close(self.fd)


def check(name, condition, detail=""):
    if not condition:
        failures.append(f"{name}: {detail}")


def halts():
    """Ctrl-C stops code that runs long or waits: '(halted)', and the words
    stay. The waits: a loopback server that never answers, a FIFO that
    nobody writes and one that nobody reads."""
    folder = tempfile.mkdtemp()
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    silent = os.path.join(folder, "silent")
    os.mkfifo(silent)
    writer = os.open(silent, os.O_RDWR)  # an open end that never writes
    unread = os.path.join(folder, "unread")
    os.mkfifo(unread)
    try:
        run_halts(server.getsockname()[1], silent, unread)
    finally:
        os.close(writer)
        server.close()
        shutil.rmtree(folder)


def run_halts(port, silent, unread):
    cases = [
        ("forever", "forever []"),
        ("wait", "wait 10"),
        ("recursion", "f: func [n] [either n = 0 [0] [f n - 1]] loop 10000000 [f 5000]"),
        ("parse", 's: append/dup copy "" "a" 30000000 parse s [any [ahead "a" skip]]'),
        ("call", 'call/wait "sleep 10"'),
        ("http", f"read http://127.0.0.1:{port}/"),
        ("pipe read", f"read %{silent}"),
        ("pipe open", f'write %{unread} "x"'),
        # Long loops inside one native, which never come back to the
        # interpreter's checks.
        ("form", "b: append/dup copy [] make bitset! 4000000 2000 form b"),
        ("mold", 'b: append/dup copy [] append/dup copy "" "^-" 1000000 2000 mold b'),
        ("find", 's: append/dup copy "" "a" 10000000 '
                 'find s append append/dup copy "" "a" 100000 "b"'),
        ("parse to", 's: append/dup copy "" "a" 10000000 '
                     'p: append append/dup copy "" "a" 100000 "b" parse s [to p]'),
        ("sort", 'sort append/dup copy "" "qwertyuiopasdfghjklzxcvbnm" 2000000'),
    ]
    s = Session()
    s.type(b"x: 42\r")
    for name, code in cases:
        s.type(code.encode() + b"\r", then=None)
        s.await_cooked()
        time.sleep(0.5 if name != "parse" else 1.5)
        started = time.time()
        out = s.type(b"\x03")
        check("halt " + name, "(halted)" in out and time.time() - started < 5, repr(out))
        out = s.type(b"print x\r")
        check("after halt " + name, "42" in out, repr(out))
    s.close()


def prompt_keys():
    """Ctrl-C at the prompt drops what is typed and gathered; a second
    Ctrl-C on an empty prompt, or Ctrl-D, ends the console with status 0."""
    s = Session()
    # Each line typed once its prompt shows: keys typed ahead reach the
    # terminal while kiv evaluates, where Ctrl-C is a signal, not a key.
    s.type(b"[\r", then=b"[    ")
    s.type(b"1 2\r", then=b"[    ")
    out = s.type(b"\x03")
    check("escape while gathering", "(escape)" in out, repr(out))
    out = s.type(b"print 7\r")
    check("after escape", "7" in out and "1 2" not in out, repr(out))
    s.type(b"print 1\x03")  # a typed line: dropped, not counted
    s.type(b"\x03")
    out = s.type(b"print 8\r")
    check("one Ctrl-C on an empty prompt", "8" in out, repr(out))
    s.type(b"\x03")
    s.type(b"\x03", then=None)
    check("double Ctrl-C", s.exited(PATIENCE) and os.WIFEXITED(s.status) and
          os.WEXITSTATUS(s.status) == 0, str(s.status))
    s.close()
    s = Session()
    s.type(b"\x04", then=None)
    check("Ctrl-D", s.exited(PATIENCE) and os.WIFEXITED(s.status) and os.WEXITSTATUS(s.status) == 0,
          str(s.status))
    s.close()


def ctrl_c_races():
    """SIGINT (as the terminal sends for Ctrl-C while no line is edited)
    right after a short command, at a spread of delays, so that it lands
    while the line is read, evaluated or printed and while the console
    moves on to the next prompt: each one halts the command, drops a line
    or waits for the console to take it, and the console answers
    afterwards. One signal a line: two in a row at an empty prompt would
    be the console's way out. Ended by Ctrl-D, it exits with status 0."""
    s = Session()
    seen = ""
    delays = [0, 0.0001, 0.0003, 0.001, 0.002, 0.004]
    deadline = time.time() + 20
    count = 0
    while count < 100 or (count < 1000 and time.time() < deadline):
        count += 1
        s.type(b"x: 1 + 1\r", then=None)
        time.sleep(random.choice(delays))
        os.kill(s.pid, signal.SIGINT)
        seen += s.type(b"", then=b">> ")
        if "Throw Error" in seen or s.exited():
            break
    # The last signal may still halt the first try.
    for _ in range(3):
        s.type(b'print "alive"\r', then=b"alive\r\n>> ")
        out = s.out.decode("utf-8", "replace")
        if out.endswith("alive\r\n>> "):
            break
    check("Ctrl-C races", "Throw Error" not in seen + out and out.endswith("alive\r\n>> "),
          f"after {count}: {(seen + out)[-300:]!r}")
    s.type(b"\x04", then=None)
    check("Ctrl-C races: Ctrl-D", s.exited(5) and os.WIFEXITED(s.status) and
          os.WEXITSTATUS(s.status) == 0, str(s.status))
    s.close()


# Keys typed at the prompt and the result the line they make gives.
LEFT, RIGHT, UP, DOWN = b"\x1b[D", b"\x1b[C", b"\x1b[A", b"\x1b[B"
HOME, END, DELETE = b"\x1b[H", b"\x1b[F", b"\x1b[3~"
KEYS = [
    (b"12" + LEFT + b"3", "== 132"),
    (b"23\x01" + b"1", "== 123"),  # Ctrl-A
    (b"12" + HOME + b"9", "== 912"),
    (b"12\x01" + END + b"3", "== 123"),  # Ctrl-A, End
    (b"12\x01\x05" + b"3", "== 123"),  # Ctrl-A, Ctrl-E
    (b"12\x01" + DELETE, "== 2"),
    (b"123" + LEFT + LEFT + b"\x0b", "== 1"),  # Ctrl-K
    (b"123\x15" + b"8", "== 8"),  # Ctrl-U
    (b"5 + 6 + 70\x17" + b"1", "== 12"),  # Ctrl-W
    (b"10 + 20\x1b[1;5D" + b"5", "== 530"),  # Ctrl+Left
    ("length? \"aé\x7fb\"".encode(), "== 2"),  # Backspace over a 2-byte character
    ("length? \"a中\x7fb\"".encode(), "== 2"),  # over a wide one
    (b"100\r200\r" + UP + UP, "== 100"),
    (b"300\r400\r" + UP + UP + DOWN, "== 400"),
    (b"500\r" + UP + b"1", "== 5001"),
    (b"600\r700\r\x12" + b"60", "== 600"),  # Ctrl-R search
]


def editing():
    s = Session()
    for keys, expected in KEYS:
        out = s.type(keys + b"\r")
        last = out.strip().splitlines()[-2] if len(out.strip().splitlines()) > 1 else out
        check("keys " + repr(keys), expected in last.replace("\r", ""), repr(out))
    s.close()


def history():
    """Typed lines enter system/console/history newest first: not an empty
    line, not a repeat of the newest, never hidden input."""
    s = Session()
    s.type(b"1 + 1\r")
    s.type(b"1 + 1\r")
    s.type(b"\r")
    s.type(b'x: ask/hide "pw: "\r', then=b"pw: ")
    out = s.type(b"secret\r")
    # The line's own result shows it; the typing before it does not.
    check("hidden input not echoed", "secret" not in out.split("\n")[0], repr(out))
    out = s.type(b"print mold system/console/history\r")
    expected = '["print mold system/console/history" {x: ask/hide "pw: "} "1 + 1"]'
    check("history", expected in out, repr(out))
    out = s.type(b"print x\r")
    check("hidden input read", "secret" in out, repr(out))
    # Echo comes back after a halt in hidden input.
    s.type(b'ask/hide "pw: "\r', then=b"pw: ")
    out = s.type(b"\x03")
    check("halt in hidden input", "(halted)" in out, repr(out))
    s.type(b"wait 2\r", then=None)
    s.await_cooked()
    check("echo after halt", s.echo_on())
    s.close()


def size():
    """The terminal's size reaches system/console/size, also after the
    window changes; results are cut to its width."""
    s = Session()
    for columns, rows in [(100, 30), (40, 12)]:
        fcntl.ioctl(s.fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))
        time.sleep(0.1)
        s.type(b"\r")  # the new size is read at the next prompt
        out = s.type(b"print system/console/size\r")
        check("size", f"{columns}x{rows}" in out, repr(out))
    out = s.type(b'append/dup copy "" "a" 200\r')
    result = [line for line in out.split("\r\n") if line.startswith("== ")]
    check("cut to width", result and len(result[0]) <= 40 and result[0].endswith('...'),
          repr(out))
    s.close()


def scripts():
    """Ctrl-C ends a script quietly with status 130 (interrupted, not a
    success), its terminal as before."""
    folder = tempfile.mkdtemp()
    try:
        scripted = [("loop", "forever []"), ("hidden", 'ask/hide "pw: "'),
                    ("form", "form append/dup copy [] make bitset! 4000000 2000")]
        for name, body in scripted:
            path = os.path.join(folder, name + ".kiv")
            with open(path, "w") as f:
                f.write(f"Kiv []\nprint \"on\"\n{body}\n")
            s = Session([path])
            s.expect(b"pw: " if name == "hidden" else b"on\r\n")
            if name == "form":
                time.sleep(0.5)
            s.out = b""
            os.write(s.fd, b"\x03")
            check("script " + name, s.exited(PATIENCE) and os.WIFEXITED(s.status) and
                  os.WEXITSTATUS(s.status) == 130, str(s.status))
            s.read(0.2)
            check("script quiet " + name, s.out.strip() in (b"", b"^C"), repr(s.out))
            check("script echo " + name, s.echo_on())
            s.close()
    finally:
        shutil.rmtree(folder)


def terminated():
    """SIGTERM during hidden input ends kiv by the signal with the
    terminal's echo back on, at the prompt and in a script."""
    folder = tempfile.mkdtemp()
    try:
        path = os.path.join(folder, "hidden.kiv")
        with open(path, "w") as f:
            f.write('Kiv []\nask/hide "pw: "\n')
        for name, args in [("console", []), ("script", [path])]:
            s = Session(args)
            if not args:
                s.type(b'ask/hide "pw: "\r', then=None)
            s.expect(b"pw: ")
            check("echo off " + name, not s.echo_on())
            os.kill(s.pid, 15)
            check("terminated " + name, s.exited(PATIENCE) and os.WIFSIGNALED(s.status) and
                  os.WTERMSIG(s.status) == 15, str(s.status))
            check("echo after SIGTERM " + name, s.echo_on())
            s.close()
    finally:
        shutil.rmtree(folder)


for test in (halts, prompt_keys, ctrl_c_races, editing, history, size, scripts, terminated):
    test()
for failure in failures:
    print("FAIL", failure)
sys.exit(1 if failures else 0)
