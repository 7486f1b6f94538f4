# TALYX: the two set-up commands (make run, make test) and their steps.
# Missing Debian packages are installed first (as root), then CMake builds and CTest runs.

PACKAGES := build-essential cmake pkg-config libudev-dev libgtest-dev libgmock-dev googletest qt6-base-dev \
            qt6-tools-dev qt6-l10n-tools \
            fonts-wqy-zenhei libmodbus-dev libjpeg62-turbo-dev clang libclang-rt-14-dev xvfb
PACKAGES += qt6-svg-dev dpkg-dev lintian desktop-file-utils appstream qt6-translations-l10n x11-utils clang-format socat picocom tio ser2net
# tshark reads the bus monitor's captures in the tests.
PACKAGES += tshark
# Qt Charts draws the poller's plot; its CMake package needs Qt's OpenGL development files.
PACKAGES += qt6-charts-dev libqt6opengl6-dev
JOBS ?= $(shell nproc)
CTEST := ctest --output-on-failure -j $(JOBS)

.PHONY: run test format-check format deps build build-programs build-asan build-tsan build-fuzz package bench bench-gui clean

# The window needs a display; without one, the headless demonstration drives the real window
# offscreen through one Modbus exchange with the built-in demo device. Only the programs are
# built for it, none of the tests, so that a first run on a fresh machine is quick.
run: build-programs
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	  build/app/talyx; \
	else \
	  echo "make run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the headless demonstration, build/app/talyx --demo"; \
	  build/app/talyx --demo; \
	fi

test: format-check build build-asan build-tsan build-fuzz package
	$(CTEST) --test-dir build
	packaging/check-package.sh
	$(CTEST) --test-dir build-asan
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(CTEST) --test-dir build-tsan
	$(CTEST) --test-dir build-fuzz

# Every C and C++ file of the tree is formatted by .clang-format (Debian clang-format); a file that
# is not fails make test, and make format formats them all.
SOURCES = $(shell git ls-files '*.cpp' '*.h' '*.c' 2>/dev/null || find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print)

format-check: deps
	@echo "clang-format --dry-run -Werror: $(words $(SOURCES)) files"
	@clang-format --dry-run -Werror $(SOURCES)

format: deps
	clang-format -i $(SOURCES)

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	  if echo " $$missing " | grep -q ' ser2net ' && [ -d /run/systemd/system ]; then \
	    echo "Stopping and disabling ser2net.service (its default configuration serves /dev/ttyS0)"; \
	    systemctl disable --now ser2net.service; \
	  fi; \
	fi

build: deps
	cmake --preset dev
	cmake --build build -j $(JOBS)

# The terminal and the demo slave's own program (the README points to it), with the generators
# their build runs; nothing else.
build-programs: deps
	cmake --preset dev
	cmake --build build -j $(JOBS) --target talyx talyx-sim

build-asan: deps
	cmake --preset asan
	cmake --build build-asan -j $(JOBS)

build-tsan: deps
	cmake --preset tsan
	cmake --build build-tsan -j $(JOBS)

# The readers of outside input under libFuzzer (clang); each target runs a few seconds in make test.
build-fuzz: deps
	cmake --preset fuzz
	cmake --build build-fuzz -j $(JOBS)

# The Debian package build/talyx_<version>_<arch>.deb, made by CPack from the build tree.
package: build
	rm -f build/talyx_*.deb
	cmake --build build --target package

bench: build
	@for b in build/bench/bench_*; do [ -x "$$b" ] && [ "$$b" != build/bench/bench_gui ] && [ "$$b" != build/bench/bench_poller ] && "$$b"; done; true

# The window's benchmark table under Xvfb (about 20 minutes); bench/*.sh hold the soak and fault runs.
bench-gui: build
	bench/gui.sh

clean:
	rm -rf build build-asan build-tsan build-fuzz
