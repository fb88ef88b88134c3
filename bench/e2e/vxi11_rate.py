#!/usr/bin/python3
"""FETC? queries a second over VXI-11 through PyVISA's pure-Python backend.

Needs rpcbind running (VISA finds the core channel through it) and python3-pyvisa-py
(Debian's, hence /usr/bin/python3).
Starts velquor-cli serve --simulate --vxi11 on loopback, opens TCPIP::127.0.0.1::INSTR
and asks FETC? in a loop for --seconds. Exits 1 when an answer is not a number.

    bench/e2e/vxi11_rate.py --build build [--seconds 5]
"""
import argparse
import os
import subprocess
import sys
import time

import pyvisa


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--seconds", type=float, default=5.0)
    a = ap.parse_args()
    cli = os.path.join(a.build, "tools/cli/velquor-cli")
    serve = subprocess.Popen([cli, "serve", "--simulate", "--vxi11", "--listen", "127.0.0.1:0",
                              "--no-announce"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        line = ""
        deadline = time.monotonic() + 20
        while "VXI-11" not in line and time.monotonic() < deadline:
            line = serve.stdout.readline().decode()
            if not line:
                print("serve ended:\n" + serve.communicate()[1].decode(errors="replace"))
                return 2
        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource("TCPIP::127.0.0.1::INSTR", timeout=2000)
        print(inst.query("*IDN?").strip())
        time.sleep(1.0)  # the simulated meter's first reading
        n, bad = 0, 0
        t0 = time.perf_counter()
        end = t0 + a.seconds
        while time.perf_counter() < end:
            answer = inst.query("FETC?")
            try:
                float(answer)
            except ValueError:
                bad += 1
            n += 1
        elapsed = time.perf_counter() - t0
        inst.close()
        rm.close()
    finally:
        serve.terminate()
        try:
            serve.wait(timeout=10)
        except subprocess.TimeoutExpired:
            serve.kill()
            serve.wait()
    print("%d FETC? in %.2f s: %.0f queries/s, %.3f ms each%s"
          % (n, elapsed, n / elapsed, 1000 * elapsed / n,
             ", %d answers not a number" % bad if bad else ""))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
