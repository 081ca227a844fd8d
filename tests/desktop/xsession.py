"""A private X desktop for the suite: Xvfb on a display number of its own,
openbox, optionally xcompmgr and a tray (trayer); xdotool to drive it. Every
child dies with the suite (PR_SET_PDEATHSIG) and is ended by its own pid."""

import ctypes
import os
import select
import signal
import subprocess
import time

import screen

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def die_with_parent():
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


class Timeout(AssertionError):
    pass


def wait_until(what, condition, timeout, interval=0.1):
    """Polls condition() until it returns something true, and returns that;
    raises Timeout naming `what` after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Timeout("timed out after %gs waiting for %s" % (timeout, what))
        time.sleep(interval)


class Desktop:
    def __init__(self, workdir, composited, tray=True):
        self.workdir = workdir
        self.composited = composited
        self.tray = tray
        self.children = []  # (name, Popen), in start order
        self.display_name = None
        self.env = None
        self._xlib = None

    # -- life ---------------------------------------------------------------

    def start(self):
        read_end, write_end = os.pipe()
        xvfb = self.spawn("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                   "1280x800x24", "-nolisten", "tcp", "-noreset"],
                          pass_fds=(write_end,), env=os.environ.copy())
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        # Xvfb picks a free display number and writes it here once it listens.
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline or xvfb.poll() is not None:
                raise RuntimeError("Xvfb did not start: " + self.log("Xvfb"))
            if select.select([read_end], [], [], 0.5)[0]:
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise RuntimeError("Xvfb did not start: " + self.log("Xvfb"))
                number += chunk
        os.close(read_end)
        self.display_name = ":" + number.decode().strip()
        # The desktop's programs keep their files in the work folder too.
        self.env = dict(os.environ, DISPLAY=self.display_name, HOME=self.workdir,
                        XDG_CONFIG_HOME=os.path.join(self.workdir, "config"),
                        XDG_CACHE_HOME=os.path.join(self.workdir, "cache"))
        self.env.pop("WAYLAND_DISPLAY", None)
        from Xlib import display as xdisplay
        self._xlib = wait_until("the X display", lambda: self._open(xdisplay), 30)
        self.spawn("openbox", ["openbox"])
        wait_until("openbox", lambda: self._wm_running(), 30)
        if self.composited:
            self.spawn("xcompmgr", ["xcompmgr"])
            wait_until("xcompmgr", lambda: self._selection_owned("_NET_WM_CM_S0"), 30)
        if self.tray:
            self.start_tray()

    def start_tray(self):
        """The tray host (trayer); also later, as a panel that starts after the
        applications."""
        self._trayer = self.spawn("trayer", ["trayer", "--edge", "bottom", "--align", "right",
                                             "--widthtype", "request", "--height", "28",
                                             "--SetDockType", "true", "--transparent", "false"])
        wait_until("the tray", lambda: self._selection_owned("_NET_SYSTEM_TRAY_S0"), 30)

    def stop_tray(self):
        trayer = getattr(self, "_trayer", None)
        if trayer is None:
            return
        trayer.terminate()
        trayer.wait(10)
        self.forget(trayer)
        self._trayer = None
        wait_until("no tray", lambda: not self._selection_owned("_NET_SYSTEM_TRAY_S0"), 30)

    def wm_state(self, window_id):
        """The window's ICCCM state: "normal", "iconic" (minimised), "withdrawn" or None."""
        from Xlib import error
        window = self._xlib.create_resource_object("window", window_id)
        try:
            prop = window.get_full_property(self._atom("WM_STATE"), 0)
        except error.XError:
            return None
        if prop is None or not len(prop.value):
            return "withdrawn"
        return {0: "withdrawn", 1: "normal", 3: "iconic"}.get(prop.value[0])

    def cover(self):
        """A plain window over the whole screen, given the focus as a new
        window is; returns a function that takes it away again."""
        from Xlib import X
        root = self._xlib.screen().root
        window = root.create_window(0, 0, 1280, 800, 0, self._xlib.screen().root_depth,
                                    X.InputOutput, X.CopyFromParent,
                                    background_pixel=self._xlib.screen().white_pixel)
        window.set_wm_name("cover")
        window.map()
        self._xlib.sync()
        wait_until("the cover shown", lambda: self.windows("^cover$"), 10)

        def gone():
            window.destroy()
            self._xlib.sync()
        return gone

    def active_window(self):
        out = self.xdotool("getactivewindow", check=False).strip()
        return int(out) if out.isdigit() else None

    def stop(self):
        for name, child in reversed(self.children):
            if child.poll() is None:
                child.terminate()
                try:
                    child.wait(10)
                except subprocess.TimeoutExpired:
                    child.kill()
                    child.wait()
        self.children.clear()

    def spawn(self, name, argv, env=None, pass_fds=()):
        log = open(os.path.join(self.workdir, name + ".log"), "ab")
        child = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT,
                                 stdin=subprocess.DEVNULL, env=self.env if env is None else env,
                                 pass_fds=pass_fds, preexec_fn=die_with_parent)
        log.close()
        self.children.append((name, child))
        return child

    def forget(self, child):
        self.children = [(n, c) for n, c in self.children if c is not child]

    def log(self, name):
        try:
            with open(os.path.join(self.workdir, name + ".log"), errors="replace") as f:
                return f.read()[-4000:]
        except OSError:
            return ""

    def _open(self, xdisplay):
        try:
            return xdisplay.Display(self.display_name)
        except Exception:
            return None

    def _atom(self, name):
        return self._xlib.intern_atom(name)

    def _selection_owned(self, name):
        return self._xlib.get_selection_owner(self._atom(name)) != 0

    def _wm_running(self):
        root = self._xlib.screen().root
        prop = root.get_full_property(self._atom("_NET_SUPPORTING_WM_CHECK"), 0)
        return prop is not None and len(prop.value) > 0

    # -- looking ------------------------------------------------------------

    def grab(self, x=0, y=0, width=None, height=None):
        """What the screen shows; or its part within the rectangle, as
        grab().crop() gives it, for a fraction of the bytes."""
        if width is None:
            return screen.grab_screen(self._xlib)
        size = self._xlib.screen()
        x0, y0 = max(0, x), max(0, y)
        x1 = min(size.width_in_pixels, x + width)
        y1 = min(size.height_in_pixels, y + height)
        if x1 <= x0 or y1 <= y0:
            return screen.Picture(0, 0, b"")
        return screen.grab_screen(self._xlib, x0, y0, x1 - x0, y1 - y0)

    def grab_window(self, window_id):
        return screen.grab_window(self._xlib, window_id)

    def xdotool(self, *args, timeout=30, check=True):
        done = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True,
                              text=True, timeout=timeout)
        if check and done.returncode != 0:
            raise RuntimeError("xdotool %s: %s" % (" ".join(map(str, args)), done.stderr.strip()))
        return done.stdout

    def windows(self, name, visible=True):
        """Ids of the windows whose title matches the regular expression."""
        args = ["search"] + (["--onlyvisible"] if visible else []) + ["--name", name]
        out = self.xdotool(*args, check=False)
        return [int(w) for w in out.split()]

    def wait_window(self, name, timeout=30):
        found = wait_until("a window named %r" % name, lambda: self.windows(name), timeout)
        return found[-1]

    def wait_no_window(self, name, timeout=30):
        wait_until("no window named %r" % name, lambda: not self.windows(name), timeout)

    def geometry(self, window_id):
        """(x, y, width, height) of the window's own area on the screen,
        without the window manager's frame (xdotool's position counts it)."""
        from Xlib import error
        window = self._xlib.create_resource_object("window", window_id)
        try:
            size = window.get_geometry()
            offset = window.translate_coords(self._xlib.screen().root, 0, 0)
        except error.XError as failure:
            raise RuntimeError("window %#x: %s" % (window_id, failure))
        return (-offset.x, -offset.y, size.width, size.height)

    def window_name(self, window_id):
        return self.xdotool("getwindowname", window_id, check=False).strip()

    # -- acting -------------------------------------------------------------

    def click(self, x, y, button=1, repeat=1):
        """Clicks (repeat > 1: a double click) at root coordinates. Two clicks
        in a row on one spot would make a double click of their own: the
        second lands a few pixels aside."""
        x, y = int(x), int(y)
        last = getattr(self, "_last_click", None)
        if repeat == 1 and last and abs(last[0] - x) < 10 and abs(last[1] - y) < 10 \
                and time.monotonic() - last[2] < 1.5:
            x += 10 if last[0] <= x else -10
        self.move_mouse(x, y)
        self.xdotool("click", "--repeat", repeat, "--delay", 120, button)
        self._last_click = (x, y, time.monotonic())

    def move_mouse(self, x, y):
        # xdotool's --sync waits for a motion that never comes when the pointer
        # is there already.
        pointer = self._xlib.screen().root.query_pointer()
        if (pointer.root_x, pointer.root_y) != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def type_text(self, text):
        self.xdotool("type", "--delay", 8, text)

    def key(self, *names):
        self.xdotool("key", *names)

    def tray_icon_area(self):
        """(x, y, width, height) of the tray panel."""
        found = self.xdotool("search", "--classname", "^panel$", check=False)
        ids = [int(w) for w in found.split()]
        if not ids:
            return None
        return self.geometry(ids[0])
