#!/usr/bin/env python3
"""Faces the program draws, viewed under GTK, show on the X server what
they show headless: kiv (argv[1]) shows a window of base faces (a colour,
an image stretched over the face, a half-transparent face over a panel
and over a button, right-aligned text), the window is read back from the
server, and kiv checks the pixels: colours within 6 per channel, the
half-transparent faces blended with what lies below them (the button as
GTK draws it, read beside an uncovered twin), the text's ink only at the
right. Runs under xvfb-run, with or without GDK_SCALE.

Usage: base_faces.py KIV
"""
import sys

from xdriver import run_with_shot

TITLE = "kiv-base-faces"

SCRIPT = r'''Kiv []
glass: [type: 'base size: 40x40 color: 255.0.0.128]
win: make face! [type: 'window text: "kiv-base-faces" offset: 40x40 size: 300x110 color: 0.0.255
    pane: reduce [
        make face! [type: 'base offset: 10x10 size: 40x40 color: 255.0.0]
        make face! [type: 'base offset: 60x10 size: 40x40 color: 255.255.255
            image: make image! [8x8 0.255.0]]
        make face! [type: 'panel offset: 110x10 size: 40x40 color: 0.255.0]
        make face! [type: 'base offset: 110x10 size: 40x40 color: 255.0.0.128]
        make face! [type: 'button offset: 160x10 size: 60x40]
        make face! [type: 'button offset: 230x10 size: 60x40]
        make face! [type: 'base offset: 230x10 size: 60x40 color: 255.0.0.128]
        make face! [type: 'base offset: 10x60 size: 280x40 color: 255.255.255 text: "WWW"
            para: make para! [align: 'right v-align: 'middle]
            font: make font! [size: 14 color: 0.0.0]]
    ]
]
view/no-wait win
loop 20 [do-events/no-wait wait 0.05]
scale: system/view/screens/1/data
print ["ready" scale]
shot: load to-file ask ""
at: func [x y] [pick shot as-pair round x * scale round y * scale]
near: func [c r g b] [all [
    (absolute c/1 - r) <= 6 (absolute c/2 - g) <= 6 (absolute c/3 - b) <= 6]]
check: func [name ok] [print [name either ok ["ok"] ["bad"]]]
; Half red over a colour: each channel half way.
over-red: func [c] [reduce [to integer! c/1 + 255 / 2 to integer! c/2 / 2 to integer! c/3 / 2]]
check "colour" near at 30 30 255 0 0
check "image" near at 80 30 0 255 0
check "glass-over-panel" near at 130 30 128 127 0
plain: at 190 30
check "glass-over-button" apply :near append reduce [at 260 30] over-red plain
; Whether columns x1..x2 of the text face hold dark ink.
ink?: func [x1 x2 /local c] [
    repeat y 30 [repeat x x2 - x1 + 1 [
        c: at x1 + x - 1 64 + y
        if c/1 < 100 [return true]
    ]]
    false
]
check "text-right" all [not ink? 12 200 ink? 240 288]
unview/all
'''


def main():
    scale, out, err, status = run_with_shot(sys.argv[1], SCRIPT, TITLE)
    if scale is None:
        print("kiv did not show the window:", out, err)
        return 1
    checks = [line.split() for line in out.splitlines() if len(line.split()) == 2]
    bad = [name for name, verdict in checks if verdict != "ok"]
    if status != 0 or len(checks) != 5 or bad:
        print(f"scale {scale}: failed {bad}, status {status}")
        print(out, err)
        return 1
    print(f"scale {scale}:", " ".join(name for name, _ in checks), "ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
