# Wraps CMake. `make run` and `make test` install missing Debian packages first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure program build run test install deb asan tsan fuzz bench clean

deps:
	tools/install-deps.sh

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The program and what installing it takes, without the tests.
program: configure
	cmake --build $(BUILD) -j$(JOBS) --target mev_program

# Program and tests.
build: deps configure
	cmake --build $(BUILD) -j$(JOBS)

run: deps
	$(MAKE) program
	tools/run-demo.sh

test: build
	tools/run-tests.sh $(BUILD)

# Installs under /usr/local (PREFIX=... for another place).
PREFIX ?= /usr/local
install: program
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the build, installing under /usr: build/mev_<version>_<arch>.deb.
deb: program
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

# libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in build-fuzz,
# each run FUZZ_TIME seconds on its seed corpus; a finding fails the run.
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME ?= 20
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEV_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target mev_fuzzers
	tools/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_TIME)

# The benchmarks and probes of bench/, into $(BUILD)/bench/.
bench: build
	cmake --build $(BUILD) -j$(JOBS) --target mev_benches

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
