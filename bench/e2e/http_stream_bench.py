#!/usr/bin/env python3
"""Server-Sent Events delay and cost of velquor-cli serve --http.

Starts --meters velquor-meter-sim pseudo-terminals at --rate frames per second and
velquor-cli serve on them with the web server on a free loopback port. Measures the
server's CPU for --seconds with no stream client, then opens --clients concurrent
readers of /api/stream for --seconds and measures it again. For every reading a
client receives, the delay is receipt time minus the reading's "time" (UTC ms).

Prints p50/p99/max delay over all clients, readings per client, the longest gap
between two readings of one meter on one client, and the CPU with and without the
clients. Exits 1 when a reading is lost: a stream refused or cut, an
"event: dropped", or clients disagreeing on which readings a common window held.

    bench/e2e/http_stream_bench.py --build build [--clients 10] [--seconds 20]
"""
import argparse
import datetime
import json
import os
import re
import socket
import subprocess
import sys
import threading
import time

WARMUP_S = 3.0


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def utc_ms(text):
    t = datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ")
    return t.replace(tzinfo=datetime.timezone.utc).timestamp() * 1000.0


class Client(threading.Thread):
    def __init__(self, port, stop):
        super().__init__(daemon=True)
        self.port, self.stop = port, stop
        self.delays, self.keys, self.status, self.error = [], [], None, None
        self.dropped, self.ended_early = 0, False
        self.last = {}      # meter -> receipt time (s) of its last reading
        self.max_gap = 0.0  # s

    def run(self):
        try:
            self.read()
        except Exception as e:  # reported, counted as a loss
            self.error = repr(e)

    def read(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=5)
        s.sendall(b"GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n")
        buf, head = b"", True
        event = None
        while not self.stop.is_set():
            data = s.recv(65536)
            now = time.time()
            if not data:
                self.ended_early = True
                break
            buf += data
            if head:
                end = buf.find(b"\r\n\r\n")
                if end < 0:
                    continue
                self.status = int(buf.split(b" ", 2)[1])
                if self.status != 200:
                    break
                buf, head = buf[end + 4:], False
            # Chunk framing lines (sizes, CRLF) are skipped: every event is whole
            # in one chunk, so its lines start at a line start.
            *lines, buf = buf.split(b"\n")
            for line in lines:
                if line.startswith(b"event: dropped"):
                    event = "dropped"
                elif line.startswith(b"data: "):
                    if event == "dropped":
                        self.dropped = int(line[6:])
                        event = None
                        continue
                    r = json.loads(line[6:])
                    if "time" not in r or "power_dbm" not in r:
                        continue
                    t = utc_ms(r["time"])
                    self.delays.append(now * 1000.0 - t)
                    self.keys.append((r["meter"], r["time"], t))
                    prev = self.last.get(r["meter"])
                    if prev is not None:
                        self.max_gap = max(self.max_gap, now - prev)
                    self.last[r["meter"]] = now
        s.close()


def pct(sorted_values, p):
    return sorted_values[min(len(sorted_values) - 1, int(p / 100.0 * len(sorted_values)))]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--meters", type=int, default=4)
    ap.add_argument("--rate", type=int, default=213)
    ap.add_argument("--clients", type=int, default=10)
    ap.add_argument("--seconds", type=float, default=20.0)
    ap.add_argument("--serve-arg", action="append", default=[],
                    help="one more argument for velquor-cli serve (repeatable)")
    a = ap.parse_args()
    sim = os.path.join(a.build, "tools/meter_sim/velquor-meter-sim")
    cli = os.path.join(a.build, "tools/cli/velquor-cli")
    sims, serve = [], None
    try:
        args = []
        for _ in range(a.meters):
            sims.append(subprocess.Popen([sim, "--rate", str(a.rate)], stdout=subprocess.PIPE,
                                         stderr=subprocess.DEVNULL))
            args += ["--port", sims[-1].stdout.readline().decode().strip()]
        serve = subprocess.Popen([cli, "serve"] + args + [
            "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0", "--no-announce"] + a.serve_arg,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        port = None
        deadline = time.monotonic() + 30
        while port is None and time.monotonic() < deadline:
            line = serve.stdout.readline().decode()
            if not line:
                break
            m = re.search(r"Web page on http://[^/]*:(\d+)/", line)
            if m:
                port = int(m.group(1))
        if port is None:
            serve.kill()
            print("serve printed no web port:\n" + serve.communicate()[1].decode(errors="replace"))
            return 2
        time.sleep(WARMUP_S)
        clk = os.sysconf("SC_CLK_TCK")
        t0, c0 = time.monotonic(), cpu_ticks(serve.pid)
        time.sleep(a.seconds)
        idle_cpu = (cpu_ticks(serve.pid) - c0) / clk / (time.monotonic() - t0)

        stop = threading.Event()
        clients = [Client(port, stop) for _ in range(a.clients)]
        for c in clients:
            c.start()
        time.sleep(1.0)  # every stream open before the window is measured
        t0, c0 = time.monotonic(), cpu_ticks(serve.pid)
        time.sleep(a.seconds)
        busy_cpu = (cpu_ticks(serve.pid) - c0) / clk / (time.monotonic() - t0)
        stop.set()
        for c in clients:
            c.join(timeout=10)
    finally:
        if serve and serve.poll() is None:
            serve.terminate()
            try:
                serve.wait(timeout=10)
            except subprocess.TimeoutExpired:
                serve.kill()
                serve.wait()
        for p in sims:
            p.kill()
            p.wait()

    lost = []
    for i, c in enumerate(clients):
        if c.status != 200:
            lost.append("client %d: status %s %s" % (i, c.status, c.error or ""))
        elif c.error or c.ended_early:
            lost.append("client %d: stream ended early %s" % (i, c.error or ""))
        if c.dropped:
            lost.append("client %d: the server dropped %d readings" % (i, c.dropped))
    ok = [c for c in clients if c.status == 200 and c.keys]
    if len(ok) > 1:
        # The readings every client had time to see: after the last one's first,
        # before the first one's last. Each must have all of them.
        lo = max(c.keys[0][2] for c in ok)
        hi = min(c.keys[-1][2] for c in ok)
        sets = [set(k[:2] for k in c.keys if lo <= k[2] <= hi) for c in ok]
        union = set().union(*sets)
        for i, s in enumerate(sets):
            if len(s) != len(union):
                lost.append("client %d: %d of the %d readings in the common window"
                            % (i, len(s), len(union)))
    delays = sorted(d for c in ok for d in c.delays)
    print("%d meters at %d/s, %d clients, %.0f s" % (a.meters, a.rate, a.clients, a.seconds))
    if delays:
        print("delay reading->client: p50 %.1f ms, p99 %.1f ms, max %.1f ms, min %.1f ms (%d readings)"
              % (pct(delays, 50), pct(delays, 99), delays[-1], delays[0], len(delays)))
    counts = [len(c.keys) for c in clients]
    print("readings per client: min %d, max %d; longest gap of one meter: %.0f ms"
          % (min(counts), max(counts), 1000 * max((c.max_gap for c in ok), default=0)))
    print("server CPU: %.1f %% of a core serving, %.1f %% with the clients (+%.1f %%)"
          % (100 * idle_cpu, 100 * busy_cpu, 100 * (busy_cpu - idle_cpu)))
    for line in lost:
        print("LOST " + line)
    return 1 if lost else 0


if __name__ == "__main__":
    sys.exit(main())
