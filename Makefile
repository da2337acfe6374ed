# Entry points for people and CI. Every target installs what it needs first.
JOBS ?= 2
CTEST_JOBS ?= 2
# Fuzz targets and benchmarks of the fuzz preset, by name. A fuzz target's seeds are in
# <subsystem>/tests/fuzz-corpus/<target>/ (see scripts/run-fuzz); benchmark sources are in
# <subsystem>/bench/.
FUZZ_TARGETS ?= script_fuzzer snapshot_fuzzer
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 20
BENCH_TARGETS ?= script_bench
# Windows benchmark programs, run under Wine; `make bench` prints their figures and those of
# the fuzz preset's benchmarks as one table.
WINDOWS_BENCH_TARGETS ?= allocator_bench snapshot_bench
# Test programs whose stress tests `make stress` runs, and for how long each.
STRESS_PROGRAMS ?= quillon_tests deskband_reliability_tests
STRESS_SECONDS ?= 180

.PHONY: all deps build build-windows build-host dist demo test test-host test-windows test-demo \
        test-fuzz-smoke fuzz bench stress mutate clean check-format

all: build

deps:
	@scripts/setup-deps

build: deps build-windows build-host dist

build-windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j$(JOBS)

build-host:
	cmake --preset host >/dev/null
	cmake --build --preset host -j$(JOBS)

# Fails on C and C++ files that clang-format would change (scripts/check-format --fix formats them).
check-format: deps
	@scripts/check-format

dist: build-windows
	@scripts/copy-dist build/windows dist

# The whole system once under Wine: registration, the band with the demo taskbar and the
# reference host, Quillon. Images land in demo-out/.
demo: deps build-windows dist
	@scripts/demo

test: check-format build test-host test-windows test-demo test-fuzz-smoke

test-host:
	ctest --preset host -j$(CTEST_JOBS)

test-windows:
	scripts/with-wine build/windows ctest --preset windows -j$(CTEST_JOBS)

# The demo's steps as a test, writing to the build tree instead of demo-out/.
test-demo:
	@scripts/demo build/test-demo

stress: deps build-windows
	scripts/run-stress $(STRESS_SECONDS) $(STRESS_PROGRAMS)

test-fuzz-smoke: deps
	scripts/run-fuzz $(FUZZ_SMOKE_SECONDS) $(FUZZ_TARGETS)

fuzz: deps
	scripts/run-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

bench: deps dist
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j$(JOBS) --target $(BENCH_TARGETS)
	scripts/run-bench "$(WINDOWS_BENCH_TARGETS)" "$(BENCH_TARGETS)"

# Each realistic fault of scripts/mutations.txt applied alone to a scratch copy of the tree
# and the covering tests run; prints killed/survived per fault and the kill rate.
# MUTATE=PATTERN runs only the faults whose line contains PATTERN.
mutate: deps
	scripts/mutate $(MUTATE)

clean:
	rm -rf build dist
