# Two commands do all the set-up: `make demo` and `make test`.
SHELL := /bin/bash
BUILD_WIN ?= build/win
BUILD_NATIVE ?= build/native
JOBS ?= $(shell nproc)

.PHONY: all deps build build-win build-native test test-win test-native demo bench fuzz mutate installer clean

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

# The Windows tests drive the native appliance simulator too, and one of
# them the installer.
test-win: build-win build-native installer
	@scripts/run-win-tests.sh $(BUILD_WIN)

# The real program under Wine against the simulated appliance and the
# stand-in hypervisor HYPERVISOR (player, workstation, server or vbox), in network
# namespaces of its own (needs root). Builds only what it runs: the program,
# that stand-in, and the native simulator.
HYPERVISOR ?= player
DEMO_TARGETS_player = vmplayer_standin vmware_vmx_standin
DEMO_TARGETS_workstation = vmware_standin vmware_vmx_standin
DEMO_TARGETS_server = vix_standin vmservice_standin
DEMO_TARGETS_vbox = vbox_standins
demo: deps
	@[ -n "$(DEMO_TARGETS_$(HYPERVISOR))" ] || { echo "HYPERVISOR must be player, workstation, server or vbox" >&2; exit 2; }
	@cmake -S . -B $(BUILD_WIN) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build $(BUILD_WIN) -j $(JOBS) --target Holvenstead $(DEMO_TARGETS_$(HYPERVISOR))
	@cmake -S . -B $(BUILD_NATIVE) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(BUILD_NATIVE) -j $(JOBS) --target appliance-sim
	@HOLV_WIN_BIN=$(CURDIR)/$(BUILD_WIN)/bin HOLV_NATIVE_BIN=$(CURDIR)/$(BUILD_NATIVE)/bin \
	  HOLV_WINEPREFIX=$(CURDIR)/$(BUILD_WIN)/wineprefix HYPERVISOR=$(HYPERVISOR) scripts/demo.sh

# The installer: a Release build of the program alone, stripped, packed by
# NSIS into build/installer/Holvenstead-VERSION-setup.exe.
BUILD_RELEASE ?= build/release
installer: deps
	@JOBS=$(JOBS) scripts/make-installer.sh $(BUILD_RELEASE) build/installer

# Native tests first, then the Windows ones: CTest's summary of the latter
# closes the run.
test: deps
	@$(MAKE) --no-print-directory test-native
	@$(MAKE) --no-print-directory test-win

# Fuzzes the IMC frame decoder, then the route-list parser (native clang
# build, ASan+UBSan), each for FUZZ_SECONDS; new inputs collect in the build
# tree, crashes land beside them.
FUZZ_SECONDS ?= 600
FUZZ_CORPUS = $(BUILD_NATIVE)/fuzz-corpus
fuzz:
	@cmake -S . -B $(BUILD_NATIVE) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(BUILD_NATIVE) -j $(JOBS) --target fuzz_imc_decode_frame fuzz_route_list
	@mkdir -p $(FUZZ_CORPUS)/imc-decode-frame $(FUZZ_CORPUS)/route-list
	$(BUILD_NATIVE)/bin/fuzz_imc_decode_frame -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -timeout=10 \
	  -print_final_stats=1 -artifact_prefix=$(FUZZ_CORPUS)/ \
	  $(FUZZ_CORPUS)/imc-decode-frame tests/imc/corpus
	$(BUILD_NATIVE)/bin/fuzz_route_list -max_total_time=$(FUZZ_SECONDS) -max_len=24576 -timeout=10 \
	  -print_final_stats=1 -artifact_prefix=$(FUZZ_CORPUS)/ \
	  $(FUZZ_CORPUS)/route-list tests/session/corpus-routes
	@# The DNS suffix template and the proxy settings blob, FUZZ_SECONDS each.
	@cmake --build $(BUILD_NATIVE) -j $(JOBS) --target fuzz_suffix_template fuzz_proxy_blob
	@mkdir -p $(FUZZ_CORPUS)/suffix-template $(FUZZ_CORPUS)/proxy-blob
	$(BUILD_NATIVE)/bin/fuzz_suffix_template -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=10 \
	  -print_final_stats=1 -artifact_prefix=$(FUZZ_CORPUS)/ \
	  $(FUZZ_CORPUS)/suffix-template tests/session/corpus-suffix
	$(BUILD_NATIVE)/bin/fuzz_proxy_blob -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=10 \
	  -print_final_stats=1 -artifact_prefix=$(FUZZ_CORPUS)/ \
	  $(FUZZ_CORPUS)/proxy-blob tests/host/corpus-proxy-blob

# Codec benchmarks: an optimised build without sanitizers of its own.
BUILD_BENCH ?= build/bench
bench:
	@cmake -S . -B $(BUILD_BENCH) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=Release -DHOLV_SANITIZE=OFF -DHOLV_FUZZ=OFF >/dev/null
	@cmake --build $(BUILD_BENCH) -j $(JOBS) --target bench_imc_codec appliance-sim
	@$(BUILD_BENCH)/bin/bench_imc_codec
	@# One session step of the real program under Wine against the simulator,
	@# before (reading the addresses and the route table at every step) and after,
	@# in network namespaces of its own (needs root; skipped without them).
	@cmake -S . -B $(BUILD_WIN) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build $(BUILD_WIN) -j $(JOBS) --target Holvenstead Holvenstead_before wake_probe vmplayer_standin vmware_vmx_standin
	@HOLV_WINEPREFIX=$(CURDIR)/$(BUILD_WIN)/wineprefix bench/session-bench.sh \
	  --bin $(CURDIR)/$(BUILD_WIN)/bin --sim $(CURDIR)/$(BUILD_BENCH)/bin/appliance-sim; \
	  rc=$$?; if [ $$rc = 77 ]; then echo "session benchmark skipped: no network namespaces here"; else exit $$rc; fi

# Planted faults (scripts/mutations.txt), one at a time in a scratch copy of
# the tree, each followed by the tests that cover it: prints which were
# caught. Long (tens of minutes) and needs root for the Windows tests'
# network namespaces; never part of `make test`. MUTATE_ARGS passes options
# (--only REGEX, --scratch DIR, --check ...).
mutate: deps
	@scripts/mutate.py $(MUTATE_ARGS)

clean:
	rm -rf build
