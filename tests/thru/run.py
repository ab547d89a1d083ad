#!/usr/bin/env python3
"""Checks the disk cache of remote files against a file server on loopback.

Python's http.server (the server of `python3 -m http.server`) serves a
folder of pages on 127.0.0.1 at a port the system picks and logs each
request. Each case runs a kiv script with system/options/thru-cache in a
folder of its own, then compares what the script printed, the requests the
server saw and the files left in the cache. Everything lives in one
temporary folder removed at the end.

Usage: run.py KIV
"""
import hashlib
import http.server
import os
import resource
import signal
import subprocess
import sys
import tempfile
import threading
from contextlib import contextmanager
from functools import partial
from pathlib import Path

PAGES = {
    "text.txt": "line one\r\nzwei é\n".encode(),
    "bytes.bin": bytes(range(256)),
    "data.json": b'{"a": [1, 2.5, "x"],\n "b": null}',
    "script.kiv": b'Kiv [Title: "cached"]\nprint system/script/header/title\n1 + 2\n',
}


class Handler(http.server.SimpleHTTPRequestHandler):
    requests = []

    def log_message(self, *args):
        pass

    def do_GET(self):
        Handler.requests.append(self.path)
        super().do_GET()


def url(port, name):
    return f"http://127.0.0.1:{port}/{name}"


def cache_name(text):
    digest = hashlib.md5(text.encode()).hexdigest().upper()
    return f"{digest[:2]}/{digest}"


def cache_files(cache):
    return sorted(str(p.relative_to(cache)) for p in cache.rglob("*") if p.is_file())


def bytes_of(path):
    return path.read_bytes() if path.is_file() else None


def run_kiv(kiv, folder, code, env=None, limit=None):
    script = folder / "case.kiv"
    script.write_text("Kiv []\n" + code + "\n", encoding="utf-8")
    environment = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
    environment.update(env or {})
    result = subprocess.run([kiv, str(script)], capture_output=True, timeout=1200,
                            env=environment, preexec_fn=limit)
    return result.stdout.decode("utf-8") + result.stderr.decode("utf-8")


def case_cached_read(kiv, folder, port, cache):
    """A cached read makes no request; /update makes one and rewrites the file."""
    text_url = url(port, "text.txt")
    out = run_kiv(kiv, folder, f"""
        system/options/thru-cache: {kiv_file(cache)}
        print exists-thru? {text_url}
        print mold read-thru {text_url}
        print exists-thru? {text_url}
        print mold read-thru {text_url}
        print mold read-thru/binary {text_url}
        write/binary {kiv_file(folder / 'served' / 'text.txt')} #{{414243}}
        print mold read-thru/update/binary {text_url}
        print mold read-thru {text_url}""")
    expected = ('false\n"line one^M^/zwei é^/"\ntrue\n"line one^M^/zwei é^/"\n'
                '#{6C696E65206F6E650D0A7A77656920C3A90A}\n#{414243}\n"ABC"\n')
    return [
        (out, expected),
        (Handler.requests, ["/text.txt", "/text.txt"]),
        (cache_files(cache), [cache_name(text_url)]),
        (bytes_of(cache / cache_name(text_url)), b"ABC"),
    ]


def case_exact_bytes(kiv, folder, port, cache):
    """The cache holds the bytes received; load-thru decodes them on each call."""
    json_url, bin_url, kiv_url = (url(port, n) for n in ("data.json", "bytes.bin", "script.kiv"))
    out = run_kiv(kiv, folder, f"""
        system/options/thru-cache: {kiv_file(cache)}
        first-value: load-thru {json_url}
        print equal? first-value load-thru {json_url}
        print mold first-value
        print mold load-thru/as {json_url} none
        print equal? read-thru/binary {bin_url} read-thru/binary {bin_url}
        print mold load-thru/as {kiv_url} none
        print mold load-thru/update/as {kiv_url} 'json""")
    expected = ('true\n#[\n    a: [1 2.5 "x"]\n    b: none\n]\n'
                '{"a": [1, 2.5, "x"],^/ "b": null}\n'  # read as code: a string
                'true\n[Kiv [Title: "cached"]\nprint system/script/header/title\n1 + 2]\n')
    failures = [
        (out.startswith(expected), True),
        ("Invalid JSON string" in out, True),
        (Handler.requests, ["/data.json", "/bytes.bin", "/script.kiv", "/script.kiv"]),
    ]
    for name, page_url in (("data.json", json_url), ("bytes.bin", bin_url),
                           ("script.kiv", kiv_url)):
        failures.append((bytes_of(cache / cache_name(page_url)), PAGES[name]))
    if not failures[0][0]:
        failures.append((out, expected))
    return failures


