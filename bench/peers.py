#!/usr/bin/env python3
"""Chooses the interpreters the benchmarks compare Kiv with.

A peer is Debian's own executable when it is installed (/usr/bin/python3
is the interpreter bench/setup installs pycairo, gi, Tk and Pillow for),
else the real executable behind the name on PATH. A version manager's
shim on PATH is never measured: it costs a fraction of a second at every
start and lacks Debian's modules. Python's real executable is the one the
interpreter reports as sys.executable; other peers' is the file the name
resolves to.

The runners import this module (they may themselves run under any
Python); shell scripts ask it for a path:

    python=$(python3 bench/peers.py python)

and without an argument it prints every peer's path and version.
"""

import functools
import os
import shutil
import subprocess
import sys


class Peer:
    """One interpreter: Debian's path, the name to look for on PATH, and
    the command and input that make it print its version (its first
    words, before two spaces, are kept)."""

    def __init__(self, debian_path, name, version_command, version_input=None):
        self.debian_path = debian_path
        self.name = name
        self.version_command = version_command
        self.version_input = version_input

    def real_behind(self, found):
        """The executable FOUND on PATH stands for: the file its links
        lead to."""
        return os.path.realpath(found)


class PythonPeer(Peer):
    def real_behind(self, found):
        """The interpreter a shim FOUND on PATH runs, which names itself in
        sys.executable."""
        done = subprocess.run([found, "-c", "import sys; print(sys.executable)"],
                              capture_output=True, text=True)
        return done.stdout.strip() if done.returncode == 0 and done.stdout.strip() else None


PEERS = {
    "python": PythonPeer("/usr/bin/python3", "python3", lambda exe: [exe, "--version"]),
    "lua": Peer("/usr/bin/lua5.4", "lua5.4", lambda exe: [exe, "-v"]),
    # tkcon is a Tcl script that wish runs: the version is Tcl's (and Tk's).
    "tkcon": Peer("/usr/bin/tkcon", "tkcon", lambda exe: ["tclsh"],
                  "puts \"Tcl/Tk [info patchlevel]\""),
}


@functools.cache
def path(name):
    """The executable of peer NAME, or None when it is not installed."""
    peer = PEERS[name]
    if os.access(peer.debian_path, os.X_OK):
        return peer.debian_path
    found = shutil.which(peer.name)
    return peer.real_behind(found) if found else None


def python():
    """The Python the benchmarks measure."""
    return path("python")


def lua():
    """The Lua the benchmarks measure, or None."""
    return path("lua")


@functools.cache
def version(name):
    """The version peer NAME reports, as "Python 3.11.2" or "Lua 5.4.4"."""
    peer, executable = PEERS[name], path(name)
    if executable is None:
        return None
    try:
        done = subprocess.run(peer.version_command(executable), input=peer.version_input or "",
                              capture_output=True, text=True)
    except OSError:
        return "version unknown"
    words = (done.stdout or done.stderr).strip().split("  ")[0]
    return words or "version unknown"


def describe(name):
    """One line naming peer NAME's path and version, for a table's head."""
    executable = path(name)
    if executable is None:
        return "%s: not installed (bench/setup installs it)" % PEERS[name].name
    return "%s: %s (%s)" % (name, executable, version(name))


def exec_under_python():
    """Starts this script again under the chosen Python when another
    interpreter runs it; returns when it already runs there."""
    chosen = python()
    if chosen and os.path.realpath(sys.executable) != os.path.realpath(chosen):
        os.execv(chosen, [chosen] + sys.argv)


def main(args):
    if not args:
        for name in PEERS:
            print(describe(name))
        return 0
    executable = path(args[0])
    if executable is None:
        print("%s is not installed: run bench/setup" % PEERS[args[0]].name, file=sys.stderr)
        return 1
    print(executable)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
