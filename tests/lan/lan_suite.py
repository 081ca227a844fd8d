#!/usr/bin/env python3
"""The LAN suite: the real zorvex --headless on networks of its own, found by
phones as they find it at home.

  lan_suite.py --zorvex BIN [--shard GROUP | --side-by-side] [--only NAME]... [--repeat N]
               [--broadcast MODE] [--keep] [--shots DIR]

Every situation builds fresh network namespaces: one for the PC, one per
phone, joined by veth pairs created inside them, never in the machine's own
namespace and with no route out. The service runs in the PC's namespace
without --address, so it picks its networks as on a user's machine; each
phone (phone.py) listens for the broadcast, asks for both lists and fetches
the start of the shared clip over HTTP. Prints how long each situation took
from its setup (or its change) until the phone was done.

Each situation runs twice: with every address set with a broadcast
attribute ("brd +"), and again ("NAME/no-brd") with none, as hand set-ups,
scripts and some containers leave them; --broadcast with|without runs one.

The situation "window" runs the real window instead, on an X desktop of its
own (Xvfb and openbox, as the desktop suite's), and uses its address menu as
a person does while the networks change under it. It photographs each step
into its work folder, kept when it fails, or into DIR/window-N with --shots.
Without Xvfb, openbox, xdotool or python3-xlib it is skipped, with the reason.

Needs root and network namespaces; without them it says why and exits 77
(skipped)."""

import argparse
import ctypes
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

# Situations whose behaviour is still being built: a failure is reported as
# XFAIL, a pass as XPASS, which fails the run so that the mark goes.
KNOWN_FAILING = set()

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
PHONE = os.path.join(HERE, "phone.py")
PREFIX = "zlan"
# Generous bounds: a packet goes out every second and changes are followed
# within seconds; these only end a run that will not succeed.
FIND_BOUND = 15
RETRY_BOUND = 25
SILENCE = 4
SERVICE_PORTS = (11717, 11718)  # HTTP, link
PR_SET_PDEATHSIG = 1
# The service's hex dumps of packets and frames: left out of failure reports.
DUMP = re.compile(r"^([0-9A-F]{2}( +[0-9A-F]{2})*|\.\.\. \d+ bytes|\S+:)$")


class Failure(AssertionError):
    pass


class Skip(Exception):
    """The situation cannot run here; the reason says why."""


LIBC = ctypes.CDLL(None, use_errno=True)


def die_with_parent():
    # Whatever the suite starts ends with it, even when the suite is killed.
    LIBC.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def run(*argv):
    done = subprocess.run(argv, capture_output=True, text=True)
    if done.returncode:
        raise Failure("%s: %s" % (" ".join(argv), done.stderr.strip()))
    return done.stdout


class Lab:
    """One situation's namespaces and the processes started in them."""

    def __init__(self, tag, brd=True):
        self.tag = tag
        self.brd = brd
        self.namespaces = []
        self.processes = []

    def namespace(self, role):
        name = "%s-%s" % (self.tag, role)
        run("ip", "netns", "add", name)
        self.namespaces.append(name)
        run("ip", "-n", name, "link", "set", "lo", "up")
        return name

    def ip(self, namespace, *argv):
        return run("ip", "-n", namespace, *argv)

    def address(self, namespace, address, device):
        """ADDRESS/PREFIX on DEVICE, with a broadcast attribute in this lab's mode."""
        self.ip(namespace, "addr", "add", address, *(("brd", "+") if self.brd else ()),
                "dev", device)

    def link(self, pc, device, phone, pc_address=None, phone_address=None, phone_up=True):
        """A veth pair: DEVICE in the PC's namespace, p0 in the phone's."""
        self.ip(pc, "link", "add", device, "type", "veth", "peer", "name", "p0", "netns", phone)
        if pc_address:
            self.address(pc, pc_address, device)
        if phone_address:
            self.address(phone, phone_address, "p0")
        self.ip(pc, "link", "set", device, "up")
        if phone_up:
            self.ip(phone, "link", "set", "p0", "up")

    def spawn(self, namespace, argv, **options):
        process = subprocess.Popen(["ip", "netns", "exec", namespace] + argv,
                                   preexec_fn=die_with_parent, **options)
        self.processes.append(process)
        return process

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
            process.wait()
        for name in self.namespaces:
            # Only what this run started lives in its namespaces.
            pids = subprocess.run(["ip", "netns", "pids", name], capture_output=True,
                                  text=True).stdout.split()
            for pid in pids:
                try:
                    os.kill(int(pid), signal.SIGKILL)
                except (ProcessLookupError, ValueError):
                    pass
            subprocess.run(["ip", "netns", "del", name], capture_output=True)
        self.namespaces = []


