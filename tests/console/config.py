#!/usr/bin/env python3
"""The graphical console's configuration file, headless: loading each
fixture (damaged, mistyped, out of range, unknown keys), the notice and
the copy of a damaged file, the file written at quit (whole, mode 0600),
an unreadable file left alone, a read-only folder, and a console killed
while saving in a loop.

Usage: config.py KIV
"""
import os
import signal
import stat
import subprocess
import tempfile
import time

from harness import KIV, TIMEOUT, check, main

# A console context made headless from its own fields and the
# configuration's: the script loads the configuration, prints it, then
# quits through the console (which saves it).
PROLOGUE = """Kiv []
gui-console-ctx: make object! append copy [
    cfg-dir: cfg-path: cfg: none
    font: make font! [name: "Mono" size: 11 color: 0.0.0]
    caret-clr: 0.0.0.1
    console: make face! [type: 'rich-text size: 200x200 font: make font! [name: "Mono" size: 11]]
    caret: make face! [type: 'base color: caret-clr]
    tips: make face! [type: 'panel]
    terminal: none
    win: make face! [type: 'window text: "Kiv Console" size: 200x200]
] gui-console-cfg-fields
gui-console-ctx/load-cfg
; What the window would show, saved at quit.
gui-console-ctx/win/size: gui-console-ctx/cfg/win-size
gui-console-ctx/console/font: make font! [
    name: gui-console-ctx/cfg/font-name size: gui-console-ctx/cfg/font-size
]
"""

DEFAULTS = {
    "win-pos": "(200, 200)", "win-size": "640x480", "font-name": '"Mono"', "font-size": "11",
    "font-color": "0.0.0", "background": "252.252.252", "mouse-paste?": "false",
    "menu-bar?": "true", "dark-mode?": "no", "buffer-lines": "10000", "history": "[]",
}
KEYS = list(DEFAULTS)
HEADER = 'Kiv [\n\tPurpose: "Kiv Console Configuration File"\n]\n\n'



def run(home, body, stdin=""):
    script = os.path.join(home, "run.kiv")
    with open(script, "w") as f:
        f.write(PROLOGUE + body)
    return subprocess.run([KIV, script], input=stdin, capture_output=True, text=True,
                          timeout=TIMEOUT, env=dict(os.environ, HOME=home))


def cfg_file(home):
    return os.path.join(home, ".kiv", "Kiv-Console", "console-cfg.kiv")


def write_cfg(home, content):
    os.makedirs(os.path.dirname(cfg_file(home)), exist_ok=True)
    with open(cfg_file(home), "wb") as f:
        f.write(content if isinstance(content, bytes) else content.encode())


def loaded(out):
    """The key/value pairs the script printed, as molded texts."""
    pairs = {}
    for line in out.splitlines():
        if line.startswith("CFG "):
            key, _, value = line[4:].partition(" ")
            pairs[key] = value
    return pairs


PRINT_CFG = 'foreach [k v] gui-console-ctx/cfg [print ["CFG" to word! k mold :v]]\n'


def body(pairs):
    return HEADER + "".join(f"{k}: {v}\n" for k, v in pairs)


# (name, file content or None, expected values differing from the
# defaults, whether the damaged-file notice is expected)
FIXTURES = [
    ("no file", None, {}, False),
    ("saved", body([("win-pos", "(10, 20)"), ("win-size", "700x500"),
                    ("history", '["b" "a"]'), ("font-size", "14")]),
     {"win-pos": "(10, 20)", "win-size": "700x500", "history": '["b" "a"]', "font-size": "14"},
     False),
    ("pair win-pos", body([("win-pos", "30x40")]), {"win-pos": "(30, 40)"}, False),
    ("mistyped", body([(k, '"x"' if k != "font-name" else "1") for k in KEYS]), {}, False),
    ("out of range", body([("font-size", "100"), ("buffer-lines", "0"), ("win-size", "10x10"),
                           ("font-name", '""')]), {}, False),
    ("history", body([("history", "[" + " ".join(f'"{i}"' for i in range(150)) + " 1 x]")]),
     {"history": "[" + " ".join(f'"{i}"' for i in range(100)) + "]"}, False),
    ("unknown keys kept", body([("extra", "42")]), {"extra": "42"}, False),
    ("truncated", HEADER + 'font-size: 13\nbackground: 1.2.3\nhistory: ["a" "b', 
     {"font-size": "13", "background": "1.2.3"}, True),
    ("headerless", "font-size: 12 menu-bar?: false", {"font-size": "12", "menu-bar?": "false"},
     True),
    ("binary", b"\x00\xff\xfe\x80junk", {}, True),
]


