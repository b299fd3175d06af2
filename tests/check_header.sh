#!/bin/sh
# Compiles one public header on its own, as C and as C++, with every warning an error.
# With --example, also the example in its opening comment (the lines indented by three
# spaces after the comment's own marks), as the body of a C++ function.
set -eu
cc=$1 cxx=$2 include=$3 header=$4 example=${5:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '#include "%s"\n#include "%s"\nint ydr_header_check;\n' "$header" "$header" > "$tmp/check.c"
"$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I "$include" "$tmp/check.c"
"$cxx" -x c++ -std=c++17 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I "$include" "$tmp/check.c"
if [ "$example" = --example ]; then
  {
    printf '#include "ydr/ydr.h"\n#include "%s"\nvoid YdrHeaderExample();\nvoid YdrHeaderExample() {\n' "$header"
    sed -n -e '/^#/q' -e 's#^\(//\| \*\)   ##p' "$include/$header"
    printf '}\n'
  } > "$tmp/example.cpp"
  [ "$(wc -l < "$tmp/example.cpp")" -gt 5 ] || {
    echo "$header: no example found" >&2
    exit 1
  }
  "$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I "$include" "$tmp/example.cpp"
fi
