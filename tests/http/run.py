#!/usr/bin/env python3
"""Runs the HTTP transcripts against servers started here, on loopback only.

An HTTP server and an HTTPS server with a self-signed certificate (made by
openssl in a folder removed at the end) listen on 127.0.0.1 at ports the
system picks; a third port is taken and closed again, so nothing listens
there. In the transcript, @PORT@, @TLS@ and @CLOSED@ stand for the three
ports and @BIG-SHA1@ for the digest of the 10 MB body that /big serves.
kiv runs with the proxy variables removed, under a time limit.

Usage: run.py KIV TRANSCRIPT...
"""
import hashlib
import http.server
import importlib.util
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
from pathlib import Path


def load_transcripts():
    """The console transcript reader of tests/cases/run.py."""
    path = Path(__file__).resolve().parent.parent / "cases" / "run.py"
    spec = importlib.util.spec_from_file_location("transcripts", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


transcripts = load_transcripts()

BIG = bytes(i % 251 for i in range(10 * 1024 * 1024))
PAGES = {
    "/bytes": bytes(range(256)),
    "/utf8": "héllo wörld ✓ 日本語".encode(),
    "/lines": b"one\r\ntwo\r\n\r\nthree\r\n",
    "/big": BIG,
    # [1 "a" x] in KIVBIN's compact layout.
    "/kivbin": bytes.fromhex("4B495642494E0205010801020000000078000503810704610F00"),
    # A script for do: text before its header, and a directive.
    "/script": b'#!kiv\nKiv [Title: "Remote"]\n'
               b'print ["remote:" system/script/header/title system/script/path system/script/args]\n'
               b'#if true [6 * 7]\n',
}

# Answers written byte for byte: header names that are no words (one with
# terminal control codes, one not UTF-8), a value not UTF-8, a chunked
# body whose chunk size is not a number.
RAW = {
    "/odd-headers": b"HTTP/1.1 200 OK\r\nX-\x1b]0;PWNED\x07: t\r\nx y: 1\r\n[a]: 2\r\n1234: 3\r\n"
                    b"X-\xff: 4\r\nX-Value: caf\xe9\r\nX-Plain: ok\r\nContent-Length: 4\r\n\r\nkept",
    "/bad-chunk": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nZZ\r\nabc\r\n0\r\n\r\n",
}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def respond(self):
        length = int(self.headers.get("Content-Length", 0))
        body = self.rfile.read(length) if length else b""
        path = self.path
        if path.startswith("/echo"):
            lines = [f"{self.command} {path}"]
            lines += [f"{name}: {value}" for name, value in self.headers.items()]
            self.answer(200, ("\n".join(lines) + "\n\n").encode() + body,
                        [("Content-Type", "text/plain; charset=utf-8")])
        elif path == "/digest":
            self.answer(200, f"{len(body)} {hashlib.sha1(body).hexdigest().upper()}".encode())
        elif path in PAGES:
            self.answer(200, PAGES[path])
        elif path == "/repeat":
            self.answer(200, b"", [("X-Multi", "first"), ("X-Single", "  padded  "),
                                   ("x-multi", "second")])
        elif path.startswith("/redirect/"):
            hops = int(path.rsplit("/", 1)[1])
            if hops:
                self.answer(302, b"", [("Location", f"/redirect/{hops - 1}"), ("X-Hop", str(hops))])
            else:
                self.answer(200, b"arrived", [("X-Final", "yes")])
        elif path == "/loop":
            self.answer(302, b"", [("Location", "/loop")])
        elif path == "/to-file":
            self.answer(302, b"", [("Location", "file:///etc/hostname")])
        elif path in RAW:
            self.wfile.write(RAW[path])
            self.close_connection = True
        else:
            self.answer(404, b"no such page")

    do_GET = do_HEAD = do_POST = do_PUT = do_DELETE = do_PATCH = respond


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def tls_server(folder):
    key, cert = Path(folder) / "key.pem", Path(folder) / "cert.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, capture_output=True, timeout=1200)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    return server


def kiv_environment():
    env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
    return env


def run(kiv, path, places):
    text = Path(path).read_text(encoding="utf-8")
    for name, value in places.items():
        text = text.replace(f"@{name}@", str(value))
    typed, expected = transcripts.split(text)
    result = subprocess.run([kiv], input=typed, capture_output=True, text=True, timeout=1200,
                            env=kiv_environment())
    return transcripts.check(path, expected, result)


def main():
    kiv, paths = sys.argv[1], sys.argv[2:]
    with tempfile.TemporaryDirectory() as folder:
        plain = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        tls = tls_server(folder)
        places = {"PORT": serve(plain), "TLS": serve(tls), "CLOSED": closed_port(),
                  "BIG-SHA1": hashlib.sha1(BIG).hexdigest().upper()}
        try:
            failed = [p for p in paths if not run(kiv, p, places)]
        finally:
            for server in (plain, tls):
                server.shutdown()
                server.server_close()
    print(f"{len(paths) - len(failed)} passed, {len(failed)} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