class Service:
    """zorvex in the PC's namespace (--headless unless told otherwise), its
    output kept with times."""

    def __init__(self, lab, namespace, binary, home, *options, display=None, before=()):
        env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=os.path.join(home, "run"),
                   XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_DATA_HOME=os.path.join(home, "data"))
        for variable in ("DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY", "QT_SCALE_FACTOR",
                         "QT_SCREEN_SCALE_FACTORS"):
            env.pop(variable, None)
        if display:
            env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb")
            # A sanitizer build's leak report leaves out what the window's
            # libraries keep to the end, as in the desktop suite.
            supp = os.path.join(HERE, "..", "desktop", "lsan.supp")
            env["LSAN_OPTIONS"] = ":".join(filter(None, ["suppressions=" + os.path.abspath(supp),
                                                          os.environ.get("LSAN_OPTIONS")]))
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.lines = []  # (time, text)
        self.lock = threading.Lock()
        self.process = lab.spawn(namespace, list(before) + [binary, "--home", home] + list(options),
                                 env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        for raw in self.process.stdout:
            with self.lock:
                self.lines.append((time.monotonic(), raw.decode("utf-8", "replace").rstrip()))

    def timed(self, since=0.0, until=float("inf")):
        with self.lock:
            return [(moment, text) for moment, text in self.lines if since <= moment <= until]

    def output(self, since=0.0, until=float("inf")):
        return [text for _, text in self.timed(since, until)]

    def wait_line(self, what, pattern, timeout=FIND_BOUND):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = [t for t in self.output() if re.search(pattern, t)]
            if found:
                return found[0]
            if self.process.poll() is not None:
                break
            time.sleep(0.1)
        raise Failure("no line like %r (%s) within %ds%s" % (pattern, what, timeout, self.tail()))

    def tail(self, count=8):
        lines = [t for t in self.output() if not DUMP.match(t)][-count:]
        state = self.process.poll()
        head = "; zorvex exited with %s" % state if state is not None else ""
        return "%s; its last lines:\n      %s" % (head, "\n      ".join(lines) or "(none)")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        try:
            code = self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = "killed: no exit within 30 s of SIGTERM"
        self.reader.join(5)
        return code


class Phone:
    """phone.py in a phone's namespace; listening once constructed."""

    def __init__(self, lab, namespace, own, *options):
        self.namespace = namespace
        self.process = lab.spawn(namespace, [sys.executable, PHONE, "--own", own] + list(options),
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = self.process.stdout.readline().strip()
        if first != "listening":
            raise Failure("phone in %s did not start: %s %s" % (
                namespace, first, self.process.stderr.read().strip()))

    def report(self, bound):
        try:
            out, err = self.process.communicate(timeout=bound + 15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("phone in %s hung" % self.namespace)
        try:
            return json.loads(out.strip().splitlines()[-1])
        except (ValueError, IndexError):
            raise Failure("phone in %s said %r %r" % (self.namespace, out, err.strip()))


class Situation:
    """What a situation function gets: its lab, the service, phones, timing."""

    def __init__(self, suite, tag, shots, brd):
        self.suite = suite
        self.lab = Lab(tag, brd)
        self.work = os.path.join(suite.work, tag)
        self.home = os.path.join(self.work, "home")
        self.shots = shots
        os.makedirs(self.home)
        self.service = None
        self.desktop = None
        self.elapsed = None
        self.quiet_windows = []  # (since, until) when no phone talks to the service
        self.settings = {}

    def namespace(self, role):
        return self.lab.namespace(role)

    def configure(self):
        with open(os.path.join(self.home, "config.ini"), "w") as f:
            # No autostart entry, no keep-awake, no update check.
            f.write("[NormalSetting]\nBase-AutoRun=0\nBase-AutoUpdate=0\nExitWndType=1\n"
                    "ComSleep-UnSleep=0\nUpdateServer=127.0.0.1:9\n")
            for key, value in self.settings.items():
                f.write("%s=%s\n" % (key, value))
            f.write("[VideoSetting]\nConvertPath=%s\n" % os.path.join(self.home, "converted"))

    def start(self, pc, *shares, before=()):
        self.configure()
        self.service = Service(self.lab, pc, self.suite.args.zorvex, self.home, "--headless",
                               "--share", self.suite.clip, *shares, before=before)
        return time.monotonic()

    def phone(self, namespace, own, want, bound=FIND_BOUND, *options):
        return Phone(self.lab, namespace, own, "--clip", self.suite.clip, "--want", want,
                     "--timeout", str(bound), *options)

    def found(self, phone, since, bound=FIND_BOUND):
        """The seconds from `since` until the phone was done; a failure if it was not."""
        report = phone.report(bound)
        if not report.get("ok"):
            raise Failure("the phone in %s did not find the PC within %ds: %s%s" % (
                phone.namespace, bound, brief(report), self.service.tail()))
        names = sorted(e["name"] for e in report["lists"]["256"])
        self.suite.say("  phone %s: %s after %.2fs (heard at %.2fs, to %s), list 256 %s, "
                       "list 257 %d entries, HTTP %s" % (
                           phone.namespace.rsplit("-", 1)[1], report["address"],
                           report["done"] - since, report["heard"] - since, report["to"],
                           names, len(report["lists"]["257"]), report["http"]))
        return report["done"] - since

    def find(self, namespace, own, want):
        """A phone started now finds the PC at `want`."""
        phone = self.phone(namespace, own, want)
        return self.found(phone, time.monotonic())

    def silent(self, namespace, own, other):
        """A phone that must hear nothing, and reach no link port at `other`."""
        report = Phone(self.lab, namespace, own, "--silence", str(SILENCE),
                       "--refused", other).report(SILENCE)
        if report["announced"]:
            raise Failure("the phone in %s heard %s" % (namespace, report["announced"]))
        if report["connect"] == "connected":
            raise Failure("the phone in %s reached the link port at %s" % (namespace, other))

    def hold(self, seconds):
        """The situation lasts this long on purpose (a link down, a port held)."""
        time.sleep(seconds)

    def listeners(self, pc):
        """Local addresses of the TCP listeners on the LAN ports in the PC's namespace."""
        found = {}
        for line in run("ip", "netns", "exec", pc, "ss", "-ltnH").splitlines():
            local = line.split()[3]
            address, _, port = local.rpartition(":")
            address = address.split("%")[0]  # "addr%dev" when bound to its device too
            if int(port) in SERVICE_PORTS:
                found.setdefault(address, set()).add(int(port))
        return found

    def close(self):
        code = None
        if self.service:
            code = self.service.stop()
        if self.desktop:
            self.desktop.stop()
        self.lab.close()
        return code


def brief(report):
    keep = ("address", "to", "ignored", "errors", "http")
    told = {k: report[k] for k in keep if report.get(k)}
    return json.dumps(told, ensure_ascii=False) if told else "it heard no packet"


# -- the situations -------------------------------------------------------------
# Each builds its network, starts the service and leaves in s.elapsed the time
# until the phone was done; a Failure says what went wrong.

def one_net(s):
    pc, phone = s.namespace("pc"), s.namespace("phA")
    s.lab.link(pc, "e0", phone, "192.168.77.1/24", "192.168.77.20/24")
    waiting = s.phone(phone, "192.168.77.20/24", "192.168.77.1")
    s.elapsed = s.found(waiting, s.start(pc))


def slash16(s):
    # The phone accepts only packets sent to its network's broadcast address.
    pc, phone = s.namespace("pc"), s.namespace("phA")
    s.lab.link(pc, "e0", phone, "10.66.0.1/16", "10.66.5.9/16")
    waiting = s.phone(phone, "10.66.5.9/16", "10.66.0.1")
    s.elapsed = s.found(waiting, s.start(pc))


def two_adapters(s):
    pc, wired, wifi = s.namespace("pc"), s.namespace("phA"), s.namespace("phB")
    s.lab.link(pc, "e0", wired, "10.66.0.1/24", "10.66.0.20/24")
    s.lab.link(pc, "w0", wifi, "192.168.77.1/24", "192.168.77.20/24")
    phones = [s.phone(wired, "10.66.0.20/24", "10.66.0.1"),
              s.phone(wifi, "192.168.77.20/24", "192.168.77.1")]
    since = s.start(pc)
    s.elapsed = max([s.found(p, since) for p in phones])


def address_change(s):
    pc, phone = s.namespace("pc"), s.namespace("phA")
    s.lab.link(pc, "e0", phone, "10.66.0.1/24", "10.66.0.20/24")
    s.start(pc)
    s.find(phone, "10.66.0.20/24", "10.66.0.1")
    # A DHCP renewal that hands out another address.
    waiting = s.phone(phone, "10.66.0.20/24", "10.66.0.9")
    since = time.monotonic()
    s.lab.ip(pc, "addr", "del", "10.66.0.1/24", "dev", "e0")
    s.lab.address(pc, "10.66.0.9/24", "e0")
    s.elapsed = s.found(waiting, since)


def network_later(s):
    pc, phone = s.namespace("pc"), s.namespace("phA")
    s.lab.link(pc, "e0", phone, None, "10.66.0.20/24")
    begun = s.start(pc)
    s.service.wait_line("the clip shared", r"^shared [0-9a-f]{32} ")
    # Some cycles without any network before it comes.
    s.hold(3)
    waiting = s.phone(phone, "10.66.0.20/24", "10.66.0.1")
    since = time.monotonic()
    s.quiet_windows.append((begun, since))
    s.lab.address(pc, "10.66.0.1/24", "e0")
    s.elapsed = s.found(waiting, since)


def link_flap(s):
    pc, phone = s.namespace("pc"), s.namespace("phA")
    s.lab.link(pc, "e0", phone, "10.66.0.1/24", "10.66.0.20/24")
    s.start(pc)
    s.find(phone, "10.66.0.20/24", "10.66.0.1")
    down = time.monotonic()
    s.lab.ip(pc, "link", "set", "e0", "down")
    s.hold(5)
    waiting = s.phone(phone, "10.66.0.20/24", "10.66.0.1")
    since = time.monotonic()
    s.quiet_windows.append((down, since))
    s.lab.ip(pc, "link", "set", "e0", "up")
    s.elapsed = s.found(waiting, since)


def stale_default(s):
    pc, phone = s.namespace("pc"), s.namespace("phA")
    s.lab.link(pc, "e0", phone, "10.66.0.1/24", "10.66.0.20/24")
    s.settings["DefaultIP"] = "10.9.9.9"
    waiting = s.phone(phone, "10.66.0.20/24", "10.66.0.1")
    s.elapsed = s.found(waiting, s.start(pc))


def dead_adapter(s, pc):
    """d0, listed before the others: a static address, its peer down (no carrier)."""
    s.lab.link(pc, "d0", s.namespace("phD"), "10.55.0.1/24", "10.55.0.20/24", phone_up=False)


def no_carrier(s):
    pc = s.namespace("pc")
    dead_adapter(s, pc)
    phone = s.namespace("phB")
    s.lab.link(pc, "w0", phone, "192.168.77.1/24", "192.168.77.20/24")
    waiting = s.phone(phone, "192.168.77.20/24", "192.168.77.1")
    s.elapsed = s.found(waiting, s.start(pc))
    said = [t for t in s.service.output() if "serving 10.55.0.1" in t]
    if said:
        raise Failure("the adapter without carrier is served: %s" % said)
    if "10.55.0.1" in s.listeners(pc):
        raise Failure("listeners on the adapter without carrier: %s" % s.listeners(pc))


def link_local(s):
    pc, local, phone = s.namespace("pc"), s.namespace("phL"), s.namespace("phB")
    s.lab.link(pc, "l0", local, "169.254.7.1/16", "169.254.7.2/16")
    s.lab.link(pc, "w0", phone, "192.168.77.1/24", "192.168.77.20/24")
    waiting = s.phone(phone, "192.168.77.20/24", "192.168.77.1")
    s.elapsed = s.found(waiting, s.start(pc))
    s.silent(local, "169.254.7.2/16", "169.254.7.1")


def pinned(s):
    pc, wired, wifi = s.namespace("pc"), s.namespace("phA"), s.namespace("phB")
    s.lab.link(pc, "e0", wired, "10.66.0.1/24", "10.66.0.20/24")
    s.lab.link(pc, "w0", wifi, "192.168.77.1/24", "192.168.77.20/24")
    s.settings["PinnedIP"] = "192.168.77.1"
    waiting = s.phone(wifi, "192.168.77.20/24", "192.168.77.1")
    s.elapsed = s.found(waiting, s.start(pc))
    s.silent(wired, "10.66.0.20/24", "10.66.0.1")


TUN = """
import fcntl, os, struct, sys
fd = os.open("/dev/net/tun", os.O_RDWR)
# TUNSETIFF, IFF_TUN | IFF_NO_PI: a point-to-point device, up while this runs.
fcntl.ioctl(fd, 0x400454ca, struct.pack("16sH", b"t0", 0x0001 | 0x1000))
print("listening", flush=True)
sys.stdin.read()
"""


def listeners(s):
    pc = s.namespace("pc")
    dead_adapter(s, pc)
    # A VPN-like tunnel: point-to-point, with carrier while its holder runs.
    tunnel = s.lab.spawn(pc, [sys.executable, "-c", TUN], stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, text=True)
    if tunnel.stdout.readline().strip() != "listening":
        raise Failure("no tun device in the PC's namespace")
    s.lab.ip(pc, "addr", "add", "10.88.0.1", "peer", "10.88.0.2", "dev", "t0")
    s.lab.ip(pc, "link", "set", "t0", "up")
    phone = s.namespace("phB")
    s.lab.link(pc, "w0", phone, "192.168.77.1/24", "192.168.77.20/24")
    waiting = s.phone(phone, "192.168.77.20/24", "192.168.77.1")
    s.elapsed = s.found(waiting, s.start(pc))
    found = s.listeners(pc)
    if found != {"192.168.77.1": set(SERVICE_PORTS)}:
        raise Failure("listeners on 11717 and 11718 by local address: %s; only 192.168.77.1 "
                      "is served" % {a: sorted(p) for a, p in found.items()})


HOLDER = """
import socket, sys
held = []
for port in (11717, 11718):
    s = socket.socket()
    s.bind((sys.argv[1], port))
    s.listen()
    held.append(s)
print("listening", flush=True)
sys.stdin.read()
"""


def port_held(s):
    pc, phone = s.namespace("pc"), s.namespace("phA")
    s.lab.link(pc, "e0", phone, "10.66.0.1/24", "10.66.0.20/24")
    holder = s.lab.spawn(pc, [sys.executable, "-c", HOLDER, "10.66.0.1"], stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, text=True)
    if holder.stdout.readline().strip() != "listening":
        raise Failure("the holder could not take 10.66.0.1:11717 and 11718")
    begun = s.start(pc)
    s.service.wait_line("the port named as taken", r"11718")
    # Long enough for a few retries, each of which must stay silent.
    s.hold(5)
    holder.stdin.close()
    holder.wait(10)
    since = time.monotonic()
    s.quiet_windows.append((begun, since))
    said = [t for t in s.service.output(until=since) if "11718" in t]
    if len(said) != 1:
        raise Failure("the taken port should be told once, not %d times: %s" % (len(said), said))
    # Started only now: while held, the link port is the holder's.
    waiting = s.phone(phone, "10.66.0.20/24", "10.66.0.1", RETRY_BOUND)
    s.elapsed = s.found(waiting, since, RETRY_BOUND)


ATTACKER = """
import resource, selectors, socket, sys
target, key, count, sources = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
resource.setrlimit(resource.RLIMIT_NOFILE, (count + 64, count + 64))
waiting, held, asked = selectors.DefaultSelector(), [], 0
for i in range(count):
    s = socket.socket()
    # A tiny window that is never read: the PC's sends stall at once.
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.bind((sources[i % len(sources)], 0))
    s.setblocking(False)
    s.connect_ex((target, 11717))
    waiting.register(s, selectors.EVENT_WRITE)
    held.append(s)
for _ in range(50):
    for entry, _ in waiting.select(0.1):
        waiting.unregister(entry.fileobj)
        try:
            entry.fileobj.send(b"GET /%s HTTP/1.1\\r\\nHost: pc\\r\\n\\r\\n" % key.encode())
            asked += 1
        except OSError:
            pass
print("holding %d" % asked, flush=True)
sys.stdin.read()
"""


def descriptors(s):
    """A phone streams and lists while one machine holds 1,000 GETs of a large video that it
    never reads, from 10 addresses; a second phone comes meanwhile. A hard limit of 1,024
    descriptors: a soft one is raised (to 20,000 a budget would not be needed)."""
    pc, phone, late, attacker = (s.namespace(role) for role in ("pc", "phA", "phB", "atk"))
    # One LAN: the phones and the attacking machine behind the PC's bridge.
    s.lab.ip(pc, "link", "add", "b0", "type", "bridge")
    for device, namespace in (("e0", phone), ("e1", late), ("e2", attacker)):
        s.lab.ip(pc, "link", "add", device, "type", "veth", "peer", "name", "p0",
                 "netns", namespace)
        s.lab.ip(pc, "link", "set", device, "master", "b0")
        s.lab.ip(pc, "link", "set", device, "up")
        s.lab.ip(namespace, "link", "set", "p0", "up")
    s.lab.address(pc, "10.77.0.1/16", "b0")
    s.lab.ip(pc, "link", "set", "b0", "up")
    s.lab.address(phone, "10.77.0.20/16", "p0")
    s.lab.address(late, "10.77.0.21/16", "p0")
    sources = ["10.77.9.%d" % n for n in range(1, 11)]
    for source in sources:
        s.lab.address(attacker, source + "/16", "p0")

    big = os.path.join(s.work, "big.avi")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=duration=2:size=640x360:rate=25", "-c:v", "rawvideo",
                    "-pix_fmt", "yuv420p", big], check=True)
    limit = "--nofile=1024:1024"
    s.start(pc, big, before=["prlimit", limit, "--"])
    shared = s.service.wait_line("the large video shared", r"^shared [0-9a-f]{32} .*big\.avi$")
    key = shared.split()[1]
    playing = s.phone(phone, "10.77.0.20/16", "10.77.0.1", FIND_BOUND, "--keep", "12",
                      "--stream", big)
    if playing.process.stdout.readline().strip() != "found":
        raise Failure("the first phone did not find the PC: %s" % brief(playing.report(1)))
    attack = time.monotonic()
    holder = s.lab.spawn(attacker, [sys.executable, "-c", ATTACKER, "10.77.0.1", key, "1000"]
                         + sources, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    held = holder.stdout.readline().strip()
    peak = len(os.listdir("/proc/%d/fd" % s.service.process.pid))
    s.suite.say("  attacker: %s, zorvex holds %d descriptors" % (held, peak))
    s.elapsed = s.find(late, "10.77.0.21/16", "10.77.0.1")
    peak = max(peak, len(os.listdir("/proc/%d/fd" % s.service.process.pid)))
    report = playing.report(25)
    if not report.get("ok"):
        raise Failure("the playing phone was cut: %s%s" % (report.get("kept"), s.service.tail()))
    lost = [t for t in s.service.output(since=attack)
            if t.startswith("no longer serving") or t.startswith("waiting for")]
    if lost:
        raise Failure("a network was lost under the attack: %s" % lost)
    s.suite.say("  at the peak zorvex held %d descriptors (%s)" % (peak, limit))
    holder.stdin.close()


DESKTOP = os.path.join(os.path.dirname(HERE), "desktop")
TITLE = "^Zorvex助手$"
WIRED, WIFI = "10.66.0.20/24", "192.168.77.20/24"


def desktop_missing():
    missing = [tool for tool in ("Xvfb", "openbox", "xdotool") if not shutil.which(tool)]
    try:
        import Xlib  # noqa: F401
    except ImportError:
        missing.append("python3-xlib for %s" % sys.executable)
    return missing


class Window:
    """The real window on an X desktop of the situation's own (Xvfb, openbox),
    seen and driven from the machine's namespace; the application in the PC's
    namespace reaches the display through its socket in /tmp/.X11-unix, which
    network namespaces share."""

    def __init__(self, s):
        if DESKTOP not in sys.path:
            sys.path.insert(0, DESKTOP)
        import xsession
        import zorvex_window
        self.s, self.zw, self.xsession = s, zorvex_window, xsession
        self.step = 0
        self.id, self.origin = None, (0, 0)
        os.makedirs(s.shots, exist_ok=True)
        work = os.path.join(s.work, "desktop")
        os.makedirs(work)
        # The situation's close stops whatever of the desktop started.
        s.desktop = xsession.Desktop(work, composited=False, tray=False)
        self.desktop = s.desktop
        self.desktop.start()

    def start(self, pc):
        """The window in the PC's namespace, up and painted; returns when it was started."""
        s = self.s
        s.configure()
        since = time.monotonic()
        s.service = Service(s.lab, pc, s.suite.args.zorvex, s.home,
                            display=self.desktop.display_name)
        self.id = self.until("the window", lambda: self.desktop.windows(TITLE), 60)[-1]
        x, y, w, h = self.desktop.geometry(self.id)
        self.origin = (x, y)
        self.require((w, h) == self.zw.WINDOW, "the window is %dx%d" % (w, h))
        self.until("the window painted", lambda: self.near(
            self.grab(40, 400, 1, 1).pixel(0, 0), self.zw.LEFT_COLUMN), 30)
        return since

    # -- judging --------------------------------------------------------------

    def until(self, what, condition, timeout=FIND_BOUND):
        try:
            return self.xsession.wait_until(what, condition, timeout)
        except self.xsession.Timeout as error:
            self.fail(str(error))

    def require(self, ok, what):
        if not ok:
            self.fail(what)

    def fail(self, what):
        tail = self.s.service.tail() if self.s.service else ""
        raise Failure("%s (the screen: %s)%s" % (what, self.shoot("failed"), tail))

    @staticmethod
    def near(a, b, tolerance=8):
        return all(abs(p - q) <= tolerance for p, q in zip(a, b))

    def shoot(self, name):
        self.step += 1
        path = os.path.join(self.s.shots, "%02d-%s.png" % (self.step, name))
        self.desktop.grab().save_png(path)
        return path

    def grab(self, x, y, w, h):
        """What the screen shows there, in window coordinates."""
        return self.desktop.grab(self.origin[0] + x, self.origin[1] + y, w, h)

    def shown(self):
        """The application's visible windows besides the main one: id -> geometry."""
        found = {}
        for window_id in self.desktop.xdotool("search", "--onlyvisible", "--class", "zorvex",
                                              check=False).split():
            if int(window_id) != self.id:
                try:
                    found[int(window_id)] = self.desktop.geometry(int(window_id))
                except RuntimeError:
                    pass  # gone meanwhile
        return found

    def menu(self):
        """The address menu's (x, y, width, height) while it is shown."""
        return next((g for g in self.shown().values() if g[2] == self.zw.MENU_WIDTH
                     and g[3] % self.zw.MENU_ROW == 0), None)

    def tooltip(self):
        menu = self.menu()
        return next((g for g in self.shown().values() if g != menu), None)

    def rows(self):
        """The menu's rows once two looks agree, so that none is caught half drawn."""
        looks = []
        for _ in range(2):
            geometry = self.menu()
            if not geometry:
                return None
            looks.append(self.zw.menu_rows(self.desktop.grab(*geometry)))
        if len(looks[0]) != len(looks[1]) or not all(
                a.same_text(b) and a.marked == b.marked for a, b in zip(*looks)):
            return None
        return looks[1]

    def rows_when(self, what, condition):
        return self.until(what, lambda: (lambda rows: rows if rows and condition(rows) else None)(
            self.rows()))

    def band(self):
        return self.grab(*self.zw.ADDRESS_TEXT)

    def colour(self):
        return self.zw.address_colour(self.band())

    def check_band(self, rows, index, text):
        """The band says "IP: <text>", drawn as the menu's row at index draws it."""
        found = self.zw.shown_row(self.band(), rows)
        self.require(found == index, "the band does not say %r: it ends as row %s of the menu "
                     "does, not as row %d" % ("IP: " + text, found, index))

    def pinned(self):
        """PinnedIP in config.ini, as saved now."""
        with open(os.path.join(self.s.home, "config.ini"), encoding="utf-8") as f:
            found = re.search(r"^PinnedIP=(.*)$", f.read(), re.M)
        return found.group(1).strip() if found else None

    # -- acting ---------------------------------------------------------------

    def click(self, point):
        self.desktop.click(self.origin[0] + point[0], self.origin[1] + point[1])

    def open_menu(self):
        """Opens the address menu with a click on the address box; its rows."""
        self.click(self.zw.centre(self.zw.ADDRESS_BOX))
        x, y, _, _ = self.until("the address menu", self.menu, 10)
        bx, by, _, bh = self.zw.ADDRESS_BOX
        self.require((x, y) == (self.origin[0] + bx, self.origin[1] + by + bh),
                     "the address menu at %d,%d, not below the address box" % (x, y))
        return self.rows_when("the menu drawn", lambda rows: True)

    def close_menu(self):
        self.click(self.zw.centre(self.zw.ADDRESS_BOX))
        self.until("the address menu to close", lambda: not self.menu(), 10)

    def choose(self, index, address):
        """Chooses the menu's row at index, which must pin `address` ("" for none)."""
        x, y, _, _ = self.menu()
        cx, cy = self.zw.menu_row_centre(index)
        self.desktop.click(x + cx, y + cy)
        self.until("the address menu to close", lambda: not self.menu(), 10)
        self.until("PinnedIP=%s saved for row %d" % (address, index),
                   lambda: self.pinned() == address, 10)

    def rest(self):
        """The pointer on the cards, away from the title band."""
        self.desktop.move_mouse(self.origin[0] + 600, self.origin[1] + 400)

    def hover(self):
        """The pointer comes to rest on the address box, from elsewhere: a tooltip may come."""
        self.rest()
        self.desktop.move_mouse(*(o + c for o, c in zip(
            self.origin, self.zw.centre(self.zw.ADDRESS_BOX))))


def window(s):
    if s.suite.args.no_window:
        raise Skip("this build has no windows")
    missing = desktop_missing()
    if missing:
        raise Skip("no %s (scripts/install-deps installs them)" % ", ".join(missing))
    pc, wired, wifi = s.namespace("pc"), s.namespace("phA"), s.namespace("phB")
    # The clip is shared before the window comes, by the service alone.
    s.start(pc)
    s.service.wait_line("the clip shared", r"^shared [0-9a-f]{32} ")
    code = s.service.stop()
    if code != 0:
        raise Failure("zorvex --headless --share ended with %s%s" % (code, s.service.tail()))
    s.service = None
    s.lab.link(pc, "e0", wired, "10.66.0.1/24", WIRED)
    s.lab.link(pc, "w0", wifi, "192.168.77.1/24", WIFI)
    w = Window(s)
    phones = [s.phone(wired, WIRED, "10.66.0.1"), s.phone(wifi, WIFI, "192.168.77.1")]
    since = w.start(pc)
    s.elapsed = max([s.found(p, since) for p in phones])
    w.rest()
    w.shoot("found")

    # 全部网络 first and current, then each network; the band shows the first.
    first = w.open_menu()
    w.shoot("menu")
    w.require(len(first) == 3 and [r.marked for r in first] == [True, False, False],
              "%d rows in the menu, marked %s" % (len(first), [r.marked for r in first]))
    w.check_band(first, 1, "10.66.0.1")

    # A new address while the menu is open: its row follows, the others stay.
    s.lab.ip(pc, "addr", "del", "10.66.0.1/24", "dev", "e0")
    s.lab.address(pc, "10.66.0.9/24", "e0")
    rows = w.rows_when("the menu to offer 10.66.0.9 instead of 10.66.0.1", lambda now: (
        len(now) == 3 and not now[1].same_text(first[1]) and now[0].same_text(first[0])
        and now[2].same_text(first[2])))
    w.shoot("menu-followed")
    w.check_band(rows, 1, "10.66.0.9")
    w.choose(1, "10.66.0.9")

    # Pinned to the Wi-Fi's address: only its phone finds the PC.
    w.open_menu()
    w.choose(2, "192.168.77.1")
    waiting = s.phone(wifi, WIFI, "192.168.77.1")
    since = time.monotonic()
    s.silent(wired, WIRED, "10.66.0.9")
    s.found(waiting, since)
    w.rest()
    w.shoot("pinned")
    w.check_band(rows, 2, "192.168.77.1")
    marked = w.open_menu()
    w.shoot("menu-pinned")
    w.require(len(marked) == 3 and all(a.same_text(b) for a, b in zip(marked, rows))
              and [r.marked for r in marked] == [False, False, True],
              "%d rows in the menu, marked %s" % (len(marked), [r.marked for r in marked]))
    w.close_menu()

    # The pinned address goes: nothing is served and the band says why, until it comes back.
    s.lab.ip(pc, "addr", "del", "192.168.77.1/24", "dev", "w0")
    w.until("the address in the not-listening colour", lambda: w.colour() == "down")
    w.until("no listener left", lambda: not s.listeners(pc))
    absent = w.open_menu()
    w.shoot("menu-pin-absent")
    w.require(len(absent) == 2 and absent[0].same_text(rows[0]) and absent[1].same_text(rows[1]),
              "the menu without the pinned address has %d rows" % len(absent))
    w.close_menu()
    w.hover()
    why = w.until("the tooltip saying why", w.tooltip, 10)
    w.shoot("pin-absent")
    waiting = s.phone(wifi, WIFI, "192.168.77.1")
    since = time.monotonic()
    s.lab.address(pc, "192.168.77.1/24", "w0")
    s.found(waiting, since)
    w.until("the address out of the not-listening colour", lambda: w.colour() != "down")

    # 全部网络: every network again.
    w.open_menu()
    w.choose(0, "")
    phones = [s.phone(wired, WIRED, "10.66.0.9"), s.phone(wifi, WIFI, "192.168.77.1")]
    since = time.monotonic()
    for phone in phones:
        s.found(phone, since)
    w.rest()
    w.shoot("every-network")
    w.check_band(rows, 1, "10.66.0.9")
    w.hover()
    # A heading and a line per network, where the absent pin's reason took one line.
    w.until("the tooltip listing both networks", lambda: (
        lambda tip: tip if tip and tip[3] >= 2 * why[3] else None)(w.tooltip()), 10)
    w.shoot("tooltip")


SITUATIONS = [
    ("one-net", one_net, "one adapter, a /24 network"),
    ("slash16", slash16, "a /16 network: broadcast to 10.66.255.255"),
    ("two-adapters", two_adapters, "Ethernet and Wi-Fi, a phone on each"),
    ("address-change", address_change, "the address changes while running"),
    ("network-later", network_later, "the address comes after the start"),
    ("link-flap", link_flap, "the link down for 5 s, then up"),
    ("stale-default", stale_default, "DefaultIP names an address that is gone"),
    ("no-carrier", no_carrier, "an adapter without carrier listed first"),
    ("link-local", link_local, "a 169.254/16 adapter is not served"),
    ("pinned", pinned, "PinnedIP: only that network is served"),
    ("listeners", listeners, "listeners only on served addresses"),
    ("port-held", port_held, "both ports held by another program at the start"),
    ("descriptors", descriptors, "1,000 stalled GETs under a limit of 1,024 descriptors"),
    ("window", window, "the window's address menu follows the networks and pins one"),
]
QUIET = "quiet-console"
# Groups of about equal length that ctest runs side by side; together they
# hold every situation once.
SHARDS = {
    "networks": ["one-net", "slash16", "two-adapters", "address-change", "network-later",
                 "link-flap"],
    "addresses": ["stale-default", "no-carrier", "link-local", "pinned", "listeners",
                  "port-held"],
    "descriptors": ["descriptors"],
    "window": ["window"],
}


def repeated(lines_with_times):
    """Lines said again and again, as a loop that reports every cycle does."""
    seen = {}
    for moment, text in lines_with_times:
        if text.strip():
            seen.setdefault(text, []).append(moment)
    return {text: len(times) for text, times in seen.items()
            if len(times) >= 3 and times[-1] - times[0] >= 2}


class Suite:
    def __init__(self, args):
        self.args = args
        self.started = time.monotonic()
        self.tag = "%s-%d-%04x" % (PREFIX, os.getpid(), random.getrandbits(16))
        self.work = tempfile.mkdtemp(prefix=self.tag + "-")
        self.clip = os.path.join(self.work, "clip.mp4")
        self.results = []  # (name, status, seconds or None, detail)
        self.noisy = []  # (situation, line, count)
        self.quiet_checked = False
        self.count = 0

    def say(self, text):
        print("%6.1fs %s" % (time.monotonic() - self.started, text), flush=True)

    def make_clip(self):
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc=duration=2:size=320x240:rate=25", "-f", "lavfi", "-i",
                        "sine=duration=2", "-c:v", "libx264", "-c:a", "aac", "-shortest",
                        self.clip], check=True)

    def record(self, name, ok, seconds, detail, status=None):
        if not status:
            status = ("XPASS" if ok else "XFAIL") if name in KNOWN_FAILING else (
                "PASS" if ok else "FAIL")
        self.results.append((name, status, seconds, detail))
        shown = "%.2fs" % seconds if seconds is not None else ""
        self.say("%-5s %s %s %s" % (status, name, shown, detail if status != "PASS" else ""))

    def run_one(self, name, function, what, brd):
        self.count += 1
        tag = "%s-%d" % (self.tag, self.count)
        if not brd:
            name += "/no-brd"
        shots = os.path.join(self.args.shots, "%s-%d" % (name.replace("/", "-"), self.count)) \
            if self.args.shots else os.path.join(self.work, tag, "shots")
        situation = Situation(self, tag, shots, brd)
        self.say("%s: %s" % (name, what))
        ok, detail, code, skipped = False, "", None, False
        try:
            function(situation)
            ok = True
        except Failure as error:
            detail = str(error)
        except Skip as reason:
            skipped, detail = True, str(reason)
        finally:
            code = situation.close()
        if skipped:
            self.record(name, True, None, detail, "SKIP")
            shutil.rmtree(situation.work, ignore_errors=True)
            return
        if ok and code != 0:
            ok, detail = False, "zorvex ended with %s after SIGTERM%s" % (
                code, situation.service.tail())
        for since, until in situation.quiet_windows:
            self.quiet_checked = True
            for text, count in repeated(situation.service.timed(since, until)).items():
                self.noisy.append((name, text, count))
        self.record(name, ok, situation.elapsed if ok else None, detail)
        if ok:
            shutil.rmtree(situation.work, ignore_errors=True)

    def run(self, chosen):
        self.make_clip()
        modes = {"both": (True, False), "with": (True,), "without": (False,)}
        for _ in range(self.args.repeat):
            for name, function, what in chosen:
                for brd in modes[self.args.broadcast]:
                    self.run_one(name, function, what, brd)
        if self.quiet_checked:
            self.record(QUIET, not self.noisy, None, "a line repeated while idle: " + "; ".join(
                "%s: %r x%d" % n for n in self.noisy))

    def table(self):
        print("\nsituation               result  seconds until the phone was done")
        by_name = {}
        for name, status, seconds, _ in self.results:
            by_name.setdefault(name, []).append((status, seconds))
        for name, runs in by_name.items():
            statuses = sorted(set(s for s, _ in runs))
            times = " ".join("%.2f" % t if t is not None else "-" for _, t in runs)
            print("%-23s %-7s %s" % (name, "/".join(statuses), times if name != QUIET else ""))


