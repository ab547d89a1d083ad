def main():
    total = 0
    for _ in range(8):
        b = []
        for i in range(1, 1000001):
            b.append(i)
        total = total + len(b)
    print(total)


main()
