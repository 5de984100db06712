# Two commands do all set-up on a fresh Debian 12 machine:
#   make demo   install what is missing, build, start the probe simulator and the program
#   make test   install what is missing, build, run every test (headless), also under sanitizers
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CPU_SECONDS ?= 60

.PHONY: all deps build test test-fast test-asan demo bench soak fuzz format clean install package

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSYLVANE_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

test-fast: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Asan -DSYLVANE_WERROR=ON -DSYLVANE_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:check_initialization_order=1:strict_init_order=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --output-on-failure -j $(JOBS)

test: test-fast test-asan

demo: build
	scripts/demo.sh $(BUILD)

# The Debian package, $(BUILD)/sylvane_<version>_<arch>.deb; or an install under PREFIX. The
# package's folders take the umask's permissions, which must be Debian's 755.
PREFIX ?= /usr/local
package: build
	cd $(BUILD) && umask 022 && cpack -G DEB

install: build
	cmake --install $(BUILD) --prefix $(PREFIX) --strip

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSYLVANE_TESTS=OFF
	cmake --build build-bench -j $(JOBS) --target sylvane_bench sylvane_cpu_harness \
	    sylvane_startup_harness sylvane_tone_latency sylvane_analysis_harness probe-sim
	scripts/bench-table.sh build-bench $(CPU_SECONDS)

# A simulated 24-hour session at the line's full rate through the real window (SOAK_HOURS=24).
SOAK_HOURS ?= 24
soak: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSYLVANE_TESTS=OFF
	cmake --build build-bench -j $(JOBS) --target sylvane_soak
	build-bench/bench/sylvane_soak --hours $(SOAK_HOURS)

fuzz: deps
	CXX=clang++ CC=clang cmake -S . -B $(FUZZ_BUILD) -DSYLVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) build-bench
