# binascii is the C codec under the base64 module (whose name this file takes).
import binascii


def main():
    data = bytes(range(256)) * 65536
    total = 0
    for _ in range(5):
        text = binascii.b2a_base64(data, newline=False)
        back_again = binascii.a2b_base64(text)
        if back_again != data:
            raise SystemExit("mismatch")
        total = total + len(text) + len(back_again)
    print(total)


main()
