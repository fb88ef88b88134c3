#!/usr/bin/env bash
# The Windows build under Wine: its unit test programs, then velquor-cli.exe on the
# built-in simulated meter and on COM ports that Wine maps to the pseudo-terminals
# of the Linux velquor-meter-sim, and serve answering a Linux-side PyVISA client on
# loopback. A fresh Wine prefix per run, no display needed.
#   tests/windows/run_wine_tests.sh WINDOWS_BUILD LINUX_METER_SIM
set -uo pipefail
win=$(realpath "$1")
sim=$(realpath "$2")
cli=$win/tools/cli/velquor-cli.exe
here=$(dirname "$(realpath "$0")")
python=/usr/bin/python3  # Debian's, which has python3-pyvisa-py

missing=()
for p in wine wine64 python3-pyvisa-py; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

export WINEARCH=win64 WINEDEBUG=-all LANG=C.UTF-8
WINEPREFIX=$(mktemp -d /tmp/velquor-wine.XXXXXX)
export WINEPREFIX
work=$(mktemp -d /tmp/velquor-wine-work.XXXXXX)
wine=wine
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
sims=()
cleanup() {
  for p in "${sims[@]}"; do kill "$p" 2>/dev/null; done
  wineserver -k >/dev/null 2>&1
  rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT

start=$(date +%s)
failures=0
step() { echo "--- $* ($(($(date +%s) - start)) s)"; }
check() {  # check DESCRIPTION COMMAND...: passes when the command succeeds
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
# Serves a simulated meter on a pseudo-terminal and maps it to COMn: serve N ARGS...
serve() {
  local n=$1
  shift
  "$sim" "$@" >"$work/sim$n.out" 2>/dev/null &
  sims+=($!)
  for _ in $(seq 50); do [ -s "$work/sim$n.out" ] && break; sleep 0.1; done
  ln -sfn "$(head -1 "$work/sim$n.out")" "$WINEPREFIX/dosdevices/com$n"
}
# velquor-cli.exe with its CR LF line ends made LF, so texts compare as on Linux.
cli() {
  local status
  timeout 60 "$wine" "$cli" "$@" >"$work/stdout" 2>"$work/stderr"
  status=$?
  tr -d '\r' <"$work/stdout"
  tr -d '\r' <"$work/stderr" >&2
  return $status
}

step "Wine prefix"
# Started first and kept for the run (killed at the end), so it does not keep this
# script's output, into which it prints its object table when it is killed.
wineserver -p >/dev/null 2>&1
timeout 120 "$wine" wineboot -i >/dev/null 2>&1
# The prefix maps COM ports to /dev/ttyS*; these tests bring their own.
rm -f "$WINEPREFIX"/dosdevices/com*

step "unit tests"
serve 5 --rate 50
for exe in "$win"/tests/windows/*.exe; do
  filter=()
  # Linux device paths: Windows resolves --port to COM names, tested in win32_backend_tests.
  [ "$(basename "$exe")" = station_tests.exe ] && filter=(--gtest_filter=-DevicePath.RelativePathsAreMadeAbsolute)
  check "$(basename "$exe")" env VELQUOR_TEST_COM=COM5 timeout 300 "$wine" "$exe" --gtest_brief=1 "${filter[@]}"
done

step "velquor-cli.exe with the built-in simulated meter"
out=$(cli list --simulate)
check "list --simulate lists the meter" grep -q '^OV227700 - Orvane Power Meter' <<<"$out"
out=$(cli read --simulate --json)
check "read --simulate --json gives a reading" grep -q '"power_dbm":' <<<"$out"
out=$(cli publish --broker 127.0.0.1 --simulate 2>&1)
check "publish says it is not in this build (status 1)" \
  test $? -eq 1 -a "$out" = "velquor-cli: publish is not available in this build: it was built without the MQTT client library"

step "velquor-cli.exe on COM ports mapped to velquor-meter-sim"
out=$(cli monitor --port COM5 --seconds 2 --stats)
check "monitor on COM5 shows readings" grep -qE '^Count: +[1-9][0-9]' <<<"$out"
out=$(cli log --port com5 --seconds 2 --rate 1 --format csv --file "Z:$work/Messung µW 測定.csv" 2>&1)
check "log writes a file under a non-ASCII name" \
  test "$(grep -c '^20' "$work/Messung µW 測定.csv" 2>/dev/null)" -ge 1
serve 6 --rate 10
out=$(cli setup --port COM6 --frequency 915 --cable-loss 1.5 2>&1)
check "setup writes the record (status 0)" test $? -eq 0
cli info --port COM6 >"$work/info" 2>&1
check "info reads the written frequency and loss back" \
  grep -qzE 'Frequency: *915 MHz.*Cable loss: *1.5 dB' "$work/info"

step "velquor-meter-sim.exe on one end of a port pair, velquor-cli.exe on the other"
"$python" "$here/pty_pair.py" "$WINEPREFIX/dosdevices/com10" "$WINEPREFIX/dosdevices/com11" 20 \
  >"$work/pair" 2>&1 &
sims+=($!)
for _ in $(seq 50); do grep -q ready "$work/pair" && break; sleep 0.1; done
timeout 30 "$wine" "$win/tools/meter_sim/velquor-meter-sim.exe" --port COM10 --rate 100 \
  --exit-after 8 >/dev/null 2>&1 &
sleep 1
out=$(cli monitor --port COM11 --seconds 2 --stats)
check "monitor reads the Windows simulator through COM11" grep -qE '^Count: +[1-9][0-9]' <<<"$out"
out=$(cli info --port com11)
check "info gets the Windows simulator's answers" grep -q 'Firmware version: *1.10' <<<"$out"
timeout 30 "$wine" "$win/tools/meter_sim/velquor-meter-sim.exe" --rate 10 >"$work/nosim" 2>&1
status=$?
check "velquor-meter-sim.exe without --port: status 2, says what it needs" test $status -eq 2 -a \
  -n "$(grep -- '--port COMn is needed on Windows' "$work/nosim")"

step "bad input: the messages and exit statuses of Linux"
out=$(cli monitor --port COM77 --seconds 1 2>&1)
check "a missing COM port: status 1, 'No such file or directory'" \
  test $? -eq 1 -a "$out" = "velquor-cli: COM77: No such file or directory"
timeout 60 "$wine" "$cli" monitor --port COM5 --seconds 4 >/dev/null 2>&1 &
holder=$!
sleep 2
out=$(cli read --port COM5 2>&1)
check "a port held by another program: status 1, 'device busy'" \
  test $? -eq 1 -a "$out" = "velquor-cli: COM5: device busy"
wait $holder
serve 7 --rate 50 --exit-after 3
out=$(cli log --port COM7 --seconds 20 --rate 1 --file "Z:$work/gone.txt" 2>&1)
status=$?
check "a port that disappears mid-log: status 1, the meter is gone" \
  test $status -eq 1 -a -n "$(grep 'the meter was lost after [0-9]* rows written to .*gone.txt (the meter is gone' <<<"$out")"

step "reconnect: the meter's terminal goes and comes back"
serve 8 --rate 50 --exit-after 2
timeout 60 "$wine" "$cli" monitor --port COM8 --seconds 8 --reconnect >/dev/null 2>"$work/reconnect" &
monitor=$!
sleep 4
serve 8 --rate 50
wait $monitor
check "monitor --reconnect: status 0, lost and back" test $? -eq 0 -a \
  -n "$(tr -d '\r' <"$work/reconnect" | grep -A1 'COM8: link lost; reconnecting' | grep 'COM8: reconnected after')"

step "Ctrl-C"
"$wine" "$cli" read --simulate --count 100000 >/dev/null 2>&1 &
reader=$!
sleep 3
kill -INT $reader
wait $reader
check "Ctrl-C cuts read short with status 130" test $? -eq 130

step "serve answers a PyVISA client on loopback"
port=$((20000 + RANDOM % 20000))
"$wine" "$cli" serve --port COM5 --listen "127.0.0.1:$port" >"$work/serve.out" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q 'SCPI server on' "$work/serve.out" 2>/dev/null && break; sleep 0.1; done
check "PyVISA: *IDN?, FETC?, SENS:FREQ, errors" timeout 60 "$python" "$here/pyvisa_client.py" "$port"
kill -INT $server
wait $server
check "serve ends with status 0 on Ctrl-C" test $? -eq 0

step "done: $failures failed"
[ "$failures" -eq 0 ]
