def make_tree(depth):
    if depth == 0:
        return []
    return [make_tree(depth - 1), make_tree(depth - 1)]


def count_nodes(t):
    if not t:
        return 1
    return 1 + count_nodes(t[0]) + count_nodes(t[1])


def main():
    n = 0
    for _ in range(2):
        t = make_tree(18)
        n = n + count_nodes(t)
        t = None
    print(n)


main()
