# The two commands a new machine needs: `make demo` and `make test`.
# Both install any missing Debian packages first (scripts/install-deps.sh).
#
# `make test` runs its stages in this order, cheapest failure first (measured on 2 cores):
#   test-lint      formatting and clang-tidy checks                       ~4 min
#   test-dev       debug build and every test                             ~3 min
#   test-asan      the whole suite under AddressSanitizer and UBSan       ~5 min
#   test-release   optimised build, every test (the optimised-only too)   ~3 min
#   test-portable  the whole debug suite with the CPU fast paths off      ~1 min
#   test-clang     the tests built with clang and run                     ~3 min
#   test-fuzz      a short run of every fuzz target                       ~4 min
#   test-i386      the suite built for 32-bit x86 (gcc -m32), run under qemu-i386 ~4 min
#   test-windows   the DLLs and ydr.exe for 32- and 64-bit Windows (mingw-w64): the export
#                  tables checked, the 64-bit suite run under wine                 ~6 min
# Under CI (CI=true) warnings are errors.

.PHONY: all deps demo test test-lint test-dev test-asan test-release test-portable test-clang test-fuzz \
        test-i386 test-windows build release bench fuzz format clean

WERROR := $(if $(filter true 1,$(CI)),-DYDR_WERROR=ON,)

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake --preset dev $(WERROR) >/dev/null
	cmake --build --preset dev

release: deps
	cmake --preset release $(WERROR) >/dev/null
	cmake --build --preset release

# The main job on bundled data: the archive round trip of examples/sample. Builds only what
# it runs: the two libraries and the command.
demo: deps
	cmake --preset release $(WERROR) >/dev/null
	cmake --build --preset release --target ydr YdrBM70 YdrBL70
	bash scripts/demo.sh build/release/bin/ydr

test: test-lint test-dev test-asan test-release test-portable test-clang test-fuzz test-i386 test-windows

test-lint: deps
	bash scripts/lint.sh

test-dev: build
	ctest --preset dev

test-asan: deps
	cmake --preset asan-ubsan $(WERROR) >/dev/null
	cmake --build --preset asan-ubsan
	ctest --preset asan-ubsan

test-release: release
	ctest --preset release

test-portable: build
	ctest --preset portable

test-clang: deps
	cmake --preset clang $(WERROR) >/dev/null
	cmake --build --preset clang
	ctest --preset clang

# A short run of every fuzz target (scripts/fuzz.sh runs them longer).
test-fuzz: deps
	bash scripts/fuzz.sh 10

# The 32-bit build proves the record layouts, counters and offsets at run time (GoogleTest
# built from its sources for -m32; the tests whose peer is libcrypto are left out and say so).
test-i386: deps
	cmake --preset linux-i386 $(WERROR) >/dev/null
	cmake --build --preset linux-i386
	ctest --preset linux-i386

# Both Windows builds: the 32-bit one is built and its exports and headers checked (no 32-bit
# code runs on these machines, wine's included); the 64-bit one's suite runs under wine.
test-windows: deps
	cmake --preset windows-i686 $(WERROR) >/dev/null
	cmake --build --preset windows-i686
	ctest --preset windows-i686
	cmake --preset windows-x86_64 $(WERROR) >/dev/null
	cmake --build --preset windows-x86_64
	bash scripts/run-windows-tests.sh

bench: release
	bash scripts/run-benchmarks.sh build/release

FUZZ_SECONDS ?= 300
fuzz: deps
	bash scripts/fuzz.sh $(FUZZ_SECONDS)

# Formats every source file in place with .clang-format.
format:
	bash scripts/lint.sh --fix-format

clean:
	rm -rf build
