#!/usr/bin/env bash
# Sets this machine up for kps-eval (Debian packages, configure, build), then
#   ./setup.sh run [ARGS...]   starts the program (on the simulated board unless ARGS say otherwise)
#   ./setup.sh test            runs the whole test suite
#   ./setup.sh cli ARGS...     runs the command-line tool kps-eval-cli
# Running it again only rebuilds what changed.
set -euo pipefail
cd "$(dirname "$0")"

action=${1:-run}
[ $# -gt 0 ] && shift
# For the command-line tool, what setting up says goes to stderr, so that its
# standard output holds only the tool's own.
if [ "$action" = cli ]; then exec 3>&1 1>&2; fi

packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins libusb-1.0-0-dev
          libgtest-dev libgmock-dev libbenchmark-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir=${KPS_BUILD_DIR:-build}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KPS_CMAKE_ARGS:-}
fi
cmake --build "$build_dir"

case "$action" in
  run)
    if [ $# -eq 0 ]; then set -- --simulated-board; fi
    exec "$build_dir/kps-eval" "$@"
    ;;
  cli)
    exec "$build_dir/kps-eval-cli" "$@" 1>&3 3>&-
    ;;
  test)
    exec ctest --test-dir "$build_dir" --output-on-failure
    ;;
  build) ;;
  *)
    echo "usage: ./setup.sh run [kps-eval options] | ./setup.sh test | ./setup.sh cli [kps-eval-cli arguments]" >&2
    exit 2
    ;;
esac
