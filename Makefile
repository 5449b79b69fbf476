# Varqen: the user commands. Each installs what it needs first.
.PHONY: deps build run test asan tsan bench fuzz clean

JOBS ?= $(shell nproc)
# Relative paths in ccache keys let checkouts of the tree share compiled objects.
export CCACHE_BASEDIR := $(CURDIR)
CMAKE_GEN = -G Ninja
FUZZ_SECONDS ?= 60

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

# Fits the bundled example; the report lands beside it, the run log in the current folder.
run: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS) --target varqen
	@build/varqen examples/michaelis-menten.dat

test: build
	@cd build && ctest --output-on-failure -j $(JOBS)

asan: deps
	@cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVARQEN_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

tsan: deps
	@cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVARQEN_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -L 'platform|toolkit|files|engine|x11'

bench: deps
	@cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-bench -j $(JOBS) --target benchmarks
	@for b in build-bench/bench/*_bench; do echo "== $$b"; $$b || exit 1; done

# Each fuzz target runs for FUZZ_SECONDS on a fresh corpus seeded from fuzz/corpus/<name>.
# bash for pipefail: a target that finds a crash fails the run, though tail shows its end.
fuzz: SHELL := /bin/bash
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVARQEN_FUZZ=ON -DVARQEN_SANITIZE=address,undefined >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@set -o pipefail; for f in build-fuzz/fuzz/*_fuzz; do n=$$(basename $$f); \
	  mkdir -p build-fuzz/corpus/$$n; echo "== $$n ($(FUZZ_SECONDS) s)"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=4096 build-fuzz/corpus/$$n \
	    $$( [ -d fuzz/corpus/$$n ] && echo fuzz/corpus/$$n ) 2>&1 | tail -n 3 || exit 1; done

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
