# Thin wrapper around CMake. Every target first makes sure the Debian packages
# it needs are installed (scripts/install-deps).
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

.PHONY: all release test example format deps clean

all: release

deps:
	@scripts/install-deps

release: deps
	@cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
	@cmake --build build/release -j $(JOBS)

test: deps
	@cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DGLYPHMINT_SANITIZE=ON >/dev/null
	@cmake --build build/asan -j $(JOBS)
	@cd build/asan && ctest --output-on-failure -j $(JOBS)

example: release
	@scripts/example

format:
	@clang-format -i $$(git ls-files '*.h' '*.cpp')

clean:
	rm -rf build
