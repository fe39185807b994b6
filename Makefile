# Entry points: `make demo` and `make test` (see README.md). Each sets up what is missing.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
HOST_DIR := build/host
WIN32_DIR := build/win32
BENCH_DIR := build/bench

.PHONY: all setup build host win32 test demo bench clean

all: build

setup:
	@bash scripts/setup.sh

$(WIN32_DIR)/build.ninja:
	cmake -S . -B $(WIN32_DIR) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=MinSizeRel

$(HOST_DIR)/build.ninja:
	cmake -S . -B $(HOST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERN_SANITIZE=ON \
	  -DFERN_WIN32_DIR=$(abspath $(WIN32_DIR))

win32: setup $(WIN32_DIR)/build.ninja
	cmake --build $(WIN32_DIR) -j $(JOBS)

host: setup $(HOST_DIR)/build.ninja
	cmake --build $(HOST_DIR) -j $(JOBS)

build: win32 host

test: build
	@bash scripts/run-tests.sh $(HOST_DIR)

demo: build
	@bash scripts/demo.sh $(HOST_DIR) $(WIN32_DIR)

bench: setup
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_DIR) -j $(JOBS)
	@bash scripts/bench.sh $(BENCH_DIR) $(WIN32_DIR)

clean:
	rm -rf build
