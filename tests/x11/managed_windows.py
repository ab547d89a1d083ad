#!/usr/bin/env python3
"""Windows and dialogs under a window manager (openbox, started here on the
test's X server): kiv (argv[1]) runs a script that shows windows or opens a
requester; this driver waits for them, gives XTest input and decides by the
lines printed, by what the screen shows and by where the window manager put
the windows. One scenario per run (argv[2]); a screenshot is saved when it
fails.

- The font requester opens GTK's font chooser and answers the font chosen,
  also from the graphical console's Options menu.
- The file, folder and font requesters open their dialog in a script that
  has shown no window yet, and print nothing on standard error where no
  session bus can be reached.
- A disabled panel's faces take no clicks and look disabled, until it is
  enabled again.
- A modal window (`view/no-wait/flags ... 'modal`, `alert`) keeps the
  window behind it from taking clicks until it is closed.
- A window's offset is the corner of the frame the window manager draws,
  set and read back alike; the graphical console comes back at the place
  it was closed at.

Run under an X server (xvfb-run) with KIV_GUI=gtk.
Usage: managed_windows.py KIV SCENARIO
"""
import os
import queue
import re
import subprocess
import sys
import threading
import time

import engine_input
import xdriver
from engine_input import Kiv, centre

SCENARIOS = {}


def scenario(script, **env):
    def register(check):
        SCENARIOS[check.__name__] = (script, env, check)
        return check
    return register


def start_window_manager():
    """Starts openbox and waits until it manages the screen."""
    wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    end = time.monotonic() + 30
    while time.monotonic() < end:
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                             capture_output=True, text=True).stdout
        if "window id" in out:
            return wm
        time.sleep(0.05)
    wm.kill()
    raise RuntimeError("openbox did not start")


def frame_corner(window):
    """The top-left corner of the frame the window manager draws around a
    top-level (its _NET_FRAME_EXTENTS: left, right, top, bottom); None
    while it has drawn none."""
    out = subprocess.run(["xprop", "-id", hex(window.id), "_NET_FRAME_EXTENTS"],
                         capture_output=True, text=True).stdout
    found = re.search(r"= (\d+), (\d+), (\d+), (\d+)", out)
    if not found:
        return None
    left, _, top, _ = (int(v) for v in found.groups())
    return window.x - left, window.y - top


def wait_corner(xd, title, corner, timeout=xdriver.PATIENCE):
    """Waits until the frame of the window `title` has its corner at
    `corner` (any corner: until it has a frame); answers the corner last
    seen."""
    seen = []

    def there():
        seen.append(frame_corner(xd.window(title)))
        return seen[-1] is not None and corner in (None, seen[-1])
    xdriver.wait_until(there, timeout)
    return seen[-1]


def crop(window, x, y, width, height, folder, name):
    path = os.path.join(folder, name + ".png")
    subprocess.run(["import", "-window", "root", "-crop",
                    f"{width}x{height}+{window.x + x}+{window.y + y}", "+repage", path],
                   check=True)
    return path


def differ(first, second, width, height):
    return xdriver.differing_pixels(first, second, (0, 0, width, height))


def viewable(window):
    """Whether the window (found before, by its id) is still shown."""
    info = subprocess.run(["xwininfo", "-id", hex(window.id)], capture_output=True,
                          text=True).stdout
    return "IsViewable" in info


def answer(xd, title, key, timeout=30.0):
    """Gives the dialog `title` the key until it goes (a key that comes
    before the dialog takes keys is lost); whether it went."""
    dialog = xd.window(title)
    end = time.monotonic() + timeout
    while dialog and time.monotonic() < end:
        xd.focus(dialog)
        xd.tap(key)
        gone_by = time.monotonic() + 2.0
        while time.monotonic() < gone_by:
            if not viewable(dialog):
                return True
            time.sleep(0.05)
    return dialog is not None and not viewable(dialog)


