#!/usr/bin/env python3
"""velquor-cli monitor --json on several meters at the link's limit.

Starts N velquor-meter-sim on pseudo-terminals, each sending tagged frames at
--rate per second, runs `velquor-cli monitor --json` on all of them for --seconds,
and reports per meter the frames printed, whether any was lost or out of order
(the tags count up by one, modulo 500), and the monitor's CPU per wall second
after its start-up. Exit status 0 when no frame was lost or reordered and the CPU
stayed under --max-cpu; 1 otherwise.

    python3 bench/e2e/multi_meter_monitor.py --build build --meters 4 --seconds 20
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

TAG_MODULUS = 500
STARTUP_S = 2.0  # the connect sequences run meanwhile; CPU is measured after it


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--meters", type=int, default=4)
    parser.add_argument("--rate", type=int, default=213)
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--max-cpu", type=float, default=0.06)
    args = parser.parse_args()
    cli = os.path.join(args.build, "tools/cli/velquor-cli")
    sim = os.path.join(args.build, "tools/meter_sim/velquor-meter-sim")

    sims, ports = [], []
    try:
        for _ in range(args.meters):
            p = subprocess.Popen([sim, "--rate", str(args.rate), "--tag"],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            sims.append(p)
            ports.append(p.stdout.readline().strip())
        with tempfile.TemporaryFile("w+") as out:
            command = [cli, "monitor", "--json", "--seconds", str(STARTUP_S + args.seconds)]
            for port in ports:
                command += ["--port", port]
            monitor = subprocess.Popen(command, stdout=out, stderr=subprocess.PIPE, text=True)
            time.sleep(STARTUP_S)
            t0, c0 = time.monotonic(), cpu_ticks(monitor.pid)
            time.sleep(args.seconds - 0.5)
            t1, c1 = time.monotonic(), cpu_ticks(monitor.pid)
            _, err = monitor.communicate(timeout=30)
            cpu = (c1 - c0) / os.sysconf("SC_CLK_TCK") / (t1 - t0)
            out.seek(0)
            tags = {port: [] for port in ports}
            for line in out:
                reading = json.loads(line)
                if "power_dbm" in reading:
                    tags[reading["meter"]].append(round(reading["power_dbm"] * 10))
    finally:
        for p in sims:
            p.terminate()
            p.wait(10)

    ok = monitor.returncode == 0 and cpu <= args.max_cpu
    print("velquor-cli monitor --json, %d meters at %d frames/s, %.0f s" %
          (args.meters, args.rate, args.seconds))
    for port in ports:
        seq = tags[port]
        breaks = sum(1 for a, b in zip(seq, seq[1:]) if b != (a + 1) % TAG_MODULUS)
        ok = ok and breaks == 0 and len(seq) > 0
        print("  %s: %d frames printed, %d lost or out of order" % (port, len(seq), breaks))
    print("  CPU %.2f %% of one core (goal %.1f %%)%s" %
          (cpu * 100, args.max_cpu * 100, "" if monitor.returncode == 0 else
           "; monitor exited %d: %s" % (monitor.returncode, err.strip())))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
