#!/usr/bin/env python3
"""How long a new phone waits while other hosts fill the service's slots.

Starts `zorvex --headless` on a loopback address (BENCH_ADDRESS, default
127.0.0.1) and a home of its own, then:
  link: 64 link connections from 127.0.0.2, each sending a byte every 20 s;
  http: 9 addresses (127.0.0.11-19) x 128 connections, each holding an
        unfinished request head.
Under each, a phone asks ROUNDS times (list 1 with zorvex-phone; GET / with
curl) and the time to its answer is printed, or "no answer" after 10 s.

usage: slot_flood.py ZORVEX [ZORVEX_PHONE] [ROUNDS]
"""
import os
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

ADDRESS = os.environ.get("BENCH_ADDRESS", "127.0.0.1")
LINK_PORT, HTTP_PORT = 11718, 11717


def connect(source, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_IP, 24, 1)  # IP_BIND_ADDRESS_NO_PORT
    s.bind((source, 0))
    s.settimeout(2)
    try:
        s.connect((ADDRESS, port))
    except OSError:
        s.close()
        return None
    return s


def wait_for_port(port):
    for _ in range(200):
        s = socket.socket()
        try:
            s.connect((ADDRESS, port))
            return True
        except OSError:
            time.sleep(0.05)
        finally:
            s.close()
    return False


class Trickle:
    """Sends a byte on every held connection every 20 s, as a slow peer does."""

    def __init__(self, sockets, byte):
        self.sockets, self.byte = sockets, byte
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run)
        self.thread.start()

    def run(self):
        while not self.stop.wait(20):
            for s in list(self.sockets):
                try:
                    s.send(self.byte)
                except OSError:
                    pass

    def end(self):
        self.stop.set()
        self.thread.join()


def timed(command):
    start = time.monotonic()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    took = time.monotonic() - start
    return took if done.returncode == 0 else None


def report(name, waits):
    answered = [w for w in waits if w is not None]
    shown = ", ".join("no answer" if w is None else f"{w * 1000:.0f} ms" for w in waits)
    print(f"{name}: {len(answered)} of {len(waits)} answered; {shown}")


def main():
    zorvex = sys.argv[1]
    phone = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(zorvex),
                                                              "zorvex-phone")
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))
    home = tempfile.mkdtemp(prefix="slot-flood-")
    service = subprocess.Popen([zorvex, "--headless", "--address", ADDRESS, "--home", home],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    held = []
    try:
        if not (wait_for_port(LINK_PORT) and wait_for_port(HTTP_PORT)):
            sys.exit("the service did not start")
        for _ in range(64):
            s = connect("127.0.0.2", LINK_PORT)
            if s:
                s.send(b"x")
                held.append(s)
        trickle = Trickle(held, b"x")
        waits = []
        for _ in range(rounds):
            waits.append(timed([phone, "list", "--host", ADDRESS, "--type", "1",
                                "--timeout", "10"]))
            time.sleep(1)
        trickle.end()
        report("link, 64 connections from one address", waits)
        for s in held:
            s.close()
        held.clear()

        for n in range(11, 20):
            for _ in range(128):
                s = connect(f"127.0.0.{n}", HTTP_PORT)
                if s:
                    try:
                        s.send(b"GET / HTTP/1.1\r\n")
                        held.append(s)
                    except OSError:
                        s.close()
        trickle = Trickle(held, b"a")
        waits = []
        for _ in range(rounds):
            waits.append(timed(["curl", "-sf", "-o", "/dev/null", "--max-time", "10",
                                f"http://{ADDRESS}:{HTTP_PORT}/"]))
            time.sleep(1)
        trickle.end()
        report("http, 9 addresses x 128 unfinished heads", waits)
    finally:
        for s in held:
            s.close()
        service.terminate()
        service.wait(timeout=20)
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
