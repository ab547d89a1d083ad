#!/usr/bin/env python3
"""The console engine over standard input and output: how typed lines are
gathered into one input (the continuation cue after each line), how
results are printed, how the command line names a script and its
arguments, and the exit status of each way a run ends.

Usage: engine.py KIV
"""
import fcntl
import os
import random
import signal
import subprocess
import threading
import time

from harness import KIV, TIMEOUT, check, main, wait_until
BANNER = "--== Kiv 0.6.6 ==-- \nType HELP for starting information. \n\n"
F_SETPIPE_SZ = 1031  # fcntl: the capacity of a pipe (Linux)



def run(args, stdin="", cwd=None):
    return subprocess.run([KIV] + args, input=stdin, capture_output=True, text=True,
                          timeout=TIMEOUT, cwd=cwd)


# Lines typed one after the other, and the prompt shown before each of
# them and after the last: ">> " for a new input, else the cue of what is
# left open. The last line's input is complete (or dropped).
DELIMITERS = [
    (["[", "1 2", "]"], [">> ", "[    ", "[    ", ">> "]),
    (["(1 +", "2)"], [">> ", "(    ", ">> "]),
    (["#[a 1", "b 2]"], [">> ", "[    ", ">> "]),
    (["(1, ", "2)"], [">> ", ">> ", ">> "]),  # a point does not continue
    (["a: [1] a/(1", ")"], [">> ", "(    ", ">> "]),
    (["{abc", "d}"], [">> ", "{    ", ">> "]),
    (["%{a}b", "c}%"], [">> ", "{    ", ">> "]),
    (["%%{a}%", "}%%"], [">> ", "{    ", ">> "]),
    (["<a", 'b="1">'], [">> ", "<    ", ">> "]),
    (["[<a", 'b="1">]'], [">> ", "<    ", ">> "]),
    (["#{01", "02}"], [">> ", "{    ", ">> "]),
    (['["]" #"["', "]"], [">> ", "[    ", ">> "]),
    (["[{]} ; ]", "]"], [">> ", "[    ", ">> "]),
    (["[", "; ] ) }", "]"], [">> ", "[    ", "[    ", ">> "]),
    (["[{a {b", "c}", "d} e", "x]"], [">> ", "{    ", "{    ", "[    ", ">> "]),
    (["1 ]"], [">> ", ">> "]),  # an error no line can mend
    (["(1 ]"], [">> ", ">> "]),
    (["[1 (2", "3 ]"], [">> ", "(    ", ">> "]),
    (['"a'], [">> ", ">> "]),
    (["[a", "b\x1b"], [">> ", "[    ", ">> "]),  # escape drops the input
    (["", "", "1"], [">> ", ">> ", ">> ", ">> "]),
    (["[", "", "3]"], [">> ", "[    ", "[    ", ">> "]),
    (["[#{01", "02}]"], [">> ", "{    ", ">> "]),
    (["#{0}  "], [">> ", ">> "]),
] + [
    # A bad binary inside brackets is an error at once, as outside them.
    ([bad, "1"], [">> ", ">> ", ">> "])
    for bad in ["[1 #{0}]", "(#{0})", "#[a: #{0}]", "[2#{0}]", "[#{ZZ}]"]
]


def prompts_of(output):
    """The prompts in a piped run's output, in order: each line of output
    up to the first prompt is dropped."""
    found = []
    text = output[len(BANNER):] if output.startswith(BANNER) else output
    for piece in text.split("\n"):
        while True:
            for prompt in (">> ", "[    ", "(    ", "{    ", "<    "):
                if piece.startswith(prompt):
                    found.append(prompt)
                    piece = piece[len(prompt):]
                    break
            else:
                break
    return found


def delimiters(folder):
    for lines, expected in DELIMITERS:
        out = run([], "\n".join(lines) + "\n").stdout
        got = prompts_of(out)
        # The last prompt is the one the end of input meets.
        check("cues " + repr(lines), got == expected, f"{got} {out!r}")


