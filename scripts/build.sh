#!/usr/bin/env bash
# Builds into build/ (or build-asan/ with --sanitize, address and undefined
# behaviour sanitizers on; or build-tsan/ with --thread, ThreadSanitizer on).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
args=()
case "${1:-}" in
  --sanitize)
    dir=build-asan
    args=(-DTHARVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    ;;
  --thread)
    dir=build-tsan
    # Optimised: the thread tests repeat their jobs, and ThreadSanitizer is slow enough.
    args=(-DTHARVEL_THREAD_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo)
    ;;
esac
# CI builds with warnings as errors (THARVEL_WERROR=1).
[ -n "${THARVEL_WERROR:-}" ] && args+=(-DTHARVEL_WERROR=ON)
cmake -S . -B "$dir" "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
