#!/usr/bin/env python3
"""The graphical console headless, in-process: a Kiv driver replaces the
platform's event loop by a list of steps (typed text, keys, events and
checks), launches the console as `kiv --gui` does, and the checks, the
terminal's lines and the configuration file written at the end are read
here. Each session runs with a HOME of its own.

Usage: gui.py KIV
"""
import os
import subprocess

from harness import KIV, TIMEOUT, check, main

# The driver: steps come from steps.kiv. A string is typed key by key, a
# char or word is one key, a block is flags then a key, a paren is run, and
# the word | ends the event loop it runs in (a dialog's). Checks append
# "ok NAME" or "FAIL NAME" to checks.txt; dump writes the terminal's lines
# as shown to lines.txt.
DRIVER = r"""Kiv []
p: system/view/platform
ended?: false
p/exit-event-loop: does [ended?: true]
send: func [spec [block!]] [system/view/awake make event! spec]
press: func [k /local fl] [
    fl: copy []
    if block? k [fl: copy/part k (length? k) - 1 k: last k]
    if word? k [k: to lit-word! k]
    send compose/only [type: 'key key: (k) flags: (fl) face: (ctx/console)]
]
p/do-event-loop: func [no-wait? /local k] [
    if no-wait? [exit]
    ended?: false
    while [not ended?] [
        if tail? steps [write/append %checks.txt "FAIL steps ran out^/" quit/return 9]
        k: first steps steps: next steps
        case [
            k = '| [ended?: true]
            paren? :k [do k]
            string? k [foreach c k [press c]]
            true [press k]
        ]
    ]
    ended?: false
]
check: func [name [string!] ok] [
    write/append %checks.txt rejoin [either :ok ["ok "] ["FAIL "] name newline]
]
; The lines as shown: past a line's flag, hidden input shows as stars.
shown: func [/local out t line flag] [
    out: copy []
    t: ctx/terminal
    repeat n length? t/lines [
        line: copy head pick t/lines n
        flag: pick t/flags n
        if flag > 0 [
            ; The flag is where the masked part starts, counted from the prompt.
            forall line [if (index? line) > flag [change line #"*"]]
            line: head line
        ]
        append out line
    ]
    out
]
dump: does [write/lines %lines.txt shown]
newest: does [last head system/view/screens/1/pane]
find-face: func [root [object!] text [string!] /local found] [
    if root/text = text [return root]
    if block? root/pane [
        foreach f root/pane [if found: find-face f text [return found]]
    ]
    none
]
click: func [text [string!] /local f] [
    f: find-face newest text
    f/actors/on-click f make event! [type: 'click face: f]
]
menu: func [choice [word!]] [send compose [type: 'menu face: (ctx/win) picked: choice]]
close-win: does [ctx/win/actors/on-close ctx/win make event! [type: 'close]]
get-caret-blink-time: does [blink]
blink: 500
do %setup.kiv
system/console/gui?: true
system/script/args: none
make-gui-console
ctx: gui-console-ctx
steps: to block! load/all %steps.kiv
ctx/launch
"""


def session(folder, name, steps, home=None, setup=""):
    """Runs one console session; answers (exit status, check lines, terminal
    lines, configuration file text or None)."""
    run = os.path.join(folder, name)
    os.makedirs(run, exist_ok=True)
    home = home or os.path.join(run, "home")
    os.makedirs(home, exist_ok=True)
    for leftover in ("checks.txt", "lines.txt"):
        if os.path.exists(os.path.join(run, leftover)):
            os.remove(os.path.join(run, leftover))
    with open(os.path.join(run, "driver.kiv"), "w") as f:
        f.write(DRIVER)
    with open(os.path.join(run, "steps.kiv"), "w") as f:
        f.write(steps)
    with open(os.path.join(run, "setup.kiv"), "w") as f:
        f.write("Kiv []\n" + setup)
    result = subprocess.run([KIV, "driver.kiv"], cwd=run, capture_output=True, text=True,
                            timeout=TIMEOUT, env=dict(os.environ, HOME=home, KIV_GUI="headless"))

    def read(path):
        path = os.path.join(run, path)
        return open(path).read() if os.path.exists(path) else None

    checks = (read("checks.txt") or "").splitlines()
    lines = (read("lines.txt") or "").splitlines()
    cfg = read(os.path.join(home, ".kiv", "Kiv-Console", "console-cfg.kiv"))
    failed = [c for c in checks if not c.startswith("ok ")]
    check(f"{name}: status 0", result.returncode == 0, result.stdout[-600:] + result.stderr[-600:])
    check(f"{name}: checks", not failed, failed)
    return result, checks, lines, cfg


def prompt_and_results(folder):
    _, _, lines, cfg = session(folder, "prompt", r"""
        "1 + 2" #"^M"
        "[1" #"^M" (check "cue" "[    " = last shown) "2]" #"^M"
        "(3" #"^M" #"^[" (check "escape drops the gathered input" ">> " = last shown)
        "[1 #{0}]" #"^M" (check "bad binary in a block is an error at once" ">> " = last shown)
        "4" #"^M"
        (dump) (close-win)
    """)
    check("result shown", "== 3" in lines, lines)
    check("continued input evaluated", "== [1" in lines, lines)
    check("after escape", "== 4" in lines, lines)
    check("history written", cfg and 'history: ["4" "[1 #{0}]" "(3" "2]" "[1" "1 + 2"]' in cfg, cfg)


