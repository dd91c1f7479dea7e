# Two commands do everything on a fresh Debian or Ubuntu machine:
#   make run    installs what is needed, builds the Linux program and runs a
#               sample script (SCRIPT=path/to/script.kel to pick another)
#   make test   installs, builds the Linux, sanitizer and Win32 programs and
#               runs every test on both platforms

SCRIPT ?= examples/hello.kel

.PHONY: setup linux linux-asan win32 run test clean

setup:
	scripts/setup

linux: setup
	cmake --preset linux >/dev/null
	cmake --build --preset linux

linux-asan: setup
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan

win32: setup
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

run: linux
	build/linux/VetraC32 $(SCRIPT)

test: linux linux-asan win32
	ctest --preset linux
	ctest --preset linux-asan

clean:
	rm -rf build
