#!/usr/bin/env python3
"""Checks file names, directories, load and save through files and codecs.

- `clean-path` and `split-path` over generated paths against Python's
  `posixpath.normpath` and `os.path.split`, and tables of urls, relative
  texts and refinements;
- the active directory, `make-dir`, `change-dir` and `system/options/path`
  in a temporary folder;
- `read/binary` of files, parts of them, and a pipe longer than one read;
- `save` then `load` through files: every datatype that molds back,
  headers, a codec the script registers, the KIVBIN codec, and image
  files of every format made and read back by ImageMagick when it is
  installed;
- `load` of urls from a server started here on loopback: the codec by the
  answer's Content-Type, and none for an answer other than 200.

Every run works in a temporary folder removed afterwards.

Usage: files.py KIV
"""
import http.server
import os
import posixpath
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import threading
import zlib
from pathlib import Path

# Evaluates each case under try and prints one molded line: the value, or
# the error's id.
PRELUDE = """
show: func [code /local e] [
    e: try code
    print either error? :e [mold e/id] [mold/flat :e]
]
"""


def run_cases(kiv, folder, cases, setup="", prefix=(), preexec=None):
    """Runs (code, expected) cases in `folder`; returns failure texts. The
    command `prefix` runs kiv, and `preexec` runs in its process first."""
    script = Path(folder) / "cases.kiv"
    body = [PRELUDE, setup] + [f"show [{code}]" for code, _ in cases]
    script.write_text("Kiv []\n" + "\n".join(body) + "\n", encoding="utf-8")
    result = subprocess.run([*prefix, kiv, str(script)], capture_output=True, text=True,
                            timeout=1200, cwd=folder, preexec_fn=preexec)
    lines = result.stdout.splitlines()
    if result.returncode != 0 or len(lines) != len(cases):
        return [f"run failed ({result.returncode}): {result.stdout[-2000:]}{result.stderr}"]
    return [f"{code}: {line}, expected {expected}"
            for (code, expected), line in zip(cases, lines) if line != expected]


def kiv_file(path):
    return "%" + path if path else '%""'


def kiv_string(text):
    return '"' + text.replace("^", "^^").replace('"', '^"') + '"'


def random_paths(rng, count, absolute):
    pieces = ["a", "b", "xy", ".", "..", "", "c.d", "..e", ".f"]
    paths = []
    for _ in range(count):
        path = "/".join(rng.choice(pieces) for _ in range(rng.randrange(1, 7)))
        if absolute:
            path = "/" * rng.randrange(1, 4) + path
        elif path.startswith("/"):
            path = "a" + path
        paths.append(path)
    return paths


def normpath_like_kiv(path):
    """posixpath.normpath, with the two differences that clean-path has: a
    leading // is the root, and a trailing / is kept."""
    cleaned = posixpath.normpath(path)
    if cleaned.startswith("//"):
        cleaned = cleaned[1:]
    if cleaned == ".":
        cleaned = ""
    if path.endswith("/") and cleaned not in ("", "/"):
        cleaned += "/"
    return cleaned


def check_clean_path(kiv, folder):
    rng = random.Random(104)
    cases = []
    for path in random_paths(rng, 300, True):
        cases.append((f"clean-path {kiv_file(path)}", kiv_file(normpath_like_kiv(path))))
    # Relative texts are cleaned as they stand, relative file names under
    # the active directory.
    cwd = os.path.realpath(folder)
    for path in random_paths(rng, 150, False):
        cases.append((f"clean-path {kiv_string(path)}", kiv_string(normpath_like_kiv(path))))
        cases.append((f"clean-path {kiv_file(path)}",
                      kiv_file(normpath_like_kiv(cwd + "/" + path))))
    cases += [
        ("clean-path http://host.com/a/./b/../c", "http://host.com/a/c"),
        ("clean-path http://host.com/../a/", "http://host.com/a/"),
        ("clean-path http://host.com", "http://host.com"),
        ("clean-path/only %a/./b/../c", "%a/./b/../c"),
        ("clean-path/only/dir %a", "%a/"),
        ("clean-path/dir %/a/b/..", "%/a/"),
        ("clean-path/dir %/a/b/", "%/a/b/"),
        ('clean-path "a/b"', '"a/b"'),
        ('clean-path "../../a/.."', '"../.."'),
        ("clean-path %/..", "%/"),
        ("clean-path %/é/日本/../.../.x/..", "%/é/..."),
        ('clean-path "a/../../b/./"', '"../b/"'),
        ("clean-path http://host.com/a/b/../../..", "http://host.com/"),
        ("clean-path http://host.com//a//b", "http://host.com/a/b"),
    ]
    return run_cases(kiv, folder, cases)


