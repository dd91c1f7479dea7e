# Two commands do everything on a fresh Debian or Ubuntu machine:
#   make run    installs what building the Linux program needs (a compiler,
#               cmake, ninja), builds it and runs a sample script
#               (SCRIPT=path/to/script.kel to pick another)
#   make test   installs, builds the Linux, sanitizer and Windows programs, a
#               Linux build without the engine's fast paths and the arm64
#               cross build, and runs every test on both platforms (arm64
#               under qemu-aarch64; the build without fast paths is also
#               compared with the linux build on generated programs), and
#               runs each fuzz target for 20 seconds over its corpus
# make test-arm64 runs the arm64 part alone; make fuzz FUZZ_SECONDS=3600 runs
# the fuzz targets for as long as wanted.

SCRIPT ?= examples/hello.kel
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 20

# The 32-bit Windows programs always build (they are the product); where this
# machine cannot run 32-bit programs, the x86-64 test build is what wine runs.
RUNS_32_BIT := $(shell scripts/runs-32-bit-programs && echo yes)
WINDOWS_BUILDS := win32 $(if $(RUNS_32_BIT),,win64)

.PHONY: setup linux linux-asan linux-plain linux-fuzz linux-arm64 win32 win64 windows program run install test test-arm64 fuzz clean

setup:
	scripts/setup

linux linux-asan linux-plain linux-fuzz win32 win64: setup
	cmake --preset $@ -DKEL_BUILD_TESTS=ON >/dev/null
	cmake --build --preset $@

windows: $(WINDOWS_BUILDS)

# The Linux program alone, with only what building it needs.
program:
	scripts/setup minimal
	cmake --preset linux -DKEL_BUILD_TESTS=OFF >/dev/null
	cmake --build --preset linux --target VetraC32

run: program
	build/linux/VetraC32 $(SCRIPT)

# make install [PREFIX=/usr/local] [DESTDIR=...]: the program and its man page.
install: program
	install -d $(DESTDIR)$(PREFIX)/bin $(DESTDIR)$(PREFIX)/share/man/man1
	install -m 755 build/linux/VetraC32 $(DESTDIR)$(PREFIX)/bin/VetraC32
	install -m 644 docs/VetraC32.1 $(DESTDIR)$(PREFIX)/share/man/man1/VetraC32.1

test: linux linux-asan linux-plain windows linux-arm64 linux-fuzz
	@echo "make test: the Windows programs run under wine as $(if $(RUNS_32_BIT),build/win32 (32-bit): this machine runs 32-bit x86 programs,build/win64 (x86-64 test build): this machine cannot run 32-bit x86 programs)"
	ctest --preset linux
	ctest --preset linux-asan
	ctest --preset linux-plain
	ctest --preset linux-arm64
	tests/fuzz/run $(FUZZ_SECONDS)

fuzz: linux-fuzz
	tests/fuzz/run $(FUZZ_SECONDS)

linux-arm64:
	scripts/setup arm64
	cmake --preset $@ >/dev/null
	cmake --build --preset $@

test-arm64: linux-arm64
	ctest --preset linux-arm64

clean:
	rm -rf build
