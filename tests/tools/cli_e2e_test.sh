#!/usr/bin/env bash
# velquor-cli against velquor-meter-sim on a pseudo-terminal: the serial backend
# end to end, checking what the meter received.
# Usage: cli_e2e_test.sh CLI METER_SIM
set -u
cli=$1
sim=$2
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
[ "$out" = "This unit has been set successfully!" ] || fail "setup output: $out"
# 2000 MHz: offset 1300 = 32 x 40 + 20; cable loss 2.26 dB -> 23 (0x17); dBm and Watt on.
[ "$(cat "$work/record1")" = "12852A170314200000" ] || fail "record after setup: $(cat "$work/record1")"

# --- setup refused: nothing is written ---------------------------------------
before=$(cat "$work/record1")
"$cli" setup --port "$port" --frequency 2701 >/dev/null 2>"$work/err" && fail "2701 accepted"
grep -q 'Frequency (2701 MHz) is out of range!' "$work/err" || fail "range message: $(cat "$work/err")"
[ "$(cat "$work/record1")" = "$before" ] || fail "record changed by a refused setup"

# --- monitor: measurement frames as JSON, then a clean end -------------------
out=$("$cli" monitor --port "$port" --seconds 1 --json) || fail "monitor exited $?"
lines=$(grep -c '"opcode":228' <<<"$out")
[ "$lines" -ge 5 ] || fail "monitor saw $lines measurement lines"

# --- log: rows while connected, CR LF line ends --------------------------------
"$cli" log --port "$port" --file "$work/log.txt" --rate 1.0 --seconds 2.5 --delimiter comma 2>"$work/err" \
  || fail "log exited $?: $(cat "$work/err")"
[ "$(head -c 2 "$work/log.txt" | od -An -c | tr -d ' ')" = "Or" ] || fail "log first line"
rows=$(grep -c $'^[0-9]*,[0-9.-]*,[0-9.]*,[0-9.-]*/[0-9.-]*,[0-9][0-9]:[0-9][0-9]:[0-9][0-9],[0-9][0-9]/[0-9][0-9]/[0-9]*,\r$' "$work/log.txt")
[ "$rows" -ge 2 ] || fail "log has $rows well-formed rows: $(cat -A "$work/log.txt")"
"$cli" log --port "$port" --file "$work/log2.txt" --rate 0.5 2>"$work/err" && fail "rate 0.5 accepted"
[ -e "$work/log2.txt" ] && fail "a refused log created its file"

# --- log until the meter falls silent: every row kept, the loss reported -----
start_sim --interval-ms 50 --silence-after 3.5
"$cli" log --port "$port" --file "$work/lost.txt" --rate 1 --seconds 60 2>"$work/err"
status=$?
[ $status -eq 1 ] || fail "log after link loss exited $status"
grep -q 'the meter was lost after [0-9]* rows' "$work/err" || fail "loss message: $(cat "$work/err")"
reported=$(sed -n 's/.*lost after \([0-9]*\) rows.*/\1/p' "$work/err")
written=$(grep -c $'^[0-9]*\t.*\t\r$' "$work/lost.txt")
[ "$(sed -n 1p "$work/lost.txt")" = $'Orvane Virid Irivi RA-Serial Number 227700\r' ] || fail "log line 1: $(sed -n 1p "$work/lost.txt" | cat -A)"
sed -n 2p "$work/lost.txt" | grep -q $'^#\tdBm\tWatt' || fail "log title line: $(sed -n 2p "$work/lost.txt" | cat -A)"
[ "$written" -ge 2 ] && [ "$written" = "$reported" ] || fail "rows: $written written, $reported reported"
[ "$(tail -c 2 "$work/lost.txt" | od -An -tx1 | tr -d ' ')" = "0d0a" ] || fail "log does not end with a whole row"

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
for bad in 1e300 5abc 0 -2; do
  "$cli" monitor --simulate --seconds "$bad" >/dev/null 2>"$work/err"
  [ $? -eq 1 ] || fail "--seconds $bad accepted"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "--seconds $bad error is not one line"
done

# --- the simulated bus --------------------------------------------------------
out=$("$cli" list --simulate --json)
grep -q '"description":"Orvane Power Meter"' <<<"$out" || fail "list --simulate: $out"

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all CLI end-to-end checks passed"
