import time


def split(text, dlm):
    pieces = []
    pos = 0
    while True:
        found = text.find(dlm, pos)
        if found < 0:
            break
        pieces.append(text[pos:found])
        pos = found + len(dlm)
    pieces.append(text[pos:])
    return pieces


def main():
    text = "abcdefghi," * 100000
    pieces = split(text, ",")
    start = time.perf_counter()
    builtin = text.split(",")
    elapsed = time.perf_counter() - start
    assert builtin == pieces
    print(len(pieces))
    return elapsed


main()
