#!/usr/bin/env python3
"""Widgets laid out by VID as a user sees and drives them under GTK: the
scroll bars of areas and lists, the change events of a slider, the colours
of check boxes and radio buttons and a text face that does not wrap. kiv (argv[1]) runs a case's script,
which prints where its faces lie; the driver reads the screen's pixels,
sends XTest input and checks what the script prints. One case per run
(argv[2]); a screenshot is saved when it fails.

Run under an X server (xvfb-run) with KIV_GUI=gtk.
Usage: widget_looks.py KIV CASE
"""
import functools
import re
import sys
import time

import engine_input
import xdriver
from backgrounds import dark, pixels

# Every script prints "at NAME X Y WIDTH HEIGHT" for its named faces, then
# "ready", and handles events until it is ended.
PRELUDE = r'''Kiv []
report: func [
    "Prints where each named face lies in its window, then ready"
    faces [block!] "Names and faces"
] [
    foreach [name face] faces [
        print ["at" name to integer! face/offset/x to integer! face/offset/y
            to integer! face/size/x to integer! face/size/y]
    ]
    print "ready"
]
'''

CASES = {}


def case(title, script):
    def register(check):
        CASES[check.__name__] = (title, PRELUDE + script, check)
        return check
    return register


class Faces:
    """The faces a script reported, as screen rectangles (x, y, w, h)."""

    def __init__(self, kiv, window):
        # As printed: in the window.
        self.reported = {}
        for line in kiv.seen:
            m = re.fullmatch(r"at (\S+) (-?\d+) (-?\d+) (\d+) (\d+)", line)
            if m:
                self.reported[m.group(1)] = tuple(int(v) for v in m.groups()[1:])
        self.window = window

    def __getitem__(self, name):
        x, y, w, h = self.reported[name]
        return self.window.x + x, self.window.y + y, w, h


def until(test, timeout=10.0):
    """Whether `test()` holds within the time, asked again and again."""
    end = time.monotonic() + timeout
    while True:
        if test():
            return True
        if time.monotonic() >= end:
            return False
        time.sleep(0.1)


def share(colours, wanted):
    """The share of the colours that `wanted(colour)` holds for."""
    return sum(1 for c in colours if wanted(c)) / max(1, len(colours))


def right_strip(rect):
    """Where a vertical scroll bar shows in a face: a strip 8 pixels wide
    inside its right edge, clear of the frame at both ends."""
    x, y, w, h = rect
    return x + w - 11, y + 6, 8, h - 12


def bar_shown(rect, background):
    """Whether most of the face's right strip is not its background, and
    part of it is a thumb, darker than a trough."""
    strip = pixels(*right_strip(rect))
    return share(strip, lambda c: c != background) > 0.8 and any(dark(c) for c in strip)


