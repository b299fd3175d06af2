#!/usr/bin/env bash
# Installs the Debian packages that building, testing, benchmarking and fuzzing need.
# Idempotent and quiet when everything is present; uses sudo when not run as root.
set -euo pipefail

packages=(
  g++                 # the compiler (C++17)
  make
  cmake               # >= 3.25
  ninja-build
  binutils            # nm, for the export check
  libgtest-dev        # GoogleTest
  libgmock-dev
  libbenchmark-dev    # Google Benchmark
  libssl-dev          # libcrypto: loaded at run time; its headers pin the functions' types; a test peer
  zlib1g-dev          # the stream compressor's peer in tests and benchmarks
  libdeflate-dev      # a second peer for the benchmarks
  zip                 # the archive benchmark's peers
  unzip
  clang               # libFuzzer targets, and the clang build of the tests
  libclang-rt-14-dev  # clang's sanitizer and fuzzer runtimes
  clang-format        # the layout check (make test, make format)
  clang-tidy          # the static checks (make test)
  python3             # generators of checked-in tables, and the lint script
  pkgconf             # the package test builds the examples through pkg-config
  gcc-multilib        # the 32-bit x86 build (gcc -m32) and its C++ library
  g++-multilib
  lib32z1-dev         # zlib for it (the tests' peer)
  qemu-user-static    # runs its programs: machines of this kind refuse 32-bit code natively
  g++-mingw-w64-x86-64-posix  # the Windows DLLs and ydr.exe, 64-bit (posix threads: std::thread)
  g++-mingw-w64-i686-posix    # and 32-bit
  libz-mingw-w64-dev          # zlib for them (the tests' peer)
  wine                        # runs the 64-bit Windows tests
  wine64
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
