"""A Linux-side PyVISA client for the Windows build's SCPI server under Wine.

usage: pyvisa_client.py PORT  -- prints one line per check, exits 1 on a failure.
"""
import sys

import pyvisa

port = int(sys.argv[1])
rm = pyvisa.ResourceManager("@py")
pm = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n",
                      write_termination="\n", timeout=5000)
failures = 0


def check(ok, what):
    global failures
    print(("ok   " if ok else "FAIL ") + what)
    failures += 0 if ok else 1


idn = pm.query("*IDN?")
check(idn.startswith("VELQUOR,ViridIrivi RA,"), f"*IDN? names the instrument: {idn}")
values = [float(pm.query("FETC?")) for _ in range(20)]
check(all(-60.0 < v < 30.0 for v in values), f"FETC? gives powers in dBm: {values[:3]} ...")
pm.write("SENS:FREQ 2.45GHZ")
check(pm.query("SYST:ERR?").startswith("0,"), "SENS:FREQ is taken without an error")
check(float(pm.query("SENS:FREQ?")) == 2.45e9, "SENS:FREQ? reads the frequency back")
pm.write("FOO:BAR")
check(pm.query("SYST:ERR?").startswith("-113,"), "an unknown command is error -113")
pm.close()
sys.exit(1 if failures else 0)
