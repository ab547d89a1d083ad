#!/usr/bin/env python3
"""Controls laid out by `layout` have the room GTK draws them with: kiv
(argv[1]) shows a button and a check box sized by layout under GTK, and
reads back from the server that the button's bottom border is there (a
button taller than its face is cut below) and that the check box's label
ends before the face's right edge (a label wider than the face is cut).

Usage: control_room.py KIV
"""
import sys

from xdriver import run_with_shot

TITLE = "kiv-control-room"

SCRIPT = r'''Kiv []
win: layout [title "kiv-control-room" b: button "Cancel" c: check "Dark Mode"]
view/no-wait win
loop 20 [do-events/no-wait wait 0.05]
print ["ready" scale: system/view/screens/1/data]
shot: load to-file ask ""
; Pixels are picked from 1x1.
at: func [x y] [pick shot as-pair round x * scale round y * scale]
lum: func [c] [c/1 + c/2 + c/3 / 3]
panel: lum at 2 2
; The button's last row, under its middle: its border, darker than the panel.
edge: lum at b/offset/x + (b/size/x / 2) b/offset/y + b/size/y - 0.5
print ["button-border" either panel - edge > 25 ["ok"] [edge]]
; Dark ink in the check box's last column means its label ran past it.
x: c/offset/x + c/size/x - 0.5
cut: false
repeat y to integer! c/size/y [if panel - (lum at x c/offset/y + y - 1) > 60 [cut: true]]
print ["check-label" either cut ["cut"] ["ok"]]
unview/all
'''


def main():
    _, out, err, status = run_with_shot(sys.argv[1], SCRIPT, TITLE)
    found = dict(line.split(None, 1) for line in out.splitlines() if " " in line)
    bad = [name for name in ("button-border", "check-label") if found.get(name) != "ok"]
    if status != 0 or bad:
        print(f"status {status}, failed {bad}:", out, err)
        return 1
    print("button-border check-label ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
