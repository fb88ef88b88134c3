#!/usr/bin/env bash
# velquor-cli publish (and serve --publish) as a user runs it: the option checks that guard the password,
# and two simulated meters published to a mosquitto the test starts on a free
# loopback port, read back with mosquitto_sub.
# Usage: cli_publish_test.sh CLI METER_SIM
set -u
cli=$1
sim=$2
# Ctrl-C's clean ending is checked for what it says, not for the 0.8 s it has on a
# quiet machine: sanitizer builds on a loaded machine take longer.
export VELQUOR_STOP_GRACE_MS=5000
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
unset VELQUOR_MQTT_PASSWORD

# --- the password stays off the command line and off the network in clear ----
"$cli" publish --broker 127.0.0.1 --password s3cret --simulate 2>"$work/err"
[ $? -eq 2 ] || fail "--password on the command line was accepted"
printf 's3cret\n' >"$work/password"
VELQUOR_MQTT_PASSWORD=x "$cli" publish --broker 192.0.2.1 --username u --simulate --seconds 1 \
  2>"$work/err"
[ $? -eq 1 ] && grep -q -- "--insecure" "$work/err" || fail "clear password to a remote host: $(cat "$work/err")"
"$cli" publish --broker 192.0.2.1 --password-file "$work/password" --simulate 2>"$work/err"
[ $? -eq 2 ] && grep -q -- "--username" "$work/err" || fail "password without user: $(cat "$work/err")"
# Refused before any connection: status, then a word the message must hold.
VELQUOR_MQTT_PASSWORD=x "$cli" publish --broker 127.0.0.1 --simulate 2>"$work/err"
[ $? -eq 2 ] && grep -q VELQUOR_MQTT_PASSWORD "$work/err" || fail "env password without user: $(cat "$work/err")"
while IFS='|' read -r expect word args; do
  eval "\"\$cli\" publish --broker 127.0.0.1:1 --simulate --seconds 1 $args" 2>"$work/err" >/dev/null
  status=$?
  [ $status -eq "$expect" ] && grep -q -- "$word" "$work/err" ||
    fail "publish $args: status $status, $(cat "$work/err")"
done <<EOF2
1|the stand name is empty|--stand ''
1|is a directory|--username u --password-file "$work"
1|--tls-ca: |--tls-ca "$work/password"
EOF2

# --- two meters through a real broker -----------------------------------------
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >"$work/mosquitto.conf"
[ "$(id -u)" -eq 0 ] && echo "user root" >>"$work/mosquitto.conf"
/usr/sbin/mosquitto -c "$work/mosquitto.conf" 2>"$work/broker.log" &
broker=$!
pids+=($broker)
for _ in $(seq 50); do mosquitto_pub -p "$port" -t probe -n 2>/dev/null && break; sleep 0.1; done
mosquitto_sub -p "$port" -t 'velquor/v1/e2e/#' -v >"$work/received" &
pids+=($!)
sleep 0.3
out=$("$cli" publish --broker "127.0.0.1:$port" --stand e2e --simulate 2 --seconds 2 2>"$work/err")
[ $? -eq 0 ] || fail "publish exited non-zero: $(cat "$work/err")"
grep -q '^published .* of 2 meters .* 0 dropped past the buffer, 0 dropped as the publisher fell behind, 0 not delivered$' <<<"$out" ||
  fail "summary: $out"
sleep 0.5
for meter in OV227700 OV227701; do
  grep -q "^velquor/v1/e2e/$meter/power {\"v\":1,\"session\":\"[0-9a-f]\{16\}\",\"seq\":1," \
    "$work/received" || fail "no first power message of $meter"
  grep -q "^velquor/v1/e2e/$meter/status .*\"connected\":true" "$work/received" ||
    fail "no status of $meter"
