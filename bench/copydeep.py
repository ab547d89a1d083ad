import copy


def main():
    data = []
    for i in range(1, 1001):
        row = []
        for j in range(1, 101):
            row.append([i, j, i + j])
        data.append(row)
    n = 0
    for _ in range(3):
        c = copy.deepcopy(data)
        n = n + c[999][99][2]
    print(n)


main()
