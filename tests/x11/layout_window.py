#!/usr/bin/env python3
"""A window laid out by `layout` and viewed under GTK has the offsets and
sizes the same layout has headless, and its faces are painted there: kiv
(argv[1]) lays the block out headless and prints the face tree, then lays
it out again under GTK, prints the tree and shows the window; the window's
size is read with xwininfo and the colour of every `base` face is looked
for at its place on the screen.

Run under an X server (xvfb-run) with the test fonts (FONTCONFIG_FILE).
Usage: layout_window.py KIV
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xdriver import PATIENCE, find_window, wait_until, window_pixels  # noqa: E402

TITLE = "kiv-layout-window"

SCRIPT = r'''Kiv []
win: layout [
    title "kiv-layout-window"
    across middle base 40x30 200.0.0 base 20x20 0.0.200 text "a longer label here"
    return below center base 60x10 0.160.0 base 20x20 200.200.0
]
tree: collect [
    keep win/size
    foreach f win/pane [keep reduce [f/type f/offset f/size f/color]]
]
print ["tree" mold/flat tree]
if "gtk" = get-env "KIV_GUI" [
    view/no-wait win
    print "ready"
    ; The window's events go on until the driver has read the screen.
    done: to-file rejoin [get-env "KIV_TEST_DIR" "/done"]
    until [do-events/no-wait wait 0.05 exists? done]
    unview/all
]
'''


def run_headless(kiv, script):
    env = dict(os.environ, KIV_GUI="headless")
    out = subprocess.run([kiv, script], capture_output=True, text=True, env=env,
                         timeout=PATIENCE).stdout
    return next((line for line in out.splitlines() if line.startswith("tree")), None)


# A pair (10x20) or a point ((10.5, 20)) as the tree prints it.
PLANAR = r"(?:(\d+)x(\d+)|\(([\d.]+), ([\d.]+)\))"


def planar(match, first):
    """The two numbers of a PLANAR match whose groups start at `first`."""
    groups = match.groups()[first:first + 4]
    return (float(groups[0] or groups[2]), float(groups[1] or groups[3]))


def bases(tree):
    """(offset, size, colour) of each base face of a printed tree."""
    found = []
    for m in re.finditer(r"base " + PLANAR + " " + PLANAR + r" (\d+)\.(\d+)\.(\d+)", tree):
        (x, y), (w, h) = planar(m, 0), planar(m, 4)
        found.append(((int(x), int(y)), (int(w), int(h)), tuple(int(v) for v in m.groups()[8:])))
    return found


def unpainted(window, tree):
    """The base faces of the printed tree not shown in their colour on the
    screen: two pixels inside each corner, and the middle."""
    at = window_pixels(window)
    wrong = []
    for (bx, by), (bw, bh), colour in bases(tree):
        for px, py in [(bx + 2, by + 2), (bx + bw - 3, by + 2), (bx + 2, by + bh - 3),
                       (bx + bw - 3, by + bh - 3), (bx + bw // 2, by + bh // 2)]:
            if at(px, py) != colour:
                wrong.append(f"{colour} base at {bx}x{by}: {at(px, py)} at {px}x{py}")
    return wrong


def main(kiv):
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "layout-window.kiv")
        with open(script, "w") as f:
            f.write(SCRIPT)
        headless = run_headless(kiv, script)
        env = dict(os.environ, KIV_GUI="gtk", KIV_TEST_DIR=folder)
        proc = subprocess.Popen([kiv, script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True, env=env)
        try:
            gtk = proc.stdout.readline().strip()
            ready = proc.stdout.readline().strip()
            failures = []
            if ready != "ready":
                failures.append(f"the window was not shown ({ready!r})")
            if not headless or gtk != headless:
                failures.append(f"headless {headless!r} and GTK {gtk!r} differ")
            window = find_window(TITLE)
            if not window:
                failures.append("the window is not viewable")
            if not failures:
                # A fractional size is a whole number of pixels on screen.
                size = planar(re.match(r"tree \[" + PLANAR, gtk), 0)
                if abs(window.width - size[0]) >= 1 or abs(window.height - size[1]) >= 1:
                    failures.append(f"window {window}, layout {size}")
                if len(bases(gtk)) != 4:
                    failures.append(f"4 base faces expected in {gtk}")
                # The window may be painted a little after it shows.
                if not wait_until(lambda: not unpainted(window, gtk), step=0.2):
                    failures += unpainted(window, gtk)
            with open(os.path.join(folder, "done"), "w"):
                pass
            proc.communicate(timeout=PATIENCE)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
    if failures:
        print("FAIL:", "; ".join(failures))
        return 1
    print("the GTK window has the headless layout:", gtk)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
