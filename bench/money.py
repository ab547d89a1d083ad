from decimal import Decimal


def main():
    total = Decimal("0")
    price = Decimal("1.25")
    for i in range(1, 1000001):
        total = total + price * (i % 7)
    print("$" + format(total, ".5f"))


main()
