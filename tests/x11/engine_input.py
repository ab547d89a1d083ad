#!/usr/bin/env python3
"""The engine driving GTK windows, with input as a user gives it: kiv
(argv[1]) runs a script that views faces and prints what their actors see;
this driver waits for the window, sends XTest input or the window manager's
close request, and checks the lines printed (or, for `to image!`, the
picture against the screen). One scenario per run (argv[2]);
a screenshot is saved when it fails.

Run under an X server (xvfb-run) with KIV_GUI=gtk.
Usage: engine_input.py KIV SCENARIO
"""
import os
import queue
import subprocess
import sys
import tempfile
import threading
import time

import xdriver

# Faces every scenario uses: `acts` prints each event it is given with the
# name held in the face's `extra`, and keeps it from the parent faces.
PRELUDE = r'''Kiv []
report: func [face event] [print [event/type face/extra] 'done]
acts: make object! [
    on-click: :report on-focus: :report on-enter: func [face event] [print ["enter" face/text] 'done]
    on-change: func [face event] [print ["change" face/extra face/text] 'done]
    on-drop: func [face event] [print ["drop" face/offset] 'done]
    on-close: :report
]
a-field: func [name at] [
    make face! [
        type: 'field text: copy "" offset: at size: 100x24 flags: [focusable] extra: name
        actors: acts
    ]
]
a-button: func [name at] [
    make face! [
        type: 'button text: form name offset: at size: 80x24 flags: [focusable] extra: name
        actors: acts
    ]
]
a-window: func [title faces] [
    make face! [type: 'window text: title size: 240x200 pane: faces extra: 'window actors: acts]
]
'''

def scenario_table(prelude, table):
    """A decorator taking a scenario's script: it registers the check it
    decorates in `table`, with `prelude` and the script."""
    def scenario(script):
        def register(check):
            table[check.__name__] = (prelude + script, check)
            return check
        return register
    return scenario


SCENARIOS = {}
scenario = scenario_table(PRELUDE, SCENARIOS)


