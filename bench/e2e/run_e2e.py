#!/usr/bin/env python3
"""End-to-end benchmark at the link's limit.

Runs velquor-meter-sim on a pseudo-terminal at --rate frames per second with
tagged frames, connects the GUI (offscreen) and/or velquor-cli monitor to it
through the serial backend, and reports frames sent, decoded, handled and
repainted, latency from send to decode and to the repaint that shows each frame,
CPU per wall second, peak resident memory and its growth, and the GUI's start-up
time to its first painted readout.

Exit status: 0 when every frame sent in the measured window was decoded (and,
with --check-goals, every goal was met); 1 otherwise; 2 on a usage error.
See docs/PERFORMANCE.md.
"""

import argparse
import json
import os
import platform
import select
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_analysis as ea  # noqa: E402

GOALS = {
    "shown_p99_ms": 30.0,
    "gui_cpu": 0.25,
    "cli_cpu": 0.03,
    "gui_peak_rss_mb": 100.0,
    "rss_growth_mb": 1.0,
    "startup_s": 1.0,
}
DRAIN_S = 1.0       # the receiver runs this long after the window, so the last frames arrive
EXIT_GRACE_S = 30.0  # bound on the wait for a receiver to leave on its own


def monotonic_ns():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC)


def proc_sample(pid):
    """(cpu ticks, VmRSS kB, VmHWM kB) of a live process, or None."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        with open("/proc/%d/status" % pid) as f:
            status = dict(line.split(":", 1) for line in f if ":" in line)
    except (OSError, IndexError):
        return None
    ticks = int(fields[11]) + int(fields[12])  # utime, stime

    def kb(key):
        return int(status.get(key, "0 kB").split()[0])

    return ticks, kb("VmRSS"), kb("VmHWM")


def machine():
    model = platform.processor() or "unknown"
    try:
        out = subprocess.run(["lscpu"], capture_output=True, text=True, timeout=10).stdout
        for line in out.splitlines():
            if line.startswith("Model name:"):
                model = line.split(":", 1)[1].strip()
    except (OSError, subprocess.SubprocessError):
        pass
    memory = None
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                memory = round(int(line.split()[1]) / 1024 / 1024, 1)
    return {"nproc": os.cpu_count(), "cpu": model, "memory_gb": memory,
            "kernel": platform.release()}


def read_line(stream, timeout_s):
    end = time.monotonic() + timeout_s
    line = b""
    while time.monotonic() < end:
        ready, _, _ = select.select([stream], [], [], 0.1)
        if not ready:
            continue
        c = os.read(stream.fileno(), 1)
        if not c or c == b"\n":
            break
        line += c
    return line.decode()


def stop(process, sig=signal.SIGTERM, timeout_s=10.0):
    if process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(timeout_s)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(5)
    return process.returncode


def run_receiver(kind, args, work):
    """One run: the simulator and one receiver. Returns the report's figures."""
    send_log = os.path.join(work, kind + "-send.log")
    recv_log = os.path.join(work, kind + "-receive.log")
    sim = subprocess.Popen([args.sim, "--rate", str(args.rate), "--tag", "--send-log", send_log],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    port = read_line(sim.stdout, 10.0)
    if not port:
        stop(sim)
        raise RuntimeError("velquor-meter-sim did not start")

    total = args.warmup + args.seconds + DRAIN_S
    env = dict(os.environ, VELQUOR_TRACE_FILE=recv_log)
    if kind == "gui":
        env["QT_QPA_PLATFORM"] = "offscreen"
        command = [args.gui, "--port", port, "--quit-after", "%.3f" % total]
    else:
        command = [args.cli, "monitor", "--port", port, "--seconds", "%.3f" % total]
    err_path = os.path.join(work, kind + ".stderr")
    spawn = monotonic_ns()
    with open(err_path, "w") as err:
        receiver = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=err)
    samples, sim_samples = [], []
    deadline = spawn + int((total + EXIT_GRACE_S) * 1e9)
    tick = 0
    while receiver.poll() is None and monotonic_ns() < deadline:
        now = monotonic_ns()
        for pid, into in ((receiver.pid, samples), (sim.pid, sim_samples)):
            s = proc_sample(pid)
            if s is not None:
                into.append((now,) + s)
        tick += 1
        time.sleep(max(0.0, (spawn + tick * 1e9 - monotonic_ns()) / 1e9))
    timed_out = receiver.poll() is None
    receiver_status = stop(receiver)
    sim_status = stop(sim)
    with open(err_path) as f:
        receiver_errors = f.read().strip()
    if timed_out:
        raise RuntimeError("%s did not leave within %.0f s of its end" % (kind, EXIT_GRACE_S))
    if receiver_status != 0:
        raise RuntimeError("%s exited with %s: %s" % (kind, receiver_status, receiver_errors))

    sent = ea.read_log(send_log)["S"]
    received = ea.read_log(recv_log)
    window = (spawn + int(args.warmup * 1e9), spawn + int((args.warmup + args.seconds) * 1e9))
    if not received["D"] or received["D"][0][1] > window[0]:
        raise RuntimeError("%s decoded nothing before the window began; raise --warmup" % kind)
    figures = ea.analyse(sent, received["D"], received["H"],
                         received["P"] if kind == "gui" else None, window)
    ticks = os.sysconf("SC_CLK_TCK")
    figures["cpu_per_wall_s"] = ea.cpu_per_wall(samples, window, ticks)
    figures["sim_cpu_per_wall_s"] = ea.cpu_per_wall(sim_samples, window, ticks)
    figures.update(ea.memory_figures(samples, window))
    figures["sim_status"] = sim_status
    return figures


