# One-command entry points; see README.md and HACKING.md.
BUILD ?= build
JOBS ?= $(shell nproc)
SANITIZE_FLAGS = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

.PHONY: deps demo-deps demo test test-asan test-libcxx test-large macos macos-check format \
  format-check workflow-check ci fuzz bench-config bench linux-aarch64

deps:
	@tools/install-deps

# Only what the demo needs: CMake, a C++ compiler, make, Python 3 and a JDK with jlink.
demo-deps:
	@tools/install-deps --demo

# The main job: builds the launcher (in a build directory of its own, without the tests, whose
# tools the demo does not install), lays out a self-contained Hello.app (a jlink'd runtime
# from the installed JDK), starts it, moves it and starts it again (see README.md).
DEMO_BUILD ?= build-demo

demo: demo-deps
	@echo "== Building the launcher and its check: $(DEMO_BUILD)/applauncher, $(DEMO_BUILD)/applauncher-check"
	@cmake -S . -B $(DEMO_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAUNCHER_TESTS=OFF >/dev/null
	@MAKEFLAGS=--no-print-directory cmake --build $(DEMO_BUILD) -j$(JOBS) --target applauncher applauncher-check
	@examples/hello/demo.sh $(DEMO_BUILD)/applauncher $(BUILD)/demo

# Which tests ctest runs: all but those labelled "large", which need about 6 GB of memory.
CTEST_SELECT ?= -LE large

# Configure, build and run every test (ON: a configure without GoogleTest fails, rather than
# leaving the tests out).
test: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAUNCHER_TESTS=ON
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) $(CTEST_SELECT)

# Only the tests labelled "large", in the plain and the sanitizer build.
test-large:
	$(MAKE) test test-asan CTEST_SELECT="-L large"

# The same tests with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DLAUNCHER_TESTS=ON \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" -DCMAKE_C_FLAGS="$(SANITIZE_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$(SANITIZE_FLAGS)"
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ctest --output-on-failure -j$(JOBS) $(CTEST_SELECT)

# The tests against LLVM's libc++ instead of libstdc++; GoogleTest is compiled along.
LIBCXX_FLAGS = -stdlib=libc++

test-libcxx: deps
	cmake -S . -B build-libcxx -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAUNCHER_TESTS=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_CXX_FLAGS="$(LIBCXX_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(LIBCXX_FLAGS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$(LIBCXX_FLAGS)" -DLAUNCHER_GTEST_FROM_SOURCE=ON
	cmake --build build-libcxx -j$(JOBS)
	cd build-libcxx && ctest --output-on-failure -j$(JOBS) $(CTEST_SELECT)

# The macOS launcher, cross-built with Zig (cmake/darwin-cross.cmake): one build directory
# per architecture, joined into the universal $(MACOS_BUILD)/applauncher. The unit and
# end-to-end tests are compiled and linked for x86_64, never run.
MACOS_BUILD = build-macos
MACOS_ARCHS = x86_64 arm64
MACOS_TEST_ARCHS = x86_64

macos:
	@tools/install-deps --macos
	@set -e; for a in $(MACOS_ARCHS); do \
	  tests=OFF; case " $(MACOS_TEST_ARCHS) " in *" $$a "*) tests=ON ;; esac; \
	  echo "== macOS $$a (tests $$tests): $(MACOS_BUILD)/$$a"; \
	  cmake -S . -B $(MACOS_BUILD)/$$a --no-warn-unused-cli \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/darwin-cross.cmake \
	    -DCMAKE_OSX_ARCHITECTURES=$$a -DCMAKE_BUILD_TYPE=Release \
	    -DLAUNCHER_TESTS=$$tests -DLAUNCHER_GTEST_FROM_SOURCE=ON >/dev/null; \
	  MAKEFLAGS=--no-print-directory cmake --build $(MACOS_BUILD)/$$a -j$(JOBS); \
	done
	llvm-lipo-14 -create $(MACOS_ARCHS:%=$(MACOS_BUILD)/%/applauncher) \
	  -output $(MACOS_BUILD)/applauncher
	@llvm-lipo-14 -info $(MACOS_BUILD)/applauncher

# The launcher cross-built for aarch64 Linux (cmake/linux-aarch64.cmake), without the tests:
# a launcher of another architecture than the host's, for the cross-linking tests.
LINUX_AARCH64_BUILD = build-linux-aarch64

linux-aarch64: deps
	cmake -S . -B $(LINUX_AARCH64_BUILD) --no-warn-unused-cli \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/linux-aarch64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DLAUNCHER_TESTS=OFF -DLAUNCHER_CHECK=OFF >/dev/null
	MAKEFLAGS=--no-print-directory cmake --build $(LINUX_AARCH64_BUILD) -j$(JOBS) \
	  --target applauncher

# Inspects what make macos built (tools/macos-check) and checks the inspection itself against
# deliberately broken programs (tools/macos-check_test.py); fails on any miss.
macos-check: macos
	tools/macos-check $(MACOS_BUILD)/applauncher
	python3 tools/macos-check_test.py

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h' '*.c')

format:
	clang-format -i $(FORMAT_FILES)

format-check: deps
	@clang-format --dry-run --Werror $(FORMAT_FILES)

# The GitHub workflow validated with the pinned action-validator (tools/check-workflows).
workflow-check:
	tools/check-workflows

# What CI runs (.ci/run): the quick checks, then the tests, the sanitizer run, the fuzzers, the
# builds and bundles of the GitHub workflow's scripts and the macOS cross build.
ci:
	bash .ci/run

# Fuzz the configuration parser, the variable tokenizer and the check's readers of library
# headers, Info.plist and jar files for FUZZ_TIME seconds each, starting
# from copies of the seed corpora; any finding (crash, sanitizer report, hang) fails the target
# and leaves its input in build-fuzz/artifacts/.
FUZZ_TIME ?= 60
FUZZ_FLAGS = -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
FUZZERS = cfgfile tokenize libraryarch zip trialrequest infoplist

fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DLAUNCHER_FUZZERS=ON -DLAUNCHER_TESTS=OFF -DLAUNCHER_BENCHMARKS=OFF \
	  -DCMAKE_CXX_FLAGS="$(FUZZ_FLAGS)" -DCMAKE_C_FLAGS="$(FUZZ_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(FUZZ_FLAGS)"
	cmake --build build-fuzz -j$(JOBS) --target $(FUZZERS:%=%_fuzzer)
	@set -e; for f in $(FUZZERS); do \
	  rm -rf build-fuzz/corpus-$$f && mkdir -p build-fuzz/corpus-$$f build-fuzz/artifacts && \
	  cp fuzz/corpus/$$f/* build-fuzz/corpus-$$f/ && \
	  echo "== $$f fuzzer, $(FUZZ_TIME) s" && \
	  build-fuzz/fuzz/$${f}_fuzzer -max_total_time=$(FUZZ_TIME) -timeout=10 -max_len=16384 \
	    -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/$$f- \
	    build-fuzz/corpus-$$f 2>build-fuzz/$$f.log || { tail -40 build-fuzz/$$f.log; exit 1; }; \
	  grep -E '^(Done|stat::number_of_executed_units)' build-fuzz/$$f.log; \
	done

# Build and run the configuration micro-benchmarks (optimised, outside the test run).
bench-config: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DLAUNCHER_BENCHMARKS=ON -DLAUNCHER_TESTS=OFF
	cmake --build build-bench -j$(JOBS) --target config_bench
	build-bench/bench/config_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

# The launcher against its floor, its scaling, a real runtime and Maven (see README).
bench: deps
	bench/run
