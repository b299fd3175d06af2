#!/bin/sh
# Compiles one public header on its own, as C and as C++, with every warning an error.
set -eu
cc=$1 cxx=$2 include=$3 header=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '#include "%s"\n#include "%s"\nint ydr_header_check;\n' "$header" "$header" > "$tmp/check.c"
cp "$tmp/check.c" "$tmp/check.cpp"
"$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I "$include" "$tmp/check.c"
"$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I "$include" "$tmp/check.cpp"
