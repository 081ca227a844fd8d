#!/usr/bin/env python3
"""The real window over a large ConvertList.xml: time to its first visible
window and resident memory.

Writes a well-formed ConvertList.xml of ITEMS finished tasks (default 37,449,
about 10 MB) into a home of its own, starts `zorvex --address BENCH_ADDRESS
--home HOME` (default 127.0.0.1) on an Xvfb display of its own, and prints
the seconds until a window of the process is visible (xdotool) and until
it settles (under a tenth of a core over a second), and the largest VmRSS
seen until then. Gives up after LIMIT seconds (default
150).

usage: large_convert_list.py ZORVEX [ITEMS] [LIMIT]
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

ADDRESS = os.environ.get("BENCH_ADDRESS", "127.0.0.1")


def write_list(path, items, home, thumbnail):
    with open(path, "w", encoding="utf-8") as f:
        f.write("<ConvertList>\n")
        for n in range(items):
            f.write(f'\t<Item{n} VideoName="clip{n}_VR.mp4" '
                    f'VideoPath="{home}/appData/converted/clip{n}_VR.mp4" VideoSize="12.5 MB" '
                    f'VideoScreenPath="{thumbnail}" VideoTime="00:01:20" '
                    f'VideoWidth="1920" VideoHeight="1080" VideoConvertType="3" />\n')
        f.write("</ConvertList>\n")


def rss_kib(pid, field="VmRSS"):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def cpu_seconds(pid, ticks):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / ticks
    except OSError:
        return 0.0


def main():
    zorvex = sys.argv[1]
    items = int(sys.argv[2]) if len(sys.argv) > 2 else 37449
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 150
    home = tempfile.mkdtemp(prefix="large-list-")
    # Every row shows the same real thumbnail, as rows of real conversions do.
    thumbnail = os.path.join(home, "thumb.jpg")
    subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i",
                    "testsrc2=size=320x180", "-frames:v", "1", thumbnail], check=True)
    write_list(os.path.join(home, "ConvertList.xml"), items, home, thumbnail)
    size = os.path.getsize(os.path.join(home, "ConvertList.xml"))
    display = ":%d" % (200 + os.getpid() % 500)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
    app = None
    try:
        time.sleep(1)
        start = time.monotonic()
        app = subprocess.Popen([zorvex, "--address", ADDRESS, "--home", home], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shown = None
        peak = 0
        while time.monotonic() - start < limit and app.poll() is None:
            peak = max(peak, rss_kib(app.pid))
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(app.pid)],
                                   env=env, capture_output=True, text=True)
            if found.stdout.strip():
                shown = time.monotonic() - start
                break
            time.sleep(0.1)
        # Settled: the process used under a tenth of a core over the last second.
        settled = None
        ticks = os.sysconf("SC_CLK_TCK")
        history = []
        while shown is not None and time.monotonic() - start < limit and app.poll() is None:
            peak = max(peak, rss_kib(app.pid))
            history.append((time.monotonic(), cpu_seconds(app.pid, ticks)))
            old = [h for h in history if h[0] <= history[-1][0] - 1.0]
            if old and history[-1][1] - old[-1][1] < 0.1:
                settled = old[-1][0] - start
                break
            time.sleep(0.1)
        hwm = rss_kib(app.pid, "VmHWM")
        window = f"{shown:.1f} s" if shown is not None else f"not within {limit:.0f} s"
        calm = f"{settled:.1f} s" if settled is not None else f"not within {limit:.0f} s"
        print(f"{items} items ({size / 1e6:.1f} MB): window visible after {window}, "
              f"settled (idle) after {calm}; "
              f"largest VmRSS seen {peak / 1024:.0f} MiB, VmHWM {hwm / 1024:.0f} MiB")
        if shown is None:
            sys.exit(1)
    finally:
        if app and app.poll() is None:
            app.kill()
            app.wait()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
