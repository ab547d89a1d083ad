import gc


def main():
    heap = []
    for i in range(1, 1000001):
        heap.append([i, "x"])
    for _ in range(10):
        gc.collect()
    print(len(heap))


main()
