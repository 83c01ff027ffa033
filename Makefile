# The two entry points a new user needs: `make demo` and `make test`. Both install what is
# missing first (scripts/install-deps), then configure and build incrementally with Ninja.

BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build build-asan test test-release test-asan fuzz demo bench install package clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENBY_WERROR=ON $(CMAKE_FLAGS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUENBY_WERROR=ON \
	      -DQUENBY_SANITIZE=ON -DQUENBY_BENCH=OFF $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	ninja -C $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN_BUILD)/build.ninja
	ninja -C $(ASAN_BUILD) -j $(JOBS)

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

$(FUZZ_BUILD)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DQUENBY_FUZZ=ON -DQUENBY_TESTS=OFF -DQUENBY_BENCH=OFF $(CMAKE_FLAGS)

# Each parser of files and wire data against random input, briefly (FUZZ_SECONDS each).
fuzz: deps $(FUZZ_BUILD)/build.ninja
	ninja -C $(FUZZ_BUILD) -j $(JOBS) $$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$$//')
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The whole suite, in a normal build and under the address and undefined-behaviour sanitizers,
# then the fuzz targets for a short while.
test: test-release test-asan fuzz

demo: build
	scripts/demo $(BUILD)

bench: build
	scripts/run-benchmarks $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

# The Debian package of the normal build, in $(BUILD) (scripts/check-package checks it).
package: deps $(BUILD)/build.ninja
	ninja -C $(BUILD) -j $(JOBS) package_contents
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
