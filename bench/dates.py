from datetime import date, timedelta


def main():
    base = date(2000, 1, 1)
    s = 0
    for i in range(1, 1000001):
        d = base + timedelta(days=i % 10000)
        s = s + d.isoweekday() + (d - base).days % 7
    print(s)


main()
