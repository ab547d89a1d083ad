def remove_each(values, removed):
    # The values kept, in order: one pass over the list.
    values[:] = [v for v in values if not removed(v)]


def main():
    total = 0
    for size in (400000, 800000):
        b = list(range(1, size + 1))
        remove_each(b, lambda x: x % 2 == 1)
        s = list("ab" * (size // 2))
        remove_each(s, lambda c: c == "a")
        total += len(b) + len("".join(s))
    print(total)


main()
