#!/usr/bin/env python3
"""The station window at the link's limit.

Starts N velquor-meter-sim pseudo-terminals at --rate frames per second, opens
them all in one `velquor` window (offscreen) for --seconds, and reports the
window process's CPU per wall second (after a warm-up), its resident memory at
the start and end of the measured window, and the readings taken and lost
(a full queue or a jump in a meter's numbering), as the window reports them at
its end. With --serve, one client loops FETC? meanwhile and its rate is reported.

usage: station_window_bench.py --build DIR [--meters 4] [--rate 213] [--seconds 60]
                               [--serve [--fetch-rate N]]
Exit status 0 when no reading was lost, 1 otherwise.
"""

import argparse
import os
import re
import socket
import subprocess
import sys
import threading
import time

WARMUP_S = 3.0


def sample(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    with open("/proc/%d/status" % pid) as f:
        rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS"))
    return int(fields[11]) + int(fields[12]), rss


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def fetch_loop(port, stop, counts, rate):
    """FETC? in a loop, as fast as answered or paced to rate per second."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        reader = s.makefile("rb")
        start = time.monotonic()
        while not stop.is_set():
            s.sendall(b"FETC1?\n")
            if not reader.readline():
                break
            counts[0] += 1
            if rate:
                ahead = start + counts[0] / rate - time.monotonic()
                if ahead > 0:
                    time.sleep(ahead)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--meters", type=int, default=4)
    ap.add_argument("--rate", type=int, default=213)
    ap.add_argument("--seconds", type=float, default=60.0)
    ap.add_argument("--serve", action="store_true")
    ap.add_argument("--fetch-rate", type=float, default=0,
                    help="with --serve: FETC? per second (default: as fast as answered)")
    a = ap.parse_args()
    sim = os.path.join(a.build, "tools/meter_sim/velquor-meter-sim")
    velquor = os.path.join(a.build, "src/app/velquor")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen",
               XDG_CONFIG_HOME=os.path.join(a.build, "bench-config"))
    sims, args = [], []
    try:
        for _ in range(a.meters):
            sims.append(subprocess.Popen([sim, "--rate", str(a.rate)], stdout=subprocess.PIPE,
                                         stderr=subprocess.DEVNULL))
            args += ["--port", sims[-1].stdout.readline().decode().strip()]
        port = free_port()
        if a.serve:
            args += ["--serve", "127.0.0.1:%d" % port]
        total = WARMUP_S + a.seconds
        window = subprocess.Popen([velquor] + args + ["--quit-after", "%.1f" % total], env=env,
                                  stderr=subprocess.PIPE)
        time.sleep(WARMUP_S)
        ticks0, rss0 = sample(window.pid)
        stop, counts = threading.Event(), [0]
        client = None
        if a.serve:
            client = threading.Thread(target=fetch_loop, args=(port, stop, counts, a.fetch_rate))
            client.start()
        t0 = time.monotonic()
        time.sleep(a.seconds - 0.5)
        if window.poll() is not None:
            print("the window ended early:\n" + window.communicate()[1].decode(errors="replace"))
            return 1
        ticks1, rss1 = sample(window.pid)
        elapsed = time.monotonic() - t0
        stop.set()
        if client:
            client.join(timeout=10)
        err = window.communicate(timeout=60)[1].decode(errors="replace")
    finally:
        for p in sims:
            p.kill()
            p.wait()
    cpu = (ticks1 - ticks0) / os.sysconf("SC_CLK_TCK") / elapsed
    m = re.search(r"(\d+) meters?: (\d+) readings, (\d+) lost", err)
    if not m:
        print("no summary from the window:\n" + err)
        return 1
    print("meters %s  rate %d/s  measured %.1f s" % (m.group(1), a.rate, elapsed))
    print("window CPU %.1f %% of one core" % (cpu * 100))
    print("resident %.1f MB at start, %.1f MB at end" % (rss0 / 1024, rss1 / 1024))
    print("readings %s, lost %s" % (m.group(2), m.group(3)))
    if a.serve:
        print("FETC? answered %.0f/s" % (counts[0] / elapsed))
    return 0 if m.group(3) == "0" else 1


if __name__ == "__main__":
    sys.exit(main())
