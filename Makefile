# Quillon: `make` builds both programs into dist/, `make run` starts the release program under
# Wine, `make test` builds everything and runs every test. Each installs what is missing first.

JOBS ?= $(shell nproc)
WERROR := $(if $(CI),ON,OFF)
CONFIGURE = cmake -S . -DCMAKE_BUILD_TYPE=Release -DQUILLON_WERROR=$(WERROR) --log-level=WARNING

.PHONY: all run test bench deps windows native clean

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

run: windows
	@tools/run.sh dist/quillon.exe

test: windows native
	@ctest --test-dir build/native --output-on-failure --timeout 900

# Benchmarks under Wine against notepad (not tests; see docs/benchmarks.md). BENCH_BEFORE=COMMIT
# adds that commit's 64-bit program as "before"; BENCH_ARGS go to tools/bench/bench.py, e.g.
#   make bench BENCH_QUICK=1 BENCH_BEFORE=5fc7654
bench: windows
	@$(if $(BENCH_BEFORE),tools/bench/build_rev.sh $(BENCH_BEFORE) >/dev/null,true)
	@python3 tools/bench/bench.py $(if $(BENCH_BEFORE),--exe before=build/bench/quillon-$(BENCH_BEFORE).exe --exe after=dist/x64/quillon.exe) $(BENCH_ARGS)

clean:
	rm -rf build dist
