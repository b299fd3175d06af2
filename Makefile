# The two commands a new machine needs: `make demo` and `make test`.
# Each installs the Debian packages it needs first (scripts/install-deps.sh): `make demo` only
# the compiler, CMake, Ninja and libcrypto's headers; each test stage what it builds with.
#
# `make test` runs its stages in this order, cheapest failure first (measured on 2 cores with
# CI=true bash .ci/run on a clean clone; the README's table gives the same figures):
#   test-lint      formatting and clang-tidy checks                                  1.4 min
#   test-dev       debug build and every test                                        1.1 min
#   test-portable  the debug suite again with the CPU fast paths off                 0.3 min
#   test-asan      the whole suite built by clang under AddressSanitizer and UBSan   1.4 min
#   test-strict    the debug suite beside the strict base library (tests/strict_base) 1.1 min
#   test-release   optimised build (benchmarks too), every test                      1.5 min
#   test-python    the Python package's extension in the release build, its pytest
#                  suite and the cluster example (dask, 2 local worker processes)     0.5 min
#   test-i386      the suite built for 32-bit x86 (gcc -m32), run under qemu-i386    3.6 min
#   test-windows   the DLLs and ydr.exe for 32- and 64-bit Windows (mingw-w64): the export
#                  tables checked, the 64-bit suite run under wine beside each base
#                  library, ours and the strict one                                  5.7 min
#   in all (the stages above as last timed; the whole CI run took 21 min on 2026-12-07)  16.6 min
# Under CI (CI=true) warnings are errors. Timed fuzzing is `make fuzz` (the test suite replays
# every fuzz target's seeds and kept findings in each build above).

.PHONY: all demo test test-lint test-dev test-asan test-strict test-release test-python test-portable test-i386 test-windows \
        test-win32 build release bench fuzz format clean

WERROR := $(if $(filter true 1,$(CI)),-DYDR_WERROR=ON,)
DEPS := bash scripts/install-deps.sh

all: build

build:
	@$(DEPS) test
	cmake --preset dev $(WERROR) >/dev/null
	cmake --build --preset dev

release:
	@$(DEPS) test
	cmake --preset release $(WERROR) >/dev/null
	cmake --build --preset release

# The main job on bundled data: the archive round trip of examples/sample. Builds only what
# it runs (the two libraries and the command), so it needs none of the tests' packages.
demo:
	@$(DEPS) demo
	cmake --preset release -DYDR_BUILD_TESTS=OFF -DYDR_BUILD_BENCHMARKS=OFF $(WERROR) >/dev/null
	cmake --build --preset release --target ydr YdrBM70 YdrBL70
	bash scripts/demo.sh build/release/bin/ydr

test: test-lint test-dev test-portable test-asan test-strict test-release test-python test-i386 test-windows

test-lint:
	@$(DEPS) test
	bash scripts/lint.sh

test-dev: build
	ctest --preset dev

test-portable: build
	ctest --preset portable

# clang builds this one, so that its warnings are checked too (gcc builds the others).
test-asan:
	@$(DEPS) test
	cmake --preset asan-ubsan $(WERROR) >/dev/null
	cmake --build --preset asan-ubsan
	ctest --preset asan-ubsan

# The library's suite beside a base library that does what the base library's interface
# documents and nothing more: results marked ignored are 0, destinations are filled to their
# documented size, searches are the system's and must be closed.
test-strict:
	@$(DEPS) test
	cmake --preset strict-base $(WERROR) >/dev/null
	cmake --build --preset strict-base
	ctest --preset strict-base

test-release: release
	ctest --preset release

# The Python package (python/): the extension module built in the release build, then the
# pytest suite, which runs the cluster example (examples/archive_table.py) on a local cluster.
test-python:
	@$(DEPS) test python
	cmake --preset release -DYDR_BUILD_PYTHON=ON $(WERROR) >/dev/null
	cmake --build --preset release --target ydr_python ydr
	ctest --preset release -R '^python\.' --output-on-failure

# The 32-bit build proves the record layouts, counters and offsets at run time (GoogleTest
# built from its sources for -m32; the tests whose peer is libcrypto are left out and say so).
# Every program, the tests' own children included, runs under qemu-i386.
test-i386:
	@$(DEPS) test i386
	cmake --preset linux-i386 $(WERROR) >/dev/null
	cmake --build --preset linux-i386
	ctest --preset linux-i386

# Both Windows builds: the 32-bit DLLs and ydr.exe are built and their exports and headers
# checked (no 32-bit Windows code runs on these machines, wine's included, so its test programs
# are not built here); the 64-bit suite runs under wine.
test-windows:
	@$(DEPS) test windows
	cmake --preset windows-i686 $(WERROR) >/dev/null
	cmake --build --preset windows-i686 --target YdrBM70 YdrBL70 ydr
	ctest --preset windows-i686 -R '^(exports|header)\.'
	cmake --preset windows-x86_64 $(WERROR) >/dev/null
	cmake --build --preset windows-x86_64
	bash scripts/run-windows-tests.sh
	cmake --preset windows-x86_64-strict $(WERROR) >/dev/null
	cmake --build --preset windows-x86_64-strict
	PRESET=windows-x86_64-strict bash scripts/run-windows-tests.sh

# Not part of `make test`: the 32-bit Windows suite, run where 32-bit Windows code can run,
# under 32-bit wine in an emulated 32-bit Debian machine (qemu-system-i386, software
# emulation). The machine is made once from the Debian mirror and kept in build/win32-guest
# (see scripts/test-win32.sh). Measured on 2 cores: the first run 20.4 min, a later one 12.9.
test-win32:
	@$(DEPS) win32
	cmake --preset windows-i686 $(WERROR) >/dev/null
	cmake --build --preset windows-i686
	bash scripts/test-win32.sh

bench: release
	@$(DEPS) bench python
	bash scripts/run-benchmarks.sh build/release
	cmake --preset release -DYDR_BUILD_PYTHON=ON >/dev/null
	cmake --build --preset release --target ydr_python
	PYTHONPATH=build/release/python /usr/bin/python3 bench/python_bench.py

# Every fuzz target for FUZZ_SECONDS (the stream and archive targets three times as long),
# then the command's invariant fuzzer for FUZZ_CASES generated archives.
FUZZ_SECONDS ?= 300
FUZZ_CASES ?= 5000
fuzz:
	@$(DEPS) test
	FUZZ_CASES=$(FUZZ_CASES) bash scripts/fuzz.sh $(FUZZ_SECONDS)

# Formats every source file in place with .clang-format.
format:
	@$(DEPS) test
	bash scripts/lint.sh --fix-format

clean:
	rm -rf build
