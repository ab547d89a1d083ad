#!/usr/bin/env python3
"""What starting GTK costs and keeps: kiv (argv[1]) lays out a check box and
a button, which starts GTK and measures its controls, under environments
that do and do not offer a bus to GTK's accessibility bridge.

- Measuring the controls loads no image loader (the theme's check mark is
  an SVG: its loader and librsvg are some 9 MB resident).
- Where a bus could be reached (dbus-launch on the PATH, the bus address on
  the root window), the bridge still asks for it; the user's NO_AT_BRIDGE
  is obeyed; where none could be, the bridge is left out, and the variable
  set for GTK's start is gone again from the program's environment.

Run under an X server (xvfb-run). Usage: gtk_start.py KIV
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading

SCRIPT = r'''Kiv []
layout [check "a" button "b"]
print ["bridge" mold get-env "NO_AT_BRIDGE"]
print ["svg" to logic! find read %/proc/self/maps "pixbufloader-svg"]
'''

BUS_VARIABLES = ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "XDG_RUNTIME_DIR",
                 "NO_AT_BRIDGE")


class Listener:
    """A Unix socket that counts the connections made to it and closes each
    at once (the bridge then gives up rather than waiting for an answer)."""

    def __init__(self, path):
        self.connections = 0
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.bind(path)
        self.sock.listen(4)
        self.sock.settimeout(0.2)
        self.done = False
        self.thread = threading.Thread(target=self.serve)
        self.thread.start()

    def serve(self):
        while not self.done:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            self.connections += 1
            conn.close()

    def close(self):
        self.done = True
        self.thread.join()
        self.sock.close()


def run(kiv, script, path, extra):
    env = {k: v for k, v in os.environ.items() if k not in BUS_VARIABLES}
    env.update(KIV_GUI="gtk", PATH=path, **extra)
    out = subprocess.run([kiv, script], capture_output=True, text=True, env=env, timeout=60)
    return dict(line.split(" ", 1) for line in out.stdout.splitlines() if " " in line)


def root_property(value):
    args = ["-root", "-remove", "AT_SPI_BUS"] if value is None else \
        ["-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", value]
    subprocess.run(["xprop"] + args, check=True, stderr=subprocess.DEVNULL)


def main(kiv):
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "start.kiv")
        with open(script, "w") as f:
            f.write(SCRIPT)
        fake_bin = os.path.join(folder, "bin")
        os.mkdir(fake_bin)
        marker = os.path.join(folder, "launched")
        launcher = os.path.join(fake_bin, "dbus-launch")
        with open(launcher, "w") as f:
            f.write(f"#!/bin/sh\necho launched >> '{marker}'\nexit 1\n")
        os.chmod(launcher, 0o755)
        empty_bin = os.path.join(folder, "empty")
        os.mkdir(empty_bin)
        listener = Listener(os.path.join(folder, "a11y"))
        system_launcher = os.access("/usr/bin/dbus-launch", os.X_OK)
        # The server drops the root window's properties when its last client
        # leaves: one stays connected throughout.
        keeper = subprocess.Popen(["xprop", "-root", "-spy", "AT_SPI_BUS"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # name, PATH, extra environment, bus on the root window,
        # (NO_AT_BRIDGE seen by the program, dbus-launch run, bus asked)
        cases = [
            ("no bus", empty_bin, {}, False, ("none", False, False)),
            ("dbus-launch on the PATH", fake_bin, {}, False, ("none", True, False)),
            ("the user's NO_AT_BRIDGE", fake_bin, {"NO_AT_BRIDGE": "1"}, False,
             ('"1"', False, False)),
            ("a bus on the root window", empty_bin, {}, True, ("none", False, True)),
        ]
        try:
            for name, path, extra, on_root, (bridge, launched, asked) in cases:
                if os.path.exists(marker):
                    os.remove(marker)
                listener.connections = 0
                root_property("unix:path=" + os.path.join(folder, "a11y") if on_root else None)
                seen = run(kiv, script, path, extra)
                got = [seen.get("bridge"), os.path.exists(marker), listener.connections > 0]
                expected = [bridge, launched, asked]
                if system_launcher:
                    # libdbus starts /usr/bin/dbus-launch before the PATH's.
                    got[1] = expected[1] = None
                if got != expected:
                    failures.append(f"{name}: (NO_AT_BRIDGE, dbus-launch run, bus asked) "
                                    f"{got}, expected {expected}")
                if seen.get("svg") != "false":
                    failures.append(f"{name}: an image loader was loaded at start ({seen})")
        finally:
            root_property(None)
            keeper.kill()
            keeper.wait()
            listener.close()
    if failures:
        print("FAIL:", "; ".join(failures))
        return 1
    print("GTK starts with the bridge only where a bus can be reached, and no image loader")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
