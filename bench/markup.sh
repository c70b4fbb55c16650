#!/usr/bin/env bash
# Builds the markup benchmark (native, optimised) and runs it once.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
cmake --preset bench -B build/markup-bench >/dev/null
cmake --build build/markup-bench -j2 --target markup_parse_bench
cd build/markup-bench && bench/markup_parse_bench markup_bench_catalogue.xml "${1:-5}"
