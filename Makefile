# The project's commands. `make test` is what CI runs.
SHELL := /bin/bash
BUILD := build
CMAKE := cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# The Windows build whose programs this machine can run under Wine: win32 (what ships) where
# the kernel runs 32-bit programs, otherwise win64.
WINRUN = $(shell cmake/wine-arch.sh)
WITH_DISPLAY = cmake/with-display.sh $(CURDIR)/$(BUILD)/$(WINRUN)

.PHONY: all deps build test run bench package clean host win32 win64

all: build

deps:
	@sh cmake/deps.sh

# Configure once; afterwards Ninja re-runs CMake by itself when a CMake file changes.
# TOLM_DEMO_PORT=N moves the loopback publisher, so that two checkouts can test side by side.
$(BUILD)/%/build.ninja: | deps
	$(CMAKE) --preset $* $(if $(TOLM_DEMO_PORT),-DTOLM_DEMO_PORT=$(TOLM_DEMO_PORT)) >/dev/null

host: deps $(BUILD)/host/build.ninja
	$(CMAKE) --build --preset host
win32: deps $(BUILD)/win32/build.ninja
	$(CMAKE) --build --preset win32
win64: deps $(BUILD)/win64/build.ninja
	$(CMAKE) --build --preset win64

build: host win32 win64

# The Windows build whose tests run here is built whole; of the other one, the programs and the
# setup, which must compile (on this kind of machine: the shipped i686 build, tests in x86_64).
OTHER = $(if $(filter win32,$(WINRUN)),win64,win32)
programs-%: deps $(BUILD)/%/build.ninja
	$(CMAKE) --build --preset $* --target tolm jw setup

test: host $(WINRUN) programs-$(OTHER)
	cd $(BUILD)/host && ctest --output-on-failure -j $(JOBS)
	@echo "Windows tests run in the $(WINRUN) build under Wine."
	$(WITH_DISPLAY) ctest --test-dir $(BUILD)/$(WINRUN) --output-on-failure -j $(JOBS)

run: deps
	@$(MAKE) --no-print-directory $(WINRUN)
	@PUBLISHED=$(PUBLISHED) DPI=$(DPI) $(WITH_DISPLAY) tools/run-demo.sh $(CURDIR)/$(BUILD)/$(WINRUN)

bench: deps
	@$(MAKE) --no-print-directory $(WINRUN) win32
	@$(WITH_DISPLAY) bench/startup.sh $(CURDIR)/$(BUILD)/$(WINRUN) $(CURDIR)/$(BUILD)/win32

# The setup program that ships, from the 32-bit build: build/win32/tolm-setup-<version>.exe.
package: deps $(BUILD)/win32/build.ninja
	$(CMAKE) --build --preset win32 --target setup
	@ls $(BUILD)/win32/tolm-setup-*.exe

clean:
	rm -rf $(BUILD)
