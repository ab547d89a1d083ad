import subprocess


def main():
    data = bytes(100_000_000)
    out = subprocess.run(["cat"], input=data, capture_output=True).stdout
    print(len(out))


main()
