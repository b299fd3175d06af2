#!/usr/bin/env bash
# The build installed into a temporary prefix, the examples built against it through
# find_package and through pkg-config, and each run against the installed command or a peer.
#   package_test.sh BUILD_DIR SOURCE_DIR LINE_SERVER
set -euo pipefail
unset LD_LIBRARY_PATH  # no library path of our own: the package's flags and run paths must be enough
build=$1 source=$2 line_server=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() {
  echo "package: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in lib/libYdrBM70.so lib/libYdrBM70.so.0 lib/libYdrBL70.so.0 include/ydr/zip.h include/ydr/base.h \
            include/ydr/utf8.h bin/ydr share/man/man1/ydr.1 share/bash-completion/completions/ydr \
            lib/cmake/YdrBM70/YdrBM70Config.cmake lib/pkgconfig/ydrbm70.pc share/doc/YdrBM70/formats.md \
            share/doc/YdrBM70/using.md; do
  [[ -e $prefix/$file ]] || fail "$file was not installed"
done

# Their run paths name no folder relative to the current one.
cmake -DFILES="$prefix/bin/ydr;$prefix/lib/libYdrBM70.so.0;$prefix/lib/libYdrBL70.so.0" \
      -P "$source/tests/check_run_paths.cmake"

mkdir -p "$work/tree/sub" && printf 'alpha' > "$work/tree/a.txt" && printf '한글' > "$work/tree/sub/b.txt"

openssl genrsa -traditional -out "$work/private.pem" 2048 2>/dev/null
openssl rsa -in "$work/private.pem" -RSAPublicKey_out -out "$work/public.pem" 2>/dev/null

# Run from the CMake build; the pkg-config build, with nothing but its flags, must find the library too.
dir=$work/cmake-build
ydr=$prefix/bin/ydr
cmake -S "$source/examples" -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$dir" >/dev/null
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
read -r -a flags <<< "$(pkg-config --cflags --libs ydrbm70)"
cc -std=c99 -o "$work/sha1_sum" "$source/examples/sha1_sum.c" "${flags[@]}"
"$work/sha1_sum" < /dev/null >/dev/null || fail "a pkg-config build does not run"

head -c 200000 /dev/urandom > "$work/random.bin"
printf 'some text to compress, some text to compress\n' > "$work/plain.txt"
"$dir/gz_compress" "$work/plain.txt" "$work/plain.ydgz" >/dev/null
[[ $("$ydr" gz -dc "$work/plain.ydgz") == "some text to compress, some text to compress" ]]
# A write that fails is noticed by the callback, since YdrGZWrite does not report it.
if "$dir/gz_compress" "$work/random.bin" /dev/full 2>/dev/null; then fail "gz_compress took /dev/full"; fi
"$dir/pack_folder" "$work/tree" "$work/example.ydz" | grep -q 'sub\\b.txt'
"$ydr" test -q "$work/example.ydz"
printf 'secret words\n' | "$dir/check_password" make "$work/document"
printf 'secret words\n' | "$dir/check_password" check "$work/document" >/dev/null
if printf 'wrong words\n' | "$dir/check_password" check "$work/document" >/dev/null; then
  fail "a wrong password was taken"
fi

# SHA-1: the lines of sha1sum, for files and for standard input.
[[ $(cd "$work" && "$dir/sha1_sum" plain.txt random.bin) == $(cd "$work" && sha1sum plain.txt random.bin) ]] ||
  fail "sha1_sum disagrees with sha1sum"
[[ $("$dir/sha1_sum" < "$work/plain.txt") == $(sha1sum < "$work/plain.txt") ]] || fail "sha1_sum of its input"

# SEED: ydr seed reads what the example writes, and a wrong key is refused.
key=000102030405060708090a0b0c0d0e0f iv=f0e0d0c0b0a090807060504030201000
"$dir/seed_cbc" enc $key $iv < "$work/random.bin" > "$work/random.seed"
"$ydr" seed dec --mode cbc --key $key --iv $iv "$work/random.seed" "$work/random.seed.ydr"
cmp -s "$work/random.bin" "$work/random.seed.ydr" || fail "ydr seed does not read seed_cbc's output"
"$dir/seed_cbc" dec $key $iv < "$work/random.seed" | cmp -s - "$work/random.bin" || fail "seed_cbc round trip"
if "$dir/seed_cbc" dec ${key/01/10} $iv < "$work/random.seed" >/dev/null 2>&1; then fail "seed_cbc took a wrong key"; fi

# RSA: openssl opens what the example seals, and the example opens what openssl seals.
printf 'a short secret' | "$dir/rsa_seal" seal "$work/public.pem" > "$work/sealed"
[[ $(openssl pkeyutl -decrypt -inkey "$work/private.pem" -in "$work/sealed") == "a short secret" ]] ||
  fail "openssl cannot open rsa_seal's message"
[[ $(printf 'from openssl' | openssl pkeyutl -encrypt -inkey "$work/private.pem" |
     "$dir/rsa_seal" open "$work/private.pem") == "from openssl" ]] || fail "rsa_seal cannot open openssl's message"
if "$dir/rsa_seal" open "$work/public.pem" < "$work/sealed" >/dev/null 2>&1; then fail "rsa_seal opened with a public key"; fi

# VEN: a DES kind and the AES kind write what ydr ven writes (no whole number of units), and read it back.
head -c 100005 /dev/urandom > "$work/document.bin"
printf 'pass word\n' > "$work/password"
for kind in 1 4; do
  "$dir/ven_file" enc $kind "$work/document.bin" "$work/document.ven" < "$work/password"
  "$ydr" ven enc --kind $kind --password-file "$work/password" "$work/document.bin" "$work/document.ydr"
  cmp -s "$work/document.ven" "$work/document.ydr" || fail "ven_file kind $kind differs from ydr ven"
  "$dir/ven_file" dec $kind "$work/document.ven" "$work/document.back" < "$work/password"
  cmp -s "$work/document.back" "$work/document.bin" || fail "ven_file kind $kind round trip"
done

# Number strings: labels as ydr numstr prints them, and two known answers.
row=$("$dir/number_labels" 1999 1999)
[[ $row == "1999."$'\t'"MCMXCIX"$'\t'"(bxw)"$'\t'"$("$ydr" numstr --close . korean-syllable 1999)"$'\t'"$("$ydr" numstr footnote 1999)" ]] ||
  fail "number_labels: $row"
[[ $("$dir/number_labels" 1 30 | wc -l) -eq 30 ]] || fail "number_labels 1 30"

# The cache: a hand-traced run of three remembered words.
[[ $(echo "the cat saw the dog and the cat ran" | "$dir/recent_words" 3) == \
   $'forgot cat (1)\nforgot saw (1)\nforgot dog (1)\nforgot and (1)\n1 ran\n1 cat\n3 the' ]] ||
  fail "recent_words"

# The socket client against a real server on the loopback interface.
"$line_server" > "$work/port" &
server=$!
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
[[ $("$dir/socket_client" 127.0.0.1 "$(head -n 1 "$work/port")" "hello server") == "echo: hello server" ]] ||
  fail "socket_client"
wait "$server" || fail "the line server failed"
echo "package: installed, examples built both ways and run"
