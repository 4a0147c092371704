#!/usr/bin/env bash
# Runs the checks of .clang-tidy over every source file of src/, with the flags of
# the build in build/ (scripts/build.sh makes it). Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/compile_commands.json ] || bash scripts/build.sh
files=$(git ls-files 'src/*.cpp')
# One file per process, on every core; the compiler's own warnings fail it too, as in CI.
printf '%s\n' $files | xargs -P "$(nproc)" -n 1 clang-tidy -p build --quiet --extra-arg=-Werror 2>/dev/null
