# What the Wine benchmarks share (sourced by bench/download_bench.sh and
# bench/resume_bench.sh). Sets root, the source tree.
#
#   iz_bench_start TARGET SERVER
#       builds TARGET in the win32 build (IZ_BUILD, default build/win32) and
#       starts the tests' loopback servers (tests/servers) in a scratch
#       folder; both go when the script ends. Sets build, exe (the benchmark
#       program), work, and port: that of SERVER (NGINX or FAULT).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

iz_bench_start() {
  build=${IZ_BUILD:-$root/build/win32}
  case $build in /*) ;; *) build=$root/$build ;; esac
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset win32 -B "$build" >/dev/null
  fi
  cmake --build "$build" --target "$1" >/dev/null
  exe=$build/bench/$1.exe
  work=$(mktemp -d "${TMPDIR:-/tmp}/iz$1.XXXXXX")
  trap iz_bench_stop EXIT
  python3 "$root/tests/servers/servers.py" start "$work/servers" >/dev/null
  port=$(sed -n "s/^$2_PORT=//p" "$work/servers/servers.info")
}

iz_bench_stop() {
  python3 "$root/tests/servers/servers.py" stop "$work/servers" >/dev/null 2>&1 || true
  rm -rf "$work"
}
