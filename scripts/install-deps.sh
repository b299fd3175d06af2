#!/usr/bin/env bash
# Installs the Debian packages that a job needs, and only those: `install-deps.sh demo` for
# building the libraries and the command, `test` for the native test stages, and one group
# each for the stages with heavy tool chains. Several groups may be named at once (the
# default is `test`; `--list GROUP...` prints the packages instead). Idempotent and quiet when everything is present; uses sudo when not
# run as root.
set -euo pipefail

declare -A groups
# The libraries and the command: what `make demo` builds.
groups[demo]="
  g++                 # the compiler (C++17)
  make
  cmake               # >= 3.25
  ninja-build
  libssl-dev          # libcrypto: reads and makes the key files of ydr rsa; loaded at run time by RSA
"
# The native test suite, the benchmarks' build and the static checks.
groups[test]="
  ${groups[demo]}
  binutils            # nm and readelf, for the export and run-path checks
  libgtest-dev        # GoogleTest
  libgmock-dev
  libbenchmark-dev    # Google Benchmark (the release build compiles the benchmarks)
  zlib1g-dev          # the stream compressor's peer in tests and benchmarks
  libdeflate-dev      # a second peer for the benchmarks
  zip                 # the archive benchmark's peers
  unzip
  python3             # generators of checked-in tables, and the lint script
  pkgconf             # the package test builds the examples through pkg-config
  openssl             # the RSA example's keys, and its peer in the package test
  clang               # the sanitizer build and the libFuzzer targets
  libclang-rt-14-dev  # clang's sanitizer and fuzzer runtimes
  clang-format        # the layout check (make test, make format)
  clang-tidy          # the static checks (make test)
"
# The benchmarks' corpus: headers and documents that scripts/make_corpus.sh samples.
groups[bench]="
  python3-dev         # /usr/include/python3.11
  libxml2-dev         # /usr/include/libxml2
  x11proto-dev        # /usr/include/X11
  gzip
  pigz                # the parallel peer of ydr gz
"
# The Python package (python/) and its tests: the extension's headers, pytest, and
# dask.distributed for the example that spreads an archive check over a cluster.
groups[python]="
  python3-dev         # Python.h for the extension
  pybind11-dev        # the binding's C++ layer
  python3-pytest
  python3-numpy       # buffer-protocol inputs in the tests
  python3-distributed # dask.distributed: the cluster example
  python3-pip         # pip install --no-build-isolation python/
  python3-setuptools  # the package's build (setup.py drives CMake)
  python3-wheel
  python3-venv        # a virtual environment to pip install the package into
  openssl             # the RSA tests' peer (makes keys, encrypts, decrypts and signs)
"
# The 32-bit x86 build, run under an emulator (no 32-bit code runs natively on some
# machines of this kind).
groups[i386]="
  gcc-multilib        # gcc -m32 and its C++ library
  g++-multilib
  lib32z1-dev         # zlib for it (the tests' peer)
  qemu-user-static    # runs its programs
"
# The Windows DLLs and programs, and wine to run the 64-bit ones.
groups[windows]="
  g++-mingw-w64-x86-64-posix  # 64-bit (posix threads: std::thread)
  g++-mingw-w64-i686-posix    # 32-bit
  libz-mingw-w64-dev          # zlib for them (the tests' peer)
  wine                        # runs the 64-bit Windows tests
  wine64
"
# The 32-bit Windows suite, run under 32-bit wine in an emulated 32-bit Debian machine
# (make test-win32): the machine's files come from the Debian mirror.
groups[win32]="
  ${groups[windows]}
  qemu-system-x86             # the emulated machine (software emulation, no KVM needed)
  debootstrap                 # unpacks its Debian system into a folder
  e2fsprogs                   # mke2fs -d makes its disk from that folder, without mounting
  cpio                        # packs its early file system (the modules that find the disk)
  kmod                        # depmod lists its kernel's modules
"

list_only=0
if [[ ${1:-} == --list ]]; then
  list_only=1
  shift
fi
[[ $# -gt 0 ]] || set -- test
packages=()
for group in "$@"; do
  [[ -n ${groups[$group]+set} ]] || { echo "install-deps: no group '$group' (${!groups[*]})" >&2; exit 2; }
  packages+=($(sed 's/#.*//' <<<"${groups[$group]}"))
done

if [[ $list_only -eq 1 ]]; then
  printf '%s\n' "${packages[@]}" | sort -u
  exit 0
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)

echo "install-deps: installing ${missing[*]}" >&2
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