def fixtures(folder):
    for name, content, changed, notice in FIXTURES:
        home = tempfile.mkdtemp(dir=folder)
        if content is not None:
            write_cfg(home, content)
        result = run(home, PRINT_CFG + "quit\n")
        got = loaded(result.stdout)
        expected = dict(DEFAULTS, **changed)
        check("loaded " + name, got == expected,
              f"{got} {result.stdout!r} {result.stderr!r}")
        warned = "*** Warning:" in result.stdout and "console-cfg.kiv.damaged" in result.stdout
        check("notice " + name, warned == notice, repr(result.stdout))
        check("damaged copy " + name,
              os.path.exists(cfg_file(home) + ".damaged") == notice)
        # The file written at quit loads with its header and every key.
        with open(cfg_file(home), encoding="utf-8") as f:
            text = f.read()
        check("saved " + name, text.startswith(HEADER) and all(k + ":" in text for k in KEYS),
              repr(text))
        check("mode " + name, stat.S_IMODE(os.stat(cfg_file(home)).st_mode) == 0o600,
              oct(os.stat(cfg_file(home)).st_mode))
        again = run(home, PRINT_CFG)
        check("reloaded " + name, loaded(again.stdout) == got and "Warning" not in again.stdout,
              repr(again.stdout))


def refusals(folder):
    # A file that cannot be read is never overwritten.
    home = tempfile.mkdtemp(dir=folder)
    write_cfg(home, body([("font-size", "13")]))
    os.chmod(cfg_file(home), 0)
    if not os.access(cfg_file(home), os.R_OK):  # root reads any file
        result = run(home, PRINT_CFG + "quit\n")
        check("unreadable: defaults", loaded(result.stdout) == DEFAULTS, repr(result.stdout))
        os.chmod(cfg_file(home), 0o600)
        with open(cfg_file(home)) as f:
            check("unreadable: untouched", "font-size: 13" in f.read())
    # A folder the file cannot be written to: quit goes on, one line on
    # standard error.
    home = tempfile.mkdtemp(dir=folder)
    write_cfg(home, body([]))
    result = run(home, "gui-console-ctx/cfg-path: %/proc/no-such/console-cfg.kiv quit/return 4\n")
    check("unwritable: quit goes on", result.returncode == 4, str(result.returncode))
    check("unwritable: one line", result.stderr.count("\n") == 1 and "*** Warning" in result.stderr,
          repr(result.stderr))
    # Saving that gives no value or fails on a configuration that is not
    # one: quit goes on, with the warning only for the failure.
    for name, setup, warned in [
        ("no file to save", "gui-console-ctx/cfg-path: none", False),
        ("broken configuration", "gui-console-ctx/cfg: [a: 1]", True),
    ]:
        result = run(tempfile.mkdtemp(dir=folder), setup + " quit/return 4\n")
        check(f"{name}: quit goes on", result.returncode == 4,
              f"{result.returncode} {result.stdout!r} {result.stderr!r}")
        check(f"{name}: report", result.stderr.count("*** Warning") == int(warned) and
              "Error" not in result.stdout + result.stderr, repr(result.stderr))


def killed(folder):
    """A console killed while it saves in a loop leaves a file that loads."""
    home = tempfile.mkdtemp(dir=folder)
    script = os.path.join(home, "run.kiv")
    with open(script, "w") as f:
        f.write(PROLOGUE + "forever [append gui-console-ctx/cfg/history \"line\" "
                "clear skip gui-console-ctx/cfg/history 50 gui-console-ctx/save-cfg]\n")
    for delay in (0.0, 0.05, 0.2):
        process = subprocess.Popen([KIV, script], env=dict(os.environ, HOME=home),
                                   stdout=subprocess.DEVNULL)
        # Killed some time after its first save, while it saves again.
        end = time.time() + TIMEOUT
        while not os.path.exists(cfg_file(home)) and time.time() < end:
            time.sleep(0.01)
        time.sleep(delay)
        process.send_signal(signal.SIGKILL)
        process.wait()
        result = run(home, PRINT_CFG)
        check(f"killed {delay}s after a save", "Warning" not in result.stdout and
              loaded(result.stdout).get("history", "").startswith('["line"'),
              repr(result.stdout))
    leftovers = [n for n in os.listdir(os.path.dirname(cfg_file(home)))
                 if n != "console-cfg.kiv" and not n.startswith("console-cfg.kiv.")]
    check("killed: nothing else", leftovers == [], str(leftovers))



if __name__ == "__main__":
    main([fixtures, refusals, killed])
