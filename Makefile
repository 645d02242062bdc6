# Front for the two quick-start commands and the rest of the workflow.
BUILD ?= build
# The same sources again with AddressSanitizer and UndefinedBehaviorSanitizer.
ASAN_BUILD ?= build-asan
# The libFuzzer targets (clang++).
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz target runs; FUZZ_TARGETS limits the run to some of them
# (names as in fuzz/NAME_fuzz.cc: `make fuzz FUZZ_TARGETS=tsql FUZZ_TIME=60`).
FUZZ_TIME ?= 600
FUZZ_TARGETS ?=
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Ninja starts a target's compiles while the libraries it links are still
# being built, so both cores stay busy to the end.
GENERATOR ?= Ninja

# Every report ends the process with a non-zero status, so it fails the test
# that caused it. Leak checking stays on: the component is loaded and released
# again and again, and a leak there is a real fault. No LD_PRELOAD is needed:
# every sanitized binary links the runtime itself, and the programs the tests
# start (sh, the tavora command, ODBC tools) either are sanitized too or load
# nothing sanitized.
SANITIZER_ENV = \
  ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all deps fuzz-deps build demo check check-asan format format-check test bench fuzz clean

all: build

deps:
	@scripts/install-deps
	@scripts/install-npm-packages $(BUILD)/npm

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Runs the four tests end to end and prints a summary. Builds only what the
# demo runs: the command, the component and the harness runtime.
demo: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target tavora tavorad
	$(BUILD)/bin/tavora demo

# Checks the layout of every C++ file, builds and runs every test, then all
# of them again under the sanitizers. The second run starts only after the
# first passed, so a plain failure is reported without waiting for the slower
# build.
check: format-check build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory check-asan

# No optimisation and line tables only: optimising instrumented code is slow,
# so the build takes well under half the time it takes at -O2 -g, the tests
# still run in well under a minute, and reports still name file and line.
$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g1 -DNDEBUG" -DTAVORA_SANITIZE=ON \
	  -DTAVORA_BENCH=OFF -DTAVORA_NPM_DIR=$(abspath $(BUILD))/npm $(CMAKE_FLAGS)

check-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# Every tracked C++ file as .clang-format lays it out: `format` rewrites them,
# `format-check` names the ones that differ and fails.
CXX_FILES = git ls-files -z '*.cc' '*.h'
format: deps
	$(CXX_FILES) | xargs -0 clang-format -i

format-check: deps
	@$(CXX_FILES) | xargs -0 clang-format --dry-run --Werror || \
	  { echo "format-check: run 'make format' and commit the result"; exit 1; }

test: check

# Every benchmark in bench/: about 1½ minutes on 2 cores, most of it the
# store's million-row load; BENCH_FLAGS passes options to Google Benchmark
# (`make bench BENCH_FLAGS=--benchmark_filter=Cycle`).
BENCH_FLAGS ?=
bench: build
	$(BUILD)/bin/tavora_bench $(BENCH_FLAGS)

fuzz-deps:
	@scripts/install-deps fuzz

$(FUZZ_BUILD)/CMakeCache.txt: | fuzz-deps
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Builds every fuzz target and runs each for FUZZ_TIME seconds on its seeds.
# New inputs go to $(FUZZ_BUILD)/corpus/NAME, crashes, hangs and sanitizer
# reproducers to $(FUZZ_BUILD)/artifacts/NAME. Every target runs even when an
# earlier one failed; the exit status says whether any did.
fuzz: fuzz-deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for t in $(FUZZ_TARGETS); do \
	  grep -q "^$$t " $(FUZZ_BUILD)/fuzz-targets.txt || \
	    { echo "fuzz: no target $$t; built: $$(cut -d' ' -f1 $(FUZZ_BUILD)/fuzz-targets.txt | xargs)"; exit 2; }; \
	done
	@failed=""; \
	while read -r name binary seeds dict; do \
	  case " $(FUZZ_TARGETS) " in "  "|*" $$name "*) ;; *) continue ;; esac; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$name $(FUZZ_BUILD)/artifacts/$$name; \
	  args="-max_total_time=$(FUZZ_TIME) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1"; \
	  args="$$args -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$name/"; \
	  [ "$$dict" = - ] || args="$$args -dict=$$dict"; \
	  [ "$$seeds" = - ] && seeds=""; \
	  echo "fuzz: $$name for $(FUZZ_TIME) s"; \
	  $$binary $$args $(FUZZ_BUILD)/corpus/$$name $$seeds </dev/null || failed="$$failed $$name"; \
	done < $(FUZZ_BUILD)/fuzz-targets.txt; \
	if [ -n "$$failed" ]; then echo "fuzz: failed:$$failed (see $(FUZZ_BUILD)/artifacts)"; exit 1; fi; \
	echo "fuzz: every target ran $(FUZZ_TIME) s without a finding"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
