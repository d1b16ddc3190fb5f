# Two commands for a newcomer on Debian: `make run` and `make test`; on a machine without make
# (a minimal Debian 12), `./make run` and `./make test`, which install make first. Both install
# what is missing, configure the cross builds once and rebuild only what changed. `make release`
# packs the download, out/release/kalibrix-V1-win32.zip.
#
# The program is a 32-bit Windows program (build/). The same sources also build for 64-bit
# Windows (build-x64/), a lane that runs the tests under 64-bit Wine on machines that cannot run
# 32-bit programs; it is never released. `make test` and `make run` use every lane this machine
# can run; LANES=32 or LANES=64 forces one (make test LANES=64).
BUILD_DIR := build
BUILD_X64_DIR := build-x64
RELEASE_DIR := build-release
LANES ?=
DEPS_DONE ?=

.PHONY: all build build-32 build-64 test run run-32 run-64 release deps format clean

all: build

# Once per command: the dry run's own make (below) says that it has run already.
deps:
	@[ -n "$(DEPS_DONE)" ] || tools/install-deps

# Configuring looks for the compilers and GoogleTest, so it waits for the packages, also under
# make -j (an order-only prerequisite: installing nothing new does not configure anew).
$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake --preset mingw

$(BUILD_X64_DIR)/CMakeCache.txt: | deps
	cmake --preset mingw-x64

$(RELEASE_DIR)/CMakeCache.txt: | deps
	cmake --preset mingw-release

# Compiling needs no 32-bit mode, so both lanes are built on every machine.
build: build-32 build-64

build-32: $(BUILD_DIR)/CMakeCache.txt | deps
	cmake --build --preset mingw

build-64: $(BUILD_X64_DIR)/CMakeCache.txt | deps
	cmake --build --preset mingw-x64

test: build
	tools/lanes test $(LANES)

# The dry run runs the 32-bit program where the machine can, else the 64-bit build, and says so.
run: | deps
	@lane=$$(tools/lanes pick $(LANES)) && $(MAKE) --no-print-directory run-$$lane DEPS_DONE=yes

run-32: build-32
	tools/dry-run $(BUILD_DIR)

run-64: build-64
	tools/dry-run $(BUILD_X64_DIR)

# The program alone, built for size in a tree of its own, then stripped and packed.
release: $(RELEASE_DIR)/CMakeCache.txt | deps
	cmake --build --preset mingw-release
	tools/make-release $(RELEASE_DIR)/bin/kalibrix.exe out/release

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(BUILD_X64_DIR) $(RELEASE_DIR) out
