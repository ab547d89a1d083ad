# A hash! is a block with an index: a list with a dict from each value to
# its first position stands for it.
def main():
    h = []
    index = {}
    for i in range(1, 200001):
        if i * 3 not in index:
            index[i * 3] = len(h)
        h.append(i * 3)
    n = 0
    for k in range(5):
        for i in range(1, 200001):
            pos = index[i * 3] + 1
            n = n + pos % 7
    print(n)


main()
