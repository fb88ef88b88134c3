#!/usr/bin/env bash
# velquor-cli against velquor-meter-sim on a pseudo-terminal: the serial backend
# end to end, checking what the meter received.
# Usage: cli_e2e_test.sh CLI METER_SIM
set -u
cli=$(readlink -f "$1")
sim=$(readlink -f "$2")
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Starts a simulator with the given options; sets $port.
start_sim() {
  if [ ${#pids[@]} -gt 0 ]; then
    kill "${pids[-1]}" 2>/dev/null; wait "${pids[-1]}" 2>/dev/null
  fi
  coproc SIM { exec "$sim" "$@" 2>/dev/null; }
  pids+=("$SIM_PID")
  read -r -t 10 port <&"${SIM[0]}" || { echo "simulator did not start"; exit 1; }
}

# --- info: the record the meter holds, read over the tty --------------------
start_sim --record 12852A16010A190000 --interval-ms 50 --record-out "$work/record1"
out=$("$cli" info --port "$port" --json) || fail "info exited $?"
grep -q '"calibration_date":"MAY-18-2015"' <<<"$out" || fail "info date: $out"
grep -q '"frequency_mhz":1710' <<<"$out" || fail "info frequency: $out"
grep -q '"cable_loss_db":2.2' <<<"$out" || fail "info cable loss: $out"
grep -q '"show_dbm":true,"show_watt":false' <<<"$out" || fail "info flags: $out"

# --- setup: the record bytes the meter received ------------------------------
out=$("$cli" setup --port "$port" --frequency 2000 --cable-loss 2.26 --show-watt on 2>"$work/err")
status=$?
[ $status -eq 0 ] || fail "setup exited $status: $(cat "$work/err")"
[ "$out" = $'This unit has been set successfully!\nCable loss written: 2.3 dB (2.26 dB, to the tenth of a dB the meter stores)' ] \
  || fail "setup output: $out"
[ -s "$work/err" ] && fail "setup success also on stderr: $(cat "$work/err")"
# 2000 MHz: offset 1300 = 32 x 40 + 20; cable loss 2.26 dB -> 23 (0x17); dBm and Watt on.
[ "$(cat "$work/record1")" = "12852A170314200000" ] || fail "record after setup: $(cat "$work/record1")"

# --- setup refused: nothing is written, the message names option and range ---
before=$(cat "$work/record1")
while IFS='|' read -r args want; do
  # shellcheck disable=SC2086
  "$cli" setup --port "$port" $args >/dev/null 2>"$work/err" && fail "setup $args accepted"
  grep -q -- "$want" "$work/err" || fail "setup $args: $(cat "$work/err")"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "setup $args: not one line: $(cat "$work/err")"
  [ "$(cat "$work/record1")" = "$before" ] || fail "record changed by setup $args"
done <<'TABLE'
--frequency 2701|--frequency: 2701 MHz is out of range for a unit not calibrated for low frequency; enter a whole number from 700 to 2700 MHz
--frequency 2000.7|--frequency: "2000.7" is not a whole number
--frequency 1800abc|--frequency: "1800abc" is not a whole number
--frequency 0x700|--frequency: "0x700" is not a whole number
--frequency 450|700 to 2700 MHz, or give --low-frequency yes
--frequency 1800 --cable-loss 25.6|--cable-loss: 25.6 is out of range; enter a number from 0 to 25.5 dB
--frequency 1800 --cable-loss 2.5dB|--cable-loss: "2.5dB" is not a number
--frequency 1800 --show-dbm maybe|--show-dbm takes on or off
TABLE

# --- a comma as the decimal point; --low-frequency takes effect or is refused -
refused() {  # ARGS... : the setup is refused with one line and the record stays
  local before
  before=$(cat "$work/record1")
  "$cli" setup --port "$port" "$@" >/dev/null 2>"$work/err" && fail "setup $* accepted"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "setup $*: not one line: $(cat "$work/err")"
  [ "$(cat "$work/record1")" = "$before" ] || fail "record changed by setup $*"
}
refused --frequency 1800 --low-frequency yes
"$cli" setup --port "$port" --frequency 450 --cable-loss 2,5 --low-frequency yes >/dev/null 2>"$work/err" \
  || fail "setup 2,5 dB at 450 MHz: $(cat "$work/err")"
# 450 MHz on the 100 MHz base: offset 350 = 8 x 40 + 30; 2.5 dB -> 25 (0x19); bit 5 set
# beside the dBm and Watt flags.
[ "$(cat "$work/record1")" = "12852A19231E080000" ] || fail "record after 2,5 dB: $(cat "$work/record1")"
refused --frequency 2000 --low-frequency no
# Now a low-frequency unit: a refusal names its range.
refused --frequency 2800
grep -q 'for a unit calibrated for low frequency; enter a whole number from 150 to 2700 MHz' "$work/err" \
  || fail "low-frequency unit's range: $(cat "$work/err")"

# --- a relative --port is a path, not a serial number -------------------------
out=$(cd "$(dirname "$port")" && "$cli" info --port "./$(basename "$port")" --json 2>"$work/err") \
  || fail "relative --port: $(cat "$work/err")"
grep -q "\"path\":\"$port\"" <<<"$out" || fail "relative --port opened: $out"

# --- monitor: measurement frames as JSON, then a clean end -------------------
out=$("$cli" monitor --port "$port" --seconds 1 --json) || fail "monitor exited $?"
lines=$(grep -c '"opcode":228' <<<"$out")
[ "$lines" -ge 5 ] || fail "monitor saw $lines measurement lines"

# --- log: rows while connected, CR LF line ends --------------------------------
out=$("$cli" log --port "$port" --file "$work/log.txt" --rate 1,0 --seconds 2.5 --delimiter comma 2>"$work/err") \
  || fail "log exited $?: $(cat "$work/err")"
[ "$out" = "2 rows written to $work/log.txt" ] || fail "log success line: $out"
[ "$(head -c 2 "$work/log.txt" | od -An -c | tr -d ' ')" = "Or" ] || fail "log first line"
rows=$(grep -c $'^[0-9]*,[0-9.-]*,[0-9.]*,[0-9.-]*/[0-9.-]*,[0-9][0-9]:[0-9][0-9]:[0-9][0-9],[0-9][0-9]/[0-9][0-9]/[0-9]*,\r$' "$work/log.txt")
[ "$rows" -ge 2 ] || fail "log has $rows well-formed rows: $(cat -A "$work/log.txt")"
for args in "--rate 0.5" "--rate 1,5x" "--delimiter 5" "--delimiter ." "--delimiter :" "--delimiter /" \
  "--delimiter -" "--delimiter +" "--seconds 3abc"; do
  # shellcheck disable=SC2086
  "$cli" log --port "$port" --file "$work/log2.txt" $args 2>"$work/err" && fail "log $args accepted"
  [ -e "$work/log2.txt" ] && fail "log $args created its file"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "log $args: not one line: $(cat "$work/err")"
done
# Nothing written when the separator is empty or the file is a folder, which is
# named as one at once.
"$cli" log --port "$port" --file "$work/log2.txt" --delimiter "" 2>"$work/err" && fail "empty --delimiter accepted"
[ -e "$work/log2.txt" ] && fail "log --delimiter '' created its file"
grep -q -- '--delimiter takes .*not ""' "$work/err" || fail "empty --delimiter: $(cat "$work/err")"
for over in "" --overwrite; do
  "$cli" log --port "$port" --file "$work" $over 2>"$work/err" && fail "log to a folder $over"
  [ "$(cat "$work/err")" = "velquor-cli: $work is a folder; --file needs a file name" ] \
    || fail "log to a folder $over: $(cat "$work/err")"
done
# An existing file is kept unless --overwrite is given.
echo keep >"$work/old.txt"
"$cli" log --port "$port" --file "$work/old.txt" --seconds 1 2>"$work/err" && fail "existing file overwritten"
[ "$(cat "$work/old.txt")" = keep ] || fail "existing file changed"
grep -q 'exists; give --overwrite' "$work/err" || fail "existing file message: $(cat "$work/err")"
out=$("$cli" log --port "$port" --file "$work/old.txt" --seconds 1.5 --overwrite 2>"$work/err") \
  || fail "log --overwrite failed: $(cat "$work/err")"
[ "$out" = "1 row written to $work/old.txt" ] || fail "one row: $out"

# --- log until the meter falls silent: every row kept, the loss reported -----
start_sim --interval-ms 50 --silence-after 3.5
"$cli" log --port "$port" --file "$work/lost.txt" --rate 1 2>"$work/err"
status=$?
[ $status -eq 1 ] || fail "log after link loss exited $status"
grep -q 'the meter was lost after [0-9]* rows' "$work/err" || fail "loss message: $(cat "$work/err")"
reported=$(sed -n 's/.*lost after \([0-9]*\) rows.*/\1/p' "$work/err")
written=$(grep -c $'^[0-9]*\t.*\t\r$' "$work/lost.txt")
# A pseudo-terminal has no USB identity: the serial number is unknown, not made up.
[ "$(sed -n 1p "$work/lost.txt")" = $'Orvane Virid Irivi RA-Serial Number unknown\r' ] || fail "log line 1: $(sed -n 1p "$work/lost.txt" | cat -A)"
sed -n 2p "$work/lost.txt" | grep -q $'^#\tdBm\tWatt' || fail "log title line: $(sed -n 2p "$work/lost.txt" | cat -A)"
[ "$written" -ge 2 ] && [ "$written" = "$reported" ] || fail "rows: $written written, $reported reported"
[ "$(tail -c 2 "$work/lost.txt" | od -An -tx1 | tr -d ' ')" = "0d0a" ] || fail "log does not end with a whole row"

# --- a meter that is gone ends monitor and log at once, non-zero -------------
for cmd in monitor log; do
  start_sim --interval-ms 50 --exit-after 1.5
  args=(--port "$port")
  [ $cmd = log ] && args+=(--file "$work/gone.txt")
  start=$(date +%s%N)
  "$cli" $cmd "${args[@]}" >/dev/null 2>"$work/err"
  status=$?
  took=$((($(date +%s%N) - start) / 1000000))
  [ $status -eq 1 ] || fail "$cmd of a vanished meter exited $status"
  [ $took -lt 3500 ] || fail "$cmd took $took ms to end once the meter was gone"
  grep -q 'gone' "$work/err" || fail "$cmd gone message: $(cat "$work/err")"
done

# --- serve without --reconnect tells the operator when a meter is lost --------
start_sim --interval-ms 50 --exit-after 1.5
"$cli" serve --port "$port" --listen 127.0.0.1:0 >/dev/null 2>"$work/err" &
cli_pid=$!
sleep 4
kill -INT $cli_pid
wait $cli_pid
grep -qE "^[0-9]{2}:[0-9]{2}:[0-9]{2} $port: link lost$" "$work/err" || fail "serve loss: $(cat "$work/err")"
grep -q "^velquor-cli: $port: the meter is gone" "$work/err" || fail "serve gone: $(cat "$work/err")"

# --- Ctrl-C while setup waits for the acknowledgement -------------------------
start_sim --no-ack --interval-ms 50
"$cli" setup --port "$port" --frequency 1700 >/dev/null 2>"$work/err" &
cli_pid=$!
sleep 2
start=$(date +%s%N)
kill -INT $cli_pid
wait $cli_pid
status=$?
took=$((($(date +%s%N) - start) / 1000000))
[ $status -eq 130 ] || fail "setup after Ctrl-C exited $status"
[ $took -lt 1000 ] || fail "setup took $took ms to end after Ctrl-C"

# --- a unit that never acknowledges ------------------------------------------
start_sim --no-ack --interval-ms 50
out=$("$cli" setup --port "$port" --frequency 1700 2>"$work/err")
[ $? -eq 1 ] || fail "setup without acknowledgement did not fail"
grep -q 'The unit can not be set properly! Please reconnect the unit.' "$work/err" \
  || fail "no-ack message: $(cat "$work/err")"

# --- a port that cannot be opened ---------------------------------------------
"$cli" monitor --port "$work/nothing" --seconds 1 >/dev/null 2>"$work/err"
[ $? -eq 1 ] || fail "missing port did not exit 1"
[ "$(wc -l <"$work/err")" -eq 1 ] || fail "missing port error is not one line"

# --- durations that are not a sane number of seconds -------------------------
for bad in 1e300 5abc 0 -2 1,5,0; do
  "$cli" monitor --simulate --seconds "$bad" >/dev/null 2>"$work/err"
  [ $? -eq 1 ] || fail "--seconds $bad accepted"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "--seconds $bad error is not one line"
  grep -q -- '--seconds: .*from 0.001 to 31536000 s' "$work/err" || fail "--seconds $bad: $(cat "$work/err")"
done

# --- measurement math: read, limits and the exit status 3, statistics, loss table
start_sim --power -10 --battery 576 --interval-ms 50 --record-out "$work/record2"
out=$("$cli" read --port "$port" --json --average 4 --count 2 --unit w) || fail "read exited $?"
python3 - <<PY || fail "read --json: $out"
import json
rows = [json.loads(l) for l in """$out""".splitlines()]
assert len(rows) == 2 and all(abs(r["value"] - 1e-4) < 1e-12 and r["unit"] == "W" for r in rows), rows
assert all(abs(r["power_dbm"] + 10) < 1e-9 and r["limit"] is None and r["time"].endswith("Z") for r in rows), rows
PY
out=$("$cli" read --port "$port" --relative -13 --lower -12 --upper -5 --json) || fail "read in limits exited $?"
grep -q '"value":3.0,"unit":"dB","power_dbm":-10.0,"limit":"pass"' <<<"$out" || fail "relative read: $out"
# The raw battery number stays, with what the window's gauge shows beside it.
out=$("$cli" monitor --port "$port" --seconds 0.5 --json) || fail "monitor for the battery"
grep -q '"battery":576.0,"battery_percent":0,"battery_low":true' <<<"$out" || fail "battery: $out"
out=$("$cli" read --port "$port" --upper -12 2>"$work/err")
[ $? -eq 3 ] || fail "a value above --upper did not exit 3"
[ "$out" = "-10.00 dBm  fail" ] || fail "failed read: $out"
grep -q 'above the upper limit of -12.00 dBm' "$work/err" || fail "limit message: $(cat "$work/err")"
out=$("$cli" monitor --port "$port" --seconds 1.2 --offset 30 --stats --json) || fail "monitor --stats exited $?"
tail -n1 <<<"$out" | grep -qE '"event":"statistics","count":[0-9]+,"min_dbm":20.0,"max_dbm":20.0' \
  || fail "statistics: $(tail -n1 <<<"$out")"
tail -n1 <<<"$out" | grep -q '"invalid":0}$' || fail "statistics' invalid count: $(tail -n1 <<<"$out")"
printf '# cable\nMHz, dB\n700, 1.0\n2000, 2.3\n' >"$work/loss.txt"
out=$("$cli" setup --port "$port" --frequency 1350 --loss-table "$work/loss.txt") || fail "setup --loss-table"
# 1.65 dB at 1350 MHz, stored as 1.6 (16 = 0x10) since an exact half rounds down.
grep -q 'Cable loss written: 1.6 dB' <<<"$out" || fail "loss-table output: $out"
[ "$(cut -c7-8 "$work/record2")" = "10" ] || fail "record after --loss-table: $(cat "$work/record2")"
# A spreadsheet's "CSV UTF-8": a byte-order mark and CR LF line ends.
printf '\xEF\xBB\xBFMHz,dB\r\n700,1.0\r\n2000,2.3\r\n' >"$work/sheet.csv"
out=$("$cli" setup --port "$port" --frequency 1000 --loss-table "$work/sheet.csv" 2>"$work/err") \
  || fail "setup with a CSV UTF-8 table: $(cat "$work/err")"
grep -q 'Cable loss written: 1.3 dB' <<<"$out" || fail "CSV UTF-8 table output: $out"
printf '700 1.0\n650 2.0\n' >"$work/bad.txt"
before=$(cat "$work/record2")
"$cli" setup --port "$port" --frequency 1350 --loss-table "$work/bad.txt" 2>"$work/err" && fail "bad table accepted"
grep -q 'Line 2' "$work/err" || fail "bad table message: $(cat "$work/err")"
[ "$(cat "$work/record2")" = "$before" ] || fail "record changed by a bad table"
"$cli" setup --port "$port" --frequency 1350 --loss-table "$work" 2>"$work/err" && fail "a folder taken as a table"
grep -q 'cannot read .*: Is a directory' "$work/err" || fail "folder as table: $(cat "$work/err")"

# --- exit statuses: a malformed command line is 2, with one line --------------
while read -r status args; do
  # shellcheck disable=SC2086
  "$cli" $args >/dev/null 2>"$work/err"
  got=$?
  [ $got -eq "$status" ] || fail "'$args' exited $got, expected $status"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "'$args': not one line on stderr: $(cat "$work/err")"
done <<'TABLE'
2 monitor --bogus
2 info --jsn
2 --second 2 monitor
2 info --simulate --json extra
2 log --simulate
2 setup --simulate
2 list --port /dev/null
2 frobnicate
2 monitor --simulate --port /dev/null
1 monitor --port /nonexistent/tty
1 setup --simulate --frequency 12
1 info --simulate 3 --serial OV227703
1 read --simulate --average 1025
1 read --simulate --upper 1 --lower 2
1 read --simulate --unit dbw
2 setup --simulate --frequency 1800 --cable-loss 1 --loss-table x
2 monitor --simulate --reconnect-timeout 5
2 log --simulate --file x.csv --format csv --no-header
2 log --simulate --file x.csv --format csv --no-index
2 log --simulate --file x.csv --format csv --delimiter comma
TABLE
# An empty limit (an unset variable in a script) is refused, never a silent pass.
"$cli" read --simulate --upper "" >/dev/null 2>"$work/err"
[ $? -eq 1 ] || fail "read --upper '' did not exit 1"
grep -q -- '--upper needs a value' "$work/err" || fail "empty --upper: $(cat "$work/err")"
"$cli" monitor --help | grep -q -- '--seconds' || fail "monitor --help lacks --seconds"

# --- output that cannot be written fails, and monitor does not run on regardless
for args in "info --simulate --json" "list --simulate" "monitor --simulate"; do
  # shellcheck disable=SC2086
  timeout 10 "$cli" $args >/dev/full 2>"$work/err"
  got=$?
  [ $got -eq 1 ] || fail "'$args' to a full disk exited $got"
  grep -q '^velquor-cli: cannot write the output: No space left on device$' "$work/err" \
    || fail "'$args' to a full disk: $(cat "$work/err")"
done

# --- the simulated bus --------------------------------------------------------
out=$("$cli" list --simulate --json)
grep -q '"description":"Orvane Power Meter"' <<<"$out" || fail "list --simulate: $out"
# A bus without meters: an empty answer, and on stderr where to look.
if [ "$("$cli" list --all --json 2>/dev/null)" = "[]" ]; then
  out=$("$cli" list 2>"$work/err")
  [ $? -eq 0 ] && [ -z "$out" ] || fail "list without meters: $out"
  grep -q "^velquor-cli: no meter found: check that it is plugged in .*ftdi_sio" "$work/err" \
    || fail "list without meters: $(cat "$work/err")"
fi

# --- read with several meters: always in channel order -------------------------
for _ in 1 2 3; do
  out=$("$cli" read --simulate 3 --count 3 | cut -d' ' -f1 | tr '\n' ' ')
  [ "$out" = "OV227700 OV227701 OV227702 OV227700 OV227701 OV227702 OV227700 OV227701 OV227702 " ] \
    || fail "read order: $out"
  out=$("$cli" read --simulate 3 --count 2 --json | grep -o '"meter":"[^"]*"' | tr '\n' ' ')
  [ "$out" = '"meter":"OV227700" "meter":"OV227701" "meter":"OV227702" "meter":"OV227700" "meter":"OV227701" "meter":"OV227702" ' ] \
    || fail "read --json order: $out"
done

# --serial chooses among the simulated meters, as list --simulate 3 names them.
out=$("$cli" info --simulate 3 --serial OV227702 --serial OV227701 --json) || fail "simulated --serial"
[ "$(grep -o '"serial":"[^"]*"' <<<"$out" | xargs)" = "serial:OV227702 serial:OV227701" ] \
  || fail "simulated --serial opened: $out"

# --- the pty simulator: no identity a client could not see -------------------
"$sim" --serial OR000001 --exit-after 1 >/dev/null 2>"$work/err"
[ $? -eq 2 ] && grep -q -- '--simulate 3 --serial' "$work/err" || fail "sim --serial: $(cat "$work/err")"
"$sim" --exit-after 0.2 2>"$work/err" >/dev/null
grep -q 'no serial number' "$work/err" && ! grep -q 'OV227700\|Dunmarsh' "$work/err" \
  || fail "sim start notice: $(cat "$work/err")"

# --- serve --http: the option checks, then the page's stream from a pty meter --------
printf 'pw\n' >"$work/pw"
while IFS='|' read -r args want; do
  # shellcheck disable=SC2086
  "$cli" serve --simulate --listen 127.0.0.1:0 $args >/dev/null 2>"$work/err"
  status=$?
  [ $status -eq 2 ] && grep -q -- "$want" "$work/err" || fail "serve $args: status $status, $(cat "$work/err")"
done <<TABLE
--no-scpi|--no-scpi needs --http
--http-write --http-password-file $work/pw|--http-write needs --http
--http --http-write|--http-write needs --http-password-file
--http --http-password-file $work/pw|only for --http-write
--http 0.0.0.0:0 --http-write --http-password-file $work/pw|loopback
--http 127.0.0.1:x|--http takes ADDRESS:PORT
TABLE
start_sim --interval-ms 20
"$cli" serve --port "$port" --no-scpi --http 127.0.0.1:0 >"$work/serve.out" 2>"$work/err" &
server=$!
pids+=($server)
web=
for _ in $(seq 100); do
  web=$(sed -n 's|^Web page on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/serve.out")
  [ -n "$web" ] && break
  sleep 0.1
done
out=$(python3 - "$web" <<'PY' 2>&1
import http.client, json, sys
c = http.client.HTTPConnection("127.0.0.1", int(sys.argv[1]), timeout=5)
c.request("GET", "/api/stream")
r = c.getresponse()
lines = []
while len(lines) < 3:
    line = r.readline().decode()
    if line.startswith("data: {"):
        lines.append(json.loads(line[6:]))
print(" ".join(sorted({l["meter"] for l in lines})), all("power_dbm" in l for l in lines))
PY
)
[ "$out" = "$port True" ] || fail "serve --http stream: $out $(cat "$work/err")"
kill -INT "$server"
wait "$server"
status=$?
[ $status -eq 0 ] || fail "serve --http ended with $status: $(cat "$work/err")"

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all CLI end-to-end checks passed"
