#!/usr/bin/env bash
# Runs every benchmark built in the given build folder (default: build) and prints its figures.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
found=0
for exe in "$build"/bench/*/bench_*; do
  [ -x "$exe" ] || continue
  found=1
  echo "== $(basename "$exe")"
  "$exe"
done
[ $found -eq 1 ] || echo "no benchmarks built in $build"
