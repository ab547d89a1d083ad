#!/usr/bin/env python3
"""The graphical console under an X server, end to end: `kiv --gui` is
driven with XTest through xdotool and the real clipboard through xclip;
its terminal's state is read through the test hook (KIV_TEST_DUMP, asked
for with SIGUSR1), and where the caret stands after wide characters is
compared with where their pixels are drawn. On a failure a screenshot of
the screen is kept beside the report (in the folder the test prints).

Run under an X server (xvfb-run) with the test fonts (FONTCONFIG_FILE).
Usage: console_window.py KIV
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_dump import parse, unescape  # noqa: E402
from xdriver import PATIENCE, Display, screenshot, wait_until  # noqa: E402

TITLE = "Kiv Console"
failures = []


def xdo(*args):
    subprocess.run(["xdotool", *args], check=True)


def type_text(text):
    xdo("type", "--delay", "20", text)


def key(*names):
    xdo("key", "--delay", "30", *names)


class Console:
    """A `kiv --gui` process with a HOME of its own and its dump file."""

    def __init__(self, kiv, folder):
        self.folder = folder
        self.dump_path = os.path.join(folder, "dump.kiv")
        home = os.path.join(folder, "home")
        os.makedirs(home, exist_ok=True)
        env = dict(os.environ, HOME=home, KIV_TEST_DUMP=self.dump_path)
        self.process = subprocess.Popen([kiv, "--gui"], env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        found = wait_until(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", TITLE], capture_output=True,
            text=True).stdout.split())
        if not found:
            sys.exit("the console window did not appear")
        self.window = found[0]
        xdo("windowfocus", "--sync", self.window)
        self.wait_for("the prompt", lambda d: d["lines"] and d["lines"][-1] == ">> ")

    def dump(self):
        """The terminal's state, asked for through SIGUSR1."""
        if os.path.exists(self.dump_path):
            os.remove(self.dump_path)
        self.process.send_signal(signal.SIGUSR1)
        if not wait_until(lambda: os.path.exists(self.dump_path)):
            sys.exit("no dump came")
        return parse(open(self.dump_path, encoding="utf-8").read())

    def wait_for(self, name, condition):
        """The first dump meeting the condition; a failure (with the last dump) when none does."""
        last = {}

        def met():
            last["state"] = self.dump()
            return condition(last["state"])
        if not wait_until(met, step=0.1):
            fail(name, last["state"])
        return last["state"]

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=PATIENCE)


def fail(name, detail):
    failures.append(name)
    print(f"FAIL {name}: {detail}")


def check(name, ok, detail=""):
    if not ok:
        fail(name, detail)


def clipboard():
    return subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                          text=True).stdout


def set_clipboard(text):
    """Puts the text on the clipboard (xclip serves it from the background)
    and waits until the clipboard gives it."""
    subprocess.Popen(["xclip", "-i", "-selection", "clipboard"], stdin=subprocess.PIPE,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).communicate(text.encode())
    if not wait_until(lambda: clipboard() == text):
        sys.exit(f"the clipboard did not take {text!r}")


