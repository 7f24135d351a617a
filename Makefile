# The front door: each target installs what is missing, builds, then does its job.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
JOBS       ?= $(shell nproc)

.PHONY: all deps build run gui test test-asan test-tsan fuzz bench package samples clean

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

# The Debian package, $(BUILD)/tovel_VERSION_ARCH.deb: `apt install ./build/tovel_*.deb`.
package: build
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/tovel_*.deb

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOVEL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# Runs the tests under ThreadSanitizer, without the long page-analysis suites, which run one sheet
# at a time: what it watches is sheets processed side by side.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVEL_SANITIZE_THREAD=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) \
		-E '^(LayoutOnSheets|RelayoutOnSheets|CharsOnSheets|OldScansOnSheets|PinnedOutputs|GlyphsOnSheets|WaveLengths)\.'

# Builds the fuzz target with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and
# runs it for FUZZ_SECONDS on the seed sheets plus the corpus it has grown so far. Inputs that
# crash, hang or break an output rule land in $(FUZZ_BUILD)/findings/.
fuzz:
	@scripts/install-deps --fuzz
	cmake -S fuzz -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0 $(FUZZ_BUILD)/make-fuzz-seeds $(FUZZ_BUILD)/seeds
	mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/findings
	LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan.supp $(FUZZ_BUILD)/sheet-fuzzer \
	  -max_total_time=$(FUZZ_SECONDS) -timeout=30 -rss_limit_mb=4096 -malloc_limit_mb=4096 \
	  -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/findings/ $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/seeds

# Times tovel-cli on a fixed set of generated sheets (12 A4 pages, 8 B5 spreads at 300 dpi)
# beside unpaper on the same sheets, with the time of every stage, then the band finders on an
# A4 page. BENCH_RUNS runs per sheet (median).
BENCH_RUNS ?= 3
bench: build
	@scripts/install-deps --bench
	$(BUILD)/bench/tovel-bench --runs $(BENCH_RUNS) --synth $(BUILD)/tools/synth/tovel-synth --cli $(BUILD)/cli/tovel-cli --work $(BUILD)/bench-work
	$(BUILD)/bench/tovel-microbench

# Regenerates the sample sheets of samples/ with tovel-synth.
samples: build
	scripts/make-samples $(BUILD)/tools/synth/tovel-synth samples

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) out