# Scripts by name: their text, the arguments after the script's name,
# what standard input holds, the exit status and what the run prints.
SCRIPTS = [
    ("ok", "Kiv [] print 1", [], "", 0, "1\n"),
    ("error", "Kiv [] print 1 / 0", [], "", 1, None),
    ("headerless", "print 1", [], "", 1, "*** Error: Kiv header not found!\n"),
    ("system", "Kiv/System [] 1", [], "", 1,
     "*** Error: contains Kiv/System code which requires compilation!\n"),
    ("halt", "Kiv [] print 1 halt print 2", [], "", 0, "1\n(halted)\n"),
    ("quit", "Kiv [] quit/return 3", [], "", 3, ""),
    ("catch", "Kiv [] print 1", ["--catch"], "1 + 1\n", 0, "1\n>> == 2\n>> \n"),
    ("error-caught", "Kiv [] 1 / 0", ["--catch"], "", 0, None),
]


def exit_codes(folder):
    for name, text, options, stdin, status, output in SCRIPTS:
        path = os.path.join(folder, name + ".kiv")
        with open(path, "w") as f:
            f.write(text)
        result = run(options + [path], stdin)
        check("status " + name, result.returncode == status, f"{result.returncode} {result.stdout!r}")
        if output is not None:
            check("output " + name, result.stdout == output, repr(result.stdout))
    # A missing script: the read error, status 1, and the folder unchanged
    # (the loop does not start on standard input).
    missing = os.path.join(folder, "sub", "none.kiv")
    result = run([missing], "print what-dir\n", cwd=folder)
    check("status missing", result.returncode == 1, str(result.returncode))
    check("missing names the file", "none.kiv" in result.stdout and "what-dir" not in result.stdout,
          repr(result.stdout))


# The arguments given, and what the script sees: system/options/args and
# system/script/args.
ARGUMENTS = [
    ([], "[]", '""'),
    (["a", "b c"], '["a" "b c"]', '{a "b c"}'),
    # After the script an option is one of its arguments.
    (["--catch"], '["--catch"]', '"--catch"'),
    (["--", "x"], '["x"]', '"x"'),
    (['q"x', ""], '[{q"x} ""]', '{q"x ""}'),
]


def arguments(folder):
    for name in ["args.kiv", "with space.kiv", "quote'd.kiv"]:
        os.makedirs(os.path.join(folder, "in dir"), exist_ok=True)
        path = os.path.join(folder, "in dir", name)
        with open(path, "w") as f:
            f.write("Kiv [] print [mold system/options/args mold system/script/args]"
                    " print last split-path what-dir")
        for given, args, line in ARGUMENTS:
            options = ["--other"] + (["--"] if given[:1] == ["--"] else [])
            rest = given[1:] if given[:1] == ["--"] else given
            result = run(options + [path] + rest, "", cwd=folder)
            check(f"arguments {name} {given}",
                  result.stdout == f"{args} {line}\nin dir/\n", repr(result.stdout))


def asking(folder):
    """ask and input over a pipe: the question shown, the line without its
    LF or CR LF, none at the end of input."""
    path = os.path.join(folder, "ask.kiv")
    with open(path, "w") as f:
        f.write('Kiv [] probe ask "q? " probe input probe ask/hide "h? " probe ask "end? "')
    result = run([path], "ab\r\ncd\nsecret\n")
    check("ask over a pipe", result.stdout == 'q? "ab"\n"cd"\nh? "secret"\nend? \nnone\n',
          repr(result.stdout))


def blocked_writing(pid):
    """Whether a thread of the process waits in a write to a full pipe."""
    tasks = f"/proc/{pid}/task"
    for task in os.listdir(tasks):
        try:
            with open(f"{tasks}/{task}/wchan") as f:
                if "pipe_write" in f.read():
                    return True
        except FileNotFoundError:  # the thread ended
            pass
    return False


