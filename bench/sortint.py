def main():
    x = 1
    data = []
    for _ in range(1000000):
        x = (x * 1002 + 12345) % 1000003
        data.append(x)
    data.sort()
    print(data[0], data[499999], data[-1])


main()
