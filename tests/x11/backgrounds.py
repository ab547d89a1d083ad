#!/usr/bin/env python3
"""A text face without a colour on a coloured panel, viewed under GTK,
shows the panel's colour around its glyphs: GTK draws text widgets over
their parent, so the GUI rules leave such faces alone on Linux.

Run under an X server (xvfb-run) with KIV_GUI=gtk; reads the screen with
xwininfo and ImageMagick's import.

Usage: backgrounds.py KIV
"""
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xdriver import PATIENCE  # noqa: E402

PANEL = (200, 0, 0)

# The panel is at 10x10 in the window, the text face at 20x20 in the panel.
SCRIPT = """Kiv []
label: make face! [type: 'text offset: 20x20 size: 100x30 text: "Hi"]
panel: make face! [type: 'panel offset: 10x10 size: 180x100 color: 200.0.0 pane: reduce [label]]
win: make face! [type: 'window text: "backgrounds" offset: 100x100 size: 200x120 pane: reduce [panel]]
system/view/VID/GUI-rules/process win
if label/color [print "the rules coloured the label" quit/return 1]
view win
"""
LABEL_OFFSET = (30, 30)
LABEL_SIZE = (100, 30)


def dark(colour):
    """A pixel of the glyphs: dark grey text, or its blend with the panel."""
    return max(colour) < 160


def window_origin():
    """The top-left corner of the window on the screen, or None."""
    info = subprocess.run(["xwininfo", "-name", "backgrounds"], capture_output=True, text=True)
    x = re.search(r"Absolute upper-left X:\s+(-?\d+)", info.stdout)
    y = re.search(r"Absolute upper-left Y:\s+(-?\d+)", info.stdout)
    return (int(x.group(1)), int(y.group(1))) if x and y else None


def pixels(x, y, width, height):
    """The colours of a screen rectangle, as (r, g, b) in 0-255."""
    text = subprocess.run(
        ["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}", "-depth", "8", "txt:-"],
        capture_output=True, text=True, check=True).stdout
    return [tuple(int(v) for v in m) for m in re.findall(r"\((\d+),(\d+),(\d+)", text)]


def main(kiv):
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "backgrounds.kiv")
        with open(script, "w") as f:
            f.write(SCRIPT)
        child = subprocess.Popen([kiv, script])
        try:
            origin, colours = None, []
            deadline = time.monotonic() + PATIENCE
            # Wait until the label is drawn: its area holds the panel's colour
            # and the darker pixels of its glyphs.
            while time.monotonic() < deadline and child.poll() is None:
                origin = window_origin()
                if origin:
                    colours = pixels(origin[0] + LABEL_OFFSET[0], origin[1] + LABEL_OFFSET[1],
                                     *LABEL_SIZE)
                    if PANEL in colours and any(dark(c) for c in colours):
                        break
                time.sleep(0.2)
        finally:
            child.kill()
            child.wait()
    if not origin:
        print("FAIL: the window never showed")
        return 1
    share = colours.count(PANEL) / max(len(colours), 1)
    glyphs = sum(1 for c in colours if dark(c))
    # "Hi" covers a few per cent of the face; the rest is the panel.
    if share < 0.8 or glyphs == 0:
        print(f"FAIL: panel colour on {share:.0%} of the label, {glyphs} glyph pixels")
        return 1
    print(f"ok: panel colour on {share:.0%} of the label, {glyphs} glyph pixels")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
