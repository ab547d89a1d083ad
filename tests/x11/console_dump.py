"""Reading the graphical console's test dump: the terminal's state that
`kiv --gui` writes as Kiv text to the file KIV_TEST_DUMP names, whenever it
asks for a line and when SIGUSR1 asks for it."""
import re


def parse(text):
    """The fields of a dump this test reads: strings of the lines and the history, numbers,
    the caret's offset as (x, y) and whether it is enabled."""
    state = {}
    for name in ("lines", "history"):
        block = re.search(name + r": \[(.*?)\]\s+(?:flags|caret):", text, re.S).group(1)
        state[name] = [unescape(s) for s in re.findall(r'"((?:[^"^]|\^.)*)"|\{([^}]*)\}', block)]
    for name in ("pos", "top", "scroll-y", "line-cnt"):
        state[name] = int(re.search(name + r": (-?\d+)", text).group(1))
    state["selects"] = [int(v) for v in re.search(r"selects: \[([^\]]*)\]", text).group(1).split()]
    # A pair until the caret is first placed, then a point.
    caret = re.search(r"caret: (?:\((-?[\d.]+), (-?[\d.]+)\)|(-?\d+)x(-?\d+))", text)
    state["caret"] = tuple(float(v) for v in caret.groups() if v is not None)
    state["enabled?"] = re.search(r"enabled\?: #\((\w+)\)", text).group(1) == "true"
    return state


def unescape(groups):
    """The text of a molded string, quoted or braced, with its ^ escapes undone."""
    quoted, braced = groups
    return re.sub(r"\^\(([0-9A-Fa-f]+)\)|\^(.)",
                  lambda m: chr(int(m.group(1), 16)) if m.group(1) else m.group(2),
                  braced or quoted)