def history_across_restart(folder):
    home = os.path.join(folder, "restart-home")
    session(folder, "first", r'"10 * 10" #"^M" (close-win)', home)
    _, _, lines, _ = session(folder, "second", r'up #"^M" (dump) (close-win)', home)
    check("Up recalls the saved line", ">> 10 * 10" in lines and "== 100" in lines, lines)


def hidden_input(folder):
    _, _, lines, cfg = session(folder, "hidden", r"""
        {x: ask/hide "pw: "} #"^M" "secret" #"^M" "length? x" #"^M" (dump) (close-win)
    """)
    check("hidden input masked", "pw: ******" in lines and "== 6" in lines, lines)
    check("hidden input kept out of the history", cfg and "secret" not in cfg, cfg)


def keys_and_menus_bar(folder):
    _, _, _, cfg = session(folder, "keys", r"""
        (send compose [type: 'key-down key: 'F12 face: (ctx/win)])
        (check "F12 hides the menu bar" all [none? ctx/win/menu ctx/cfg/menu-bar? = 'false])
        (send compose [type: 'key-down key: 'F12 face: (ctx/win)])
        (check "F12 shows it again" ctx/win/menu = ctx/win-menu)
        (send compose [type: 'key-down key: 'F12 face: (ctx/win)])
        "abc"
        (send compose [type: 'key-down key: #"A" flags: [alt shift] face: (ctx/console)])
        (check "Alt+Shift+A selects nothing" empty? ctx/terminal/selects)
        (send compose [type: 'key-down key: #"A" flags: [alt] face: (ctx/console)])
        (check "Alt+A selects all" not empty? ctx/terminal/selects)
        (send compose [type: 'key-down key: #"O" flags: [alt] face: (ctx/console)])
            (check "Alt+O opens the settings" "Settings" = get in newest (quote text)) (click "Cancel") |
        (check "settings closed" same? newest ctx/win)
        (close-win)
    """)
    check("menu bar choice saved", cfg and "menu-bar?: false" in cfg, cfg)


def mouse_modes(folder):
    session(folder, "mouse", r"""
        (check "context menu without mouse paste" ctx/console/menu = ctx/console-menu)
        (write-clipboard "pasted")
        (send compose [type: 'alt-down face: (ctx/console) offset: 5x5])
        (check "right button does nothing without mouse paste" empty? ctx/terminal/line)
        (ctx/cfg/mouse-paste?: 'true ctx/toggle-mouse-mode)
        (check "no context menu with mouse paste" none? ctx/console/menu)
        (send compose [type: 'alt-down face: (ctx/console) offset: 5x5])
        (check "right button pastes" "pasted" = ctx/terminal/line)
        (ctx/terminal/select-all)
        (write-clipboard "")
        (send compose [type: 'alt-down face: (ctx/console) offset: 5x5])
        (check "right button copies the selection and clears it"
            all [empty? ctx/terminal/selects find read-clipboard "pasted"])
        (close-win)
    """)


def menu_choices(folder):
    script = os.path.join(folder, "menus", "run-me.kiv")
    os.makedirs(os.path.dirname(script), exist_ok=True)
    with open(script, "w") as f:
        f.write('Kiv [] print "ran it"\n')
    _ = session(folder, "menus", r"""
        "1 +" (menu 'shortcuts)
        (check "shortcuts keep the typed input" "1 +" = ctx/terminal/line)
        " 1" #"^M"
        (menu 'about-msg) (check "about box" "About" = get in newest (quote text)) (click "Close") |
        (check "about closed, console focused" all [same? newest ctx/win same? ctx/win/selected ctx/console])
        (request-font: func [/font f /mono] [make font! [name: "DejaVu Sans Mono" size: 14]])
        (menu 'choose-font)
        (check "chosen font" all [ctx/font/size = 14 ctx/console/font/size = 14 ctx/terminal/box/font/size = 14])
        (request-file: does [%run-me.kiv])
        (menu 'run-file)
        (menu 'quit)
    """)
    result, _, _, cfg = _
    check("Run... runs the file", "ran it" in result.stdout, result.stdout)
    check("Quit saves like closing", cfg and "font-size: 14" in cfg, cfg)


def shortcut_text(folder):
    _, _, lines, _ = session(folder, "shortcuts", r"""
        "typed" (menu 'shortcuts) (dump) (close-win)
    """)
    expected = ["", "\t\tCtrl + C       Copy selected text", "\t\tCtrl + V       Paste"]
    at = lines.index(">> typed") if ">> typed" in lines else -1
    check("help follows the line typed so far", lines[at + 1:at + 4] == expected, lines)
    check("help ends with F12 and the input again",
          lines[-3:] == ["\t\tF12            Toggle menu bar", "\t\t", ">> typed"], lines[-4:])


