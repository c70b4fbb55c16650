#!/usr/bin/env bash
# Builds the markup shapes benchmark (native, optimised) and runs it once:
# hostile document shapes set against ordinary ones of the same size.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
cmake --preset bench -B build/markup-bench >/dev/null
cmake --build build/markup-bench -j2 --target markup_shapes_bench >/dev/null
build/markup-bench/bench/markup_shapes_bench "${1:-3}"
