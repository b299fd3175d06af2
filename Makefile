# The two commands a new machine needs: `make demo` and `make test`.
# Both install any missing Debian packages first (scripts/install-deps.sh).

.PHONY: all deps demo test test-dev test-asan test-fuzz build release bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev

release: deps
	cmake --preset release >/dev/null
	cmake --build --preset release

# The main job on bundled data: the archive round trip of examples/sample.
demo: release
	bash scripts/demo.sh build/release/bin/ydr

# Unit tests first, so a broken test shows in seconds; the fuzzing run last.
test: test-dev test-asan test-fuzz

test-dev: build
	ctest --preset dev

test-asan: deps
	cmake --preset asan-ubsan >/dev/null
	cmake --build --preset asan-ubsan
	ctest --preset asan-ubsan

# A short run of every fuzz target (scripts/fuzz.sh runs them longer).
test-fuzz: deps
	bash scripts/fuzz.sh 10

bench: release
	bash scripts/run-benchmarks.sh build/release

FUZZ_SECONDS ?= 300
fuzz: deps
	bash scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf build
