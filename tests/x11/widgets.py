#!/usr/bin/env python3
"""GTK's views of the widget faces, used as a user uses them: kiv (argv[1])
views a window of one kind of widget and prints what its actors see and
where its faces lie; this driver clicks and types through XTest and reads
the screen back. One scenario per run (argv[2]); a screenshot is saved
when it fails.

Run under an X server (xvfb-run) with KIV_GUI=gtk and the test fonts.
Usage: widgets.py KIV SCENARIO
"""
import re
import subprocess
import sys
import time

import xdriver
from engine_input import Kiv, scenario_table
from engine_input import main as run_scenario

# `tell` prints a face's name and facets on one line, for the driver to
# read: "NAME x y width height" from the window's corner.
PRELUDE = r'''Kiv []
tell: func [name face /local at] [
    at: face-to-window face/offset face/parent
    print [name to integer! at/x to integer! at/y to integer! face/size/x to integer! face/size/y]
]
face-to-window: func [xy parent] [
    while [parent/type <> 'window] [xy: xy + parent/offset parent: parent/parent]
    xy
]
'''

SCENARIOS = {}
scenario = scenario_table(PRELUDE, SCENARIOS)


class Shot:
    """A part of the screen read once: its pixels as (r, g, b) by (x, y)
    from the part's corner."""

    def __init__(self, x, y, width, height):
        text = subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                               "-depth", "8", "txt:-"], capture_output=True, text=True,
                              check=True).stdout
        self.width, self.height = width, height
        self.pixels = {}
        for m in re.finditer(r"^(\d+),(\d+): \((\d+),(\d+),(\d+)", text, re.M):
            self.pixels[int(m[1]), int(m[2])] = (int(m[3]), int(m[4]), int(m[5]))

    def at(self, x, y):
        return self.pixels[x, y]

    def row(self, y):
        return [self.pixels[x, y] for x in range(self.width)]

    def column(self, x):
        return [self.pixels[x, y] for y in range(self.height)]


def lum(colour):
    return sum(colour) // 3


def bluish(colour):
    """A colour of the theme's selection or fill (Adwaita's blue)."""
    r, g, b = colour
    return b > 150 and b - r > 60


def face_places(kiv, names, timeout=20.0):
    """The places "NAME x y width height" printed for these names."""
    places = {}
    end = time.monotonic() + timeout
    for line in kiv.lines_until(end):
        words = line.split()
        if len(words) == 5 and words[0] in names:
            places[words[0]] = tuple(int(v) for v in words[1:])
        if len(places) == len(names):
            return places
    raise AssertionError(f"places of {names} not printed; printed {kiv.seen!r}")


def poll(judge, what, timeout=10.0):
    """Waits until `judge()` answers a true value (the last answer is
    given in the failure)."""
    end = time.monotonic() + timeout
    while True:
        answer = judge()
        if answer:
            return answer
        if time.monotonic() >= end:
            raise AssertionError(f"{what}: never ({answer!r})")
        time.sleep(0.1)


def window_of(xd, title):
    w = xd.window(title)
    if w is None:
        raise AssertionError(f"no window {title}")
    return w


