def main():
    s = "abcdefghij" * 100000 + "needle"
    n = 0
    for _ in range(1000):
        n = n + s.find("needle") % 7
    print(n)


main()
