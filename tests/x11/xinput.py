"""A small X client for tests that drive a program's windows from outside:
windows found by name, keys typed through XTest, a window focused, resized
or closed as a window manager's close button does (WM_DELETE_WINDOW).
Plain ctypes over libX11 and libXtst, no other module."""
import ctypes
import ctypes.util
import re
import subprocess
import time

_x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
_xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))

_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XStringToKeysym.restype = ctypes.c_ulong
_x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
_x11.XKeysymToKeycode.restype = ctypes.c_ubyte
_x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
_x11.XKeycodeToKeysym.restype = ctypes.c_ulong
_x11.XKeycodeToKeysym.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int]
_x11.XInternAtom.restype = ctypes.c_ulong
_x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
_x11.XResizeWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_uint, ctypes.c_uint]
_x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                            ctypes.c_void_p]
_x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
_x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
_xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
_xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_ulong]

REVERT_TO_PARENT = 2
CLIENT_MESSAGE = 33

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
    # XEvent is 24 longs whatever its kind.
    _fields_ = [("message", _ClientMessage), ("pad", ctypes.c_long * 24)]


class Display:
    def __init__(self):
        self.handle = _x11.XOpenDisplay(None)
        if not self.handle:
            raise RuntimeError("cannot open the display")

    def close(self):
        _x11.XCloseDisplay(self.handle)

    def sync(self):
        _x11.XSync(self.handle, 0)

    # Windows ---------------------------------------------------------------

    @staticmethod
    def window_info(name):
        """xwininfo's facts of the viewable window named NAME, or None:
        {"id", "x", "y", "width", "height"}."""
        out = subprocess.run(["xwininfo", "-name", name], capture_output=True, text=True).stdout
        if "IsViewable" not in out:
            return None
        field = lambda label: int(re.search(label + r":\s+(-?\d+)", out).group(1))
        return {"id": int(re.search(r"Window id: (0x[0-9a-f]+)", out).group(1), 16),
                "x": field("Absolute upper-left X"), "y": field("Absolute upper-left Y"),
                "width": field("Width"), "height": field("Height")}

    def wait_window(self, name, timeout=30, gone=False):
        """Waits until the window named NAME is viewable (or, with gone, no
        longer is); answers its facts (or True), None at the timeout."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            info = self.window_info(name)
            if bool(info) != gone:
                return info or True
            time.sleep(0.05)
        return None

    def focus(self, info):
        """Gives the window the keyboard focus, the pointer inside it."""
        _xtst.XTestFakeMotionEvent(self.handle, -1, info["x"] + info["width"] // 2,
                                   info["y"] + info["height"] // 2, 0)
        _x11.XSetInputFocus(self.handle, info["id"], REVERT_TO_PARENT, 0)
        self.sync()
        # The program takes the focus change before the keys that follow.
        time.sleep(0.3)

    def resize(self, info, width, height):
        _x11.XResizeWindow(self.handle, info["id"], width, height)
        self.sync()

    def close_window(self, info):
        """Asks the window to close as a window manager's close button does."""
        event = _Event()
        event.message.type = CLIENT_MESSAGE
        event.message.window = info["id"]
        event.message.message_type = _x11.XInternAtom(self.handle, b"WM_PROTOCOLS", 0)
        event.message.format = 32
        event.message.data[0] = _x11.XInternAtom(self.handle, b"WM_DELETE_WINDOW", 0)
        _x11.XSendEvent(self.handle, info["id"], 0, 0, ctypes.byref(event))
        self.sync()

    # Keys ------------------------------------------------------------------

    def _key(self, name, down):
        code = _x11.XKeysymToKeycode(self.handle, _x11.XStringToKeysym(name.encode()))
        if not code:
            raise ValueError("no key for " + name)
        _xtst.XTestFakeKeyEvent(self.handle, code, down, 0)

    def _needs_shift(self, name):
        sym = _x11.XStringToKeysym(name.encode())
        code = _x11.XKeysymToKeycode(self.handle, sym)
        return _x11.XKeycodeToKeysym(self.handle, code, 0) != sym

    def press(self, *names):
        """Presses the keys named (modifiers first) and lets them go in
        reverse order: press("Alt_L", "o")."""
        for name in names:
            self._key(name, 1)
        for name in reversed(names):
            self._key(name, 0)
        self.sync()
        time.sleep(0.02)

    def type(self, text):
        for char in text:
            name = CHAR_KEYSYMS.get(char, char)
            if self._needs_shift(name):
                self.press("Shift_L", name)
            else:
                self.press(name)
