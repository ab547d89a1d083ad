"""Input to the X server the tests run under, as a user would give it:
pointer and keys through XTest (text typed with Shift where its keys need
it), the window manager's close request (WM_DELETE_WINDOW), the keyboard
focus given or taken, a resize; windows found by title with xwininfo, pixels and
screenshots read with ImageMagick's import. Only libX11 and libXtst are
used, through ctypes. Also the running of Kiv scripts that show a window
and judge a screenshot of it.
"""
import ctypes
import os
import re
import shutil
import subprocess
import tempfile
import time

_x11 = ctypes.CDLL("libX11.so.6")
_xtst = ctypes.CDLL("libXtst.so.6")

_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XStringToKeysym.restype = ctypes.c_ulong
_x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
_x11.XKeysymToKeycode.restype = ctypes.c_ubyte
_x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
_x11.XKeycodeToKeysym.restype = ctypes.c_ulong
_x11.XKeycodeToKeysym.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int]
_x11.XResizeWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_uint, ctypes.c_uint]
_x11.XInternAtom.restype = ctypes.c_ulong
_x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                            ctypes.c_void_p]
_x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
_x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
_xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_ulong]
_xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                       ctypes.c_ulong]
_xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

CLIENT_MESSAGE = 33
REVERT_TO_PARENT = 2

# How long a driver waits for what it expects (a window shown, a line
# printed, a pixel painted): long enough for the slowest honest case on a
# heavily loaded machine. A wait ends as soon as its event comes, so only
# a failing check takes this long.
PATIENCE = 60.0