def split_like_kiv(path):
    """os.path.split, except that the directory part keeps its slashes and
    an empty one is ./"""
    tail = os.path.split(path)[1]
    head = path[:len(path) - len(tail)] or "./"
    if tail in (".", ".."):
        tail += "/"
    return head, tail


def check_split_path(kiv, folder):
    rng = random.Random(105)
    cases = []
    for path in random_paths(rng, 150, True) + random_paths(rng, 150, False):
        path = path.rstrip("/")
        if not path or path in (".", ".."):
            continue
        head, tail = split_like_kiv(path)
        cases.append((f"split-path {kiv_file(path)}", f"[{kiv_file(head)} {kiv_file(tail)}]"))
    cases += [
        ("split-path %a/b/", "[%a/ %b/]"),
        ("split-path %a/", "[%./ %a/]"),
        ("split-path %/a/..", "[%/a/ %../]"),
        ("split-path %/", "[%/ none]"),
        ("split-path %../", "[%../ none]"),
        ("split-path %.", "[%./ none]"),
        ("split-path http://x.com/a/b.txt", "[http://x.com/a/ %b.txt]"),
        ("split-path http://x.com/a/", "[http://x.com/ %a/]"),
        # Each result is a new value: changing one leaves the next alone.
        ('append first split-path %b.txt "x" split-path %c.txt', "[%./ %c.txt]"),
    ]
    return run_cases(kiv, folder, cases)


def check_names(kiv, folder):
    cases = [
        ('to-kiv-file ""', '%""'),
        # Colons and backslashes are name characters here.
        ('to-kiv-file "a//b\\c:d//"', '%"a/b\\c:d/"'),
        ("to-kiv-file %/a///b", "%/a/b"),
        ("reduce [dir? %a/ dir? %a dir? http://a/ dir? %\"\"]", "[true false true false]"),
        ("d: %a/ reduce [dirize d same? d dirize d]", "[%a/ false]"),
        ('reduce [dirize %a dirize "" dirize http://x]', '[%a/ "/" http://x/]'),
        ("flip-exe-flag %kiv", "not-here"),
    ]
    return run_cases(kiv, folder, cases)


def check_directories(kiv, folder):
    cwd = os.path.realpath(folder)
    long_name = "n" * 300
    Path(folder, "plain").write_text("x")
    Path(folder, "top").mkdir()
    Path(folder, "top", "note.txt").write_text("in top")
    cases = [
        ("what-dir", kiv_file(cwd + "/")),
        ("normalize-dir %top", kiv_file(cwd + "/top/")),
        ("normalize-dir 'top", kiv_file(cwd + "/top/")),
        ("normalize-dir %/x/../y", "%/x/../y/"),
        ("make-dir %plain", "cannot-open"),
        ("make-dir %top", "%top/"),
        ("make-dir %top/x/y", "no-create"),
        ("make-dir/deep %top/x/y", "%top/x/y/"),
        ("exists? %top/x/y/", "true"),
        # A level that cannot be made undoes the levels made before it.
        (f"make-dir/deep %top/p/q/{long_name}/r", "cannot-open"),
        ("exists? %top/p/", "false"),
        ("change-dir %top", kiv_file(cwd + "/top/")),
        ("read %note.txt", '"in top"'),
        ("change-dir %nowhere", "cannot-open"),
        ("what-dir", kiv_file(cwd + "/top/")),
        (f"system/options/path: {kiv_file(cwd + '/')}", kiv_file(cwd + "/")),
        ("get-current-dir", kiv_file(cwd + "/")),
        ('system/options/path: "top"', "invalid-type"),
        ("system/options/path", kiv_file(cwd + "/")),
        ("system/options/path: %/missing/folder/", "cannot-open"),
        ("system/options/path", kiv_file(cwd + "/")),
        ("get-current-dir", kiv_file(cwd + "/")),
        # Appending to the path in place enters the longer path.
        ("append system/options/path %top/x/ get-current-dir", kiv_file(cwd + "/top/x/")),
        ("read %../note.txt", '"in top"'),
    ]
    return run_cases(kiv, folder, cases)


