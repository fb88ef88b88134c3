#!/usr/bin/env python3
"""velquor-cli serve end to end, with nothing but Python's socket module, as a test
script on a bench would use it: two simulated meters at their normal frame rate, a
free loopback port, several clients, and the signals that stop it.

Usage: serve_e2e_test.py VELQUOR_CLI
"""
import signal
import socket
import subprocess
import sys
import time

CLI = sys.argv[1]
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def start(*extra):
    proc = subprocess.Popen([CLI, "serve", "--listen", "127.0.0.1:0", *extra],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = proc.stdout.readline()  # "SCPI server on 127.0.0.1:PORT for ..."
    if "127.0.0.1:" not in line:
        proc.kill()
        sys.exit("serve did not start: " + line + proc.stderr.read())
    port = int(line.split("127.0.0.1:")[1].split()[0])
    return proc, port


class Client:
    def __init__(self, port, timeout=3.0):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buf = b""

    def line(self):
        while b"\n" not in self.buf:
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                return None
            if not chunk:
                return "<closed>"
            self.buf += chunk
        text, self.buf = self.buf.split(b"\n", 1)
        return text.decode()

    def ask(self, text):
        self.sock.sendall(text.encode() + b"\r\n")  # PyVISA's default ending
        return self.line()

    def close(self):
        self.sock.close()


def stop(proc, sig):
    t0 = time.monotonic()
    proc.send_signal(sig)
    try:
        status = proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
        status = "hung"
    return status, time.monotonic() - t0


proc, port = start("--simulate", "2")
a = Client(port)
check(a.ask("*IDN?").startswith("VELQUOR,ViridIrivi RA,OV227700,"), "*IDN? names the first meter")
t0 = time.monotonic()
reply = a.ask("READ?")
took = time.monotonic() - t0
check(reply is not None and float(reply) < 100 and took < 2.0,
      f"READ? answers inside PyVISA's 2 s at the normal frame rate ({took:.2f} s)")
t0 = time.monotonic()
reply = a.ask("SENS2:AVER:COUN 4;STAT ON;:READ2?")
took = time.monotonic() - t0
check(reply is not None and float(reply) < 100 and took < 2.0,
      f"READ2? averaging 4 fresh readings of the second meter answers in {took:.2f} s")
a.sock.settimeout(0.5)
check(a.ask("SENS3:FREQ?") is None, "a failed query sends no reply")
a.sock.settimeout(3.0)
check(a.ask("SYST:ERR?") == '-114,"Header suffix out of range;SENS3:FREQ?"',
      "its error is queued with the header")
check(a.ask("SENS2:FREQ 2.45 GHZ;*OPC?;:SENS2:FREQ?") == "1;2.450000E+09",
      "a frequency written through the meter's setup reads back")
check(a.ask("SYST:ERR?") == '0,"No error"', "no error left")

# What instrument drivers send first, and which meter is which channel.
def number(reply):
    try:
        return float(reply) < 100
    except (TypeError, ValueError):
        return False
for line, ok in [
        ("SYST:VERS?;*OPT?;:STAT:OPER:COND?;:STAT:QUES:COND?", lambda r: r == "1999.0;0;0;0"),
        ("STAT:PRES;:CONF:POW:AC DEF,3,(@1);*TRG;:TRIG;:ABOR;*OPC?", lambda r: r == "1"),
        ("MEAS:POW?", number), ("MEAS:SCAL:POW?", number), ("READ:POW?", number),
        ("MEAS? DEF,DEF,(@2)", number),
        ("SYST:CHAN:COUN?;:SYST:CHAN2:SNUM?", lambda r: r == '2;"OV227701"'),
        ("SYST:CHAN1:IDN?", lambda r: r is not None and r.startswith("ORVANE,ViridIrivi RA,OV227700,")),
        ("SYST:ERR:ALL?", lambda r: r == '0,"No error"')]:
    reply = a.ask(line)
    check(ok(reply), f"{line} answers {reply!r}")

# Shared settings, own queues, and the ninth client refused.
others = [Client(port) for _ in range(7)]
check(others[0].ask("SENS2:AVER:COUN?") == "4", "settings are shared")
check(others[0].ask("SYST:ERR:COUN?") == "0", "error queues are not")
ninth = Client(port)
check(ninth.line().startswith('-300,"Device-specific error;too many clients'), "a ninth client is told")
check(ninth.line() == "<closed>", "... and closed")
for c in others:
    c.close()

# One client in a loop.
a.ask("*RST")
latencies = []
end = time.monotonic() + 1.0
while time.monotonic() < end:
    t0 = time.perf_counter()
    r = a.ask("FETC?")
    latencies.append(time.perf_counter() - t0)
latencies.sort()
rate = len(latencies)
p99 = latencies[int(len(latencies) * 0.99)] * 1000
print(f"     FETC? loop: {rate} queries/s, p50 {latencies[len(latencies) // 2] * 1000:.3f} ms, "
      f"p99 {p99:.3f} ms")
check(rate > 500, "a FETC? loop is served quickly")

status, took = stop(proc, signal.SIGTERM)
check(status == 0 and took < 2.0, f"SIGTERM: exit {status} after {took:.2f} s")
check(a.line() == "<closed>", "clients are closed on the way out")

proc, port = start("--simulate")
b = Client(port)
b.sock.sendall(b"READ?\n")  # a wait in progress does not hold up the stop
status, took = stop(proc, signal.SIGINT)
check(status == 0 and took < 2.0, f"Ctrl-C: exit {status} after {took:.2f} s")
try:
    socket.create_connection(("127.0.0.1", port), timeout=1).close()
    check(False, "the port is closed after the stop")
except OSError:
    check(True, "the port is closed after the stop")

bad = subprocess.run([CLI, "serve", "--listen", "127.0.0.1:99999", "--simulate"],
                     capture_output=True, text=True, timeout=10)
check(bad.returncode == 1 and "--listen" in bad.stderr, "a bad --listen is a refused value")

sys.exit(1 if failures else 0)