@scenario(r'''
view/no-wait [
    title "kiv-drop-down-typing"
    dd: drop-down 120 data ["alpha" "beta"] on-change [print ["text" mold face/text]]
]
tell "dd" dd
do-events
''')
def drop_down_typing(kiv, xd):
    """Keys typed into a drop-down's field go in order, the caret after
    each: the face's text is "a", "ab", "abc" """
    (x, y, width, height) = face_places(kiv, ["dd"])["dd"]
    w = window_of(xd, "kiv-drop-down-typing")
    xd.focus(w)
    xd.click(w.x + x + 10, w.y + y + height // 2)
    for typed in ("a", "ab", "abc"):
        xd.type(typed[-1])
        kiv.expect(f'text "{typed}"')


@scenario(r'''
view/no-wait [
    title "kiv-drop-down-arrow"
    narrow: drop-down data ["alpha" "beta"] on-change [print ["picked" face/selected]]
    wide: drop-down 120 data ["alpha" "beta"] on-change [print ["picked" face/selected]]
]
tell "narrow" narrow
tell "wide" wide
do-events
''')
def drop_down_arrow(kiv, xd):
    """A drop-down's arrow button lies inside its face, at the default
    width and at 120: a click there opens the list, whose second item a
    click picks"""
    places = face_places(kiv, ["narrow", "wide"])
    w = window_of(xd, "kiv-drop-down-arrow")
    for name in ("narrow", "wide"):
        x, y, width, height = places[name]
        # Pressed some pixels in from the face's right edge: the arrow.
        xd.click(w.x + x + width - 8, w.y + y + height // 2)
        # The list opens below or over the face: its second item is the
        # last thing under the face's left part that is not the face.
        below = poll(lambda: popup_item_place(xd, w.x + x, w.y + y, height),
                     f"the list of {name} opened")
        xd.click(*below)
        kiv.expect("picked 2")


def popup_item_place(xd, x, y, height):
    """The screen point of a popup list's second item: GTK's list is a
    top-level window of its own, over the face; None while there is none."""
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True,
                          text=True).stdout
    for m in re.finditer(r"(0x[0-9a-f]+) .*?(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)",
                         tree):
        width, h = int(m[2]), int(m[3])
        left, top = int(m[6]), int(m[7])
        info = subprocess.run(["xwininfo", "-id", m[1]], capture_output=True, text=True).stdout
        if "IsViewable" not in info or "Override Redirect State: yes" not in info:
            continue
        if left <= x + 4 < left + width and h >= 2 * height:
            # Two items in the list, the second in its lower half.
            return left + width // 2, top + h * 3 // 4 - 2
    return None


@scenario(r'''
view/no-wait [
    title "kiv-scrollers"
    across
    h: scroller 200x20 on-change [print ["data" h/data]]
    v: scroller 20x100
]
h/selected: 20%
tell "h" h
tell "v" v
do-events
''')
def scroller(kiv, xd):
    """A scroller shows a thumb and arrows at both ends: a click on the
    forward arrow moves the data and the thumb with it"""
    places = face_places(kiv, ["h", "v"])
    w = window_of(xd, "kiv-scrollers")
    x, y, width, height = places["h"]
    mid = height // 2

    def thumb_end():
        # The thumb: a run of darker pixels along the middle row, between
        # the arrows (the trough is the lightest colour there); where it
        # ends.
        row = Shot(w.x + x, w.y + y + mid, width, 1).row(0)
        trough = max(lum(c) for c in row)
        dark = [i for i in range(height, width - height) if trough - lum(row[i]) > 30]
        return dark[-1] if dark else None

    def arrows():
        # An arrow's glyph at each end: ink darker than the trough in the
        # end's square.
        ends = []
        for left in (0, width - height):
            shades = [lum(c) for c in Shot(w.x + x + left, w.y + y, height, height).pixels.values()]
            ends.append(max(shades) - min(shades) > 40)
        return all(ends) or ends

    start = poll(thumb_end, "a thumb in the horizontal scroller")
    poll(arrows, "arrows at both ends of the horizontal scroller")
    vx, vy, vw, vh = places["v"]
    column = Shot(w.x + vx + vw // 2, w.y + vy, 1, vh).column(0)
    trough = max(lum(c) for c in column)
    if not any(trough - lum(c) > 30 for c in column[vh // 5:vh - vh // 5]):
        raise AssertionError("no thumb in the vertical scroller")
    xd.click(w.x + x + width - height // 2, w.y + y + mid)
    kiv.expect("data 0.05", timeout=10)
    poll(lambda: (thumb_end() or 0) > start, "the thumb moved forward")


@scenario(r'''
view/no-wait [
    title "kiv-tab-pages"
    tp: tab-panel 200x100 [
        "First" [base 30x30 255.0.0]
        "Second" [base 30x30 0.0.255]
    ]
    return
    again: button "First again" [tp/selected: 1]
]
tell "tp" tp
tell "page1" tp/pane/1
tell "page2" tp/pane/2
tell "red" tp/pane/1/pane/1
tell "again" again
do-events
''')
def tab_pages(kiv, xd):
    """Only the selected tab's page shows, inside the tab panel: the first
    at the start, the second once its tab is clicked, the first again when
    the program selects it"""
    places = face_places(kiv, ["tp", "page1", "page2", "red", "again"])
    tx, ty, tw, th = places["tp"]
    for page in ("page1", "page2"):
        px, py, pw, ph = places[page]
        if px < tx or py < ty or px + pw > tx + tw or py + ph > ty + th:
            raise AssertionError(f"{page} at {places[page]} lies outside the panel {places['tp']}")
    w = window_of(xd, "kiv-tab-pages")
    rx, ry, rw, rh = places["red"]
    spot = (w.x + rx + rw // 2, w.y + ry + rh // 2)
    red, blue = (255, 0, 0), (0, 0, 255)
    for step, colour in [("start", red), ("Second clicked", blue), ("selected by code", red)]:
        if step == "Second clicked":
            # The second tab: right of the first, on the tab row.
            xd.click(w.x + tx + 90, w.y + ty + 12)
        elif step == "selected by code":
            bx, by, bw, bh = places["again"]
            xd.click(w.x + bx + bw // 2, w.y + by + bh // 2)
        if not xdriver.wait_pixel(*spot, colour, timeout=10):
            raise AssertionError(f"{step}: {xdriver.pixel(*spot)} where the page shows {colour}")


@scenario(r'''
view/no-wait [
    title "kiv-progress"
    below
    p0: progress 200x16 0%
    p1: progress 200x16 25%
    p2: progress 200x16 60%
    p3: progress 200x16 100%
    button "half" [p0/data: 50%]
]
foreach name [p0 p1 p2 p3] [tell form name get name]
tell "half" last system/view/screens/1/pane/1/pane
do-events
''')
def progress(kiv, xd):
    """A progress bar's fill is as long as its data (0%, 25%, 60%, 100%),
    and follows the data set at run time"""
    names = ["p0", "p1", "p2", "p3"]
    places = face_places(kiv, names + ["half"])
    w = window_of(xd, "kiv-progress")

    def fill(name):
        # The filled length along the bar: its fill-coloured columns, in
        # whichever row of the face shows the fill.
        x, y, width, height = places[name]
        shot = Shot(w.x + x, w.y + y, width, height)
        return max(sum(1 for c in shot.row(r) if bluish(c)) for r in range(height)) / width

    def near(name, wanted):
        got = fill(name)
        return abs(got - wanted) <= 0.05 or got

    for name, wanted in zip(names, (0.0, 0.25, 0.6, 1.0)):
        poll(lambda: near(name, wanted) is True, f"{name} filled to {wanted}")
    x, y, width, height = places["half"]
    xd.click(w.x + x + width // 2, w.y + y + height // 2)
    poll(lambda: near("p0", 0.5) is True, "p0 filled to a half at run time")


@scenario(r'''
view/no-wait [title "kiv-calendar" cal: calendar 1-Feb-2025]
tell "cal" cal
do-events
''')
def calendar(kiv, xd):
    """A calendar is drawn whole within its face: Saturday's column and
    the year's arrows are not cut off at its right edge"""
    x, y, width, height = face_places(kiv, ["cal"])["cal"]
    w = window_of(xd, "kiv-calendar")

    def drawn_whole():
        shot = Shot(w.x + x, w.y + y, width, height)
        ink = [min(lum(c) for c in shot.column(i)) for i in range(width)]
        # Drawn at all (day numbers), and nothing dark on the last columns
        # (a glyph or arrow cut at the edge).
        return min(ink) < 100 and min(ink[-3:]) > 110 or ink[-3:]

    poll(lambda: drawn_whole() is True, "the calendar drawn within its face")


if __name__ == "__main__":
    sys.exit(run_scenario(sys.argv[1], sys.argv[2], SCENARIOS))