def wait_until(condition, timeout=PATIENCE, step=0.05):
    """Polls `condition()` until it answers a true value, which is
    answered; once the time is up, its last (false) answer."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= end:
            return value
        time.sleep(step)

# Key names of the characters that are not their own keysym name.
CHAR_KEYSYMS = {" ": "space", "+": "plus", "-": "minus", "*": "asterisk", "=": "equal",
                "[": "bracketleft", "]": "bracketright", '"': "quotedbl", ":": "colon",
                "/": "slash", ".": "period", ",": "comma", "(": "parenleft", ")": "parenright",
                "?": "question", "'": "apostrophe", "!": "exclam", "%": "percent",
                "{": "braceleft", "}": "braceright", "<": "less", ">": "greater", "#": "numbersign",
                "^": "asciicircum", "@": "at", ";": "semicolon", "_": "underscore",
                "\n": "Return", "\t": "Tab"}


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    # XEvent is a union padded to 24 longs.
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


class Window:
    """A top-level window found by its title: X id and absolute geometry."""

    def __init__(self, info):
        field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
        self.id = int(re.search(r"Window id: (0x[0-9a-f]+)", info).group(1), 16)
        self.x, self.y = field("Absolute upper-left X"), field("Absolute upper-left Y")
        self.width, self.height = field("Width"), field("Height")

    def __repr__(self):
        return f"{self.width}x{self.height}+{self.x}+{self.y}"


def find_window(title, timeout=PATIENCE):
    """The viewable top-level with this title, waiting for it to appear
    (None when it does not; a timeout of 0 looks once)."""
    def viewable():
        info = subprocess.run(["xwininfo", "-name", title], capture_output=True,
                              text=True).stdout
        return Window(info) if "IsViewable" in info else None
    return wait_until(viewable, timeout)


class Display:
    def __init__(self):
        self.dpy = _x11.XOpenDisplay(None)
        if not self.dpy:
            raise RuntimeError("no X display")

    def window(self, title, timeout=PATIENCE):
        return find_window(title, timeout)

    def gone(self, title, timeout=PATIENCE):
        """Whether no viewable window has this title (waiting for it to go)."""
        return wait_until(lambda: not find_window(title, 0), timeout)

    def sync(self):
        _x11.XSync(self.dpy, 0)

    def move(self, x, y):
        _xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.sync()

    def button(self, down, number=1):
        _xtst.XTestFakeButtonEvent(self.dpy, number, 1 if down else 0, 0)
        self.sync()

    def click(self, x, y):
        self.move(x, y)
        self.button(True)
        self.button(False)

    def _keycode(self, name):
        code = _x11.XKeysymToKeycode(self.dpy, _x11.XStringToKeysym(name.encode()))
        if not code:
            raise ValueError(f"no key for {name}")
        return code

    def key(self, name, down):
        _xtst.XTestFakeKeyEvent(self.dpy, self._keycode(name), 1 if down else 0, 0)
        self.sync()

    def tap(self, *names):
        """Presses the keys in order, then releases them in reverse:
        tap("Shift_L", "Tab") is Shift+Tab."""
        for name in names:
            self.key(name, True)
        for name in reversed(names):
            self.key(name, False)

    def _needs_shift(self, name):
        sym = _x11.XStringToKeysym(name.encode())
        return _x11.XKeycodeToKeysym(self.dpy, self._keycode(name), 0) != sym

    def type(self, text):
        for c in text:
            name = CHAR_KEYSYMS.get(c, c)
            if self._needs_shift(name):
                self.tap("Shift_L", name)
            else:
                self.tap(name)

    def focus(self, window):
        _x11.XSetInputFocus(self.dpy, window.id, REVERT_TO_PARENT, 0)
        self.sync()

    def unfocus(self):
        """Takes the keyboard focus from every window."""
        _x11.XSetInputFocus(self.dpy, 0, REVERT_TO_PARENT, 0)
        self.sync()

    def resize(self, window, width, height):
        _x11.XResizeWindow(self.dpy, window.id, width, height)
        self.sync()

    def close(self, window):
        """Asks the window to close as a window manager does."""
        event = _Event()
        m = event.client
        m.type = CLIENT_MESSAGE
        m.window = window.id
        m.message_type = _x11.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        m.format = 32
        m.data[0] = _x11.XInternAtom(self.dpy, b"WM_DELETE_WINDOW", 0)
        _x11.XSendEvent(self.dpy, window.id, 0, 0, ctypes.byref(event))
        self.sync()


def pixel(x, y):
    """The colour of a screen pixel as (r, g, b)."""
    text = subprocess.run(["import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8",
                           "txt:-"], capture_output=True, text=True, check=True).stdout
    return tuple(int(v) for v in re.search(r"\((\d+),(\d+),(\d+)", text).groups())


def window_pixels(window):
    """The window's pixels as the screen shows them now, in one reading: a
    function of (x, y) within the window answering (r, g, b)."""
    data = subprocess.run(["import", "-window", "root", "-crop",
                           f"{window.width}x{window.height}+{window.x}+{window.y}", "-depth", "8",
                           "rgb:-"], capture_output=True, check=True).stdout
    return lambda x, y: tuple(data[(y * window.width + x) * 3:][:3])


def wait_pixel(x, y, colour, timeout=PATIENCE):
    """Whether the screen pixel becomes `colour` within the time."""
    return wait_until(lambda: pixel(x, y) == colour, timeout)


def differing_pixels(first, second, area):
    """How many pixels of `area` (x, y, width, height) differ by more than
    a little between two pictures (ImageMagick's compare); the crops are
    written beside the first picture."""
    x, y, width, height = area
    crops = []
    for picture in (first, second):
        crop = f"{picture}.{x}-{y}.png"
        subprocess.run(["convert", picture, "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                        crop], check=True)
        crops.append(crop)
    done = subprocess.run(["compare", "-metric", "AE", "-fuzz", "3%", *crops, "null:"],
                          capture_output=True, text=True)
    return int(float(done.stderr.split()[0]))


def screenshot(name):
    """Saves the screen in the temporary folder and answers its path."""
    path = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"kiv-x11-{name}.png")
    subprocess.run(["import", "-window", "root", path], capture_output=True)
    return path


def run_with_shot(kiv, script_text, title):
    """Runs a Kiv script (KIV_GUI=gtk) that prints "ready SCALE" once its
    window is drawn, then reads the path of a screenshot of that window
    from its input and prints its findings. The script runs in a folder
    made for the run; answers (scale, output, errors, status), scale None
    when the window never showed."""
    folder = tempfile.mkdtemp(prefix="kiv-window-shot-")
    try:
        script = os.path.join(folder, "window.kiv")
        with open(script, "w") as f:
            f.write(script_text)
        env = dict(os.environ, KIV_GUI="gtk")
        proc = subprocess.Popen([kiv, script], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, env=env)
        ready = proc.stdout.readline().split()
        window = find_window(title) if len(ready) == 2 and ready[0] == "ready" else None
        if not window:
            proc.kill()
            out, err = proc.communicate(timeout=30)
            return None, " ".join(ready) + out, err, proc.returncode
        shot = os.path.join(folder, "shot.png")
        subprocess.run(["import", "-window", "root", "-crop",
                        f"{window.width}x{window.height}+{window.x}+{window.y}", "+repage", shot],
                       check=True)
        out, err = proc.communicate(shot + "\n", timeout=120)
        return float(ready[1]), out, err, proc.returncode
    finally:
        shutil.rmtree(folder, ignore_errors=True)
