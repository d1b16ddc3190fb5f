# Two commands for a newcomer on Debian: `make run` and `make test`. Both install what is
# missing, configure the cross build once and rebuild only what changed.
BUILD_DIR := build

.PHONY: all build test run deps format clean

all: build

deps:
	@tools/install-deps

$(BUILD_DIR)/CMakeCache.txt:
	cmake --preset mingw

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build --preset mingw

test: build
	tools/test-session $(BUILD_DIR) ctest --output-on-failure

run: build
	tools/dry-run $(BUILD_DIR)

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) out
