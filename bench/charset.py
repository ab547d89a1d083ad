import string


def main():
    line = "The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs!\n"
    text = line * 116279
    letters = frozenset(string.ascii_letters)
    words = 0
    inside = False
    for c in text:
        if c in letters:
            if not inside:
                words = words + 1
                inside = True
        else:
            inside = False
    print(len(text), words)


main()
