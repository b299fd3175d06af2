#!/usr/bin/env bash
# Runs every benchmark of a build (default build/release); each prints ours against its
# peer and the ratio. Extra arguments go to Google Benchmark (e.g. --benchmark_filter=...).
set -euo pipefail
build=${1:-build/release}
shift || true
found=0
for bench in "$build"/bench/*_bench; do
  [[ -x "$bench" ]] || continue
  found=1
  echo "== $(basename "$bench")"
  "$bench" "$@"
done
[[ $found -eq 1 ]] || { echo "no benchmarks in $build/bench (configure with the release preset)" >&2; exit 1; }
