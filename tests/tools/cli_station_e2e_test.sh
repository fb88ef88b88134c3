#!/usr/bin/env bash
# velquor-cli with two meters, each a velquor-meter-sim on its own pseudo-terminal:
# names and times in what it prints, CSV and per-meter logs, a meter lost while the
# other goes on, and reconnecting to a meter whose link is re-pointed at a new terminal.
# Usage: cli_station_e2e_test.sh CLI METER_SIM
set -u
cli=$1
sim=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; kill -CONT "$p" 2>/dev/null; done
  # A simulator that was stopped and continued can wedge in a sanitizer's exit-time
  # leak check; give each a bounded time to end, then kill it.
  for p in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

# Starts a simulator; sets $port to its terminal and $sim_pid.
start_sim() {
  local out="$work/port.${#pids[@]}"
  "$sim" "$@" >"$out" 2>/dev/null &
  sim_pid=$!
  pids+=("$sim_pid")
  for _ in $(seq 100); do
    port=$(head -n1 "$out")
    [ -n "$port" ] && return
    sleep 0.05
  done
  echo "simulator did not start"
  exit 1
}

start_sim --interval-ms 50 --power -10
a=$port
start_sim --interval-ms 50 --power 5
b=$port

# --- info: one JSON object per meter, named by its path (no USB identity) ------
out=$("$cli" info --port "$a" --port "$b" --json 2>"$work/err") || fail "info exited $?: $(cat "$work/err")"
[ "$(grep -c '"serial":null' <<<"$out")" -eq 2 ] || fail "info serials: $out"
grep -q "\"meter\":\"$a\"" <<<"$out" && grep -q "\"meter\":\"$b\"" <<<"$out" || fail "info names: $out"

# --- monitor: local time and meter name on every line; JSON with time and power_w
"$cli" monitor --port "$a" --port "$b" --seconds 1.5 >"$work/mon" 2>"$work/err" || fail "monitor exited $?"
for m in "$a" "$b"; do
  n=$(grep -cE "^[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}  $m  measurement  battery .* power .* dBm" "$work/mon")
  [ "$n" -ge 10 ] || fail "monitor lines of $m: $n"
