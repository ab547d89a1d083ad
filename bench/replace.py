def replace_all(text, pattern, value):
    pieces = []
    pos = 0
    while True:
        found = text.find(pattern, pos)
        if found < 0:
            break
        pieces.append(text[pos:found])
        pieces.append(value)
        pos = found + len(pattern)
    pieces.append(text[pos:])
    return "".join(pieces)


def main():
    text = "abcdneedle" * 100000
    text = replace_all(text, "needle", "pin")
    print(len(text))


main()