# Where no session bus can be reached: no address, no runtime folder, no
# dbus-launch on the PATH, and GSettings left to choose its backend.
NO_BUS = {"DBUS_SESSION_BUS_ADDRESS": None, "XDG_RUNTIME_DIR": None, "GSETTINGS_BACKEND": None,
          "PATH": "/nonexistent"}


@scenario(r'''Kiv []
view/no-wait [title "kiv-font-owner" button "owner"]
print "ready"
f: request-font/font/mono make font! [name: "DejaVu Sans Mono" size: 12]
print either f [rejoin ["font " f/name " " f/size]] ["font none"]
''')
def font_dialog(kiv, xd):
    """request-font opens GTK's font chooser, starting from the font given;
    Return chooses it"""
    kiv.expect("ready")
    dialog = xd.window("Select Font")
    if dialog is None:
        raise AssertionError(f"no font dialog; printed {kiv.seen!r}")
    if not answer(xd, "Select Font", "Return"):
        raise AssertionError("the font dialog does not close")
    kiv.expect("font DejaVu Sans Mono 12")


# The requesters a script may call before it shows any window: the code,
# the title of the dialog it opens.
REQUESTERS = [("request-file", "Open File"), ("request-dir", "Select Folder"),
              ("request-font", "Select Font")]


def requester_check(title):
    def check(kiv, xd):
        kiv.expect("ready")
        dialog = xd.window(title)
        if dialog is None:
            raise AssertionError(f"no dialog; printed {kiv.seen!r}")
        if not answer(xd, title, "Escape"):
            raise AssertionError("the dialog does not close")
        kiv.expect("answer none")
        kiv.proc.wait(30)
        errors = kiv.proc.stderr.read()
        if errors:
            raise AssertionError(f"standard error: {errors!r}")
    check.__doc__ = (f"opens its dialog ({title}) before any window was shown, answers none "
                     "when it is cancelled, and leaves standard error empty where no bus "
                     "can be reached")
    return check


for code, title in REQUESTERS:
    SCENARIOS[code.replace("-", "_")] = (f'Kiv []\nprint "ready"\nprint ["answer" mold {code}]\n',
                                         NO_BUS, requester_check(title))


def laid_out(kiv):
    """The numbers of the line "at ..." the script prints once laid out."""
    for line in kiv.lines_until(time.monotonic() + 20):
        if line.startswith("at "):
            return [int(float(v)) for v in re.findall(r"-?[\d.]+", line)]
    raise AssertionError(f"no layout; printed {kiv.seen!r}")


