# Entry points: `make demo` and `make test` (see README.md). Each sets up what is missing.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
HOST_DIR := build/host
WIN32_DIR := build/win32
WIN64_DIR := build/win64
HOST32_DIR := build/host32
BENCH_DIR := build/bench
FUZZ_DIR := build/fuzz
# make fuzz: seconds per target.
FUZZ_SECONDS ?= 60
# The Windows build the tests run: the 64-bit build of the sources; the shipped 32-bit
# programs have runs of their own (scripts/i386-support.sh).
WINTEST_DIR = $(WIN64_DIR)
# The 32-bit unit tests carry the sanitizers where the kernel runs 32-bit programs; under
# emulation those would take many minutes, so they are built without them there.
HOST32_SANITIZE = $(shell source scripts/i386-support.sh && fern_kernel_i386 && echo ON || echo OFF)

.PHONY: all setup build host host32 win32 win64 wintest test test-i686 demo bench deb clean fuzz-build fuzz lint \
	reliability-report mutate

all: build

setup:
	@bash scripts/setup.sh

$(WIN32_DIR)/build.ninja:
	cmake -S . -B $(WIN32_DIR) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=MinSizeRel

$(WIN64_DIR)/build.ninja:
	cmake -S . -B $(WIN64_DIR) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=MinSizeRel

$(HOST_DIR)/build.ninja:
	cmake -S . -B $(HOST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERN_SANITIZE=ON

win32: setup $(WIN32_DIR)/build.ninja
	cmake --build $(WIN32_DIR) -j $(JOBS)

win64: setup $(WIN64_DIR)/build.ninja
	cmake --build $(WIN64_DIR) -j $(JOBS)

wintest: setup
	@$(MAKE) --no-print-directory $(if $(filter $(WIN64_DIR),$(WINTEST_DIR)),win64,win32)

host: setup $(HOST_DIR)/build.ninja
	cmake $(HOST_DIR) -DFERN_WIN32_DIR=$(abspath $(WINTEST_DIR)) -DFERN_I686_DIR=$(abspath $(WIN32_DIR)) \
	  -DFERN_FUZZ_DIR=$(abspath $(FUZZ_DIR)) -DFERN_HOST32_DIR=$(abspath $(HOST32_DIR)) >/dev/null
	cmake --build $(HOST_DIR) -j $(JOBS)

# The unit tests and fernpack as 32-bit x86 programs, against the private root's i386
# libraries; without the root (set-up says why) there is nothing to build.
$(HOST32_DIR)/build.ninja:
	cmake -S . -B $(HOST32_DIR) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/host-i386.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo

host32: setup
	@if [ -f build/i386-root/.fern-root ]; then \
	  $(MAKE) --no-print-directory $(HOST32_DIR)/build.ninja && \
	  cmake $(HOST32_DIR) -DFERN_SANITIZE=$(HOST32_SANITIZE) >/dev/null && \
	  cmake --build $(HOST32_DIR) -j $(JOBS) --target unit_tests fernpack; \
	fi

# The libFuzzer targets (clang with AddressSanitizer and UndefinedBehaviorSanitizer).
$(FUZZ_DIR)/build.ninja:
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DFERN_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

fuzz-build: setup $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=600); crashes are kept in
# build/fuzz/crashes/, the counts in build/fuzz/report/.
fuzz: fuzz-build
	@bash scripts/fuzz.sh run $(FUZZ_DIR) $(FUZZ_SECONDS)

# Static analysis of the portable code with the checked-in configuration.
lint: setup
	@bash scripts/lint.sh

# Mutation testing: each mutant of tests/mutants.tsv against the native unit tests, built
# without sanitizers in build/mutate (scripts/mutate.py); prints the kill rate and the
# survivors. Not part of make test.
mutate: setup
	@python3 scripts/mutate.py --jobs $(JOBS)

# docs/reliability.md from the latest results of make fuzz, make lint and the scenarios.
reliability-report:
	@bash scripts/reliability-report.sh

build: win32 wintest host host32 fuzz-build

test: build
	@bash scripts/run-tests.sh $(HOST_DIR)

# The 32-bit installer itself, driven through its scenarios on a machine whose kernel
# cannot run 32-bit Wine natively (slow: every 32-bit process runs under emulation).
test-i686: build
	@bash scripts/test-i686.sh $(HOST_DIR) $(WIN32_DIR)

demo: build
	@bash scripts/demo.sh $(HOST_DIR) $(WIN32_DIR)

# A Debian package of fernpack with the installer stub and the uninstaller (scripts/make-deb.sh).
deb: win32
	@bash scripts/make-deb.sh $(WIN32_DIR)

bench: setup
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_DIR) -j $(JOBS)
	@bash scripts/bench.sh $(BENCH_DIR) $(WIN32_DIR)

clean:
	rm -rf build
