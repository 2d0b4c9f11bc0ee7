# The two set-up commands of the README, and the builds CI runs. Each installs what is missing.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps build demo test test-tsan test-asan windows fuzz-short bench bench-r bench-mp4 bench-play bench-python format clean

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Builds, then joins synthetic clips (a moving pattern and a tone, one letterboxed) with fades.
demo: build
	$(BUILD_DIR)/tools/feedcat/feedcat --demo -o demo.mp4

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The whole suite under ThreadSanitizer, and under AddressSanitizer with UndefinedBehaviorSanitizer.
test-tsan:
	$(MAKE) test BUILD_DIR=build-tsan CMAKE_FLAGS="$(CMAKE_FLAGS) -DFEED_SANITIZE=thread"

test-asan:
	$(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS="$(CMAKE_FLAGS) -DFEED_SANITIZE=address"

# feed.dll for 32- and 64-bit Windows (MinGW-w64): export tables checked for both, the test
# suite and an ordinal-loading host run under wine64 for 64-bit; and the library's 32-bit code
# with its test suites, built for 32-bit x86 Linux, run under qemu-i386.
windows:
	scripts/install-deps --windows
	CMAKE_FLAGS="$(CMAKE_FLAGS)" JOBS=$(JOBS) scripts/windows-check

# The libFuzzer targets (clang), each for FUZZ_SECONDS on freshly generated seed corpora.
FUZZ_SECONDS ?= 30
fuzz-short:
	scripts/install-deps --fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DFEED_FUZZ=ON -DFEED_BUILD_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_media fuzz_session fuzz_session_capped fuzz_feed_api
	fuzz/run-short.sh $(FUZZ_SECONDS) build-fuzz

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DFEED_BUILD_TESTS=OFF -DFEED_BUILD_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target feed_bench
	build-bench/bench/feed_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

# Reference job R through the library against the ffmpeg tool, alternating, 5 runs each.
bench-r:
	scripts/install-deps --bench
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DFEED_BUILD_TESTS=OFF -DFEED_BUILD_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target feed_job_r feedcat
	FEEDCAT=build-bench/tools/feedcat/feedcat bench/compare-job-r.sh 5 build-bench/bench/job_r/feed_job_r

# Job R written to an MP4 by feedcat against ffmpeg encoding the same graph, 5 runs each.
bench-mp4:
	scripts/install-deps --bench
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DFEED_BUILD_TESTS=OFF -DFEED_BUILD_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target feedcat
	bench/compare-mp4.sh 5 build-bench/tools/feedcat/feedcat

# Job R played by feedcat --play in real time (a window on Xvfb, the sound in real time to
# /dev/null): frames dropped, A/V offsets, lateness at the join, CPU playing and paused.
bench-play:
	scripts/install-deps --bench
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DFEED_BUILD_TESTS=OFF -DFEED_BUILD_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target feedcat
	bench/play-job-r.sh build-bench/tools/feedcat/feedcat

# Job R read in Python: the feed package against PyAV and OpenCV and the C host, alternating;
# then one file's frames by index and in order through the package's reader, PyAV and OpenCV.
bench-python:
	scripts/install-deps --bench
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DFEED_BUILD_TESTS=OFF -DFEED_BUILD_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target feed_job_r feed_python
	bench/python/compare.sh 5 build-bench
	bench/python/compare-reader.sh 5 build-bench

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf build build-tsan build-asan build-bench build-win-i686 build-win-x86_64 build-linux-i686 \
		build-fuzz
