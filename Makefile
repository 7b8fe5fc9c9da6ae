# The project's commands. `make test` is what CI runs.
SHELL := /bin/bash
BUILD := build
CMAKE := cmake
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# How this machine runs the shipped 32-bit build under Wine (native, qemu or none), decided once
# and followed by every script of the run (cmake/wine-route.sh); `make test` decides it again
# once the packages are installed.
ifeq ($(origin TOLM_WINE_ROUTE),undefined)
TOLM_WINE_ROUTE := $(shell sh cmake/wine-route.sh)
endif
export TOLM_WINE_ROUTE
# The Windows build whose programs this machine can run under Wine: win32 (what ships) wherever
# 32-bit Wine runs, natively or emulated; otherwise win64.
WINRUN := $(if $(filter none,$(TOLM_WINE_ROUTE)),win64,win32)
WITH_DISPLAY = cmake/with-display.sh $(CURDIR)/$(BUILD)/$(WINRUN)

.PHONY: all deps build test test-installed run bench fuzz package release check-reproducible clean host release-test win32 win64

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

# The Windows build whose tests run here is built whole. Where that is the shipped i686 build,
# the x86_64 build is built whole too and runs its unit-level Windows tests (not the end-to-end
# ones, which the shipped build's take the place of), so that nothing assumes 32-bit pointers.
# Where only x86_64 Wine runs, the i686 programs and setup must still compile.
OTHER = $(if $(filter win32,$(WINRUN)),win64,win32)
programs-%: deps $(BUILD)/%/build.ninja
	$(CMAKE) --build --preset $* --target tolm jw setup

# The release configuration under test: the release preset's settings, with the scripted
# publisher's address https://localhost:PORT and an update key pair made for this build folder
# (so for each fresh clone), never the demo key. Only what its tests need is built.
RELEASE_TEST := $(BUILD)/release-test
RELEASE_TEST_PORT = $(or $(TOLM_DEMO_PORT),8734)
RELEASE_TEST_KEY = $(CURDIR)/$(RELEASE_TEST)/update-key
$(RELEASE_TEST)/build.ninja: | deps
	mkdir -p $(RELEASE_TEST_KEY)
	openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out $(RELEASE_TEST_KEY)/key.pem 2>/dev/null
	openssl pkey -in $(RELEASE_TEST_KEY)/key.pem -pubout -out $(RELEASE_TEST_KEY)/pub.pem
	$(CMAKE) --preset release -B $(RELEASE_TEST) -DTOLM_DEMO_PORT=$(RELEASE_TEST_PORT) \
	    -DTOLM_PUBLISHER=https://localhost:$(RELEASE_TEST_PORT) -DTOLM_UPDATE_PUBKEY=$(RELEASE_TEST_KEY)/pub.pem \
	    -DTOLM_UPDATE_SIGNING_KEY=$(RELEASE_TEST_KEY)/key.pem >/dev/null
release-test: deps $(RELEASE_TEST)/build.ninja
	$(CMAKE) --build $(RELEASE_TEST) --target e2e_test

# Which build runs its tests depends on Wine, so it is decided once the packages are there
# (a route this Makefile worked out before them is worked out again; one given from outside
# is kept).
test: deps
	@$(MAKE) --no-print-directory test-installed \
	    TOLM_WINE_ROUTE=$$($(if $(filter file,$(origin TOLM_WINE_ROUTE)),env -u TOLM_WINE_ROUTE) sh cmake/wine-route.sh)

ifeq ($(WINRUN),win32)
test-installed: host win32 win64 release-test
else
test-installed: host $(WINRUN) programs-$(OTHER)
endif
	cd $(BUILD)/host && ctest --output-on-failure -j $(JOBS)
	@sh cmake/wine-route.sh --report
