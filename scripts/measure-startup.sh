#!/usr/bin/env bash
# Times the program from start to its main window being shown (median of N runs) and reads the
# resident memory of the idle program, under a virtual screen.
# Usage: scripts/measure-startup.sh [PROGRAM] [RUNS]   (needs xvfb and xdotool)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/default/bin/fatura}")
runs=${2:-5}
display=:$(( 200 + RANDOM % 100 ))
Xvfb "$display" -screen 0 1024x768x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
export DISPLAY=$display
times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  (cd "$(dirname "$program")" && exec "$program") >/dev/null 2>/tmp/measure-program.log &
  pid=$!
  until xdotool search --onlyvisible --name 'VERNOLA' >/dev/null 2>&1; do sleep 0.01; done
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000000 )))
  sleep 2
  rss=$(awk '/VmRSS/ {print $2}' /proc/$pid/status)
  kill $pid; wait $pid 2>/dev/null || true
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start to window shown (ms): ${times[*]}  median ${sorted[$(( runs / 2 ))]}"
echo "resident memory when idle: ${rss} kB"
