def main():
    m = {}
    for i in range(1, 200001):
        m[i] = i * 2
        m[str(i)] = i
    n = 0
    for i in range(1, 200001):
        n = n + m[i] % 7 + m[str(i)] % 7
    print(n)


main()
