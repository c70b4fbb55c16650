#!/usr/bin/env bash
# What a broken download costs again: a package cut at 80% by the scripted
# fault server (tests/servers, 127.0.0.1), fetched by DownloadFile under
# Wine, which goes on from the cut on the same mirror. The server counts the
# bytes it sends after the cut. Baseline: the same cut on a server that
# ignores Range, which is what a client without resume costs (the whole
# file again). Prints both shares of the file and their ratio.
#
#   bench/resume_bench.sh [MEGABYTES] [CUT_PERCENT]     (defaults: 8, 80)
#
# IZ_BUILD names the win32 build folder (default build/win32).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine_bench.sh"
megabytes=${1:-8}
cut=${2:-80}
iz_bench_start resume_bench FAULT
bytes=$((megabytes * 1024 * 1024))
# The fault server's body: byte i is i % 251; its hash makes the run check
# the whole file, the kept part included.
sha=$(python3 -c "
import hashlib, sys
n = int(sys.argv[1]); block = bytes(i % 251 for i in range(251 * 64)); h = hashlib.sha256()
while n > 0:
    h.update(block[:min(n, len(block))]); n -= len(block)
print(h.hexdigest())" "$bytes")
mkdir -p "$work/out"
winout="Z:${work//\//\\}\\out"

run() {  # MODE: the server's answer to the Range after the cut
  local mode=$1 path="ranged/$bytes/$cut/1/$1/0/0/bench-$1/"
  rm -f "$work/out/"*
  "$root/scripts/wine-run" "$exe" "http://127.0.0.1:$port/$path" "$winout" package.bin "$sha" \
    | tr -d '\r' > "$work/$mode.out"
  grep -q '^ok 1$' "$work/$mode.out" || { echo "resume_bench: the $mode download failed" >&2; exit 1; }
  cmp -s "$work/out/package.bin" <(python3 -c "
import sys
n = int(sys.argv[1]); block = bytes(i % 251 for i in range(251 * 64))
out = sys.stdout.buffer
while n > 0:
    out.write(block[:min(n, len(block))]); n -= len(block)" "$bytes") \
    || { echo "resume_bench: the $mode download is not the server's file" >&2; exit 1; }
  # The first answer is the one cut; everything after it was fetched again.
  grep "^ranged /$path" "$work/servers/fault-requests.log" | sed -n 's/.* sent \([0-9]*\) .*/\1/p' \
    | tail -n +2 | awk '{s += $1} END {print s + 0}'
}

resumed=$(run honest)
baseline=$(run norange)
python3 - "$bytes" "$cut" "$resumed" "$baseline" <<'PY'
import sys
size, cut, resumed, baseline = (int(x) for x in sys.argv[1:])
print("package: %.1f MiB, cut at %d%%, fetched by DownloadFile under Wine" % (size / 1048576.0, cut))
print("fetched after the cut, resuming:           %10d bytes = %5.1f%% of the file (goal <= %d%% + 64 KiB)"
      % (resumed, 100.0 * resumed / size, 100 - cut))
print("fetched after the cut, server ignores Range: %8d bytes = %5.1f%% of the file (baseline)"
      % (baseline, 100.0 * baseline / size))
print("ratio resuming/baseline: %.3f" % (resumed / float(baseline)))
PY
