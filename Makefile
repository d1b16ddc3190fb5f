# Two commands for a newcomer on Debian: `make run` and `make test`; on a machine without make
# (a minimal Debian 12), `./make run` and `./make test`, which install make first. Both install
# what is missing, configure the cross build once and rebuild only what changed. `make release`
# packs the download, out/release/kalibrix-V1-win32.zip.
BUILD_DIR := build
RELEASE_DIR := build-release

.PHONY: all build test run release deps format clean

all: build

deps:
	@tools/install-deps

# Configuring looks for the compiler and GoogleTest, so it waits for the packages, also under
# make -j (an order-only prerequisite: installing nothing new does not configure anew).
$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake --preset mingw

$(RELEASE_DIR)/CMakeCache.txt: | deps
	cmake --preset mingw-release

build: $(BUILD_DIR)/CMakeCache.txt | deps
	cmake --build --preset mingw

test: build
	tools/test-session $(BUILD_DIR) ctest --output-on-failure

run: build
	tools/dry-run $(BUILD_DIR)

# The program alone, built for size in a tree of its own, then stripped and packed.
release: $(RELEASE_DIR)/CMakeCache.txt | deps
	cmake --build --preset mingw-release
	tools/make-release $(RELEASE_DIR)/bin/kalibrix.exe out/release

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(RELEASE_DIR) out
