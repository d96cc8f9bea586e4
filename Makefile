# Two commands do everything on a fresh Debian 12 machine:
#   make run    start the program against the virtual printer
#   make test   install what is missing, build every tree, run every test
#   make dist   the release zips a Windows user downloads, in dist/
#   make check  the quick loop: native tree and its tests, the Windows build, no Wine
.PHONY: all deps build check test test-native test-win run bench clean dist

JOBS ?= $(shell nproc)
B := build
CMAKE_COMMON := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Release trees of their own: small, stripped, no tests.
RELEASE_COMMON := -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DKESTREL_RELEASE=ON -DKESTREL_WITH_TESTS=OFF

all: build

deps:
	@scripts/bootstrap.sh

$(B)/native/build.ninja: | deps
	@cmake -S . -B $(B)/native $(CMAKE_COMMON) -DKESTREL_WITH_TESTS=ON >/dev/null

$(B)/win64/build.ninja: | deps
	@cmake -S . -B $(B)/win64 $(CMAKE_COMMON) -DKESTREL_WITH_TESTS=ON \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null

$(B)/win32/build.ninja: | deps
	@cmake -S . -B $(B)/win32 $(CMAKE_COMMON) -DKESTREL_WITH_TESTS=OFF \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null

# kestrelc for Linux: release flags, no sanitizers, nothing but the program.
$(B)/linux/build.ninja: | deps
	@cmake -S . -B $(B)/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_RELEASE=ON \
		-DKESTREL_WITH_TESTS=OFF >/dev/null

$(B)/release-win64/build.ninja: | deps
	@cmake -S . -B $(B)/release-win64 $(RELEASE_COMMON) \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null

$(B)/release-win32/build.ninja: | deps
	@cmake -S . -B $(B)/release-win32 $(RELEASE_COMMON) \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null

build: deps $(B)/native/build.ninja $(B)/win64/build.ninja $(B)/win32/build.ninja \
		$(B)/linux/build.ninja
	@cmake --build $(B)/native -j $(JOBS)
	@cmake --build $(B)/linux -j $(JOBS) --target kestrelc
	@cmake --build $(B)/win64 -j $(JOBS)
	@cmake --build $(B)/win32 -j $(JOBS)
	@scripts/check-static.sh $(B)/win64/bin $(B)/win32/bin

dist: deps $(B)/release-win64/build.ninja $(B)/release-win32/build.ninja
	@JOBS=$(JOBS) scripts/dist.sh $(B) dist

# The edit-compile-test loop: what runs without Wine, in a minute or two.
check: deps $(B)/native/build.ninja $(B)/win64/build.ninja
	@scripts/check-layout.sh
	@cmake --build $(B)/native -j $(JOBS)
	@ctest --test-dir $(B)/native -j $(JOBS) --output-on-failure -E '^hex_image_fuzz$$'
	@cmake --build $(B)/win64 -j $(JOBS)

# One scenario runs the release program, so the tests need dist too.
test: build dist
	@scripts/run-tests.sh $(B)

# Only what a run needs: the program with its libraries, the virtual
# printer, and the pilot when there is no display to click on.
run: deps $(B)/native/build.ninja $(B)/win64/build.ninja
	@cmake --build $(B)/native -j $(JOBS) --target virtual_printer
	@cmake --build $(B)/win64 -j $(JOBS) --target kestrel $(if $(DISPLAY),,e2e_pilot)
	@scripts/run.sh $(B)

bench: build
	@scripts/bench.sh $(B)

clean:
	rm -rf $(B)
