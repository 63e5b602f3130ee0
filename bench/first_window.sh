#!/bin/sh
# How long kps-eval takes from its start to its first window on screen, on an
# X server (Xvfb): the time from the launch until xdotool finds a visible
# window of the process, over several runs.
#
#   bench/first_window.sh PROGRAM [RUNS] [PROGRAM'S ARGUMENTS...]
#   xvfb-run -s "-screen 0 1366x768x24" bench/first_window.sh build/kps-eval 10 --simulated-board
set -eu
program=$1
runs=${2:-10}
[ $# -ge 2 ] && shift 2 || shift 1
command -v xdotool >/dev/null || { echo "first_window.sh: xdotool is not installed" >&2; exit 2; }
[ -n "${DISPLAY:-}" ] || { echo "first_window.sh: no DISPLAY (run it under xvfb-run)" >&2; exit 2; }

i=0
while [ "$i" -lt "$runs" ]; do
  start=$(date +%s%N)
  "$program" "$@" >/dev/null 2>&1 &
  pid=$!
  polls=0
  until xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
    polls=$((polls + 1))
    if [ "$polls" -gt 2000 ] || ! kill -0 "$pid" 2>/dev/null; then
      echo "first_window.sh: no window from $program" >&2
      kill "$pid" 2>/dev/null || true
      exit 1
    fi
    sleep 0.002
  done
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000)) ms"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  i=$((i + 1))
done
