#!/usr/bin/env python3
"""A window shown in the light theme follows a switch to the dark one at
once: kiv (argv[1]) shows a panel window with no colour of its own and a
label, turns the dark theme on while the window is up, and reads back
from the server the panel's colour, which must be the dark theme's panel
colour (what a window made after the switch gets), not the light one.

Usage: theme_switch.py KIV
"""
import sys

from xdriver import run_with_shot

TITLE = "kiv-theme-switch"

SCRIPT = r'''Kiv []
win: layout [title "kiv-theme-switch" size 200x100 text "Label"]
view/no-wait win
loop 10 [do-events/no-wait wait 0.05]
; The tests name the theme in GTK_THEME, which names its variant too.
set-env "GTK_THEME" "Adwaita:dark"
system/view/platform/set-dark-mode win true
loop 20 [do-events/no-wait wait 0.05]
scale: system/view/screens/1/data
print ["ready" scale]
shot: load to-file ask ""
c: pick shot as-pair round 150 * scale round 80 * scale
print ["panel" c/1 c/2 c/3]
unview/all
'''


def main():
    _, out, err, status = run_with_shot(sys.argv[1], SCRIPT, TITLE)
    panel = next((line.split()[1:] for line in out.splitlines() if line.startswith("panel")), None)
    if status != 0 or not panel:
        print(f"no panel read (status {status}):", out, err)
        return 1
    # Adwaita's dark panel is a dark grey; its light one is near white.
    if max(int(v) for v in panel) > 100:
        print("the panel kept the light theme's colour:", panel)
        return 1
    print("panel", *panel, "ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
