# Entry points for people and CI. Every target installs what it needs first.
JOBS ?= 2
CTEST_JOBS ?= 2
# Fuzz targets and benchmarks of the fuzz preset, by name. A fuzz target's seeds are in
# <subsystem>/tests/fuzz-corpus/<target>/ (see scripts/run-fuzz).
FUZZ_TARGETS ?= script_fuzzer
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 20
BENCH_TARGETS ?= script_bench

.PHONY: all deps build build-windows build-host dist demo test test-host test-windows test-demo \
        test-fuzz-smoke fuzz bench stress clean

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

# The whole system once under Wine: registration, the band with the demo taskbar and the
# reference host, Quillon. Images land in demo-out/.
demo: deps build-windows dist
	@scripts/demo

test: build test-host test-windows test-demo test-fuzz-smoke

test-host:
	ctest --preset host -j$(CTEST_JOBS)

test-windows:
	scripts/with-wine build/windows ctest --preset windows -j$(CTEST_JOBS)

# The demo's steps as a test, writing to the build tree instead of demo-out/.
test-demo:
	@scripts/demo build/test-demo

stress: deps build-windows
	scripts/run-stress

test-fuzz-smoke: deps
	scripts/run-fuzz $(FUZZ_SMOKE_SECONDS) $(FUZZ_TARGETS)

fuzz: deps
	scripts/run-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

bench: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j$(JOBS) --target $(BENCH_TARGETS)
	@for b in $(BENCH_TARGETS); do build/fuzz/bin/$$b || exit 1; done

clean:
	rm -rf build dist
