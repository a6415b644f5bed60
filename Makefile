# Front door for builds: `make run` starts the drum machine, `make test` runs every test.
# Both install what is missing first (scripts/install-deps, Debian packages).
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench format format-check clean

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
