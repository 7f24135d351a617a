# The front door: each target installs what is missing, builds, then does its job.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all deps build run gui test test-asan bench samples clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Processes the sample sheets of samples/ into out/ and prints a short summary.
run: build
	@mkdir -p out
	$(BUILD)/cli/tovel-cli samples out
	@echo "--- out/:"; ls -l out

# Starts the window; its settings are TOVEL.ini in the current folder.
gui: build
	$(BUILD)/app/ui/tovel

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOVEL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# Times tovel-cli on a fixed set of generated sheets (12 A4 pages, 8 B5 spreads at 300 dpi),
# then the band finders on an A4 page.
bench: build
	$(BUILD)/bench/tovel-bench --synth $(BUILD)/tools/synth/tovel-synth --cli $(BUILD)/cli/tovel-cli --work $(BUILD)/bench-work
	$(BUILD)/bench/tovel-microbench

# Regenerates the sample sheets of samples/ with tovel-synth.
samples: build
	scripts/make-samples $(BUILD)/tools/synth/tovel-synth samples

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) out