def unusable_reason():
    if os.geteuid() != 0:
        return "not root: network namespaces need root"
    if not shutil.which("ip") or not shutil.which("ss"):
        return "no ip or ss (iproute2)"
    probe = "%s-%d-probe" % (PREFIX, os.getpid())
    done = subprocess.run(["ip", "netns", "add", probe], capture_output=True, text=True)
    if done.returncode:
        return "cannot create a network namespace: %s" % done.stderr.strip()
    try:
        done = subprocess.run(["ip", "-n", probe, "link", "add", "a0", "type", "veth", "peer",
                               "name", "b0"], capture_output=True, text=True)
        if done.returncode:
            return "cannot create a veth pair in a namespace: %s" % done.stderr.strip()
    finally:
        subprocess.run(["ip", "netns", "del", probe], capture_output=True)
    return None


def sweep(stale):
    """Deletes the suite's namespaces that stale(name, pid of their run) picks."""
    listed = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout
    for line in listed.splitlines():
        name = (line.split() or [""])[0]
        match = re.match(r"%s-(\d+)-" % PREFIX, name)
        if match and stale(name, int(match.group(1))):
            subprocess.run(["ip", "netns", "del", name], capture_output=True)


def terminate(signum, frame):
    raise KeyboardInterrupt("signal %d" % signum)


