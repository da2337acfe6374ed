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
STRESS_PROGRAMS ?= quillon_tests deskband_tests
STRESS_SECONDS ?= 180

.PHONY: all deps build build-windows-all build-windows build-windows64 build-host dist demo test test-host \
        test-windows test-windows32 test-windows64 test-demo test-fuzz-smoke fuzz bench stress mutate clean \
        check-format

all: build

deps:
	@scripts/setup-deps

build: deps build-windows-all build-host dist

# The 32-bit and the 64-bit tree side by side: each spends a good part of its time in steps
# that use one core (configuring, linking, test discovery), which the other's compiling fills.
# The 64-bit tests also run programs of the 32-bit tree (a band or host of the other bitness).
build-windows-all:
	@$(MAKE) --no-print-directory -j2 --output-sync=target build-windows build-windows64

build-windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j$(JOBS)

build-windows64:
	cmake --preset windows64 >/dev/null
	cmake --build --preset windows64 -j$(JOBS)

build-host:
	cmake --preset host >/dev/null
	cmake --build --preset host -j$(JOBS)

# Fails on C and C++ files that clang-format would change (scripts/check-format --fix formats them).
check-format: deps
	@scripts/check-format

# 32-bit deliverables in dist/, 64-bit ones in dist/x64/.
dist: build-windows-all
	@scripts/copy-dist build/windows dist
	@scripts/copy-dist build/windows64 dist/x64

# The whole system once under Wine: registration, the 64-bit band in a 64-bit demo taskbar
# with the 32-bit reference host, Quillon. Images land in demo-out/.
demo: deps dist
	@scripts/demo --x64

test: check-format build test-host test-windows test-demo test-fuzz-smoke

test-host:
	ctest --preset host -j$(CTEST_JOBS)

# Both suites side by side, each in a Wine session of its own (the 64-bit one in a 64-bit
# prefix); each suite's output is printed as a whole when it ends.
test-windows:
	@$(MAKE) --no-print-directory -j2 --output-sync=target test-windows32 test-windows64

test-windows32:
	scripts/with-wine build/windows ctest --preset windows -j$(CTEST_JOBS)

test-windows64:
	scripts/with-wine build/windows64 ctest --preset windows64 -j$(CTEST_JOBS)

# The demo's steps (the 32-bit system) as a test, writing to the build tree instead of
# demo-out/.
test-demo:
	@DEMO_WINE_TREE=build/windows scripts/demo build/test-demo

stress: deps build-windows-all
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
