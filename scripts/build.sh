#!/usr/bin/env bash
# Builds into build/ (or build-asan/ with --sanitize, address and undefined
# behaviour sanitizers on).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
args=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  args=(-DTHARVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi
cmake -S . -B "$dir" "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
