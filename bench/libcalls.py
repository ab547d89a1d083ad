def first(s):
    return s[0] if s else None


def last(s):
    return s[-1] if s else None


def is_empty(s):
    return len(s) == 0


def is_block(v):
    return type(v) is list


def pad(s, n):
    return s + " " * (n - len(s)) if len(s) < n else s


def mod(a, b):
    return a % abs(b)


def main():
    b = [1, 2, 3]
    s = "ab"
    n = 0
    for i in range(1, 1000001):
        n = n + first(b) + last(b) + mod(i - 500000, 7)
        if is_empty(s):
            n = n + 1
        if is_block(b):
            n = n + 1
        n = n + len(pad(s, 4))
        n = n % 1000000
    print(n)


main()
