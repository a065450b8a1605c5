# Trimora: `make run` starts the program, `make test` runs every test, `make bench` measures,
# `make install` installs (PREFIX, default /usr/local; DESTDIR honoured), `make package` builds a .deb.
# Each installs what is missing on a Debian 12 machine first (apt-get, through sudo when not root).

BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
PREFIX     ?= /usr/local
SUDO       := $(if $(filter 0,$(shell id -u)),,sudo)

# Build and test: compiler, CMake, Ninja, Qt 6 Widgets and Qt's Japanese translations, GoogleTest,
# a Japanese font, the desktop-entry and metainfo validators, what `make package` runs
# (dpkg-shlibdeps from dpkg-dev, file), and FFmpeg's libraries for the pictures at the cut points
# (found through pkg-config).
PACKAGES := g++ cmake ninja-build qt6-base-dev qt6-translations-l10n libgtest-dev libgmock-dev xdg-utils \
            fonts-ipafont-gothic desktop-file-utils appstream dpkg-dev file \
            pkg-config libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
# Benchmarks: GNU time for peak memory.
BENCH_PACKAGES := time

.PHONY: all deps bench-deps configure build run test bench install package asan clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

bench-deps: deps
	@missing=$$(for p in $(BENCH_PACKAGES); do dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD)

run: build
	@if [ -x $(BUILD)/app/trimora ]; then exec $(BUILD)/app/trimora; else $(BUILD)/cli/trimora-cli --help; fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

bench: bench-deps build
	bench/run.sh $(BUILD)

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: build
	cd $(BUILD) && cpack -G DEB

# The tests under AddressSanitizer and UndefinedBehaviorSanitizer, in a build of their own.
asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTRIMORA_SANITIZE=ON
	cmake --build build-asan
	cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j2

clean:
	rm -rf $(BUILD) build-asan
