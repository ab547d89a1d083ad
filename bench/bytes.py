def main():
    data = bytearray()
    for i in range(1, 10000001):
        data.append(i % 251)
    data.extend(b"\xff\xfe\xfd")
    print(len(data), data.find(b"\xff\xfe\xfd") + 1)


main()
