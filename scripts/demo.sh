#!/usr/bin/env bash
# The main job on the bundled sample tree: pack it, list the archive, test every member,
# unpack it into a temporary folder, and compare the result with the original.
set -euo pipefail
cd "$(dirname "$0")/.."
ydr=${1:-build/release/bin/ydr}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The sample holds an empty folder, which version control cannot keep.
mkdir -p examples/sample/empty-folder
cd examples
archive=$work/sample.ydz
"../$ydr" pack "$archive" sample/
echo "== ydr list"
"../$ydr" list "$archive"
echo "== ydr test"
"../$ydr" test "$archive"
echo "== ydr unpack"
"../$ydr" unpack "$archive" "$work/out"
# Members unpack at their stored (relative) names below the destination.
if diff -r sample "$work/out/sample" >/dev/null; then
  echo "demo: unpacked tree is identical to examples/sample ($(find sample -type f | wc -l) files, $(find sample -type d | wc -l) folders)"
else
  echo "demo: the unpacked tree differs from examples/sample" >&2
  exit 1
fi
