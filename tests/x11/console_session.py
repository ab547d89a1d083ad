#!/usr/bin/env python3
"""The graphical console end to end under an X server: `kiv --gui` with a
HOME of its own, driven through XTest as a person would, read back through
the console's test hook (KIV_TEST_DUMP: the terminal's state written to a
file whenever a line is asked for).

First run: Alt+O opens Settings, closing it is cancelling it; the about
box shows its text in white; the window is resized; `1 + 2` and Return shows "== 3"; the window is closed as a
window manager's close button does; kiv exits 0 and the configuration file
has its header, the eleven keys, the new size and "1 + 2" first in the
history. Second run: the window comes back at the same place and size and
Up recalls "1 + 2". Third run, over a damaged file: the notice is shown in
the console, which works. Last, `kiv --cli` running a script maps no GTK
or Pango library though a display is there.

A failure saves a screenshot of the screen in the temporary folder.
Run under an X server (xvfb-run) with no window manager.
Usage: console_session.py KIV
"""
import os
import re
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_dump import parse  # noqa: E402
from xdriver import PATIENCE, Display, wait_until  # noqa: E402

TITLE = "Kiv Console"
KEYS = ["win-pos", "win-size", "font-name", "font-size", "font-color", "background",
        "mouse-paste?", "menu-bar?", "dark-mode?", "buffer-lines", "history"]
FAILED = []


def check(name, condition, detail=""):
    if not condition:
        FAILED.append(name)
        print(f"FAIL {name}: {detail}")
    return condition