# Values that mold back to themselves: save then load gives them again.
ROUND_TRIP = [
    "1", "-2147483648", "1.5", "1e100", "50%", "$1.25", "#\"a\"", '"text ^/ é"', "{braces}",
    "%file.txt", "http://host/path?q", "a@b.c", "<tag a=1>", "#issue", "word", "'lit",
    ":get", "set:", "/ref", "a/b/c", "(1 + 2)", "[nested [block]]", "1x2", "1.2.3",
    "#{DEADBEEF}", "12:30:05", "1-Jan-2000", "1-Jan-2000/10:00:00+2:00", "#[a: 1 b: [2]]",
    "(1.5, 2.5)",
]


# Values whose molded form under /all loads back as the value itself.
ROUND_TRIP_ALL = ["true", "false", "none", "integer!", "1.2.3.4", "(1, 2, 3)"]
# Values whose molded form is the code that makes them.
ROUND_TRIP_DO = [
    'make object! [a: 1 b: "x" c: [d]]', "make vector! [1 2 3]", "make bitset! #{F0}",
    "make hash! [a 1]", "make typeset! [integer! float!]", "make image! 2x1",
]


def check_round_trips(kiv, folder):
    cases = []
    for text in ROUND_TRIP:
        cases.append((f"v: first [{text}] save %v.txt :v equal? :v load %v.txt", "true"))
        cases.append((f"v: first [{text}] equal? :v load save none :v", "true"))
    for text in ROUND_TRIP_ALL:
        cases.append((f"v: {text} save/all %v.txt :v equal? :v load %v.txt", "true"))
    for text in ROUND_TRIP_DO:
        cases.append((f"v: {text} save %v.txt :v equal? mold :v mold do load %v.txt", "true"))
    cases += [
        ("save %b.txt [a 1 \"x\"] reduce [read %b.txt load %b.txt]", '[{a 1 "x"} [a 1 "x"]]'),
        ("save/length/header %h.txt [a] [title: \"t\"] read %h.txt",
         '{Kiv [^/^-title: "t"^/^-length: 1^/]^/^/a}'),
        ("load/all %h.txt", '[Kiv [title: "t" length: 1] a]'),
        ("b: copy \"\" save b [1 2] save b 3 b", '"1 23"'),
        ("load %./", "[%b.txt %cases.kiv %h.txt %v.txt]"),
        ("load %missing.txt", "cannot-open"),
    ]
    return run_cases(kiv, folder, cases)


# A codec the script puts into the map after the built-in ones: it wins for
# its own suffix, loses %.png to the png codec that comes first, and its
# encoder stores the data itself when given a file.
FIXTURE_CODEC = """
stored: none
put system/codecs 'upper make object! [
    title: "Upper" name: 'Upper mime-type: [text/upper] suffixes: [%.up %.png]
    encode: func [data where] [
        stored: uppercase form data
        either where [write where stored where] [to binary! stored]
    ]
    decode: func [data] [
        if file? data [data: read/binary data]
        reduce ['decoded lowercase to string! data]
    ]
]
"""


def check_codecs(kiv, folder):
    cases = [
        ("keys-of system/codecs", "[png jpeg bmp gif tiff kivbin json csv upper]"),
        ("c: system/codecs/jpeg reduce [c/title c/name c/mime-type c/suffixes]",
         '["" JPEG [image/jpeg] [%.jpg %.jpeg %.jpe %.jfif]]'),
        ("unset? save %a.up [a b]", "true"),
        ("reduce [stored read %a.up]", '["A B" "A B"]'),
        ("load %a.up", '[decoded "a b"]'),
        ("save/as none 'x 'upper", "#{58}"),
        ('load/as "ABC" \'upper', '[decoded "abc"]'),
        ('load/as %a.up \'upper', '[decoded "a b"]'),
        ("save/as none 1 'nothing", "invalid-refine-arg"),
        ('load/as "1" \'nothing', "invalid-refine-arg"),
        # The png codec comes first in the map: a block is no image.
        ("save %a.png [1]", "expect-arg"),
        ("save/as %a.txt [a] none read %a.txt", '"a"'),
    ]
    return run_cases(kiv, folder, cases, FIXTURE_CODEC)


