#!/usr/bin/env python3
"""Runs `kiv FILE ARGS...` over the small scripts next to this file and
compares what each run prints and its exit status.

The scripts are run from this file's parent folder, so that a script in a
sub-folder shows whether kiv runs it from its own folder.

Usage: run.py KIV
"""
import os
import pwd
import resource
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

MATH_ERROR = ("1\n*** Math Error: attempt to divide by zero\n*** Where: /\n"
              "*** Near : print 1 / 0 print 2\n*** Stack: \n")

DO_FILE = """inner: Inner 1.2.3 "x y"
parent header: none
path: nested/ folder: nested/
data: next to inner
in leaf, parent: Inner deeper/
leaf: leaf-value
sources: [%nested/inner.kiv]
returned: error returned, not raised
true 0 true
failing runs
error: zero-divide
true 0 true
error: protected
true 0 true
error: no-header
true 0 true
error: kiv-system
true 0 true
halting
(halted)
true 0 true
include: hihi yes
true 0 true
in leaf, parent: none deeper/
callback: leaf-value true
"""

RUNAWAY = "before\n*** Macro Error: %s\n*** Where: %s\n(halted)\n"

# The cache directory kiv falls back on without a usable HOME: the one in
# the home the password database gives the user.
PASSWD_CACHE = "%" + pwd.getpwuid(os.getuid()).pw_dir.rstrip("/") + "/.kiv/\n"

# (arguments, expected output, expected exit status[, environment
# changes, None removing a variable]); an integer after the arguments
# limits the run's address space to that many MiB.
CASES = [
    (["hello.kiv"], "hello\n", 0),
    (["error.kiv"], MATH_ERROR, 1),
    (["no-header.kiv"], "*** Error: Kiv header not found!\n", 1),
    (["system.kiv"], "*** Error: contains Kiv/System code which requires compilation!\n", 1),
    (["unloadable.kiv"],
     "*** Syntax Error: (line 2) missing ) at (1 + \n*** Where: ???\n*** Near : none\n*** Stack: \n", 1),
    (["folder/sibling.kiv"], "next to the script\n\n", 0),
    (["missing.kiv"], "*** Access Error: cannot open: %scripts/missing.kiv"
     " reason: \"No such file or directory\"\n*** Where: ???\n"
     "*** Near : none\n*** Stack: \n", 1),
    # Options before the script are stepped over; the script's own
    # arguments are not read as scripts.
    (["--verbose", "hello.kiv", "other.kiv"], "hello\n", 0),
    (["--", "hello.kiv"], "hello\n", 0),
    # A directory, or a device that never ends, is no script: an error and
    # status 1 (the device is read under a memory limit).
    (["folder/"], "*** Access Error: cannot open: %scripts/folder/ reason: \"Is a directory\"\n"
     "*** Where: ???\n"
     "*** Near : none\n*** Stack: \n", 1),
    (["/dev/zero", 512], "*** Internal Error: not enough memory\n*** Where: ???\n"
     "*** Near : none\n*** Stack: \n", 1),
    # The cache directory follows an absolute HOME only.
    (["cache.kiv"], "%/some/where/.kiv/\n", 0, {"HOME": "/some/where"}),
    (["cache.kiv"], "%/.kiv/\n", 0, {"HOME": "/"}),
    (["cache.kiv"], PASSWD_CACHE, 0, {"HOME": None}),
    (["cache.kiv"], PASSWD_CACHE, 0, {"HOME": "relative/home"}),
    (["cache.kiv"], PASSWD_CACHE, 0, {"HOME": ""}),
    # The script's arguments reach it as given: empty ones and quotes kept.
    (["args.kiv", "", "a b", 'q"x'],
     '["" "a b" {q"x}]\n{"" "a b" q"x}\n%scripts/args.kiv\nfalse\n["" "a b" {q"x}]\n', 0),
    # Options before the script are taken out of its arguments; "--catch"
    # keeps the console for input after the script, without the banner.
    (["--x", "--catch", "--", "args.kiv", "--y"],
     '["--y"]\n"--y"\n%scripts/args.kiv\ntrue\n["--y"]\n>> \n', 0),
    # After a bare "--", an argument starting "--" names the script.
    (["--", "--catch"], "*** Access Error: cannot open: %scripts/--catch"
     " reason: \"No such file or directory\"\n*** Where: ???\n"
     "*** Near : none\n*** Stack: \n", 1),
    (["--catch", "error.kiv"], MATH_ERROR + ">> \n", 0),
    # halt stops the script; the script has ended normally.
    (["halt.kiv"], "1\n(halted)\n", 0),
    # Scripts run by do: headers after other text, system/script, nested
    # folders, and the state put back after errors, a bad header and halt.
    (["do-file.kiv"], DO_FILE, 0),
    # The script is expanded from its header on before it runs; an #include
    # finds its file next to the including script, and so do its macros.
    (["preprocessed.kiv"], "linux\nyes\nhello kiv\n", 0),
    (["nested/include.kiv"], "include: hihi yes\n", 0),
    # A preprocessor stop ends the script with status 1, at its start or
    # later; runaway macros end in a macro error.
    (["macro-stop.kiv"], "*** Preprocessor Error in #macro\n*** Math Error: attempt to divide by "
     "zero\n*** Where: ???\n*** Near : 1 / 0\n*** Stack: expand-directives do-macro broken\n"
     "(halted)\n", 1),
    (["runaway.kiv", "named"], RUNAWAY % ("more than 100000 macro expansions", "[again]"), 1),
    (["runaway.kiv", "pattern"], RUNAWAY % ("more than 100000 macro expansions", "[spin]"), 1),
    (["runaway.kiv", "deep"],
     RUNAWAY % ("macro calls and includes nested deeper than 100", "[nest nest]"), 1),
    # A camera face shows the synthetic cameras' names, takes its first
    # frame and a snapshot; without cameras a line, and no image.
    (["camera.kiv"], '["Kiv Test Camera 1" "Kiv Test Camera 2"]\nimage\nimage 320x240\n', 0,
     {"KIV_CAMERA": "synthetic:2", "KIV_GUI": "headless"}),
    (["camera.kiv"], "No video capture hardware\nnone\nnone\nnone none\n", 0,
     {"KIV_CAMERA": "synthetic:0", "KIV_GUI": "headless"}),
    # With no script, the console reads standard input.
    (["--verbose"], "--== Kiv 0.6.6 ==-- \nType HELP for starting information. \n\n>> \n", 0),
]


