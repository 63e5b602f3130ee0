#!/usr/bin/env bash
# The installed bash completion offers what kps-eval-cli takes at each place.
# Usage: completion_check.sh COMPLETION-FILE
set -u
source "$1"
failed=0
expect() {  # expect "WANTED" WORD...  (the last word is the one being completed)
  local wanted=$1
  shift
  COMP_WORDS=(kps-eval-cli "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _kps_eval_cli
  local got="${COMPREPLY[*]}"
  if [[ $got != "$wanted" ]]; then
    echo "completing \"$*\": got \"$got\", wanted \"$wanted\""
    failed=1
  fi
}
expect "info" in
expect "list" li
expect "text csv json" --format ""
expect "read write dump" reg ""
expect "run check" --simulated-board script ""
expect "--samples --stream --stats" collect --s
expect "--junit" --format json script run steps.txt --j
expect "--format" --fo
expect "continue abort" script run x.txt --on-pause ""
expect "prox-drive" sweep pr
expect "--samples --settle" sweep mode --s
exit $failed