def side_by_side(args):
    """Every shard at once, each a run of this script of its own, its lines
    marked with its name: the situations mostly wait on timers and packets,
    and ctest gives the suite one place instead of one a shard. 0 when every
    shard passed, 77 when all skipped, 1 otherwise."""
    passed_on = [a for a in sys.argv[1:] if a != "--side-by-side"]
    children = {}

    def stop(signum, frame):
        for child in children.values():
            child.send_signal(signal.SIGTERM)  # each removes its namespaces
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    for shard in SHARDS:
        # Each is asked to end (and so removes its namespaces) should this run
        # die without passing SIGTERM on.
        children[shard] = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), *passed_on, "--shard", shard],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
            preexec_fn=lambda: LIBC.prctl(PR_SET_PDEATHSIG, signal.SIGTERM))
    lock = threading.Lock()

    def relay(shard, child):
        for line in child.stdout:
            with lock:
                print("%-11s %s" % (shard, line), end="", flush=True)
    relays = [threading.Thread(target=relay, args=item) for item in children.items()]
    for relay_thread in relays:
        relay_thread.start()
    for relay_thread in relays:
        relay_thread.join()
    codes = {shard: child.wait() for shard, child in children.items()}
    print("lan suite, shards side by side: %s" % ", ".join(
        "%s %s" % (shard, {0: "passed", SKIP: "skipped"}.get(code, "FAILED"))
        for shard, code in codes.items()))
    if all(code == SKIP for code in codes.values()):
        return SKIP
    return 1 if any(code not in (0, SKIP) for code in codes.values()) else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--zorvex", required=True)
    parser.add_argument("--only", action="append", metavar="NAME",
                        help="run only this situation (repeatable): " +
                        ", ".join(n for n, _, _ in SITUATIONS))
    parser.add_argument("--shard", choices=sorted(SHARDS),
                        help="run only the situations of this group")
    parser.add_argument("--side-by-side", action="store_true",
                        help="run every group at once, each in a run of its own")
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--broadcast", choices=("both", "with", "without"), default="both",
                        help="addresses with a broadcast attribute, without, or both (each "
                        "situation twice)")
    parser.add_argument("--no-window", action="store_true",
                        help="the binary is built without windows")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--shots", metavar="DIR",
                        help="keep the window's pictures here, a folder per situation run")
    args = parser.parse_args()
    sharded = sorted(n for names in SHARDS.values() for n in names)
    if sharded != sorted(n for n, _, _ in SITUATIONS):
        parser.error("SHARDS must hold every situation once")
    if args.side_by_side:
        if args.shard or args.only:
            parser.error("--side-by-side runs every group")
        return side_by_side(args)
    if args.shard:
        args.only = (args.only or []) + SHARDS[args.shard]
    chosen = [s for s in SITUATIONS if not args.only or s[0] in args.only]
    if args.only and len(chosen) != len(set(args.only)):
        parser.error("unknown situation in %s" % args.only)
    reason = unusable_reason()
    if reason:
        print("lan suite skipped: %s" % reason)
        return SKIP
    if not shutil.which("ffmpeg"):
        print("lan suite: no ffmpeg (scripts/install-deps installs it)")
        return 1
    # Left by a run that was killed outright, when no finally could run.
    sweep(lambda name, pid: not os.path.exists("/proc/%d" % pid))
    signal.signal(signal.SIGTERM, terminate)
    signal.signal(signal.SIGINT, terminate)
    suite = Suite(args)
    print("lan suite, run %s" % suite.tag, flush=True)
    interrupted = False
    try:
        suite.run(chosen)
    except KeyboardInterrupt:
        interrupted = True
        suite.say("interrupted")
    finally:
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        # What an interruption left between building a namespace and closing it.
        sweep(lambda name, pid: name.startswith(suite.tag + "-"))
    suite.table()
    failed = [r for r in suite.results if r[1] in ("FAIL", "XPASS")]
    for name, status, _, _ in failed:
        if status == "XPASS":
            print("%s passes now: take it off KNOWN_FAILING in %s" % (name, __file__))
    if failed or interrupted:
        print("lan suite: the clip and the failing situations' homes and pictures are in %s"
              % suite.work)
        return 1
    if not args.keep:
        shutil.rmtree(suite.work, ignore_errors=True)
    return SKIP if all(r[1] == "SKIP" for r in suite.results) else 0


if __name__ == "__main__":
    sys.exit(main())
