import re


def main():
    total = 0
    for size in (200000, 400000):
        # The block: the values kept by one pass; the string: a regular
        # expression substitution, the closest match of a parse rule.
        b = [i % 2 for i in range(1, size + 1)]
        b = [v for v in b if v != 1]
        s = re.sub("a", "", "ab" * (size // 2))
        total += len(b) + len(s)
    print(total)


main()
