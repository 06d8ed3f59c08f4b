# qox: make build | make test | make demo | make bench | make clean
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
            g++-mingw-w64-i686-win32 mscompress libmspack-dev libcli11-dev

.PHONY: all deps build host win32 test demo bench clean

all: build

deps:
	@cmake/deps.sh $(PACKAGES)

host: deps
	@cmake -S . -B $(OUT)/host $(call gen,host) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DQOX_BIN_DIR=$(CURDIR)/$(OUT)/bin >/dev/null
	@cmake --build $(OUT)/host

win32: deps
	@cmake -S . -B $(OUT)/win32 $(call gen,win32) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	    -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake -DQOX_BIN_DIR=$(CURDIR)/$(OUT)/bin >/dev/null
	@cmake --build $(OUT)/win32

build: host win32
	@ls -l $(OUT)/bin

test: build
	@cd $(OUT)/host && ctest --output-on-failure -j2

demo: build
	@examples/demo.sh

bench: build
	@bench/run.sh

clean:
	rm -rf $(OUT)