def signed_crc32(data):
    crc = zlib.crc32(data)
    return crc - (1 << 32) if crc >= 1 << 31 else crc


def check_binary_reads(kiv, folder):
    """read/binary straight into its binary: files of known size, with
    /part and /seek, and a pipe of unknown size longer than one read."""
    data = bytes(random.Random(106).randrange(256) for _ in range(200_000))
    Path(folder, "big.bin").write_bytes(data)
    Path(folder, "empty.bin").write_bytes(b"")
    piped = data + data[:100_000]
    os.mkfifo(Path(folder, "fifo"))

    def feed():
        with open(Path(folder, "fifo"), "wb") as out:
            out.write(piped)

    cases = [
        ("b: read/binary %big.bin reduce [length? b checksum b 'crc32]",
         f"[200000 {signed_crc32(data)}]"),
        ("read/binary/part/seek %big.bin 4 70000", mold_binary(data[70_000:70_004])),
        ("length? read/binary/seek %big.bin 199990", "10"),
        ("read/binary/seek %big.bin 300000", "#{}"),
        ("read/binary/part %big.bin 0", "#{}"),
        ("read/binary %empty.bin", "#{}"),
        ("read/binary %missing.bin", "cannot-open"),
        ("b: read/binary %fifo reduce [length? b checksum b 'crc32]",
         f"[300000 {signed_crc32(piped)}]"),
    ]
    writer = threading.Thread(target=feed, daemon=True)
    writer.start()
    try:
        return run_cases(kiv, folder, cases)
    finally:
        writer.join(timeout=60)


def failed_write_cases(reason, place, listing):
    """Writes in the folder `place` that fail part-way (the OS gives
    `reason`) leave the file they replace as it was, make no new file, and
    leave nothing beside: the folder then holds `listing`."""
    return [
        (f'write %{place}old.txt "old content" true', "true"),
        (f"e: try [write %{place}old.txt big] reduce [e/id e/arg2]", f'[cannot-open "{reason}"]'),
        (f"read %{place}old.txt", '"old content"'),
        (f"e: try [write/lines %{place}old.txt reduce [big]] e/id", "cannot-open"),
        (f"read %{place}old.txt", '"old content"'),
        (f"e: try [save %{place}new.txt big] e/id", "cannot-open"),
        (f"e: try [write/binary %{place}new.bin to binary! big] e/id", "cannot-open"),
        (f"read %{place or './'}", listing),
    ]


BIG = "big: append/dup copy {} {0123456789} 20000"


def check_failed_writes(kiv, folder):
    """Under a file-size limit a write fails with the OS's reason, and the
    process is not ended by SIGXFSZ."""
    def limit():
        resource.setrlimit(resource.RLIMIT_FSIZE, (65536, 65536))
    cases = failed_write_cases("File too large", "", "[%cases.kiv %old.txt]")
    return run_cases(kiv, folder, cases, BIG, preexec=limit)


def check_full_device(kiv, folder):
    """On a full file system a write fails with the OS's reason. The test
    mounts a small tmpfs in a mount namespace of its own, and is skipped
    where the system does not allow that."""
    device = Path(folder, "device")
    device.mkdir()
    mount = f"mount -t tmpfs -o size=128k tmpfs {device} && exec \"$@\""
    prefix = ("unshare", "-rm", "sh", "-c", mount, "sh")
    probe = subprocess.run([*prefix, "true"], capture_output=True, text=True, timeout=60)
    if probe.returncode != 0:
        print(f"check_full_device skipped: cannot mount a tmpfs ({probe.stderr.strip()})")
        return []
    cases = failed_write_cases("No space left on device", "device/", "[%old.txt]")
    return run_cases(kiv, folder, cases, BIG, prefix=prefix)


