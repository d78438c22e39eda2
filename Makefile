# Thin wrapper around CMake. Every target first makes sure the Debian packages
# it needs are installed (scripts/install-deps).
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

.PHONY: all release test example bench fuzz format deps clean

FUZZ_SECONDS ?= 60

all: release

deps:
	@scripts/install-deps

release: deps
	@cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DGLYPHMINT_BENCH=OFF >/dev/null
	@cmake --build build/release -j $(JOBS)

test: deps
	@cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DGLYPHMINT_SANITIZE=ON >/dev/null
	@cmake --build build/asan -j $(JOBS)
	@cd build/asan && ctest --output-on-failure -j $(JOBS)

example: release
	@scripts/example

bench:
	@scripts/install-deps libbenchmark-dev valgrind
	@cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DGLYPHMINT_BENCH=ON >/dev/null
	@cmake --build build/release -j $(JOBS)
	@scripts/bench

fuzz:
	@scripts/install-deps clang libclang-rt-14-dev
	@FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz

format:
	@clang-format -i $$(git ls-files '*.h' '*.cpp')

clean:
	rm -rf build
