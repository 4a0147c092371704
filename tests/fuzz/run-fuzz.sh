#!/usr/bin/env bash
# Builds the decoder fuzzer with clang (libFuzzer, ASan, UBSan) into build-fuzz/ and
# runs it over the saved corpus for a bounded time. New findings are merged back
# into the saved corpus with -merge.
#   tests/fuzz/run-fuzz.sh [seconds]      (default 60)
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
command -v clang++ >/dev/null || { echo "clang++ not found: install clang" >&2; exit 1; }
out=build-fuzz
mkdir -p "$out/new"
CC=clang CXX=clang++ cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTHARVEL_FUZZ=ON \
  -DTHARVEL_SANITIZE=ON -DTHARVEL_GUI=OFF -DTHARVEL_TESTS=OFF >/dev/null
cmake --build "$out" --target mysql-decoders-fuzz -j"$(nproc)" >/dev/null
"$out/mysql-decoders-fuzz" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 \
  "$out/new" tests/fuzz/corpus
# Keep the saved corpus small: only inputs that add coverage.
"$out/mysql-decoders-fuzz" -merge=1 tests/fuzz/corpus "$out/new" >/dev/null 2>&1 || true
echo "corpus: $(ls tests/fuzz/corpus | wc -l) files"
