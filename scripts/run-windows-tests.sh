#!/usr/bin/env bash
# Runs the tests of the 64-bit Windows build (preset windows-x86_64) under wine, headless, in
# a wine prefix of the build's own. The wine server is started detached before ctest (else
# ctest waits on the services that hold its pipes) and stopped afterwards. The preset runs one
# test at a time: with two at once, wine now and then fails to start a process. Even alone,
# a start now and then fails at once, printing nothing (once in about 2,000 runs here), so
# a failed test is run once more; one that fails twice fails the run. Arguments go to ctest
# (`--repeat until-fail:N` loops the suite instead). PRESET names another build of the suite
# (windows-x86_64-strict: beside the strict base library).
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEPREFIX="$PWD/build/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=d"  # no .NET or browser engine installers
export LANG=C.UTF-8                         # else files with non-ASCII names cannot be made
unset DISPLAY                               # message boxes return at once instead of waiting

mkdir -p "$WINEPREFIX"
(wineserver -p </dev/null >/dev/null 2>&1 &)
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1  # makes the prefix on the first run
if [[ $# -eq 0 ]]; then
  set -- --repeat until-pass:2
fi
ctest --preset "${PRESET:-windows-x86_64}" "$@"