@case("kiv-bars", r'''
view/no-wait [
    title "kiv-bars"
    long-area: area 120x60 "one^/two^/three^/four^/five^/six^/seven^/eight"
    short-area: area 120x60 "one"
    return
    long-list: text-list 100x60 data ["a" "b" "c" "d" "e" "f" "g" "h" "i" "j"]
    short-list: text-list 100x60 data ["a"]
]
report reduce ['long-area long-area 'short-area short-area 'long-list long-list
    'short-list short-list]
do-events
''')
def scroll_bars(kiv, xd, faces):
    """An area and a text list whose content overflows show a vertical
    scroll bar with its thumb at their right edge; those whose content fits
    show none"""
    for long, short in (("long-area", "short-area"), ("long-list", "short-list")):
        # The background: the middle of the bottom row of the face whose
        # content fits, where no text lies.
        x, y, w, h = faces[short]
        background = xdriver.pixel(x + w // 2, y + h - 6)
        if not until(lambda: bar_shown(faces[long], background)):
            raise AssertionError(f"{long} shows no scroll bar")
        if share(pixels(*right_strip(faces[short])), lambda c: c == background) < 0.9:
            raise AssertionError(f"{short} shows a scroll bar")


def change_lines(kiv, first=10.0, quiet=1.5):
    """The change lines printed from now: waits `first` seconds for one,
    then takes those that follow until none comes for `quiet` seconds."""
    changes = []
    end = time.monotonic() + first
    for line in kiv.lines_until(end):
        if line.startswith("change"):
            changes.append(line)
            break
    while changes:
        more = [line for line in kiv.lines_until(time.monotonic() + quiet)
                if line.startswith("change")]
        if not more:
            break
        changes += more
    return changes


@case("kiv-slider", r'''
view/no-wait [
    title "kiv-slider"
    s: slider 150x23 on-change [print ["change" face/data]]
]
report reduce ['s s]
do-events
''')
def slider_events(kiv, xd, faces):
    """A drag of a slider's thumb sends one change event per position it
    passes, none repeated, nothing more at its end; a click on its track
    sends one"""
    x, y, w, h = faces["s"]
    # The thumb lies at the left end, its data 0%.
    xd.move(x + 8, y + h // 2)
    xd.button(True)
    for step in range(1, 6):
        xd.move(x + 8 + step * 10, y + h // 2)
    xd.button(False)
    changes = change_lines(kiv)
    if not changes:
        raise AssertionError("a drag sent no change")
    repeated = [a for a, b in zip(changes, changes[1:]) if a == b]
    if repeated:
        raise AssertionError(f"a drag repeated {repeated!r}; sent {changes!r}")
    # The track past the thumb, which now lies in the left half.
    xd.click(x + w * 3 // 4, y + h // 2)
    changes = change_lines(kiv)
    if len(changes) != 1:
        raise AssertionError(f"a click sent {changes!r}")


@case("kiv-checks", r'''
view/no-wait [
    title "kiv-checks"
    red-check: check "c" 255.0.0
    blue-radio: radio "r" 0.0.255
    plain-check: check "p"
]
report reduce ['red-check red-check 'blue-radio blue-radio 'plain-check plain-check]
do-events
''')
def check_colours(kiv, xd, faces):
    """A check box and a radio button are filled with their colour behind
    their label, their box keeps the theme's look; a check box without a
    colour shows the window's"""
    for name, colour in (("red-check", (255, 0, 0)), ("blue-radio", (0, 0, 255))):
        x, y, w, h = faces[name]
        # Past the label, at the right end of the face.
        if not xdriver.wait_pixel(x + w - 4, y + h // 2, colour):
            raise AssertionError(f"{name} shows {xdriver.pixel(x + w - 4, y + h // 2)}")
        # The box: the middle of its left square.
        box = xdriver.pixel(x + h // 2, y + h // 2)
        if box == colour:
            raise AssertionError(f"{name}'s box is filled with its colour")
    x, y, w, h = faces["plain-check"]
    if xdriver.pixel(x + w - 4, y + h // 2) in ((255, 0, 0), (0, 0, 255)):
        raise AssertionError("a check box without a colour took another's")


@case("kiv-wrap", r'''
view/no-wait [
    title "kiv-wrap"
    one-line: text 100x60 no-wrap "one two three four five six seven" 255.255.0
    wrapped: text 100x60 "one two three four five six seven" 0.255.255
]
report reduce ['one-line one-line 'wrapped wrapped]
do-events
''')
def no_wrap(kiv, xd, faces):
    """A text face without wrapping shows its text on one line; the same
    text wrapping runs on below the first line"""
    def lines(name):
        # Glyph pixels of the first line (the top 16 pixels) and below it.
        x, y, w, h = faces[name]
        top = pixels(x, y, w, 16)
        below = pixels(x, y + 20, w, h - 20)
        return any(dark(c) for c in top), any(dark(c) for c in below)
    if not until(lambda: lines("wrapped") == (True, True)):
        raise AssertionError(f"the wrapping text shows {lines('wrapped')}")
    if lines("one-line") != (True, False):
        raise AssertionError("the text without wrapping does not show one line")


def main(kiv_path, name):
    title, script, check = CASES[name]

    @functools.wraps(check)
    def located(kiv, xd):
        kiv.expect("ready", 30)
        window = xd.window(title)
        if window is None:
            raise AssertionError(f"no window {title}")
        check(kiv, xd, Faces(kiv, window))
    return engine_input.run(kiv_path, name, script, located)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
