# Entry points for people and CI. Every target installs what it needs first.
JOBS ?= 2
CTEST_JOBS ?= 2
# Test programs whose stress tests `make stress` runs, and for how long each.
STRESS_PROGRAMS ?= quillon_tests deskband_reliability_tests
STRESS_SECONDS ?= 180
# Windows benchmark programs that `make bench` runs under Wine.
WINDOWS_BENCH_TARGETS ?= allocator_bench snapshot_bench

.PHONY: all deps build build-windows build-host dist test test-host test-windows stress bench clean

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

dist: build-windows
	@scripts/copy-dist build/windows dist

test: build test-host test-windows

test-host:
	ctest --preset host -j$(CTEST_JOBS)

test-windows:
	scripts/with-wine build/windows ctest --preset windows -j$(CTEST_JOBS)

stress: deps build-windows
	scripts/run-stress $(STRESS_SECONDS) $(STRESS_PROGRAMS)

bench: deps dist
	scripts/run-bench "$(WINDOWS_BENCH_TARGETS)"

clean:
	rm -rf build dist
