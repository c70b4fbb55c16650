#!/usr/bin/env bash
# Builds the scale benchmark's program and driver in the win32 build and runs
# bench/app_scale.py with the given arguments, on a private Xvfb unless
# DISPLAY is set. IZ_BUILD names the win32 build folder (default build/win32).
#
#   bench/app_scale.sh [--runs 250 1000 4000] [--startup 0 10000 30000]
#                      [--waits installer missing] ...
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${IZ_BUILD:-$root/build/win32}
case $build in /*) ;; *) build=$root/$build ;; esac

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset win32 -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target InstallZelmBench app_bench_driver SamplePackage >/dev/null

source "$root/scripts/wine-env"
iz_make_prefix
if [ -z "${DISPLAY:-}" ]; then
  source "$root/tests/support/xvfb.sh"
  iz_start_xvfb 1280x1024x24
  trap iz_stop_xvfb EXIT
fi
python3 "$root/bench/app_scale.py" --build "$build" "$@"
