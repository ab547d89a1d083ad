from array import array


def main():
    n = 1000000
    v = array('i', bytes(4 * n))
    w = array('i', bytes(4 * n))
    for k in range(10):
        for i in range(n):
            v[i] += 3
        for i in range(n):
            v[i] *= 2
        for i in range(n):
            v[i] %= 1000
        w = array('i', (a + b for a, b in zip(v, w)))
    print(v[n - 1], w[n - 1], w[0])


main()
