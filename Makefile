# Entry points for people and CI. Every target installs what it needs first.
JOBS ?= 2
CTEST_JOBS ?= 2

.PHONY: all deps build build-windows build-host dist demo test test-host test-windows test-demo stress clean

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

test: build test-host test-windows test-demo

test-host:
	ctest --preset host -j$(CTEST_JOBS)

test-windows:
	scripts/with-wine build/windows ctest --preset windows -j$(CTEST_JOBS)

# The demo's steps as a test, writing to the build tree instead of demo-out/.
test-demo:
	@scripts/demo build/test-demo

stress: deps build-windows
	scripts/run-stress

clean:
	rm -rf build dist
