#!/usr/bin/env bash
# The tree's static checks: every C and C++ file laid out as .clang-format says, and the
# code the debug build compiles clean under .clang-tidy. `--fix-format` formats in place
# instead of checking (make format).
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null || find . -path ./build -prune -o \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print)
if [[ ${1:-} == --fix-format ]]; then
  clang-format -i "${sources[@]}"
  exit 0
fi

echo "lint: clang-format on ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

# clang-tidy reads the compile commands of the debug build.
cmake --preset dev >/dev/null
mapfile -t units < <(python3 -c '
import json, os, sys
root = os.getcwd()
seen = set()
for entry in json.load(open("build/dev/compile_commands.json")):
    path = os.path.relpath(entry["file"], root)
    if path.startswith("build/") or path in seen:
        continue
    seen.add(path)
    print(path)
')
echo "lint: clang-tidy on ${#units[@]} files"
printf '%s\n' "${units[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/dev --quiet 2>/dev/null
echo "lint: clean"
