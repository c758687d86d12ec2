# Front door for a new user: every target installs what is missing first.
#   make run    build and start the program (from the run folder, where it finds bin/ and help/)
#   make demo   build and render the default box shot headless with kilnshot (build/run/demo.png)
#   make check  build and run all tests (plus the sanitizer build over the tests that need no display,
#               and each fuzz target for a few seconds when clang is installed)
#   make bench  build and run the benchmarks

.PHONY: deps configure build run demo check check-asan check-fuzz bench fuzz clean

deps:
	@bash tools/install-deps.sh

configure: deps
	@cmake --preset dev >/dev/null

build: configure
	@cmake --build --preset dev

run: build
	@cd build/run && ./kestrum

demo: build
	@cd build/run && ./kilnshot -o demo.png ../../examples/default.ksm && echo "$$(pwd)/demo.png"

# The sanitizer run comes last, so the output closes on a test summary.
check: build
	@ctest --preset dev -j2
	@$(MAKE) --no-print-directory check-fuzz
	@$(MAKE) --no-print-directory check-asan

check-asan: deps
	@cmake --preset asan-ubsan >/dev/null
	@cmake --build --preset asan-ubsan
	@ctest --preset asan-ubsan -j2

check-fuzz: deps
	@bash fuzz/smoke.sh

bench: build
	@bash bench/run-all.sh build

fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz

clean:
	rm -rf build build-asan build-fuzz build-release