class Console:
    """One run of `kiv --gui` and its dump file."""

    def __init__(self, kiv, folder, home, display):
        self.dump = os.path.join(folder, "dump.kiv")
        if os.path.exists(self.dump):
            os.remove(self.dump)
        self.display = display
        env = dict(os.environ, HOME=home, KIV_TEST_DUMP=self.dump)
        self.process = subprocess.Popen([kiv, "--gui"], cwd=folder, env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        self.window = display.window(TITLE)
        if self.window:
            self.wait_lines(lambda lines: True)
            self.focus()

    def state(self):
        """The terminal's state as the last dump wrote it; None before the first."""
        try:
            with open(self.dump, encoding="utf-8") as f:
                return parse(f.read())
        except FileNotFoundError:
            return None

    def lines(self):
        state = self.state()
        return state and state["lines"]

    def focus(self):
        """Gives the window the keyboard focus with the pointer inside it, and
        waits until the console shows its caret (asked through SIGUSR1):
        it has taken the change before the keys that follow."""
        window = self.window
        self.display.move(window.x + window.width // 2, window.y + window.height // 2)
        self.display.focus(window)

        def caret_shown():
            if os.path.exists(self.dump):
                os.remove(self.dump)
            self.process.send_signal(signal.SIGUSR1)
            state = wait_until(self.state)
            return state and state["enabled?"]
        check("the console takes the focus", wait_until(caret_shown))

    def wait_lines(self, test):
        """The dumped lines once `test` holds for them, else the last ones."""
        last = {}

        def met():
            last["lines"] = self.lines()
            return (last["lines"] is not None and test(last["lines"])) or \
                self.process.poll() is not None
        wait_until(met)
        return last["lines"]

    def enter(self, text):
        self.display.type(text)
        self.display.tap("Return")

    def close(self):
        """Closes the window as a close button does; answers the exit status."""
        self.display.close(self.window)
        try:
            self.process.wait(PATIENCE)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        out, err = self.process.communicate()
        check("nothing on standard error", not err.strip(), err)
        return self.process.returncode

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.communicate()


def brightest(window, top, bottom):
    """The lightest grey (0-1) in the window's rows top..bottom."""
    crop = f"{window.width}x{bottom - top}+{window.x}+{window.y + top}"
    out = subprocess.run(["import", "-window", "root", "-crop", crop, "-colorspace", "gray",
                          "-format", "%[fx:maxima]", "info:"], capture_output=True, text=True)
    return float(out.stdout or 0)


def read_cfg(home):
    path = os.path.join(home, ".kiv", "Kiv-Console", "console-cfg.kiv")
    return open(path).read() if os.path.exists(path) else ""


def first_run(kiv, folder, home, display):
    console = Console(kiv, folder, home, display)
    try:
        if not check("window shown", console.window):
            return None
        display.tap("Alt_L", "o")
        settings = display.window("Settings")
        check("Alt+O opens the settings", settings)
        if settings:
            display.close(settings)
        check("closing the settings", display.gone("Settings"))
        console.focus()

        display.resize(console.window, 800, 600)
        def at_new_size():
            info = display.window(TITLE, 0)
            return info if info and (info.width, info.height) == (800, 600) else None
        resized = wait_until(at_new_size)
        check("window resized", resized, display.window(TITLE, 0))

        # The about box: its text in the white its faces give, on the dark
        # backdrop (the theme's grey text would leave the top rows dark);
        # the window its face's size (the theme's taller least button size
        # left a strip below the backdrop).
        console.enter("gui-console-ctx/display-about")
        about = display.window("About")
        if check("about box shown", about):
            check("about text drawn white", brightest(about, 10, 60) > 0.9)
            check("about box 360x330", (about.width, about.height) == (360, 330), about)
            display.close(about)
            display.gone("About")
        console.focus()

        # Typed last: the newest line of the history.
        console.enter("1 + 2")
        lines = console.wait_lines(lambda lines: "== 3" in lines)
        check("result shown", lines and "== 3" in lines and ">> 1 + 2" in lines, lines)
        status = console.close()
        check("exit status 0", status == 0, status)
        return resized
    finally:
        console.kill()


def check_cfg(home):
    cfg = read_cfg(home)
    check("configuration file written", cfg, cfg)
    check("the file starts with its header", cfg.startswith("Kiv ["), cfg[:80])
    body = cfg.split("]", 1)[-1]
    at = [m.start() if m else -1
          for m in (re.search(r"(^|\s)" + re.escape(key) + ":", body, re.M) for key in KEYS)]
    check("eleven keys in order", -1 not in at and at == sorted(at), cfg)
    check("the new size saved", "win-size: 800x" in cfg, cfg)
    check('"1 + 2" first in the history', 'history: ["1 + 2" "gui-console-ctx/display-about"]' in cfg, cfg)


def second_run(kiv, folder, home, display, before):
    console = Console(kiv, folder, home, display)
    try:
        window = console.window
        if not check("window shown again", window):
            return
        if before:
            check("same place and size after a restart",
                  all(getattr(window, k) == getattr(before, k) for k in ("x", "y", "width", "height")),
                  (before, window))
        display.tap("Up")
        display.tap("Return")
        lines = console.wait_lines(lambda lines: "== 3" in lines)
        check("Up recalls the saved line", lines and ">> 1 + 2" in lines and "== 3" in lines,
              lines)
        check("exit status 0 again", console.close() == 0)
    finally:
        console.kill()


def damaged_file(kiv, folder, display):
    home = os.path.join(folder, "damaged-home")
    cfg_dir = os.path.join(home, ".kiv", "Kiv-Console")
    os.makedirs(cfg_dir)
    with open(os.path.join(cfg_dir, "console-cfg.kiv"), "w") as f:
        f.write('Kiv [] win-size: 640x480 font-name: "DejaVu Sans Mono" font-size: [')
    console = Console(kiv, folder, home, display)
    try:
        if not check("window shown over a damaged file", console.window):
            return
        lines = console.lines() or []
        check("notice shown in the console",
              any(line.startswith("*** Warning:") and "damaged" in line for line in lines), lines)
        console.enter("3 * 3")
        lines = console.wait_lines(lambda lines: "== 9" in lines)
        check("console works over a damaged file", lines and "== 9" in lines, lines)
        check("exit status 0 over a damaged file", console.close() == 0)
    finally:
        console.kill()


# Whether GTK or Pango, and a GL driver, are mapped at the end of a script:
# with a display there, `--cli` maps none; a window shown maps GTK and
# Pango (the check sees them) but no GL driver (nothing draws with GL).
MAPS_SCRIPT = """Kiv []
if find system/script/args "window" [view/no-wait make face! [type: 'window size: 20x20]]
maps: read %/proc/self/maps
mapped?: func [names] [foreach name names [if find maps name [return true]] false]
print [
    either mapped? ["libgtk-3" "libpango"] ["gtk"] ["no-gtk"]
    either mapped? ["_dri.so" "libgallium" "libLLVM"] ["gl"] ["no-gl"]
]
"""


def libraries_mapped(kiv, folder):
    script = os.path.join(folder, "maps.kiv")
    with open(script, "w") as f:
        f.write(MAPS_SCRIPT)
    for args, expected in ((["--cli", script], "no-gtk no-gl"),
                           (["--cli", script, "window"], "gtk no-gl")):
        out = subprocess.run([kiv] + args, capture_output=True, text=True, timeout=PATIENCE,
                             env=dict(os.environ, KIV_GUI="gtk")).stdout
        check(f"libraries mapped for {args[-1]}: {expected}", out.strip() == expected, out)


def main(kiv):
    display = Display()
    with tempfile.TemporaryDirectory() as folder:
        home = os.path.join(folder, "home")
        os.makedirs(home)
        before = first_run(kiv, folder, home, display)
        check_cfg(home)
        second_run(kiv, folder, home, display, before)
        damaged_file(kiv, folder, display)
        libraries_mapped(kiv, folder)
    if FAILED:
        shot = os.path.join(tempfile.gettempdir(), "kiv-console-session-failure.png")
        subprocess.run(["import", "-window", "root", shot])
        print("failed: " + ", ".join(FAILED) + " (screen in " + shot + ")")
    else:
        print("all passed")
    sys.exit(1 if FAILED else 0)


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1]))
