# Quillon: `make` builds both programs into dist/, `make dist` also packs them into the release zip,
# `make run` starts the release program under Wine, `make test` builds everything and runs every
# test. Each installs what is missing first.

JOBS ?= $(shell nproc)
WERROR := $(if $(CI),ON,OFF)
CONFIGURE = cmake -S . -DCMAKE_BUILD_TYPE=Release -DQUILLON_WERROR=$(WERROR) --log-level=WARNING

.PHONY: all run test deps windows native dist clean

all: windows

deps:
	@tools/deps.sh

windows: deps
	@$(CONFIGURE) -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DQUILLON_DIST_DIR=$(CURDIR)/dist
	@cmake --build build/win32 -j$(JOBS)
	@$(CONFIGURE) -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DQUILLON_DIST_DIR=$(CURDIR)/dist/x64
	@cmake --build build/win64 -j$(JOBS)

native: deps
	@$(CONFIGURE) -B build/native -DQUILLON_DIST_DIR=$(CURDIR)/dist -DQUILLON_PROBE=$(CURDIR)/build/win32/probe.exe -DQUILLON_PROBE64=$(CURDIR)/build/win64/probe.exe
	@cmake --build build/native -j$(JOBS)

# dist/quillon-<version>-win32.zip: both programs, the users' README and the licence.
dist: windows
	@tools/dist.sh

run: windows
	@tools/run.sh dist/quillon.exe

test: dist native
	@ctest --test-dir build/native --output-on-failure --timeout 900

clean:
	rm -rf build dist