def wait_look(window, area, folder, reference, same, timeout=5.0):
    """Whether the face at `area` comes to look as the picture `reference`
    (same) or clearly unlike it (not same) within the time."""
    x, y, width, height = area
    end = time.monotonic() + timeout
    while True:
        now = crop(window, x, y, width, height, folder, "now")
        if (differ(reference, now, width, height) <= width * height // 50) == same:
            return True
        if time.monotonic() >= end:
            return False
        time.sleep(0.1)


def drawn(window, area, folder, timeout=10.0):
    """A picture of the face at `area` once it shows more than one colour."""
    end = time.monotonic() + timeout
    while True:
        picture = crop(window, *area, folder, "drawn")
        colours = subprocess.run(["identify", "-format", "%k", picture], capture_output=True,
                                 text=True).stdout
        if int(colours or 0) > 1 or time.monotonic() >= end:
            return picture
        time.sleep(0.05)


@scenario(r'''Kiv []
view/no-wait/options [
    title "kiv-panel"
    p: panel [inner: button "Inner" [print "click inner"]]
    off: button "off" [p/enabled?: false print "off"]
    on: button "on" [p/enabled?: true print "on"]
] [offset: 100x100]
print ["at" p/offset + inner/offset inner/size off/offset off/size on/offset on/size]
do-events
''')
def disabled_panel(kiv, xd):
    """A disabled panel's button takes no click and looks disabled; enabled
    again, it clicks and looks as before"""
    at = laid_out(kiv)
    w = xd.window("kiv-panel")
    inner, off, on = (centre(w, *at[i:i + 4]) for i in (0, 4, 8))
    xd.move(w.x + w.width - 2, w.y + w.height - 2)  # the button is not hovered
    enabled = drawn(w, at[0:4], kiv.folder)
    xd.click(*inner)
    kiv.expect("click inner")
    for button, line, clicks in [(off, "off", False), (on, "on", True)]:
        xd.click(*button)
        kiv.expect(line)
        xd.move(w.x + w.width - 2, w.y + w.height - 2)
        if not wait_look(w, at[0:4], kiv.folder, enabled, clicks):
            raise AssertionError(f"after {line!r} the button inside the panel looks "
                                 f"{'disabled' if clicks else 'enabled'}")
        xd.click(*inner)
        if clicks:
            kiv.expect("click inner")
        else:
            kiv.absent("click inner", 1.0)


@scenario(r'''Kiv []
main: view/no-wait/options [title "kiv-main" b: button "Main" [print "main click"]] [offset: 100x100]
print ["at" b/offset b/size]
dialog: view/no-wait/flags/options [
    title "kiv-dialog" button "Close" [print "dialog closed" unview/only dialog]
] 'modal [offset: 400x100]
print ["enabled" main/enabled?]
do-events
do-events
''')
def modal_no_wait(kiv, xd):
    """A window shown modal without waiting keeps the main window from taking
    clicks; closed, the main window takes them again"""
    modal_check(kiv, xd, "kiv-dialog", lambda dialog: xd.click(*centre(dialog, 10, 10, 60, 20)),
                "dialog closed")


@scenario(r'''Kiv []
main: view/no-wait/options [title "kiv-main" b: button "Main" [print "main click"]] [offset: 100x100]
print ["at" b/offset b/size]
print ["enabled" main/enabled?]
alert "Stop"
print "alert closed"
do-events
''')
def modal_alert(kiv, xd):
    """An alert keeps the main window from taking clicks until it is
    answered"""
    modal_check(kiv, xd, "Message", lambda dialog: answer(xd, "Message", "Return"),
                "alert closed")


def modal_check(kiv, xd, title, close, closed):
    at = laid_out(kiv)
    main = xd.window("kiv-main")
    button = centre(main, *at)
    dialog = xd.window(title)
    if dialog is None:
        raise AssertionError(f"no modal window; printed {kiv.seen!r}")
    xd.click(*button)
    kiv.absent("main click", 1.0)
    close(dialog)
    kiv.expect(closed)
    xd.click(*button)
    kiv.expect("main click")


@scenario(r'''Kiv []
w: view/no-wait/options [
    title "kiv-offset" base 50x50 255.0.0
] [offset: 100x100]
w/actors: object [
    on-key: func [face event] [
        switch event/key [
            #"r" [print ["offset" w/offset]]
            #"m" [w/offset: 300x200 print "moved"]
            #"s" [w/offset: w/offset print "set again"]
        ]
    ]
]
print "ready"
do-events
''')
def offsets(kiv, xd):
    """A window's offset is its frame's corner: given, the frame is there and
    it reads back the same; set again, the window stays"""
    kiv.expect("ready")
    for key, line, corner in [(None, None, (100, 100)), ("m", "moved", (300, 200)),
                              ("s", "set again", (300, 200)), ("s", "set again", (300, 200))]:
        if key:
            xd.focus(xd.window("kiv-offset"))
            xd.tap(key)
            kiv.expect(line)
        seen = wait_corner(xd, "kiv-offset", corner)
        if seen != corner:
            raise AssertionError(f"the frame is at {seen}, not {corner}")
        xd.focus(xd.window("kiv-offset"))
        xd.tap("r")
        kiv.expect(f"offset {corner[0]}x{corner[1]}")


def start_console(kiv_path, home):
    """The graphical console, with `home` for its HOME (where it keeps its
    settings) and its output dropped."""
    return subprocess.Popen([kiv_path, "--gui"], cwd=home, env=dict(os.environ, HOME=home),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def console_run(kiv_path, home, xd, place=None):
    """One start of the graphical console, closed by the window manager's
    close request once its frame has its corner at `place` (None: once it
    is framed); answers the frame's corner then and the saved win-pos."""
    proc = start_console(kiv_path, home)
    try:
        if xd.window("Kiv Console", 60) is None:
            raise AssertionError("no console window")
        corner = wait_corner(xd, "Kiv Console", place)
        xd.close(xd.window("Kiv Console"))
        proc.wait(60)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    cfg = open(os.path.join(home, ".kiv", "Kiv-Console", "console-cfg.kiv")).read()
    pos = re.search(r"win-pos: (\([^)]*\)|\S+)", cfg).group(1)
    return corner, tuple(int(float(v)) for v in re.findall(r"-?[\d.]+", pos))


@scenario("")
def console_place(kiv, xd):
    """The graphical console comes back where it was closed: started again
    twice, its frame comes to the place it saved and it saves that place
    again"""
    home = os.path.join(kiv.folder, "home")
    os.makedirs(home)
    runs = [console_run(kiv.path, home, xd)]
    for _ in range(2):
        runs.append(console_run(kiv.path, home, xd, runs[-1][1]))
    saved = {pos for _, pos in runs}
    if len(saved) != 1:
        raise AssertionError(f"the console moves: {runs}")
    for (_, pos), (corner, _) in zip(runs, runs[1:]):
        if corner != pos:
            raise AssertionError(f"saved {pos}, the frame comes back at {corner}: {runs}")


def wait_changed(x, y, before, timeout=10.0):
    """Whether the screen pixel at x, y comes to differ from `before`."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if xdriver.pixel(x, y) != before:
            return True
        time.sleep(0.05)
    return False


@scenario("")
def console_font(kiv, xd):
    """Options > Choose Font... in the graphical console opens the font
    chooser; cancelled, the console goes on and ends cleanly"""
    home = os.path.join(kiv.folder, "home")
    os.makedirs(home)
    proc = start_console(kiv.path, home)
    try:
        w = xd.window("Kiv Console", 60)
        if w is None:
            raise AssertionError("no console window")
        # The menu bar's "Options", then its first item once the menu shows.
        item = (w.x + 90, w.y + 40)
        plain = xdriver.pixel(*item)
        xd.click(w.x + 70, w.y + 12)
        if not wait_changed(*item, plain):
            raise AssertionError("the Options menu does not open")
        xd.click(*item)
        dialog = xd.window("Select Font", 30)
        if dialog is None:
            raise AssertionError(f"no font dialog; the console's status is {proc.poll()}")
        if not answer(xd, "Select Font", "Escape"):
            raise AssertionError("the font dialog does not close")
        xd.close(xd.window("Kiv Console"))
        if proc.wait(60) != 0:
            raise AssertionError(f"the console ended with status {proc.returncode}")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


class Run(Kiv):
    """The scenario's kiv process (none for a scenario that starts its own),
    in the environment the scenario asks for, its standard error kept
    apart; its lines are read as they come."""

    def __init__(self, kiv, script, folder, env):
        self.path = kiv
        self.folder = folder
        full = dict(os.environ, KIV_GUI="gtk", KIV_TEST_DIR=folder)
        for name, value in env.items():
            if value is None:
                full.pop(name, None)
            else:
                full[name] = value
        self.proc = subprocess.Popen([kiv, script] if script else ["true"],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, env=full)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()


def main(kiv_path, name):
    script, env, check = SCENARIOS[name]
    # The server resets whenever its last client leaves, as each xprop
    # asking after openbox does, and openbox connecting during a reset
    # fails: a connection is held from before openbox starts to the end.
    held = xdriver.Display()
    wm = start_window_manager()
    try:
        return engine_input.run(
            kiv_path, name, script, check,
            lambda kiv, path, folder: Run(kiv, path if script else None, folder, env))
    finally:
        wm.kill()
        wm.wait()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
