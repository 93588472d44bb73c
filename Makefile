# The project's entry points. Every target installs what it needs first.
SHELL := /bin/bash
BUILD ?= build
NATIVE := $(BUILD)/native
WIN32 := $(BUILD)/win32
JOBS ?= $(shell nproc)
WINEPREFIX_DIR := $(abspath $(WIN32))/wineprefix

.PHONY: all deps build native win32 test test-native test-win32 demo clean

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

build: native win32

test: build test-native test-win32

test-native:
	@ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

# The Windows programs run under Wine; its server is stopped afterwards
# whatever the outcome.
test-win32:
	@status=0; \
	ctest --test-dir $(WIN32) --output-on-failure -j $(JOBS) || status=$$?; \
	WINEPREFIX=$(WINEPREFIX_DIR) wineserver -k 2>/dev/null; \
	exit $$status

demo: build
	@echo "demo: the command-line tool is not built yet; running the codec tests instead"
	@$(NATIVE)/bin/compression_tests --gtest_brief=1

clean:
	rm -rf $(BUILD)
