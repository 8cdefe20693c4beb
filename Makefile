# Quillon: `make` builds both programs into dist/, `make dist` also packs them into the release zip,
# `make run` starts the release program under Wine (its 64-bit build where the machine runs no 32-bit
# x86 code), `make test` builds everything and runs every test. Each installs what is missing first.
# `make fuzz` runs every fuzz target for FUZZ_SECONDS each (tests/fuzz/README.md); `make bench`
# measures Quillon under Wine beside notepad (docs/benchmarks.md).

JOBS ?= $(shell nproc)
WERROR := $(if $(CI),ON,OFF)
CONFIGURE = cmake -S . -DCMAKE_BUILD_TYPE=Release -DQUILLON_WERROR=$(WERROR) --log-level=WARNING
FUZZ_SECONDS ?= 120
FUZZ_TARGETS = $(shell sed -n 's/^set(QUILLON_FUZZ_TARGETS \(.*\))$$/\1/p' tests/fuzz/targets.cmake)

.PHONY: all run test bench deps windows native dist sanitize fuzz clean

all: windows

deps:
	@tools/deps.sh

windows: deps
	@$(CONFIGURE) -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DQUILLON_DIST_DIR=$(CURDIR)/dist
	@cmake --build build/win32 -j$(JOBS)
	@$(CONFIGURE) -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DQUILLON_DIST_DIR=$(CURDIR)/dist/x64
	@cmake --build build/win64 -j$(JOBS)

native: deps
	@$(CONFIGURE) -B build/native -DQUILLON_DIST_DIR=$(CURDIR)/dist -DQUILLON_PROBE=$(CURDIR)/build/win32/probe.exe -DQUILLON_PROBE64=$(CURDIR)/build/win64/probe.exe -DQUILLON_SANITIZE_BUILD=$(CURDIR)/build/sanitize
	@cmake --build build/native -j$(JOBS)

# dist/quillon-<version>-win32.zip: both programs, the users' README and the licence.
dist: windows
	@tools/dist.sh

run: windows
	@tools/run.sh dist/quillon.exe

# The unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets
# (clang; the native build's ctest runs both).
sanitize: deps
	@$(CONFIGURE) -B build/sanitize -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_COMPILER=clang++-14 -DQUILLON_SANITIZE=ON -DQUILLON_FUZZ=ON -DQUILLON_E2E=OFF
	@cmake --build build/sanitize -j$(JOBS)

# Every fuzz target for FUZZ_SECONDS, from its seeds in tests/fuzz/corpus/ and what earlier runs
# found (build/fuzz/corpus/); a failing input is saved as build/fuzz/<target>-crash-*.
fuzz: sanitize
	@failed=""; for t in $(FUZZ_TARGETS); do \
		mkdir -p build/fuzz/corpus/$$t; \
		echo "fuzz_$$t: $(FUZZ_SECONDS) s (log: build/fuzz/$$t.log)"; \
		if build/sanitize/tests/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
			-artifact_prefix=build/fuzz/$$t- build/fuzz/corpus/$$t tests/fuzz/corpus/$$t >build/fuzz/$$t.log 2>&1; then \
			grep -E '^(Done|stat::number_of_executed_units)' build/fuzz/$$t.log | head -1; \
		else \
			grep -E 'property failed|runtime error|ERROR: AddressSanitizer|Test unit written' build/fuzz/$$t.log; \
			failed="$$failed $$t"; \
		fi; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: failed:$$failed"; exit 1; fi

test: dist native sanitize
	@ctest --test-dir build/native --output-on-failure --timeout 900 -j$(JOBS)

# Benchmarks under Wine against notepad (not tests; see docs/benchmarks.md). BENCH_BEFORE=COMMIT
# adds that commit's 64-bit program as "before"; BENCH_ARGS go to tools/bench/bench.py, e.g.
#   make bench BENCH_QUICK=1 BENCH_BEFORE=5fc7654
bench: windows
	@$(if $(BENCH_BEFORE),tools/bench/build_rev.sh $(BENCH_BEFORE) >/dev/null,true)
	@python3 tools/bench/bench.py $(if $(BENCH_BEFORE),--exe before=build/bench/quillon-$(BENCH_BEFORE).exe --exe after=dist/x64/quillon.exe) $(BENCH_ARGS)

clean:
	rm -rf build dist
