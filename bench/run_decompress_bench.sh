#!/bin/sh
# Builds and runs the kit decompression bench. Its data goes under $TMPDIR
# (default /tmp) and is removed afterwards.
#   bench/run_decompress_bench.sh [BUILD_DIR] [RUNS] [OUTPUT_MB...]
set -eu
build=${1:-build}
[ $# -gt 0 ] && shift
cmake --build "$build" --target decompress_bench -j2
exec "$build/bin/decompress_bench" "$@"