def run_startup(args, work):
    """Seconds from spawning `velquor --simulate` to its first painted readout."""
    times = []
    for i in range(args.startup_runs):
        log = os.path.join(work, "startup-%d.log" % i)
        env = dict(os.environ, VELQUOR_TRACE_FILE=log, QT_QPA_PLATFORM="offscreen")
        spawn = monotonic_ns()
        done = subprocess.run([args.gui, "--simulate", "--quit-after", "2"], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                              timeout=60)
        if done.returncode != 0:
            raise RuntimeError("velquor --simulate exited with %d: %s"
                               % (done.returncode, done.stderr.strip()))
        seconds = ea.startup_seconds(spawn, ea.read_log(log))
        if seconds is None:
            raise RuntimeError("velquor --simulate painted no readout within 2 s")
        times.append(seconds)
    return {"runs_s": times, "median_s": ea.percentile(times, 50), "max_s": max(times)}


def fmt(value, pattern="%.1f"):
    return "-" if value is None else pattern % value


def goal_checks(report):
    """[(text, met)] for every goal that has a figure in the report."""
    checks = []
    for kind in ("gui", "cli"):
        f = report.get(kind)
        if not f:
            continue
        checks.append(("%s: no frame lost (%d sent, %d decoded)"
                       % (kind, f["frames_sent"], f["frames_decoded"]), f["frames_lost"] == 0))
        checks.append(("%s: every decoded frame handled (%d)" % (kind, f["frames_handled"]),
                       f["frames_handled"] == f["frames_decoded"]))
        p99 = f["shown_latency_ms"]["p99"]
        checks.append(("%s: p99 send to %s %s ms < %.0f ms"
                       % (kind, "repaint" if kind == "gui" else "output", fmt(p99),
                          GOALS["shown_p99_ms"]), p99 is not None and p99 < GOALS["shown_p99_ms"]))
        limit = GOALS[kind + "_cpu"]
        cpu = f["cpu_per_wall_s"]
        checks.append(("%s: CPU %s %% of a core < %.0f %%" % (kind, fmt(cpu and cpu * 100),
                                                              limit * 100),
                       cpu is not None and cpu < limit))
        if kind == "gui":
            peak = f["peak_rss_mb"]
            checks.append(("gui: peak RSS %s MB < %.0f MB" % (fmt(peak), GOALS["gui_peak_rss_mb"]),
                           peak is not None and peak < GOALS["gui_peak_rss_mb"]))
            growth = f["rss_growth_mb"]
            checks.append(("gui: RSS growth %s MB < %.0f MB" % (fmt(growth, "%.2f"),
                                                                GOALS["rss_growth_mb"]),
                           growth is not None and growth < GOALS["rss_growth_mb"]))
    s = report.get("startup")
    if s:
        checks.append(("gui: start-up to first painted readout %s s < %.0f s (worst of %d)"
                       % (fmt(s["max_s"], "%.3f"), GOALS["startup_s"], len(s["runs_s"])),
                       s["max_s"] < GOALS["startup_s"]))
    return checks


