def main():
    b = []
    for i in range(1, 1000001):
        b.append(i)
    n = 0
    for k in range(1, 51):
        n = n + b.index(1000000 - k) % 7
    print(n)


main()
