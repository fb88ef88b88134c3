#!/usr/bin/env python3
"""MQTT publishing at the link's limit, through a broker outage.

Serves N simulated meters on pseudo-terminals (velquor-meter-sim --rate R --tag),
publishes them with `velquor-cli publish --port ...` to a mosquitto started here
on a free loopback port (with persistence, so sessions survive its restart),
stops the broker for a while in the middle, and reads everything back with a
persistent-session subscriber (mosquitto_sub -c -q 1).

Checks, per meter, after dropping repeated session/seq pairs: message numbers
run 1, 2, 3, ... in order; the power tags (a running frame counter the simulator
puts in the power field) follow each other without a gap, so no frame was lost on
the link, in the publisher or at the broker; the readings received equal the
readings the publisher took; `dropped` is 0 (or, with a buffer shorter than the
outage, equals the readings missing). Measures the publisher's CPU per wall
second and its memory.

Exit status: 0 when every check passed (and with --check-goals the CPU goal too),
1 otherwise, 2 on a usage error. See docs/PERFORMANCE.md.
"""

import argparse
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time

CPU_GOAL = 0.05
CLK_TCK = os.sysconf("SC_CLK_TCK")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return True
    except OSError:
        return False


def proc_sample(pid):
    """(cpu ticks, VmRSS kB, VmHWM kB) of a live process, or None."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        with open("/proc/%d/status" % pid) as f:
            status = dict(line.split(":", 1) for line in f if ":" in line)
    except (OSError, IndexError):
        return None

    def kb(key):
        return int(status.get(key, "0 kB").split()[0])

    return int(fields[11]) + int(fields[12]), kb("VmRSS"), kb("VmHWM")


class Broker:
    def __init__(self, work, port):
        self.conf = os.path.join(work, "mosquitto.conf")
        self.log = open(os.path.join(work, "mosquitto.log"), "a")
        with open(self.conf, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\n" % port)
            f.write("persistence true\npersistence_location %s/\n" % work)
            f.write("max_queued_messages 0\n")
            if os.geteuid() == 0:
                f.write("user root\n")
        self.port = port
        self.proc = None

    def start(self):
        self.proc = subprocess.Popen(["/usr/sbin/mosquitto", "-c", self.conf],
                                     stdout=subprocess.DEVNULL, stderr=self.log)
        deadline = time.monotonic() + 10
        while not accepts(self.port):
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise RuntimeError("mosquitto did not start")
            time.sleep(0.02)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def analyse(received_path):
    """Per meter topic level: messages, repeats, order, readings and tag gaps."""
    per = {}
    with open(received_path, errors="replace") as f:
        for line in f:
            topic, _, payload = line.rstrip("\n").partition(" ")
            parts = topic.split("/")
            if len(parts) < 2 or parts[-1] != "power":
                continue
            s = per.setdefault(parts[-2], {
                "messages": 0, "repeats": 0, "out_of_order": 0, "seq_gaps": 0, "readings": 0,
                "tag_gaps": 0, "missing": 0, "dropped": 0, "sessions": set(), "seen": set(),
                "last_seq": 0, "last_tag": None})
            j = json.loads(payload)
            key = (j["session"], j["seq"])
            if key in s["seen"]:
                s["repeats"] += 1
                continue
            s["seen"].add(key)
            s["sessions"].add(j["session"])
            s["messages"] += 1
            if j["seq"] <= s["last_seq"]:
                s["out_of_order"] += 1
            elif j["seq"] != s["last_seq"] + 1:
                s["seq_gaps"] += 1
            s["last_seq"] = max(s["last_seq"], j["seq"])
            s["dropped"] = max(s["dropped"], j["dropped"])
            for dbm in j["dbm"]:
                tag = int(round(dbm * 10)) % 500
                last = s["last_tag"]
                if last is not None:
                    step = (tag - last) % 500
                    # 0: a measurement answering the connect's request repeats the tag.
                    if step not in (0, 1):
                        s["tag_gaps"] += 1
                        s["missing"] += step - 1
                s["last_tag"] = tag
                s["readings"] += 1
    for s in per.values():
        s["sessions"] = len(s["sessions"])
        del s["seen"], s["last_tag"]
    return per


def run(args, work):
    port = free_port()
    broker = Broker(work, port)
    sims, procs = [], []
    try:
        broker.start()
        received = os.path.join(work, "received.txt")
        sub = subprocess.Popen(["mosquitto_sub", "-p", str(port), "-c", "-i", "velquor-bench-sub",
                                "-q", "1", "-t", "velquor/v1/bench/#", "-v"],
                               stdout=open(received, "w"), stderr=subprocess.DEVNULL)
        procs.append(sub)
        time.sleep(0.5)
        ptys = []
        for i in range(args.meters):
            sim = subprocess.Popen([os.path.join(args.build, "tools/meter_sim/velquor-meter-sim"),
                                    "--rate", str(args.rate), "--tag",
                                    "--send-log", os.path.join(work, "send%d.log" % i)],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            sims.append(sim)
            ptys.append(sim.stdout.readline().strip())
        cmd = [os.path.join(args.build, "tools/cli/velquor-cli"), "publish",
               "--broker", "127.0.0.1:%d" % port, "--stand", "bench",
               "--buffer-seconds", str(args.buffer_seconds), "--seconds", str(args.seconds)]
        for p in ptys:
            cmd += ["--port", p]
        out = open(os.path.join(work, "publish.out"), "w")
        err = open(os.path.join(work, "publish.err"), "w")
        start = time.monotonic()
        pub = subprocess.Popen(cmd, stdout=out, stderr=err)
        procs.append(pub)
        samples = []  # (t, ticks, rss, hwm)
        stopped_at = restarted_at = None
        while pub.poll() is None:
            t = time.monotonic() - start
            s = proc_sample(pub.pid)
            if s:
                samples.append((t,) + s)
            if stopped_at is None and t >= args.outage_start:
                broker.stop()
                stopped_at = t
            if restarted_at is None and stopped_at is not None and t >= args.outage_start + args.outage:
                broker.start()
                restarted_at = t
            time.sleep(0.25)
            if t > args.seconds + 60:
                pub.kill()
        ended = time.monotonic() - start
        # The subscriber has everything when its file stops growing.
        last, quiet = -1, 0
        deadline = time.monotonic() + 30
        while quiet < 3 and time.monotonic() < deadline:
            size = os.path.getsize(received)
            quiet = quiet + 1 if size == last else 0
            last = size
            time.sleep(0.5)
    finally:
        for p in procs + sims:
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
        for p in procs + sims:
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        broker.stop()

    summary = open(os.path.join(work, "publish.out")).read().strip()
    m = re.search(r"published (\d+) readings?", summary)
    published = int(m.group(1)) if m else -1
    per = analyse(received)
    sent = 0
    for i in range(args.meters):
        with open(os.path.join(work, "send%d.log" % i)) as f:
            sent += sum(1 for line in f if line.startswith("S "))

    window = [s for s in samples if 3.0 <= s[0] <= args.seconds]
    cpu = ((window[-1][1] - window[0][1]) / CLK_TCK / (window[-1][0] - window[0][0])
           if len(window) > 1 else None)
    def cpu_between(t0, t1):
        part = [s for s in samples if t0 <= s[0] <= t1]
        if len(part) < 2:
            return None
        return round((part[-1][1] - part[0][1]) / CLK_TCK / (part[-1][0] - part[0][0]), 4)

    outage = [s for s in samples if stopped_at is not None and restarted_at is not None
              and stopped_at <= s[0] <= restarted_at]
    before = [s for s in samples if 5.0 <= s[0] < (stopped_at or 0)]
    rss_before = max((s[2] for s in before), default=0)
    rss_outage = max((s[2] for s in outage), default=0)
    result = {
        "meters": args.meters, "rate": args.rate, "seconds": args.seconds,
        "buffer_seconds": args.buffer_seconds,
        "outage": {"start_s": stopped_at, "end_s": restarted_at},
        "publisher": {"exit": pub.returncode, "summary": summary, "ended_s": round(ended, 1),
                      "cpu": round(cpu, 4) if cpu is not None else None,
                      "cpu_before_outage": cpu_between(3.0, stopped_at or 0),
                      "cpu_during_outage": cpu_between(stopped_at or 0, restarted_at or 0),
                      "cpu_after_outage": cpu_between(restarted_at or 0, args.seconds),
                      "rss_before_outage_kb": rss_before, "rss_outage_peak_kb": rss_outage,
                      "hwm_kb": max((s[3] for s in samples), default=0)},
        "frames_sent_by_simulators": sent,
        "readings_published": published,
        "per_meter": per,
    }
    received_total = sum(s["readings"] for s in per.values())
    dropped_total = sum(s["dropped"] for s in per.values())
    checks = {
        "every meter seen": len(per) == args.meters,
        "one session per meter": all(s["sessions"] == 1 for s in per.values()),
        "in order": all(s["out_of_order"] == 0 for s in per.values()),
        # Tags count modulo 500, so a gap is known modulo 500; the exact count is the
        # next check's.
        "no reading lost on the way": all((v["missing"] - v["dropped"]) % 500 == 0
                                          for v in per.values()),
        "received = published - dropped": received_total == published - dropped_total,
        "publisher exit 0": pub.returncode == 0,
    }
    if args.buffer_seconds >= args.outage + 2:
        checks["nothing dropped"] = dropped_total == 0
    else:
        checks["drops counted"] = dropped_total > 0
    result["received_readings"] = received_total
    result["checks"] = checks
    return result


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default="build")
    ap.add_argument("--meters", type=int, default=4)
    ap.add_argument("--rate", type=int, default=213)
    ap.add_argument("--seconds", type=float, default=60)
    ap.add_argument("--outage-start", type=float, default=20)
    ap.add_argument("--outage", type=float, default=10)
    ap.add_argument("--buffer-seconds", type=float, default=60)
    ap.add_argument("--check-goals", action="store_true")
    ap.add_argument("--json")
    ap.add_argument("--keep", help="keep the logs in this folder")
    args = ap.parse_args()
    if args.outage_start + args.outage >= args.seconds:
        ap.error("the outage must end before --seconds")
    work = args.keep or tempfile.mkdtemp(prefix="velquor-mqtt-bench-")
    os.makedirs(work, exist_ok=True)
    result = run(args, work)
    text = json.dumps(result, indent=2)
    print(text)
    if args.json:
        with open(args.json, "w") as f:
            f.write(text + "\n")
    ok = all(result["checks"].values())
    if args.check_goals:
        cpu = result["publisher"]["cpu"]
        ok = ok and cpu is not None and cpu < CPU_GOAL
    if not args.keep:
        subprocess.run(["rm", "-rf", work])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
