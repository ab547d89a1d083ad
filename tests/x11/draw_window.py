#!/usr/bin/env python3
"""A window painted with a draw block on the X server equals the same
block drawn into an image: kiv (argv[1]) shows a window face whose `draw`
block is the fixture, the window is read back from the server, and kiv
compares it with the block drawn into an image scaled by the screen's
scale factor (tolerance 3 per channel on 99.5% of the pixels). A line one
unit wide must cover as many device rows as an integer scale factor says. Runs
under xvfb-run, with or without GDK_SCALE / GDK_DPI_SCALE."""
import sys

from xdriver import run_with_shot

TITLE = "kiv-draw-window"

SCRIPT = r'''Kiv []
cmds: [
    pen off fill-pen 200.30.30 box 10x10 50x40 8
    pen 20.120.200 line-width 3 line 5x70 60x52 110x62
    fill-pen radial 255.255.0 0.0.255 pen 0.0.0 line-width 2 circle 85x28 18
    shape [move 60x5 arc 110x20 30 20 0 sweep line 110x5 close]
    line-width 1 pen 0.0.0 line (0.0, 75.5) (120.0, 75.5)
]
win: make face! [type: 'window text: "kiv-draw-window" offset: 40x40 size: 120x80
    color: 255.255.255 draw: cmds]
view/no-wait win
loop 20 [do-events/no-wait wait 0.05]
scale: system/view/screens/1/data
print ["ready" scale]
shot: load to-file ask ""
ref: draw make image! reduce [as-pair round 120 * scale round 80 * scale 255.255.255]
    compose [scale (scale) (scale) (cmds)]
size: min shot/size ref/size
close-enough: 0
repeat y size/y [repeat x size/x [
    a: pick shot as-pair x y b: pick ref as-pair x y
    if all [(absolute a/1 - b/1) <= 3 (absolute a/2 - b/2) <= 3 (absolute a/3 - b/3) <= 3] [
        close-enough: close-enough + 1
    ]
]]
rows: copy []
y: to integer! 70 * scale
while [y < to integer! 80 * scale] [
    p: pick shot as-pair to integer! 100 * scale y + 1
    if p/1 < 128 [append rows y]
    y: y + 1
]
print ["sizes" shot/size ref/size]
print ["close" close-enough size/x * size/y]
print ["line-rows" mold rows]
unview/all
'''


def main():
    scale, out, err, status = run_with_shot(sys.argv[1], SCRIPT, TITLE)
    if scale is None:
        print("kiv did not show the window:", out, err)
        return 1
    lines = {line.split()[0]: line.split()[1:] for line in out.splitlines() if line.strip()}
    failures = []
    close, total = (int(v) for v in lines.get("close", ["0", "1"]))
    if total < 120 * 80 * scale * scale or close < 0.995 * total:
        failures.append(f"{close} of {total} pixels within 3 per channel")
    first = int(75 * scale)
    expected = "[" + " ".join(str(first + i) for i in range(int(scale))) + "]"
    rows = " ".join(lines.get("line-rows", []))
    if scale == int(scale) and rows != expected:
        failures.append(f"line rows {lines.get('line-rows')} instead of {expected}")
    if status != 0 or failures:
        print(f"scale {scale}:", "; ".join(failures) or f"status {status}")
        print(out, err)
        return 1
    print(f"scale {scale}: {close} of {total} pixels equal, line rows {rows}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
