# The front door: `make run` and `make test`.
.PHONY: all deps build run test dist clean asan fuzz soak

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake --preset linux >/dev/null
	@cmake --build --preset linux -j 2
ifneq ($(SINEBAND_LINUX_ONLY),1)
	@cmake --preset mingw-x86 >/dev/null
	@cmake --build --preset mingw-x86 -j 2
	@cmake --preset mingw-x64 >/dev/null
	@cmake --build --preset mingw-x64 -j 2
endif

run: build
	@tools/run.sh

test: build
	@ctest --preset linux

# The Windows program, zipped with a readme: build/dist/sineband-win{32,64}.zip
dist: build
	@tools/dist.sh

# Frame rate, CPU, memory and start-up against a freeglut peer, and a profile:
# build/linux/bench/results/report.md. Not a test; make test does not run it.
.PHONY: bench
bench: deps
	@cmake --preset linux >/dev/null
	@cmake --build --preset linux --target bench_programs -j 2
	@bench/run.sh

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j 2
	@ctest --preset asan

# The message-queue fuzzer, for FUZZ_SECONDS (default 60).
FUZZ_SECONDS ?= 60
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j 2
	@tools/fuzz.sh $(FUZZ_SECONDS)

# Ten minutes of drawing, resizing and typing, memory sampled each second.
SOAK_SECONDS ?= 600
soak: build
	@tools/soak.sh $(SOAK_SECONDS)

clean:
	rm -rf build
