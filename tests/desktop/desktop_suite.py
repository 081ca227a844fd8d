#!/usr/bin/python3
"""The desktop suite: the real zorvex on an X desktop of its own (Xvfb,
openbox, a tray), without or with a compositing manager, used as a person
uses it. It clicks and types with xdotool, drops files with an XDND source of
its own, judges what the screen shows at the documented places, and asks what
a phone sees over the link protocol (zorvex-phone) and with ffprobe over
HTTP. Everything stays on a loopback address of the run's own (127.X.Y.1,
never 127.0.0.1), so that a user's copy or another run may hold 127.0.0.1.

  desktop_suite.py --mode plain|composited --zorvex BIN --phone BIN --skin DIR --shots DIR
                   [--shard GROUP] [--keep-shots] [--clip-cache DIR]

The groups of flows (SHARDS) run side by side, each on a desktop of its own.

A failed check is photographed into the shots folder, which a failing run
keeps with the application's home and logs below work/, and names; with
--keep-shots every step is photographed too, and a pass keeps the pictures.
Exit 77 (skipped) when there is no Xvfb to run on."""

import argparse
import atexit
import fcntl
import hashlib
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

SKIP = 77
ADDRESS = None  # the run's own loopback address, chosen in main()
TITLE = "^Zorvex助手$"
LAN_PORTS = (7171, 11717, 11718)
HTTP_PORT = 11717
TOOLS = ("xdotool", "openbox", "xcompmgr", "trayer", "ffmpeg", "ffprobe", "dbus-daemon")

# Checks that wait for a known fault's mend: a failure is reported as XFAIL,
# a pass as XPASS, which fails the run, so that the mark goes once the mend
# is in. None waits now.
PENDING = {}

# Every clip is one solid colour, so that its card is known by its thumbnail.
CLIPS = {  # name: (colour, seconds)
    "a.mp4": ((255, 0, 0), 3),
    "b.mkv": ((0, 192, 0), 3),
    "c.mp4": ((0, 0, 255), 3),
    "slow-d.mp4": ((255, 255, 0), 40),
    "fail-e.mp4": ((255, 0, 255), 2),
    "e.mov": ((0, 192, 192), 3),
}
SLOW = "slow-d.mp4"
# 任务失败 is drawn in this red.
FAILED_RED = (0xF4, 0x56, 0x4E)

# The flows in groups of about equal length that run side by side, each on a
# desktop, a display, a loopback address and a home of its own; together they
# hold every flow once. The first builds the library that its restarts
# check; the others start from SEED, on a desktop without a tray.
SHARDS = {
    "library": ["looks", "add_by_dialog", "drop_two", "convert_two", "select_all",
                "cancel_running", "delete_converting", "delete_converted", "delete_plain",
                "update_checks", "brought_forward", "close_prompt", "restart", "lost_and_back"],
    "keyboard": ["card_tooltip", "broken_file", "failed_conversion", "tab_through_page"],
    "queue": ["unwritable_folder", "download_finished_box", "desktop_follows",
              "queue_survives_quit"],
}
SEED = ["b.mkv", "c.mp4"]
# The application's home lies deep, one folder's name wider than a box may
# be and with no place to break a line, so that the download-finished box
# shows a path that no line holds.
DEEP_HOME = ("home", "TheVideosOfTheLivingRoom" * 8, "saved-for", "the-phones")


class Failure(AssertionError):
    pass


FLOWS = []  # the names of the flows, in SHARDS


def flow(method):
    """Marks a flow: a use of the application that one shard goes through."""
    FLOWS.append(method.__name__)
    return method


