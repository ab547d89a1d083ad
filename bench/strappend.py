def main():
    total = 0
    for _ in range(15):
        parts = []
        for _ in range(1000000):
            parts.append("abc")
        total = total + len("".join(parts))
    print(total)


main()
