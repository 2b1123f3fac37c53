#!/usr/bin/env bash
# Times the program from start to its main window being shown (median of N runs) and reads the
# resident memory of the idle program, under a virtual screen.
# Usage: scripts/measure-startup.sh [PROGRAM] [RUNS]   (needs xvfb and xdotool)
# Waits at most SCREEN_TIMEOUT seconds (default 10) for the virtual screen and WINDOW_TIMEOUT
# seconds (default 30) for each window; exits non-zero with the reason when either runs out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath -m "${1:-$root/build/default/bin/fatura}")
runs=${2:-5}
screen_timeout=${SCREEN_TIMEOUT:-10}
window_timeout=${WINDOW_TIMEOUT:-30}

fail() { echo "measure-startup: $*" >&2; exit 1; }

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || fail "$tool is missing (apt-get install xvfb xdotool)"
done
[ -x "$program" ] || fail "no program at $program (build it first: cmake --build build/default --target fatura_program)"
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "RUNS must be a whole number above 0, not '$runs'"

log=$(mktemp /tmp/measure-startup.XXXXXX.log)
xvfb=""
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

# A free display number: Xvfb refuses one whose lock file exists.
for _ in $(seq 20); do
  n=$(( 200 + RANDOM % 300 ))
  [ -e "/tmp/.X$n-lock" ] || break
done
display=:$n
Xvfb "$display" -screen 0 1024x768x24 -dpi 96 -nolisten tcp >"$log.xvfb" 2>&1 &
xvfb=$!

# The screen first: a program started before the screen answers cannot open its display.
deadline=$(( $(date +%s) + screen_timeout ))
until DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1; do
  if ! kill -0 "$xvfb" 2>/dev/null; then
    fail "the virtual screen $display did not start: $(tail -n 3 "$log.xvfb" | tr '\n' ' ')"
  fi
  [ "$(date +%s)" -lt "$deadline" ] || fail "the virtual screen $display did not answer within ${screen_timeout} s"
  sleep 0.05
done
export DISPLAY=$display

times=()
rss=""
for run in $(seq "$runs"); do
  start=$(date +%s%N)
  (cd "$(dirname "$program")" && exec "$program") >/dev/null 2>"$log" &
  pid=$!
  limit=$(( start + window_timeout * 1000000000 ))
  until xdotool search --onlyvisible --name 'VERNOLA' >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid" && status=0 || status=$?
      pid=""
      fail "run $run: the program ended (exit status $status) before showing its window; its output: $(tail -n 5 "$log" | tr '\n' ' ')"
    fi
    [ "$(date +%s%N)" -lt "$limit" ] || fail "run $run: no window within ${window_timeout} s (program output in $log)"
    sleep 0.01
  done
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000000 )))
  sleep 2
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  pid=""
done
rm -f "$log" "$log.xvfb"
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start to window shown (ms): ${times[*]}  median ${sorted[$(( runs / 2 ))]}"
echo "resident memory when idle: ${rss} kB"