def check_failure_reasons(kiv, folder):
    """A failed file operation names the file and gives the OS's reason;
    a readable file that holds no image is bad media to the image codec."""
    Path(folder, "text.jpg").write_text("not an image")
    Path(folder, "file.txt").write_text("x")
    Path(folder, "sub").mkdir()
    long_name = "n" * 300
    cases = [
        ("e: try [read %missing.txt] reduce [e/id e/arg1 e/arg2]",
         '[cannot-open %missing.txt "No such file or directory"]'),
        (f"e: try [read %{long_name}] e/arg2", '"File name too long"'),
        (f'e: try [write %{long_name} "x"] e/arg2', '"File name too long"'),
        ('e: try [write %sub "x"] e/arg2', '"Is a directory"'),
        ("e: try [read %file.txt/] e/arg2", '"Not a directory"'),
        ("e: try [read/binary %sub] e/arg2", '"Is a directory"'),
        ("e: try [change-dir %nowhere/] e/arg2", '"No such file or directory"'),
        ("e: try [load %text.jpg] e/id", "bad-media"),
        ("e: try [load %missing.jpg] reduce [e/id e/arg2]",
         '[cannot-open "No such file or directory"]'),
    ]
    if os.geteuid() != 0:
        Path(folder, "locked.txt").write_text("x")
        os.chmod(Path(folder, "locked.txt"), 0)
        cases.append(("e: try [read %locked.txt] e/arg2", '"Permission denied"'))
    return run_cases(kiv, folder, cases)


def check_undecodable_names(kiv, folder):
    """A folder holding names that are not UTF-8 is listed whole; each such
    byte is written %XX in the name's mold, and the name, as listed or
    loaded back from its mold, reaches the same file for read, rename and
    delete. A name that holds %XX itself stays apart from it."""
    names = [b"caf\xe9.txt", b"\xff\xfe", b"ok.txt", b"a%41.txt", b"aA.txt"]
    os.mkdir(Path(folder, "d"))
    for name in names:
        with open(os.path.join(os.fsencode(folder), b"d", name), "wb") as f:
            f.write(name)
    cases = [
        ("read %d/", '[%"a%2541.txt" %aA.txt %"caf%E9.txt" %ok.txt %"%FF%FE"]'),
        ("collect [foreach n read %d/ [keep read/binary rejoin [%d/ n]]]",
         "[#{612534312E747874} #{61412E747874} #{636166E92E747874} #{6F6B2E747874} #{FFFE}]"),
        ("n: third read %d/ (load mold n) = n", "true"),
        ('read/binary load {%"d/caf%E9.txt"}', "#{636166E92E747874}"),
        ("rename %d/%FF%FE %d/moved", "true"),
        ('rename %d/moved %d/%FF%FE delete %"d/caf%E9.txt"', "true"),
        ("read %d/", '[%"a%2541.txt" %aA.txt %ok.txt %"%FF%FE"]'),
    ]
    failures = run_cases(kiv, folder, cases)
    left = sorted(os.listdir(os.path.join(os.fsencode(folder), b"d")))
    if left != sorted([b"\xff\xfe", b"ok.txt", b"a%41.txt", b"aA.txt"]):
        failures.append(f"the folder holds {left}")
    return failures


def check_replaced_files(kiv, folder):
    """A write that replaces a file keeps its permissions, goes through a
    link to the file it names, and writes devices and appends in place."""
    Path(folder, "mode.txt").write_text("old")
    os.chmod(Path(folder, "mode.txt"), 0o640)
    Path(folder, "target.txt").write_text("old")
    os.symlink("target.txt", Path(folder, "link.txt"))
    Path(folder, "shared.txt").write_text("old")
    os.link(Path(folder, "shared.txt"), Path(folder, "other-name.txt"))
    cases = [
        ('write %mode.txt "new" read %mode.txt', '"new"'),
        ('write %link.txt "via link" read %target.txt', '"via link"'),
        ('write %shared.txt "both" read %other-name.txt', '"both"'),
        ('write %/dev/null "gone" true', "true"),
        ('write/append %mode.txt "er" read %mode.txt', '"newer"'),
    ]
    failures = run_cases(kiv, folder, cases)
    if oct(os.stat(Path(folder, "mode.txt")).st_mode & 0o777) != oct(0o640):
        failures.append(f"mode.txt lost its mode: {oct(os.stat(Path(folder, 'mode.txt')).st_mode)}")
    if not os.path.islink(Path(folder, "link.txt")):
        failures.append("link.txt is no longer a link")
    left = sorted(p.name for p in Path(folder).iterdir() if p.name.startswith("."))
    if left:
        failures.append(f"left behind: {left}")
    return failures


