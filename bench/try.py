def fail(i):
    return i // 0


def main():
    n = 0
    for i in range(1, 1000001):
        try:
            fail(i)
        except ZeroDivisionError:
            n = n + 1
    print(n)


main()