class Kiv:
    """The kiv process running a scenario's script; its lines are read as
    they come."""

    def __init__(self, kiv, script, folder):
        # The run's folder, for files the script writes (KIV_TEST_DIR).
        self.folder = folder
        env = dict(os.environ, KIV_GUI="gtk", KIV_TEST_DIR=folder)
        self.proc = subprocess.Popen([kiv, script], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     text=True, env=env)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def lines_until(self, end):
        """The lines printed until the monotonic time `end` or the end of
        the output; each is kept in `seen`."""
        while time.monotonic() < end:
            try:
                line = self.lines.get(timeout=max(0.01, end - time.monotonic()))
            except queue.Empty:
                return
            if line is None:
                return
            self.seen.append(line)
            yield line

    def expect(self, wanted, timeout=xdriver.PATIENCE):
        """Waits for the line `wanted`."""
        if wanted not in self.lines_until(time.monotonic() + timeout):
            raise AssertionError(f"expected {wanted!r}; printed {self.seen!r}")

    def absent(self, unwanted, wait=0.5):
        """Asserts that the line `unwanted` is not printed for `wait`
        seconds."""
        if unwanted in self.lines_until(time.monotonic() + wait):
            raise AssertionError(f"{unwanted!r} not expected; printed {self.seen!r}")

    def end(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


def centre(window, x, y, w, h):
    """The screen point at the centre of a face at x, y of size w x h."""
    return window.x + x + w // 2, window.y + y + h // 2


@scenario(r'''
win: a-window "kiv-click" reduce [a-button 'go 20x20 a-button 'off 20x60]
win/pane/2/enabled?: false
view/no-wait win
print "ready"
do-events
print "closed"
''')
def click(kiv, xd):
    """A click reaches the button's actor; a disabled button's does not
    run; the window's close request ends `do-events`."""
    kiv.expect("ready")
    w = xd.window("kiv-click")
    xd.click(*centre(w, 20, 20, 80, 24))
    kiv.expect("click go")
    xd.click(*centre(w, 20, 60, 80, 24))
    kiv.absent("click off")
    xd.close(w)
    kiv.expect("close window")
    kiv.expect("closed")


@scenario(r'''
label: make face! [type: 'text text: "label" offset: 10x40 size: 100x24]
win: a-window "kiv-tab" reduce [
    a-field 'one 10x10 label a-field 'two 10x70 a-field 'off 10x100 a-field 'three 10x130
]
win/pane/4/enabled?: false
win/selected: win/pane/1
view/no-wait win
print "ready"
do-events
''')
def tab(kiv, xd):
    """Tab and Shift+Tab move GTK's focus in pane order past faces that
    take none; keys then type into the face that has it"""
    kiv.expect("ready")
    xd.focus(xd.window("kiv-tab"))
    # Shift+Tab on the first face leaves the focus there.
    for keys, face in [(["Tab"], "two"), (["Tab"], "three"), (["Tab"], "one"),
                       (["Shift_L", "Tab"], None), (["Tab"], "two"), (["Tab"], "three"),
                       (["Shift_L", "Tab"], "two")]:
        xd.tap(*keys)
        if face:
            kiv.expect(f"focus {face}")
        else:
            kiv.absent("focus one")
    xd.type("x")
    kiv.expect("change two x")
    xd.tap("Tab")
    kiv.expect("focus three")
    xd.type("y")
    kiv.expect("change three y")


@scenario(r'''
win: a-window "kiv-enter" reduce [a-field 'name 10x10]
win/selected: win/pane/1
view/no-wait win
print "ready"
do-events
''')
def enter(kiv, xd):
    """Return in a field gives its on-enter actor the text typed"""
    kiv.expect("ready")
    xd.focus(xd.window("kiv-enter"))
    xd.type("hi")
    kiv.expect("change name hi")
    xd.tap("Return")
    kiv.expect("enter hi")


@scenario(r'''
box: make face! [
    type: 'base offset: 20x20 size: 40x40 color: 200.0.0 options: [drag-on: 'down] extra: 'box
    actors: acts
]
view/no-wait win: a-window "kiv-drag" reduce [box]
print "ready"
do-events
''')
def drag(kiv, xd):
    """Dragging a face moves its window to the face's new offset"""
    kiv.expect("ready")
    w = xd.window("kiv-drag")
    red = (200, 0, 0)
    if not xdriver.wait_pixel(w.x + 30, w.y + 30, red):
        raise AssertionError("the face is not shown")
    xd.move(w.x + 30, w.y + 30)
    xd.button(True)
    for step in range(1, 11):
        xd.move(w.x + 30 + step * 8, w.y + 30 + step * 5)
    xd.button(False)
    kiv.expect("drop (100, 70)")
    if not xdriver.wait_pixel(w.x + 125, w.y + 95, red):
        raise AssertionError(f"the moved face shows {xdriver.pixel(w.x + 125, w.y + 95)}")
    if xdriver.pixel(w.x + 30, w.y + 30) == red:
        raise AssertionError("the face still shows at its old place")


@scenario(r'''
print "ready"
view a-window "kiv-close" reduce [a-button 'stay 10x10]
print "view returned"
''')
def close(kiv, xd):
    """The window manager's close request reaches on-close, closes the
    window and ends the blocking view"""
    kiv.expect("ready")
    w = xd.window("kiv-close")
    xd.close(w)
    kiv.expect("close window")
    kiv.expect("view returned")
    if not xd.gone("kiv-close"):
        raise AssertionError("the window is still shown")


@scenario(r'''
dialog: a-window "kiv-modal-dialog" reduce [a-button 'dialog 10x10]
main: a-window "kiv-modal-main" reduce [a-button 'count 10x10 a-button 'open 10x40]
main/pane/2/actors: make acts [
    on-click: func [face event] [view/flags dialog 'modal print "dialog closed"]
]
view/no-wait main
print "ready"
do-events
''')
def modal(kiv, xd):
    """A modal window disables the one below until it is closed"""
    kiv.expect("ready")
    w = xd.window("kiv-modal-main")
    count = centre(w, 10, 10, 80, 24)
    xd.click(*count)
    kiv.expect("click count")
    xd.click(*centre(w, 10, 40, 80, 24))
    dialog = xd.window("kiv-modal-dialog")
    if dialog is None:
        raise AssertionError("no modal window")
    xd.click(*count)
    kiv.absent("click count")
    xd.click(*centre(dialog, 10, 10, 80, 24))
    kiv.expect("click dialog")
    xd.close(dialog)
    kiv.expect("dialog closed")
    # A click while the server still shows the dialog over the window
    # would reach the dialog.
    if not xd.gone("kiv-modal-dialog"):
        raise AssertionError("the dialog is still shown")
    xd.click(*count)
    kiv.expect("click count")


@scenario(r'''
dialog: a-window "kiv-shortcut-dialog" reduce [a-field 'other 10x10]
dialog/selected: dialog/pane/1
dialog/pane/1/actors: make acts [
    on-key-up: func [face event] [print ["up" face/extra mold event/key] 'done]
]
box: a-field 'box 10x10
box/actors: make acts [
    on-key-down: func [face event] [
        if event/key = #"O" [view/flags dialog 'modal print "dialog closed"]
        'done
    ]
    on-key: func [face event] [print ["key" face/extra mold event/key] 'done]
]
win: a-window "kiv-shortcut" reduce [box]
win/selected: box
view/no-wait win
print "ready"
do-events
''')
def shortcut_dialog(kiv, xd):
    """A chord whose key-down actor opens a modal dialog, the keys let go
    while the dialog shows: once it is closed the chord types no plain
    letter into the field that had the focus"""
    kiv.expect("ready")
    main = xd.window("kiv-shortcut")
    for modifier, word in (("Control_L", "left-control"), ("Alt_L", "left-alt")):
        xd.focus(main)
        xd.key(modifier, True)
        xd.key("o", True)
        dialog = xd.window("kiv-shortcut-dialog")
        if dialog is None:
            raise AssertionError(f"no dialog for {modifier}+O")
        xd.key("o", False)
        xd.key(modifier, False)
        # The dialog's loop takes the key-ups.
        kiv.expect('up other #"O"')
        kiv.expect(f"up other {word}")
        xd.close(dialog)
        kiv.expect("dialog closed")
        xd.focus(main)
        xd.type("x")
        kiv.expect('key box #"x"')
    if 'key box #"o"' in kiv.seen:
        raise AssertionError(f"a plain letter was typed; printed {kiv.seen!r}")


@scenario(r'''
print "ready"
alert "Saved."
print "answered"
''')
def alert(kiv, xd):
    """An alert is answered with Return"""
    kiv.expect("ready")
    w = xd.window("Message")
    if w is None:
        raise AssertionError("no alert window")
    xd.focus(w)
    xd.tap("Return")
    kiv.expect("answered")
    if not xd.gone("Message"):
        raise AssertionError("the alert is still shown")


@scenario(r'''
win: a-window "kiv-to-image" reduce [
    make face! [type: 'base offset: 10x10 size: 60x40 color: 0.128.255]
    a-button 'press 90x10
    a-field 'typed 10x60
]
view/no-wait win
win/pane/3/text: "hello"
loop 20 [do-events/no-wait wait 0.02]
save to-file rejoin [get-env "KIV_TEST_DIR" "/face.png"] to image! win
print "saved"
do-events
''')
def to_image(kiv, xd):
    """`to image!` of a window shows what the screen shows, GTK's controls
    included"""
    kiv.expect("saved")
    w = xd.window("kiv-to-image")
    made = os.path.join(kiv.folder, "face.png")
    shown = os.path.join(kiv.folder, "screen.png")

    def differences():
        """The areas of the window where the picture and the screen differ
        by more than a few percent of the area."""
        subprocess.run(["import", "-window", "root", "-crop",
                        f"{w.width}x{w.height}+{w.x}+{w.y}", "+repage", shown], check=True)
        # The whole window, then the button and the field alone: a control
        # missing from the picture is a few percent of its own area.
        found = []
        for area, (x, y, width, height) in [("window", (0, 0, w.width, w.height)),
                                            ("button", (90, 10, 80, 24)),
                                            ("field", (10, 60, 100, 24))]:
            differ = xdriver.differing_pixels(made, shown, (x, y, width, height))
            if differ > width * height // 100:
                found.append(f"{differ} pixels of the {area}")
        return found
    # The screen may show the window's last drawing a little later.
    if not xdriver.wait_until(lambda: not differences(), step=0.2):
        raise AssertionError(f"{', '.join(differences())} differ from the screen")
    xd.close(w)


def run(kiv_path, name, script, check, start=Kiv):
    """Runs `script` in kiv (the process `start(kiv_path, path, folder)`
    makes) and `check(kiv, display)` beside it; 0 when the check passes,
    else 1 with a screenshot."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, name + ".kiv")
        with open(path, "w") as f:
            f.write(script)
        xd = xdriver.Display()
        kiv = start(kiv_path, path, folder)
        try:
            check(kiv, xd)
        except AssertionError as failure:
            print("FAIL:", failure)
            print("screenshot:", xdriver.screenshot(name))
            return 1
        finally:
            kiv.end()
    print(f"{name}: {' '.join(check.__doc__.split())}")
    return 0


def main(kiv_path, name, scenarios=SCENARIOS):
    """Runs the scenario `name` of the table (another driver's too)."""
    return run(kiv_path, name, *scenarios[name])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
