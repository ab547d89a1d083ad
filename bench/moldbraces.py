def mold(s):
    # Braces from the first one that never closes are escaped.
    depth, bottom = 0, None
    for i, c in enumerate(s):
        if c == "{":
            if depth == 0:
                bottom = i
            depth += 1
        elif c == "}" and depth > 0:
            depth -= 1
    unclosed = bottom if depth > 0 else len(s)
    out, depth = ["{"], 0
    for i, c in enumerate(s):
        if c == "{":
            if i < unclosed:
                depth += 1
                out.append("{")
            else:
                out.append("^{")
        elif c == "}":
            out.append("}" if depth > 0 else "^}")
            depth = max(depth - 1, 0)
        else:
            out.append(c)
    out.append("}")
    return "".join(out)


def main():
    total = 0
    for pairs in (200000, 400000):
        s = "{" * pairs + "}" * pairs + "{"
        total += len(mold(s))
    print(total)


main()
