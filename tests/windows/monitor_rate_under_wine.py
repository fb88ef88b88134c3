"""velquor-cli.exe monitor under Wine at the link's limit: frames lost and CPU.

The Linux velquor-meter-sim sends tagged frames (a counter modulo 500 in the power
field) at 213 frames/s on a pseudo-terminal that Wine maps to COM5; every reading
monitor prints must carry the next counter value.
usage: monitor_rate_under_wine.py WINDOWS_BUILD LINUX_METER_SIM [SECONDS]
Uses WINEPREFIX when set (and prepared), else a fresh one. Exits 1 when a frame is lost.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

win, sim = sys.argv[1], sys.argv[2]
seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 60.0
wine = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine"
env = dict(os.environ, WINEARCH="win64", WINEDEBUG="-all", LANG="C.UTF-8")
own_prefix = "WINEPREFIX" not in os.environ
if own_prefix:
    env["WINEPREFIX"] = tempfile.mkdtemp(prefix="velquor-wine.")
    # The server first, so it does not print its object table into our output when killed.
    # Persistent, so its CPU time can be read until the end; killed below.
    subprocess.run(["wineserver", "-p"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)
    subprocess.run([wine, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)
prefix = env["WINEPREFIX"]


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wineserver_pid():
    for pid in os.listdir("/proc"):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if f"WINEPREFIX={prefix}".encode() not in f.read():
                    continue
            with open(f"/proc/{pid}/comm") as f:
                if f.read().strip().startswith("wineserver"):
                    return int(pid)
        except OSError:
            pass
    return None


simulator = subprocess.Popen([sim, "--rate", "213", "--tag"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
link = os.path.join(prefix, "dosdevices", "com5")
if os.path.lexists(link):
    os.unlink(link)
os.symlink(simulator.stdout.readline().strip(), link)
cli = os.path.join(win, "tools", "cli", "velquor-cli.exe")
server = wineserver_pid()
server_start = cpu_seconds(server) if server else 0.0
server_cpu = server_start
start = time.monotonic()
monitor = subprocess.Popen([wine, cli, "monitor", "--port", "COM5", "--json", "--seconds",
                            str(seconds)], stdout=subprocess.PIPE, env=env, text=True)
readings, lost, last, cpu = 0, 0, None, 0.0
for line in monitor.stdout:
    if line.startswith("{"):
        tag = round(json.loads(line)["power_dbm"] * 10)
        if last is not None:
            lost += (tag - last - 1) % 500
        last = tag
        readings += 1
    try:
        cpu = cpu_seconds(monitor.pid)
        if server:
            server_cpu = cpu_seconds(server)
    except OSError:
        pass
monitor.wait()
elapsed = time.monotonic() - start
server_cpu = (server_cpu - server_start) if server else float("nan")
simulator.terminate()
simulator.wait()
if own_prefix:
    subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    shutil.rmtree(prefix, ignore_errors=True)
print(f"{readings} readings in {elapsed:.1f} s ({readings / seconds:.1f}/s), {lost} frames lost; "
      f"CPU: velquor-cli.exe {100 * cpu / elapsed:.1f} %, wineserver {100 * server_cpu / elapsed:.1f} % "
      f"of one core")
sys.exit(0 if lost == 0 and readings > 0 and monitor.returncode == 0 else 1)