def zero_bomb(matches):
    """A raw DEFLATE stream of one fixed-Huffman block: a zero byte, then
    `matches` copies of 258 bytes at distance 1 (a multiple of 8), then the
    end of the block. From bit 11 on, eight matches take 104 bits, so the
    bytes repeat every 13; the stream is built from a short one."""
    def stream(count):
        bits = [1, 1, 0]                             # final block, fixed codes
        bits += [0, 0, 1, 1, 0, 0, 0, 0]             # literal 0
        bits += ([1, 1, 0, 0, 0, 1, 0, 1] + [0] * 5) * count  # length 258, distance 1
        bits += [0] * 7                              # end of block
        bits += [0] * (-len(bits) % 8)
        return bytes(sum(b << i for i, b in enumerate(bits[k:k + 8]))
                     for k in range(0, len(bits), 8))
    periods = matches // 8
    short = stream(16)
    return short[:2] + (short[2:15] * periods)[:13 * periods - 1] + short[27:]


def check_large_series(kiv, folder):
    """A series holds fewer than 2^31 units: a file or a stream that would
    make a longer one is refused with no-memory before anything is made,
    and a part of such a file is still read. The files are sparse."""
    with open(Path(folder, "huge.bin"), "wb") as f:
        f.truncate(1 << 31)
    with open(Path(folder, "edge.bin"), "wb") as f:
        f.truncate((1 << 31) - 16)
        f.seek((1 << 31) - 17)
        f.write(b"z")
    matches = ((1 << 31) // 2064 + 1) * 8
    Path(folder, "bomb.bin").write_bytes(zero_bomb(matches))
    assert zlib.decompressobj(-15).decompress(zero_bomb(16)) == bytes(1 + 258 * 16)
    cases = [
        ("read/binary %huge.bin", "no-memory"),
        ("read %huge.bin", "no-memory"),
        ("read/lines %huge.bin", "no-memory"),
        ("read/binary/seek %edge.bin 2147483630", "#{007A}"),
        ("read/binary/part/seek %huge.bin 3 2147483000", "#{000000}"),
        ("decompress read/binary %bomb.bin 'deflate", "no-memory"),
        ("make binary! 2147483647", "no-memory"),
        ("make string! 2147483647", "no-memory"),
        ("make block! 2147483647", "no-memory"),
        ("insert/dup copy #{} #{01} 2147483647", "no-memory"),
        ("append/dup copy {} {ab} 1100000000", "no-memory"),
    ]
    return run_cases(kiv, folder, cases)


def mold_binary(data):
    return "#{" + data.hex().upper() + "}"


def check_kivbin(kiv, folder):
    cases = [
        ("save %v.kivbin [1 \"two\" [3]] load %v.kivbin", '[1 "two" [3]]'),
        ("save %one.kivbin 42 load %one.kivbin", "42"),
        ("b: read/binary %v.kivbin c: save/as none [1 \"two\" [3]] 'kivbin b = c", "true"),
        ("load/as read/binary %one.kivbin 'kivbin", "42"),
        # The codec writes the compact layout until told otherwise.
        ("v: [1 \"two\" [3]] c: save/as none v 'kivbin system/codecs/kivbin/compact?: false "
         "r: save/as none v 'kivbin reduce [c = r (load/as c 'kivbin) = load/as r 'kivbin]",
         "[false true]"),
    ]
    return run_cases(kiv, folder, cases)


def check_images(kiv, folder):
    convert = shutil.which("convert")
    if not convert:
        print("images skipped: ImageMagick's convert is not installed")
        return []
    # JPEG may round the red.
    suffixes = ["png", "jpg", "jpeg", "bmp", "gif", "tif", "tiff"]
    for suffix in suffixes:
        subprocess.run([convert, "-size", "3x2", "xc:#FF0000", str(Path(folder, "red." + suffix))],
                       check=True)
    # Every JPEG suffix chooses the jpeg codec.
    for suffix in ["jpe", "jfif"]:
        shutil.copy(Path(folder, "red.jpg"), Path(folder, "red." + suffix))
        suffixes.append(suffix)
    cases = []
    for suffix in suffixes:
        cases.append((f"i: load %red.{suffix} reduce [i/size i/1/1 > 250 i/1/2 < 5]",
                      "[3x2 true true]"))
    cases += [
        ("i: load %red.png save %copy.png i j: load %copy.png reduce [j/size j/1]",
         "[3x2 255.0.0.0]"),
        ("i: load %red.png b: save/as none i 'png j: load/as b 'png reduce [copy/part b 4 j/size]",
         "[#{89504E47} 3x2]"),
        ("save %bad.png make image! 0x0", "bad-media"),
        ("i: load %red.png b: save/as none i 'bmp copy/part b 2", "#{424D}"),
    ]
    # Saved by suffix, each in its codec's format, read back by both.
    formats = {"jpg": "JPEG", "bmp": "BMP", "gif": "GIF", "tif": "TIFF", "tiff": "TIFF"}
    for suffix in formats:
        cases.append((f"save %copy.{suffix} load %red.png i: load %copy.{suffix} i/size", "3x2"))
    failures = run_cases(kiv, folder, cases)
    identify = shutil.which("identify")
    if not failures and identify:
        formats["png"] = "PNG"
        for suffix, name in formats.items():
            path = str(Path(folder, "copy." + suffix))
            out = subprocess.run([identify, "-format", "%m %wx%h", path],
                                 capture_output=True, text=True).stdout
            if out != f"{name} 3x2":
                failures.append(f"identify copy.{suffix}: {out!r}")
    return failures


def serve(folder, pages):
    """An HTTP server on loopback answering `pages`: path to (content
    type, body); any other path is 404. Returns the server."""

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            if self.path not in pages:
                self.send_error(404)
                return
            content_type, body = pages[self.path]
            self.send_response(200)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def check_http(kiv, folder):
    pages = {
        "/values.txt": ("text/plain", b"1 two [3]"),
        "/shout": ("text/upper; charset=utf-8", b"LOUD"),
    }
    convert = shutil.which("convert")
    if convert:
        red = Path(folder, "red.png")
        subprocess.run([convert, "-size", "3x2", "xc:#FF0000", str(red)], check=True)
        pages["/picture"] = ("image/png", red.read_bytes())
    server = serve(folder, pages)
    base = f"http://127.0.0.1:{server.server_address[1]}"
    cases = [
        (f"load {base}/values.txt", "[1 two [3]]"),
        (f"load/all {base}/values.txt", "[1 two [3]]"),
        # The codec is chosen by the Content-Type of the answer.
        (f"load {base}/shout", '[decoded "loud"]'),
        (f"load/as {base}/values.txt 'upper", '[decoded "1 two [3]"]'),
        (f"load {base}/missing", "none"),
    ]
    if convert:
        cases.append((f"i: load {base}/picture i/size", "3x2"))
    env_proxy = {k: os.environ.pop(k) for k in list(os.environ) if k.lower().endswith("_proxy")}
    try:
        return run_cases(kiv, folder, cases, FIXTURE_CODEC)
    finally:
        os.environ.update(env_proxy)
        server.shutdown()
        server.server_close()


def main():
    kiv = os.path.realpath(sys.argv[1])
    checks = [check_clean_path, check_split_path, check_names, check_directories,
              check_round_trips, check_codecs, check_binary_reads, check_large_series,
              check_failed_writes, check_full_device, check_replaced_files, check_failure_reasons,
              check_undecodable_names,
              check_kivbin, check_images,
              check_http]
    failures = []
    for check in checks:
        folder = tempfile.mkdtemp(prefix="kiv-files-")
        try:
            failures += [f"{check.__name__}: {f}" for f in check(kiv, folder)]
        finally:
            shutil.rmtree(folder)
    for failure in failures:
        print(failure)
    print(f"{len(checks)} checks, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
