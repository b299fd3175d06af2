#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan, UBSan) and runs each for SECONDS (default 60);
# the stream-compression targets, whose inputs go deepest, run three times as long.
# New inputs that reach new code are kept in build/fuzz-corpus/<target>; a crasher is
# written to build/fuzz-findings/ and the script fails. Copy a crasher to
# tests/data/regress/<target>/ (after fixing it) so that the test suite replays it.
# Then the command's invariant fuzzer (tests/tool_fuzz_test.cpp) runs FUZZ_CASES generated
# archives (default 5000) from seed FUZZ_SEED (default random; a failure names its seed).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
mapfile -t targets <fuzz/targets.txt
cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}" YdrBL70
mkdir -p build/fuzz-findings
for target in "${targets[@]}"; do
  corpus=build/fuzz-corpus/$target
  mkdir -p "$corpus"
  run_for=$seconds
  [[ $target == gz_* || $target == zip_* ]] && run_for=$((seconds * 3))
  echo "fuzz: $target for ${run_for}s"
  ./build/fuzz/bin/fuzz_$target -max_total_time="$run_for" -print_final_stats=0 \
    -artifact_prefix=build/fuzz-findings/$target- "$corpus" fuzz/corpus/$target 2>build/fuzz-findings/$target.log \
    || { echo "fuzz: $target found a failure; see build/fuzz-findings/$target.log" >&2; exit 1; }
done
# The command's invariant fuzzer, on many more generated archives than the test suite's.
cases=${FUZZ_CASES:-5000}
cmake --preset dev >/dev/null
cmake --build --preset dev --target ydr_fuzz_tests ydr
echo "fuzz: the command's invariants on $cases archives"
YDR_FUZZ_CASES=$cases YDR_FUZZ_SEED=${FUZZ_SEED:-$RANDOM} ./build/dev/tests/ydr_fuzz_tests \
  >build/fuzz-findings/command.log 2>&1 \
  || { echo "fuzz: the command broke an invariant; see build/fuzz-findings/command.log (it names the seed)" >&2; exit 1; }
echo "fuzz: no findings"