class Suite:
    def __init__(self, args):
        import screen  # noqa: F401  (python3-xlib is checked before)
        import zorvex_window as zw
        self.args = args
        self.zw = zw
        self.shots = os.path.abspath(args.shots)
        self.work = os.path.join(self.shots, "work")
        self.home = os.path.join(self.work, *DEEP_HOME)
        self.media = os.path.join(self.work, "media")
        self.converted = os.path.join(self.home, "appData", "converted")
        self.reader = zw.Reader(args.skin, {n: c for n, (c, _) in CLIPS.items()})
        self.started = time.monotonic()
        self.step = 0
        self.results = []  # (status, name, detail)
        self.desktop = self.app = self.window = self.server = None
        self.origin = (0, 0)
        self.final_cards = []

    # -- reporting ----------------------------------------------------------

    def say(self, status, text):
        print("%5.1fs %-7s %s" % (time.monotonic() - self.started, status, text), flush=True)

    def photo(self, name):
        """A step's picture, taken with --keep-shots only: each costs a grab of
        the whole screen and a PNG, and a pass throws them away."""
        self.step += 1
        if self.args.keep_shots:
            self.snapshot(name)

    def snapshot(self, name):
        self.desktop.grab().save_png(os.path.join(self.shots, "%02d-%s.png" % (self.step, name)))

    def passed(self, name, detail=""):
        self.results.append(("PASS", name, detail))
        self.say("ok", "%s %s" % (name, detail))

    def require(self, name, ok, detail=""):
        """A check whose failure ends the run: what follows builds on it."""
        if name in PENDING:
            return self.expect(name, ok, detail)
        if not ok:
            self.snapshot("failed-" + name)
            raise Failure("%s: %s" % (name, detail))
        self.passed(name, detail)
        return ok

    def expect(self, name, ok, detail=""):
        """A check whose failure is counted while the run goes on."""
        if name in PENDING:
            status = "XPASS" if ok else "XFAIL"
            self.results.append((status, name, detail))
            self.say(status.lower(), "%s: %s -- awaits the fix: %s" % (name, detail, PENDING[name]))
            if not ok:
                self.snapshot("xfail-" + name)
        elif ok:
            self.passed(name, detail)
        else:
            self.results.append(("FAIL", name, detail))
            self.say("FAILED", "%s: %s" % (name, detail))
            self.snapshot("failed-" + name)
        return ok

    def soon(self, what, condition, timeout=20):
        """What condition() gives within timeout, or None."""
        from xsession import Timeout, wait_until
        begun = time.monotonic()
        try:
            return wait_until(what, condition, timeout)
        except Timeout:
            return None
        finally:
            if time.monotonic() - begun > 3:
                self.say("slow", "%.1fs for %s" % (time.monotonic() - begun, what))

    def must(self, what, condition, timeout=20):
        """What condition() gives within timeout; a failure otherwise."""
        value = self.soon(what, condition, timeout)
        if not value:
            self.snapshot("timeout")
            raise Failure("timed out after %gs waiting for %s; the cards: %s"
                          % (timeout, what, self.summary()))
        return value

    # -- the world around the application -----------------------------------

    def prepare(self):
        from update_server import UpdateServer
        shutil.rmtree(self.shots, ignore_errors=True)
        for folder in (self.media, self.converted, os.path.join(self.work, "bin")):
            os.makedirs(folder)
        # Short and private: the doorbell's socket path must fit a socket
        # address, however deep the build folder lies.
        self.runtime = tempfile.mkdtemp(prefix="zorvex-run-")
        atexit.register(shutil.rmtree, self.runtime, True)
        # The shards' clips are made once; each shard's media folder is its
        # own (a flow moves a clip away), of links to them.
        clips = self.args.clips or make_clips(os.path.join(self.work, "clips"))
        for name in CLIPS:
            os.link(os.path.join(clips, name), os.path.join(self.media, name))
        ffmpeg = shutil.which("ffmpeg")
        # The real FFmpeg; a clip named slow-* converts at its own pace, so it
        # is caught running without keeping two cores busy.
        # A clip named fail-* fails its conversion, with an error line of
        # FFmpeg's kind, once for each fail-next file the suite leaves.
        wrapper = os.path.join(self.work, "bin", "ffmpeg")
        fail_next = os.path.join(self.work, "fail-next")
        with open(wrapper, "w") as f:
            f.write('#!/bin/sh\ncase "$*" in *"/fail-"*"-vcodec"*) if [ -e %s ]; then rm -f %s; '
                    'echo "[libx264 @ 0x5a] the desktop suite breaks this conversion" >&2; '
                    'exit 1; fi;; esac\n'
                    'case "$*" in *"/slow-"*"-vcodec"*) exec %s -re "$@";; esac\n'
                    'exec %s "$@"\n' % (fail_next, fail_next, ffmpeg, ffmpeg))
        os.chmod(wrapper, 0o755)
        self.server = UpdateServer()
        # No autostart entry, no keep-awake, the update server of the suite.
        with open(os.path.join(self.home, "config.ini"), "w") as f:
            f.write("[NormalSetting]\nBase-AutoRun=0\nBase-AutoUpdate=1\nExitWndType=1\n"
                    "ComSleep-UnSleep=0\nDefaultIP=%s\nDeleteOrigin=0\n"
                    "UpdateServer=127.0.0.1:%d\n[VideoSetting]\nVideoConvert-Ratio=1\n"
                    "ConvertPath=%s\nConvertedNotify=1\n" % (ADDRESS, self.server.port, self.converted))

    def start_app(self, name, extra_env=None):
        zw = self.zw
        # The previous session's service may still be letting its ports go.
        if not self.soon("the LAN ports of %s free" % ADDRESS,
                         lambda: lan_ports_free(ADDRESS), 120):
            raise Failure("another program holds the LAN ports (%s) of %s"
                          % (", ".join(map(str, LAN_PORTS)), ADDRESS))
        env = dict(self.desktop.env, QT_QPA_PLATFORM="xcb", HOME=self.work,
                   XDG_RUNTIME_DIR=self.runtime,
                   XDG_CONFIG_HOME=os.path.join(self.work, "config"),
                   XDG_DATA_HOME=os.path.join(self.work, "data"),
                   PATH=os.path.join(self.work, "bin") + os.pathsep + os.environ.get("PATH", ""))
        for variable in ("DBUS_SESSION_BUS_ADDRESS", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS"):
            env.pop(variable, None)
        env.update(extra_env or {})
        # A sanitizer build's leak report leaves out what libraries keep to the end.
        supp = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lsan.supp")
        env["LSAN_OPTIONS"] = ":".join(filter(None, ["suppressions=" + supp,
                                                      os.environ.get("LSAN_OPTIONS")]))
        self.log_name = name
        self.app_env = env
        self.app = self.desktop.spawn(name, [self.args.zorvex, "--address", ADDRESS,
                                             "--home", self.home], env=env)
        self.window = self.desktop.wait_window(TITLE, timeout=60)
        x, y, w, h = self.desktop.geometry(self.window)
        self.origin = (x, y)
        self.require("window-size", (w, h) == zw.WINDOW, "%dx%d at %d,%d" % (w, h, x, y))
        self.must("the window painted", lambda: self.near(self.at(40, 400), zw.LEFT_COLUMN), 30)

    # -- reading the screen -------------------------------------------------

    def at(self, x, y):
        """The screen's pixel at window coordinates."""
        return self.desktop.grab(self.origin[0] + x, self.origin[1] + y, 1, 1).pixel(0, 0)

    @staticmethod
    def near(a, b, tolerance=8):
        return all(abs(p - q) <= tolerance for p, q in zip(a, b))

    def window_picture(self):
        return self.desktop.grab(*self.origin, *self.zw.WINDOW)

    def cards(self):
        return self.reader.cards(self.window_picture())

    def rows(self):
        return self.reader.rows(self.window_picture())

    def summary(self, cards=None):
        return " ".join(map(repr, self.cards() if cards is None else cards))

    def cards_when(self, what, condition, timeout=30):
        """The cards, once condition(cards) holds; a failure otherwise."""
        return self.must(what, lambda: (lambda c: c if condition(c) else None)(self.cards()),
                         timeout)

    def card(self, clip, badge=None, cards=None):
        for c in self.cards() if cards is None else cards:
            if c.clip == clip and badge in (None, c.badge):
                return c
        return None

    def drawn(self, window_id):
        """The screen shows the window's own contents where it lies."""
        x, y, w, h = self.desktop.geometry(window_id)
        own = self.desktop.grab_window(window_id)
        shown = self.desktop.grab(x, y, w, h)
        return ((shown.width, shown.height) == (own.width, own.height)
                and shown.difference(own) < 2 and len(own.colours()) > 8)

    def app_windows(self):
        """The application's visible windows: id -> geometry."""
        found = {}
        for w in self.desktop.xdotool("search", "--onlyvisible", "--class", "zorvex",
                                      check=False).split():
            try:
                found[int(w)] = self.desktop.geometry(int(w))
            except RuntimeError:
                pass  # gone meanwhile
        return found

    def toasts(self):
        return [w for w, g in self.app_windows().items() if g[2:] == self.zw.TOAST]

    def message_box(self, before):
        """A new message box: a window manager's dialog, not a toast."""
        for w, (_, _, width, height) in self.app_windows().items():
            if w not in before and w != self.window and 150 <= width <= 600 \
                    and 60 <= height <= 300 and (width, height) != self.zw.TOAST:
                return w
        return None

    def prompt(self, title):
        """The confirmation dialog titled so, checked for its place and looks."""
        zw = self.zw
        prompt = self.desktop.wait_window("^" + title, timeout=20)
        x, y, w, h = self.desktop.geometry(prompt)
        ox, oy = self.origin
        centred = abs(x + w // 2 - (ox + zw.WINDOW[0] // 2)) <= 2 \
            and abs(y + h // 2 - (oy + zw.WINDOW[1] // 2)) <= 2
        self.require("prompt-geometry", (w, h) == zw.PROMPT and centred,
                     "%s %dx%d at %d,%d" % (title, w, h, x, y))
        self.require("prompt-drawn", self.soon("the prompt drawn", lambda: self.drawn(prompt)),
                     title)
        return prompt

    def phone_list(self, kind):
        """What a phone's list request gets: [(name, key, has thumbnail)]."""
        done = subprocess.run([self.args.phone, "list", "--host", ADDRESS, "--type",
                               str(kind)], capture_output=True, text=True, timeout=30)
        if done.returncode != 0:
            return None
        return [(name, key, thumb == "1") for _, thumb, key, name in
                (line.split(" ", 3) for line in done.stdout.splitlines()[1:])]

    def phone_names(self, kind):
        listed = self.phone_list(kind)
        return None if listed is None else sorted(name for name, _, _ in listed)

    def phone_sees(self, kind, names, timeout=20):
        return self.soon("list %d to hold %s" % (kind, names),
                         lambda: self.phone_names(kind) == sorted(names), timeout)

    def probe(self, key):
        done = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                               "stream=codec_type,codec_name", "-of", "json",
                               "http://%s:%d/%s" % (ADDRESS, HTTP_PORT, key)],
                              capture_output=True, text=True, timeout=60)
        if done.returncode != 0:
            return done.stderr.strip()
        return {s["codec_type"]: s["codec_name"] for s in json.loads(done.stdout)["streams"]}

    # -- acting -------------------------------------------------------------

    def click(self, point, repeat=1):
        self.desktop.click(self.origin[0] + point[0], self.origin[1] + point[1], repeat=repeat)

    def click_in(self, window_id, point):
        x, y, _, _ = self.desktop.geometry(window_id)
        self.desktop.click(x + point[0], y + point[1])

    def view(self, entry):
        """Chooses a view in the left menu and waits until the menu marks it.
        A click that lands while a closing dialog still holds the window is
        lost, as a person's would be; then it is given again."""
        for _ in range(3):
            self.click(entry)
            if self.soon("the menu to mark %s" % (entry,), lambda: self.near(
                    self.at(1, entry[1]), self.zw.ACCENT, 12), 5):
                return
            self.say("again", "the click on the menu at %s" % (entry,))
        raise Failure("the left menu does not mark the entry at %s" % (entry,))

    def check_for_updates(self):
        """检测更新, given again if the click is lost, until the server is asked."""
        asked = self.server.checks + 1
        for _ in range(3):
            self.click(self.zw.CHECK_UPDATE)
            if self.server.wait_checks(asked, 5):
                return
            self.say("again", "the click on 检测更新")
        raise Failure("检测更新 asks the update server nothing")

    def drop(self, names, at=(500, 400)):
        import xdnd_drop
        from Xlib import error
        # A fresh connection of the composited desktop now and then hears
        # BadWindow for the window the suite's own connection still sees;
        # the drop is offered again, the way a user drags once more.
        for attempt in range(3):
            try:
                xdnd_drop.drop_files(self.desktop.display_name, self.window,
                                     self.origin[0] + at[0], self.origin[1] + at[1],
                                     [os.path.join(self.media, n) for n in names])
                return
            except error.BadWindow as failure:
                self.say("again", "the drop of %s: %s, window %#x at %s" % (
                    names, failure, self.window, self.desktop.geometry(self.window)))
        raise Failure("the drop of %s was refused three times" % names)

    def check_only(self, *clips):
        """Leaves exactly the cards of these clips (plain ones first) checked."""
        wanted = set()
        for clip in clips:
            card = self.card(clip, "plain") or self.card(clip)
            wanted.add(card.index)
        for c in self.cards():
            if c.checked != (c.index in wanted):
                self.click(self.zw.card_centre(c.index))
        self.cards_when("cards %s checked" % sorted(wanted),
                        lambda cards: all(c.checked == (c.index in wanted) for c in cards), 30)

    # -- the flows ----------------------------------------------------------

    def run(self):
        import xsession
        self.prepare()
        self.desktop = xsession.Desktop(self.work, composited=self.args.mode == "composited")
        try:
            self.desktop.start()
            flows = SHARDS[self.args.shard]
            if flows[0] == "looks":
                self.start_app("zorvex-1")
                self.photo("started")
            else:
                self.seeded_session()
            for flow in flows:
                getattr(self, flow)()
            if self.app.poll() is None:
                # A logout's SIGTERM ends it as quitting does.
                self.app.terminate()
                self.require("terminated", self.app.wait(30) == 0)
                self.desktop.forget(self.app)
        finally:
            self.desktop.stop()
            self.server.stop()

    def seeded_session(self):
        """The start of a shard that does not build its library itself: a
        desktop without a tray, as after the first restart, and two videos."""
        bus = self.desktop_without_tray()
        self.start_app("zorvex-2", {"DBUS_SESSION_BUS_ADDRESS": bus})
        self.drop(SEED)
        self.cards_when("the seeded cards", lambda c: [(x.clip, x.badge) for x in c]
                        == [(clip, "plain") for clip in SEED])

    @flow
    def looks(self):
        zw = self.zw
        self.require("page-colours", self.near(self.at(zw.PAGE_LEFT + 400, 5), zw.TITLE_BAND)
                     and self.near(self.at(zw.PAGE_LEFT + 20, 300), zw.PAGE_GREY),
                     "title band %s, content %s" % (self.at(zw.PAGE_LEFT + 400, 5),
                                                    self.at(zw.PAGE_LEFT + 20, 300)))
        # The shadow: four pieces around the window where windows blend, none where not.
        ox, oy = self.origin
        expected = sorted((ox + x, oy + y, w, h) for x, y, w, h in zw.STRIPS)
        if self.args.mode == "plain":
            expected = []

        def pieces():
            return sorted(g for w, g in self.app_windows().items()
                          if w != self.window and g[2:] in ((16, 630), (1004, 16)))
        self.expect("shadow-pieces", self.soon("the shadow's pieces in place",
                                               lambda: pieces() == expected, 10), str(pieces()))
        missing = "translations are missing" in self.desktop.log(self.log_name)
        self.expect("qt-translations-loaded", not missing,
                    "the program says Qt's translations are missing" if missing else "")

    @flow
    def add_by_dialog(self):
        self.click(self.zw.ADD)
        dialog = self.desktop.wait_window("请选择需要转换文件")
        self.require("add-dialog-drawn", self.soon("the add dialog drawn",
                                                   lambda: self.drawn(dialog)))
        self.photo("add-dialog")  # its labels in Chinese: look at the picture
        self.desktop.type_text(os.path.join(self.media, "a.mp4"))
        self.desktop.key("Return")
        self.desktop.wait_no_window("请选择需要转换文件")
        cards = self.cards_when("the added card", lambda c: [x.clip for x in c] == ["a.mp4"])
        self.require("added-card-plain", cards[0].badge == "plain", self.summary(cards))
        self.photo("added")

    @flow
    def drop_two(self):
        self.drop(["b.mkv", "c.mp4"])
        cards = self.cards_when("the dropped cards",
                                lambda c: [x.clip for x in c] == ["a.mp4", "b.mkv", "c.mp4"])
        self.require("dropped-cards", all(c.badge == "plain" for c in cards), self.summary(cards))
        self.photo("dropped")
        shared = self.soon("a phone to see three videos with thumbnails", lambda: (
            lambda listed: listed and len(listed) == 3 and all(t for _, _, t in listed))(
            self.phone_list(1)))
        self.require("phone-sees-sources", shared, "list 1: %s" % (self.phone_list(1),))

    @flow
    def convert_two(self):
        self.check_only("b.mkv", "c.mp4")
        self.photo("checked-two")
        self.click(self.zw.CONVERT)
        self.photo("converting")
        self.cards_when("both conversions to finish", lambda c: sorted(
            x.clip for x in c if x.badge == "converted") == ["b.mkv", "c.mp4"], 90)
        # The sources settle: none still waiting or converting, given a moment.
        cards = self.soon("the sources to settle", lambda: (
            lambda c: c if all(x.badge in ("plain", "converted") for x in c) else None)(
            self.cards()), 6) or self.cards()
        self.photo("converted")
        kinds = [(c.clip, c.badge) for c in cards]
        source = kinds.index(("c.mp4", "plain")) if ("c.mp4", "plain") in kinds else -1
        self.expect("mp4-source-plain", source >= 0, self.summary(cards))
        self.expect("mp4-converted-after-source",
                    source >= 0 and kinds[source + 1:source + 2] == [("c.mp4", "converted")],
                    self.summary(cards))
        self.expect("mkv-source-plain", ("b.mkv", "plain") in kinds, self.summary(cards))
        self.expect("mkv-converted-after-source", kinds[:3] == [
            ("a.mp4", "plain"), ("b.mkv", "plain"), ("b.mkv", "converted")], self.summary(cards))
        # A phone sees both outputs in list 2, H.264 and AAC over HTTP.
        self.require("phone-sees-converted", self.phone_sees(2, ["b.mp4", "c.mp4"]),
                     "list 2: %s" % (self.phone_list(2),))
        for name, key, thumb in self.phone_list(2):
            codecs = self.probe(key)
            self.expect("streamed-" + name, thumb and codecs == {"video": "h264", "audio": "aac"},
                        "thumbnail %s, ffprobe over HTTP: %s" % (thumb, codecs))

    @flow
    def select_all(self):
        count = len(self.cards())
        self.click(self.zw.CHECK_ALL)
        cards = self.cards_when("every card checked", lambda c: c and all(x.checked for x in c), 30)
        self.photo("all-selected")
        self.require("select-all", len(cards) == count, self.summary(cards))
        self.click(self.zw.CHECK_ALL)
        self.cards_when("every card unchecked", lambda c: c and not any(x.checked for x in c), 30)
        self.passed("select-none")

    def start_slow(self):
        """Converts the slow clip; returns once its card shows the conversion."""
        if self.card(SLOW) is None:
            self.drop([SLOW], at=(500, 500))
            self.cards_when("the slow clip's card", lambda c: self.card(SLOW, "plain", c))
        self.check_only(SLOW)
        self.click(self.zw.CONVERT)
        self.cards_when("the slow card converting", lambda c: self.card(SLOW, "converting", c))

    @flow
    def cancel_running(self):
        zw = self.zw
        self.start_slow()
        self.view(zw.MENU_CONVERT)
        rows = self.soon("the slow task running in the conversion view",
                         lambda: (lambda r: r if "running" in r else None)(self.rows()))
        self.photo("conversion-running")
        self.require("row-running", rows and sorted(rows) == ["done", "done", "running"],
                     "rows %s" % self.rows())
        self.click(zw.row_cancel(rows.index("running")))
        rows = self.soon("the cancelled task to leave",
                         lambda: self.rows() == ["done", "done"], 30)
        self.photo("conversion-cancelled")
        self.require("row-cancelled", rows, "rows %s" % self.rows())
        partial = os.path.join(self.converted, SLOW)
        self.expect("partial-output-removed", self.soon(
            "the partial output removed", lambda: not os.path.exists(partial), 15), partial)
        self.choose_folder()
        self.view(zw.MENU_LIBRARY)
        plain = self.soon("the slow card plain again", lambda: self.card(SLOW, "plain"), 6)
        self.photo("cancelled")
        self.expect("cancelled-card-plain", plain, self.summary())
        if not plain:
            # A click redraws the card; a second gives its mark back.
            index = self.card(SLOW).index
            self.click(zw.card_centre(index))
            self.click(zw.card_centre(index))
            self.expect("cancelled-card-plain-after-click",
                        self.soon("the clicked card plain", lambda: self.card(SLOW, "plain"), 10),
                        self.summary())

    def choose_folder(self):
        """修改: the save-folder chooser, drawn and in Chinese; the folder typed
        in becomes ConvertPath."""
        elsewhere = os.path.join(self.work, "converted-elsewhere")
        os.makedirs(elsewhere)
        self.click(self.zw.MODIFY_PATH)
        chooser = self.desktop.wait_window("请选择保存路径")
        self.require("folder-chooser-drawn", self.soon("the folder chooser drawn",
                                                       lambda: self.drawn(chooser)))
        self.photo("folder-chooser")  # 目录 and 选择 where Qt says Directory and Choose
        self.desktop.type_text(elsewhere)
        self.desktop.key("Return")
        self.desktop.wait_no_window("请选择保存路径")
        config = os.path.join(self.home, "config.ini")
        saved = self.soon("ConvertPath saved", lambda: "ConvertPath=%s\n" % elsewhere
                          in open(config).read(), 10)
        self.expect("folder-chosen", saved, "" if saved else open(config).read())
        self.converted = elsewhere

    @flow
    def delete_converting(self):
        zw = self.zw
        self.start_slow()
        count = len(self.cards())
        self.click(zw.DELETE)
        prompt = self.prompt("取消任务")
        self.photo("delete-converting-prompt")
        self.click_in(prompt, zw.PROMPT_RIGHT)
        cards = self.cards_when("the converting card gone", lambda c: self.card(SLOW, cards=c)
                                is None and len(c) == count - 1)
        self.photo("deleted-converting")
        self.passed("converting-card-deleted", self.summary(cards))
        self.expect("phone-loses-converting", self.phone_sees(1, ["a.mp4", "b.mkv", "c.mp4"]),
                    "list 1: %s" % self.phone_names(1))
        self.view(zw.MENU_CONVERT)
        self.expect("converting-task-gone", self.soon(
            "its task gone", lambda: self.rows() == ["done", "done"]), "rows %s" % self.rows())
        self.view(zw.MENU_LIBRARY)
        self.cards_when("the library view", lambda c: len(c) == count - 1, 30)

    @flow
    def delete_converted(self):
        zw = self.zw
        self.require("converted-card-present", self.card("c.mp4", "converted"), self.summary())
        count = len(self.cards())
        self.check_only_converted("c.mp4")
        self.click(zw.DELETE)
        prompt = self.prompt("删除转码视频")
        self.photo("delete-converted-prompt")
        x, y, _, _ = self.desktop.geometry(prompt)
        px, py, pw, ph = zw.PROMPT_CHECK2
        box = self.desktop.grab(x + px, y + py, pw, ph)
        self.expect("converted-delete-offers-source", box.share(zw.PAGE_GREY, 6) < 0.97,
                    "%d colours where 彻底删除源文件 belongs" % len(box.colours()))
        self.click_in(prompt, zw.PROMPT_RIGHT)
        cards = self.cards_when("the converted card gone", lambda c: len(c) == count - 1
                                and not self.card("c.mp4", "converted", c), 20)
        self.photo("deleted-converted")
        self.passed("converted-card-deleted", self.summary(cards))
        self.require("converted-source-kept", os.path.exists(os.path.join(self.media, "c.mp4")))
        self.expect("phone-loses-converted", self.phone_sees(2, ["b.mp4"]),
                    "list 2: %s" % self.phone_names(2))

    def check_only_converted(self, clip):
        target = self.card(clip, "converted")
        for c in self.cards():
            if c.checked != (c.index == target.index):
                self.click(self.zw.card_centre(c.index))
        self.cards_when("the converted card alone checked", lambda cards: all(
            c.checked == (c.index == target.index) for c in cards), 30)

    @flow
    def delete_plain(self):
        zw = self.zw
        self.check_only("a.mp4")
        before = set(self.app_windows())
        self.click(zw.DELETE)

        def prompted():
            for w in self.app_windows():
                if w not in before and self.desktop.window_name(w).startswith("删除"):
                    return w
            return None
        # Gone at once; or a prompt, today's way, answered to go on.
        outcome = self.soon("the plain card gone, or a prompt", lambda: (
            "gone" if not self.card("a.mp4") else prompted()), 15)
        self.photo("delete-plain")
        self.expect("plain-delete-without-prompt", outcome == "gone", "a prompt came")
        if outcome not in (None, "gone"):
            self.click_in(outcome, zw.PROMPT_RIGHT)
        cards = self.cards_when("the plain card gone", lambda c: not self.card("a.mp4", cards=c))
        self.photo("deleted-plain")
        self.passed("plain-card-deleted", self.summary(cards))
        self.expect("phone-loses-plain", self.phone_sees(1, ["b.mkv", "c.mp4"]),
                    "list 1: %s" % self.phone_names(1))
        self.require("plain-source-kept", os.path.exists(os.path.join(self.media, "a.mp4")))

    @flow
    def update_checks(self):
        zw, server = self.zw, self.server
        self.view(zw.MENU_SETTINGS)
        self.must("the settings view", lambda: not self.cards(), 10)
        self.photo("settings")

        # Code 2: nothing newer, said by the 已是最新版 box.
        server.answer = json.dumps({"code": 2, "data": []})
        before = set(self.app_windows())
        self.check_for_updates()
        self.passed("update-asked")
        shown = self.soon("the 已是最新版 box", lambda: self.message_box(before) or (
            "toast" if self.toasts() else None), 10)
        self.photo("update-latest")
        box = shown if shown != "toast" else None
        self.expect("update-code-2-box", box, "a toast instead" if shown == "toast" else "")
        if box:
            self.expect("update-code-2-box-drawn", self.drawn(box))
            self.desktop.key("Return")
            self.soon("the box closed", lambda: box not in self.app_windows(), 10)
        self.soon("no toast", lambda: not self.toasts(), 10)

        # An answer that is no JSON: the user is told (a toast or a box), nothing else.
        server.answer = "<html>no json</html>"
        before = set(self.app_windows())
        self.check_for_updates()
        told = self.soon("word of the failed check",
                         lambda: self.toasts() or self.message_box(before), 20)
        self.photo("update-garbage")
        self.require("update-garbage-told", told, "neither a toast nor a box")
        for toast in self.toasts():
            self.expect("toast-drawn", self.toast_drawn(toast))
        box = self.message_box(before)
        if box:
            self.desktop.key("Return")
        self.require("update-garbage-survived", self.soon(
            "the window still there", lambda: self.app.poll() is None
            and self.window in self.app_windows(), 10))
        self.soon("no toast", lambda: not self.toasts(), 10)

        # Code 1: an offer. The download dialog shows its progress; the
        # transfer breaks off, which ends in 下载失败 with the window still there.
        server.answer = json.dumps({"code": 1, "data": [{
            "version_name": "99.0.0", "version_code": "990",
            "download_url": "http://127.0.0.1:%d/Setup.exe" % server.port}]})
        before = set(self.app_windows())
        self.check_for_updates()
        download = self.must("the download dialog", lambda: next(
            (w for w, g in self.app_windows().items() if w not in before
             and 440 <= g[2] <= 480 and 290 <= g[3] <= 330), None))
        self.require("download-dialog-drawn", self.soon("the download dialog drawn",
                                                        lambda: self.drawn(download)))
        self.photo("update-downloading")
        failed = self.must("the 下载失败 box",
                           lambda: self.message_box(before | {download}), 40)
        self.photo("update-download-failed")
        self.expect("download-failure-box-drawn", self.drawn(failed))
        self.desktop.key("Return")
        self.soon("the box closed", lambda: failed not in self.app_windows(), 10)
        self.require("download-failure-survived", self.app.poll() is None)
        self.view(zw.MENU_LIBRARY)
        self.cards_when("the library view", lambda c: len(c) > 0, 30)

    def toast_drawn(self, toast):
        """A grey panel, not a black slab nor nothing."""
        x, y, w, h = self.desktop.geometry(toast)
        inside = self.desktop.grab(x + 20, y + 10, w - 40, h - 20)
        return inside.share((0, 0, 0), 24) < 0.05 and 40 < sum(inside.mean()) / 3 < 235

    @flow
    def close_prompt(self):
        zw = self.zw
        self.final_cards = [(c.clip, c.badge) for c in self.cards()]
        # 后台运行: into the tray, and back by a double click on its icon.
        self.click(zw.CLOSE)
        self.prompt("退出提示")
        self.photo("exit-prompt")
        self.desktop.key("Return")  # the orange 后台运行 is the default
        hidden = self.soon("the window hidden", lambda: self.window not in self.app_windows()
                           and not self.near(self.at(40, 400), zw.LEFT_COLUMN), 15)
        self.photo("hidden-to-tray")
        self.require("hidden-to-tray", hidden and self.app.poll() is None)
        tray = self.desktop.tray_icon_area()
        self.require("tray-icon", tray)
        tx, ty, tw, th = tray
        self.desktop.click(tx + tw // 2, ty + th // 2, repeat=2)
        self.require("back-from-tray", self.soon(
            "the window back from the tray", lambda: self.window in self.app_windows(), 15))
        self.origin = self.desktop.geometry(self.window)[:2]
        self.cards_when("the cards again", lambda c: len(c) == len(self.final_cards), 15)
        self.photo("back-from-tray")
        # 完全退出: the application ends.
        self.click(zw.CLOSE)
        self.click_in(self.prompt("退出提示"), zw.PROMPT_LEFT)
        try:
            code = self.app.wait(30)
        except subprocess.TimeoutExpired:
            code = None
        self.require("quit", code == 0, "exit code %s" % code)
        self.desktop.forget(self.app)

    @flow
    def restart(self):
        bus = self.desktop_without_tray()
        self.start_app("zorvex-2", {"DBUS_SESSION_BUS_ADDRESS": bus})
        expected = self.final_cards
        same = self.soon("the same cards after the restart", lambda: [
            (c.clip, c.badge) for c in self.cards()] == expected, 15)
        self.photo("restarted")
        self.expect("restart-order", same, "before %s, after %s" % (
            " ".join("%s:%s" % e for e in expected), self.summary()))
        # What the flows leave: b.mkv, its conversion, c.mp4 (its conversion deleted).
        self.expect("restart-documented-order", [(c.clip, c.badge) for c in self.cards()] == [
            ("b.mkv", "plain"), ("b.mkv", "converted"), ("c.mp4", "plain")], self.summary())
        self.expect("phone-after-restart", self.phone_sees(1, ["b.mkv", "c.mp4"])
                    and self.phone_sees(2, ["b.mp4"]),
                    "lists %s %s" % (self.phone_names(1), self.phone_names(2)))
        self.app.terminate()
        self.require("terminated", self.app.wait(30) == 0)
        self.desktop.forget(self.app)

    # -- one window brought forward; a tray and notices that follow the desktop

    def second_start(self):
        """zorvex started again as a user would: it ends at once; its exit code."""
        again = self.desktop.spawn(self.log_name + "-again", [
            self.args.zorvex, "--address", ADDRESS, "--home", self.home], env=self.app_env)
        try:
            code = again.wait(30)
        except subprocess.TimeoutExpired:
            again.kill()
            code = None
        self.desktop.forget(again)
        return code

    def came_forward(self, name):
        """A second start brings the window forward: shown, on top, active."""
        code = self.second_start()
        self.expect(name + "-exit-code", code == 0, "exit code %s" % code)
        shown = self.soon("the window forward and active", lambda: self.window in
                          self.app_windows() and self.desktop.active_window() == self.window, 15)
        if shown:
            self.origin = self.desktop.geometry(self.window)[:2]
        drawn = shown and self.soon("the window drawn on top", lambda: self.near(
            self.at(40, 400), self.zw.LEFT_COLUMN) and self.near(
            self.at(self.zw.PAGE_LEFT + 20, 300), self.zw.PAGE_GREY), 10)
        self.photo(name)
        self.require(name, shown and drawn, "state %s, active %s, ours %s" % (
            self.desktop.wm_state(self.window), self.desktop.active_window(), self.window))

    def hide_by_prompt(self):
        """The close button, then 后台运行."""
        self.click(self.zw.CLOSE)
        self.click_in(self.prompt("退出提示"), self.zw.PROMPT_RIGHT)

    def gone_as(self, state):
        """The window off the screen in the given state (withdrawn: hidden to
        the tray; iconic: minimised), the application still running."""
        return self.soon("the window %s" % state, lambda: self.window not in self.app_windows()
                         and self.desktop.wm_state(self.window) == state
                         and self.app.poll() is None, 15)

    @flow
    def brought_forward(self):
        # Hidden into the tray, minimised, and behind another window.
        self.hide_by_prompt()
        self.require("hidden-before-second-start", self.gone_as("withdrawn"))
        self.came_forward("second-start-from-tray")
        self.desktop.xdotool("windowminimize", self.window)
        self.require("minimised-before-second-start", self.gone_as("iconic"))
        self.came_forward("second-start-from-minimised")
        uncover = self.desktop.cover()
        self.must("the window covered", lambda: not self.near(self.at(40, 400),
                                                               self.zw.LEFT_COLUMN), 10)
        try:
            self.came_forward("second-start-from-behind")
        finally:
            uncover()

    def desktop_without_tray(self):
        """Before the second session: the tray host gone, and a session bus of
        the run's own with a notification service on it; the bus's address."""
        self.desktop.stop_tray()
        read_end, write_end = os.pipe()
        self.desktop.spawn("dbus-daemon", ["dbus-daemon", "--session", "--nofork",
                                           "--print-address=%d" % write_end],
                           pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as f:
            address = f.readline().strip()
        if not address:
            raise Failure("dbus-daemon gave no address: " + self.desktop.log("dbus-daemon"))
        self.notices = os.path.join(self.work, "notices.jsonl")
        service = os.path.join(os.path.dirname(os.path.abspath(__file__)), "notice_service.py")
        self.desktop.spawn("notice-service", ["/usr/bin/python3", service, self.notices],
                           env=dict(self.desktop.env, DBUS_SESSION_BUS_ADDRESS=address))
        self.must("the notification service", lambda: "ready" in self.desktop.log(
            "notice-service"), 30)
        return address

    def received_notices(self):
        try:
            with open(self.notices) as f:
                return [json.loads(line) for line in f]
        except OSError:
            return []

    def tray_shows_icon(self):
        area = self.desktop.tray_icon_area()
        return area and area[2] >= 16 and len(self.desktop.grab(*area).colours()) > 8

    def stray_icons(self):
        return [g for w, g in self.app_windows().items() if g[2] <= 64 and g[3] <= 64]

    @flow
    def desktop_follows(self):
        zw = self.zw
        # No tray host: a finished conversion's notice goes to the desktop's service.
        self.drop(["a.mp4"])
        self.cards_when("a.mp4 back", lambda c: self.card("a.mp4", "plain", c))
        self.check_only("a.mp4")
        self.click(zw.CONVERT)
        self.cards_when("a.mp4 converted", lambda c: self.card("a.mp4", "converted", c), 90)
        notices = self.soon("the notice", lambda: [n for n in self.received_notices()
                                                   if n[2] == "转码已完成"], 15)
        self.photo("notice-without-tray")
        self.expect("notice-without-tray", notices and notices[0][0] == "Zorvex助手"
                    and "a" in notices[0][1], "received %s" % self.received_notices())
        # 后台运行 minimises without a tray; a second start brings it back.
        self.hide_by_prompt()
        minimised = self.gone_as("iconic")
        self.photo("minimised-without-tray")
        self.require("minimised-without-tray", minimised, str(self.desktop.wm_state(self.window)))
        self.came_forward("second-start-without-tray")
        # A tray host started after the application: the icon comes, 后台运行 hides into it.
        self.desktop.start_tray()
        icon = self.soon("the icon in the late tray", self.tray_shows_icon, 15)
        self.photo("late-tray")
        self.require("icon-in-late-tray", icon, "tray area %s" % (self.desktop.tray_icon_area(),))
        self.hide_by_prompt()
        hidden = self.gone_as("withdrawn")
        self.photo("hidden-to-late-tray")
        self.require("hidden-to-late-tray", hidden)
        tx, ty, tw, th = self.desktop.tray_icon_area()
        self.desktop.click(tx + tw // 2, ty + th // 2, repeat=2)
        self.require("back-from-late-tray", self.soon(
            "the window back from the tray", lambda: self.window in self.app_windows(), 15))
        self.origin = self.desktop.geometry(self.window)[:2]
        # The tray host ends while the window is in it: the window comes back
        # minimised, and no orphaned icon is left on the screen.
        self.hide_by_prompt()
        self.require("hidden-before-tray-ends", self.gone_as("withdrawn"))
        self.desktop.stop_tray()
        findable = self.gone_as("iconic")
        self.photo("tray-ended")
        self.expect("tray-ended-window-minimised", findable,
                    str(self.desktop.wm_state(self.window)))
        self.expect("tray-ended-no-stray-icon", not self.soon(
            "a stray icon", self.stray_icons, 5), str(self.stray_icons()))
        self.came_forward("second-start-after-tray-ended")


    # -- the keyboard: Tab through the page ----------------------------------

    def ring_at(self, rect, picture=None):
        """The focus ring in the accent on all four sides of rect (window
        coordinates), two pixels deep: a pixel clear of it, or on its edge
        where its parent leaves no room (or the control draws its own)."""
        picture = picture or self.window_picture()
        x, y, w, h = rect
        cx, cy = x + w // 2, y + h // 2
        sides = [([(cx, y - 3), (cx, y - 2)], [(cx, y), (cx, y + 1)]),
                 ([(cx, y + h + 2)], [(cx, y + h - 1)]),
                 ([(x - 3, cy), (x - 2, cy)], [(x, cy), (x + 1, cy)]),
                 ([(x + w + 2, cy)], [(x + w - 1, cy)])]
        return all(any(all(self.near(picture.pixel(*p), self.zw.ACCENT, 12) for p in at)
                       for at in side) for side in sides)

    def card_rect(self, index):
        return self.zw.card_origin(index) + self.zw.CARD_SIZE

    def no_ring(self):
        """No focus ring on any card or title button: what a mouse user sees."""
        picture = self.window_picture()
        close = (self.zw.CLOSE[0] - 9, self.zw.CLOSE[1] - 9, 18, 18)
        return not any(self.ring_at(r, picture)
                       for r in [self.card_rect(i) for i in range(len(self.cards()))] + [close])

    def ringed_card(self):
        """The index of the card with the focus ring, or None."""
        picture = self.window_picture()
        return next((i for i in range(len(self.cards()))
                     if self.ring_at(self.card_rect(i), picture)), None)

    def tab_to(self, what, ringed, back=False):
        """Tab (Shift+Tab: back) until ringed(), as one looks for the ring
        without a mouse: after each press, once the window has redrawn the
        focus and holds still (or a second has gone), it looks again."""
        for _ in range(20):
            before = self.window_picture().rgb
            self.desktop.key("shift+Tab" if back else "Tab")
            seen = [before]

            def settled():
                now = self.window_picture().rgb
                still = now == seen[-1] and now != before
                seen.append(now)
                return still
            self.soon("the focus to move on from a Tab", settled, 3)
            if ringed():
                return
        raise Failure("Tab never brings the ring to %s" % what)

    @flow
    def tab_through_page(self):
        zw = self.zw
        empty = (zw.PAGE_LEFT + 400, zw.CONTENT_TOP + 400)  # below the cards
        self.check_only()  # nothing checked: 转码 and 删除 inactive
        self.click(empty)
        self.require("keyboard-no-ring-for-the-mouse", self.soon(
            "the page without a ring", self.no_ring, 15))
        self.photo("keyboard-before")
        self.desktop.key("Tab", "Home")  # into the grid, at its first card
        self.require("keyboard-tab-rings-first-card", self.soon(
            "the ring on the first card", lambda: self.ring_at(self.card_rect(0)), 15))
        self.photo("keyboard-tab")
        self.desktop.key("Right")
        self.expect("keyboard-arrow-moves-ring", self.soon(
            "the ring on the second card", lambda: self.ring_at(self.card_rect(1))
            and not self.ring_at(self.card_rect(0)), 15))
        self.desktop.key("space")
        checked = self.soon("Space to check the card", lambda: (
            lambda c: len(c) > 1 and c[1].checked)(self.cards()), 15)
        self.photo("keyboard-space-checked")
        self.expect("keyboard-space-checks-card", checked, self.summary())
        self.desktop.key("space")
        self.expect("keyboard-space-unchecks-card", self.soon("Space to uncheck the card", lambda: (
            lambda c: len(c) > 1 and not c[1].checked)(self.cards()), 15), self.summary())
        # The grid is one stop: Tab leaves it for 全选 (删除 is inactive).
        self.desktop.key("Tab")
        self.expect("keyboard-tab-leaves-grid", self.soon("the ring on 全选", lambda: self.ring_at(
            (zw.CHECK_ALL[0] - 9, zw.CHECK_ALL[1] - 9, 50, 18)), 15))
        self.desktop.key("shift+Tab", "shift+Tab")
        close = (zw.CLOSE[0] - 9, zw.CLOSE[1] - 9, 18, 18)
        self.expect("keyboard-backtab-reaches-close", self.soon(
            "the ring on the close button", lambda: self.ring_at(close), 15))
        self.photo("keyboard-backtab-close")
        # On back over minimise and the address box, past the inactive 转码, to the left menu.
        self.desktop.key("shift+Tab", "shift+Tab")
        self.expect("keyboard-backtab-reaches-address", self.soon(
            "the ring on the address box", lambda: self.ring_at(zw.ADDRESS_BOX), 15))
        self.desktop.key("shift+Tab", "shift+Tab")
        self.expect("keyboard-backtab-reaches-menu", self.soon(
            "the ring on 设置", lambda: self.ring_at((0, 147, 160, 48)), 15))
        self.photo("keyboard-backtab-menu")
        # Space on 转码 (painted by the menu itself) opens the conversion view,
        # and Tab goes on over the title band to the first task row.
        self.desktop.key("shift+Tab")
        self.expect("keyboard-backtab-reaches-convert-entry", self.soon(
            "the ring on 转码", lambda: self.ring_at((0, 99, 160, 48)), 15))
        self.desktop.key("space")
        self.expect("keyboard-space-chooses-convert-view", self.soon(
            "the menu to mark 转码", lambda: self.near(
                self.at(1, zw.MENU_CONVERT[1]), zw.ACCENT, 12), 15))
        if self.rows():
            self.desktop.key("Tab", "Tab", "Tab", "Tab", "Tab")
            row = (zw.PAGE_LEFT, zw.CONTENT_TOP, zw.PAGE[0] - 4, zw.ROW_HEIGHT)
            self.expect("keyboard-tab-reaches-task-row", self.soon(
                "the ring on the first task row", lambda: self.ring_at(row), 15))
        self.photo("keyboard-convert-view")
        self.view(zw.MENU_LIBRARY)
        self.click(empty)
        self.expect("keyboard-mouse-drops-ring", self.soon(
            "the ring gone after a click", self.no_ring, 15))
        self.photo("keyboard-after-click")

    # -- the queue across 完全退出 and a restart ------------------------------

    def task_rows(self):
        """The rows, a running one told from a waiting one by its bar's fill."""
        zw, picture = self.zw, self.window_picture()
        found = []
        for i, row in enumerate(self.reader.rows(picture)):
            bar = picture.crop(zw.PAGE_LEFT + 453, zw.CONTENT_TOP + zw.ROW_HEIGHT * i + 26, 6, 6)
            if row == "running":
                row = "converting" if bar.share(zw.ACCENT, 30) > 0.5 else "waiting"
            found.append(row)
        return found

    def quit_app(self, check):
        """完全退出 without the mouse: Tab to close, Space, Shift+Tab from the default."""
        zw = self.zw
        self.tab_to("close", lambda: self.ring_at((zw.CLOSE[0] - 9, zw.CLOSE[1] - 9, 18, 18)))
        self.desktop.key("space")
        x, y, _, _ = self.desktop.geometry(self.prompt("退出提示"))
        self.desktop.key("shift+Tab")
        self.require("exit-prompt-tab-to-quit", self.soon("the ring on 完全退出", lambda: self.ring_at(
            (x - self.origin[0] + 242, y - self.origin[1] + 252, 90, 30)), 15))
        self.desktop.key("Return")
        try:
            code = self.app.wait(30)
        except subprocess.TimeoutExpired:
            code = None
        self.require(check, code == 0, "exit code %s" % code)
        self.desktop.forget(self.app)

    @flow
    def queue_survives_quit(self):
        """Two conversions wait behind the slow one at 完全退出: after the
        restart all three are back, the slow one converting again from the
        start and the others waiting, on the cards and in the list; they finish."""
        zw = self.zw
        self.drop(["e.mov"], at=(500, 500))
        self.cards_when("e.mov's card", lambda c: self.card("e.mov", "plain", c))
        self.start_slow()
        self.check_only("c.mp4", "e.mov")
        self.click(zw.CONVERT)

        def queued(cards):
            return (sorted(x.clip for x in cards if x.badge == "waiting") == ["c.mp4", "e.mov"]
                    and self.card(SLOW, "converting", cards))
        self.cards_when("two cards waiting behind the slow one", queued)
        self.photo("queue-before-quit")
        self.view(zw.MENU_CONVERT)
        rows = self.must("the queue in the conversion view", lambda: (
            lambda r: r if r[:3] == ["converting", "waiting", "waiting"] else None)(
            self.task_rows()))
        self.photo("queue-rows-before-quit")
        self.quit_app("queue-quit")

        self.start_app("zorvex-3")
        back = self.soon("the queue's cards after the restart", lambda: (
            lambda c: c if queued(c) else None)(self.cards()), 30)
        self.photo("queue-cards-restarted")
        self.require("queue-cards-restarted", back, self.summary())
        self.view(zw.MENU_CONVERT)
        again = self.soon("the queue's rows after the restart",
                          lambda: self.task_rows() == rows, 30)
        self.photo("queue-rows-restarted")
        self.require("queue-rows-restarted", again,
                     "before %s, after %s" % (rows, self.task_rows()))
        partial = [n for n in os.listdir(self.converted) if n.startswith("." + SLOW)]
        self.expect("queue-one-partial", len(partial) <= 1, str(partial))
        # The slow one goes (the cancel of a running task); the others finish.
        self.click(zw.row_cancel(0))
        self.view(zw.MENU_LIBRARY)
        done = self.soon("the waiting conversions finished", lambda: {"c.mp4", "e.mov"} <= {
            x.clip for x in self.cards() if x.badge == "converted"}, 90)
        self.photo("queue-finished")
        self.require("queue-finished", done, self.summary())
        outputs = sorted(n for n in os.listdir(self.converted) if not n.startswith("."))
        self.expect("queue-outputs-once", {"c.mp4", "e.mp4"} <= set(outputs) and not any(
            "(" in n for n in outputs), str(outputs))


    # -- failures that say why, tooltips, the download-finished box ---------

    @staticmethod
    def ink_lines(picture, dark=120):
        """The lines of dark text in a picture, top down: (top, bottom, left,
        right); a line ends at a pixel row without ink."""
        rows = []
        for y in range(picture.height):
            xs = [x for x in range(picture.width) if sum(picture.pixel(x, y)) < 3 * dark]
            rows.append((min(xs), max(xs)) if xs else None)
        lines = []
        for y, row in enumerate(rows):
            if row is None:
                continue
            if lines and y - lines[-1][1] == 1:
                top, _, left, right = lines[-1]
                lines[-1] = (top, y, min(left, row[0]), max(right, row[1]))
            else:
                lines.append((y, y, row[0], row[1]))
        return lines

    def tooltip(self, at):
        """The tooltip the application shows while the mouse rests at the
        window point: a small window of its own near the pointer, or None."""
        x, y = self.origin[0] + at[0], self.origin[1] + at[1]
        before = set(self.app_windows())
        self.desktop.move_mouse(x - 30, y - 6)
        self.desktop.move_mouse(x, y)

        def shown():
            for w, (wx, wy, width, height) in self.app_windows().items():
                if w not in before and w != self.window and width < 700 and height < 120 \
                        and abs(wy - y) < 80 and wx - 400 < x < wx + width + 400:
                    return w
            return None
        return self.soon("a tooltip at %s" % (at,), shown, 10)

    def tooltip_lines(self, tip):
        if not tip:
            return []
        x, y, w, h = self.desktop.geometry(tip)
        return self.ink_lines(self.desktop.grab(x + 1, y + 1, w - 2, h - 2))

    def clipboard(self):
        """The desktop's clipboard as text, asked for as a paste would."""
        from Xlib import X, display
        d = display.Display(self.desktop.display_name)
        try:
            w = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
            prop = d.intern_atom("SUITE_PASTE")
            w.convert_selection(d.intern_atom("CLIPBOARD"), d.intern_atom("UTF8_STRING"), prop,
                                X.CurrentTime)
            d.flush()
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline:
                while d.pending_events():
                    event = d.next_event()
                    if event.type == X.SelectionNotify:
                        value = w.get_full_property(prop, X.AnyPropertyType)
                        return value.value.decode("utf-8", "replace") if value else ""
                time.sleep(0.05)
            return None
        finally:
            d.close()

    @flow
    def card_tooltip(self):
        """Resting on a card shows its whole name and what it holds."""
        self.view(self.zw.MENU_LIBRARY)
        card = self.cards_when("a plain card", lambda c: any(x.badge == "plain" for x in c), 15)
        card = next(c for c in card if c.badge == "plain")
        tip = self.tooltip(self.zw.card_centre(card.index))
        self.photo("card-tooltip")
        lines = self.tooltip_lines(tip)
        self.expect("card-tooltip", tip and len(lines) == 2 and lines[1][3] - lines[1][2] > 150,
                    "%s: lines %s" % (card, lines))
        self.desktop.move_mouse(self.origin[0] + 500, self.origin[1] + 600)

    @flow
    def broken_file(self):
        """A dropped file that is no video leaves, and a toast names it."""
        name = "broken-recording-from-the-phone.mp4"
        with open(os.path.join(self.media, name), "w") as f:
            f.write("no video in here\n")
        count = len(self.cards())
        self.drop([name])
        toast = self.must("a toast", lambda: (self.toasts() or [None])[0], 30)

        def text_width():
            x, y, w, h = self.desktop.geometry(toast)
            panel = self.desktop.grab(x + 4, y + 20, w - 8, h - 40)
            base = sorted(sum(panel.pixel(i, j)) for i in range(0, panel.width, 4)
                          for j in range(0, panel.height, 4))[panel.width * panel.height // 32]
            columns = [i for i in range(panel.width)
                       if any(sum(panel.pixel(i, j)) > base + 150 for j in range(panel.height))]
            return columns[-1] - columns[0] if columns else 0
        # A documented toast's text is at most 240 pixels; the name makes it
        # longer. Each is looked for while the toast lasts, as a loaded
        # desktop may draw it late.
        seen = {"drawn": False, "width": 0}

        def looked():
            try:
                seen["drawn"] = seen["drawn"] or self.toast_drawn(toast)
                seen["width"] = max(seen["width"], text_width())
            except RuntimeError:  # gone
                return None
            return seen["drawn"] and seen["width"] > 250
        self.soon("the toast drawn, naming the file", looked, 10)
        self.photo("broken-file-toast")
        self.expect("broken-file-toast-drawn", seen["drawn"])
        self.expect("broken-file-named", seen["width"] > 250, "text %d px wide" % seen["width"])
        self.expect("broken-file-card-gone", self.soon(
            "the card gone", lambda: len(self.cards()) == count, 15), self.summary())
        self.soon("no toast", lambda: not self.toasts(), 10)

    def failed_row(self):
        """1 + the index of the first row saying 任务失败, or None."""
        zw = self.zw
        picture = self.window_picture()
        for i in range(6):
            # Below the orange 转码完成 icon, whose colour is near.
            status = picture.crop(zw.PAGE_LEFT + 451, zw.CONTENT_TOP + zw.ROW_HEIGHT * i + 42,
                                  48, 9)
            if status.share(FAILED_RED, 40) > 0.02:
                return i + 1
        return None

    @flow
    def failed_conversion(self):
        """Without the mouse: 添加 adds a clip, the grid checks it, 转码
        converts it, the conversion fails and says why over 任务失败 (the
        mouse rests there to read it), and Enter on the row converts it again."""
        zw = self.zw
        open(os.path.join(self.work, "fail-next"), "w").close()
        self.desktop.xdotool("windowactivate", "--sync", self.window, check=False)
        self.tab_to("添加", lambda: self.ring_at((zw.ADD[0] - 32, zw.ADD[1] - 15, 64, 30)))
        self.desktop.key("space")
        self.soon("the add dialog drawn", lambda: self.drawn(
            self.desktop.wait_window("请选择需要转换文件")))
        self.desktop.type_text(os.path.join(self.media, "fail-e.mp4"))
        self.desktop.key("Return")
        self.cards_when("the fail-e.mp4 card", lambda c: self.card("fail-e.mp4", "plain", c), 30)
        self.tab_to("the grid", lambda: self.ringed_card() is not None)
        self.desktop.key("End", "space")  # the added card is the last
        self.cards_when("fail-e.mp4 alone checked", lambda c: [
            x.clip for x in c if x.checked] == ["fail-e.mp4"], 10)
        self.tab_to("转码", lambda: self.ring_at((zw.CONVERT[0] - 32, 10, 64, 30)), back=True)
        self.desktop.key("space")
        self.tab_to("the menu's 转码", lambda: self.ring_at((0, 99, 160, 48)), back=True)
        self.desktop.key("space")
        row = self.must("a row saying 任务失败", self.failed_row, 60) - 1
        status = (zw.PAGE_LEFT + 451 + 24, zw.CONTENT_TOP + zw.ROW_HEIGHT * row + 37 + 7)
        tip = self.tooltip(status)
        self.photo("failed-row-tooltip")
        lines = self.tooltip_lines(tip)
        # FFmpeg's error line, then 点击重新转码.
        self.expect("failed-row-tooltip", tip and len(lines) == 2
                    and lines[0][3] - lines[0][2] > 250, "lines %s" % (lines,))
        self.desktop.move_mouse(self.origin[0] + zw.WINDOW[0] + 40, self.origin[1] + 40)
        row = self.failed_row() - 1
        self.tab_to("the failed row", lambda: self.ring_at(
            (zw.PAGE_LEFT, zw.CONTENT_TOP + zw.ROW_HEIGHT * row, zw.PAGE[0] - 4, zw.ROW_HEIGHT)))
        before = self.rows()
        self.desktop.key("Return")
        done = self.soon("the task converted again", lambda: not self.failed_row()
                         and self.rows() == ["done"] * len(before), 60)
        self.photo("failed-row-retried")
        self.expect("failed-row-retried", done, "rows %s, before %s" % (self.rows(), before))
        self.tab_to("the menu's 飞屏", lambda: self.ring_at((0, 51, 160, 48)), back=True)
        self.desktop.key("space")
        self.expect("failed-row-retried-card", self.soon(
            "the converted card", lambda: self.card("fail-e.mp4", "converted"), 15),
            self.summary())

    @flow
    def unwritable_folder(self):
        """A save folder no file can be made in (/sys, even for root) is refused
        with a toast; the bar keeps showing where conversions go."""
        zw = self.zw
        self.view(zw.MENU_CONVERT)
        config = os.path.join(self.home, "config.ini")
        stored = open(config).read()
        bar = (zw.PAGE_LEFT + 63, zw.WINDOW[1] - 32, 298, 20)
        shown = self.window_picture().crop(*bar)
        self.click(zw.MODIFY_PATH)
        chooser = self.desktop.wait_window("请选择保存路径")
        self.soon("the folder chooser drawn", lambda: self.drawn(chooser))
        self.desktop.type_text("/sys")
        # A first Return may only take the completer's choice.
        for _ in range(3):
            self.desktop.key("Return")
            if self.soon("the chooser closed", lambda: not self.desktop.windows("请选择保存路径"), 3):
                break
        else:
            self.snapshot("chooser-stays")
            raise Failure("the folder chooser does not take /sys")
        toast = self.soon("a toast", lambda: (self.toasts() or [None])[0], 10)
        self.photo("unwritable-folder")
        self.expect("unwritable-folder-refused", toast and open(config).read() == stored,
                    "toast %s" % toast)
        self.expect("unwritable-folder-bar-kept",
                    self.window_picture().crop(*bar).difference(shown) < 1)
        self.soon("no toast", lambda: not self.toasts(), 10)

    @flow
    def lost_and_back(self):
        """A video whose file is away at the start is lost; once the file is
        back its card is plain again, thumbnail and all."""
        clip = os.path.join(self.media, "c.mp4")
        os.rename(clip, clip + ".away")
        self.start_app("zorvex-4")
        lost = self.soon("c.mp4 lost", lambda: self.card("c.mp4", "plain") is None and any(
            c.clip == "unknown" for c in self.cards()), 20)
        self.photo("card-lost")
        self.expect("card-lost", lost, self.summary())
        os.rename(clip + ".away", clip)
        back = self.soon("c.mp4 back", lambda: self.card("c.mp4", "plain"), 15)
        self.photo("card-back")
        self.expect("card-back", back, self.summary())
        self.app.terminate()
        self.require("terminated-again", self.app.wait(30) == 0)
        self.desktop.forget(self.app)

    @flow
    def download_finished_box(self):
        """An installer that no program opens: the box says where it is,
        whole, and the path can be copied."""
        zw, server = self.zw, self.server
        self.view(zw.MENU_SETTINGS)
        server.whole = True
        server.answer = json.dumps({"code": 1, "data": [{
            "version_name": "99.0.1", "version_code": "991",
            "download_url": "http://127.0.0.1:%d/Setup.exe" % server.port}]})
        installer = os.path.join(self.home, "appData", "download", "Zorvex助手99.0.1.exe")
        before = set(self.app_windows())
        self.check_for_updates()

        def box():
            for w, (_, _, width, height) in self.app_windows().items():
                if w not in before and w != self.window and 90 <= height <= 280 \
                        and width >= 200 and not (440 <= width <= 480 and 290 <= height <= 330):
                    return w
            return None
        found = self.must("the download-finished box", box, 60)
        self.soon("the box drawn", lambda: self.drawn(found), 10)
        self.photo("download-finished-box")
        x, y, w, h = self.desktop.geometry(found)
        # Right of the box's icon, above its button.
        lines = [(top, bottom, left + 56, right + 56) for top, bottom, left, right in
                 self.ink_lines(self.desktop.grab(x + 56, y, w - 56, h - 45))]
        # The path wraps below the message's two lines. The box lies on the
        # screen, every line ends well inside it, and the path's lines hold
        # ink for every character of it (5 pixels a character at least).
        ink = sum(right - left for _, _, left, right in lines[2:])
        whole = (x >= 0 and y >= 0 and x + w <= 1280 and y + h <= 800 and len(lines) >= 4
                 and all(right < w - 10 for _, _, _, right in lines)
                 and ink >= 5 * len(installer))
        self.expect("download-finished-box-whole", self.drawn(found) and whole,
                    "%dx%d at %d,%d, %d characters, %d pixels of ink, lines %s"
                    % (w, h, x, y, len(installer), ink, lines))
        self.expect("download-finished-file", os.path.exists(installer))
        # Selected and copied as text is anywhere else.
        top, bottom, left, _ = lines[-1] if lines else (h // 2, h // 2, 20, 0)
        self.desktop.click(x + left + 4, y + (top + bottom) // 2)
        self.desktop.key("ctrl+a")
        self.desktop.key("ctrl+c")
        # Exactly the path: nothing the wrapping needs slips into the copy.
        copied = self.soon("the path on the clipboard",
                           lambda: (self.clipboard() or "").split("\n")[-1] == installer, 15)
        self.expect("download-finished-path-copied", copied, repr(self.clipboard()))
        self.desktop.key("Escape")
        if not self.soon("the box closed", lambda: found not in self.app_windows(), 5):
            self.desktop.key("Return")
        self.require("download-finished-survived", self.app.poll() is None)
        self.view(zw.MENU_LIBRARY)


def make_clips(folder):
    """The clips, in a folder below folder named for the FFmpeg and the
    clips' arguments, made once: the suites of a build folder share them (the
    40 s one takes a while), one making them while the other waits on its
    lock. Made under a temporary name and renamed, so that a suite killed
    midway leaves none half made; that folder's path."""
    ffmpeg = shutil.which("ffmpeg")
    commands = {name: ["-f", "lavfi", "-i",
                       "color=c=0x%02x%02x%02x:s=320x180:r=24:d=%d" % (*colour, seconds),
                       "-f", "lavfi", "-i", "sine=frequency=440:duration=%d" % seconds,
                       "-shortest", "-c:v", "libx264", "-preset", "ultrafast",
                       "-pix_fmt", "yuv420p", "-c:a", "aac"]
                for name, (colour, seconds) in CLIPS.items()}
    version = subprocess.run([ffmpeg, "-version"], capture_output=True, text=True).stdout
    key = hashlib.md5(repr((version.split("\n")[0], commands)).encode()).hexdigest()[:16]
    made = os.path.join(folder, key)
    if os.path.isdir(made):
        return made
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.isdir(made):
            return made
        partial = tempfile.mkdtemp(prefix=".partial-", dir=folder)
        for name, arguments in commands.items():
            subprocess.run([ffmpeg, "-v", "error", "-y", *arguments,
                            os.path.join(partial, name)], check=True)
        os.rename(partial, made)
    return made


def side_by_side(args):
    """Every shard at once, each a run of this script of its own, its lines
    marked with its name; the shots of a shard go below its name. 0 when
    every shard passed, 77 when all skipped, 1 otherwise."""
    import threading
    from xsession import die_with_parent
    shutil.rmtree(args.shots, ignore_errors=True)
    clips = make_clips(args.clip_cache or os.path.join(args.shots, "clips"))
    children = {}
    for shard in SHARDS:
        argv = [sys.executable, os.path.abspath(__file__), "--mode", args.mode,
                "--zorvex", args.zorvex, "--phone", args.phone, "--skin", args.skin,
                "--shots", os.path.join(args.shots, shard), "--shard", shard, "--clips", clips]
        children[shard] = subprocess.Popen(argv + (["--keep-shots"] if args.keep_shots else []),
                                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                           text=True, preexec_fn=die_with_parent)
    lock = threading.Lock()

    def relay(shard, child):
        for line in child.stdout:
            with lock:
                print("%-8s %s" % (shard, line), end="", flush=True)
    relays = [threading.Thread(target=relay, args=item) for item in children.items()]
    for relay_thread in relays:
        relay_thread.start()
    for relay_thread in relays:
        relay_thread.join()
    codes = {shard: child.wait() for shard, child in children.items()}
    print("%s desktop, shards side by side: %s" % (
        args.mode, ", ".join("%s %s" % (shard, {0: "passed", SKIP: "skipped"}.get(code, "FAILED"))
                             for shard, code in codes.items())))
    if all(code == SKIP for code in codes.values()):
        return SKIP
    if any(code not in (0, SKIP) for code in codes.values()):
        return 1
    if not args.keep_shots:
        shutil.rmtree(args.shots, ignore_errors=True)
    return 0


def lan_ports_free(address):
    for port in LAN_PORTS:
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            try:
                s.bind((address, port))
            except OSError:
                return False
    return True


def own_address():
    """A loopback address of this run's own, from the process id, among those
    where nothing holds the LAN ports; the whole of 127/8 is local on Linux."""
    start = os.getpid() % 60000
    for n in range(start, start + 60000):
        n = n % 60000 + 1
        address = "127.%d.%d.1" % (n // 250 + 10, n % 250 + 2)
        if lan_ports_free(address):
            return address
    raise Failure("no loopback address with free LAN ports")


def missing_tools():
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    try:
        import Xlib  # noqa: F401
    except ImportError:
        missing.append("python3-xlib")
    for module, package in (("dbus", "python3-dbus"), ("gi", "python3-gi")):
        try:
            __import__(module)
        except ImportError:
            missing.append(package)
    return missing


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=("plain", "composited"), required=True)
    parser.add_argument("--zorvex", required=True)
    parser.add_argument("--phone", required=True)
    parser.add_argument("--skin", required=True)
    parser.add_argument("--shots", required=True)
    parser.add_argument("--keep-shots", action="store_true", help="photograph every step and keep the pictures of a pass")
    parser.add_argument("--shard", choices=sorted(SHARDS),
                        help="run one group of flows alone (all of them, side by side, without)")
    parser.add_argument("--clips", help="a folder of the clips made already")
    parser.add_argument("--clip-cache", help="where the clips are kept from run to run")
    args = parser.parse_args()
    if sorted(name for names in SHARDS.values() for name in names) != sorted(FLOWS):
        parser.error("SHARDS must hold every flow once")
    if not shutil.which("Xvfb"):
        print("desktop suite skipped: no Xvfb to run on (scripts/install-deps installs it)")
        return SKIP
    if missing_tools():
        print("desktop suite: missing %s (scripts/install-deps installs them)"
              % ", ".join(missing_tools()))
        return 1
    if not args.shard:
        return side_by_side(args)
    from xsession import Timeout
    global ADDRESS
    ADDRESS = own_address()
    print("desktop suite, %s desktop, %s flows, service on %s" % (args.mode, args.shard, ADDRESS),
          flush=True)
    suite = Suite(args)
    crashed = None
    try:
        suite.run()
    except Exception as error:  # a failed requirement, or the suite's own fault
        crashed = error
        suite.say("FAILED", str(error))
        if not isinstance(error, (Failure, Timeout)):
            traceback.print_exc()
    count = {s: sum(1 for r in suite.results if r[0] == s)
             for s in ("PASS", "FAIL", "XFAIL", "XPASS")}
    failed = count["FAIL"] + count["XPASS"] + (1 if crashed else 0)
    print("%s desktop: %d passed, %d failed, %d expected failures (%d now passing) in %.0fs" % (
        args.mode, count["PASS"], failed, count["XFAIL"] + count["XPASS"], count["XPASS"],
        time.monotonic() - suite.started))
    for status, name, _ in suite.results:
        if status == "XPASS":
            print("  %s passes now: take it off PENDING in %s" % (name, os.path.abspath(__file__)))
    if failed:
        print("desktop suite: the pictures, the home and the logs are in %s" % suite.shots)
        return 1
    if not args.keep_shots:
        shutil.rmtree(suite.shots, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