ifeq ($(WINRUN),win32)
	@# The x86_64 build's unit-level tests run beside the shipped build's, in a prefix and on a
	@# display of their own, one at a time: most of both runs is waiting on Wine and the
	@# window system. Their output follows the shipped build's.
	@cmake/with-display.sh $(CURDIR)/$(BUILD)/win64 ctest --test-dir $(BUILD)/win64 --output-on-failure -E '^e2e\.' \
	    >$(BUILD)/win64-tests.log 2>&1 & other=$$!; \
	rc=0; $(WITH_DISPLAY) ctest --test-dir $(BUILD)/$(WINRUN) --output-on-failure -j $(JOBS) || rc=$$?; \
	rc64=0; wait $$other || rc64=$$?; \
	echo "Unit-level Windows tests of the x86_64 build."; cat $(BUILD)/win64-tests.log; \
	[ $$rc = 0 ] && [ $$rc64 = 0 ]
	@echo "End-to-end tests of the release configuration, over https."
	cmake/with-display.sh $(CURDIR)/$(RELEASE_TEST) ctest --test-dir $(RELEASE_TEST) --output-on-failure -j $(JOBS)
else
	$(WITH_DISPLAY) ctest --test-dir $(BUILD)/$(WINRUN) --output-on-failure -j $(JOBS)
	@echo "The $(OTHER) build's programs import nothing that Windows 7 SP1 lacks:"
	ctest --test-dir $(BUILD)/$(OTHER) -R '^imports\.programs$$' --output-on-failure
endif

run: deps
	@$(MAKE) --no-print-directory $(WINRUN)
	@PUBLISHED=$(PUBLISHED) DPI=$(DPI) $(WITH_DISPLAY) tools/run-demo.sh $(CURDIR)/$(BUILD)/$(WINRUN)

bench: deps
	@$(MAKE) --no-print-directory $(WINRUN) win32
	@$(WITH_DISPLAY) bench/startup.sh $(CURDIR)/$(BUILD)/$(WINRUN) $(CURDIR)/$(BUILD)/win32

# Every fuzz target of the host build for SECONDS each (60 unless given), one after another;
# prints how many inputs each ran (tools/fuzz). Only a SECONDS given to make counts: one in the
# environment is more likely a shell's running clock than a wish.
FUZZ_SECONDS = $(if $(filter command line file,$(origin SECONDS)),$(SECONDS),60)
fuzz: deps $(BUILD)/host/build.ninja
	$(CMAKE) --build --preset host --target fuzzers
	@tools/fuzz $(FUZZ_SECONDS) $(BUILD)/host

# The setup program that ships, from the 32-bit build: build/win32/tolm-setup-<version>.exe.
# SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_TIMESTAMP=url] sign it, its uninstaller, tolm.exe
# and jw.exe with Authenticode; without them everything is built unsigned.
# The paths and the address reach the recipe's shell only as variables of the environment (make
# exports those given on its command line), so that it expands none of them; CMake makes the
# paths absolute from here.
package: deps $(BUILD)/win32/build.ninja
	$(CMAKE) -S . -B $(BUILD)/win32 -DTOLM_SIGN_CERT="$$SIGN_CERT" -DTOLM_SIGN_KEY="$$SIGN_KEY" \
	    -DTOLM_SIGN_TIMESTAMP="$$SIGN_TIMESTAMP" >/dev/null
	$(CMAKE) --build --preset win32 --target setup
	@ls $(BUILD)/win32/tolm-setup-*.exe

# A release from the committed tree, laid out as it is uploaded (see tools/make-release):
#   make release PUBLISHER=https://example.org UPDATE_KEY=tolm-update-key.pem [MOTTO=motto.txt]
#       [OUT=folder] [SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_TIMESTAMP=url]]
# UPDATE_KEY is the publisher's private key: it signs the update, and its public half is built in.
# As for package, the settings reach tools/make-release from the environment, unexpanded.
release: deps
	@tools/make-release --publisher "$$PUBLISHER" --update-key "$$UPDATE_KEY" --motto "$$MOTTO" \
	    --out "$$OUT" --build "$(BUILD)/release" --sign-cert "$$SIGN_CERT" --sign-key "$$SIGN_KEY" \
	    --sign-timestamp "$$SIGN_TIMESTAMP"

# Two release builds of the committed tree, in two other folders one after the other, compared
# byte for byte (what CI runs after make test).
check-reproducible: deps
	@tools/check-reproducible

clean:
	rm -rf $(BUILD)