def halting(folder):
    """A Ctrl-C while the console itself works ends the command with
    (halted), and the console answers the next line: here the halt comes
    while the console prints a long result into a pipe nobody reads yet
    (the write blocks until the signal)."""
    p = subprocess.Popen([KIV], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, cwd=folder)
    try:
        p.stdin.write(b'append/dup copy "" "a" 300000\n')
        p.stdin.flush()
        check("blocked writing the result", wait_until(lambda: blocked_writing(p.pid)))
        p.send_signal(signal.SIGINT)
        p.stdin.write(b"1 + 1\n")
        p.stdin.close()
        out = p.stdout.read().decode()
        p.wait(TIMEOUT)
    finally:
        p.kill()
    tail = out[-40:]
    check("halt while printing", p.returncode == 0 and tail.endswith("}\n(halted)\n>> == 2\n>> \n"),
          f"{p.returncode} {tail!r}")


def halting_bursts(folder):
    """Bursts of SIGINT while short commands come one after the other: each
    one halts a command, drops a line or is held until the console can
    take it; the console never fails on its own halt and answers the line
    after the bursts. The commands wait in a pipe filled before the burst,
    so that no read waits for input meanwhile (a Ctrl-C in a read at an
    empty prompt twice in a row is the console's way out)."""
    commands = b"loop 20 [x: 1 + 1]\n" * (500 if os.environ.get("KIV_GC_STRESS") else 30000)
    with open("/proc/sys/fs/pipe-max-size") as f:
        capacity = min(int(f.read()), 1 << 20)
    deadline = time.time() + 20
    rounds = 0
    while rounds < 3 or (rounds < 30 and time.time() < deadline):
        rounds += 1
        p = subprocess.Popen([KIV], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, cwd=folder)
        fcntl.fcntl(p.stdin.fileno(), F_SETPIPE_SZ, capacity)
        p.stdin.write(commands[:capacity - capacity % 19])
        p.stdin.flush()
        # The banner comes once Ctrl-C halts rather than ends the process.
        output = [p.stdout.readline() + p.stdout.readline()]
        reader = threading.Thread(target=lambda: output.append(p.stdout.read()))
        reader.start()
        try:
            for _ in range(100):
                p.send_signal(signal.SIGINT)
                time.sleep(random.uniform(0, 0.002))
            p.stdin.write(b'print "alive"\n')
            p.stdin.close()
            p.wait(TIMEOUT)
        except BrokenPipeError:
            p.wait(TIMEOUT)
        finally:
            p.kill()
        reader.join()
        out = b"".join(output).decode("utf-8", "replace")
        ok = p.returncode == 0 and "Throw Error" not in out and out.endswith('alive\n>> \n')
        check(f"halting bursts, round {rounds}", ok, f"{p.returncode} {out[-300:]!r}")
        if not ok:
            break


def write_errors(folder):
    """Output that cannot be written ends the run at once with status 1
    and one line on standard error: a full device, and a reader gone while
    SIGPIPE is ignored."""
    path = os.path.join(folder, "writes.kiv")
    with open(path, "w") as f:
        f.write('Kiv [] loop 100000 [print "line"]')
    cases = [("script", [path], b""), ("console", [], b'loop 100000 [print "line"]\n')]
    for name, args, typed in cases:
        with open("/dev/full", "wb") as full:
            p = subprocess.run([KIV] + args, input=typed, stdout=full, stderr=subprocess.PIPE,
                               timeout=TIMEOUT)
        error = p.stderr.decode()
        check(f"full device {name}", p.returncode == 1 and error.count("\n") == 1 and
              "No space left on device" in error, f"{p.returncode} {error!r}")
        # Python ignores SIGPIPE, and its children keep that here.
        p = subprocess.Popen([KIV] + args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, restore_signals=False)
        try:
            p.stdin.write(typed)
            p.stdin.close()
            p.stdout.readline()
            p.stdout.close()
            status = p.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            status = "still running"
        finally:
            p.kill()
        error = p.stderr.read().decode()
        p.stderr.close()
        check(f"reader gone {name}", status == 1 and error.count("\n") == 1 and
              "Broken pipe" in error, f"{status} {error!r}")


