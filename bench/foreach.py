def main():
    data = []
    for i in range(1, 1000001):
        data.append(i % 100)
    s = 0
    for _ in range(15):
        for x in data:
            s = s + x
    print(s)


main()