def settings(folder):
    _, _, _, cfg = session(folder, "settings", r"""
        (ctx/terminal/vprint "a^/b^/c^/d^/e" true)
        (menu 'settings)
            (f: find-face newest "10000" f/text: "4")
            (f: find-face newest "252.252.252" f/text: "x.y")
            (click "OK")
            (check "invalid colour shown again, dialog open"
                all ["Settings" = get in newest (quote text) find-face newest "252.252.252"])
            (f: find-face newest "252.252.252" f/text: "1.2.3")
            (f: find-face newest "0.0.0" f/text: "200.0.0")
            (click "OK") |
        (check "OK stores the values" all [
            ctx/cfg/background = 1.2.3 ctx/cfg/font-color = 200.0.0 ctx/cfg/buffer-lines = 4
            ctx/console/color = 1.2.3 ctx/caret-clr = 200.0.0.1 ctx/terminal/max-lines = 4
        ])
        ; The prompt's line, above the five printed ones, moves to the end.
        (check "buffer cut at once, the line being edited kept"
            ["c" "d" "e" ">> "] = ctx/terminal/shown-lines)
        (ctx/terminal/vprint "f" true)
        (check "buffer cut to the new size" 4 = length? ctx/terminal/lines)
        (menu 'settings)
            (f: find-face newest "1.2.3"
             s: find-face newest "Background color"
             sw: s/pane/7 sw/actors/on-down sw make event! [type: 'down face: sw])
            (check "swatch previews" ctx/console/color = 255.255.255)
            (click "Cancel") |
        (check "Cancel restores the colour" all [ctx/console/color = 1.2.3 ctx/cfg/background = 1.2.3])
        (close-win)
    """)
    check("settings saved", cfg and "background: 1.2.3" in cfg and "buffer-lines: 4" in cfg, cfg)


def resize_and_caret(folder):
    session(folder, "resize", r"""
        (send compose [type: 'resizing face: (ctx/win) offset: 799x599])
        (check "console face fills the window" ctx/console/size = 800x600)
        (check "columns and rows follow" system/console/size/x > 80)
        (check "caret rate from the blink time" ctx/caret-rate = 0:00:00.5)
        (close-win)
    """)
    # The system's blink time: none for a caret that does not blink, two
    # timer events a second for 0.
    for blink, rate in (("0", "2"), ("-1", "none")):
        session(folder, f"blink{blink}", f"""
            (check "caret rate for {blink}" {rate} = ctx/caret-rate) (close-win)
        """, setup=f"blink: {blink}")


def geometry_across_restart(folder):
    home = os.path.join(folder, "geometry-home")
    _, _, _, first = session(folder, "geometry1", r"""
        (ctx/win/size: 700x500 send compose [type: 'resizing face: (ctx/win) offset: 699x499])
        (close-win)
    """, home)
    _, _, _, second = session(folder, "geometry2", "(close-win)", home)
    check("size saved", first and "win-size: 700x500" in first, first)
    check("same place after a restart", first and second and
          first.split("win-size")[0] == second.split("win-size")[0], (first, second))


def early_and_c_text(folder):
    """`kiv --gui` running a script headless: what was printed before the
    terminal took the output (the notice of a damaged configuration file)
    and C text written by the runtime (a GUI warning) are in its lines."""
    run = os.path.join(folder, "early")
    cfg_dir = os.path.join(run, "home", ".kiv", "Kiv-Console")
    os.makedirs(cfg_dir)
    with open(os.path.join(cfg_dir, "console-cfg.kiv"), "w") as f:
        f.write("Kiv [] win-size: 640x480 font-size: [")
    with open(os.path.join(run, "script.kiv"), "w") as f:
        f.write("""Kiv []
            m: copy ["Top" []]
            append m/2 reduce ["x" m]
            win: make face! [type: 'window size: 50x50 offset: 0x0 menu: m]
            view/no-wait win
            unview/only win
            write/lines %lines.txt gui-console-ctx/terminal/shown-lines
            quit
        """)
    result = subprocess.run([KIV, "--gui", "script.kiv"], cwd=run, capture_output=True, text=True,
                            timeout=TIMEOUT,
                            env=dict(os.environ, HOME=os.path.join(run, "home"), KIV_GUI="headless"))
    lines = open(os.path.join(run, "lines.txt")).read().splitlines() if result.returncode == 0 else []
    check("early: status 0", result.returncode == 0, result.stdout + result.stderr)
    check("text printed before the terminal is shown first",
          lines and lines[0].startswith("*** Warning:") and "damaged" in lines[0], lines)
    check("C text reaches the terminal",
          "*** GUI: a menu block contains itself; its item has no submenu" in lines, lines)


if __name__ == "__main__":
    main([prompt_and_results, history_across_restart, hidden_input, keys_and_menus_bar,
          mouse_modes, menu_choices, shortcut_text, settings, resize_and_caret,
          geometry_across_restart, early_and_c_text])
