# Front door for builds: `make run` starts the drum machine, `make test` runs every test.
# Both install what is missing first (Debian packages): `make run` what building and running
# take (scripts/install-deps), `make test` and the hardening checks the test tools as well
# (scripts/install-deps --test).
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: all deps deps-test configure build run test bench format format-check clean \
	asan tsan fuzz fuzz-long soak check-hard

all: build

deps:
	scripts/install-deps

deps-test:
	scripts/install-deps --test

CONFIGURE = cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

$(BUILD_DIR)/build.ninja:
	$(CONFIGURE)

# Configures a new build, and again one configured by `make run` without tests (GoogleTest was
# not installed then), once `deps-test` has installed the test tools.
$(BUILD_DIR)/CTestTestfile.cmake:
	$(CONFIGURE)

configure: $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR)

# Only the program: the tests and benchmarks are not needed to play.
run: deps configure
	cmake --build $(BUILD_DIR) --target taktwerk
	$(BUILD_DIR)/taktwerk

test: deps-test $(BUILD_DIR)/CTestTestfile.cmake
	cmake --build $(BUILD_DIR)
	ctest --test-dir $(BUILD_DIR) --output-on-failure --timeout 300 --no-tests=error

bench: deps-test configure
	$(CONFIGURE)
	cmake --build $(BUILD_DIR) --target bench_all

format:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD_DIR)

# --- Hardening: sanitizer builds, fuzzing, soak ---------------------------------------------
# Every test under AddressSanitizer + UndefinedBehaviorSanitizer, and the suites where threads
# meet (engine, playback, sequencer, outputs) under ThreadSanitizer; each in its own build dir.
SANITIZER_CMAKE_FLAGS ?= -DTAKTWERK_BUILD_BENCH=OFF
# A sanitizer's report needs file and line, not variables: line tables alone compile a fifth
# faster than full debug information, and CI builds twice with them.
SANITIZER_DEBUG_FLAGS = -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 $(1) -DNDEBUG" \
	-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 $(1) -DNDEBUG"
TSAN_SUITES ?= test_sequencer|test_sound|test_devices|test_playback|test_device_loss|test_soak
# The note bank is rendered and read on one thread in its tests, through FluidSynth, five times
# slower under ThreadSanitizer: a sixth of the stage for no thread that meets another.
TSAN_SKIP ?= ^NoteBankTest\.
# The soak is where the window's thread and the audio thread meet most; a short one suffices.
TSAN_SOAK_SECONDS ?= 20
export ASAN_OPTIONS ?= detect_leaks=1:check_initialization_order=1
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/tests/lsan.supp
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
# TSan goes on after a report (and fails the test at exit), so a test's JACK server is
# still stopped by its owner instead of outliving an aborted test.
export TSAN_OPTIONS ?= second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp

# Built with Clang, the fuzz targets included: the fuzzers need Clang's libFuzzer and the same
# sanitizers, so one build serves both instead of compiling every library twice (CI's longest
# step). A second compiler also reads the code differently: Clang found a test reading a
# variable in the same expression that moved it, which GCC happened to order the other way.
build-asan/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTAKTWERK_SANITIZE=address,undefined -DTAKTWERK_FUZZ=ON \
		$(call SANITIZER_DEBUG_FLAGS,-gline-tables-only) $(SANITIZER_CMAKE_FLAGS)

asan: deps-test build-asan/build.ninja
	cmake --build build-asan
	ctest --test-dir build-asan --output-on-failure --timeout 600

build-tsan/build.ninja:
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTAKTWERK_SANITIZE=thread $(call SANITIZER_DEBUG_FLAGS,-g1) $(SANITIZER_CMAKE_FLAGS)

tsan: deps-test build-tsan/build.ninja
	cmake --build build-tsan --target $(subst |, ,$(TSAN_SUITES))
	TAKTWERK_SOAK_SECONDS=$(TSAN_SOAK_SECONDS) \
		ctest --test-dir build-tsan --output-on-failure --timeout 600 -L '^($(TSAN_SUITES))$$' \
		-E '$(TSAN_SKIP)'

# libFuzzer targets (fuzz/), from the AddressSanitizer build above: each runs FUZZ_SECONDS,
# fuzz-long much longer.
FUZZ_SECONDS ?= 60
FUZZ_LONG_SECONDS ?= 1800

fuzz: deps-test build-asan/build.ninja
	cmake --build build-asan --target fuzz_all
	scripts/run-fuzzers build-asan $(FUZZ_SECONDS)

fuzz-long: deps-test build-asan/build.ninja
	cmake --build build-asan --target fuzz_all
	scripts/run-fuzzers build-asan $(FUZZ_LONG_SECONDS)

# Live playback into a JACK dummy server under random edits; CI runs SOAK_SECONDS=60.
SOAK_SECONDS ?= 600

soak: deps-test $(BUILD_DIR)/CTestTestfile.cmake
	cmake --build $(BUILD_DIR) --target test_soak
	TAKTWERK_SOAK_SECONDS=$(SOAK_SECONDS) $(BUILD_DIR)/tests/hardening/test_soak

# Everything this section offers, as a release check: slower than CI allows.
check-hard: test asan tsan fuzz soak