done
grep -q '^velquor/v1/e2e/status {"state":"online"' "$work/received" || fail "no online status"
[ "$(grep '^velquor/v1/e2e/status ' "$work/received" | tail -n1)" = \
  "velquor/v1/e2e/status {\"state\":\"offline\",\"session\":\"$(grep -o '"session":"[0-9a-f]*"' \
    "$work/received" | head -n1 | cut -d'"' -f4)\"}" ] || fail "the last stand status is not offline"

# A second run finds the retained state of the first: the broker keeps it.
timeout 5 mosquitto_sub -p "$port" -t 'velquor/v1/e2e/status' -C 1 >"$work/retained"
grep -q '"state":"offline"' "$work/retained" || fail "retained status: $(cat "$work/retained")"

# Ctrl-C ends publish with 0 when every reading reached the broker, with 1 when some
# did not (here no broker listens on port 1).
while IFS="|" read -r target expect; do
  "$cli" publish --broker "$target" --stand ctrlc --simulate >/dev/null 2>"$work/err" &
  publisher=$!
  sleep 1.5
  kill -INT "$publisher"
  wait "$publisher"
  status=$?
  [ $status -eq "$expect" ] || fail "Ctrl-C to publish to $target: status $status, $(cat "$work/err")"
  if [ "$expect" -eq 1 ]; then
    grep -q 'did not reach the broker' "$work/err" || fail "undelivered message: $(cat "$work/err")"
  fi
done <<EOF2
127.0.0.1:$port|0
127.0.0.1:1|1
EOF2

# A publisher that is killed leaves its Last Will: the stand is "lost".
"$cli" publish --broker "127.0.0.1:$port" --stand killed --simulate 2>/dev/null >/dev/null &
publisher=$!
pids+=($publisher)
timeout 10 mosquitto_sub -p "$port" -t 'velquor/v1/killed/status' -C 1 >"$work/online"
grep -q '"state":"online"' "$work/online" || fail "killed: no online status first"
{ kill -KILL "$publisher" && wait "$publisher"; } 2>/dev/null
# The broker may take a moment to notice; the retained status turns "lost".
for _ in $(seq 50); do
  timeout 5 mosquitto_sub -p "$port" -t 'velquor/v1/killed/status' -C 1 >"$work/will"
  grep -q '"state":"lost"' "$work/will" && break
  sleep 0.1
done
grep -q '"state":"lost"' "$work/will" || fail "killed: the will is not 'lost': $(cat "$work/will")"

# A meter that comes back after a loss is published as it is now: here behind a
# link re-pointed at a new terminal whose meter is set to another frequency.
start_sim() {  # sets $meter_pid and $meter_port
  "$sim" --interval-ms 50 "$@" >"$work/sim.out" 2>/dev/null &
  meter_pid=$!
  pids+=($meter_pid)
  for _ in $(seq 100); do
    meter_port=$(head -n1 "$work/sim.out")
    [ -n "$meter_port" ] && return
    sleep 0.05
  done
  fail "the meter simulator did not start"
}
start_sim
ln -s "$meter_port" "$work/meter"
mosquitto_sub -p "$port" -t 'velquor/v1/back/meter/status' >"$work/back" &
pids+=($!)
sleep 0.3
"$cli" publish --broker "127.0.0.1:$port" --stand back --port "$work/meter" --reconnect \
  --seconds 8 >/dev/null 2>"$work/err" &
publisher=$!
sleep 2
kill "$meter_pid"
ln -sfn "$work/nowhere" "$work/meter"
sleep 2
start_sim --record 12852A000300050000  # 900 MHz
ln -sfn "$meter_port" "$work/meter"
wait "$publisher" || fail "reconnecting publish exited $?: $(cat "$work/err")"
grep -q '"frequency_mhz":1700.0,.*"connected":true' "$work/back" &&
  grep -q '"frequency_mhz":1700.0,.*"connected":false' "$work/back" &&
  grep -q '"frequency_mhz":900.0,.*"connected":true' "$work/back" ||
  fail "the meter's status around its return: $(cat "$work/back")"
# At a clean exit no meter is left "connected".
tail -n1 "$work/back" | grep -q '"frequency_mhz":900.0,.*"connected":false' ||
  fail "the meter's last status: $(tail -n1 "$work/back")"

# Ctrl-C while the broker has stopped answering: the command still ends within the
# stop signal's grace, with its summary line, and leaves the broker free to publish
# the will when it goes on, rather than keep the stand "online".
"$cli" publish --broker "127.0.0.1:$port" --stand stuck --simulate 2 >"$work/out" 2>"$work/err" &
publisher=$!
pids+=($publisher)
timeout 10 mosquitto_sub -p "$port" -t 'velquor/v1/stuck/status' -C 1 >/dev/null
kill -STOP "$broker"
sleep 1
kill -INT "$publisher"
wait "$publisher"
status=$?
kill -CONT "$broker"
[ $status -le 1 ] && grep -q '^published ' "$work/out" ||
  fail "Ctrl-C with the broker stopped: status $status, $(cat "$work/out" "$work/err")"
for _ in $(seq 50); do
  timeout 5 mosquitto_sub -p "$port" -t 'velquor/v1/stuck/status' -C 1 >"$work/will"
  grep -q '"state":"lost"' "$work/will" && break
  sleep 0.1
done
grep -q '"state":"lost"' "$work/will" || fail "stopped broker: the stand is $(cat "$work/will")"

# --- serve --publish: one process answers SCPI and publishes the same meter -----
scpi_ask() {  # PORT QUERY: the first line of the answer
  exec 3<>"/dev/tcp/127.0.0.1/$1" && printf '%s\n' "$2" >&3 && timeout 3 head -n1 <&3
  exec 3<&-
}
serve_port() {  # the port serve tells in its first line on $work/serve.out
  for _ in $(seq 100); do
    local p
    p=$(grep -o 'on 127.0.0.1:[0-9]*' "$work/serve.out" 2>/dev/null | cut -d: -f2)
    [ -n "$p" ] && echo "$p" && return
    sleep 0.05
  done
}
mosquitto_sub -p "$port" -t 'velquor/v1/both/#' -v >"$work/both" &
pids+=($!)
sleep 0.3
"$cli" serve --listen 127.0.0.1:0 --publish "127.0.0.1:$port" --stand both --qos 0 --simulate \
  >"$work/serve.out" 2>"$work/err" &
server=$!
pids+=($server)
scpi=$(serve_port)
sleep 1
fetched=$(scpi_ask "$scpi" 'FETC?' | tr -d '\r')
kill -INT "$server"
wait "$server"
status=$?
sleep 0.5
[ $status -eq 0 ] || fail "serve --publish: status $status, $(cat "$work/err")"
grep -q '^published .* of 1 meter .* 0 not delivered$' "$work/serve.out" ||
  fail "serve --publish summary: $(cat "$work/serve.out")"
# The answer is one of the readings that went to the broker (which has one decimal).
python3 - "$fetched" "$work/both" <<'PY' || fail "FETC? '$fetched' is not among the published readings"
import json, sys
dbm = [v for line in open(sys.argv[2]) if "/OV227700/power " in line
       for v in json.loads(line.split(" ", 1)[1])["dbm"]]
sys.exit(0 if dbm and min(dbm) - 0.05 <= float(sys.argv[1]) <= max(dbm) + 0.05 else 1)
PY

# A broker that is not there: the server goes on answering and says so; Ctrl-C
# then fails, as publish alone does, for the readings that never left.
"$cli" serve --listen 127.0.0.1:0 --publish 127.0.0.1:1 --simulate >"$work/serve.out" \
  2>"$work/err" &
server=$!
pids+=($server)
scpi=$(serve_port)
sleep 1.5
answer=$(scpi_ask "$scpi" 'FETC?')
kill -INT "$server"
wait "$server"
status=$?
[[ $answer == [0-9-]*E* ]] || fail "no FETC? answer with the broker away: '$answer'"
[ $status -eq 1 ] && grep -q 'cannot reach broker' "$work/err" &&
  grep -q 'did not reach the broker' "$work/err" ||
  fail "serve with the broker away: status $status, $(cat "$work/err")"

# MQTT options without --publish, and bad ones with it, are refused before any meter.
while IFS='|' read -r expect word args; do
  eval "\"\$cli\" serve --listen 127.0.0.1:0 --simulate $args" 2>"$work/err" >/dev/null
  status=$?
  [ $status -eq "$expect" ] && grep -q -- "$word" "$work/err" ||
    fail "serve $args: status $status, $(cat "$work/err")"
done <<EOF2
2|--stand needs --publish|--stand x
2|--insecure needs --publish|--insecure
1|--qos takes 0 or 1|--publish 127.0.0.1 --qos 2
2|--tls-cert and --tls-key need --tls-ca|--publish 127.0.0.1 --tls-cert a --tls-key b
1|the stand name is empty|--publish 127.0.0.1 --stand ''
EOF2

[ $failures -eq 0 ] && echo "publish end to end: all checks passed"
exit $((failures > 0))