def no_file_writes():
    """In the child: any write to a file fails (EFBIG, its signal ignored)."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (0, 0))


def case_store_fails(kiv, folder, port, cache):
    """A cache that cannot be written: the data still comes, nothing is left."""
    text_url, bin_url = url(port, "text.txt"), url(port, "bytes.bin")
    # A read-only folder (which does not stop root) and a file size limit
    # of 0 (which makes the write of the temporary file fail for anyone).
    read_only = cache / cache_name(bin_url).split("/")[0]
    read_only.mkdir(parents=True)
    read_only.chmod(0o500)
    try:
        out = run_kiv(kiv, folder, f"""
            system/options/thru-cache: {kiv_file(cache)}
            print mold read-thru {text_url}
            print mold read-thru {text_url}
            print length? read-thru/binary {bin_url}""", limit=no_file_writes)
    finally:
        read_only.chmod(0o700)
    return [
        (out, '"line one^M^/zwei é^/"\n' * 2 + "256\n"),
        (Handler.requests, ["/text.txt", "/text.txt", "/bytes.bin"]),
        (cache_files(cache), []),
    ]


def case_paths(kiv, folder, port, cache):
    """Cache names: the digest of the exact text, private folders, file! answers."""
    home = folder / "home"
    home.mkdir()
    out = run_kiv(kiv, folder, f"""
        print equal? path-thru http://h/a path-thru http://h/a
        print equal? path-thru http://h/a path-thru http://H/A
        print path-thru http://h/a
        print exists-thru? {kiv_file(folder / 'case.kiv')}
        print exists-thru? {kiv_file(folder / 'missing.kiv')}""", env={"HOME": str(home)})
    root = home / ".kiv" / "cache"
    folders = [p for p in root.rglob("*") if p.is_dir()]
    return [
        (out, f"true\nfalse\n{root}/{cache_name('http://h/a')}\ntrue\nfalse\n"),
        (sorted(p.name for p in folders), sorted({cache_name("http://h/a")[:2],
                                                  cache_name("http://H/A")[:2]})),
        ({oct(p.stat().st_mode & 0o777) for p in folders + [root]}, {"0o700"}),
        (cache_files(root), []),
        (Handler.requests, []),
    ]


def case_do(kiv, folder, port, cache):
    """do-thru runs the cached script as do of the url: header and all."""
    script_url = url(port, "script.kiv")
    out = run_kiv(kiv, folder, f"""
        system/options/thru-cache: {kiv_file(cache)}
        print do-thru {script_url}
        print do-thru {script_url}
        print do-thru/update {script_url}""")
    return [
        (out, "cached\n3\n" * 3),
        (Handler.requests, ["/script.kiv", "/script.kiv"]),
    ]


def kiv_file(path):
    return "%" + Path(path).as_posix().replace(" ", "%20")


CASES = [case_cached_read, case_exact_bytes, case_store_fails, case_paths, case_do]


@contextmanager
def file_server(served):
    """Serves the folder on loopback; yields the port."""
    with http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                         partial(Handler, directory=str(served))) as server:
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            yield server.server_address[1]
        finally:
            server.shutdown()


def run_case(kiv, case, top, port):
    """Runs one case in a folder of its own; returns its failures."""
    folder = top / case.__name__
    (folder / "served").mkdir(parents=True)
    for name, data in PAGES.items():
        (folder / "served" / name).write_bytes(data)
    served = top / "served"
    if served.is_symlink():
        served.unlink()
    served.symlink_to(folder / "served")
    Handler.requests = []
    return [(got, expected) for got, expected in case(kiv, folder, port, folder / "cache")
            if got != expected]


def main():
    kiv = sys.argv[1]
    failures = 0
    with tempfile.TemporaryDirectory() as top, file_server(Path(top) / "served") as port:
        for case in CASES:
            for got, expected in run_case(kiv, case, Path(top), port):
                failures += 1
                print(f"FAIL {case.__name__}: {case.__doc__}\n  got:      {got!r}\n"
                      f"  expected: {expected!r}")
    print(f"{len(CASES)} cases, {failures} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