def limited(mib):
    """A child set-up that limits the address space to `mib` MiB."""
    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (mib << 20, mib << 20))
    return limit


def environment(changes):
    env = dict(os.environ)
    for name, value in changes.items():
        if value is None:
            env.pop(name, None)
        else:
            env[name] = value
    return env


def run(kiv, args, expected, status, changes=None):
    cwd = os.path.join(HERE, "..")
    limit = args.pop() if isinstance(args[-1], int) else None
    if limit and os.environ.get("KIV_SANITIZED"):
        return True  # a sanitizer cannot reserve its shadow memory under the limit
    script = next((i for i, a in enumerate(args)
                   if not a.startswith("--") or (i > 0 and args[i - 1] == "--")), None)
    paths = [os.path.join("scripts", a) if i == script and not a.startswith("/") else a
             for i, a in enumerate(args)]
    result = subprocess.run([kiv] + paths, cwd=cwd, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=1200, env=environment(changes or {}),
                            preexec_fn=limited(limit) if limit else None)
    if result.stdout == expected and result.returncode == status:
        return True
    print(f"FAIL kiv {' '.join(paths)}: exit {result.returncode} (expected {status})")
    print("expected:", repr(expected))
    print("actual:  ", repr(result.stdout))
    if result.stderr:
        print("stderr:", result.stderr)
    return False


def append_to(name, text):
    def change(library):
        with open(os.path.join(library, name), "a", encoding="utf-8") as f:
            f.write(text)
    return change


def remove(name):
    return lambda library: os.remove(os.path.join(library, name))


# Booting from a copy of the library sources (KIV_BOOT_SOURCES), changed
# by a function of its folder: (change, text expected on standard error,
# expected exit status). A failing boot program or an unreadable source
# ends start-up with status 254 and says why on standard error.
BOOT_CASES = [
    (None, "", 0),
    (append_to("math.kiv", "\nprint 1 / 0\n"), "*** Math Error: attempt to divide by zero", 254),
    (append_to("boot.kiv", "\nunknown-word-at-boot\n"),
     "*** Script Error: unknown-word-at-boot has no value", 254),
    (remove("errors.kiv"), "Error: cannot read the boot source", 254),
    (remove("loading.kiv"), "Error: cannot read the boot source", 254),
]


def run_boot(kiv, change, expected_error, status):
    with tempfile.TemporaryDirectory() as folder:
        library = os.path.join(folder, "library")
        shutil.copytree(os.path.join(HERE, "..", "..", "library"), library)
        # The GUI engine's and the console's sources lie beside the library
        # folder.
        shutil.copytree(os.path.join(HERE, "..", "..", "gui", "engine"),
                        os.path.join(folder, "gui", "engine"))
        shutil.copytree(os.path.join(HERE, "..", "..", "console"), os.path.join(folder, "console"),
                        ignore=shutil.ignore_patterns("*.cpp", "*.h"))
        if change:
            change(library)
        result = subprocess.run([kiv, os.path.join("scripts", "hello.kiv")],
                                cwd=os.path.join(HERE, ".."), stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=1200,
                                env=environment({"KIV_BOOT_SOURCES": library}))
    expected_output = "hello\n" if status == 0 else ""
    if (result.returncode == status and result.stdout == expected_output and
            expected_error in result.stderr):
        return True
    print(f"FAIL boot from sources ({expected_error or 'unchanged'}): exit {result.returncode} "
          f"(expected {status})")
    print("stdout:", repr(result.stdout))
    print("stderr:", repr(result.stderr))
    return False


def main():
    kiv = os.path.abspath(sys.argv[1])
    failed = [c for c in CASES if not run(kiv, *c)]
    failed += [c for c in BOOT_CASES if not run_boot(kiv, *c)]
    total = len(CASES) + len(BOOT_CASES)
    print(f"{total - len(failed)} passed, {len(failed)} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
