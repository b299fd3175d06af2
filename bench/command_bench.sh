#!/usr/bin/env bash
# The ydr command against zip and unzip on the corpus's tree of small files, in a
# memory-backed folder: pack with -j 1 .. the processors against `zip -3 -r`, unpack against
# `unzip`; and `ydr gz` on a 100 MB file (the corpus's text, documents and programs, twice)
# against `gzip -3`, and against `pigz -3` on one thread and on all the processors; its
# decompression against `pigz -d`, and unpacking that file in four parts against `unzip`.
# Each command runs alternately with its peer, and each keeps its fastest of ROUNDS
# wall-clock times, so that the machine's drift between runs does not enter the ratio.
#
# usage: bench/command_bench.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build/release}
rounds=${2:-7}
ydr=$(realpath "$build/bin/ydr")
corpus=${YDR_CORPUS:-/tmp/ydr-corpus}
[[ -d $corpus/mixed_small ]] || { echo "command_bench: no $corpus/mixed_small (see scripts/run-benchmarks.sh)" >&2; exit 1; }
command -v zip >/dev/null && command -v unzip >/dev/null || { echo "command_bench: needs zip and unzip" >&2; exit 1; }
command -v gzip >/dev/null && command -v pigz >/dev/null || { echo "command_bench: needs gzip and pigz" >&2; exit 1; }

base=/dev/shm
[[ -d $base && -w $base ]] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/ydr-command-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$corpus/mixed_small" "$work/tree"
cd "$work"

# Runs a shell command once and prints its wall-clock time in milliseconds.
millis() {
  local start end
  start=$(date +%s%N)
  bash -c "$1" >/dev/null 2>&1
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

# best_of "OURS" "PEER" [PREPARE]: the fastest time of each over the rounds, run alternately.
best_of() {
  local ours=999999 peer=999999 t
  for ((i = 0; i < rounds; i++)); do
    [[ -n ${3:-} ]] && bash -c "$3"
    t=$(millis "$1"); ((t < ours)) && ours=$t
    [[ -n ${3:-} ]] && bash -c "$3"
    t=$(millis "$2"); ((t < peer)) && peer=$t
  done
  echo "$ours $peer"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (a > 0 ? b / a : 0) }'; }

cores=$(nproc)
files=$(find tree -type f | wc -l)
bytes=$(du -sb tree | cut -f1)
echo "tree: $files files, $bytes bytes, in $work; best of $rounds alternating runs; $cores processors"
printf "%-28s %10s %10s %8s\n" "work" "ours ms" "peer ms" "x peer"
for ((j = 1; j <= cores; j++)); do
  read -r ours peer < <(best_of "'$ydr' pack -q -j $j a.ydz tree" "zip -q -3 -r a.zip tree" "rm -f a.ydz a.zip")
  printf "%-28s %10d %10d %8s\n" "pack -j $j / zip -3 -r" "$ours" "$peer" "$(ratio "$ours" "$peer")"
done
"$ydr" pack -q -f a.ydz tree
zip -q -3 -r a.zip tree
read -r ours peer < <(best_of "'$ydr' unpack -q a.ydz out1" "unzip -q a.zip -d out2" "rm -rf out1 out2")
printf "%-28s %10d %10d %8s\n" "unpack / unzip" "$ours" "$peer" "$(ratio "$ours" "$peer")"

for part in text_c docs elf text_c docs elf; do cat "$corpus/$part.bin"; done > big
echo "big file: $(stat -c %s big) bytes"
read -r ours peer < <(best_of "YDR_GZ_THREADS=1 '$ydr' gz -c big > big.ydr" "gzip -3 -c big > big.gz")
printf "%-28s %10d %10d %8s\n" "gz, 1 thread / gzip -3" "$ours" "$peer" "$(ratio "$ours" "$peer")"
read -r ours peer < <(best_of "YDR_GZ_THREADS=1 '$ydr' gz -c big > big.ydr" "pigz -3 -p 1 -c big > big.gz")
printf "%-28s %10d %10d %8s\n" "gz, 1 thread / pigz -3 -p 1" "$ours" "$peer" "$(ratio "$ours" "$peer")"
read -r ours peer < <(best_of "YDR_GZ_THREADS=$cores '$ydr' gz -c big > big.ydr" "pigz -3 -p $cores -c big > big.gz")
printf "%-28s %10d %10d %8s\n" "gz, $cores threads / pigz -3 -p $cores" "$ours" "$peer" "$(ratio "$ours" "$peer")"
read -r ours peer < <(best_of "'$ydr' gz -dc big.ydr > big.out" "pigz -dc big.gz > big.out")
printf "%-28s %10d %10d %8s\n" "gz -d / pigz -d" "$ours" "$peer" "$(ratio "$ours" "$peer")"

# A tree of large files: the big file in four parts.
mkdir large
split -b 25000000 big large/part
"$ydr" pack -q -f large.ydz large
zip -q -3 -r large.zip large
read -r ours peer < <(best_of "'$ydr' unpack -q large.ydz out1" "unzip -q large.zip -d out2" "rm -rf out1 out2")
printf "%-28s %10d %10d %8s\n" "unpack large files / unzip" "$ours" "$peer" "$(ratio "$ours" "$peer")"
