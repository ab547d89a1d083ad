def main():
    p = (0, 0)
    t = (0, 0, 0)
    for i in range(1500000):
        p = (p[0] + 1, p[1] + 2)
        t = (min(t[0] + 1, 255), min(t[1] + 2, 255), min(t[2] + 3, 255))
    print(f"{p[0]}x{p[1]} {t[0]}.{t[1]}.{t[2]}")


main()