def session(console):
    type_text("1 + 2")
    key("Return")
    state = console.wait_for("1 + 2 is evaluated", lambda d: "== 3" in d["lines"])
    check("the entered line stays", ">> 1 + 2" in state["lines"], state["lines"])

    type_text("[1")
    key("Return")
    type_text("2")
    key("Return")
    type_text("3]")
    key("Return")
    state = console.wait_for("a three-line block", lambda d: d["lines"][-4:] == ["== [1", "2", "3]", ">> "])
    check("each line of the block is remembered", state["history"][:3] == ["3]", "2", "[1"],
          state["history"])

    key("Up", "Up", "Up", "Up")
    console.wait_for("Up recalls the history", lambda d: d["lines"][-1] == ">> 1 + 2")
    key("Escape")
    console.wait_for("Escape drops the input", lambda d: d["lines"][-1] == ">> ")

    type_text("abc")
    key("ctrl+z")
    console.wait_for("Ctrl+Z undoes the typing", lambda d: len(d["lines"][-1]) < len(">> abc"))
    key("ctrl+y")
    console.wait_for("Ctrl+Y redoes it", lambda d: d["lines"][-1] == ">> abc")
    key("shift+Home", "x")
    console.wait_for("a letter replaces the selected input", lambda d: d["lines"][-1] == ">> x")
    key("BackSpace")

    type_text("copied text")
    key("shift+Home", "ctrl+c")
    check("Ctrl+C puts the selection on the clipboard",
          wait_until(lambda: clipboard() == "copied text"), clipboard())
    key("Escape")

    set_clipboard("10 * 10\n20 * 20")
    key("ctrl+v")
    state = console.wait_for("a pasted line is entered", lambda d: "== 100" in d["lines"])
    state = console.wait_for("the next pasted line waits", lambda d: d["lines"][-1] == ">> 20 * 20")
    check("pasted lines are remembered", state["history"][:1] == ["10 * 10"], state["history"])
    key("Escape")

    type_text('x: ask/hide "pw: "')
    key("Return")
    console.wait_for("ask/hide asks", lambda d: d["lines"][-1] == "pw: ")
    type_text("secret")
    state = console.dump()
    key("Return")
    state = console.wait_for("the hidden answer is taken", lambda d: d["lines"][-1] == ">> ")
    check("hidden input stays out of the history", "secret" not in state["history"], state["history"])
    type_text("length? x")
    key("Return")
    console.wait_for("the hidden answer arrived", lambda d: "== 6" in d["lines"])

    type_text("loop 60 [print 'row]")
    key("Return")
    bottom = console.wait_for("sixty rows printed", lambda d: d["lines"][-1] == ">> " and d["top"] > 1)
    xdo("mousemove", "--window", console.window, "200", "200")
    xdo("click", "4")
    state = console.wait_for("a wheel notch scrolls up", lambda d: d["top"] < bottom["top"])
    check("a notch scrolls 3 rows", bottom["top"] - state["top"] == 3,
          (bottom["top"], bottom["scroll-y"], state["top"], state["scroll-y"]))


def shown_with_caret_hidden(console, display, name, text):
    """Pastes the text into the input, then takes the focus away so that
    the caret is hidden: the caret's offset, and a screenshot."""
    xdo("windowfocus", "--sync", console.window)
    set_clipboard(text)
    key("ctrl+v")
    caret = console.wait_for(name, lambda d: d["lines"][-1].endswith(text))["caret"]
    display.unfocus()
    console.wait_for("the caret hides without the focus", lambda d: not d["enabled?"])
    wait_until(screen_settled, step=0)
    return caret, screenshot(name)


def screen_settled(calm=0.5):
    """Whether the screen's pixels stay the same for `calm` seconds: the
    drawing that follows the console's last change is on the screen."""
    shot = lambda: subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                                  capture_output=True).stdout
    before = shot()
    time.sleep(calm)
    return shot() == before


def wide_caret(console):
    """The caret stands after a wide (CJK) character where the character is
    drawn: three more of them move the caret by as much as their ink
    spans, which starts at the caret's old place."""
    key("Escape")
    display = Display()
    before, first = shown_with_caret_hidden(console, display, "one-wide", "\u6f22")
    after, second = shown_with_caret_hidden(console, display, "four-wide", "\u6f22" * 3)
    xdo("windowfocus", "--sync", console.window)
    key("Escape")
    ink = changed_area(first, second)
    for picture in (first, second):
        os.remove(picture)
    origin = window_origin(console.window)
    check("the caret stays on its row", before[1] == after[1], (before, after))
    check("three wide characters are drawn", ink is not None, ink)
    if ink is None:
        return
    left, right = ink[0] - origin[0], ink[0] + ink[2] - origin[0]
    # The caret's offset is whole pixels of the layout's unrounded place.
    check("the new characters' ink starts at the caret's old place", abs(left - before[0]) <= 2,
          (before, ink, origin))
    check("the caret ends where their ink ends", 0 <= after[0] - right <= 3, (after, ink, origin))


