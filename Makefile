# Thin wrapper around CMake. Every target first makes sure the Debian packages
# it needs are installed (scripts/install-deps).
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

.PHONY: all release test example bench fuzz format deps install deb clean

FUZZ_SECONDS ?= 60
# make install: where to (DESTDIR, if set, is put before it, for staging).
PREFIX ?= /usr/local
# What building and checking the Debian package needs: dpkg-shlibdeps (and
# the file command CPack runs it through); the tests also lint the manual
# pages, render them with man, run lintian on the package and open preview
# pages in headless Chromium; fonts-arphic-uming is an outline font that also
# holds bitmap strikes. The colour glyph tests bake Noto Color Emoji and a
# colour font that fontTools makes, and scale the emoji strike with Pillow.
# Shaped bakes take Noto Sans Arabic and Devanagari from fonts-noto-core,
# which make example draws too.
# Clang and its libFuzzer build the fuzz targets, so that one that no longer
# builds shows at once.
DEB_DEPS := dpkg-dev file
TEST_DEPS := $(DEB_DEPS) mandoc man-db lintian fonts-arphic-uming chromium fonts-font-awesome \
  fonts-noto-cjk fonts-noto-color-emoji fonts-noto-core python3-fonttools python3-pil clang \
  libclang-rt-14-dev

all: release

deps:
	@scripts/install-deps

release: deps
	@cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DGLYPHMINT_BENCH=OFF >/dev/null
	@cmake --build build/release -j $(JOBS)

test:
	@scripts/install-deps $(TEST_DEPS)
	@cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DGLYPHMINT_SANITIZE=ON -DGLYPHMINT_WERROR=ON >/dev/null
	@cmake --build build/asan -j $(JOBS)
	@cd build/asan && ctest --output-on-failure -j $(JOBS)
	@CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) scripts/fuzz --build-only
	@cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DGLYPHMINT_TSAN=ON -DGLYPHMINT_WERROR=ON >/dev/null
	@cmake --build build/tsan -j $(JOBS) --target parallel_test
	@cd build/tsan && ctest --output-on-failure -j $(JOBS)

install: release
	@DESTDIR="$(DESTDIR)" cmake --install build/release --prefix "$(PREFIX)"

deb: release
	@scripts/install-deps $(DEB_DEPS)
	@rm -rf build/deb
	@cpack --config build/release/CPackConfig.cmake -B build/deb >build/deb.log || { cat build/deb.log; exit 1; }
	@echo "Built $$(ls build/deb/*.deb)"

example: release
	@scripts/install-deps fonts-noto-color-emoji fonts-noto-core
	@scripts/example

# The kerning benchmarks bake whole fonts: Noto Sans CJK (big, so only here)
# and FreeSerif beside the test fonts; the colour one, Noto Color Emoji.
bench:
	@scripts/install-deps libbenchmark-dev valgrind fonts-noto-cjk fonts-freefont-ttf fonts-noto-color-emoji \
	  fonts-noto-core
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
