"""What the build's source generators share."""


def write_if_changed(path, content):
    """Writes the text to path unless the file already holds it, so that
    what depends on it is not rebuilt for nothing."""
    try:
        if open(path, encoding="utf-8").read() == content:
            return
    except OSError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(content)
