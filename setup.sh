#!/usr/bin/env bash
# Sets this machine up for kps-eval (Debian packages, configure, build), then
#   ./setup.sh run [ARGS...]   starts the program (on the simulated board unless ARGS say otherwise)
#   ./setup.sh test            runs the whole test suite
#   ./setup.sh cli ARGS...     runs the command-line tool kps-eval-cli
#   ./setup.sh fuzz [SECONDS]  builds the libFuzzer targets in fuzz/ with clang and the
#                              sanitizers (in build-fuzz) and runs each SECONDS (default 25)
#                              from the seeds in fuzz/corpus
#   ./setup.sh package         builds the Debian package kps-eval_VERSION_ARCH.deb in the
#                              build folder and checks it (its files, lintian, the desktop
#                              file and metainfo validators)
#   ./setup.sh build           builds everything
# Running it again only rebuilds what changed.
set -euo pipefail
cd "$(dirname "$0")"

usage="usage: ./setup.sh run [kps-eval options] | ./setup.sh cli [kps-eval-cli arguments] | ./setup.sh test | ./setup.sh build | ./setup.sh package | ./setup.sh fuzz [seconds]"
action=${1:-run}
[ $# -gt 0 ] && shift
# A mistyped action installs and builds nothing.
case "$action" in
  run | cli | test | build | package | fuzz) ;;
  -h | --help | help)
    echo "$usage"
    exit 0
    ;;
  *)
    echo "./setup.sh: unknown action \"$action\"" >&2
    echo "$usage" >&2
    exit 2
    ;;
esac
# For the command-line tool, what setting up says goes to stderr, so that its
# standard output holds only the tool's own.
if [ "$action" = cli ]; then exec 3>&1 1>&2; fi

packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins libusb-1.0-0-dev
          libgtest-dev libgmock-dev libbenchmark-dev)
# The tests also run the real libusb against a board emulated below it, and
# read kps-eval-cli's records and JUnit reports with python3.
if [ "$action" = test ]; then packages+=(umockdev libumockdev-dev python3 python3-junitparser); fi
# Building and checking the Debian package.
if [ "$action" = package ]; then packages+=(dpkg-dev lintian desktop-file-utils appstream); fi
# libFuzzer comes with clang's runtime libraries.
if [ "$action" = fuzz ]; then packages=(cmake ninja-build pkg-config libusb-1.0-0-dev clang libclang-rt-14-dev); fi
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

if [ "$action" = fuzz ]; then
  seconds=${1:-25}
  fuzz_dir=${KPS_FUZZ_BUILD_DIR:-build-fuzz}
  if [ ! -f "$fuzz_dir/CMakeCache.txt" ]; then
    cmake -S . -B "$fuzz_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DKPS_FUZZ=ON -DKPS_BUILD_GUI=OFF -DKPS_BUILD_TESTS=OFF \
      -DKPS_BUILD_BENCH=OFF ${KPS_CMAKE_ARGS:-}
  fi
  targets=(script_load cli_args script_run)
  cmake --build "$fuzz_dir" --target "${targets[@]/#/fuzz_}"
  # A smaller quarantine than ASan's default keeps the runs fast; a use after
  # free inside one input is still caught.
  export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
  for target in "${targets[@]}"; do
    # New inputs go to the build folder; the checked-in seeds stay as they are.
    work="$fuzz_dir/corpus/$target"
    log="$fuzz_dir/fuzz_$target.log"
    mkdir -p "$work"
    echo "Fuzzing $target for ${seconds}s"
    if ! "$fuzz_dir/fuzz/fuzz_$target" "$work" "fuzz/corpus/$target" -max_total_time="$seconds" \
        -timeout=30 -print_final_stats=1 -artifact_prefix="$fuzz_dir/crash-$target-" >"$log" 2>&1; then
      tail -n 60 "$log" >&2
      echo "fuzz_$target failed: the input that did it is $fuzz_dir/crash-$target-*, the log $log" >&2
      exit 1
    fi
    grep -E '^Done|number_of_executed_units|peak_rss' "$log"
  done
  exit 0
fi

build_dir=${KPS_BUILD_DIR:-build}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KPS_CMAKE_ARGS:-}
fi

case "$action" in
  run)
    cmake --build "$build_dir" --target kps-eval
    if [ $# -eq 0 ]; then set -- --simulated-board; fi
    exec "$build_dir/kps-eval" "$@"
    ;;
  cli)
    cmake --build "$build_dir" --target kps-eval-cli
    exec "$build_dir/kps-eval-cli" "$@" 1>&3 3>&-
    ;;
  test)
    cmake --build "$build_dir"
    exec ctest --test-dir "$build_dir" --output-on-failure
    ;;
  build)
    cmake --build "$build_dir"
    ;;
  package)
    # What the package holds; the tests and benchmarks are not in it.
    cmake --build "$build_dir" --target kps-eval kps-eval-cli kps_docs
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
    deb="$build_dir/kps-eval_${version}_$(dpkg --print-architecture).deb"
    rm -f "$deb"
    (cd "$build_dir" && cpack -G DEB)
    tests/install/install_check.sh validate .
    tests/install/install_check.sh package "$deb"
    echo "Built $deb"
    ;;
esac
