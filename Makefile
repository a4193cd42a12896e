# Sondrel: `make run` opens the monitor, `make test` runs every check.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 15
FUZZ_SEED ?= 1
export ASAN_OPTIONS ?= detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/tests/support/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS ?= suppressions=$(CURDIR)/tests/support/tsan.supp:halt_on_error=1:second_deadlock_stack=1

.PHONY: deps run release test format-check asan-build test-asan test-tsan test-fuzz stress bench fuzz fuzz-long clean

deps:
	@./scripts/install-deps

release: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DSONDREL_TESTS=OFF >/dev/null
	cmake --build build/release -j $(JOBS)

run: release
	./build/release/bin/sondrel

# Fuzz and thread-sanitizer runs first, so that CTest's summary of the full suite closes the output.
test: deps format-check test-fuzz test-tsan test-asan

# Every C++ file follows .clang-format; a file that differs fails the check.
format-check:
	git ls-files 'src/*' 'tests/*' 'fuzz/*' 'bench/*' 'tools/*' | grep -E '\.(h|cpp)$$' | xargs clang-format --dry-run --Werror

asan-build:
	cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DSONDREL_SANITIZE=address,undefined -DSONDREL_BENCH=OFF >/dev/null
	cmake --build build/asan -j $(JOBS)

test-asan: asan-build
	cd build/asan && ctest --output-on-failure -j $(JOBS)

# The address-sanitizer suite five times over while every core is busy, to bring out tests
# that only pass on an idle machine. STRESS_TESTS=<ctest -R pattern> narrows it.
stress: deps asan-build
	./scripts/stress build/asan 5

test-tsan:
	cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DSONDREL_SANITIZE=thread -DSONDREL_BENCH=OFF "-DSONDREL_TEST_AREAS=engine;session;view" >/dev/null
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && ctest --output-on-failure -j $(JOBS)

build/fuzz/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONDREL_FUZZ=ON >/dev/null

test-fuzz: build/fuzz/CMakeCache.txt
	cmake --build build/fuzz -j $(JOBS)
	FUZZ_SEED=$(FUZZ_SEED) ./scripts/run-fuzzers build/fuzz/bin $(FUZZ_SECONDS)

# Five minutes a fuzzer from a fresh seed. What a run finds interesting stays in
# fuzz/corpus/<fuzzer>/ (local, not committed) and the next run starts from it.
fuzz-long: FUZZ_SECONDS = 300
fuzz-long: FUZZ_SEED =
fuzz-long: export FUZZ_CORPUS = $(CURDIR)/fuzz/corpus
fuzz-long: deps test-fuzz

fuzz: fuzz-long

bench: release
	cmake -S . -B build/release -DSONDREL_BENCH=ON >/dev/null
	cmake --build build/release -j $(JOBS)
	@for b in build/release/bin/bench_*; do echo "== $$b"; $$b || exit 1; done
	@for s in bench/*.sh; do echo "== $$s"; bash $$s || exit 1; done

clean:
	rm -rf build
