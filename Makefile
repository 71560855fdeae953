# Wraps CMake. `make run` and `make test` install missing Debian packages first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build run test install deb asan tsan bench clean

deps:
	tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

run: build
	tools/run-demo.sh

test: build
	tools/run-tests.sh $(BUILD)

# Installs under /usr/local (PREFIX=... for another place).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the build, installing under /usr: build/mev_<version>_<arch>.deb.
deb: build
	cd $(BUILD) && cpack -G DEB

# Whole program and tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMEV_SANITIZE=ON
	cmake --build build-asan -j$(JOBS)
	tools/run-tests.sh build-asan

# The core (page engine included) and its tests under ThreadSanitizer.
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DMEV_TSAN=ON
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && ctest --output-on-failure

bench: build
	@ls $(BUILD)/bench_* 2>/dev/null || true

clean:
	rm -rf $(BUILD) build-asan build-tsan
