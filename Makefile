# The project's commands. `make test` is what CI runs.
SHELL := /bin/bash
BUILD := build
CMAKE := cmake
CTEST_WIN := $(CURDIR)/cmake/with-display.sh $(CURDIR)/$(BUILD)/win32
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build test run bench clean host win32 win64

all: build

deps:
	@sh cmake/deps.sh

# Configure once; afterwards Ninja re-runs CMake by itself when a CMake file changes.
$(BUILD)/%/build.ninja: | deps
	$(CMAKE) --preset $* >/dev/null

host: deps $(BUILD)/host/build.ninja
	$(CMAKE) --build --preset host
win32: deps $(BUILD)/win32/build.ninja
	$(CMAKE) --build --preset win32
win64: deps $(BUILD)/win64/build.ninja
	$(CMAKE) --build --preset win64

build: host win32 win64

test: build
	cd $(BUILD)/host && ctest --output-on-failure -j $(JOBS)
	$(CTEST_WIN) ctest --test-dir $(BUILD)/win32 --output-on-failure -j $(JOBS) --timeout 300

run: deps win32
	@$(CTEST_WIN) tools/run-demo.sh $(BUILD)/win32

bench: deps win32
	@$(CTEST_WIN) $(CMAKE) --build --preset win32 --target bench

clean:
	rm -rf $(BUILD)
