#!/bin/bash
# Builds the benchmarks' deterministic corpus from files already on the machine (Debian 12,
# with the packages of `scripts/install-deps.sh bench`).
# Usage: scripts/make_corpus.sh [OUTDIR]   (default /tmp/ydr-corpus)
#
# Every selection is made from a byte-sorted (LC_ALL=C) file list, sampled every
# k-th file (k = floor(total/(1.25*target)), so the sample spans the whole tree; further
# passes with the next phase if still short), concatenated in sorted order and truncated
# to the exact target size.  Same image => same bytes.
# A MANIFEST with sha256 sums is written next to the files.
#
#   text_c.bin   20,000,000 B  C/C++ headers from /usr/include (*.h *.hpp *.hh *.hxx *.tcc *.inc *.def)
#   docs.bin     10,000,000 B  plain text from /usr/share/doc: 5,000,000 B uncompressed files
#                              + 5,000,000 B gunzipped *.gz files (text only, grep -I test)
#   elf.bin      20,000,000 B  ELF files (magic 7f 45 4c 46, <= 4,000,000 B each) from
#                              /usr/bin/* and /usr/lib/x86_64-linux-gnu/*.so* (no symlinks)
#   random.bin    8,000,000 B  splitmix64 PRNG, seed 0x5EED1951 (incompressible)
#   runs.bin      8,000,000 B  byte runs, short-period patterns, overlapping/long-distance
#                              repeats, a little noise (bench/corpus_generator.c, seed 0x0DEF1A7E)
#   mixed_small/  tree copy of /usr/include/{linux,asm-generic,x86_64-linux-gnu,X11,openssl,
#                              python3.11,libxml2,c++/12}  (~2.6k files, ~23 MB)
set -euo pipefail
export LC_ALL=C
OUT=${1:-/tmp/ydr-corpus}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
TMP=$(mktemp -d /tmp/ydr-corpus-tmp.XXXXXX)
trap 'rm -rf "$TMP"' EXIT

# sample_concat LIST(newline-separated "size<TAB>path" lines, sorted by path) TARGET OUTFILE [decompress]
sample_concat() {
    local list=$1 target=$2 out=$3 mode=${4:-cat}
    local total k
    total=$(awk -F'\t' '{s+=$1} END{printf "%d", s}' "$list")
    k=$(( total / (target + target / 4) )); [ "$k" -lt 1 ] && k=1   # aim ~25% over target
    : > "$out"
    local have=0 n size path phase=0
    # pass 0 takes files 1, 1+k, 1+2k, ... in sorted order; if that is still short of
    # the target (skewed size distribution), pass 1 takes files 2, 2+k, ... and so on.
    while [ "$have" -lt "$target" ] && [ "$phase" -lt "$k" ]; do
        n=0
        while IFS=$'\t' read -r size path; do
            n=$((n + 1))
            [ $(( (n - 1) % k )) -eq "$phase" ] || continue
            if [ "$mode" = gunzip ]; then gzip -dc -- "$path" >> "$out"; else cat -- "$path" >> "$out"; fi
            have=$((have + size))
            [ "$have" -ge "$target" ] && break
        done < "$list"
        phase=$((phase + 1))
    done
    local got; got=$(stat -c %s "$out")
    if [ "$got" -gt "$target" ]; then truncate -s "$target" "$out"; fi
    echo "  $(basename "$out"): candidates=$(wc -l < "$list") total=$total k=$k passes=$phase -> $(stat -c %s "$out") B" >&2
}

echo "[1/6] text_c.bin" >&2
find /usr/include -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.hh' -o -name '*.hxx' \
     -o -name '*.tcc' -o -name '*.inc' -o -name '*.def' \) -printf '%s\t%p\n' \
  | sort -t$'\t' -k2 > "$TMP/inc.lst"
sample_concat "$TMP/inc.lst" 20000000 "$OUT/text_c.bin"

echo "[2/6] docs.bin" >&2
find /usr/share/doc -type f ! -name '*.gz' -printf '%p\n' | sort > "$TMP/docp.all"
while IFS= read -r f; do
    if grep -Iq . -- "$f"; then printf '%s\t%s\n' "$(stat -c %s -- "$f")" "$f"; fi
done < "$TMP/docp.all" > "$TMP/docp.lst"
find /usr/share/doc -type f -name '*.gz' -printf '%p\n' | sort > "$TMP/docz.all"
while IFS= read -r f; do
    if gzip -dc -- "$f" > "$TMP/z" 2>/dev/null && grep -Iq . "$TMP/z"; then
        printf '%s\t%s\n' "$(stat -c %s "$TMP/z")" "$f"
    fi
done < "$TMP/docz.all" > "$TMP/docz.lst"
sample_concat "$TMP/docp.lst" 5000000 "$TMP/docs_plain.bin"
sample_concat "$TMP/docz.lst" 5000000 "$TMP/docs_gz.bin" gunzip
cat "$TMP/docs_plain.bin" "$TMP/docs_gz.bin" > "$OUT/docs.bin"

echo "[3/6] elf.bin" >&2
{ find /usr/bin -maxdepth 1 -type f -printf '%s\t%p\n'
  find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' -printf '%s\t%p\n'; } \
  | sort -t$'\t' -k2 > "$TMP/elfc.lst"
while IFS=$'\t' read -r size f; do
    [ "$size" -le 4000000 ] || continue
    [ "$(head -c4 -- "$f" | od -An -tx1 | tr -d ' \n')" = 7f454c46 ] && printf '%s\t%s\n' "$size" "$f"
done < "$TMP/elfc.lst" > "$TMP/elf.lst"
sample_concat "$TMP/elf.lst" 20000000 "$OUT/elf.bin"

echo "[4/6] random.bin, runs.bin (generator)" >&2
cc -O2 -o "$TMP/gen" "$(dirname "$0")/../bench/corpus_generator.c"
"$TMP/gen" random "$OUT/random.bin"
"$TMP/gen" runs "$OUT/runs.bin"

echo "[5/6] mixed_small/" >&2
rm -rf "$OUT/mixed_small"; mkdir -p "$OUT/mixed_small"
for d in linux asm-generic x86_64-linux-gnu X11 openssl python3.11 libxml2 c++/12; do
    mkdir -p "$OUT/mixed_small/$(dirname "$d")"
    cp -a "/usr/include/$d" "$OUT/mixed_small/$d"
done

echo "[6/6] manifest" >&2
( cd "$OUT"
  for f in text_c.bin docs.bin elf.bin random.bin runs.bin; do sha256sum "$f"; done
  printf '%s  mixed_small/ (sha256 of sorted per-file sha256 list)\n' \
    "$(find mixed_small -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum | cut -d' ' -f1)"
) > "$OUT/MANIFEST"

echo "Corpus in $OUT:"
for f in text_c.bin docs.bin elf.bin random.bin runs.bin; do
    printf '  %-12s %12d bytes\n' "$f" "$(stat -c %s "$OUT/$f")"
done
printf '  %-12s %12d bytes in %d files\n' mixed_small/ \
    "$(find "$OUT/mixed_small" -type f -printf '%s\n' | awk '{s+=$1} END{printf "%d", s}')" \
    "$(find "$OUT/mixed_small" -type f | wc -l)"
printf '  %-12s %12d bytes\n' TOTAL "$(find "$OUT" -type f ! -name MANIFEST -printf '%s\n' | awk '{s+=$1} END{printf "%d", s}')"
cat "$OUT/MANIFEST"
