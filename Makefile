# qox: make build | make test | make fuzz | make demo | make bench | make clean
# The Makefile wraps CMake: out/host is the host tree, out/win32 the Windows
# tree; shipped programs land in out/bin.

SHELL := /bin/bash
OUT := out
GEN := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
# A tree keeps the generator it was configured with.
gen = $(if $(wildcard $(OUT)/$(1)/CMakeCache.txt),,-G "$(GEN)")
BUILD_TYPE ?= Release

# Debian packages the build and the tests need.
PACKAGES := cmake g++ googletest libgtest-dev libgmock-dev \
            g++-mingw-w64-i686-win32 mscompress libmspack-dev libcli11-dev \
            clang libclang-rt-14-dev valgrind
# Wine and a headless X server, for the Windows stub's tests and the demo;
# wine.sh adds qemu where the kernel runs no 32-bit x86 programs itself.
WINE_PACKAGES := wine wine64 wine32:i386 fonts-wine xvfb xdotool imagemagick
# Seconds each fuzz target runs in `make fuzz`.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := record walk expand roundtrip verify

.PHONY: all deps wine-deps build host win32 sanitize fuzz test demo bench clean

all: build

deps:
	@cmake/deps.sh $(PACKAGES)

# When Wine cannot be had at all, its tests skip (and say so) rather than
# fail the rest.
wine-deps:
	@tests/e2e-wine/wine.sh deps || echo "wine-deps: Wine could not be installed; its tests will be skipped" >&2

host: deps
	@cmake -S . -B $(OUT)/host $(call gen,host) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DQOX_BIN_DIR=$(CURDIR)/$(OUT)/bin >/dev/null
	@cmake --build $(OUT)/host

win32: deps
	@cmake -S . -B $(OUT)/win32 $(call gen,win32) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	    -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake -DQOX_BIN_DIR=$(CURDIR)/$(OUT)/bin >/dev/null
	@cmake --build $(OUT)/win32

build: host win32
	@ls -l $(OUT)/bin

# out/asan: the host tree with AddressSanitizer and UndefinedBehaviorSanitizer;
# its programs stay in the tree.
sanitize: deps
	@cmake -S . -B $(OUT)/asan $(call gen,asan) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOX_SANITIZE=ON >/dev/null
	@cmake --build $(OUT)/asan

# out/fuzz: the libFuzzer targets, built with clang; each runs FUZZ_SECONDS
# and any finding fails (it is kept in out/fuzz/findings).
fuzz: deps
	@cmake -DSOURCE=$(CURDIR) -DTREE=$(CURDIR)/$(OUT)/fuzz -DGENERATOR="$(GEN)" -P tests/fuzz/build.cmake
	@for t in $(FUZZ_TARGETS); do \
	    cmake -DTREE=$(CURDIR)/$(OUT)/fuzz -DTARGET=$$t -DCORPUS=$(CURDIR)/tests/fuzz/corpus/$$t \
	        -DSECONDS=$(FUZZ_SECONDS) -P tests/fuzz/run.cmake || exit 1; \
	done

# Both trees run, whatever the first one's outcome; either failing fails.
test: build sanitize wine-deps
	@rc=0; \
	(cd $(OUT)/host && ctest --output-on-failure -j2) || rc=1; \
	(cd $(OUT)/asan && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j2) || rc=1; \
	exit $$rc

demo: build wine-deps
	@examples/demo.sh

bench: build
	@bench/run.sh

clean:
	rm -rf $(OUT)