def print_report(report):
    m = report["machine"]
    print("machine: %s, %d cores, %s GB, Linux %s" % (m["cpu"], m["nproc"], m["memory_gb"],
                                                     m["kernel"]))
    print("rate %d frames/s, window %.0f s after %.1f s warm-up"
          % (report["rate"], report["seconds"], report["warmup"]))
    for kind in ("gui", "cli"):
        f = report.get(kind)
        if not f:
            continue
        shown = "repaint" if kind == "gui" else "output"
        print()
        print("%s (%s)" % (kind, "velquor, offscreen" if kind == "gui" else "velquor-cli monitor"))
        print("  frames sent %d, decoded %d, handled %d, lost %d%s"
              % (f["frames_sent"], f["frames_decoded"], f["frames_handled"], f["frames_lost"],
                 " (first: %s)" % f["first_lost"] if f["first_lost"] else ""))
        if f["repaints"] is not None:
            print("  repaints %d (%.1f/s)" % (f["repaints"], f["repaints_per_s"]))
        d, s = f["decode_latency_ms"], f["shown_latency_ms"]
        print("  send to decode:  median %s ms, p99 %s ms, max %s ms"
              % (fmt(d["median"], "%.2f"), fmt(d["p99"], "%.2f"), fmt(d["max"], "%.2f")))
        print("  send to %-7s  median %s ms, p99 %s ms, max %s ms (%d frames not yet shown)"
              % (shown + ":", fmt(s["median"], "%.2f"), fmt(s["p99"], "%.2f"),
                 fmt(s["max"], "%.2f"), f["frames_not_shown"]))
        print("  CPU %s %% of a core (simulator %s %%)"
              % (fmt(f["cpu_per_wall_s"] and f["cpu_per_wall_s"] * 100, "%.2f"),
                 fmt(f["sim_cpu_per_wall_s"] and f["sim_cpu_per_wall_s"] * 100, "%.2f")))
        print("  peak RSS %s MB, growth first to last 10 s %s MB"
              % (fmt(f["peak_rss_mb"]), fmt(f["rss_growth_mb"], "%.2f")))
    s = report.get("startup")
    if s:
        print()
        print("start-up of velquor --simulate to the first painted readout: median %.3f s, "
              "worst %.3f s (%d runs)" % (s["median_s"], s["max_s"], len(s["runs_s"])))
    print()
    for text, met in report["goals"]:
        print("  [%s] %s" % ("ok" if met else "MISSED", text))


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(here, "..", "..", "build"),
                        help="build directory holding the programs (default: build)")
    parser.add_argument("--targets", default="gui,cli",
                        help="comma-separated receivers to run: gui, cli (default: both)")
    parser.add_argument("--seconds", type=float, default=60.0, help="measured window (60)")
    parser.add_argument("--warmup", type=float, default=3.0,
                        help="seconds after the receiver starts before the window (3)")
    parser.add_argument("--rate", type=int, default=213, help="frames per second (213)")
    parser.add_argument("--startup-runs", type=int, default=3,
                        help="start-up measurements of velquor --simulate (3; 0 for none)")
    parser.add_argument("--check-goals", action="store_true",
                        help="also fail when a goal is missed")
    parser.add_argument("--json", help="write the report as JSON to this file")
    parser.add_argument("--keep", help="keep the logs in this directory")
    args = parser.parse_args(argv)
    targets = [t for t in args.targets.split(",") if t]
    if not targets or any(t not in ("gui", "cli") for t in targets):
        parser.error("--targets takes gui, cli or both")
    if args.seconds < 1 or args.warmup < 0.5 or not 1 <= args.rate <= 213:
        parser.error("need --seconds >= 1, --warmup >= 0.5 and --rate 1..213")
    build = os.path.abspath(args.build)
    args.gui = os.path.join(build, "src", "app", "velquor")
    args.cli = os.path.join(build, "tools", "cli", "velquor-cli")
    args.sim = os.path.join(build, "tools", "meter_sim", "velquor-meter-sim")
    needed = [args.sim] + [args.gui if t == "gui" else args.cli for t in targets]
    if args.startup_runs > 0:
        needed.append(args.gui)
    for program in needed:
        if not os.access(program, os.X_OK):
            parser.error("%s not built" % program)

    report = {"machine": machine(), "rate": args.rate, "seconds": args.seconds,
              "warmup": args.warmup}
    failed = False
    work = args.keep or tempfile.mkdtemp(prefix="velquor-e2e-")
    os.makedirs(work, exist_ok=True)
    try:
        for kind in targets:
            print("running %s for %.0f s ..." % (kind, args.warmup + args.seconds + DRAIN_S),
                  file=sys.stderr)
            try:
                report[kind] = run_receiver(kind, args, work)
            except (RuntimeError, ea.LogError) as e:
                print("%s: %s" % (kind, e), file=sys.stderr)
                failed = True
        if args.startup_runs > 0 and "gui" in targets:
            try:
                report["startup"] = run_startup(args, work)
            except (RuntimeError, ea.LogError, subprocess.TimeoutExpired) as e:
                print("start-up: %s" % e, file=sys.stderr)
                failed = True
    finally:
        if not args.keep:
            for name in os.listdir(work):
                os.remove(os.path.join(work, name))
            os.rmdir(work)
    report["goals"] = goal_checks(report)
    print_report(report)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(report, f, indent=2)
    lost = any(report[k]["frames_lost"] for k in targets if k in report)
    missed = any(not met for _, met in report["goals"])
    if failed or lost:
        return 1
    return 1 if args.check_goals and missed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
