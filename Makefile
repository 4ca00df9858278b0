# Thin driver around CMake. `make test` is the one test command.
JOBS ?= 2
BUILD ?= build
CMAKE_FLAGS ?=
RUN_DIR ?= $(HOME)/Tavrinox

.PHONY: all deps build test check-format format test-plain test-asan test-tsan run bench install package fuzz soak clean

all: build

deps:
	@bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAVRINOX_WERROR=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

# Plain build, then every test again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the engine under ThreadSanitizer.
test: deps
	$(MAKE) --no-print-directory check-format
	$(MAKE) --no-print-directory test-plain
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory test-tsan
	$(MAKE) --no-print-directory test-fuzz

test-plain:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DTAVRINOX_WERROR=ON >/dev/null
	cmake --build build -j$(JOBS)
	# The benchmark programs are built too, so that make bench cannot rot unseen.
	cmake --build build -j$(JOBS) --target benchmarks
	cd build && ctest --output-on-failure -j$(JOBS) --timeout 600

test-asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTAVRINOX_WERROR=ON \
	  "-DTAVRINOX_SANITIZE=address;undefined" >/dev/null
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS) --timeout 600

test-tsan:
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTAVRINOX_WERROR=ON \
	  -DTAVRINOX_SANITIZE=thread -DTAVRINOX_BUILD_UI=OFF >/dev/null
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j$(JOBS) --timeout 600 -L engine

# The code style of .clang-format (Debian's clang-format 14): any difference fails.
FORMAT_FILES = git ls-files -- '*.cpp' '*.h'
check-format:
	@$(FORMAT_FILES) | xargs -r clang-format --dry-run --Werror && echo "clang-format: no differences"

format:
	$(FORMAT_FILES) | xargs -r clang-format -i

# Each fuzz target briefly from its seed corpus.
test-fuzz:
	bash scripts/run-fuzz 5

# The fuzz targets for longer, with executions and findings.
fuzz: deps
	bash scripts/run-fuzz $${FUZZ_SECONDS:-120}

# The stress test for minutes instead of seconds; prints what it held.
soak: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DTAVRINOX_WERROR=ON >/dev/null
	cmake --build build -j$(JOBS) --target tests_commands
	TAVRINOX_SOAK_SECONDS=$${SOAK_SECONDS:-180} ./build/tests/tests_commands --gtest_filter='Stress.*'

# Builds the program and starts it in a folder of the user's: it keeps its
# lists and the Pictures folder in its working directory.
run: deps
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTAVRINOX_BUILD_TESTS=OFF >/dev/null
	cmake --build build-release -j$(JOBS) --target tavrinox
	mkdir -p "$(RUN_DIR)"
	cd "$(RUN_DIR)" && "$(CURDIR)/build-release/tavrinox"

install: deps
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTAVRINOX_BUILD_TESTS=OFF >/dev/null
	cmake --build build-release -j$(JOBS) --target tavrinox
	cmake --install build-release

# A Debian package of the program (build-package/tavrinox_*.deb).
package: deps
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DTAVRINOX_BUILD_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	cmake --build build-package -j$(JOBS) --target tavrinox
	cd build-package && cpack -G DEB
	@ls -1 build-package/*.deb

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTAVRINOX_BUILD_TESTS=OFF -DTAVRINOX_BUILD_UI=ON >/dev/null
	cmake --build build-bench -j$(JOBS) --target benchmarks
	@for b in bench/*.sh; do [ -f "$$b" ] && BUILD_DIR=build-bench bash "$$b" || true; done

clean:
	rm -rf build build-asan build-tsan build-release build-bench build-bench-ui build-fuzz build-package
