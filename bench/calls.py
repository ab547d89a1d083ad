def f(x, scale=None):
    return x * scale if scale is not None else x + 1


def main():
    s = 0
    for i in range(1, 2000001):
        m = i % 100
        s = s + f(m, scale=3) + f(m)
    print(s)


main()
