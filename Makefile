# Front door for builds: `make run` starts the drum machine, `make test` runs every test.
# Both install what is missing first (scripts/install-deps, Debian packages).
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench format format-check clean \
	asan tsan fuzz fuzz-long soak check-hard

all: build

deps:
	scripts/install-deps

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

configure: $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR)

run: deps build
	$(BUILD_DIR)/taktwerk

test: deps build
	ctest --test-dir $(BUILD_DIR) --output-on-failure --timeout 300

bench: deps build
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
TSAN_SUITES ?= test_sequencer|test_sound|test_devices|test_playback|test_device_loss|test_soak
# The soak is where the window's thread and the audio thread meet most; a short one suffices.
TSAN_SOAK_SECONDS ?= 20
export ASAN_OPTIONS ?= detect_leaks=1:check_initialization_order=1
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/tests/lsan.supp
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
# TSan goes on after a report (and fails the test at exit), so a test's JACK server is
# still stopped by its owner instead of outliving an aborted test.
export TSAN_OPTIONS ?= second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp

build-asan/build.ninja:
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTAKTWERK_SANITIZE=address,undefined $(SANITIZER_CMAKE_FLAGS)

asan: deps build-asan/build.ninja
	cmake --build build-asan
	ctest --test-dir build-asan --output-on-failure --timeout 600

build-tsan/build.ninja:
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTAKTWERK_SANITIZE=thread $(SANITIZER_CMAKE_FLAGS)

tsan: deps build-tsan/build.ninja
	cmake --build build-tsan --target $(subst |, ,$(TSAN_SUITES))
	TAKTWERK_SOAK_SECONDS=$(TSAN_SOAK_SECONDS) \
		ctest --test-dir build-tsan --output-on-failure --timeout 600 -L '^($(TSAN_SUITES))$$'

# libFuzzer targets (fuzz/), built with Clang: each runs FUZZ_SECONDS, fuzz-long much longer.
FUZZ_SECONDS ?= 60
FUZZ_LONG_SECONDS ?= 1800

build-fuzz/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTAKTWERK_SANITIZE=address,undefined -DTAKTWERK_FUZZ=ON -DTAKTWERK_BUILD_TESTS=OFF \
		-DTAKTWERK_BUILD_GUI=OFF $(SANITIZER_CMAKE_FLAGS)

fuzz: deps build-fuzz/build.ninja
	cmake --build build-fuzz --target fuzz_all
	scripts/run-fuzzers build-fuzz $(FUZZ_SECONDS)

fuzz-long: deps build-fuzz/build.ninja
	cmake --build build-fuzz --target fuzz_all
	scripts/run-fuzzers build-fuzz $(FUZZ_LONG_SECONDS)

# Live playback into a JACK dummy server under random edits; CI runs SOAK_SECONDS=60.
SOAK_SECONDS ?= 600

soak: deps configure
	cmake --build $(BUILD_DIR) --target test_soak
	TAKTWERK_SOAK_SECONDS=$(SOAK_SECONDS) $(BUILD_DIR)/tests/hardening/test_soak

# Everything this section offers, as a release check: slower than CI allows.
check-hard: test asan tsan fuzz soak
