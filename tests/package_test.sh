#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds the examples against it, once through
# find_package and once through pkg-config, then runs them and the installed command.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in lib/libYdrBM70.so lib/libYdrBM70.so.0 lib/libYdrBL70.so.0 include/ydr/zip.h include/ydr/base.h \
            include/ydr/utf8.h bin/ydr share/man/man1/ydr.1 share/bash-completion/completions/ydr \
            lib/cmake/YdrBM70/YdrBM70Config.cmake lib/pkgconfig/ydrbm70.pc; do
  [[ -e $prefix/$file ]] || { echo "package: $file was not installed" >&2; exit 1; }
done

# Their run paths name no folder relative to the current one.
cmake -DFILES="$prefix/bin/ydr;$prefix/lib/libYdrBM70.so.0;$prefix/lib/libYdrBL70.so.0" \
      -P "$source/tests/check_run_paths.cmake"

# The installed command finds its libraries, and the base library, in the prefix.
[[ $("$prefix/bin/ydr" numstr roman-upper 1999) == MCMXCIX ]]
mkdir -p "$work/tree/sub" && printf 'alpha' > "$work/tree/a.txt" && printf '한글' > "$work/tree/sub/b.txt"
(cd "$work" && "$prefix/bin/ydr" pack -q installed.ydz tree && "$prefix/bin/ydr" test -q installed.ydz)

run_examples() {  # DIR: the built examples
  local dir=$1
  printf 'some text to compress, some text to compress\n' > "$work/plain.txt"
  "$dir/gz_compress" "$work/plain.txt" "$work/plain.ydgz" >/dev/null
  [[ $("$prefix/bin/ydr" gz -dc "$work/plain.ydgz") == "some text to compress, some text to compress" ]]
  "$dir/pack_folder" "$work/tree" "$work/example.ydz" | grep -q 'sub\\b.txt'
  "$prefix/bin/ydr" test -q "$work/example.ydz"
  printf 'secret words\n' | "$dir/check_password" make "$work/document"
  printf 'secret words\n' | "$dir/check_password" check "$work/document" >/dev/null
  if printf 'wrong words\n' | "$dir/check_password" check "$work/document" >/dev/null; then
    echo "package: a wrong password was taken" >&2
    exit 1
  fi
}

# Through the CMake package.
cmake -S "$source/examples" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
run_examples "$work/cmake-build"

# Through pkg-config.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
mkdir -p "$work/pc-build"
read -r -a flags <<< "$(pkg-config --cflags --libs ydrbm70)"
cc -o "$work/pc-build/gz_compress" "$source/examples/gz_compress.c" "${flags[@]}" -Wl,-rpath,"$prefix/lib"
c++ -std=c++17 -o "$work/pc-build/pack_folder" "$source/examples/pack_folder.cpp" "${flags[@]}" -Wl,-rpath,"$prefix/lib"
c++ -std=c++17 -o "$work/pc-build/check_password" "$source/examples/check_password.cpp" "${flags[@]}" -Wl,-rpath,"$prefix/lib"
run_examples "$work/pc-build"
echo "package: installed, examples built both ways and run"