PRINT_HOOKS = """Kiv []
log: copy []
gui-console-ctx: make object! append copy [
    terminal: make object! [
        vprint: func [str lf?] [
            if str = "nested" [print "inside"]
            append log reduce [copy str lf?]
        ]
    ]
] gui-console-print-fields
gui-console-ctx/add-gui-print
print "a" prin "b" print ["c" 1 #"^(e9)"]
kept: reduce [1 (print "x" 2) 3]
print "nested"
deep: func [n] [print n deep n + 1]
failure: try [deep 1]
text: mold reduce [kept failure/id length? log copy/part log 10]
print text
"""


def printing(folder):
    """The graphical console's print hooks over a stand-in terminal: each
    print and prin reaches vprint with its line-end flag, the printing
    caller's arguments stay, a print made by the terminal itself goes to
    standard error, and a print near the stack's end raises stack-overflow
    instead of failing inside the terminal."""
    path = os.path.join(folder, "hooks.kiv")
    with open(path, "w", encoding="utf-8") as f:
        f.write(PRINT_HOOKS)
    result = run([path])
    last = result.stdout.splitlines()[-1] if result.stdout else ""
    check("print hooks", result.returncode == 0 and last.startswith(
        '[[1 2 3] stack-overflow ') and last.endswith(
        '["a" true "b" false "c 1 \u00e9" true "x" true "nested" true]]'),
        f"{result.returncode} {last!r} {result.stderr[:300]!r}")
    check("print inside a print", result.stderr == "inside\n", repr(result.stderr[:300]))


def shell(folder):
    """The shell words: listing widths and columns, cut names, errors, the
    current folder."""
    top = os.path.join(folder, "shell")
    os.makedirs(os.path.join(top, "empty"))
    os.makedirs(os.path.join(top, "sub"))
    for name in ["a.txt", "b" * 15, "c" * 16, "d" * 30]:
        open(os.path.join(top, "sub", name), "w").close()
    typed = "\n".join([
        "ls sub",  # width unknown: one column 21 wide
        "ls empty",
        "system/console/size: 60x10 ll sub",  # one column, 47 - 1 wide
        "list-dir/col %sub 3",  # 47 / 3 - 3 = 12 wide
        "system/console/size: 80x10 ls sub",  # 67 / 22 = 3 columns, 19 wide
        "system/console/size: 20x10 ls sub",  # 7 / 22: 1 column, 21 wide
        "system/console/size: 10x10 list-dir/col %sub 2",  # at least 5 wide
        "list-dir 1",
        "list-dir/col %. 0",
        "cd sub pwd cd .. cd %empty pwd",
    ]) + "\n"
    out = run([], typed, cwd=top).stdout
    names = sorted(os.listdir(os.path.join(top, "sub")))
    here = os.path.realpath(top)
    pad = lambda name, width: "\t" + (name if len(name) < width else name[:width - 4] + "...").ljust(width) + " "
    expected = "".join([
        ">> ", "".join(pad(n, 21) + "\n" for n in names),
        ">> ",
        ">> ", "".join(pad(n, 46) + "\n" for n in names),
        ">> ", pad(names[0], 12) + pad(names[1], 12) + pad(names[2], 12) + "\n" + pad(names[3], 12) + "\n",
        ">> ", pad(names[0], 19) + pad(names[1], 19) + pad(names[2], 19) + "\n" + pad(names[3], 19) + "\n",
        ">> ", "".join(pad(n, 21) + "\n" for n in names),
        ">> ", pad(names[0], 5) + pad(names[1], 5) + "\n" + pad(names[2], 5) + pad(names[3], 5) + "\n",
        ">> *** Script Error: list-dir does not allow integer! for its dir argument\n",
    ])
    check("shell listings", out.startswith(BANNER + expected), repr(out))
    check("shell column count", "value out of range: 0" in out, repr(out))
    check("shell cd and pwd", f"%{here}/sub/\n" in out and f"%{here}/empty/\n" in out, repr(out))



if __name__ == "__main__":
    main([delimiters, exit_codes, arguments, asking, halting, halting_bursts, write_errors,
          printing, shell])
