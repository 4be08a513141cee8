# Two commands do all the set-up: `make demo` and `make test`.
SHELL := /bin/bash
BUILD_WIN ?= build/win
BUILD_NATIVE ?= build/native
JOBS ?= $(shell nproc)

.PHONY: all deps build build-win build-native test test-win test-native demo bench fuzz clean

all: build

deps:
	@scripts/install-deps.sh

build: deps build-win build-native

build-win:
	@cmake -S . -B $(BUILD_WIN) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build $(BUILD_WIN) -j $(JOBS)

build-native:
	@cmake -S . -B $(BUILD_NATIVE) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(BUILD_NATIVE) -j $(JOBS)

test-native: build-native
	@cd $(BUILD_NATIVE) && ctest --output-on-failure -j $(JOBS)

test-win: build-win
	@scripts/run-win-tests.sh $(BUILD_WIN)

# Native tests first, then the Windows ones: CTest's summary of the latter
# closes the run.
test: deps
	@$(MAKE) --no-print-directory test-native
	@$(MAKE) --no-print-directory test-win

clean:
	rm -rf build
