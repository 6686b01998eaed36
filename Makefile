# The front door. CMake does the work; these targets are what people type.
#   make deps    install the Debian packages listed in deps.txt
#   make build   build the program, the tool, the tests and the benchmarks
#   make test    deps, build, every test (also under ASan+UBSan), one summary line
#   make run     start the program
#   make bench   run the benchmarks
#   make fuzz    run each fuzz target for a bounded time (FUZZ_SECONDS, default 60;
#                FUZZ_TARGET=songtext_fuzz runs one)

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps build build-asan test run bench fuzz format clean

deps:
	@scripts/install-deps.sh deps.txt

# Every option is spelt out, so a folder configured otherwise before still
# gets the whole program.
build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAKO_CORE_ONLY=OFF \
	    -DVAKO_SANITIZE=OFF -DVAKO_WITH_QT=ON -DVAKO_WITH_FLUIDSYNTH=ON -DVAKO_WITH_RTMIDI=ON \
	    -DVAKO_BUILD_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)

# The core with its tests under AddressSanitizer and UndefinedBehaviorSanitizer.
build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVAKO_CORE_ONLY=ON -DVAKO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build build-asan
	@scripts/run-tests.sh $(BUILD) $(ASAN_BUILD)

run: build
	@scripts/run.sh $(BUILD)

bench: build
	@scripts/run-bench.sh $(BUILD)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAKO_CORE_ONLY=ON -DVAKO_BUILD_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGET)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
