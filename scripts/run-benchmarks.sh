#!/usr/bin/env bash
# Runs every benchmark of a build (default build/release); each prints ours against its
# peer and the ratio. Extra arguments go to Google Benchmark (e.g. --benchmark_filter=...).
set -euo pipefail
build=${1:-build/release}
shift || true
# The stream and archive benchmarks read the corpus, made here once (scripts/make_corpus.sh).
export YDR_CORPUS=${YDR_CORPUS:-/tmp/ydr-corpus}
if [[ ! -f $YDR_CORPUS/MANIFEST ]]; then
  echo "building the benchmark corpus in $YDR_CORPUS" >&2
  bash "$(dirname "$0")/make_corpus.sh" "$YDR_CORPUS" >/dev/null
fi
found=0
for bench in "$build"/bench/*_bench; do
  [[ -x "$bench" ]] || continue
  found=1
  echo "== $(basename "$bench")"
  "$bench" "$@"
done
[[ $found -eq 1 ]] || { echo "no benchmarks in $build/bench (configure with the release preset)" >&2; exit 1; }
# The command against zip and unzip (whole programs, timed from the shell).
echo "== command_bench"
bash "$(dirname "$0")/../bench/command_bench.sh" "$build"
