# Front for the two quick-start commands and the rest of the workflow.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build demo check test bench clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Runs the four tests end to end and prints a summary.
demo: build
	$(BUILD)/bin/tavora demo

# Builds and runs every test.
check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test: check

bench: build
	$(BUILD)/bin/tavora_bench

clean:
	rm -rf $(BUILD)
