# The project's entry points. Every target installs what it needs first.
SHELL := /bin/bash
BUILD ?= build
NATIVE := $(BUILD)/native
WIN32 := $(BUILD)/win32
SANITIZE := $(BUILD)/sanitize
FUZZ := $(BUILD)/fuzz
# Seconds each fuzz target runs in `make fuzz`.
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
WINEPREFIX_DIR := $(abspath $(WIN32))/wineprefix

.PHONY: all deps build native win32 sanitize test test-native test-win32 test-sanitize fuzz demo clean

all: build

deps:
	@cmake/install-deps.sh test

native: deps
	@cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

win32: deps
	@cmake -S . -B $(WIN32) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake >/dev/null
	@cmake --build $(WIN32) -j $(JOBS)

# The unit tests once more, with AddressSanitizer, UndefinedBehaviorSanitizer
# and LeakSanitizer.
sanitize: deps
	@cmake -S . -B $(SANITIZE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DSTOWAWAY_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE) -j $(JOBS)

build: native win32

test: build sanitize test-native test-win32 test-sanitize

test-native:
	@ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

# The Windows programs run under Wine; its server is stopped afterwards
# whatever the outcome.
test-win32:
	@status=0; \
	ctest --test-dir $(WIN32) --output-on-failure -j $(JOBS) || status=$$?; \
	WINEPREFIX=$(WINEPREFIX_DIR) wineserver -k 2>/dev/null; \
	exit $$status

test-sanitize:
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE) --output-on-failure -j $(JOBS)

# Every fuzz target for FUZZ_SECONDS, built with clang, libFuzzer and the
# sanitizers; fails on any finding and prints the executions of each.
fuzz:
	@cmake/install-deps.sh fuzz
	@cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DSTOWAWAY_FUZZ=ON -DSTOWAWAY_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS) --target fuzz_targets
	@fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

# Packs a sample payload into an installer, runs it under Wine with the probe
# front-end and checks what it extracted; its files are left in $(BUILD)/demo.
demo: build
	@tools/demo.sh $(NATIVE) $(WIN32)

clean:
	rm -rf $(BUILD)

# Throughput and packed size of both modes against zlib and lz4 on a corpus of
# Debian's files, and the whole extraction path. Prints the table and writes
# it, a CSV file and a chart into $(BENCH). BENCH_ARGS go to the program, e.g.
# BENCH_ARGS='--only good,zlib6' or BENCH_ARGS=--quick.
BENCH := $(BUILD)/bench
# Then the corpus as one stream against gzip and lz4 (bench/streams.sh), and
# installers of it against NSIS and makeself (bench/installers.sh), each in
# STREAM_ROUNDS / INSTALLER_ROUNDS rotated rounds, with the build trees.
STREAM_ROUNDS ?= 5
INSTALLER_ROUNDS ?= 5
.PHONY: bench
bench: build
	@cmake/install-deps.sh bench
	@bench/corpus.sh $(BENCH)/corpus
	@cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DSTOWAWAY_BENCH=ON -DSTOWAWAY_TESTS=OFF >/dev/null
	@cmake --build $(BENCH) -j $(JOBS) --target stowaway_bench
	@$(BENCH)/bin/stowaway_bench --corpus $(BENCH)/corpus \
	  --manifest bench/corpus.manifest --out $(BENCH) $(BENCH_ARGS)
	@/usr/bin/python3 bench/chart.py $(BENCH)/results.csv $(BENCH)/throughput.png
	@bench/streams.sh $(NATIVE) $(BENCH) $(STREAM_ROUNDS)
	@bench/installers.sh $(NATIVE) $(WIN32) $(BENCH) $(INSTALLER_ROUNDS)