done
"$cli" monitor --port "$a" --port "$b" --seconds 1.5 --json >"$work/mon.json" || fail "monitor --json exited $?"
python3 - "$work/mon.json" "$a" "$b" <<'PY' || fail "monitor --json content"
import json, math, sys, re
lines = [json.loads(l) for l in open(sys.argv[1])]
by = {m: [l for l in lines if l["meter"] == m] for m in sys.argv[2:]}
assert all(len(v) >= 10 for v in by.values()), {k: len(v) for k, v in by.items()}
want = {sys.argv[2]: -10.0, sys.argv[3]: 5.0}
for m, rows in by.items():
    times = [r["time"] for r in rows]
    assert all(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", t) for t in times), times[0]
    assert times == sorted(times), "out of order"
    for r in rows:
        assert r["opcode"] == 228 and r["power_dbm"] == want[m], r
        assert math.isclose(r["power_w"], 10 ** (r["power_dbm"] / 10) / 1000), r
PY

# --- log --format csv: one file, a row per meter per period, '.' decimals, LF ---
LC_ALL=de_DE.UTF-8 "$cli" log --port "$a" --port "$b" --format csv --file "$work/all.csv" --seconds 2.5 \
  >"$work/out" 2>"$work/err" || fail "csv log exited $?: $(cat "$work/err")"
[ "$(head -n1 "$work/all.csv")" = "time,meter,power_dbm,power_w,temperature_c,battery,frames,power_dbm_mean,power_dbm_min,power_dbm_max" ] || fail "csv header"
grep -q $'\r' "$work/all.csv" && fail "csv has CR line ends"
[ "$(grep -c ",$a,-10," "$work/all.csv")" -eq 2 ] && [ "$(grep -c ",$b,5," "$work/all.csv")" -eq 2 ] \
  || fail "csv rows: $(cat "$work/all.csv")"
[ "$(cat "$work/out")" = "4 rows written to $work/all.csv" ] || fail "csv summary: $(cat "$work/out")"
# Each row stamped with its reading's time: never going back down the file.
python3 - "$work/all.csv" <<'PY' || fail "csv times: $(cat "$work/all.csv")"
import csv, sys
times = [r["time"] for r in csv.DictReader(open(sys.argv[1]))]
assert times == sorted(times), times
PY
# Every reading of the period counted (20 a second), with their min and max.
awk -F, 'NR > 1 && ($7 < 15 || $7 > 25 || $9 != $3 || $10 != $3)' "$work/all.csv" | grep -q . \
  && fail "csv period columns: $(cat "$work/all.csv")"

# --- log text: one file per meter, and FILE must say where -------------------
"$cli" log --port "$a" --port "$b" --file "$work/one.txt" --seconds 1 2>"$work/err" && fail "two meters to one text file"
[ -e "$work/one.txt" ] && fail "refused log created its file"
grep -q '{meter}' "$work/err" || fail "{meter} message: $(cat "$work/err")"
"$cli" log --port "$a" --port "$b" --file "$work/m-{meter}.txt" --seconds 1.5 >/dev/null 2>&1 || fail "per-meter log"
for m in "$a" "$b"; do
  f="$work/m-${m//\//_}.txt"
  [ "$(grep -c $'^0\t' "$f" 2>/dev/null)" -eq 1 ] || fail "per-meter file $f"
done
# Two names that map to one file name are refused, not interleaved in one file.
ln -s "$a" "$work/p q"
ln -s "$b" "$work/p_q"
"$cli" log --port "$work/p q" --port "$work/p_q" --file "$work/x-{meter}.txt" --seconds 1 2>"$work/err" \
  && fail "two meters logged to one file"
shared="$work/x-${work//\//_}_p_q.txt"
[ -e "$shared" ] && fail "refused log created its file"
grep -q "would both be logged to $shared" "$work/err" || fail "shared file message: $(cat "$work/err")"

# --- files that fill up during a log: every file says what it holds -----------
# A file-size limit of 200 bytes: the two lines ahead of the rows and two rows. The
# messages go through a pipe, which the limit does not touch.
prlimit --fsize=200:200 "$cli" log --port "$a" --port "$b" --file "$work/f-{meter}.txt" --seconds 6 \
  2>&1 >/dev/null | cat >"$work/err"
status=${PIPESTATUS[0]}
[ "$status" -eq 1 ] || fail "log to full files exited $status"
for m in "$a" "$b"; do
  f="$work/f-${m//\//_}.txt"
  grep -q "^velquor-cli: $m: 2 rows written to $f, then the file could not be written: File too large$" \
    "$work/err" || fail "full file of $m: $(cat "$work/err")"
  grep -qE "^[0-9:]{8} cannot write $f: File too large; its rows stop$" "$work/err" \
    || fail "full file of $m told late: $(cat "$work/err")"
  [ "$(grep -c $'^[0-9]*\t.*\t\r$' "$f")" -eq 2 ] && [ "$(tail -c 2 "$f" | od -An -tx1 | tr -d ' ')" = "0d0a" ] \
    || fail "full file $f: $(cat -A "$f")"
done

# --- a meter that cannot be opened: nothing runs unless --keep-going ------------
"$cli" monitor --port "$a" --port "$work/none" --seconds 1 >"$work/mon" 2>"$work/err"
[ $? -eq 1 ] && [ ! -s "$work/mon" ] || fail "monitor went on without --keep-going"
grep -q "$work/none" "$work/err" || fail "failed meter not named: $(cat "$work/err")"
"$cli" monitor --port "$a" --port "$work/none" --seconds 1 --keep-going >"$work/mon" 2>/dev/null
[ $? -eq 1 ] && grep -q "$a  measurement" "$work/mon" || fail "--keep-going did not go on"

# --- one meter lost during a log: its rows stop, the other's go on, status 1 ----
start_sim --interval-ms 50 --exit-after 2.5
c=$port
"$cli" log --port "$c" --port "$b" --format csv --file "$work/lost.csv" --seconds 5 >/dev/null 2>"$work/err"
[ $? -eq 1 ] || fail "log with a lost meter did not fail"
grep -q "$c: the meter was lost after [0-9] rows" "$work/err" || fail "loss report: $(cat "$work/err")"
last_c=$(grep -n ",$c," "$work/lost.csv" | tail -1 | cut -d: -f1)
last_b=$(grep -n ",$b," "$work/lost.csv" | tail -1 | cut -d: -f1)
[ "$(grep -c ",$b," "$work/lost.csv")" -eq 5 ] && [ "$last_b" -gt "$((last_c + 2))" ] \
  || fail "rows after the loss: $(cat "$work/lost.csv")"

# --- a meter that falls silent and talks again: monitor goes on -----------------
"$cli" monitor --port "$a" --seconds 4 >"$work/mon" 2>&1 &
cli_pid=$!
sleep 1
kill -STOP "${pids[0]}"
sleep 1.8
kill -CONT "${pids[0]}"
wait $cli_pid || fail "monitor of a silent meter exited $?"
grep -A1 'link lost' "$work/mon" | grep -q reconnected && [ "$(sed -n '/reconnected/,$p' "$work/mon" | grep -c measurement)" -ge 5 ] \
  || fail "readings did not resume: $(grep -v measurement "$work/mon")"

# --- reconnect: the meter's link is re-pointed to a new terminal ----------------
# A meter that goes away is killed here and its link pointed nowhere at once: a
# freed terminal number may be taken by another program at any moment.
unplug() {  # PID
  kill "$1"
  ln -sfn "$work/nowhere" "$work/meter"
}
start_sim --interval-ms 50
ln -s "$port" "$work/meter"
"$cli" log --port "$work/meter" --reconnect --file "$work/r.txt" --seconds 7 >"$work/out" 2>"$work/err" &
cli_pid=$!
sleep 2
unplug $sim_pid
sleep 2.5
start_sim --interval-ms 50
ln -sfn "$port" "$work/meter"
wait $cli_pid || fail "reconnecting log exited $?: $(cat "$work/err")"
grep -qE "^[0-9:]{8} $work/meter: link lost; reconnecting$" "$work/err" || fail "loss line: $(cat "$work/err")"
grep -qE "^[0-9:]{8} $work/meter: reconnected after [0-9.]+ s$" "$work/err" || fail "return line: $(cat "$work/err")"
python3 - "$work/r.txt" <<'PY' || fail "rows around the gap: $(cat -A "$work/r.txt")"
import sys, datetime
lines = open(sys.argv[1], "rb").read().split(b"\r\n")
assert lines[-1] == b"", "file ends inside a row"
rows = [l.split(b"\t") for l in lines[2:-1]]
assert all(len(r) == 7 and r[-1] == b"" for r in rows), rows
assert [int(r[0]) for r in rows] == list(range(len(rows))), "index not continuous"
t = [datetime.datetime.strptime(r[4].decode(), "%H:%M:%S") for r in rows]
gaps = [(b - a).seconds for a, b in zip(t, t[1:])]
assert max(gaps) >= 2 and len(rows) >= 4, gaps
PY

# --- the reconnect time-out, and Ctrl-C during the wait ------------------------
ln -sfn "$port" "$work/meter"
"$cli" monitor --port "$work/meter" --reconnect --reconnect-timeout 2 --json >"$work/mon" 2>"$work/err" &
cli_pid=$!
sleep 1.5
unplug $sim_pid
start=$(date +%s%N)
wait $cli_pid
status=$?
took=$(ms_since "$start")
# About 1 s to notice the loss, then the 2 s time-out.
[ $status -eq 1 ] && [ $took -lt 6000 ] || fail "time-out: status $status after $took ms"
grep -q '"event":"link_lost"' "$work/mon" || fail "no link_lost event"
grep -q '"event":"reconnected"' "$work/mon" && fail "reconnected to something else: $(cat "$work/err")"
grep -q 'no longer waiting' "$work/err" || fail "time-out message: $(cat "$work/err")"
start_sim --interval-ms 50
ln -sfn "$port" "$work/meter"
"$cli" monitor --port "$work/meter" --reconnect --seconds 30 >/dev/null 2>&1 &
cli_pid=$!
sleep 1.5
unplug $sim_pid
sleep 2
start=$(date +%s%N)
kill -INT $cli_pid
wait $cli_pid
status=$?
took=$(ms_since "$start")
[ $took -lt 1000 ] && [ $status -eq 0 ] || fail "Ctrl-C during the wait: status $status after $took ms"

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all station end-to-end checks passed"