def changed_area(first, second):
    """The bounds (x, y, width, height) of the pixels that differ between two
    screenshots, None when none do."""
    info = subprocess.run(["convert", first, second, "-compose", "difference", "-composite",
                           "-threshold", "10%", "-trim", "info:"], capture_output=True,
                          text=True).stdout
    found = re.search(r" (\d+)x(\d+) \d+x\d+\+(\d+)\+(\d+) ", info)
    if not found:
        return None
    width, height, x, y = (int(v) for v in found.groups())
    return x, y, width, height


def window_origin(window):
    """The window's top-left corner on the screen."""
    geometry = subprocess.run(["xdotool", "getwindowgeometry", window], capture_output=True,
                              text=True).stdout
    return tuple(int(v) for v in re.search(r"Position: (-?\d+),(-?\d+)", geometry).groups())


def result_of(console, expression):
    """The result line the console shows for an expression typed into it."""
    before = len(console.dump()["lines"])
    type_text(expression)
    key("Return")
    state = console.wait_for(expression, lambda d: len(d["lines"]) > before + 1 and d["lines"][-1] == ">> ")
    return state["lines"][-2]


def window_and_font(console):
    type_text("unvie")
    key("Tab")
    console.wait_for("Tab completes a word", lambda d: d["lines"][-1] == ">> unview")
    key("Escape")

    # The window's size and the font's change reach the console as events
    # of their own: the result is asked for until it changes.
    columns = lambda: int(re.search(r"(\d+)x\d+", result_of(console, "system/console/size"))[1])
    before = columns()
    xdo("windowsize", console.window, "900", "700")
    check("a wider window has more columns", wait_until(lambda: columns() > before, step=0.5),
          before)

    line_height = lambda: float(result_of(console, "gui-console-ctx/terminal/line-h").split()[-1])
    height = line_height()
    xdo("mousemove", "--window", console.window, "200", "200")
    xdo("keydown", "ctrl", "click", "4", "keyup", "ctrl")
    check("Ctrl+wheel enlarges the font", wait_until(lambda: line_height() > height, step=0.5),
          height)

    # Wide characters wrap where the layout wraps them: the terminal's rows
    # of a long CJK line are the rows of a face laid out alike.
    type_text('print append/dup copy "" #"^(6F22)" 150')
    key("Return")
    console.wait_for("a CJK line printed", lambda d: d["lines"][-1] == ">> " and
                     any(line.startswith("\u6f22") for line in d["lines"]))
    text = open(console.dump_path, encoding="utf-8").read()
    rows = parse_rows(text, "\u6f22" * 150)
    laid_out = result_of(console, 'rich-text/line-count? make gui-console-ctx/terminal/box '
                                  '[handles: none data: copy [] text: append/dup copy "" #"^(6F22)" 150]')
    check("a CJK line wraps as laid out", rows and rows > 1 and laid_out == f"== {rows}", (rows, laid_out))


def parse_rows(text, line):
    """The rows the dump gives the line with this text."""
    lines = re.search(r"lines: \[(.*?)\]\s+flags:", text, re.S).group(1)
    texts = [unescape(s) for s in re.findall(r'"((?:[^"^]|\^.)*)"|\{([^}]*)\}', lines)]
    rows = [int(v) for v in re.search(r"nlines: \[([^\]]*)\]", text).group(1).split()]
    return rows[texts.index(line)] if line in texts else None


def main(kiv):
    folder = tempfile.mkdtemp(prefix="kiv-console-window-")
    console = Console(kiv, folder)
    try:
        wide_caret(console)
        session(console)
        window_and_font(console)
    finally:
        if failures:
            subprocess.run(["import", "-window", "root", os.path.join(folder, "screen.png")])
        console.close()
    if failures:
        print(f"{len(failures)} failed; screenshot in {folder}")
        return 1
    subprocess.run(["rm", "-rf", folder])
    print("all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
