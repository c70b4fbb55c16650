#!/usr/bin/env bash
# Download throughput on loopback: a large file served by nginx on 127.0.0.1,
# fetched in one run by
#   (a) DownloadFile with the real dialog, under Wine,
#   (b) a bare WinINet loop under Wine doing only the per-block work a
#       responsive transfer needs (10240-byte read, write, drain the queue),
#   (c) curl, natively, for context.
# Prints the three throughputs, the ratio (a)/(b) (goal: at least 0.9) and the
# peak working set of the Windows process (which should not grow with the file).
#
#   bench/download_bench.sh [MEGABYTES] [ROUNDS]     (defaults: 256, 3)
#
# IZ_BUILD names the win32 build folder (default build/win32); the benchmark
# program is built there. DISPLAY, IZ_WINEPREFIX are honoured as by wine-run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine_bench.sh"
megabytes=${1:-256}
rounds=${2:-3}
iz_bench_start download_bench NGINX
mkdir -p "$work/servers/www/bench/download" "$work/out"
# Random bytes: nothing on the way may gain from a compressible body.
head -c "${megabytes}M" /dev/urandom > "$work/servers/www/bench/download/big.bin"
url=http://127.0.0.1:$port/bench/download/big.bin
bytes=$(stat -c %s "$work/servers/www/bench/download/big.bin")

# (c) curl, best of the rounds.
curl_ms=
for _ in $(seq "$rounds"); do
  start=$(date +%s%N)
  curl -sS -o "$work/out/curl.bin" "$url"
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  [ -z "$curl_ms" ] || [ "$ms" -lt "$curl_ms" ] && curl_ms=$ms
  rm -f "$work/out/curl.bin"
done

# (a) and (b), alternating inside one Wine process.
winout="Z:${work//\//\\}\\out"
result=$("$root/scripts/wine-run" "$exe" "$url" "$winout" "$rounds" | tr -d '\r')
get() { sed -n "s/^$1 //p" <<<"$result"; }
bare_ms=$(get bare_ms)
download_ms=$(get download_ms)
peak=$(get peak_working_set)
[ "$(get bytes)" = "$bytes" ] || { echo "download_bench: size mismatch" >&2; exit 1; }

python3 - "$bytes" "$download_ms" "$bare_ms" "$curl_ms" "$peak" <<'EOF'
import sys
size, a, b, c, peak = (int(x) for x in sys.argv[1:])
mb = size / 1e6
rate = lambda ms: mb / (max(ms, 1) / 1000.0)
print("file: %.0f MB from nginx on 127.0.0.1" % mb)
print("(a) DownloadFile under Wine:  %8.1f MB/s  (%d ms)" % (rate(a), a))
print("(b) bare WinINet loop, Wine:  %8.1f MB/s  (%d ms)" % (rate(b), b))
print("(c) curl, native:             %8.1f MB/s  (%d ms)" % (rate(c), c))
print("ratio (a)/(b): %.3f  (goal >= 0.9)" % (rate(a) / rate(b)))
print("ratio (a)/(c), DownloadFile to curl: %.3f" % (rate(a) / rate(c)))
print("peak working set of the Windows process: %.1f MB" % (peak / 1e6))
EOF
